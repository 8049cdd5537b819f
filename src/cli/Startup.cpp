#include "cli/Startup.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/ComponentError.h"

#if __has_include("albuminfo/AlbumSteps.h")
#include "albuminfo/AlbumSteps.h"
#define QUARROW_HAVE_ALBUM_SERVICES 1
#endif
#include "encoders/OutputFormat.h"
#if __has_include("rip/Naming.h")
#include "rip/Naming.h"
#define QUARROW_HAVE_NAMING 1
#endif

namespace fs = std::filesystem;

namespace quarrow::cli {

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

int StartUp(CliApp& app, const GlobalOptions& options, const std::string& argv0, bool driveOptional) {
    app.prompter.assumeYes = options.assumeYes;
    app.prompter.match = options.match;
    std::string error;
    app.home = ResolveHomeFolder(options.home, argv0, &error);
    if (app.home.empty()) {
        std::cerr << "error: " << error << "\n";
        return 64;
    }
    if (!MakeFolders(app.home, error)) {
        std::cerr << "error: " << error << "\n";
        return 1;
    }

    // Settings: a missing file is created empty and the initial values stay in force.
    app.settings = CSettings::Initial(app.home);
    const std::string iniPath = CSettings::FilePath(app.home);
    app.log.SetFile(app.home + "/Quarrow.log", app.settings.OUTPUT.WriteLog != 0);
    try {
        struct stat st {};
        if (::lstat(iniPath.c_str(), &st) != 0 && errno == ENOENT) {
            // O_EXCL: never follow a link that appeared since, nor open a FIFO put there.
            int fd = ::open(iniPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0) {
                std::cerr << "warning: cannot create " << iniPath << ": " << std::strerror(errno) << "\n";
            } else {
                ::close(fd);
            }
        } else {
            app.log.SetWriteLog(true);
            std::string why;
            if (app.settings.Load(app.home, &app.log, &why)) {
                app.log.SetWriteLog(app.settings.OUTPUT.WriteLog != 0);
                app.log.Add("Quarrow settings loaded.");
            } else {
                app.prompter.Message(why, MessageIcon::Error);
            }
        }
        app.log.SetWriteLog(app.settings.OUTPUT.WriteLog != 0);

        std::time_t now = std::time(nullptr);
        std::tm start{};
        localtime_r(&now, &start);
        app.log.WriteBanner(start);
        app.log.AddLaunchEntry();
        app.log.Add("Initializing main dialog...");
    } catch (const std::exception& e) {
        // The log file cannot be written: go on without it, as the user still wants the command.
        std::cerr << "warning: " << e.what() << "; going on without the log file\n";
        app.log.SetWriteLog(false);
    }

    app.main = std::make_unique<MainContext>(app.settings, app.log, app.grabber, app.prompter);
#ifdef QUARROW_HAVE_ALBUM_SERVICES
    StartAlbumServices(*app.main, app.home);
#endif
#ifdef QUARROW_HAVE_NAMING
    InstallDestinationColumn(*app.main);
#endif

    app.outputFormatLine = UpdateOutputFormatSummary(app.settings, app.log);

    // Drives: the machine's CD drives, then the devices and images named by --drive.
    app.log.Add("Initializig CD-drives...");
    for (const std::string& device : ListSystemCdDrives()) {
        std::string why;
        if (auto drive = OpenCdioDrive(device, &why)) app.grabber.Add(std::move(drive));
    }
    const int systemDrives = app.grabber.DriveCount();
    for (const std::string& path : options.drives) {
        std::string why;
        auto drive = OpenCdioDrive(path, &why);
        if (!drive) {
            std::cerr << "error: " << why << "\n";
            app.log.Add("Error: cannot open drive " + path + ": " + why, 1);
            continue;
        }
        app.grabber.Add(std::move(drive));
    }
    for (int i = 1; i <= app.grabber.DriveCount(); ++i)
        app.log.Add("Find drive \"" + app.grabber.DriveAt(i).EntryText() + "\"");
    if (app.grabber.DriveCount() == 0 && driveOptional) {
        app.log.Add("Initialization finished.");
        return 0;
    }
    if (app.grabber.DriveCount() == 0) {
        std::cerr << "CD Drives NOT Found!\n";
        try {
            app.log.Add("CD Drives NOT Found!", 2);
        } catch (...) {
        }
        return 2;
    }
    app.log.Add("CD drives are found !");

    // Selection: a --drive is selected; otherwise the saved drive when the count matches.
    int selected = 1;
    if (!options.drives.empty() && app.grabber.DriveCount() > systemDrives)
        selected = app.grabber.DriveCount();
    else if (app.settings.MISC.DriveCount == app.grabber.DriveCount() && app.settings.MISC.DriveNum >= 1 &&
             app.settings.MISC.DriveNum <= app.grabber.DriveCount())
        selected = app.settings.MISC.DriveNum;
    app.grabber.SetCurrentDrive(selected);
    CdDrive& drive = app.grabber.Drive();
    drive.Initialize();
    // The drive knows its disc from the start, as a real drive does; the refresh's first
    // album steps ask whether a disc is there before the refresh proper reads it again.
    drive.RefreshDisc();
    drive.SetReadMode(0);
    drive.SetErrorAction(0);
    drive.SetReadRetries(0);
    drive.UnlockTray();
    app.log.Add("Set drive " + drive.IdentA() + "  " + drive.IdentB() + " as current.");
    app.log.Add("Initialization finished.");
    return 0;
}

void ShutDown(CliApp& app) {
    try {
        if (app.grabber.DriveCount() > 0) {
            app.settings.MISC.DriveNum = static_cast<int16_t>(app.grabber.CurrentDrive());
            app.settings.MISC.DriveCount = static_cast<int16_t>(app.grabber.DriveCount());
            app.grabber.Drive().Uninitialize();
        }
        app.log.Add("Closing Quarrow...");
        app.log.WriteClosingLines();
    } catch (const std::exception& e) {
        std::cerr << "warning: " << e.what() << "\n";
    }
    std::string why;
    if (!app.settings.Save(app.home, &app.log, &why)) std::cerr << "error: " << why << "\n";
#ifdef QUARROW_HAVE_ALBUM_SERVICES
    if (app.main) StopAlbumServices(*app.main, app.home);
#endif
}

}  // namespace quarrow::cli
