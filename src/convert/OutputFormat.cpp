#include "OutputFormat.h"

#include <QStringList>
#include <algorithm>

namespace sondrel {

namespace {

// Built on first use: descriptors register from static initialisers in any order.
std::vector<const OutputFormat*>& registry()
{
    static std::vector<const OutputFormat*> formats;
    return formats;
}

bool sameText(const char* a, const char* b)
{
    return QString::fromLatin1(a).compare(QString::fromLatin1(b), Qt::CaseInsensitive) == 0;
}

bool complete(const OutputFormat& f)
{
    return f.index >= 0 && f.name && *f.name && f.label && f.extension && f.extension[0] == '.' && f.section &&
           f.page.title && f.page.name && f.page.build && f.configure;
}

} // namespace

const std::vector<const OutputFormat*>& outputFormats()
{
    return registry();
}

const OutputFormat* outputFormat(int index)
{
    for (const OutputFormat* f : registry())
        if (f->index == index)
            return f;
    return nullptr;
}

const OutputFormat* outputFormatNamed(const QString& name)
{
    for (const OutputFormat* f : registry())
        if (name.compare(QLatin1String(f->name), Qt::CaseInsensitive) == 0)
            return f;
    return nullptr;
}

QStringList outputFormatNames()
{
    QStringList names;
    for (const OutputFormat* f : registry())
        names << QString::fromLatin1(f->name);
    return names;
}

bool registerOutputFormat(const OutputFormat& format)
{
    if (!complete(format))
        return false;
    std::vector<const OutputFormat*>& formats = registry();
    const bool taken = std::any_of(formats.begin(), formats.end(), [&](const OutputFormat* f) {
        return f->index == format.index || sameText(f->name, format.name) || sameText(f->extension, format.extension);
    });
    if (taken)
        return false;
    const auto at = std::upper_bound(formats.begin(), formats.end(), format.index,
                                     [](int index, const OutputFormat* f) { return index < f->index; });
    formats.insert(at, &format);
    return true;
}

} // namespace sondrel
