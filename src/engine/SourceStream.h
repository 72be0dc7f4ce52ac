#pragma once
// A source file as TagLib reads it: through the descriptor the source was opened with (a
// regular file only, never waited on), its size taken once, every read one pread. TagLib's
// own stream opens the file again by name and asks the system for each seek and for the
// length; adding a large folder spends much of its time on those calls.
#include "SourceFile.h"

#include <QByteArray>
#include <memory>

#include <taglib/tiostream.h>

namespace sondrel {

class SourceStream : public TagLib::IOStream {
public:
    explicit SourceStream(std::shared_ptr<const SourceFile> file);

    TagLib::FileName name() const override { return m_name.constData(); }
    TagLib::ByteVector readBlock(unsigned long length) override;
    // Read only: the writing calls change nothing (TagLib does not write a read-only stream).
    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long = 0, unsigned long = 0) override {}
    void removeBlock(unsigned long = 0, unsigned long = 0) override {}
    bool readOnly() const override { return true; }
    bool isOpen() const override { return m_size >= 0; }
    void seek(long offset, Position p = Beginning) override;
    long tell() const override { return long(m_pos); }
    long length() override { return long(m_size); }
    void truncate(long) override {}

private:
    std::shared_ptr<const SourceFile> m_file;
    QByteArray m_name;
    std::int64_t m_size;
    std::int64_t m_pos = 0;
};

} // namespace sondrel
