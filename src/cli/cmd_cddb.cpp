// `cddb stat|motd`: asks the current FreeDB server for its status or its message of the day;
// the server's text reaches the terminal with its control characters escaped.
#include <iostream>

#include "albuminfo/AlbumSteps.h"
#include "albuminfo/FreeDBPages.h"
#include "cli/Cli.h"

namespace quarrow::cli {

namespace {

int RunCddb(CliApp& app, std::vector<std::string>& args) {
    if (args.size() != 1 || (args[0] != "stat" && args[0] != "motd")) {
        std::cerr << "usage: cddb stat|motd\n";
        return 64;
    }
    AlbumServices& s = Services(*app.main);
    if (!ApplyFreeDBServer(s.client, s.server, s.servers, app.settings)) {
        std::cerr << "error: the current FreeDB server " << app.settings.FREEDB.CurFreeDBServer + 1
                  << " is not in the list of " << s.servers.size() << " servers\n";
        return 1;
    }
    try {
        if (args[0] == "motd") {
            std::string text;
            s.client.Motd(s.server, text);
            std::cout << TerminalText(text, true) << "\n";
        } else {
            CCDDBServerStatus status;
            s.client.Status(s.server, status);
            const std::string page = ServerTestStep1("", s.server.host, status);
            std::cout << TerminalText(page.substr(std::string("Message of the Day: \n").size()), true);
        }
    } catch (const CCDDBException& e) {
        std::cerr << "error: " << TerminalText(e.what(), true) << "\n";
        return 1;
    }
    return 0;
}

CommandRegistrar cddb({"cddb", "cddb stat|motd          ask the current FreeDB server", true, RunCddb, true});

}  // namespace

}  // namespace quarrow::cli
