#pragma once
// MP3 output through libmp3lame, with the LAME/Xing header written over the placeholder
// frame at the end, so that decoders know the frame count, encoder delay and padding
// (gapless) and VBR files seek.
#include "AudioEncoder.h"
#include "SampleConverter.h"

#include <cstdint>
#include <cstdio>
#include <vector>

struct lame_global_struct;

namespace sondrel {

class LameEncoder : public AudioEncoder {
public:
    LameEncoder(const QString& path, const LameEncSettings& settings);
    ~LameEncoder() override;

    void start(int channels, int rate) override;
    void write(const float* samples, int frames) override;
    void finish() override;
    std::pair<int, int> defaultInput() const override;
    WrittenLength writtenLength() const override;

private:
    void encode(const float* interleaved, int frames);
    void put(const unsigned char* data, std::size_t size);
    void padEnd();          // the silence decoders need at the end of an empty or short stream
    void writeInfoFrames(); // the LAME tag, or our own info frame, at the file's start
    std::string describe(const std::string& what) const;

    QString m_path;
    LameEncSettings m_settings;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> m_file{nullptr, &std::fclose};
    std::unique_ptr<lame_global_struct, int (*)(lame_global_struct*)> m_lame;
    std::unique_ptr<SampleConverter> m_converter;
    std::vector<float> m_converted;
    std::vector<unsigned char> m_mp3;
    int m_channels = 0;
    std::int64_t m_framesFed = 0;       // samples per channel given to write()
    std::int64_t m_framesIn = 0;        // samples per channel given to LAME
    std::int64_t m_silence = 0;         // of those, silence added at the end on purpose
    std::size_t m_streamBytes = 0;      // bytes written after our own info frame's room
    std::size_t m_ownTagBytes = 0;      // room kept for our info frame (0: LAME writes its own)
    bool m_finished = false;
};

} // namespace sondrel
