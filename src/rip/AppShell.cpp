#include "rip/AppShell.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "albuminfo/AlbumSteps.h"
#include "encoders/OutputFormat.h"
#include "rip/DriveOffsets.h"
#include "rip/Naming.h"

namespace fs = std::filesystem;

namespace quarrow {

namespace {

std::string ExecutableFolder(const std::string& argv0) {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string path = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : argv0;
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool MakeFolders(const std::string& path, std::string& error) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path)) {
        error = "cannot create the home folder " + path + ": " + (ec ? ec.message() : "not a folder");
        return false;
    }
    return true;
}

// A settings file that is missing is created empty; the initial values stay in force.
// O_EXCL: never follow a link that appeared since, nor open a FIFO put there.
void CreateEmptySettings(const std::string& iniPath, Prompter& prompter) {
    int fd = ::open(iniPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        prompter.Message("cannot create " + iniPath + ": " + std::strerror(errno), MessageIcon::Warning);
    else
        ::close(fd);
}

// Steps 4-6: settings, banner, the launch entry. A log file that cannot be written does
// not stop the opening: the run goes on without it, and says so.
void LoadSettingsAndStartLog(AppShell& shell, Prompter& prompter) {
    shell.settings = CSettings::Initial(shell.home);
    const std::string iniPath = CSettings::FilePath(shell.home);
    shell.log.SetFile(shell.home + "/Quarrow.log", shell.settings.OUTPUT.WriteLog != 0);
    try {
        struct stat st {};
        if (::lstat(iniPath.c_str(), &st) != 0 && errno == ENOENT) {
            CreateEmptySettings(iniPath, prompter);
        } else {
            // What Load logs about a damaged file goes to the file whatever it says of WriteLog.
            shell.log.SetWriteLog(true);
            std::string why;
            if (shell.settings.Load(shell.home, &shell.log, &why)) {
                shell.log.SetWriteLog(shell.settings.OUTPUT.WriteLog != 0);
                shell.log.Add("Quarrow settings loaded.");
            } else {
                prompter.Message(why, MessageIcon::Error);
            }
        }
        shell.log.SetWriteLog(shell.settings.OUTPUT.WriteLog != 0);

        std::time_t now = std::time(nullptr);
        std::tm start{};
        localtime_r(&now, &start);
        shell.log.WriteBanner(start);
        shell.log.AddLaunchEntry();
        shell.log.Add("Initializing main dialog...");
    } catch (const std::runtime_error& e) {
        shell.log.SetWriteLog(false);
        prompter.Message(std::string(e.what()) + "; going on without the log file", MessageIcon::Warning);
    }
}

// Step 10: the machine's CD drives, then the devices and images named by --drive.
// Returns how many of the drives are the machine's own.
int FindDrives(AppShell& shell, Prompter& prompter, const ShellOptions& options, ShellView& view) {
    shell.log.Add("Initializig CD-drives...");
    for (const std::string& device : ListSystemCdDrives()) {
        std::string why;
        if (auto drive = OpenCdioDrive(device, &why)) shell.grabber.Add(std::move(drive));
    }
    const int systemDrives = shell.grabber.DriveCount();
    for (const std::string& path : options.drives) {
        std::string why;
        auto drive = OpenCdioDrive(path, &why);
        if (!drive) {
            prompter.Message(why, MessageIcon::Error);
            shell.log.Add("Error: cannot open drive " + path + ": " + why, 1);
            continue;
        }
        shell.grabber.Add(std::move(drive));
    }
    CDriveOffsets offsets(shell.home);
    for (int i = 1; i <= shell.grabber.DriveCount(); ++i) {
        CdDrive& drive = shell.grabber.DriveAt(i);
        // Each drive starts as the grabber is set up at opening: plain reads, stop on error, no retries;
        // its read offset, which rips and playback read with, is the user's or the known one.
        drive.SetReadMode(0);
        drive.SetErrorAction(0);
        drive.SetReadRetries(0);
        offsets.Apply(drive, shell.log);
        drive.Initialize();
        const std::string entry = drive.EntryText();
        view.AddDrive(i, entry, "Drive  " + drive.DriveName());
        shell.log.Add("Find drive \"" + entry + "\"");
    }
    return systemDrives;
}

int OpenSteps(AppShell& shell, Prompter& prompter, const ShellOptions& options, ShellView& view) {
    LoadSettingsAndStartLog(shell, prompter);

    // Step 7: the server list; the album lookup's collaborators hang off the main context.
    StartAlbumServices(*shell.main, shell.home);

    // Steps 8-9: the components. The drives are configured as they are found (step 10);
    // the WMA writer only needs its profile file.
    shell.log.Add("Initializing ActiveX controls...");
    const std::string profile = shell.home + "/Quarrow.prx";
    std::error_code ec;
    if (fs::is_regular_file(profile, ec)) shell.wmaProfile = profile;
    else shell.log.Add("Warning: WMA profile file " + profile + " not found!", 1);

    // Steps 10-11.
    const int systemDrives = FindDrives(shell, prompter, options, view);
    if (shell.grabber.DriveCount() > 0) {
        shell.log.Add("CD drives are found !");
    } else if (!options.driveOptional) {
        prompter.Message("CD Drives NOT Found!", MessageIcon::Error);
        return 2;
    }

    // Step 12: the sound output; without it nothing plays, and opening goes on.
    if (options.soundOutput) shell.sound.Open(shell.log, prompter);

    // Step 13: the track list's Destination column follows the naming rules.
    InstallDestinationColumn(*shell.main);
    // Step 14: the saved output format.
    shell.outputFormatLine = UpdateOutputFormatSummary(shell.settings, shell.log);

    // Step 15: a --drive is selected; otherwise the saved drive when the count is unchanged.
    const int count = shell.grabber.DriveCount();
    if (count > 0) {
        int selected = 1;
        if (!options.drives.empty() && count > systemDrives)
            selected = count;
        else if (shell.settings.MISC.DriveCount == count && shell.settings.MISC.DriveNum >= 1 &&
                 shell.settings.MISC.DriveNum <= count)
            selected = shell.settings.MISC.DriveNum;
        SetDrive(shell, selected, view);
    } else {
        prompter.Message("No CD Drive Found !");
        shell.log.Add("No CD drive found !");
    }

    // Step 16: the output format box.
    view.ShowOutputFormat(shell.outputFormatLine);
    // Step 17.
    if (count == 0) {
        prompter.Message("No Drive was Detected !", MessageIcon::Information);
        shell.log.Add("No drive was detected !");
    }
    shell.log.Add("Initialization finished.");
    return 0;
}

}  // namespace

std::string ResolveHomeFolder(const std::optional<std::string>& homeOption, const std::string& argv0,
                              std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return std::string();
    };
    if (homeOption) {
        if (homeOption->empty()) return fail("--home needs a folder, not an empty value");
        std::string h = *homeOption;
        while (h.size() > 1 && h.back() == '/') h.pop_back();
        return h;
    }
    const std::string exeFolder = ExecutableFolder(argv0);
    if (fs::exists(exeFolder + "/Quarrow.ini")) return exeFolder;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return std::string(xdg) + "/Quarrow";
    // Only an absolute folder of this user's own will do.
    std::string base;
    if (const char* home = std::getenv("HOME"); home && *home == '/') base = home;
    else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') base = pw->pw_dir;
    else
        return fail("no home folder: HOME is not set and user " + std::to_string(::getuid()) +
                    " has no folder in the password database; name one with --home DIR");
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return (base == "/" ? std::string() : base) + "/.local/share/Quarrow";
}

int OpenShell(AppShell& shell, Prompter& prompter, const ShellOptions& options, ShellView& view) {
    std::string error;
    shell.home = ResolveHomeFolder(options.home, options.argv0, &error);
    if (shell.home.empty()) {
        prompter.Message(error, MessageIcon::Error);
        return 64;
    }
    if (!MakeFolders(shell.home, error)) {
        prompter.Message(error, MessageIcon::Error);
        return 1;
    }
    shell.main = std::make_unique<MainContext>(shell.settings, shell.log, shell.grabber, prompter);
    try {
        return OpenSteps(shell, prompter, options, view);
    } catch (const std::exception& e) {
        prompter.Message("Fail to Initialize! ", MessageIcon::Error);
        try {
            shell.log.Add("Fail to initialize!!", 2);
            shell.log.Add(std::string("Cause: ") + e.what(), 2);
        } catch (const std::exception&) {
            // The log file itself is what failed; the message box has said it.
        }
        return 1;
    }
}

void SetDrive(AppShell& shell, int number, ShellView& view) {
    if (number < 1 || number > shell.grabber.DriveCount()) return;
    if (shell.main) shell.main->currentItem = 0;
    if (shell.grabber.CurrentDrive() >= 1) shell.grabber.Drive().UnlockTray();
    shell.grabber.SetCurrentDrive(number);
    CdDrive& drive = shell.grabber.Drive();
    // The drive reports its disc from the moment it is current, as a real drive does: the
    // refresh's first album steps ask whether a disc is there before the refresh reads it.
    drive.RefreshDisc();
    shell.log.Add("Set drive " + drive.IdentA() + "  " + drive.IdentB() + " as current.");
    view.SelectDrive(number);
    if (shell.main)
        for (TrackRow& row : shell.main->rows) row.destination.clear();
    view.StartRefresh();
}

void CloseShell(AppShell& shell) {
    try {
        if (shell.grabber.DriveCount() > 0) {
            shell.settings.MISC.DriveNum = static_cast<int16_t>(shell.grabber.CurrentDrive());
            shell.settings.MISC.DriveCount = static_cast<int16_t>(shell.grabber.DriveCount());
            shell.grabber.Drive().Uninitialize();
        }
        shell.log.Add("Closing Quarrow...");
        shell.log.WriteClosingLines();
    } catch (const std::exception& e) {
        if (shell.main) shell.main->prompter.Message(e.what(), MessageIcon::Warning);
    }
    std::string why;
    if (!shell.settings.Save(shell.home, &shell.log, &why) && shell.main)
        shell.main->prompter.Message(why, MessageIcon::Error);
    if (shell.main) StopAlbumServices(*shell.main, shell.home);
    shell.sound.Close();
}

}  // namespace quarrow
