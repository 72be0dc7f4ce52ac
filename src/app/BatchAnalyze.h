#pragma once
#include <cstdio>

namespace sondrel {

struct CommandLine;

// Measures the loudness of the files and folders of an --analyze command line without any
// window, writing nothing: one line per file on out, in the order named,
// "path<TAB>LUFS<TAB>true peak dBTP<TAB>track gain dB<TAB>album gain dB" (C locale, two
// decimals; a silent file "-inf" and no gains), each once its album is known. Files that
// cannot be read are said on err. Needs a QCoreApplication. Returns the exit status: 0 when
// every file was measured, 1 otherwise, 128 + the signal after a stop signal.
int runBatchAnalysis(const CommandLine& command, std::FILE* out, std::FILE* err);

} // namespace sondrel
