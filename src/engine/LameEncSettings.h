#pragma once

namespace sondrel {

// The MP3 encoder's settings object. The conversion writes these before a run and reads
// Frequency, Bitrate and Channels back for the format check; AudioFile::SetMp3Encoder takes
// a copy of the whole object.
struct LameEncSettings {
    int Frequency = 44100;   // output sample rate, Hz
    int Bitrate = 128;       // CBR bit rate, kbps
    int Channels = 2;        // 1 or 2
    int Quality = 9;         // LAME algorithm quality: 0 best and slowest .. 9 fastest
    bool VbrDisabled = true; // true: CBR at Bitrate; false: VBR
    int VbrBitrate = 128;    // VBR: the highest bit rate allowed, kbps
    int VbrQuality = 9;      // VBR: LAME -V0 (best) .. -V9 (smallest)
};

} // namespace sondrel
