#pragma once
#include <QString>

namespace sondrel {

// The caption with its extension replaced: the extension is the text from the last "." on,
// when no "/" follows it; a caption without one gets the extension appended.
QString replaceExtension(const QString& caption, const QString& extension);

// The longest file name Linux file systems take, in bytes.
inline constexpr int MaxNameBytes = 255;

// The output file's name for a row: its caption with the run's extension. A caption that is a
// title (typed in the tag editor) keeps all of its text and gets the extension appended; one
// that is still a file name has its extension replaced. "/" and NUL become "-", so the name
// never leaves its folder; a caption with nothing before its extension takes the source file's
// base name instead of making a hidden file named only by the extension; a name over
// MaxNameBytes (UTF-8) is shortened at a character boundary before its extension.
QString targetNameFor(const QString& caption, bool captionIsTitle, const QString& extension,
                      const QString& sourcePath);

// The output file of a row: the output folder (ending in "/") and targetNameFor's name.
QString targetPathFor(const QString& outputFolder, const QString& caption, const QString& extension,
                      const QString& sourcePath, bool captionIsTitle = false);

// stem and extension, the stem cut at a UTF-8 character boundary where both together would be
// longer than MaxNameBytes; the extension is kept whole.
QString shortenedName(const QString& stem, const QString& extension);

// The folder a row's output goes to when folders are kept: below the output folder (ending in
// "/"), a folder named like the added folder, then the source's own folders below the added
// one ("<output>/<added folder's name>/<sub-folders>/"). The output folder itself for a row
// added as a single file, or whose source does not lie below its added folder.
QString keptFolderFor(const QString& outputFolder, const QString& addedFolder, const QString& sourcePath);
// The part of keptFolderFor's folder below the output folder ("<name>/<sub-folders>/"), empty
// for the output folder itself.
QString keptSubFolderFor(const QString& addedFolder, const QString& sourcePath);

// Whether two paths name the same existing file (after links and "..", hard links included).
bool sameFile(const QString& a, const QString& b);

} // namespace sondrel
