#pragma once
#include <QString>

namespace sondrel {

// The caption with its extension replaced: the extension is the text from the last "." on,
// when no "/" follows it; a caption without one gets the extension appended.
QString replaceExtension(const QString& caption, const QString& extension);

// The output file of a row: the output folder (ending in "/") and the caption with the run's
// extension. A "/" in the caption (a title typed in the tag editor) becomes "_", so the name
// can never leave the output folder; a caption with nothing before its extension takes the
// source file's base name instead of making a hidden file named only by the extension.
QString targetPathFor(const QString& outputFolder, const QString& caption,
                      const QString& extension, const QString& sourcePath);

// The folder a row's output goes to when folders are kept: below the output folder (ending in
// "/"), a folder named like the added folder, then the source's own folders below the added
// one ("<output>/<added folder's name>/<sub-folders>/"). The output folder itself for a row
// added as a single file, or whose source does not lie below its added folder.
QString keptFolderFor(const QString& outputFolder, const QString& addedFolder, const QString& sourcePath);

// Whether two paths name the same existing file (after links and "..", hard links included).
bool sameFile(const QString& a, const QString& b);

} // namespace sondrel
