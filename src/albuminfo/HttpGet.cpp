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
    if (url.size() < scheme.size() || url.compare(0, scheme.size(), scheme) != 0 || HasLineBreakOrBlank(url)) {
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
        for (char c : portText) digits = digits && c >= '0' && c <= '9', port = port * 10 + (c - '0');
        if (!digits || port < 1 || port > 65535) {
            error = "\"" + url + "\" has an invalid port";
            return false;
        }
        u.port = static_cast<int32_t>(port);
        authority = authority.substr(0, colon);
    }
    u.host = std::string(authority);
    if (u.host.size() > 2 && u.host.front() == '[' && u.host.back() == ']') u.host = u.host.substr(1, u.host.size() - 2);
    if (u.host.empty()) {
        error = "\"" + url + "\" names no host";
        return false;
    }
    out = u;
    return true;
}

std::string DurationText(uint32_t ms) {
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

// Splits "HTTP/1.x NNN reason\r\nheaders\r\n\r\nbody"; false when it is not that shape.
bool SplitAnswer(const std::string& answer, int& status, std::size_t& bodyStart,
                 long long& contentLength) {
    const auto headerEnd = answer.find("\r\n\r\n");
    if (headerEnd == std::string::npos) return false;
    if (answer.compare(0, 7, "HTTP/1.") != 0 || answer.size() < 12 || answer[8] != ' ') return false;
    status = 0;
    for (int i = 9; i < 12; ++i) {
        if (answer[i] < '0' || answer[i] > '9') return false;
        status = status * 10 + (answer[i] - '0');
    }
    if (answer.size() > 12 && answer[12] != ' ' && answer[12] != '\r') return false;
    bodyStart = headerEnd + 4;
    contentLength = -1;
    // Header names are case-insensitive.
    std::string lower = answer.substr(0, headerEnd + 2);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.find("\r\ntransfer-encoding:") != std::string::npos &&
        lower.find("chunked", lower.find("\r\ntransfer-encoding:")) < lower.find("\r\n", lower.find("\r\ntransfer-encoding:") + 2))
        return false;   // an HTTP/1.0 request is never answered in chunks
    if (const auto cl = lower.find("\r\ncontent-length:"); cl != std::string::npos) {
        std::size_t i = cl + 17;
        while (i < lower.size() && (lower[i] == ' ' || lower[i] == '\t')) ++i;
        long long v = 0;
        bool any = false;
        for (; i < lower.size() && lower[i] >= '0' && lower[i] <= '9' && v < (1LL << 40); ++i) v = v * 10 + (lower[i] - '0'), any = true;
        if (!any) return false;
        contentLength = v;
    }
    return true;
}

}  // namespace

HttpResult HttpGet(const std::string& url, const HttpOptions& options, const std::string& service) {
    HttpUrl target;
    std::string error;
    if (!ParseHttpUrl(url, target, error))
        return Failed(HttpFailure::BadAddress, "the " + service + " address " + error);

    const bool viaProxy = !options.proxyHost.empty();
    const std::string server = "the " + service + " server " + target.HostPort();
    const std::string proxy = "proxy " + options.proxyHost + ":" + std::to_string(options.proxyPort);
    const std::string through = viaProxy ? " (through the " + proxy + ")" : "";
    if (viaProxy && HasLineBreakOrBlank(options.proxyHost))
        return Failed(HttpFailure::BadAddress, "the proxy host \"" + options.proxyHost + "\" is not a host name");

    const uint32_t timeout = options.timeoutMs;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<uint64_t>(timeout) * kRequestLimitFactor);
    const std::string where = viaProxy ? proxy : service + " server " + target.HostPort();
    const TcpConnectResult tcp = viaProxy ? ConnectTcp(options.proxyHost, options.proxyPort, where, timeout, deadline, options.cancel)
                                          : ConnectTcp(target.host, target.port, where, timeout, deadline, options.cancel);
    if (tcp.fd < 0) {
        if (tcp.error == ECANCELED) return Failed(HttpFailure::Cancelled, "the " + service + " lookup was cancelled");
        if (tcp.error == ETIMEDOUT)
            return Failed(HttpFailure::TimedOut, (viaProxy ? "the " + proxy : server) + " did not answer within " + DurationText(timeout));
        std::string m = tcp.message;
        if (!m.empty()) m[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(m[0])));
        return Failed(HttpFailure::Unreachable, m);
    }
    SocketConnection connection(tcp.fd, options.cancel);

    const std::string hostHeader = target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host;
    const std::string hostPort = hostHeader + (target.port == 80 ? "" : ":" + std::to_string(target.port));
    std::string request = "GET " + (viaProxy ? "http://" + hostPort + target.path : target.path) + " HTTP/1.0\r\n";
    request += "Host: " + hostPort + "\r\n";
    if (viaProxy && !options.proxyUser.empty())
        request += "Proxy-Authorization: Basic " + Base64Encode(options.proxyUser + ":" + options.proxyPassword) + "\r\n";
    request += "User-Agent: Quarrow\r\nAccept: */*\r\nConnection: close\r\n\r\n";
    if (int sendError = 0; !SendAll(tcp.fd, request, sendError))
        return Failed(HttpFailure::Unreachable, "cannot send the request to the " + where + ": " + std::strerror(sendError));

    // HTTP/1.0: the answer ends where the server closes, or at Content-Length bytes of body.
    std::string answer;
    int status = 0;
    std::size_t bodyStart = 0;
    long long contentLength = -1;
    bool headed = false;
    char buffer[16384];
    for (;;) {
        if (options.cancel && options.cancel->load()) return Failed(HttpFailure::Cancelled, "the " + service + " lookup was cancelled");
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return Failed(HttpFailure::TimedOut, server + " did not send its whole answer within " +
                                                     DurationText(timeout * kRequestLimitFactor) + through);
        const auto wait = connection.WaitReadable(static_cast<uint32_t>(std::min<long long>(left, timeout)));
        if (wait == CDDBConnection::Wait::TimedOut)
            return Failed(HttpFailure::TimedOut, left < static_cast<long long>(timeout)
                                                     ? server + " did not send its whole answer within " + DurationText(timeout * kRequestLimitFactor) + through
                                                     : server + " did not answer within " + DurationText(timeout) + through);
        if (wait == CDDBConnection::Wait::Failed) {
            if (options.cancel && options.cancel->load()) return Failed(HttpFailure::Cancelled, "the " + service + " lookup was cancelled");
            return Failed(HttpFailure::Unreachable, "waiting for " + server + " failed: " + std::strerror(errno));
        }
        const long n = connection.Receive(buffer, sizeof buffer);
        if (n < 0) return Failed(HttpFailure::Unreachable, "receiving from " + server + " failed: " + std::strerror(errno));
        if (n == 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
        if (!headed) {
            headed = SplitAnswer(answer, status, bodyStart, contentLength);
            if (!headed && (answer.find("\r\n\r\n") != std::string::npos || answer.size() > 65536))
                return Failed(HttpFailure::Malformed, server + " sent a malformed answer" + through);
        }
        if (headed && answer.size() - bodyStart > options.maxBodyBytes)
            return Failed(HttpFailure::TooLarge, server + " sent more than " + std::to_string(options.maxBodyBytes) + " bytes");
        if (headed && contentLength >= 0 && static_cast<long long>(answer.size() - bodyStart) >= contentLength) break;
    }
    if (!headed) return Failed(HttpFailure::Malformed, server + " sent a malformed answer" + through);
    if (contentLength >= 0 && static_cast<long long>(answer.size() - bodyStart) < contentLength)
        return Failed(HttpFailure::Malformed, server + " sent a malformed answer (cut short)" + through);
    HttpResult result;
    result.status = status;
    const std::size_t bodyLength = contentLength >= 0 ? static_cast<std::size_t>(contentLength) : answer.size() - bodyStart;
    result.body = answer.substr(bodyStart, bodyLength);
    if (status == 407 && viaProxy) result.error = "the " + proxy + " answered 407 (proxy authentication required)";
    else if (status != 200) result.error = server + " answered " + std::to_string(status) + through;
    return result;
}

}  // namespace quarrow
