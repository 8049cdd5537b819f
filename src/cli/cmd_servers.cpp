// `servers`: the FreeDB server list as the "FreeDB" page edits it, and the server test.
#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "albuminfo/AlbumRecord.h"
#include "albuminfo/AlbumSteps.h"
#include "albuminfo/FreeDBPages.h"
#include "app/CdDrive.h"
#include "cli/Cli.h"

namespace quarrow::cli {

namespace {

constexpr const char* kUsage =
    "usage: servers list [--json] | add HOST[:PORT] [--timeout MS] [--level 3|4|5] |\n"
    "       edit N [--host HOST] [--port PORT] [--timeout MS] [--level 3|4|5] | select N |\n"
    "       delete N | reset | test [N]\n";

bool ParseInt(const std::string& text, long min, long max, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max) return false;
    value = v;
    return true;
}

// Applies --host/--port/--timeout/--level to the editor; false with a message on bad values.
bool TakeEditorOptions(std::vector<std::string>& args, FreeDBServerEditor& e) {
    std::string v;
    long n = 0;
    if (TakeOption(args, "--host", v)) e.host = v;  // checked with the whole server
    if (TakeOption(args, "--port", v)) {
        if (!ParseInt(v, 1, 65535, n)) {
            std::cerr << "error: invalid port \"" << v << "\" (1-65535)\n";
            return false;
        }
        e.port = static_cast<int32_t>(n);
    }
    if (TakeOption(args, "--timeout", v)) {
        if (!ParseInt(v, 1, 3600000, n)) {
            std::cerr << "error: invalid time-out \"" << v << "\" (1-3600000 milliseconds)\n";
            return false;
        }
        e.timeout = static_cast<int32_t>(n);
    }
    if (TakeOption(args, "--level", v)) {
        if (!ParseInt(v, 3, 5, n)) {
            std::cerr << "error: invalid protocol level \"" << v << "\" (3, 4 or 5)\n";
            return false;
        }
        e.levelIndex = static_cast<int>(n - 3);
    }
    return true;
}

// "N" as a 1-based index into the list.
bool TakeIndex(std::vector<std::string>& args, const FreeDBServerList& list, int& index) {
    long n = 0;
    if (args.empty() || !ParseInt(args[0], 1, static_cast<long>(list.size()), n)) {
        std::cerr << "error: give a server number from 1 to " << list.size()
                  << (args.empty() ? std::string() : " (not \"" + args[0] + "\")") << "\n";
        return false;
    }
    args.erase(args.begin());
    index = static_cast<int>(n - 1);
    return true;
}

void PrintList(const AlbumServices& s, int current, bool json) {
    if (json) {
        std::cout << "[";
        for (std::size_t i = 0; i < s.servers.size(); ++i) {
            const CFreeDBServer& v = s.servers[i];
            std::cout << (i ? "," : "") << "{\"number\":" << i + 1 << ",\"host\":" << JsonString(v.host)
                      << ",\"port\":" << v.port << ",\"timeout\":" << v.timeout << ",\"level\":" << v.protocolLevel
                      << ",\"current\":" << (static_cast<int>(i) == current ? "true" : "false") << "}";
        }
        std::cout << "]\n";
        return;
    }
    for (std::size_t i = 0; i < s.servers.size(); ++i)
        std::cout << (static_cast<int>(i) == current ? "* " : "  ") << i + 1 << "  "
                  << FreeDBServerLine(s.servers[i]) << "\n";
}

bool AllRowsAudio(CdDrive& drive) {
    if (drive.DiscState() == kNoDisc) return false;
    const CdDiscLayout layout = drive.Layout();
    bool any = false;
    for (const auto& session : layout.sessions)
        for (const CdTrackInfo& t : session) {
            if (t.type != kTrackAudio) return false;
            any = true;
        }
    return any;
}

int RunTest(CliApp& app, AlbumServices& s, FreeDBOptionPage& page, FreeDBClientPage& clientPage) {
    ServerTestSetup setup;
    if (!MakeServerTestSetup(page, clientPage, setup)) {
        std::cerr << "error: no server selected\n";
        return 1;
    }
    // Without a drive the test has no disc: steps 0 and 1 only.
    setup.discToc = [&app](CCDDBToc& toc) {
        if (app.grabber.DriveCount() == 0) return false;
        CdDrive& drive = app.grabber.Drive();
        drive.RefreshDisc();
        if (!AllRowsAudio(drive)) return false;
        toc = ReadToc(drive, &app.log);
        return true;
    };
    bool failed = false;
    FreeDBServerTest test;
    test.Start(
        setup,
        [&failed](int step, const std::string& text) {
            std::cout << "[" << ServerTestCaption(step) << "]\n" << text;
            if (text.empty() || text.back() != '\n') std::cout << "\n";
            std::cout << "\n";
            if (step == 4) failed = true;
        },
        &app.prompter, {}, {}, &app.log);
    test.Join();
    (void)s;
    return failed ? 1 : 0;
}

int RunServers(CliApp& app, std::vector<std::string>& args) {
    AlbumServices& s = Services(*app.main);
    const bool json = TakeFlag(args, "--json");
    if (args.empty()) {
        std::cerr << kUsage;
        return 64;
    }
    const std::string verb = args[0];
    args.erase(args.begin());
    FreeDBOptionPage page(app.settings, s.servers, s.client, s.server, app.prompter, app.home,
                          &app.main->refreshing);
    FreeDBClientPage clientPage(app.settings, s.client, &app.main->refreshing);
    page.Open();
    clientPage.Open();

    int status = 0;
    if (verb == "list") {
        if (!args.empty()) {
            std::cerr << kUsage;
            return 64;
        }
        PrintList(s, page.selection, json);
        return 0;
    } else if (verb == "add") {
        if (args.empty()) {
            std::cerr << kUsage;
            return 64;
        }
        FreeDBServerEditor e = FreeDBServerEditor::New();
        std::string hostPort = args[0];
        args.erase(args.begin());
        // HOST:PORT takes the port after the only colon; any other colon is refused below
        // as part of the host.
        const auto colon = hostPort.find(':');
        if (colon != std::string::npos && hostPort.find(':', colon + 1) == std::string::npos) {
            long port = 0;
            if (!ParseInt(hostPort.substr(colon + 1), 1, 65535, port)) {
                std::cerr << "error: invalid port in \"" << hostPort << "\" (1-65535)\n";
                return 64;
            }
            e.port = static_cast<int32_t>(port);
            hostPort.resize(colon);
        }
        e.host = hostPort;
        if (!TakeEditorOptions(args, e)) return 64;
        std::string why;
        if (!page.Add(e, &why)) {
            std::cerr << "error: " << why << "\n";
            return 64;
        }
    } else if (verb == "edit") {
        int index = 0;
        if (!TakeIndex(args, s.servers, index)) return 64;
        page.SetSelection(index);
        FreeDBServerEditor e;
        page.EditorForSelection(e);
        if (!TakeEditorOptions(args, e)) return 64;
        std::string why;
        if (!page.ReplaceSelected(e, &why)) {
            std::cerr << "error: " << why << "\n";
            return 64;
        }
    } else if (verb == "select") {
        int index = 0;
        if (!TakeIndex(args, s.servers, index)) return 64;
        page.SetSelection(index);
    } else if (verb == "delete") {
        int index = 0;
        if (!TakeIndex(args, s.servers, index)) return 64;
        page.SetSelection(index);
        page.DeleteSelected();
    } else if (verb == "reset") {
        page.ResetServers();
    } else if (verb == "test") {
        if (!args.empty()) {
            int index = 0;
            if (!TakeIndex(args, s.servers, index)) return 64;
            page.selection = index;
        }
        if (!args.empty()) {
            std::cerr << kUsage;
            return 64;
        }
        return RunTest(app, s, page, clientPage);
    } else {
        std::cerr << "error: unknown servers command \"" << verb << "\"\n" << kUsage;
        return 64;
    }
    if (!args.empty()) {
        std::cerr << "error: unexpected argument \"" << args[0] << "\"\n" << kUsage;
        return 64;
    }
    // The page's OK: stores the selection (or refuses and restores the defaults).
    if (!page.Apply()) status = 1;
    PrintList(s, page.selection, json);
    return status;
}

CommandRegistrar servers({"servers",
                          "servers list|add HOST[:PORT]|edit N ...|select N|delete N|reset|test [N]",
                          true, RunServers, true});

}  // namespace

}  // namespace quarrow::cli
