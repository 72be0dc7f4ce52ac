#pragma once
#include <QString>
#include <array>

namespace sondrel {
// The genres of the extended ID3v1 list, by number: what the tag editor offers.
extern const std::array<const char*, 148> genre_names;
} // namespace sondrel

// Genre numbers of ID3v1 (and of ID3v2's "(13)" references) and their names.
namespace sondrel::genres {

// Number of names in the classic list (148: numbers 0..147).
int count();
// The name of a genre number; numbers 148..191 get TagLib's names, others an empty text.
QString name(int number);
// The number of a genre name (case-insensitive), -1 when it is not in the list.
int number(const QString& text);
// A stored genre text as a name: "13" and "(13)" become "Pop", "(31)Eurotrance" becomes
// "Trance / Eurotrance", "((foo)" becomes "(foo)"; any other text stays as it is.
QString fromText(const QString& text);

} // namespace sondrel::genres
