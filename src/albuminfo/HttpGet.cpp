#include "albuminfo/HttpGet.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "albuminfo/CDDB.h"
#include "albuminfo/TcpConnection.h"
#include "app/Settings.h"

namespace quarrow {

namespace {

// The request as a whole (connect, send, answer) ends within this many time-outs, as a
// CDDB request does.
constexpr uint32_t kRequestLimitFactor = kCddbRequestLimitFactor;
// A status line and headers longer than this are not an HTTP answer.
constexpr std::size_t kMaxHeadBytes = 65536;

// Nothing from an address may start a header line of its own.
bool HasLineBreakOrBlank(std::string_view s) {
    return s.find_first_of("\r\n \t") != std::string_view::npos;
}

}  // namespace

HttpOptions HttpOptionsFromSettings(const CSettings& settings, const FreeDBServerList& servers) {
    // The CDDB client's own set-up rule decides; its fields are then copied.
    CCDDB client;
    CCDDBServerAddress address;
    if (!ApplyFreeDBServer(client, address, servers, settings))
        ApplyFreeDBServer(client, address, CFreeDBServer{}, settings);
    HttpOptions options;
    options.timeoutMs = client.Timeout();
    options.proxyHost = client.ProxyHost();
    options.proxyPort = client.ProxyPort();
    options.proxyUser = client.ProxyUser();
    options.proxyPassword = client.ProxyPassword();
    return options;
}

std::string HttpUrl::HostPort() const { return host + ":" + std::to_string(port); }

bool ParseHttpUrl(const std::string& url, HttpUrl& out, std::string& error) {
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0 || HasLineBreakOrBlank(url)) {
        error = "\"" + url + "\" is not an http:// address";
        return false;
    }
    std::string_view rest(url);
    rest.remove_prefix(scheme.size());
    const auto slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    HttpUrl u;
    u.path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    if (authority.find('@') != std::string_view::npos) {
        error = "\"" + url + "\" carries a user name, which is not supported";
        return false;
    }
    const auto colon = authority.rfind(':');
    if (colon != std::string_view::npos && authority.find(']') == std::string_view::npos) {
        const std::string_view portText = authority.substr(colon + 1);
        long port = 0;
        bool digits = !portText.empty() && portText.size() <= 5;
        for (char c : portText) {
            digits = digits && c >= '0' && c <= '9';
            port = port * 10 + (c - '0');
        }
        if (!digits || port < 1 || port > 65535) {
            error = "\"" + url + "\" has an invalid port";
            return false;
        }
        u.port = static_cast<int32_t>(port);
        authority = authority.substr(0, colon);
    }
    u.host = std::string(authority);
    if (u.host.size() > 2 && u.host.front() == '[' && u.host.back() == ']')
        u.host = u.host.substr(1, u.host.size() - 2);   // a bracketed IPv6 address
    if (u.host.empty()) {
        error = "\"" + url + "\" names no host";
        return false;
    }
    out = u;
    return true;
}

std::string DurationText(uint64_t ms) {
    if (ms < 1000) return std::to_string(ms) + " ms";
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g s", ms / 1000.0);
    return buf;
}

namespace {

HttpResult Failed(HttpFailure failure, const std::string& error) {
    HttpResult r;
    r.failure = failure;
    r.error = error;
    return r;
}

// The status line and the headers of an answer once they are whole.
struct AnswerHead {
    int status = 0;
    std::size_t bodyStart = 0;
    long long contentLength = -1;   // -1: the body ends where the server closes
};

// The number after a header name, as in "content-length: 42"; -1 when there is none.
long long HeaderNumber(const std::string& lowerHead, const std::string& name) {
    const auto at = lowerHead.find("\r\n" + name + ":");
    if (at == std::string::npos) return -1;
    std::size_t i = at + name.size() + 3;
    while (i < lowerHead.size() && (lowerHead[i] == ' ' || lowerHead[i] == '\t')) ++i;
    long long v = -1;
    for (; i < lowerHead.size() && std::isdigit(static_cast<unsigned char>(lowerHead[i])) && v < (1LL << 40); ++i)
        v = (v < 0 ? 0 : v * 10) + (lowerHead[i] - '0');
    return v;
}

// Reads "HTTP/1.x NNN reason\r\nheaders\r\n\r\n"; false when the answer is not that shape.
bool ParseHead(const std::string& answer, AnswerHead& head) {
    const auto headerEnd = answer.find("\r\n\r\n");
    if (headerEnd == std::string::npos || answer.compare(0, 7, "HTTP/1.") != 0 || answer.size() < 12 ||
        answer[8] != ' ' || (answer[12] != ' ' && answer[12] != '\r'))
        return false;
    head.status = 0;
    for (int i = 9; i < 12; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(answer[i]))) return false;
        head.status = head.status * 10 + (answer[i] - '0');
    }
    head.bodyStart = headerEnd + 4;
    std::string lower = answer.substr(0, headerEnd + 2);   // header names are case-insensitive
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto encoding = lower.find("\r\ntransfer-encoding:");
    if (encoding != std::string::npos && lower.find("chunked", encoding) < lower.find("\r\n", encoding + 2))
        return false;   // an HTTP/1.0 request is never answered in chunks
    const bool hasLength = lower.find("\r\ncontent-length:") != std::string::npos;
    head.contentLength = HeaderNumber(lower, "content-length");
    return !hasLength || head.contentLength >= 0;
}

std::string Request(const HttpUrl& target, const HttpOptions& options) {
    const bool viaProxy = !options.proxyHost.empty();
    const std::string host = target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host;
    const std::string hostPort = host + (target.port == 80 ? "" : ":" + std::to_string(target.port));
    std::string r = "GET " + (viaProxy ? "http://" + hostPort + target.path : target.path) + " HTTP/1.0\r\n";
    r += "Host: " + hostPort + "\r\n";
    if (viaProxy && !options.proxyUser.empty())
        r += "Proxy-Authorization: Basic " + Base64Encode(options.proxyUser + ":" + options.proxyPassword) + "\r\n";
    return r + "User-Agent: Quarrow\r\nAccept: */*\r\nConnection: close\r\n\r\n";
}

}  // namespace

HttpResult HttpGet(const std::string& url, const HttpOptions& options, const std::string& service) {
    HttpUrl target;
    std::string error;
    if (!ParseHttpUrl(url, target, error))
        return Failed(HttpFailure::BadAddress, "the " + service + " address " + error);
    const bool viaProxy = !options.proxyHost.empty();
    if (viaProxy && HasLineBreakOrBlank(options.proxyHost))
        return Failed(HttpFailure::BadAddress, "the proxy host \"" + options.proxyHost + "\" is not a host name");

    const std::string server = "the " + service + " server " + target.HostPort();
    const std::string proxy = "proxy " + options.proxyHost + ":" + std::to_string(options.proxyPort);
    const std::string through = viaProxy ? " (through the " + proxy + ")" : "";
    const HttpResult cancelled = Failed(HttpFailure::Cancelled, "the " + service + " lookup was cancelled");
    const uint64_t timeout = options.timeoutMs;
    const uint64_t limit = timeout * kRequestLimitFactor;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);

    // Connect and send: errors name whichever end did not answer, the proxy or the server.
    const std::string where = viaProxy ? proxy : service + " server " + target.HostPort();
    const TcpConnectResult tcp = ConnectTcp(viaProxy ? options.proxyHost : target.host,
                                            viaProxy ? options.proxyPort : target.port, where, options.timeoutMs,
                                            deadline, options.cancel);
    if (tcp.fd < 0) {
        if (tcp.error == ECANCELED) return cancelled;
        if (tcp.error == ETIMEDOUT)
            return Failed(HttpFailure::TimedOut, "the " + where + " did not answer within " + DurationText(timeout));
        std::string m = tcp.message;   // "Cannot connect to the ..." begins a sentence of its own
        if (!m.empty()) m[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(m[0])));
        return Failed(HttpFailure::Unreachable, m);
    }
    SocketConnection connection(tcp.fd, options.cancel);
    if (int sendError = 0; !SendAll(tcp.fd, Request(target, options), sendError))
        return Failed(HttpFailure::Unreachable,
                      "cannot send the request to the " + where + ": " + std::strerror(sendError));

    // HTTP/1.0: the answer ends where the server closes, or after Content-Length bytes of body.
    // Each wait is bounded by the time-out, the whole answer by the deadline.
    const HttpResult malformed = Failed(HttpFailure::Malformed, server + " sent a malformed answer" + through);
    std::string answer;
    AnswerHead head;
    bool headed = false;
    char buffer[16384];
    for (;;) {
        if (options.cancel && options.cancel->load()) return cancelled;
        const long long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        const auto wait = left <= 0 ? CDDBConnection::Wait::TimedOut
                                    : connection.WaitReadable(static_cast<uint32_t>(std::min<uint64_t>(left, timeout)));
        if (wait == CDDBConnection::Wait::TimedOut) {
            // A wait cut short by the deadline means the server kept sending, too slowly.
            const bool slow = left < static_cast<long long>(timeout);
            return Failed(HttpFailure::TimedOut, server +
                                                     (slow ? " did not send its whole answer within " + DurationText(limit)
                                                           : " did not answer within " + DurationText(timeout)) +
                                                     through);
        }
        if (wait == CDDBConnection::Wait::Failed) {
            if (options.cancel && options.cancel->load()) return cancelled;
            return Failed(HttpFailure::Unreachable, "waiting for " + server + " failed: " + std::strerror(errno));
        }
        const long n = connection.Receive(buffer, sizeof buffer);
        if (n < 0)
            return Failed(HttpFailure::Unreachable, "receiving from " + server + " failed: " + std::strerror(errno));
        if (n == 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
        if (!headed) {
            headed = ParseHead(answer, head);
            if (!headed && (answer.find("\r\n\r\n") != std::string::npos || answer.size() > kMaxHeadBytes))
                return malformed;
        }
        if (!headed) continue;
        const std::size_t bodySize = answer.size() - head.bodyStart;
        if (bodySize > options.maxBodyBytes)
            return Failed(HttpFailure::TooLarge,
                          server + " sent more than " + std::to_string(options.maxBodyBytes) + " bytes" + through);
        if (head.contentLength >= 0 && static_cast<long long>(bodySize) >= head.contentLength) break;
    }
    if (!headed) return malformed;
    if (head.contentLength > static_cast<long long>(answer.size() - head.bodyStart))
        return Failed(HttpFailure::Malformed, server + " sent a malformed answer (cut short)" + through);
    HttpResult result;
    result.status = head.status;
    result.body = answer.substr(head.bodyStart, head.contentLength >= 0 ? static_cast<std::size_t>(head.contentLength)
                                                                        : std::string::npos);
    if (head.status == 407 && viaProxy)
        result.error = "the " + proxy + " answered 407 (proxy authentication required)";
    else if (head.status != 200)
        result.error = server + " answered " + std::to_string(head.status) + through;
    return result;
}

}  // namespace quarrow
