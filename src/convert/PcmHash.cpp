#include "PcmHash.h"

namespace sondrel {

void PcmHash::add(const SampleArray& samples)
{
    // The decoded floats as they are in memory: both sides are decoded on this machine, and a
    // float holds every sample of up to 24 bits exactly.
    m_hash.addData(QByteArrayView(reinterpret_cast<const char*>(samples.data()),
                                  qsizetype(samples.size() * sizeof(float))));
}

} // namespace sondrel
