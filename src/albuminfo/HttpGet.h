// HttpGet: one HTTP/1.0 GET on a connection of its own, direct or through the HTTP proxy
// (with Basic authentication) the CDDB client uses, bounded by the CDDB time-out. Gives
// the status code and the body (up to a size cap) or an error naming the server.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "albuminfo/FreeDBServer.h"

namespace quarrow {

struct CSettings;

struct HttpOptions {
    uint32_t timeoutMs = 60000;   // each wait; the whole request ends within 3 of them
    std::string proxyHost;        // empty: connect directly
    int32_t proxyPort = 80;
    std::string proxyUser;        // empty: no Proxy-Authorization header
    std::string proxyPassword;
    std::size_t maxBodyBytes = 4u * 1024 * 1024;
    const std::atomic<bool>* cancel = nullptr;   // when set and true, the request gives up
};

// The time-out of the current FreeDB server and the FreeDB proxy settings, exactly as the
// CDDB client is set up from them (60000 ms when the list has no current server).
HttpOptions HttpOptionsFromSettings(const CSettings& settings, const FreeDBServerList& servers);

// "http://host[:port]/path"; false with error ("... is not an http:// address") otherwise.
struct HttpUrl {
    std::string host;
    int32_t port = 80;
    std::string path = "/";
    std::string HostPort() const;   // "host:port"
};
bool ParseHttpUrl(const std::string& url, HttpUrl& out, std::string& error);

enum class HttpFailure {
    None,          // an answer came: look at status
    BadAddress,    // the address is not a usable http:// URL
    Unreachable,   // cannot resolve, connect or send
    TimedOut,      // no answer within the time-out (or no whole answer within 3 of them)
    Malformed,     // not an HTTP answer, or cut short
    TooLarge,      // the body is larger than maxBodyBytes
    Cancelled,
};

struct HttpResult {
    HttpFailure failure = HttpFailure::None;
    int status = 0;               // the HTTP status code when failure is None
    std::string body;
    // Empty for a 200 answer; else e.g. "the AccurateRip server 127.0.0.1:8080 did not
    // answer within 5 s", "... answered 404", "... sent a malformed answer".
    std::string error;
    bool Ok() const { return failure == HttpFailure::None && status == 200; }
    bool NotFound() const { return failure == HttpFailure::None && status == 404; }
};

// GETs url; service names the server in errors ("AccurateRip" gives "the AccurateRip
// server host:port ..."). Never blocks past 3 time-outs; never throws.
HttpResult HttpGet(const std::string& url, const HttpOptions& options, const std::string& service);

// "5 s", "1.5 s", "300 ms": a time-out as the error texts say it.
std::string DurationText(uint64_t ms);

}  // namespace quarrow
