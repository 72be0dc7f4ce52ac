#include "FolderEntries.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace sondrel {

QList<QByteArray> folderEntries(int folder)
{
    QList<QByteArray> names;
    // The same folder opened anew: closedir closes this one, and the caller's is left as it was.
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0)
        return names;
    DIR* dir = ::fdopendir(listed);
    if (!dir) {
        ::close(listed);
        return names;
    }
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names << QByteArray(e->d_name);
    }
    ::closedir(dir);
    return names;
}

} // namespace sondrel
