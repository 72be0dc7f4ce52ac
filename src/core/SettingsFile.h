#pragma once
#include <QString>
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

    // Each throws SettingsError when the file cannot be written (a read-only file included).
    void write_string(const QString& section, const QString& key, const QString& value);
    void write_int(const QString& section, const QString& key, int value);
    void write_bool(const QString& section, const QString& key, bool value);

    static constexpr int MaxTextLength = 2047;

private:
    QString m_path;
};

} // namespace sondrel
