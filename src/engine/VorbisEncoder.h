#pragma once
// OGG Vorbis output through libvorbisenc and libogg: managed bit rate with its minimum and
// maximum, or quality mode. The last page's granule position is the exact sample count, so
// decoders return exactly what was written.
#include "AudioEncoder.h"
#include "SampleConverter.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace sondrel {

// libvorbisenc's own answer: can it set up managed encoding for this combination?
bool vorbisManagedSupported(int rate, int channels, int kbps, int maxKbps, int minKbps);

// Vorbis quality for our 0 (best) .. 1000 (lowest) scale: 1.0 .. -0.1, linearly.
float vorbisQuality(int quality);

class VorbisEncoder : public AudioEncoder {
public:
    VorbisEncoder(const QString& path, const OggOutput& output);
    ~VorbisEncoder() override;

    void start(int channels, int rate) override;
    void write(const float* samples, int frames) override;
    void finish() override;
    std::pair<int, int> defaultInput() const override;
    WrittenLength writtenLength() const override;

private:
    struct State;
    template <typename Convert>
    void stage(int capacity, Convert convert);
    void feed(bool all);
    void pump();
    void writePages(bool flush);
    std::string describe(const std::string& what) const;

    QString m_path;
    OggOutput m_output;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> m_file{nullptr, &std::fclose};
    std::unique_ptr<State> m_state;
    std::unique_ptr<SampleConverter> m_converter;
    std::vector<std::vector<float>> m_staged; // converted, planar, not yet given to libvorbis
    int m_stagedFrames = 0;
    std::int64_t m_framesFed = 0;     // samples per channel given to write()
    std::int64_t m_framesEncoded = 0; // converted samples per channel staged for libvorbis
    bool m_finished = false;
};

} // namespace sondrel
