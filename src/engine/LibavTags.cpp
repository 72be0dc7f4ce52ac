#include "LibavTags.h"

#include "FfmpegSupport.h"
#include "TagFields.h"

#include <QFile>
#include <QSet>

#include <memory>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace sondrel {

namespace {

using FormatContext = std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)>;

FormatContext openFormat(const QString& path)
{
    ff::quietLogs();
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int rc = avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, &options);
    av_dict_free(&options);
    return FormatContext(rc < 0 ? nullptr : raw, [](AVFormatContext* c) {
        if (c)
            avformat_close_input(&c);
    });
}

void takeDictionary(CarriedTags& t, const AVDictionary* dict)
{
    static const QMap<QString, QString> renamed{
        {QStringLiteral("ALBUM_ARTIST"), QStringLiteral("ALBUMARTIST")},
        {QStringLiteral("TRACK"), QStringLiteral("TRACKNUMBER")},
        {QStringLiteral("DISC"), QStringLiteral("DISCNUMBER")},
        {QStringLiteral("DESCRIPTION"), QStringLiteral("COMMENT")},
    };
    static const QSet<QString> technical{QStringLiteral("CREATION_TIME"), QStringLiteral("HANDLER_NAME"),
                                         QStringLiteral("VENDOR_ID"), QStringLiteral("LANGUAGE"),
                                         QStringLiteral("MAJOR_BRAND"), QStringLiteral("MINOR_VERSION"),
                                         QStringLiteral("COMPATIBLE_BRANDS"), QStringLiteral("DURATION")};
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(dict, "", e, AV_DICT_IGNORE_SUFFIX))) {
        QString name = QString::fromUtf8(e->key).toUpper();
        name = renamed.value(name, name);
        if (!notCarried(name) && !technical.contains(name) && !t.fields.contains(name))
            t.fields[name] = QStringList{QString::fromUtf8(e->value)};
    }
}

void takeCarried(CarriedTags& t, AVFormatContext* ctx)
{
    takeDictionary(t, ctx->metadata);
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC)
            takePicture(t, {QByteArray(reinterpret_cast<const char*>(st->attached_pic.data), st->attached_pic.size),
                            {}, 3, {}});
    }
    const int audio = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0)
        takeDictionary(t, ctx->streams[audio]->metadata);
}

TagValues valuesOf(AVFormatContext* ctx)
{
    const AVDictionary* stream = nullptr;
    for (unsigned i = 0; i < ctx->nb_streams && !stream; ++i)
        if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            stream = ctx->streams[i]->metadata;
    const auto get = [&](const char* key) {
        for (const AVDictionary* dict : {const_cast<const AVDictionary*>(ctx->metadata), stream}) {
            if (const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0))
                return QString::fromUtf8(e->value);
        }
        return QString();
    };
    TagValues v{get("title"), get("artist"), get("album"), get("genre"), get("description"), 0, 0};
    if (v.comment.isEmpty())
        v.comment = get("comment");
    v.year = get("date").left(4).toUInt();
    v.track = get("tracknumber").section(QLatin1Char('/'), 0, 0).toUInt();
    if (v.track == 0)
        v.track = get("track").section(QLatin1Char('/'), 0, 0).toUInt();
    return v;
}

} // namespace

void readLibavTags(const QString& path, CarriedTags* carried, TagValues* values)
{
    const FormatContext ctx = openFormat(path);
    if (!ctx)
        return;
    if (carried)
        takeCarried(*carried, ctx.get());
    if (values)
        *values = valuesOf(ctx.get());
}

} // namespace sondrel
