#include "albuminfo/FreeDBServer.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "albuminfo/CDDB.h"
#include "app/EventLog.h"
#include "app/SafeFile.h"
#include "app/Settings.h"

namespace quarrow {

namespace {

// A file far beyond any real list is not read into memory at all.
constexpr std::size_t kMaxServerFileBytes = 16u * 1024 * 1024;
// The smallest record: a one-byte length, an empty host and three integers.
constexpr std::size_t kMinServerBytes = 1 + 3 * 4;

void PutU16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    std::size_t Left() const { return bytes_.size() - pos_; }
    bool U8(uint8_t& v) {
        if (Left() < 1) return false;
        v = static_cast<uint8_t>(bytes_[pos_++]);
        return true;
    }
    bool U16(uint16_t& v) {
        if (Left() < 2) return false;
        v = static_cast<uint16_t>(uint8_t(bytes_[pos_]) | (uint8_t(bytes_[pos_ + 1]) << 8));
        pos_ += 2;
        return true;
    }
    bool U32(uint32_t& v) {
        if (Left() < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(bytes_[pos_ + i])) << (8 * i);
        pos_ += 4;
        return true;
    }
    bool I32(int32_t& v) {
        uint32_t u = 0;
        if (!U32(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool Text(std::size_t length, std::string& s) {
        if (Left() < length) return false;
        s.assign(bytes_, pos_, length);
        pos_ += length;
        return true;
    }

private:
    const std::string& bytes_;
    std::size_t pos_ = 0;
};

}  // namespace

bool ValidFreeDBHost(const std::string& host, std::string* why) {
    auto fail = [&](const std::string& reason) {
        if (why) *why = "invalid host \"" + host + "\": " + reason;
        return false;
    };
    if (host.empty()) return fail("the host may not be empty");
    for (const char ch : host) {
        const unsigned char c = static_cast<unsigned char>(ch);
        // The port has its own field: a colon here would be sent as part of the name.
        if (c == ':') return fail("a host name may not contain a colon (give the port separately)");
        if (c == ' ' || c == '\t') return fail("a host name may not contain blanks");
        if (c < 0x20 || c == 0x7F) return fail("a host name may not contain control characters");
    }
    return true;
}

bool ValidFreeDBServer(const CFreeDBServer& server, std::string* why) {
    if (!ValidFreeDBHost(server.host, why)) return false;
    if (server.port < 1 || server.port > 65535) {
        if (why) *why = "invalid port " + std::to_string(server.port) + " (1-65535)";
        return false;
    }
    return true;
}

std::string FreeDBServerFilePath(const std::string& homeFolder) {
    return homeFolder + "/" + kFreeDBServerFileName;
}

std::string FreeDBServerLine(const CFreeDBServer& server) {
    return server.host + "  Port: " + std::to_string(server.port) + "  Timeout: " +
           std::to_string(server.timeout) + "  Protocol Level " +
           std::to_string(server.protocolLevel) + "  ";
}

FreeDBServerList DefaultFreeDBServers() {
    static const char* const hosts[] = {
        "gnudb.gnudb.org",                                                   // the main host
        "at.freedb.org", "au.freedb.org", "ca.freedb.org", "de.freedb.org",  // country mirrors
        "es.freedb.org", "fi.freedb.org", "it.freedb.org", "jp.freedb.org",
        "ru.freedb.org", "uk.freedb.org", "us.freedb.org",
        "freedb.musicbrainz.org",                                            // a further host
    };
    FreeDBServerList list;
    for (const char* h : hosts) list.push_back(CFreeDBServer{h, 80, 60000, 5});
    return list;
}

void ResetFreeDBServers(FreeDBServerList& list) {
    list = DefaultFreeDBServers();
}

std::string EncodeFreeDBServers(const FreeDBServerList& list) {
    std::string out;
    PutU32(out, static_cast<uint32_t>(list.size()));
    for (const CFreeDBServer& s : list) {
        const std::size_t n = s.host.size();
        if (n < 0xFF) {
            out += static_cast<char>(n);
        } else if (n < 0xFFFE) {
            out += static_cast<char>(0xFF);
            PutU16(out, static_cast<uint16_t>(n));
        } else {
            out += static_cast<char>(0xFF);
            PutU16(out, 0xFFFF);
            PutU32(out, static_cast<uint32_t>(n));
        }
        out += s.host;
        PutU32(out, static_cast<uint32_t>(s.port));
        PutU32(out, static_cast<uint32_t>(s.timeout));
        PutU32(out, static_cast<uint32_t>(s.protocolLevel));
    }
    return out;
}

bool DecodeFreeDBServers(const std::string& bytes, FreeDBServerList& list, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    Reader r(bytes);
    uint32_t count = 0;
    if (!r.U32(count)) return fail("the server count is cut short");
    if (count > r.Left() / kMinServerBytes)
        return fail("it claims " + std::to_string(count) + " servers but holds only " +
                    std::to_string(bytes.size()) + " bytes");
    FreeDBServerList result;
    result.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const std::string which = "server " + std::to_string(i + 1);
        uint8_t b = 0;
        if (!r.U8(b)) return fail(which + ": the host length is missing");
        std::size_t length = b;
        if (b == 0xFF) {
            uint16_t w = 0;
            if (!r.U16(w)) return fail(which + ": the host length is cut short");
            length = w;
            if (w == 0xFFFF) {
                uint32_t d = 0;
                if (!r.U32(d)) return fail(which + ": the host length is cut short");
                length = d;
            }
        }
        CFreeDBServer s;
        if (length > r.Left()) return fail(which + ": a host of " + std::to_string(length) +
                                           " bytes runs past the end of the file");
        r.Text(length, s.host);
        if (!r.I32(s.port) || !r.I32(s.timeout) || !r.I32(s.protocolLevel))
            return fail(which + ": the port, time-out or protocol level is cut short");
        std::string why;
        if (!ValidFreeDBServer(s, &why)) return fail(which + ": " + why);
        result.push_back(std::move(s));
    }
    if (r.Left() != 0)
        return fail(std::to_string(r.Left()) + " bytes follow the last server");
    list = std::move(result);
    return true;
}

bool LoadFreeDBServers(const std::string& path, FreeDBServerList& list, CEventLog* log) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // First start: an empty file marks the place; the list is written at shutdown.
        std::ofstream create(path, std::ios::binary);
        if (!create && log)
            log->Add("Warning: cannot create the FreeDB server list \"" + path + "\"", 1);
        ResetFreeDBServers(list);
        return false;
    }
    auto damaged = [&](const std::string& why) {
        if (log)
            log->Add("Warning: the FreeDB server list \"" + path + "\" is damaged (" + why +
                         "); the built-in server list is used",
                     1);
        ResetFreeDBServers(list);
        return false;
    };
    std::string bytes, error;
    if (!ReadRegularFile(path, kMaxServerFileBytes, bytes, error)) return damaged(error);
    if (bytes.empty()) {
        // Made at a first start and never saved: nothing to read yet.
        ResetFreeDBServers(list);
        return false;
    }
    std::string why;
    if (!DecodeFreeDBServers(bytes, list, &why)) return damaged(why);
    if (log) log->Add("FreeDB settings loaded.", 0);
    return true;
}

bool SaveFreeDBServers(const std::string& path, const FreeDBServerList& list, std::string* error) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        const std::string bytes = EncodeFreeDBServers(list);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            if (error) *error = "cannot write the FreeDB server list \"" + path + "\"";
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        if (error) *error = "cannot replace the FreeDB server list \"" + path + "\"";
        return false;
    }
    return true;
}

void ApplyServerToClient(CCDDB& client, CCDDBServerAddress& address, const CFreeDBServer& server) {
    address = CCDDBServerAddress::Query(server.host, server.port);
    client.SetProtocolLevel(server.protocolLevel);
    client.SetTimeout(static_cast<uint32_t>(server.timeout < 0 ? 0 : server.timeout));
    client.SetHostName(server.host);
}

void ApplyFreeDBServer(CCDDB& client, CCDDBServerAddress& address, const CFreeDBServer& server,
                       const CSettings& settings) {
    const auto& f = settings.FREEDB;
    ApplyServerToClient(client, address, server);
    client.SetClientName(f.Application);
    client.SetClientVersion(f.Version);
    if (f.Proxy == 1) {
        client.SetProxyHost(f.ProxyURL);
        client.SetProxyPort(f.ProxyPort);
        if (f.Authentication == 1) {
            client.SetProxyUser(f.ProxyUsername);
            client.SetProxyPassword(f.ProxyPassword);
        } else {
            client.SetProxyUser("");
            client.SetProxyPassword("");
        }
    } else {
        client.SetProxyHost("");
        client.SetProxyUser("");
        client.SetProxyPassword("");
    }
    client.SetUserName(f.Username);
}

bool ApplyFreeDBServer(CCDDB& client, CCDDBServerAddress& address, const FreeDBServerList& list,
                       const CSettings& settings) {
    const int index = settings.FREEDB.CurFreeDBServer;
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return false;
    ApplyFreeDBServer(client, address, list[static_cast<std::size_t>(index)], settings);
    return true;
}

}  // namespace quarrow
