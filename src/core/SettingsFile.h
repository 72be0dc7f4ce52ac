#pragma once
#include <QMap>
#include <QString>
#include <functional>
#include <stdexcept>

namespace sondrel {

// A write the system refused; the text is "Unable to write to <path>".
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The settings store over one INI file. It holds no copy of the values: every read goes to
// the file, and every write reaches the file at once and atomically (a temporary file in the
// same folder renamed over the old one), so a crash leaves the old file or the new one.
//
// Format: "[section]" lines, "key=value" lines; section and key names match without regard to
// case; blanks around names and values are ignored; lines starting with ";" or "#" are
// comments. A value with blanks at either end, or one starting with a double quote, is written
// inside double quotes, and one pair of surrounding quotes is removed when read, so every text
// reads back as it was written.
class SettingsFile {
public:
    explicit SettingsFile(QString path);

    // trevalon.ini in the user's configuration folder.
    static QString defaultPath();
    const QString& path() const { return m_path; }

    // The stored text cut to 2047 characters; the default only when the key is absent.
    QString read_string(const QString& section, const QString& key, const QString& def) const;
    // A signed 32-bit decimal, or hexadecimal after "0x"/"0X"; the default when the key is
    // absent, empty or not a number.
    int read_int(const QString& section, const QString& key, int def) const;
    // read_int with default 1 or 0; any non-zero value is yes.
    bool read_bool(const QString& section, const QString& key, bool def) const;

    // Each throws SettingsError when the file cannot be written (a read-only file, a folder
    // or a file over the size limit included), unless a handler for unsaved values is set.
    void write_string(const QString& section, const QString& key, const QString& value);
    void write_int(const QString& section, const QString& key, int value);
    void write_bool(const QString& section, const QString& key, bool value);

    // From now on a write the file refuses does not throw: the value is kept in memory, so
    // the readers of this store see it until it closes, and goes into the file with the next
    // write that succeeds. The handler is called once, at the first refusal, with a message
    // that names the file and the reason.
    void keepUnsavedValues(std::function<void(const QString& message)> onFirstRefusal);

    // Removes the temporary files a save killed midway left beside the settings file (the
    // file's name followed by a dot and six letters or digits, older than a minute).
    void removeStrayTemporaries() const;

    static constexpr int MaxTextLength = 2047;

private:
    struct Setting {
        QString section, key, value;
    };
    // Writes the unsaved values and the new one; the reason when the file refuses.
    QString save(const Setting& setting) const;
    bool findUnsaved(const QString& section, const QString& key, QString* value) const;

    QString m_path;
    std::function<void(const QString&)> m_onFirstRefusal;
    bool m_refusalReported = false;
    QMap<QString, Setting> m_unsaved; // by lower-case "section\nkey"
};

} // namespace sondrel
