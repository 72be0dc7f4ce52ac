#pragma once
// The 47 WMA output profiles, by number (1..47), and the wmav2 setting each one is written
// with. See WmaProfiles.cpp for how profiles the encoder cannot make are mapped.

namespace sondrel {

struct WmaProfile {
    const char* name;   // the profile's name as the settings list shows it
    int sampleRate;     // Hz
    int channels;
    int namedKbps;      // the bit rate the name promises (0 for VBR and lossless)
    int kbps;           // what wmav2 is asked for
};

constexpr int kWmaProfileCount = 47;

// Profile 1..47, or nullptr for any other number.
const WmaProfile* wmaProfile(int number);

// wmav2 refuses bit rates below this at every sample rate it supports (8 to 48 kHz).
constexpr int kWmav2MinKbps = 24;

} // namespace sondrel
