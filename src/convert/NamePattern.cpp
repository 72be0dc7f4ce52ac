#include "NamePattern.h"

#include "OtherTags.h"
#include "TrackInfo.h"

#include <QStringList>
#include <algorithm>
#include <iterator>

namespace sondrel {

namespace {

// The widest padding a number takes.
constexpr int MaxWidth = 10;

struct FieldEntry {
    QLatin1StringView name;
    bool number;
    QLatin1StringView unknown; // the stand-in for an empty text
};

// In the order of NamePattern::Field.
constexpr FieldEntry Fields[] = {
    {QLatin1StringView("name"), false, QLatin1StringView("Unknown Name")},
    {QLatin1StringView("title"), false, QLatin1StringView("Unknown Title")},
    {QLatin1StringView("artist"), false, QLatin1StringView("Unknown Artist")},
    {QLatin1StringView("album"), false, QLatin1StringView("Unknown Album")},
    {QLatin1StringView("albumartist"), false, QLatin1StringView("Unknown Album Artist")},
    {QLatin1StringView("track"), true, {}},
    {QLatin1StringView("tracktotal"), true, {}},
    {QLatin1StringView("disc"), true, {}},
    {QLatin1StringView("disctotal"), true, {}},
    {QLatin1StringView("year"), true, {}},
    {QLatin1StringView("genre"), false, QLatin1StringView("Unknown Genre")},
    {QLatin1StringView("composer"), false, QLatin1StringView("Unknown Composer")},
    {QLatin1StringView("folder"), false, QLatin1StringView("Unknown Folder")},
    {QLatin1StringView("format"), false, QLatin1StringView("Unknown Format")},
};

// A number's text padded to width: the value's leading digits without their leading zeros,
// nothing for a number 0; a value that does not start with a digit is kept as it is.
QString numberText(const QString& value, int width)
{
    qsizetype digits = 0;
    while (digits < value.size() && value[digits] >= u'0' && value[digits] <= u'9')
        ++digits;
    if (digits == 0)
        return value;
    qsizetype first = 0;
    while (first < digits && value[first] == u'0')
        ++first;
    if (first == digits)
        return {};
    QString number = value.mid(first, digits - first);
    if (number.size() < width)
        number.prepend(QString(width - number.size(), u'0'));
    return number;
}

QString position(qsizetype index) { return QString::number(index + 1); }

} // namespace

NameValues nameValuesOf(const TrackInfo& info)
{
    NameValues values;
    values.title = info.title;
    values.artist = info.artist;
    values.album = info.album;
    values.genre = info.genre;
    if (info.track > 0)
        values.track = QString::number(info.track);
    if (info.year > 0)
        values.year = QString::number(info.year);
    return values;
}

NameValues nameValuesOf(const TrackInfo& info, const OtherTags& other)
{
    NameValues values = nameValuesOf(info);
    values.albumArtist = other.albumArtist;
    values.trackTotal = other.trackTotal;
    values.disc = other.disc;
    values.discTotal = other.discTotal;
    values.composer = other.composer;
    return values;
}

QStringList NamePattern::fieldNames()
{
    QStringList names;
    for (const FieldEntry& entry : Fields)
        names << QString(entry.name);
    return names;
}

bool NamePattern::fail(const QString& message)
{
    m_error = message;
    m_components.clear();
    return false;
}

NamePattern::NamePattern(const QString& text)
{
    if (text.trimmed().isEmpty()) {
        fail(QStringLiteral("The pattern is empty."));
        return;
    }
    Component component;
    QString literal;
    const auto endLiteral = [&] {
        if (!literal.isEmpty())
            component.push_back(Piece{literal, {}});
        literal.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'{') {
            qsizetype close = i + 1, quote = -1;
            for (; close < text.size(); ++close) {
                if (text[close] == u'"')
                    quote = quote < 0 ? close : -1;
                else if (quote < 0 && text[close] == u'{') {
                    fail(QStringLiteral("A \"{\" inside braces at character %1.").arg(position(close)));
                    return;
                } else if (quote < 0 && text[close] == u'}')
                    break;
            }
            if (close == text.size()) {
                fail(quote >= 0 ? QStringLiteral("The quote at character %1 is not closed.").arg(position(quote))
                                : QStringLiteral("The \"{\" at character %1 is not closed.").arg(position(i)));
                return;
            }
            endLiteral();
            Piece piece;
            if (!parseGroup(text, i, close, &piece))
                return;
            component.push_back(std::move(piece));
            i = close;
        } else if (c == u'}') {
            fail(QStringLiteral("A \"}\" without its \"{\" at character %1.").arg(position(i)));
            return;
        } else if (c == u'/') {
            endLiteral();
            if (component.empty()) {
                fail(i == 0 ? QStringLiteral("The pattern starts with \"/\": names are always below the output folder.")
                            : QStringLiteral("An empty folder name at character %1.").arg(position(i)));
                return;
            }
            m_components.push_back(std::move(component));
            component.clear();
        } else {
            literal += c;
        }
    }
    endLiteral();
    if (component.empty()) {
        fail(QStringLiteral("The pattern ends with \"/\": a file name must follow it."));
        return;
    }
    m_components.push_back(std::move(component));
}

bool NamePattern::parseGroup(const QString& text, qsizetype open, qsizetype close, Piece* piece)
{
    qsizetype start = open + 1;
    bool quoted = false;
    for (qsizetype i = open + 1; i <= close; ++i) {
        if (i < close && text[i] == u'"')
            quoted = !quoted;
        if (i == close || (!quoted && text[i] == u'|')) {
            Alternative alternative;
            if (!parseAlternative(QStringView(text).mid(start, i - start), start, &alternative))
                return false;
            piece->alternatives.push_back(std::move(alternative));
            start = i + 1;
        }
    }
    return true;
}

bool NamePattern::parseAlternative(QStringView text, qsizetype at, Alternative* alternative)
{
    while (!text.isEmpty() && text.front().isSpace()) {
        text = text.mid(1);
        ++at;
    }
    text = text.trimmed();
    if (text.isEmpty())
        return fail(QStringLiteral("An empty field in braces at character %1.").arg(position(at)));
    if (text.front() == u'"') {
        const qsizetype end = text.indexOf(u'"', 1);
        if (end != text.size() - 1)
            return fail(QStringLiteral("Only \"|\" or \"}\" may follow the quoted text at character %1.").arg(position(at)));
        alternative->quoted = true;
        alternative->text = text.mid(1, end - 1).toString();
        return true;
    }
    const qsizetype colon = text.indexOf(u':');
    const QStringView name = colon < 0 ? text : text.left(colon).trimmed();
    const auto entry = std::find_if(std::begin(Fields), std::end(Fields), [name](const FieldEntry& f) {
        return name.compare(f.name, Qt::CaseInsensitive) == 0;
    });
    if (entry == std::end(Fields))
        return fail(QStringLiteral("Unknown field \"%1\" at character %2; the fields are: %3.")
                        .arg(name.toString(), position(at), fieldNames().join(QStringLiteral(", "))));
    alternative->field = static_cast<Field>(entry - std::begin(Fields));
    if (colon < 0)
        return true;
    if (!entry->number)
        return fail(QStringLiteral("Only numbers can be padded: \"%1\" at character %2.").arg(name.toString(), position(at)));
    const QStringView digits = text.mid(colon + 1).trimmed();
    bool ok = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const int width = ok ? digits.toInt(&ok) : 0;
    if (!ok || width < 1 || width > MaxWidth)
        return fail(QStringLiteral("The width after \"%1:\" at character %2 must be a number from 1 to %3.")
                        .arg(name.toString(), position(at), QString::number(MaxWidth)));
    alternative->width = width;
    return true;
}

QString NamePattern::expandGroup(const Piece& piece, const NameValues& values) const
{
    const QString* const fieldValues[] = {
        &values.name, &values.title, &values.artist, &values.album, &values.albumArtist, &values.track,
        &values.trackTotal, &values.disc, &values.discTotal, &values.year, &values.genre, &values.composer,
        &values.folder, &values.format};
    for (const Alternative& alternative : piece.alternatives) {
        if (alternative.quoted)
            return alternative.text;
        const int index = static_cast<int>(alternative.field);
        QString value = fieldValues[index]->trimmed();
        if (Fields[index].number)
            value = numberText(value, alternative.width);
        if (!value.isEmpty())
            return value;
    }
    // A quoted alternative is always taken, so a group that gets here starts with a field.
    const Alternative& first = piece.alternatives.front();
    const FieldEntry& entry = Fields[static_cast<int>(first.field)];
    return entry.number ? QString(first.width, u'0') : QString(entry.unknown);
}

QString NamePattern::expand(const NameValues& values, const QString& extension, NameRules rules) const
{
    QString path;
    for (std::size_t i = 0; i < m_components.size(); ++i) {
        QString text;
        for (const Piece& piece : m_components[i]) {
            if (piece.alternatives.empty())
                text += piece.literal;
            else // a value never makes a folder
                text += expandGroup(piece, values).replace(u'/', u'-');
        }
        const bool last = i + 1 == m_components.size();
        if (!path.isEmpty())
            path += u'/';
        path += fittedName(std::move(text), last ? extension : QString(), rules);
    }
    return path;
}

} // namespace sondrel
