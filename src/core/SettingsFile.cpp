#include "SettingsFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace sondrel {

namespace {

// A settings file is a few hundred bytes; anything far larger is not ours to parse whole.
constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

QStringList readLines(const QString& path)
{
    QFile f(path);
    QFileInfo info(path);
    if (!info.isFile() || info.size() > MaxFileSize || !f.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(f.readAll());
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool isComment(const QString& trimmed)
{
    return trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

// The section a line opens, or a null string when it opens none.
QString sectionOf(const QString& line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return {};
    const qsizetype end = t.indexOf(QLatin1Char(']'));
    const QString name = (end < 0 ? t.mid(1) : t.mid(1, end - 1)).trimmed();
    return name.isNull() ? QStringLiteral("") : name;
}

// Splits "key=value" into its parts; false for lines that hold no setting.
bool splitSetting(const QString& line, QString* key, QString* rawValue)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || isComment(t) || t.startsWith(QLatin1Char('[')))
        return false;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    *key = line.left(eq).trimmed();
    *rawValue = line.mid(eq + 1);
    return !key->isEmpty();
}

QString decodeValue(const QString& raw)
{
    QString v = raw.trimmed();
    if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"')))
        v = v.mid(1, v.size() - 2);
    return v;
}

QString encodeValue(QString v)
{
    // A setting is one line: a line break inside a value would open a line of its own.
    v.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const bool needsQuotes = !v.isEmpty()
        && (v.front().isSpace() || v.back().isSpace() || v.startsWith(QLatin1Char('"')));
    return needsQuotes ? QLatin1Char('"') + v + QLatin1Char('"') : v;
}

// Cuts a text to at most n characters without splitting a surrogate pair.
QString cutText(const QString& s, int n)
{
    if (s.size() <= n)
        return s;
    qsizetype cut = n;
    if (cut > 0 && s.at(cut - 1).isHighSurrogate())
        --cut;
    return s.left(cut);
}

bool findValue(const QStringList& lines, const QString& section, const QString& key, QString* value)
{
    bool inSection = false;
    for (const QString& line : lines) {
        const QString s = sectionOf(line);
        if (!s.isNull()) {
            inSection = s.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        QString k, raw;
        if (inSection && splitSetting(line, &k, &raw) && k.compare(key, Qt::CaseInsensitive) == 0) {
            *value = decodeValue(raw);
            return true;
        }
    }
    return false;
}

// Sets key in section: replaces the key in the first section of that name, or adds it at
// the end of that section, or adds the section at the end of the file.
void setLine(QStringList& lines, const QString& section, const QString& key, const QString& value)
{
    const QString newLine = key + QLatin1Char('=') + encodeValue(value);
    qsizetype sectionLine = -1; // the first section of that name
    qsizetype insertAt = -1;    // after its last setting
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString s = sectionOf(lines[i]);
        if (!s.isNull()) {
            if (inSection)
                break; // the first section of that name ended without the key
            inSection = s.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        QString k, raw;
        if (splitSetting(lines[i], &k, &raw)) {
            if (k.compare(key, Qt::CaseInsensitive) == 0) {
                lines[i] = newLine;
                return;
            }
            insertAt = i + 1;
        }
    }
    if (sectionLine < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines << QString();
        lines << QLatin1Char('[') + section + QLatin1Char(']') << newLine;
    } else {
        lines.insert(insertAt, newLine);
    }
}

bool parseInt(const QString& text, int* out)
{
    const QString t = text.trimmed();
    bool ok = false;
    if (t.size() > 2 && (t.startsWith(QLatin1String("0x")) || t.startsWith(QLatin1String("0X")))) {
        const qulonglong v = t.mid(2).toULongLong(&ok, 16);
        if (!ok || v > 0xFFFFFFFFull)
            return false;
        *out = static_cast<int>(static_cast<quint32>(v));
        return true;
    }
    const int v = t.toInt(&ok, 10);
    if (ok)
        *out = v;
    return ok;
}

} // namespace

SettingsFile::SettingsFile(QString path) : m_path(std::move(path)) {}

QString SettingsFile::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/trevalon.ini");
}

QString SettingsFile::read_string(const QString& section, const QString& key, const QString& def) const
{
    QString v;
    if (!findUnsaved(section, key, &v) && !findValue(readLines(m_path), section, key, &v))
        return cutText(def, MaxTextLength);
    return cutText(v, MaxTextLength);
}

int SettingsFile::read_int(const QString& section, const QString& key, int def) const
{
    QString v;
    int n = 0;
    if ((findUnsaved(section, key, &v) || findValue(readLines(m_path), section, key, &v)) && parseInt(v, &n))
        return n;
    return def;
}

bool SettingsFile::read_bool(const QString& section, const QString& key, bool def) const
{
    return read_int(section, key, def ? 1 : 0) != 0;
}

void SettingsFile::write_string(const QString& section, const QString& key, const QString& value)
{
    const Setting setting{section, key, value};
    const QString refusal = save(setting);
    if (refusal.isEmpty()) {
        m_unsaved.clear(); // they went into the file with this one
        return;
    }
    if (!m_onFirstRefusal)
        throw SettingsError("Unable to write to " + m_path.toStdString());
    m_unsaved.insert(section.toLower() + QLatin1Char('\n') + key.toLower(), setting);
    if (!m_refusalReported) {
        m_refusalReported = true;
        m_onFirstRefusal(QStringLiteral("The settings file %1 cannot be written: %2. Your settings are "
                                        "kept until the program closes, but not saved.")
                             .arg(m_path, refusal));
    }
}

QString SettingsFile::save(const Setting& setting) const
{
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile())
        return info.isDir() ? QStringLiteral("it is a folder") : QStringLiteral("it is not a regular file");
    // A file the user made read-only stays untouched, even for a user the system would let
    // replace it.
    if (info.exists() && (!info.permissions().testFlag(QFileDevice::WriteOwner)
                          || !info.permissions().testFlag(QFileDevice::WriteUser)))
        return QStringLiteral("it is read-only");
    if (info.exists() && info.size() > MaxFileSize)
        return QStringLiteral("it is larger than %1 MiB").arg(MaxFileSize / (1024 * 1024));
    if (!QDir().mkpath(info.absolutePath()))
        return QStringLiteral("its folder cannot be created");

    QStringList lines = readLines(m_path);
    for (const Setting& earlier : m_unsaved)
        setLine(lines, earlier.section, earlier.key, earlier.value);
    setLine(lines, setting.section, setting.key, setting.value);

    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    const QByteArray bytes = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    if (out.write(bytes) != bytes.size() || !out.commit())
        return out.errorString();
    return {};
}

bool SettingsFile::findUnsaved(const QString& section, const QString& key, QString* value) const
{
    const auto it = m_unsaved.constFind(section.toLower() + QLatin1Char('\n') + key.toLower());
    if (it == m_unsaved.constEnd())
        return false;
    *value = it->value;
    return true;
}

void SettingsFile::keepUnsavedValues(std::function<void(const QString&)> onFirstRefusal)
{
    m_onFirstRefusal = std::move(onFirstRefusal);
}

void SettingsFile::removeStrayTemporaries() const
{
    const QFileInfo info(m_path);
    const QRegularExpression stray(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(info.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    const QDateTime settled = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QFileInfoList candidates =
        info.absoluteDir().entryInfoList({info.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& f : candidates)
        if (stray.match(f.fileName()).hasMatch() && !f.isSymLink() && f.lastModified().toUTC() < settled)
            QFile::remove(f.absoluteFilePath());
}

void SettingsFile::write_int(const QString& section, const QString& key, int value)
{
    write_string(section, key, QString::number(value));
}

void SettingsFile::write_bool(const QString& section, const QString& key, bool value)
{
    write_string(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace sondrel
