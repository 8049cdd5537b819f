// The track list's rules on MainContext::rows, shared by the window and the command line:
// which rows may be checked and the check commands, the current-track helpers, Edit Title's
// start, Get ISRC, the double-click action and the Status column.
#pragma once

#include <functional>
#include <string>

#include "albuminfo/DiscRefresh.h"

namespace quarrow {

inline constexpr const char* kOnlyAudioCheckable = "Warning: Only Audio Track can be Checked!";
inline constexpr const char* kOnlyAudioCheckableLog = "Warning: only audio track can be checked!";
inline constexpr const char* kNoAudioTrackSelected = "No Audio Track Selected!";
inline constexpr const char* kNotAnAudioTrackRow = "Not an Audio Track!";
inline constexpr const char* kSelectTrackFirst = "Please Select a Track First!";
inline constexpr const char* kDoubleClickQuestion = "Which Action Do You Wish to Perform?";
inline constexpr const char* kPlayTheTrack = "Play the Track";
inline constexpr const char* kRipTheTrack = "Rip the Track";
inline constexpr const char* kRememberPreference = "Remember My Preference";

// The check-box click: only audio rows can be checked. Checking any other row shows and
// logs the warning and leaves it unchecked. Returns the row's state afterwards.
bool SetRowChecked(MainContext& ctx, int row, bool checked);

// The menu commands; `selected` is the list's selected row (-1: none). Check All,
// Uncheck All and Reverse Check do nothing without a disc.
void CheckSelected(MainContext& ctx, int selected);
void UncheckSelected(MainContext& ctx, int selected);
void CheckAll(MainContext& ctx);
void UncheckAll(MainContext& ctx);
void ReverseCheck(MainContext& ctx);

// The first checked row after start (-1: from the top). testOnly only answers whether there
// is one; otherwise its track is selected in the drive and it becomes ctx.currentItem (the
// window then selects, focuses and shows that row). false when there is none.
bool SelectNextChecked(MainContext& ctx, int start, bool testOnly);
// Makes the selected row the current track: "No Audio Track Selected!" (no icon) without a
// selection, "Not an Audio Track!" (error icon) for a data row; false then.
bool SelectSelectedItem(MainContext& ctx, int selected);

// F2: whether the window may open the title editor over the selected row; without one,
// "Please Select a Track First!". The edited text goes to EditTrackTitle.
bool BeginEditTitle(MainContext& ctx, int selected);

// Get ISRC's menu state: a disc, an audio current track and no ISRC read yet.
bool GetIsrcEnabled(const MainContext& ctx);
// The command: when enabled, asks the next refresh to read the ISRCs; true when the caller
// must stop playback and start that refresh.
bool GetIsrc(MainContext& ctx);

// The double-click on a row, by the setting DbClk.
enum class DoubleClickAction { None, Play, Rip };
struct DoubleClickChoice {
    int action = -1;       // 0 play, 1 rip, -1 cancelled
    bool remember = false; // "Remember My Preference"
};
// The question "Which Action Do You Wish to Perform?" (dialog with "Play the Track", "Rip
// the Track", "Remember My Preference", nothing preselected).
using DoubleClickAsk = std::function<DoubleClickChoice()>;
// DbClk 0 plays, 1 rips, -1 asks (a remembered choice is stored in DbClk), other values do
// nothing. Without ask, the Prompter picks between the two actions and nothing is remembered.
DoubleClickAction OnDoubleClick(MainContext& ctx, const DoubleClickAsk& ask = {});

// A status message from a worker: kinds 0-2 log the text at that level, 3 puts it into the
// current row's Status column, 4 empties every row's Status column.
void OnStatusMessage(MainContext& ctx, const std::string& text, int kind);

}  // namespace quarrow
