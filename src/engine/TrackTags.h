#pragma once
// The one mapping between a list row's tag record and a file's tag values.
#include "AudioInformation.h"

namespace sondrel {

struct TrackInfo;

// The values a file read as, for a row (a track number above 32767 reads as its 16 bits, as
// the tag record keeps it).
TrackInfo trackInfoOf(const AudioInformation& tags);
// A row's record as values to write (the track number's low 16 bits).
AudioInformation audioInformationOf(const TrackInfo& info);

} // namespace sondrel
