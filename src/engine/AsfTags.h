#pragma once
// ASF (WMA): title, artist, comment and copyright in the content description object, every
// other field an attribute.
#include "TagModule.h"

#include <memory>

namespace TagLib {
class IOStream;
namespace ASF { class Tag; }
} // namespace TagLib

namespace sondrel {

// Fields of no attribute of their own keep their names; several values of a field are
// several attributes (one text joined with "; " in the content description); the track and
// disc numbers hold their totals ("3/12"); pictures are WM/Picture attributes, the front
// cover first. No empty attribute is written.
std::unique_ptr<TagModule> asfModule(TagLib::ASF::Tag* tag);

// TagLib writes the five texts of the content description (title, artist, copyright, comment,
// rating) with their terminating NUL even when empty, which readers show as empty fields: an
// empty one becomes no text at all. For a file TagLib has just saved through stream.
void dropEmptyAsfTexts(TagLib::IOStream& stream);

} // namespace sondrel
