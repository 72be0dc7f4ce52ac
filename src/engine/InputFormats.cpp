#include "InputFormats.h"

#include <QSet>

namespace sondrel {

const QList<InputFormat>& inputFormats()
{
    static const QList<InputFormat> formats{
        {"MP3", {QStringLiteral("mp3")}, {QStringLiteral("audio/mpeg")}},
        {"WAV", {QStringLiteral("wav")}, {QStringLiteral("audio/x-wav")}},
        {"WMA", {QStringLiteral("wma")}, {QStringLiteral("audio/x-ms-wma")}},
        {"OGG", {QStringLiteral("ogg")}, {QStringLiteral("audio/x-vorbis+ogg"), QStringLiteral("audio/ogg")}},
        {"FLAC", {QStringLiteral("flac")}, {QStringLiteral("audio/flac")}},
        {"Opus", {QStringLiteral("opus")}, {QStringLiteral("audio/x-opus+ogg")}},
        {"Ogg audio", {QStringLiteral("oga")}, {QStringLiteral("audio/ogg"), QStringLiteral("audio/x-flac+ogg")}},
        {"M4A/MP4", {QStringLiteral("m4a"), QStringLiteral("m4b"), QStringLiteral("mp4")}, {QStringLiteral("audio/mp4"), QStringLiteral("audio/x-m4b")}},
        {"AAC", {QStringLiteral("aac")}, {QStringLiteral("audio/aac")}},
        {"AIFF", {QStringLiteral("aif"), QStringLiteral("aiff"), QStringLiteral("aifc")}, {QStringLiteral("audio/x-aiff"), QStringLiteral("audio/x-aifc")}},
        {"WavPack", {QStringLiteral("wv")}, {QStringLiteral("audio/x-wavpack")}},
        {"Monkey's Audio", {QStringLiteral("ape")}, {QStringLiteral("audio/x-ape")}},
        {"Matroska/WebM audio", {QStringLiteral("mka"), QStringLiteral("webm")}, {QStringLiteral("audio/x-matroska"), QStringLiteral("audio/webm")}},
        {"MP2", {QStringLiteral("mp2")}, {QStringLiteral("audio/mp2")}},
        {"AC-3", {QStringLiteral("ac3")}, {QStringLiteral("audio/ac3")}},
        // An album image described track by track: its tracks are listed.
        {"Cue sheet", {QStringLiteral("cue")}, {QStringLiteral("application/x-cue")}},
    };
    return formats;
}

namespace {
QString patterns(const QStringList& extensions, const QString& separator)
{
    QStringList p;
    for (const QString& e : extensions)
        p << QStringLiteral("*.") + e;
    return p.join(separator);
}
} // namespace

QStringList inputFileFilters()
{
    QStringList all;
    QStringList filters;
    for (const InputFormat& f : inputFormats()) {
        all << f.extensions;
        filters << QStringLiteral("%1 Files(%2)").arg(QLatin1String(f.name), patterns(f.extensions, QStringLiteral(" ")));
    }
    filters.prepend(QStringLiteral("All Supported Files (%1)").arg(patterns(all, QStringLiteral(" "))));
    return filters;
}

QStringList inputMimeTypes()
{
    QStringList types;
    for (const InputFormat& f : inputFormats())
        for (const QString& t : f.mimeTypes)
            if (!types.contains(t))
                types << t;
    return types;
}

bool isInputFileName(const QString& fileName)
{
    static const QSet<QString> known = [] {
        QSet<QString> s;
        for (const InputFormat& f : inputFormats())
            for (const QString& e : f.extensions)
                s.insert(e);
        return s;
    }();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && known.contains(fileName.mid(dot + 1).toLower());
}

} // namespace sondrel
