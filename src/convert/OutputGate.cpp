#include "OutputGate.h"

#include "AudioFile.h"
#include "EngineError.h"
#include "OutputFiles.h"
#include "PcmHash.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>

namespace sondrel {

namespace {

QString number(std::int64_t n)
{
    return QString::number(qlonglong(n));
}

QString readBackFailure(const std::exception& e)
{
    return QStringLiteral("the written file cannot be read back: ") + QString::fromUtf8(e.what());
}

// The PcmHash of everything reader decodes from where it stands to its end.
QByteArray decodedHash(AudioFile& reader)
{
    const int chunk = std::max(1, reader.SampleRate() / 10) * std::max(1, reader.ChannelCount());
    PcmHash hash;
    for (SampleArray samples = reader.ReadSamples(chunk); !samples.empty(); samples = reader.ReadSamples(chunk))
        hash.add(samples);
    return hash.result();
}

} // namespace

bool encodedLengthFits(const WrittenLength& w)
{
    if (w.inputRate <= 0 || w.outputRate <= 0)
        return w.framesFed == 0; // the writer never started: nothing may have been fed
    // What came from the input, without the silence the encoder adds on purpose.
    const std::int64_t fromInput = w.framesEncoded - w.framesAdded;
    if (w.inputRate == w.outputRate)
        return fromInput == w.framesFed;
    // A rate change gives the fed length at the new rate, rounded either way, give or take
    // the sample the resampler's filter delay may add or take at each end (a few more where
    // the output is counted at a rate above the encoder's, as Opus is).
    const double ratio = double(w.outputRate) / double(w.inputRate);
    const double expected = double(w.framesFed) * ratio;
    return std::fabs(double(fromInput) - expected) <= 2.0 + std::ceil(ratio);
}

double passOutputGate(TempOutput& temp, const QString& target, const OutputProof& proof,
                      const std::atomic<bool>* cancel)
{
    // Every byte on the disk before anything is measured: a write the system could not
    // complete (a full disk, an I/O error) shows here at the latest.
    QElapsedTimer syncing;
    syncing.start();
    temp.sync();
    const double syncSeconds = double(syncing.nsecsElapsed()) / 1e9;

    const WrittenLength& w = proof.length;
    if (!encodedLengthFits(w))
        throw OutputError(QStringLiteral("the encoder received %1 samples but made %2 of them")
                              .arg(number(w.framesFed), number(w.framesEncoded))
                              .toStdString());

    AudioFile reader;
    reader.SetCancelFlag(cancel);
    std::int64_t measured = 0;
    int rate = 0;
    bool statedLength = false;
    QByteArray outputPcm;
    try {
        reader.OpenRead(temp.path());
        measured = reader.SampleCount();
        rate = reader.SampleRate();
        statedLength = std::strcmp(reader.CountMethodName(), methodName(w.method)) == 0;
        if (!proof.sourcePcm.isEmpty())
            outputPcm = decodedHash(reader);
        reader.Close();
    } catch (const CancelledError&) {
        throw;
    } catch (const std::exception& e) {
        throw OutputError(readBackFailure(e).toStdString());
    }
    // Where the format keeps its length (a header, the last page, the frame index), that is
    // how the file must measure: a file that has to be measured otherwise is damaged or cut.
    if (!statedLength)
        throw OutputError("the written file is damaged: its length is not where its format keeps it");
    if (w.outputRate > 0 && rate != w.outputRate)
        throw OutputError(QStringLiteral("the written file plays at %1 Hz instead of %2 Hz")
                              .arg(rate)
                              .arg(w.outputRate)
                              .toStdString());
    if (std::llabs(measured - w.framesEncoded) > w.slack)
        throw OutputError(QStringLiteral("the written file holds %1 samples of %2: it is %3")
                              .arg(number(measured), number(w.framesEncoded),
                                   measured < w.framesEncoded ? QStringLiteral("cut short")
                                                              : QStringLiteral("longer than its audio"))
                              .toStdString());

    if (outputPcm != proof.sourcePcm)
        throw OutputError("the written file's audio is not the source's: its samples differ");

    if (proof.tags) {
        AudioInformation back;
        try {
            back.LoadFromFile(temp.path());
        } catch (const std::exception& e) {
            throw OutputError(readBackFailure(e).toStdString());
        }
        if (!back.SameValues(*proof.tags))
            throw OutputError("the written file's tags do not read back as they were written");
    }
    temp.commit(target);
    return syncSeconds;
}

} // namespace sondrel
