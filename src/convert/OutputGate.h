#pragma once
// The one gate every converted file passes before it takes its name. A finished temporary
// file is made durable, opened again and measured: its audio must be as long as what its
// encoder received (exactly where the format states its length; within the padding the
// format cannot mark otherwise), at the rate it was written, and its tags must read back as
// they were written; where the output is to hold the source's very samples, it is decoded
// and compared with them. Only then is it renamed onto its target. Whatever fails, the temporary
// file is left to its owner to remove and the target is not touched.
#include "AudioEncoder.h"
#include "AudioInformation.h"

#include <QString>
#include <atomic>
#include <optional>

namespace sondrel {

class TempOutput;

struct OutputProof {
    WrittenLength length;                   // what the writer received and encoded
    std::optional<AudioInformation> tags;   // the seven values as written; none: no check
    // The PcmHash of the source's decoded samples, for an output that must hold them bit for
    // bit: the output is decoded whole and must hash the same. Empty: no such check.
    QByteArray sourcePcm;
};

// Proves temp (closed by its writer, tagged) and renames it onto target. Throws OutputError
// with the reason for the user (the system's own text where a call failed); CancelledError
// when cancel was set while the file was measured. Returns the seconds spent making the file
// durable (which writing any file safely costs), as apart from measuring it.
double passOutputGate(TempOutput& temp, const QString& target, const OutputProof& proof,
                      const std::atomic<bool>* cancel = nullptr);

// Whether framesEncoded (less the silence added on purpose) is what framesFed becomes at the
// output's rate: equal without a rate change, within the resampler's rounding with one.
bool encodedLengthFits(const WrittenLength& length);

} // namespace sondrel
