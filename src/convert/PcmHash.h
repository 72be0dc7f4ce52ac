#pragma once
// A running hash of decoded samples. A conversion that should keep every sample as it was
// hashes the source while it reads it and the output when the gate reads it back: equal
// hashes prove the output holds the very same audio.
#include "SampleArray.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace sondrel {

class PcmHash {
public:
    void add(const SampleArray& samples);
    QByteArray result() const { return m_hash.result(); }

private:
    QCryptographicHash m_hash{QCryptographicHash::Sha256};
};

} // namespace sondrel
