#pragma once
// ID3v2 (MP3, and the ID3 chunk of WAV and AIFF) and ID3v1 (the last 128 bytes of an MP3).
#include "TagModule.h"

#include <memory>

namespace TagLib::ID3v1 { class Tag; }
namespace TagLib::ID3v2 { class Tag; }

namespace sondrel {

// Every field as TagLib's properties map it (fields of no frame of their own become TXXX),
// pictures as APIC frames, the language of COMM and USLT frames kept; several values of a
// field are several strings of one frame, a comment's or lyrics' joined into one.
std::unique_ptr<TagModule> id3v2Module(TagLib::ID3v2::Tag* tag);
// The seven values alone, as far as ID3v1 holds them (the genre as a number of its list).
std::unique_ptr<TagModule> id3v1Module(TagLib::ID3v1::Tag* tag);

} // namespace sondrel
