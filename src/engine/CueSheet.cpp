#include "CueSheet.h"

#include "EngineError.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <functional>

namespace sondrel {

namespace {

using Resolver = std::function<QString(const QString& name)>;

// A track as read, audio or not: the ranges are cut between all tracks of an image.
struct ReadTrack {
    CueTrack track;
    bool audio = true;
    int line = 0;
    int entry = -1;        // the FILE entry holding its INDEX 01
    int lastIndex = -1;    // the highest index number read so far
};

// The value at the start of rest: a quoted string (to its closing quote, or the line's end)
// or one bare word; after is what follows it.
QString firstValue(const QString& rest, QString* after = nullptr)
{
    qsizetype end = 0;
    QString value;
    if (rest.startsWith(u'"')) {
        const qsizetype close = rest.indexOf(u'"', 1);
        value = rest.mid(1, close < 0 ? -1 : close - 1);
        end = close < 0 ? rest.size() : close + 1;
    } else {
        end = 0;
        while (end < rest.size() && !rest.at(end).isSpace())
            ++end;
        value = rest.left(end);
    }
    if (after)
        *after = rest.mid(end).trimmed();
    return value;
}

// A text value: quoted, or everything up to the line's end when it is bare.
QString textValue(const QString& rest)
{
    return rest.startsWith(u'"') ? firstValue(rest) : rest;
}

class Parser {
public:
    Parser(const QString& sheetPath, Resolver resolve)
        : m_name(QFileInfo(sheetPath).fileName()), m_resolve(std::move(resolve))
    {
        m_sheet.path = sheetPath;
    }

    CueSheet run(const QString& text)
    {
        QString all = text;
        all.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
        const QStringList lines = all.split(u'\n');
        for (int i = 0; i < lines.size(); ++i) {
            m_line = i + 1;
            line(lines.at(i).trimmed());
        }
        closeTrack();
        cutRanges();
        if (m_sheet.tracks.empty())
            throw EngineError(QStringLiteral("%1: no audio track").arg(m_name).toStdString());
        return std::move(m_sheet);
    }

private:
    [[noreturn]] void fail(const QString& what, int line = 0) const
    {
        throw EngineError(QStringLiteral("%1, line %2: %3").arg(m_name).arg(line ? line : m_line).arg(what)
                              .toStdString());
    }

    void line(const QString& text)
    {
        if (text.isEmpty())
            return;
        QString rest;
        const QString command = firstValue(text, &rest).toUpper();
        if (command == QLatin1String("FILE"))
            file(rest);
        else if (command == QLatin1String("TRACK"))
            track(rest);
        else if (command == QLatin1String("INDEX"))
            index(rest);
        else if (command == QLatin1String("PREGAP") || command == QLatin1String("POSTGAP"))
            gap(command, rest);
        else if (command == QLatin1String("REM"))
            remark(rest);
        else if (command == QLatin1String("TITLE"))
            (m_current ? m_current->track.title : m_sheet.title) = textValue(rest);
        else if (command == QLatin1String("PERFORMER"))
            (m_current ? m_current->track.performer : m_sheet.performer) = textValue(rest);
        else if (command == QLatin1String("SONGWRITER"))
            (m_current ? m_current->track.songwriter : m_sheet.songwriter) = textValue(rest);
        else if (command == QLatin1String("CATALOG"))
            m_sheet.catalog = textValue(rest);
        else if (command == QLatin1String("ISRC") && m_current)
            m_current->track.isrc = textValue(rest);
        else if (command == QLatin1String("FLAGS") && m_current)
            m_current->track.flags = rest.simplified().toUpper().split(u' ', Qt::SkipEmptyParts);
        // Anything else (CDTEXTFILE, commands of other programs) says nothing about the audio.
    }

    void file(const QString& rest)
    {
        QString name;
        if (rest.startsWith(u'"')) {
            name = firstValue(rest);
        } else {
            // A bare name may hold spaces: the type is the last word.
            const qsizetype space = rest.lastIndexOf(QRegularExpression(QStringLiteral("\\s")));
            name = space < 0 ? rest : rest.left(space).trimmed();
        }
        if (name.isEmpty())
            fail(QStringLiteral("FILE without a name"));
        const QString path = m_resolve(name);
        if (path.isEmpty())
            fail(QStringLiteral("the image \"%1\" was not found").arg(name));
        // The same image named again carries on where it was (a sheet carried inside its
        // image names nothing else).
        if (m_entries.empty() || m_entries.back() != path) {
            m_entries.push_back(path);
            m_lastTime = -1;
        }
        if (!m_sheet.files.contains(path))
            m_sheet.files << path;
    }

    void track(const QString& rest)
    {
        if (m_entries.empty())
            fail(QStringLiteral("TRACK before FILE"));
        closeTrack();
        QString after;
        bool ok = false;
        const int number = firstValue(rest, &after).toInt(&ok);
        if (!ok || number < 1)
            fail(QStringLiteral("malformed TRACK \"%1\"").arg(rest));
        if (!m_read.empty() && number <= m_read.back().track.number)
            fail(QStringLiteral("track %1 after track %2: numbers must increase").arg(number)
                     .arg(m_read.back().track.number));
        const QString type = firstValue(after).toUpper();
        m_read.push_back({});
        m_current = &m_read.back();
        m_current->track.number = number;
        m_current->audio = type.isEmpty() || type == QLatin1String("AUDIO");
        m_current->line = m_line;
    }

    // A track ends at the next TRACK or at the sheet's end; it must have had its INDEX 01.
    void closeTrack()
    {
        if (m_current && m_current->entry < 0)
            fail(QStringLiteral("track %1 has no INDEX 01").arg(m_current->track.number), m_current->line);
        m_current = nullptr;
    }

    void index(const QString& rest)
    {
        if (!m_current)
            fail(QStringLiteral("INDEX before TRACK"));
        QString after;
        bool ok = false;
        const int number = firstValue(rest, &after).toInt(&ok);
        if (!ok || number < 0 || number > 99)
            fail(QStringLiteral("malformed INDEX \"%1\"").arg(rest));
        const std::int64_t at = time(firstValue(after));
        if (number <= m_current->lastIndex)
            fail(QStringLiteral("INDEX %1 after INDEX %2: numbers must increase").arg(number, 2, 10, QChar(u'0'))
                     .arg(m_current->lastIndex, 2, 10, QChar(u'0')));
        if (at < m_lastTime)
            fail(QStringLiteral("time %1 goes back before the one above it").arg(firstValue(after)));
        m_current->lastIndex = number;
        m_lastTime = at;
        if (number == 0) {
            m_current->track.index00 = at;
        } else if (number == 1) {
            m_current->track.index01 = at;
            m_current->track.file = m_entries.back();
            m_current->entry = int(m_entries.size()) - 1;
        }
    }

    void gap(const QString& command, const QString& rest)
    {
        if (!m_current)
            fail(QStringLiteral("%1 before TRACK").arg(command));
        (command == QLatin1String("PREGAP") ? m_current->track.pregap : m_current->track.postgap) =
            time(firstValue(rest));
    }

    void remark(const QString& rest)
    {
        QString after;
        const QString key = firstValue(rest, &after).toUpper();
        if (!key.isEmpty())
            (m_current ? m_current->track.rem : m_sheet.rem).insert(key, textValue(after));
    }

    // mm:ss:ff in frames; the minutes may run past 99.
    std::int64_t time(const QString& text) const
    {
        static const QRegularExpression form(QStringLiteral("^(\\d{1,6}):(\\d{1,2}):(\\d{1,2})$"));
        const QRegularExpressionMatch m = form.match(text);
        if (!m.hasMatch())
            fail(QStringLiteral("malformed time \"%1\"").arg(text));
        const std::int64_t minutes = m.captured(1).toLongLong();
        const int seconds = m.captured(2).toInt();
        const int frames = m.captured(3).toInt();
        if (seconds >= 60)
            fail(QStringLiteral("time \"%1\": seconds must be below 60").arg(text));
        if (frames >= kCueFramesPerSecond)
            fail(QStringLiteral("time \"%1\": frames must be below 75").arg(text));
        return (minutes * 60 + seconds) * kCueFramesPerSecond + frames;
    }

    // A track runs from its INDEX 01 to the next track's INDEX 01 in the same image, so an
    // INDEX 00 gap belongs to the track before it; the first track of an image starts at the
    // image's start, taking in whatever comes before its INDEX 01, and the last one runs to
    // the image's end.
    void cutRanges()
    {
        for (std::size_t i = 0; i < m_read.size(); ++i) {
            ReadTrack& r = m_read[i];
            const bool first = i == 0 || m_read[i - 1].entry != r.entry;
            const bool last = i + 1 == m_read.size() || m_read[i + 1].entry != r.entry;
            r.track.start = first ? 0 : r.track.index01;
            r.track.end = last ? -1 : m_read[i + 1].track.index01;
            if (r.audio)
                m_sheet.tracks.push_back(r.track);
        }
    }

    QString m_name;
    Resolver m_resolve;
    CueSheet m_sheet;
    std::vector<ReadTrack> m_read;
    ReadTrack* m_current = nullptr;   // points into m_read, which grows only in track()
    QStringList m_entries;            // one image per FILE line that began a new one
    std::int64_t m_lastTime = -1;     // the latest index time in the current image
    int m_line = 0;
};

} // namespace

std::int64_t cueFrameToSample(std::int64_t frames, int sampleRate)
{
    return frames * sampleRate / kCueFramesPerSecond;
}

std::int64_t cueTrackStartSample(const CueTrack& track, int sampleRate)
{
    if (track.startSample >= 0 && track.sampleRate == sampleRate)
        return track.startSample;
    return cueFrameToSample(track.start, sampleRate);
}

std::int64_t cueTrackEndSample(const CueTrack& track, int sampleRate)
{
    if (track.end < 0)
        return -1;
    if (track.endSample >= 0 && track.sampleRate == sampleRate)
        return track.endSample;
    return cueFrameToSample(track.end, sampleRate);
}

CueSheet parseCueSheet(const QByteArray& bytes, const QString& sheetPath)
{
    return Parser(sheetPath, [&](const QString& name) { return resolveCueFile(sheetPath, name); })
        .run(decodeCueText(bytes));
}

CueSheet parseCueSheet(const QByteArray& bytes, const QString& sheetPath, const QString& image)
{
    return Parser(sheetPath, [&](const QString&) { return image; }).run(decodeCueText(bytes));
}

} // namespace sondrel
