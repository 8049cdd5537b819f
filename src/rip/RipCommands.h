// The five rip commands of the main window: their checks, in order, with the messages
// the user sees through the Prompter, and the CRipJob each builds from the track list
// rows and the drive. A command returns the job to run, or nothing when a check failed
// or the user cancelled; the caller runs the rip and keeps the window busy meanwhile.
// A format that cannot be written here is refused before any folder is made.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "rip/RipJob.h"

namespace quarrow {

struct MainContext;
class CSectorRange;

struct RipCommandHooks {
    // Playback state; without it nothing plays.
    std::function<bool()> isPlaying;
    std::function<void()> stopPlayback;
    // Shows the sector range dialog opened on the disc; true for OK. Without it the
    // range is taken as the dialog opens (the whole first run of audio tracks).
    std::function<bool(CSectorRange&)> chooseRange;
    // false: only the job is wanted, so the save-file question's folder is not made.
    bool createFolders = true;
    // The home folder, where External/ holds encoder programs; empty: PATH only.
    std::string home;
};

// Message texts of the commands.
extern const char* const kNoDiscFound;          // "No Disc Found!"
extern const char* const kNotAnAudioCd;         // "Not an Audio CD!"
extern const char* const kStopPlayingQuestion;
extern const char* const kNoTracksChecked;      // "No Audio Tracks Checked!"
extern const char* const kNoTracksFound;        // "No Audio Tracks Found!"
extern const char* const kDataTracksInImage;

// Tooltips of the commands, and the longer captions of the main-window buttons.
struct RipCommandTexts {
    const char* name;
    const char* menuText;     // empty when the command is a button only
    const char* tooltip;
    const char* caption;
};
const RipCommandTexts& RipCommandText(int mode);   // 0 selected .. 4 disc image

// Rip the selected row (0-based row index; -1 when none is selected).
std::optional<CRipJob> OnRipSelected(MainContext& ctx, int selectedRow, const RipCommandHooks& hooks = {});
// Rip every checked audio row; with SingleOpt into one file the user names.
std::optional<CRipJob> OnRipChecked(MainContext& ctx, const RipCommandHooks& hooks = {});
// Rip every audio row, one file per track or, with SingleOpt, into one file.
std::optional<CRipJob> OnRipAll(MainContext& ctx, const RipCommandHooks& hooks = {});
// Rip a sector range chosen in the range dialog into one file.
std::optional<CRipJob> OnRipSectorRange(MainContext& ctx, const RipCommandHooks& hooks = {});
// Rip the whole disc (audio tracks only) into one image file with a cue sheet.
std::optional<CRipJob> OnRipDiscImage(MainContext& ctx, const RipCommandHooks& hooks = {});

// The absolute start sector of every table entry of the disc (for the range dialog).
std::vector<int32_t> TocStarts(const MainContext& ctx);

}  // namespace quarrow
