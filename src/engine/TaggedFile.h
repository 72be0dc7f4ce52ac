#pragma once
// A file's tags as its kind keeps them: the file opened by its TagLib class, and one module
// per tag format it holds, in the order readers prefer them (an MP3's ID3v2, then APE, then
// ID3v1; a WAV file's ID3 chunk, then RIFF INFO).
#include "TagFiles.h"
#include "TagModule.h"

#include <memory>
#include <vector>

namespace sondrel {

class TaggedFile {
public:
    // Opens the file of kind on stream, which must outlive it. For writing, the tags the kind
    // is written with are made where the file has none.
    TaggedFile(TagKind kind, TagLib::IOStream* stream, bool writing);
    ~TaggedFile();
    TaggedFile(const TaggedFile&) = delete;
    TaggedFile& operator=(const TaggedFile&) = delete;

    bool isOpen() const;
    bool isValid() const;
    bool readOnly() const;

    // Every field (the first tag that has one gives it) and the pictures of the first tag
    // that has any.
    CarriedTags carried() const;
    // Each value from the first tag that has it.
    TagValues values() const;
    // Every tag gets the fields and pictures of tags; returns what could not be held.
    QStringList carry(const CarriedTags& tags);
    // Every tag gets the seven values over what it holds.
    void setValues(const TagValues& v);
    // Saves the tags (an MP3 as ID3v2.3 and ID3v1, a WAV file's ID3 chunk as 2.3, other kinds
    // of tags of those two stripped; a WMA file without empty texts). False when TagLib could
    // not.
    bool save();

private:
    void addModules(bool writing);

    TagKind m_kind;
    TagLib::IOStream* m_stream;
    std::unique_ptr<TagLib::File> m_file;
    std::vector<std::unique_ptr<TagModule>> m_modules;
};

} // namespace sondrel
