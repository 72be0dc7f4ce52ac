#include "Genres.h"

#include <QStringList>
#include <taglib/id3v1genres.h>
#include <array>

namespace sondrel {

// The 148 names of the extended ID3v1 genre list, by number, spelt as this program shows
// them (a few differ from other lists' wording, e.g. 64 "Native US", 100 "Humor").
const std::array<const char*, 148> genre_names = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical",
    "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",
    "Alternative Rock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic",
    "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40",
    "Christian Rap", "Pop/Funk", "Jungle", "Native US", "Cabaret", "New Wave", "Psychedelic",
    "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka",
    "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk", "Folk-Rock", "National Folk",
    "Swing", "Fast Fusion", "Bebop", "Latin", "Revival", "Celtic", "Bluegrass", "Avant-garde",
    "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock",
    "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humor", "Speech", "Chanson", "Opera",
    "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire",
    "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul",
    "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A capella", "Euro-House", "Dance Hall",
    "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie", "Britpop", "Negerpunk",
    "Polsk Punk", "Beat", "Christian Gangsta", "Heavy Metal", "Black Metal", "Crossover",
    "Contemporary C", "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime", "JPop",
    "SynthPop",
};

} // namespace sondrel

namespace sondrel::genres {

int count() { return int(genre_names.size()); }

QString name(int number)
{
    if (number >= 0 && number < int(genre_names.size()))
        return QString::fromLatin1(genre_names[size_t(number)]);
    // Numbers beyond the classic list (Winamp's later additions) as TagLib names them.
    if (number >= 0 && number < 255) {
        const TagLib::String s = TagLib::ID3v1::genre(number);
        return QString::fromUtf8(s.toCString(true));
    }
    return {};
}

int number(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return -1;
    for (size_t i = 0; i < genre_names.size(); ++i) {
        if (t.compare(QLatin1String(genre_names[i]), Qt::CaseInsensitive) == 0)
            return int(i);
    }
    const int n = TagLib::ID3v1::genreIndex(TagLib::String(t.toUtf8().constData(), TagLib::String::UTF8));
    return n == 255 ? -1 : n;
}

namespace {
// One genre reference: a decimal number, or ID3v2's RX/CR keywords. Empty when it is none.
QString reference(const QString& ref)
{
    bool ok = false;
    const int n = ref.toInt(&ok);
    if (ok)
        return name(n);
    if (ref == QLatin1String("RX"))
        return QStringLiteral("Remix");
    if (ref == QLatin1String("CR"))
        return QStringLiteral("Cover");
    return {};
}
} // namespace

QString fromText(const QString& raw)
{
    const QString text = raw.trimmed();
    if (text.isEmpty())
        return {};
    bool ok = false;
    const int n = text.toInt(&ok);
    if (ok) {
        const QString named = name(n);
        return named.isEmpty() ? text : named;
    }
    if (!text.startsWith(QLatin1Char('(')) || text.startsWith(QLatin1String("((")))
        return text.startsWith(QLatin1String("((")) ? text.mid(1) : text;

    // "(13)", "(13)(31)", "(31)Eurotrance", "(RX)": references first, then a refinement.
    QStringList parts;
    int pos = 0;
    while (pos < text.size() && text[pos] == QLatin1Char('(') &&
           !(pos + 1 < text.size() && text[pos + 1] == QLatin1Char('('))) {
        const int close = text.indexOf(QLatin1Char(')'), pos);
        if (close < 0)
            break;
        const QString named = reference(text.mid(pos + 1, close - pos - 1));
        if (named.isEmpty())
            break; // not a reference after all: keep the rest as text
        if (!parts.contains(named))
            parts << named;
        pos = close + 1;
    }
    QString rest = text.mid(pos).trimmed();
    if (rest.startsWith(QLatin1String("((")))
        rest.remove(0, 1);
    if (!rest.isEmpty() && !parts.contains(rest))
        parts << rest;
    return parts.join(QLatin1String(" / "));
}

} // namespace sondrel::genres
