// Output naming: the extension of each output format, the path of a track's output
// file from the destination folder, the naming scheme and the album record, the
// folder-creation walk, and the model of the "Output" options page.
//
// Album data never leaves the destination folder: folder levels come only from the
// scheme (a backslash in the artist or album text also makes a level, as it always
// did), every other path character that a portable file system cannot hold becomes a
// blank, a level of only dots or blanks is neutralised, and every level is cut to the
// file system's 255 bytes (file names shorter, see kMaxFileNameBytes) without
// splitting a UTF-8 sequence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "albuminfo/AlbumRecord.h"

namespace quarrow {

struct CSettings;
struct MainContext;
class Prompter;

constexpr int kNamingSchemeCount = 13;
constexpr int kDefaultNamingScheme = 11;
constexpr std::size_t kMaxNameBytes = 255;      // one path component
// A file name the program makes also has derived names beside it while it is written:
// ".NAME.part", a companion "._.NAME.part" or ".NAME.wvc.part", the cue sheet's
// "NAME.cue.part". The longest adds 8 bytes, so file names stop 8 bytes short.
constexpr std::size_t kMaxFileNameBytes = kMaxNameBytes - 8;
constexpr std::size_t kMaxFolderPath = 4095;    // the folder walk's buffer

extern const char* const kCharactersReplacedText;   // "Invalid character(s) replaced."

// The extension (with its dot) of an output format under the current settings, from
// the format table; empty for an identifier outside 1..31 or an AAC or MPC choice
// outside its list.
std::string FormatExtension(const CSettings& s, int formatId);
// The extension of the current format (OUTPUT/OutputFormat).
std::string FormatExtension(const CSettings& s);

struct TrackPath {
    std::string path;
    bool replaced = false;    // characters were replaced (or a level neutralised)
};

// The output path of the track with this zero-based index (disc-wide; it indexes the
// album record's titles) for the current format, scheme, separator and destination.
TrackPath BuildTrackPath(const CSettings& s, const CAlbumRecord& album, int trackIndex);

// Makes one file name component safe: invalid characters (backslash included) and
// control characters become blanks, a name of only dots or blanks becomes
// underscores, and the text is cut to maxBytes keeping `keep` bytes at its end
// (an extension). Sets replaced when it changed any character.
std::string SafeNameComponent(const std::string& text, bool& replaced,
                              std::size_t keepTailBytes = 0, std::size_t maxBytes = kMaxNameBytes);

// Why no file can be created at path, as "PATH: reason" (the folder not writable, the
// name or its temporary name too long for the file system); empty when nothing is in
// the way.
std::string OutputPathProblem(const std::string& path);

// Cuts text to at most maxBytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, std::size_t maxBytes);

// The folder-creation walk: creates a folder with up to five missing levels (at most
// ten mkdir attempts). A trailing slash is ignored. attempts, when given, receives the
// number of mkdir calls made.
bool EnsureFolder(const std::string& folder, int* attempts = nullptr);

// The folder part of a path: the text up to and including its last slash; empty when
// there is none.
std::string FolderOf(const std::string& path);
// The text after the last slash.
std::string FileNameOf(const std::string& path);

// Sets MainContext::destinationOf so that the track list's Destination column shows
// each audio row's output path (album artist and title trimmed of trailing blanks),
// logging "Invalid character(s) replaced." for each row where that happened.
void InstallDestinationColumn(MainContext& ctx);

// The naming scheme list entries, every "-" shown as the separator.
std::vector<std::string> NamingSchemeEntries(const std::string& separator);
// The "Filename Sample:" text of a scheme for a separator and an extension.
std::string NamingPreview(int scheme, const std::string& separator, const std::string& extension);
// The delimiter as the page reads it: at most 3 characters, invalid ones turned to "-".
std::string CleanSeparator(const std::string& text);

// The model of the "Output" options page.
class COutputOptions {
public:
    // Opening the page: fields from the settings.
    void Open(const CSettings& s);

    // Edits (each marks the page modified).
    void SetDestination(const std::string& folder);
    void SetScheme(int scheme);
    void SetDelimiterText(const std::string& text);   // re-read: at most 3 characters
    void SetSingleOutput(bool on);
    void SetCueSheet(bool on);
    void SetPlaylist(bool on);
    void SetFillTag(bool on);
    void SetVisRip(bool on);
    void SetWriteLog(bool on);
    void SetNotify(bool on);

    // "Single Output File" checked enables "Create Cue Sheet" and disables "Create
    // Playlist"; unchecked the opposite.
    bool CueSheetEnabled() const { return singleOutput; }
    bool PlaylistEnabled() const { return !singleOutput; }

    std::vector<std::string> SchemeEntries() const { return NamingSchemeEntries(separator); }
    // The preview for the selected scheme with the current format's extension.
    std::string Preview(const CSettings& s) const;

    // "Reset": asks first; Yes restores every output and encoder setting of s to its
    // default for the home folder and re-opens the page. Returns whether it reset.
    bool Reset(CSettings& s, const std::string& homeFolder, Prompter& prompter);

    // Apply: refused (false, nothing changes) while busy. The caller then recomputes
    // the Destination column.
    bool Apply(CSettings& s, bool busy);

    std::string destination;
    int scheme = kDefaultNamingScheme;
    std::string separator = "-";
    bool fillTag = true, visRip = true, writeLog = true, singleOutput = false;
    bool cueSheet = true, playlist = true, notify = true;
    bool modified = false;
};

extern const char* const kResetOutputQuestion;

}  // namespace quarrow
