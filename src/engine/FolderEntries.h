#pragma once
#include <QByteArray>
#include <QList>

namespace sondrel {

// The names of the entries of an already opened folder (descriptor folder), "." and ".."
// left out, in the order the file system gives them. Reading the folder by its descriptor
// names what is in that very folder, whatever its path leads to meanwhile. Empty when it
// cannot be read.
QList<QByteArray> folderEntries(int folder);

} // namespace sondrel
