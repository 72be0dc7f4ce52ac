#pragma once

namespace sondrel {

// Raises the process's soft limit of open files to its hard limit. An album converted with
// album loudness values keeps each finished output open under its temporary name (its lock
// keeps other runs from cleaning it away) until the album's last file is measured, and the
// usual soft limit of 1024 would fail the files of a very large album.
void raiseOpenFileLimit();

} // namespace sondrel
