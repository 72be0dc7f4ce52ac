#include "CueRows.h"

#include "AudioFile.h"
#include "EngineError.h"
#include "FileTags.h"
#include "OtherTags.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <sys/stat.h>

namespace sondrel {

bool isCueSheetName(const QString& name)
{
    return name.endsWith(QLatin1String(".cue"), Qt::CaseInsensitive);
}

namespace {

// What a sheet's tracks need of their image, read once for all of them.
struct Image {
    std::int64_t frames = 0;
    int rate = 0;
    std::int64_t bytes = 0;
    std::int64_t modifiedMs = 0;
    TrackInfo record;
    QMap<QString, QStringList> fields;
};

Image openImage(const QString& path, AudioFile& reader)
{
    Image image;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        throw EngineError(QStringLiteral("%1: no such file").arg(QFileInfo(path).fileName()).toStdString());
    try {
        reader.OpenRead(path, 0, 1);
        image.frames = reader.SampleCount();
        image.rate = reader.SampleRate();
        reader.Close();
    } catch (const CancelledError&) {
        reader.Close();
        throw;
    } catch (const EngineError&) {
        reader.Close();
        image.frames = 0;
    }
    if (image.frames <= 0 || image.rate <= 0)
        throw EngineError(QStringLiteral("%1: no audio that can be read").arg(QFileInfo(path).fileName()).toStdString());
    image.bytes = std::int64_t(st.st_size);
    image.modifiedMs = std::int64_t(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    try {
        const FileTags tags = readFileTags(path, true);
        image.record = trackInfoOf(tags.values);
        image.fields = tags.carried.fields;
    } catch (const EngineError&) {
        // The audio reads but the tags do not: the sheet's tags alone make the record.
    }
    return image;
}

QString firstOf(std::initializer_list<QString> values)
{
    for (const QString& v : values)
        if (!v.trimmed().isEmpty())
            return v.trimmed();
    return {};
}

// The year a DATE holds ("1994", "1994-05-02"); 0 for none.
int yearOf(const QString& date)
{
    static const QRegularExpression year(QStringLiteral("^\\s*(\\d{4})"));
    const QRegularExpressionMatch m = year.match(date);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

} // namespace

std::vector<ListRow> cueSheetRows(const CueSheet& sheet, AudioFile& reader)
{
    std::map<QString, Image> images;
    const int total = int(sheet.tracks.size());
    const QString discTotal = sheet.rem.value(QStringLiteral("TOTALDISCS"));
    const auto imageOf = [&](const QString& file) -> const Image& {
        auto found = images.find(file);
        if (found == images.end())
            found = images.emplace(file, openImage(file, reader)).first;
        return found->second;
    };
    // A track that starts past its image's end says more than the one before, which ends there.
    for (const CueTrack& t : sheet.tracks) {
        const Image& image = imageOf(t.file);
        if (cueTrackStartSample(t, image.rate) >= image.frames)
            throw EngineError(QStringLiteral("track %1 starts after the end of %2")
                                  .arg(t.number)
                                  .arg(QFileInfo(t.file).fileName())
                                  .toStdString());
    }
    std::vector<ListRow> rows;
    rows.reserve(sheet.tracks.size());
    for (const CueTrack& t : sheet.tracks) {
        const Image& image = imageOf(t.file);
        const QString imageName = QFileInfo(t.file).fileName();

        const std::int64_t start = cueTrackStartSample(t, image.rate);
        const std::int64_t endAt = cueTrackEndSample(t, image.rate);
        const std::int64_t end = endAt < 0 ? image.frames : endAt;
        if (end > image.frames)
            throw EngineError(QStringLiteral("track %1 ends after the end of %2").arg(t.number).arg(imageName).toStdString());
        if (end <= start)
            throw EngineError(QStringLiteral("track %1 is empty").arg(t.number).toStdString());

        // The sheet's values over the image's: the image's title names the album, not a track.
        TrackInfo record;
        record.title = t.title.trimmed();
        record.artist = firstOf({t.performer, sheet.performer, image.record.artist});
        record.album = firstOf({sheet.title, image.record.album});
        record.genre = firstOf({sheet.rem.value(QStringLiteral("GENRE")), image.record.genre});
        record.track = t.number;
        const QString date = sheet.rem.value(QStringLiteral("DATE"));
        record.year = yearOf(date) ? yearOf(date) : image.record.year;
        record.comment = firstOf({t.rem.value(QStringLiteral("COMMENT")), sheet.rem.value(QStringLiteral("COMMENT")),
                                  image.record.comment});

        TrackRange range;
        range.sheet = sheet.path;
        range.number = t.number;
        range.start = start;
        range.end = end;
        range.bytes = std::int64_t(double(image.bytes) * double(end - start) / double(image.frames) + 0.5);
        const auto give = [&](const char* name, const QString& value) {
            if (!value.trimmed().isEmpty())
                range.fields.insert(QString::fromLatin1(name), {value.trimmed()});
        };
        give("ALBUMARTIST", sheet.performer);
        give("COMPOSER", firstOf({t.songwriter, sheet.songwriter}));
        give("TRACKNUMBER", QStringLiteral("%1/%2").arg(t.number).arg(total));
        const QString disc = sheet.rem.value(QStringLiteral("DISCNUMBER")).trimmed();
        give("DISCNUMBER", disc.isEmpty() || discTotal.trimmed().isEmpty() ? disc : disc + QLatin1Char('/') + discTotal.trimmed());
        give("DATE", date);
        give("ISRC", t.isrc);
        give("CATALOGNUMBER", sheet.catalog);

        ListRow row;
        row.path = t.file;
        row.setCaption(record.title.isEmpty() ? QStringLiteral("Track %1").arg(t.number, 2, 10, QLatin1Char('0'))
                                              : QStringLiteral("%1 %2").arg(t.number, 2, 10, QLatin1Char('0')).arg(record.title));
        row.durationMs = ((end - start) * 1000 + image.rate / 2) / image.rate;
        row.bytes = image.bytes;
        row.modifiedMs = image.modifiedMs;
        QMap<QString, QStringList> named = image.fields;
        for (auto it = range.fields.cbegin(); it != range.fields.cend(); ++it)
            named.insert(it.key(), it.value());
        row.setInfo(record);
        row.setOtherTags(otherTagsOf(named));
        row.range = std::make_unique<TrackRange>(std::move(range));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ListRow> carriedSheetRows(const QString& path, AudioFile& reader)
{
    static const QStringList carriers{QStringLiteral(".flac"), QStringLiteral(".wv"), QStringLiteral(".ape")};
    if (std::none_of(carriers.begin(), carriers.end(), [&](const QString& e) { return path.endsWith(e, Qt::CaseInsensitive); }))
        return {};
    const std::optional<CueSheet> sheet = embeddedCueSheet(path);
    if (!sheet || !cueSheetCuts(*sheet))
        return {};
    return cueSheetRows(*sheet, reader);
}

bool cueSheetCuts(const CueSheet& sheet)
{
    std::map<QString, int> tracks;
    for (const CueTrack& t : sheet.tracks)
        if (++tracks[t.file] > 1)
            return true;
    return false;
}

SheetInFolder cueSheetInFolder(const QString& sheetPath)
{
    try {
        const CueSheet sheet = readCueSheet(sheetPath);
        const bool cuts = cueSheetCuts(sheet);
        return {sheet.files, cuts, cuts};
    } catch (const EngineError&) {
        return {};
    }
}

} // namespace sondrel

namespace sondrel {

QSet<QString> leftOutOfNamedFiles(const QStringList& paths)
{
    const auto clean = [](const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); };
    QSet<QString> named;
    for (const QString& path : paths)
        named.insert(clean(path));
    QSet<QString> out;
    for (const QString& path : paths) {
        if (!isCueSheetName(path))
            continue;
        const SheetInFolder sheet = cueSheetInFolder(path);
        for (const QString& image : sheet.images) {
            if (sheet.cuts)
                out.insert(clean(image));
            else if (named.contains(clean(image)))
                out.insert(clean(path));
        }
    }
    return out;
}

} // namespace sondrel
