// The application shell without widgets: the home folder, the opening of the main window
// (settings, log banner, server list, drives, output format, first drive selection) and its
// shutdown, in one order shared by the Qt window and the command line.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "albuminfo/DiscRefresh.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "rip/Playback.h"

namespace quarrow {

struct ShellOptions {
    std::optional<std::string> home;     // --home
    std::vector<std::string> drives;     // --drive, in order; the last one given is selected
    std::string argv0;
    bool driveOptional = false;          // settings-only commands go on without a drive
    bool soundOutput = false;            // the sound output checks (whoever plays asks for them)
};

// What the window shows while it opens and when the drive changes; every method has an empty default.
class ShellView {
public:
    virtual ~ShellView() = default;
    virtual void AddDrive(int /*number*/, const std::string& /*comboEntry*/, const std::string& /*menuText*/) {}
    virtual void SelectDrive(int /*number*/) {}              // combo index number-1, menu item 100+number checked
    virtual void ShowOutputFormat(const std::string& /*line*/) {}
    virtual void StartRefresh() {}                           // the device command "refresh" of the set-drive procedure
};

struct AppShell {
    std::string home;
    CSettings settings;
    CEventLog log;
    CdGrabber grabber;
    std::unique_ptr<MainContext> main;   // made during opening, on the Prompter given to OpenShell
    std::string outputFormatLine;        // the "Output Audio Format" box
    std::string wmaProfile;              // home + "/Quarrow.prx" when that file exists
    SoundOutput sound;                   // opened when ShellOptions::soundOutput asks for it
};

// The home folder: --home, else the executable's folder when it holds Quarrow.ini,
// else $XDG_DATA_HOME/Quarrow, else ~/.local/share/Quarrow with ~ from $HOME or the
// password database. Empty, with the reason in error, when --home is empty or no
// user's own folder is known (a shared fallback would mix users' settings).
std::string ResolveHomeFolder(const std::optional<std::string>& homeOption, const std::string& argv0,
                              std::string* error = nullptr);

// Opening steps 3-19. 0, or the exit status when opening stops (64: unusable home; 1: cannot create it, or an
// exception reached the catch-all, "Fail to Initialize! "; 2: no drive). shell.main exists whenever the home does.
int OpenShell(AppShell& shell, Prompter& prompter, const ShellOptions& options, ShellView& view);
// The set-drive procedure (drive combo, Drive(s) menu, start-up): logs "Set drive ... as current.", resets the
// row state it names and calls view.StartRefresh(). Stopping playback is the caller's (no playback yet).
void SetDrive(AppShell& shell, int number, ShellView& view);
// Shutdown steps 2-7 ("Closing Quarrow..." and the five empty lines, settings saved, server list written).
void CloseShell(AppShell& shell);

}  // namespace quarrow
