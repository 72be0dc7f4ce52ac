#include "WmaProfiles.h"

#include <array>

namespace sondrel {
namespace {

// FFmpeg's WMA encoder (wmav2) is CBR only, makes no lossless WMA, and refuses less than
// 24 kbps ("bitrate too low: got 20000, need 24000 or higher") at every rate. So:
//  - CBR profiles at 24 kbps or more: exactly as named.
//  - CBR profiles below 24 kbps (5..22 kbps): same rate and channels at 24 kbps, the
//    nearest bit rate the encoder accepts.
//  - VBR quality profiles: CBR at the bit rate such quality levels average on music:
//    Q98 -> 256, Q90 -> 192, Q75 -> 128, Q50 -> 96, Q25 -> 64, Q10 -> 48 kbps.
//  - Lossless: the highest CBR rate of the list, 320 kbps at 44.1 kHz stereo.
// "11KHz", "22KHz" and "44KHz" are 11025, 22050 and 44100 Hz. Profiles 21 and 23 carry the
// same name and are written the same way.
constexpr std::array<WmaProfile, kWmaProfileCount> kProfiles{{
    {"WMA9 48KHz, 192Kbps, Stereo, CBR", 48000, 2, 192, 192},   // 1
    {"WMA9 48KHz, 160Kbps, Stereo, CBR", 48000, 2, 160, 160},   // 2
    {"WMA9 48KHz, 128Kbps, Stereo, CBR", 48000, 2, 128, 128},   // 3
    {"WMA9 48KHz, 96Kbps, Stereo, CBR", 48000, 2, 96, 96},      // 4
    {"WMA9 48KHz, 64Kbps, Stereo, CBR", 48000, 2, 64, 64},      // 5
    {"WMA9 44KHz, 320Kbps, Stereo, CBR", 44100, 2, 320, 320},   // 6
    {"WMA9 44KHz, 256Kbps, Stereo, CBR", 44100, 2, 256, 256},   // 7
    {"WMA9 44KHz, 192Kbps, Stereo, CBR", 44100, 2, 192, 192},   // 8
    {"WMA9 44KHz, 160Kbps, Stereo, CBR", 44100, 2, 160, 160},   // 9
    {"WMA9 44KHz, 128Kbps, Stereo, CBR", 44100, 2, 128, 128},   // 10
    {"WMA9 44KHz, 96Kbps, Stereo, CBR", 44100, 2, 96, 96},      // 11
    {"WMA9 44KHz, 80Kbps, Stereo, CBR", 44100, 2, 80, 80},      // 12
    {"WMA9 44KHz, 64Kbps, Stereo, CBR", 44100, 2, 64, 64},      // 13
    {"WMA9 44KHz, 48Kbps, Stereo, CBR", 44100, 2, 48, 48},      // 14
    {"WMA9 44KHz, 32Kbps, Stereo, CBR", 44100, 2, 32, 32},      // 15
    {"WMA9 44KHz, 48Kbps, Mono, CBR", 44100, 1, 48, 48},        // 16
    {"WMA9 44KHz, 32Kbps, Mono, CBR", 44100, 1, 32, 32},        // 17
    {"WMA9 44KHz, 20Kbps, Mono, CBR", 44100, 1, 20, 24},        // 18: raised to 24
    {"WMA9 32KHz, 48Kbps, Stereo, CBR", 32000, 2, 48, 48},      // 19
    {"WMA9 32KHz, 40Kbps, Stereo, CBR", 32000, 2, 40, 40},      // 20
    {"WMA9 32KHz, 32Kbps, Stereo, CBR", 32000, 2, 32, 32},      // 21
    {"WMA9 32KHz, 20Kbps, Mono, CBR", 32000, 1, 20, 24},        // 22: raised to 24
    {"WMA9 32KHz, 32Kbps, Stereo, CBR", 32000, 2, 32, 32},      // 23: same as 21
    {"WMA9 32KHz, 22Kbps, Stereo, CBR", 32000, 2, 22, 24},      // 24: raised to 24
    {"WMA9 22KHz, 20Kbps, Stereo, CBR", 22050, 2, 20, 24},      // 25: raised to 24
    {"WMA9 22KHz, 20Kbps, Mono, CBR", 22050, 1, 20, 24},        // 26: raised to 24
    {"WMA9 22KHz, 16Kbps, Mono, CBR", 22050, 1, 16, 24},        // 27: raised to 24
    {"WMA9 16KHz, 20Kbps, Stereo, CBR", 16000, 2, 20, 24},      // 28: raised to 24
    {"WMA9 16KHz, 16Kbps, Stereo, CBR", 16000, 2, 16, 24},      // 29: raised to 24
    {"WMA9 16KHz, 16Kbps, Mono, CBR", 16000, 1, 16, 24},        // 30: raised to 24
    {"WMA9 16KHz, 12Kbps, Mono, CBR", 16000, 1, 12, 24},        // 31: raised to 24
    {"WMA9 16KHz, 10Kbps, Mono, CBR", 16000, 1, 10, 24},        // 32: raised to 24
    {"WMA9 11KHz, 10Kbps, Mono, CBR", 11025, 1, 10, 24},        // 33: raised to 24
    {"WMA9 11KHz, 8Kbps, Mono, CBR", 11025, 1, 8, 24},          // 34: raised to 24
    {"WMA9 8KHz,  12Kbps, Stereo, CBR", 8000, 2, 12, 24},       // 35: raised to 24
    {"WMA9 8KHz,  8Kbps, Mono, CBR", 8000, 1, 8, 24},           // 36: raised to 24
    {"WMA9 8KHz,  6Kbps, Mono, CBR", 8000, 1, 6, 24},           // 37: raised to 24
    {"WMA9 8KHz,  5Kbps, Mono, CBR", 8000, 1, 5, 24},           // 38: raised to 24
    {"WMA9 48KHz, Stereo, VBR Quality 98", 48000, 2, 0, 256},   // 39: VBR -> CBR
    {"WMA9 48KHz, Stereo, VBR Quality 90", 48000, 2, 0, 192},   // 40: VBR -> CBR
    {"WMA9 44KHz, Stereo, VBR Quality 98", 44100, 2, 0, 256},   // 41: VBR -> CBR
    {"WMA9 44KHz, Stereo, VBR Quality 90", 44100, 2, 0, 192},   // 42: VBR -> CBR
    {"WMA9 44KHz, Stereo, VBR Quality 75", 44100, 2, 0, 128},   // 43: VBR -> CBR
    {"WMA9 44KHz, Stereo, VBR Quality 50", 44100, 2, 0, 96},    // 44: VBR -> CBR
    {"WMA9 44KHz, Stereo, VBR Quality 25", 44100, 2, 0, 64},    // 45: VBR -> CBR
    {"WMA9 44KHz, Stereo, VBR Quality 10", 44100, 2, 0, 48},    // 46: VBR -> CBR
    {"WMA9 44KHz, Stereo, Lossless", 44100, 2, 0, 320},         // 47: lossless -> 320 CBR
}};

} // namespace

const WmaProfile* wmaProfile(int number)
{
    if (number < 1 || number > kWmaProfileCount)
        return nullptr;
    return &kProfiles[std::size_t(number - 1)];
}

} // namespace sondrel
