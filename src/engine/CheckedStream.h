#pragma once
// A file opened for reading and writing, as TagLib reads and writes it, that remembers the
// first failed read or write. TagLib's own file stream ignores the results of its writes: on a
// full disk it reports a save as done while the file was cut or left half moved. Here every
// pread, pwrite and ftruncate is checked, and once one has failed nothing more is written, so
// the caller can refuse the file with the system's own reason.
#include <QByteArray>
#include <QString>
#include <cstdint>

#include <taglib/tiostream.h>

namespace sondrel {

class CheckedStream : public TagLib::IOStream {
public:
    // Opens path (a regular file, never through a link). Throws EngineError when it cannot.
    explicit CheckedStream(const QString& path);
    ~CheckedStream() override;
    CheckedStream(const CheckedStream&) = delete;
    CheckedStream& operator=(const CheckedStream&) = delete;

    // The errno of the first failed operation; 0 while none has failed.
    int error() const { return m_error; }
    // The system's text for error(), e.g. "No space left on device".
    QString errorText() const;

    TagLib::FileName name() const override { return m_name.constData(); }
    TagLib::ByteVector readBlock(unsigned long length) override;
    void writeBlock(const TagLib::ByteVector& data) override;
    void insert(const TagLib::ByteVector& data, unsigned long start = 0, unsigned long replace = 0) override;
    void removeBlock(unsigned long start = 0, unsigned long length = 0) override;
    bool readOnly() const override { return false; }
    bool isOpen() const override { return m_fd >= 0; }
    void seek(long offset, Position p = Beginning) override;
    long tell() const override { return long(m_pos); }
    long length() override;
    void truncate(long length) override;

private:
    bool readAt(std::int64_t offset, char* data, std::int64_t size, std::int64_t* got);
    bool writeAt(std::int64_t offset, const char* data, std::int64_t size);
    void fail(int error);

    QByteArray m_name;
    int m_fd = -1;
    std::int64_t m_pos = 0;
    int m_error = 0;
};

} // namespace sondrel
