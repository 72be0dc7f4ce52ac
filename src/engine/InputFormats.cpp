#include "InputFormats.h"

#include <QSet>

namespace sondrel {

const QList<InputFormat>& inputFormats()
{
    static const QList<InputFormat> formats{
        {"MP3", {QStringLiteral("mp3")}},
        {"WAV", {QStringLiteral("wav")}},
        {"WMA", {QStringLiteral("wma")}},
        {"OGG", {QStringLiteral("ogg")}},
        {"FLAC", {QStringLiteral("flac")}},
        {"Opus", {QStringLiteral("opus")}},
        {"Ogg audio", {QStringLiteral("oga")}},
        {"M4A/MP4", {QStringLiteral("m4a"), QStringLiteral("m4b"), QStringLiteral("mp4")}},
        {"AAC", {QStringLiteral("aac")}},
        {"AIFF", {QStringLiteral("aif"), QStringLiteral("aiff"), QStringLiteral("aifc")}},
        {"WavPack", {QStringLiteral("wv")}},
        {"Monkey's Audio", {QStringLiteral("ape")}},
        {"Matroska/WebM audio", {QStringLiteral("mka"), QStringLiteral("webm")}},
        {"MP2", {QStringLiteral("mp2")}},
        {"AC-3", {QStringLiteral("ac3")}},
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
