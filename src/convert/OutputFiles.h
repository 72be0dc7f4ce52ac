#pragma once
// Safe writing of converted files: every output is written under a temporary name in its
// output folder and renamed onto its target only when complete, so a crash, a kill or a
// full disk never leaves a cut file under a target's name, and an existing target is only
// ever replaced by a complete new file. Renaming replaces a symbolic link itself; nothing is
// ever written through one. The folders are held open (OutputDir): the temporary file is
// created, renamed and cleaned up relative to the folder itself, and the sub-folders of kept
// folders are entered without following a link, so no output lands outside the output folder.
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <sys/types.h>

namespace sondrel {

class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A folder on the way to an output is a symbolic link: it is never followed.
class OutputLinkError : public OutputError {
public:
    explicit OutputLinkError(const QString& link);
};

// Which file a path names: device and inode.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId&) const = default;
};
struct FileIdHash {
    std::size_t operator()(const FileId& id) const noexcept
    {
        return std::size_t(id.ino) * 31u + std::size_t(id.dev);
    }
};

// The file path names, links followed; none when there is no such file.
std::optional<FileId> fileIdOf(const QString& path);
// Whether path (links followed) is a regular file; false for FIFOs, devices and sockets.
bool isRegularFile(const QString& path);
// The modification time of path (links followed) in nanoseconds since the epoch; none when
// there is no such file.
std::optional<std::int64_t> modifiedNsOf(const QString& path);
// Whether an output modified at outputNs is as new as its source modified at sourceNs or
// newer: a run that updates leaves it as it is.
inline bool outputIsUpToDate(std::int64_t sourceNs, std::int64_t outputNs)
{
    return outputNs >= sourceNs;
}

// An output folder, held open until the last one using it lets it go.
class OutputDir {
public:
    // Opens the output folder the user chose (links on its path are followed: it is the folder
    // chosen). Throws OutputError.
    static std::shared_ptr<const OutputDir> open(const QString& folder);
    ~OutputDir();
    OutputDir(const OutputDir&) = delete;
    OutputDir& operator=(const OutputDir&) = delete;

    // The folder relative ("a/b/", at least one name) below this one, each of its folders created where missing
    // and entered without following a link. Throws OutputLinkError where one is a link, and
    // OutputError where one cannot be created or entered.
    std::shared_ptr<const OutputDir> subFolder(const QString& relative) const;

    int fd() const { return m_fd; }
    // Its path, ending in "/".
    const QString& path() const { return m_path; }

    // The entry name in this folder itself (a link is not followed); none when there is none.
    std::optional<FileId> entryId(const QString& name) const;
    // The file the entry name leads to, links followed; none when it leads nowhere.
    std::optional<FileId> fileId(const QString& name) const;
    // Whether the entry is a folder (a link to a folder is not one: it can be replaced).
    bool isFolder(const QString& name) const;
    // The modification time of the file name leads to, as modifiedNsOf.
    std::optional<std::int64_t> modifiedNs(const QString& name) const;

private:
    OutputDir(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}
    int m_fd;
    QString m_path;
};

// A temporary output file in an output folder, locked for as long as this object lives, so
// that the stale-file clean-up of another run (or program) never removes it.
class TempOutput {
public:
    // Creates a new, empty temporary file in folder. Throws OutputError.
    explicit TempOutput(std::shared_ptr<const OutputDir> folder);
    ~TempOutput(); // removes the file unless it was committed
    TempOutput(const TempOutput&) = delete;
    TempOutput& operator=(const TempOutput&) = delete;

    // Its path, for writers that open the file by name.
    const QString& path() const { return m_path; }
    // The file itself, open for reading and writing until it is committed or removed.
    int fd() const { return m_fd; }
    // Makes everything written so far durable. Throws OutputError with the system's reason.
    void sync();
    // Makes the written data durable and renames the file onto target, a name in the same
    // folder (given as the folder's path and the name), replacing whatever entry target was
    // (a link is replaced, not followed); then makes the new name durable too. Throws
    // OutputError.
    void commit(const QString& target);
    // Removes the temporary file now; harmless after commit.
    void remove() noexcept;

private:
    std::shared_ptr<const OutputDir> m_folder;
    QByteArray m_name;
    QString m_path;
    int m_fd = -1;
    bool m_done = false;
};

// Whether a file name follows the temporary naming pattern.
bool isTempOutputName(const QString& fileName);
// Removes the temporary files of runs that ended without cleaning up (killed, crashed) from
// folder: regular files of the temporary naming pattern that no one holds locked. Anything
// else of such a name (a link, a pipe, a device) is neither opened nor removed. Returns how
// many were removed.
int removeStaleTempOutputs(const OutputDir& folder);

} // namespace sondrel
