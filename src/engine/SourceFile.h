#pragma once
// A source file opened once for reading by its own descriptor: only regular files are
// opened (a FIFO, a device or a socket named like audio is refused without ever blocking),
// and every later pass over the same file reads that very file, even if its name is
// replaced meanwhile. Reads may be cancelled from another thread through a flag.
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>

namespace sondrel {

class SourceFile {
public:
    // Throws EngineError when path cannot be opened or is not a regular file.
    static std::shared_ptr<const SourceFile> open(const QString& path, const std::atomic<bool>* cancel = nullptr);
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    const QString& path() const { return m_path; }
    // Up to size bytes at offset; the count read, 0 at the end, or a negative errno value.
    // -ECANCELED once the cancel flag is set.
    std::int64_t readAt(std::int64_t offset, void* buffer, std::int64_t size) const;
    // The current size of the file, or a negative errno value.
    std::int64_t size() const;
    // The size when it was opened.
    std::int64_t openedSize() const { return m_opened.size; }
    bool cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }
    // Whether the file was written to (its size or modification time changed) since it was
    // opened. A file replaced under its name does not count: this one is still read.
    bool changedSinceOpen() const;

private:
    struct Stamp {
        std::int64_t size = 0;
        std::int64_t mtimeNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    SourceFile(QString path, int fd, const std::atomic<bool>* cancel, Stamp opened);
    Stamp stamp() const;
    QString m_path;
    Stamp m_opened;
    int m_fd;
    const std::atomic<bool>* m_cancel;
};

} // namespace sondrel
