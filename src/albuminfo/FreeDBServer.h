// The FreeDB server list: one CFreeDBServer per entry, the binary "FreeDB Server.ini"
// file that keeps it between runs, the built-in list of public servers, the list line
// shown wherever the list is, and ApplyFreeDBServer, which sets up the CDDB client from
// the current server and the FREEDB settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarrow {

class CCDDB;
class CEventLog;
struct CCDDBServerAddress;
struct CSettings;

struct CFreeDBServer {
    std::string host;
    int32_t port = 80;
    int32_t timeout = 60000;     // milliseconds
    int32_t protocolLevel = 5;   // 3 to 5
    bool operator==(const CFreeDBServer&) const = default;
};

using FreeDBServerList = std::vector<CFreeDBServer>;

// A host name is not empty and holds no colon, blank or control character; false with a
// reason naming the host otherwise.
bool ValidFreeDBHost(const std::string& host, std::string* why = nullptr);
// A valid host and a port from 1 to 65535.
bool ValidFreeDBServer(const CFreeDBServer& server, std::string* why = nullptr);

inline constexpr const char* kFreeDBServerFileName = "FreeDB Server.ini";
// home + "/FreeDB Server.ini"
std::string FreeDBServerFilePath(const std::string& homeFolder);

// "host  Port: 80  Timeout: 60000  Protocol Level 5  "
std::string FreeDBServerLine(const CFreeDBServer& server);

// The 13 built-in servers, gnudb.gnudb.org first; port 80, 60000 ms, level 5 each.
FreeDBServerList DefaultFreeDBServers();
// Empties the list and appends the built-in servers.
void ResetFreeDBServers(FreeDBServerList& list);

// The file's bytes: a 32-bit count, then per server the host with the shortest length
// prefix (1 byte; 0xFF + 2 bytes; 0xFF 0xFFFF + 4 bytes), port, time-out, level.
std::string EncodeFreeDBServers(const FreeDBServerList& list);
// Decodes the file's bytes; false with a reason when they are truncated, carry data after
// the last server, a count or length that the bytes cannot hold, or a server that is not
// valid (ValidFreeDBServer). list is untouched on
// failure.
bool DecodeFreeDBServers(const std::string& bytes, FreeDBServerList& list, std::string* error);

// Loads the list at start-up. A missing file is created empty and the list gets the
// built-in servers; an empty file (made that way, never saved) also gives the built-in
// servers. A readable intact file is loaded and "FreeDB settings loaded." is logged; a
// damaged or unreadable one logs a warning naming the file and gives the built-in list.
// Returns true when the list came from the file.
bool LoadFreeDBServers(const std::string& path, FreeDBServerList& list, CEventLog* log);
// Writes the list (a temporary file renamed over path); false with a reason on failure.
bool SaveFreeDBServers(const std::string& path, const FreeDBServerList& list,
                       std::string* error = nullptr);

// Steps 2-6 with an already chosen server: address host and port (query path), the
// client's level, time-out and hello host name from the server, client name and version,
// proxy (and Basic credentials) from the settings, hello user name. With Proxy off the
// client's proxy host is emptied, so an earlier proxy is not used any more; with
// Authentication off its proxy user and password are emptied.
void ApplyFreeDBServer(CCDDB& client, CCDDBServerAddress& address, const CFreeDBServer& server,
                       const CSettings& settings);
// The whole rule: takes the server at CurFreeDBServer. false (nothing changed) when that
// index is not in the list.
bool ApplyFreeDBServer(CCDDB& client, CCDDBServerAddress& address, const FreeDBServerList& list,
                       const CSettings& settings);

// Steps 2-3 only (the "FreeDB" page's apply): address, level, hello host name, time-out.
void ApplyServerToClient(CCDDB& client, CCDDBServerAddress& address, const CFreeDBServer& server);

}  // namespace quarrow
