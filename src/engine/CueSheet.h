#pragma once
// Cue sheets: an album kept as one image file (or a few) described track by track. Reading a
// sheet gives each audio track its image, its tags and its range within the image; the
// tracks are not decoded or checked against the image's length here.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace sondrel {

// CD frames: 75 a second.
constexpr int kCueFramesPerSecond = 75;

struct CueTrack {
    QString file;          // the image holding the track (a resolved, existing path)
    int number = 0;        // as the sheet numbers it
    QString title, performer, songwriter, isrc;
    QStringList flags;     // FLAGS as written (DCP, 4CH, PRE, SCMS)
    QMap<QString, QString> rem;   // the track's REM lines: key in upper case -> value
    // The range within the image in CD frames: from start up to (not including) end; end is
    // -1 for the last track of its image, which runs to the image's end.
    std::int64_t start = 0;
    std::int64_t end = -1;
    std::int64_t index00 = -1;    // INDEX 00 as written, -1 when there is none
    std::int64_t index01 = 0;     // INDEX 01 as written
    std::int64_t pregap = 0;      // PREGAP and POSTGAP: silence the sheet asks for, not in the image
    std::int64_t postgap = 0;
    // A sheet that gives sample offsets (a FLAC CUESHEET block) keeps them here, exact at
    // sampleRate; -1 otherwise. start and end then hold the frames they fall in.
    std::int64_t startSample = -1;
    std::int64_t endSample = -1;
    int sampleRate = 0;
};

struct CueSheet {
    QString path;          // the sheet, or the image for a sheet carried inside it
    QString title, performer, songwriter, catalog;
    QMap<QString, QString> rem;   // album REM lines: DATE, GENRE, DISCNUMBER, TOTALDISCS, COMMENT, ...
    QStringList files;     // the images, in the order the sheet names them
    std::vector<CueTrack> tracks; // the audio tracks, in order
};

// frames * sampleRate / 75 exactly: 588 samples a frame at 44.1 kHz, 640 at 48 kHz. At a rate
// that is no multiple of 75 the result is floored; since a track's start and end are floored
// alike, neighbouring tracks still meet without a gap or an overlap.
std::int64_t cueFrameToSample(std::int64_t frames, int sampleRate);

// A track's first sample and the sample after its last one at sampleRate (its image's rate);
// the end is -1 where the track runs to the image's end.
std::int64_t cueTrackStartSample(const CueTrack& track, int sampleRate);
std::int64_t cueTrackEndSample(const CueTrack& track, int sampleRate);

// The text of a sheet: UTF-8 (with or without its byte order mark), UTF-16 with a byte order
// mark, and otherwise Windows-1252, the code page most sheets without one were written in.
QString decodeCueText(const QByteArray& bytes);

// Parses a sheet read from sheetPath; every FILE is looked for beside it (resolveCueFile).
// Throws EngineError naming the sheet and the line for a sheet that cannot be used:
// "album.cue, line 12: INDEX before TRACK".
CueSheet parseCueSheet(const QByteArray& bytes, const QString& sheetPath);
// The same for a sheet carried inside image: every FILE names the image itself.
CueSheet parseCueSheet(const QByteArray& bytes, const QString& sheetPath, const QString& image);

// Reads and parses the sheet at path: a regular file of at most kMaxCueSheetBytes.
constexpr qint64 kMaxCueSheetBytes = 4 * 1024 * 1024;
CueSheet readCueSheet(const QString& path);

// The image a sheet's FILE line names: the name taken relative to the sheet's folder
// (backslashes are separators; a Windows drive or absolute path counts by its file name only);
// if that does not exist, the same name with another audio extension (.flac, .wav, .ape, .wv,
// ...) in that folder, else a file whose name differs only in letter case. Empty when none is
// found.
QString resolveCueFile(const QString& sheetPath, const QString& nameInSheet);

// The sheet a FLAC, WavPack or Monkey's Audio file carries: a FLAC CUESHEET comment or
// CUESHEET metadata block, or an APE tag's CUESHEET item. None when the file carries none;
// throws EngineError when the one it carries cannot be used.
std::optional<CueSheet> embeddedCueSheet(const QString& imagePath);

} // namespace sondrel
