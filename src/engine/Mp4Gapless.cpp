#include "Mp4Gapless.h"

#include "CheckedStream.h"
#include "EngineError.h"

#include <taglib/mp4file.h>

namespace sondrel {

QString iTunSmpbText(std::int64_t delay, std::int64_t padding, std::int64_t length)
{
    const auto hex = [](std::int64_t v, int width) {
        return QStringLiteral("%1").arg(quint64(v), width, 16, QLatin1Char('0')).toUpper();
    };
    QString text = QStringLiteral(" 00000000 %1 %2 %3").arg(hex(delay, 8), hex(padding, 8), hex(length, 16));
    for (int i = 0; i < 8; ++i)
        text += QStringLiteral(" 00000000");
    return text;
}

void writeITunSmpb(const QString& path, std::int64_t delay, std::int64_t padding, std::int64_t length)
{
    const auto fail = [&](const QString& why) {
        return QStringLiteral("%1: cannot write the gapless tag: %2").arg(path, why).toStdString();
    };
    CheckedStream stream(path);
    bool saved = false;
    {
        TagLib::MP4::File file(&stream, false);
        if (!file.isValid() || !file.tag())
            throw EngineError(fail(QStringLiteral("not a valid M4A file")));
        const QByteArray text = iTunSmpbText(delay, padding, length).toLatin1();
        file.tag()->setItem(ITunSmpbAtom, TagLib::MP4::Item(TagLib::StringList(TagLib::String(text.constData()))));
        saved = file.save();
    }
    if (stream.error())
        throw WriteFailure(fail(stream.errorText()));
    if (!saved)
        throw EngineError(fail(QStringLiteral("TagLib could not save the file")));
}

} // namespace sondrel
