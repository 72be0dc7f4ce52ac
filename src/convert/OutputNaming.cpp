#include "OutputNaming.h"

#include "NamePattern.h"
#include "RunRows.h"
#include "TargetPath.h"

#include <QDir>
#include <QFileInfo>

#include <array>

namespace sondrel {

namespace {
constexpr std::array<const char*, 5> ExistingWords{"ask", "skip", "overwrite", "rename", "update"};
} // namespace

QString existingWord(Existing e)
{
    return QString::fromLatin1(ExistingWords[std::size_t(e)]);
}

std::optional<Existing> existingNamed(const QString& word)
{
    for (std::size_t i = 0; i < ExistingWords.size(); ++i) {
        if (word == QLatin1String(ExistingWords[i]))
            return Existing(i);
    }
    return std::nullopt;
}

Existing existingFromSetting(int value)
{
    return value >= 0 && value < int(ExistingWords.size()) ? Existing(value) : Existing::Ask;
}

bool relativeOutputFor(const RunRows& rows, int row, const OutputNaming& naming, const NamePattern* pattern,
                       QString* relative, QString* error)
{
    const QString source = rows.source(row);
    const QString sub = naming.keepFolders ? keptSubFolderFor(rows.addedFolder(row), source) : QString();
    if (!pattern) {
        *relative = sub + targetNameFor(rows.caption(row), rows.captionNamesWhole(row), naming.extension, source);
        return true;
    }
    if (!pattern->isValid()) {
        *error = QStringLiteral("The name pattern is not valid: ") + pattern->error();
        return false;
    }
    NameValues values = rows.nameValues(row);
    const QString caption = rows.caption(row);
    values.name = rows.captionNamesWhole(row) ? caption : QFileInfo(caption).completeBaseName();
    values.folder = QFileInfo(source).absoluteDir().dirName();
    values.format = naming.formatLabel;
    // The pattern's own folders go below the kept one.
    *relative = sub + pattern->expand(values, naming.extension, naming.nameRules);
    return true;
}

QString numberedName(const QString& relative, const QString& extension, int n)
{
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    const QString folder = relative.left(slash + 1);
    const QString name = relative.mid(slash + 1);
    const bool hasExtension = !extension.isEmpty() && name.size() > extension.size()
        && name.endsWith(extension, Qt::CaseInsensitive);
    const QString stem = hasExtension ? name.left(name.size() - extension.size()) : name;
    const QString tail = QStringLiteral(" (%1)").arg(n) + (hasExtension ? name.right(extension.size()) : QString());
    return folder + shortenedName(stem, tail);
}

QString RunNames::key(const QString& relative) const
{
    return m_rules == NameRules::Portable ? relative.toCaseFolded() : relative;
}

QString RunNames::take(const QString& relative, const QString& extension,
                       const std::function<bool(const QString&)>& alsoTaken)
{
    const QString first = key(relative);
    const auto isFree = [&](const QString& name) {
        return !m_taken.contains(key(name)) && !(alsoTaken && alsoTaken(name));
    };
    QString name = relative;
    if (!isFree(name)) {
        // Numbering goes on from where it stopped for this name, so that many rows of one
        // name do not each try every number again.
        int& next = m_nextNumber[first];
        next = std::max(next, 2);
        do
            name = numberedName(relative, extension, next++);
        while (!isFree(name));
    }
    m_taken.insert(key(name));
    return name;
}

} // namespace sondrel
