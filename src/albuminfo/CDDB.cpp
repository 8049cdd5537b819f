#include "albuminfo/CDDB.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "albuminfo/TcpConnection.h"
#include "albuminfo/Xmcd.h"
#include "app/EventLog.h"
#include "app/Prompter.h"

namespace quarrow {

namespace {

std::string Hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

// A header or request-line value must never start a new line of its own.
std::string OneLine(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != '\r' && c != '\n') out += c;
    return out;
}

// The leading decimal number as the C library reads it, held within 32 bits.
int32_t IntValue(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' ||
                            s[i] == '\v' || s[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<long long>(INT32_MAX) + 1) v = static_cast<long long>(INT32_MAX) + 1;
    }
    if (negative) v = -v;
    return static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

std::string Trim(std::string_view s) {
    const char* ws = " \t\r\n\v\f";
    const auto b = s.find_first_not_of(ws);
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(ws);
    return std::string(s.substr(b, e - b + 1));
}

// Takes one line off text: at the first CR LF, or at the first LF when there is no
// CR LF; the rest after the last line end is a last line.
bool NextLine(std::string_view& rest, std::string_view& line, bool& hadEnd) {
    if (rest.empty()) return false;
    auto crlf = rest.find("\r\n");
    if (crlf != std::string_view::npos) {
        line = rest.substr(0, crlf);
        rest.remove_prefix(crlf + 2);
        hadEnd = true;
        return true;
    }
    auto lf = rest.find('\n');
    if (lf != std::string_view::npos) {
        line = rest.substr(0, lf);
        rest.remove_prefix(lf + 1);
        hadEnd = true;
        return true;
    }
    line = rest;
    rest = {};
    hadEnd = false;
    return true;
}

bool InRange2xx(int code) { return code >= 210 && code <= 219; }

std::string MachineHostName() {
    char buf[261] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) return "localhost";
    return buf;
}

std::string LoginName() {
    struct passwd pw {};
    struct passwd* result = nullptr;
    char buf[4096];
    if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &result) == 0 && result && pw.pw_name &&
        pw.pw_name[0])
        return std::string(pw.pw_name).substr(0, 260);
    if (const char* env = std::getenv("USER"); env && *env) return std::string(env).substr(0, 260);
    return "Unknown";
}

}  // namespace

// ---------------------------------------------------------------------------------------
// MemoryConnection

CDDBConnection::Wait MemoryConnection::WaitReadable(uint32_t) {
    while (piece_ < pieces_.size() && offset_ >= pieces_[piece_].size()) {
        ++piece_;
        offset_ = 0;
    }
    if (piece_ >= pieces_.size() && silentAtEnd_) return Wait::TimedOut;
    return Wait::Readable;
}

long MemoryConnection::Receive(char* buffer, std::size_t size) {
    while (piece_ < pieces_.size() && offset_ >= pieces_[piece_].size()) {
        ++piece_;
        offset_ = 0;
    }
    if (piece_ >= pieces_.size()) return 0;
    const std::string& p = pieces_[piece_];
    const std::size_t n = std::min(size, p.size() - offset_);
    std::memcpy(buffer, p.data() + offset_, n);
    offset_ += n;
    return static_cast<long>(n);
}

// ---------------------------------------------------------------------------------------
// Free helpers

std::string CddbSafeName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!ok) c = '_';
    }
    return out;
}

std::string Base64Encode(const std::string& data) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const uint32_t v = (uint8_t(data[i]) << 16) | (uint8_t(data[i + 1]) << 8) | uint8_t(data[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    const std::size_t left = data.size() - i;
    if (left == 1) {
        const uint32_t v = uint8_t(data[i]) << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (left == 2) {
        const uint32_t v = (uint8_t(data[i]) << 16) | (uint8_t(data[i + 1]) << 8);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

bool CddbAnswerBody(const std::string& answer, std::string& body) {
    const auto pos = answer.find("\r\n\r\n");
    if (pos == std::string::npos) return false;
    body = answer.substr(pos + 4);
    return true;
}

int CddbStatusCode(const std::string& body) {
    if (body.size() < 3) return -1;
    return IntValue(std::string_view(body).substr(0, 3));
}

bool ParseMatchLine(const std::string& lineText, CCDDBMatch& match) {
    std::string_view s(lineText);
    const auto blank = s.find(' ');
    if (blank == std::string_view::npos) return false;
    CCDDBMatch m;
    m.category = std::string(s.substr(0, blank));
    s.remove_prefix(blank);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    const auto idEnd = s.find(' ');
    if (idEnd == std::string_view::npos) return false;
    const std::string id(s.substr(0, idEnd));
    m.discId = static_cast<uint32_t>(std::strtoul(id.c_str(), nullptr, 16));
    s.remove_prefix(idEnd);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    if (s.empty()) return false;
    auto cut = s.find("\r\n");
    if (cut == std::string_view::npos) cut = s.find('\n');
    if (cut != std::string_view::npos) s = s.substr(0, cut);
    const auto slash = s.find('/');
    if (slash == std::string_view::npos) {
        m.artist.clear();
        m.title = std::string(s);
    } else {
        m.artist = Trim(s.substr(0, slash));
        m.title = Trim(s.substr(slash + 1));
    }
    match = std::move(m);
    return true;
}

bool ParseQueryBody(const std::string& body, uint32_t discId, std::vector<CCDDBMatch>& matches,
                    CEventLog* log, std::vector<CCDDBMatch>* mainMatches) {
    const int code = CddbStatusCode(body);
    if (InRange2xx(code)) {
        std::string_view rest(body), line;
        bool hadEnd = false;
        NextLine(rest, line, hadEnd);  // the status line
        bool any = false;
        while (NextLine(rest, line, hadEnd)) {
            CCDDBMatch m;
            if (ParseMatchLine(std::string(line), m)) {
                matches.push_back(std::move(m));
                any = true;
            }
        }
        return any;
    }
    if (code == 200) {
        if (body.size() < 5) return false;
        CCDDBMatch m;
        if (!ParseMatchLine(body.substr(4), m)) return false;
        matches.push_back(std::move(m));
        return true;
    }
    if (code == 202) {
        if (log)
            log->Add("CCDDB::ParseQueryBody, CDDB server does not contain the specifed album with "
                     "DISCID:" + Hex8(discId) + " in its database",
                     1);
        if (mainMatches) mainMatches->clear();
        return false;
    }
    return false;
}

bool ParseStatusBody(const std::string& body, CCDDBServerStatus& status, CEventLog* log,
                     std::vector<CCDDBMatch>* mainMatches) {
    if (!InRange2xx(CddbStatusCode(body))) return false;
    std::string_view rest(body), line;
    bool hadEnd = false;
    NextLine(rest, line, hadEnd);  // status line
    NextLine(rest, line, hadEnd);  // "Server status:"

    enum class List { None, Categories, Pending } list = List::None;
    while (NextLine(rest, line, hadEnd)) {
        if (list != List::None) {
            if (!line.empty() && line.front() == ' ') {
                const auto colon = line.find(':');
                if (colon != std::string_view::npos) {
                    auto& names = list == List::Categories ? status.categories : status.pendingCategories;
                    auto& counts = list == List::Categories ? status.categoryEntries : status.pendingEntries;
                    names.push_back(Trim(line.substr(0, colon)));
                    counts.push_back(IntValue(line.substr(colon + 1)));
                }
                continue;
            }
            list = List::None;  // this line is examined below
        }
        const std::string trimmed = Trim(line);
        if (trimmed == "Database entries by category:") {
            list = List::Categories;
            continue;
        }
        if (trimmed == "Pending File transmissions:") {
            list = List::Pending;
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string key = Trim(line.substr(0, colon));
        const std::string value = Trim(line.substr(colon + 1));
        if (key == "current proto") status.currentProtocol = IntValue(value);
        else if (key == "max proto") status.maxProtocol = IntValue(value);
        else if (key == "current users") status.currentUsers = IntValue(value);
        else if (key == "max users") status.maxUsers = IntValue(value);
        else if (key == "Database entries") status.databaseEntries = IntValue(value);
        else {
            struct Flag { const char* key; const char* word; bool CCDDBServerStatus::*field; };
            static const Flag flags[] = {
                {"gets", "gets", &CCDDBServerStatus::gets},
                {"updates", "updates", &CCDDBServerStatus::updates},
                {"posting", "posting", &CCDDBServerStatus::posting},
                {"quotes", "quotes", &CCDDBServerStatus::quotes},
                {"strip ext", "strip extended", &CCDDBServerStatus::stripExtended},
            };
            for (const Flag& f : flags) {
                if (key != f.key) continue;
                if (value == "yes") status.*f.field = true;
                else if (value == "no") status.*f.field = false;
                else {
                    if (log)
                        log->Add(std::string("CCDDB::ParseStatusBody, CDDB server failed to return a valid ") +
                                     f.word + " response to the stat command.",
                                 1);
                    if (mainMatches) mainMatches->clear();
                    return true;
                }
                break;
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// CCDDB

CCDDB::CCDDB(CEventLog* log) : log_(log) {
    SetHostName("auto");
    SetUserName("auto");
}

CCDDB::~CCDDB() = default;

void CCDDB::SetHostName(const std::string& name) {
    hostName_ = CddbSafeName(name == "auto" ? MachineHostName().substr(0, 260) : name);
}

void CCDDB::SetUserName(const std::string& name) {
    userName_ = CddbSafeName(name == "auto" ? LoginName() : name);
}

std::string CCDDB::HelloParameters() const {
    return "hello=" + userName_ + "+" + hostName_ + "+" + OneLine(clientName_) + "+" +
           OneLine(clientVersion_) + "&proto=" + std::to_string(protocolLevel_);
}

std::string CCDDB::ProxyHeaders(const CCDDBServerAddress& server) const {
    const std::string host = OneLine(server.host);
    if (proxyUser_.empty()) return "Host: " + host;
    return "Proxy-Authorization: Basic " + Base64Encode(proxyUser_ + ":" + proxyPassword_) +
           "\r\nHost: " + host;
}

namespace {
std::string GetRequest(const CCDDBServerAddress& server, bool proxy, const std::string& params,
                       const std::string& headers) {
    if (proxy)
        return "GET http://" + OneLine(server.host) + OneLine(server.path) + "?" + params +
               " HTTP/1.0\r\n" + headers + "\r\n\r\n";
    return "GET " + OneLine(server.path) + "?" + params + " HTTP/1.0\r\n\r\n";
}
}  // namespace

std::string CCDDB::QueryRequest(const CCDDBServerAddress& server, uint32_t discId,
                                const CCDDBToc& toc) const {
    const std::size_t n = toc.empty() ? 0 : toc.size() - 1;
    std::string offsets;
    for (std::size_t i = 0; i < n; ++i) {
        if (i) offsets += "+";
        offsets += std::to_string(toc[i].FrameOffset());
    }
    const int32_t leadOut = toc.empty() ? 0 : toc.back().Seconds();
    const std::string params = "cmd=cddb+query+" + Hex8(discId) + "+" + std::to_string(n) + "+" +
                               offsets + "+" + std::to_string(leadOut) + "&" + HelloParameters();
    return GetRequest(server, !proxyHost_.empty(), params, ProxyHeaders(server));
}

std::string CCDDB::ReadRequest(const CCDDBServerAddress& server, const std::string& category,
                               uint32_t discId) const {
    const std::string params =
        "cmd=cddb+read+" + OneLine(category) + "+" + Hex8(discId) + "&" + HelloParameters();
    return GetRequest(server, !proxyHost_.empty(), params, ProxyHeaders(server));
}

std::string CCDDB::StatRequest(const CCDDBServerAddress& server) const {
    return GetRequest(server, !proxyHost_.empty(), "cmd=stat&" + HelloParameters(),
                      ProxyHeaders(server));
}

std::string CCDDB::MotdRequest(const CCDDBServerAddress& server) const {
    return GetRequest(server, !proxyHost_.empty(), "cmd=motd&" + HelloParameters(),
                      ProxyHeaders(server));
}

std::string CCDDB::SubmitRequest(const CCDDBServerAddress& server, const std::string& category,
                                 const std::string& email, const CAlbumRecord& record,
                                 const std::string& note, bool submit) const {
    const std::string body = XmcdBody(record, protocolLevel_);
    std::string r;
    if (!proxyHost_.empty())
        r = "POST http://" + OneLine(server.host) + OneLine(server.path) + " HTTP/1.0\r\n" +
            ProxyHeaders(server) + "\r\nCategory: ";
    else
        r = "POST " + OneLine(server.path) + " HTTP/1.0\r\nCategory: ";
    r += OneLine(category) + "\r\n";
    r += "Discid: " + Hex8(record.discId) + "\r\n";
    r += "User-Email: " + OneLine(email) + "\r\n";
    r += submit ? "Submit-Mode: submit\r\n" : "Submit-Mode: test\r\n";
    r += "X-Cddbd-Note: " + OneLine(note) + "\r\n";
    r += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    r += body;
    return r;
}

bool CCDDB::ReadResponse(CDDBConnection& connection, const std::string& terminator,
                         std::string& text, std::size_t blockSize, int mode) {
    if (blockSize < 2) blockSize = 2;
    std::string buffer(blockSize, '\0');
    std::size_t received = 0;
    std::size_t searchedTo = 0;          // terminator search resumes here
    std::size_t headerEnd = std::string::npos;
    failureReason_.clear();
    const auto deadline = requestDeadline_ ? *requestDeadline_ : RequestDeadlineFromNow();

    auto fail = [&](const std::string& reason) {
        failureReason_ = reason;
        lastAnswer_.assign(buffer.data(), received);
        text = lastAnswer_;
        return false;
    };
    auto succeed = [&](std::size_t length) {
        lastAnswer_.assign(buffer.data(), length);
        text = lastAnswer_;
        return true;
    };
    // In the query and submit modes a one-line answer (a code outside 210-219) has no
    // terminator; the code is judged once the status line is whole, or at the close.
    auto oneLineAnswer = [&](bool closed) {
        if (mode != kReadQuery && mode != kReadSubmit) return false;
        if (headerEnd == std::string::npos) {
            const auto pos = std::string_view(buffer.data(), received).find("\r\n\r\n");
            if (pos == std::string_view::npos) return false;
            headerEnd = pos + 4;
        }
        if (received <= headerEnd) return false;
        const std::string_view body(buffer.data() + headerEnd, received - headerEnd);
        if (!closed && body.find('\n') == std::string_view::npos) return false;
        return !InRange2xx(CddbStatusCode(std::string(body.substr(0, 3))));
    };

    for (;;) {
        if (cancel_ && cancel_->load()) {
            lastError_ = ECANCELED;
            return fail("the request was cancelled");
        }
        // The time-out bounds each wait, the deadline the whole answer: a server that
        // sends a byte now and then must not keep the request alive for ever.
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            lastError_ = ETIMEDOUT;
            return fail("no complete answer within " + std::to_string(RequestLimitMs()) + " ms");
        }
        const auto wait = connection.WaitReadable(
            static_cast<uint32_t>(std::min<long long>(left, static_cast<long long>(timeout_))));
        if (wait == CDDBConnection::Wait::TimedOut) {
            lastError_ = ETIMEDOUT;
            return fail(left < static_cast<long long>(timeout_)
                            ? "no complete answer within " + std::to_string(RequestLimitMs()) + " ms"
                            : "no answer within " + std::to_string(timeout_) + " ms");
        }
        if (wait == CDDBConnection::Wait::Failed) {
            lastError_ = (cancel_ && cancel_->load()) ? ECANCELED : errno;
            return fail(lastError_ == ECANCELED ? "the request was cancelled"
                                                : "waiting for the answer failed");
        }
        const std::size_t space = buffer.size() - received - 1;
        const long n = connection.Receive(buffer.data() + received, space);
        if (n <= 0) {
            if (n == 0 && oneLineAnswer(true)) return succeed(received);
            lastError_ = n == 0 ? 0 : errno;
            return fail(n == 0 ? "the server closed the connection before the answer was complete"
                               : std::string("receiving failed: ") + std::strerror(lastError_));
        }
        received += static_cast<std::size_t>(n);
        buffer[received] = '\0';
        if (received > kCddbMaxAnswerBytes) {
            lastError_ = EMSGSIZE;
            return fail("the answer is larger than " + std::to_string(kCddbMaxAnswerBytes) +
                        " bytes and was refused");
        }
        if (static_cast<std::size_t>(n) == space) buffer.resize(buffer.size() + blockSize, '\0');

        if (oneLineAnswer(false)) return succeed(received);

        if (!terminator.empty()) {
            const std::size_t from = searchedTo > terminator.size() ? searchedTo - terminator.size() : 0;
            const auto pos = std::string_view(buffer.data(), received).find(terminator, from);
            if (pos != std::string_view::npos) return succeed(pos);  // data after it is dropped
            searchedTo = received;
        }
    }
}

uint64_t CCDDB::RequestLimitMs() const {
    return static_cast<uint64_t>(timeout_) * kCddbRequestLimitFactor;
}

std::chrono::steady_clock::time_point CCDDB::RequestDeadlineFromNow() const {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(RequestLimitMs());
}

void CCDDB::Throw(uint32_t code, const std::string& message, const std::string& argument) const {
    CCDDBException e = CCDDBException::Make(log_, false, code, argument, message);
    if (mainMatches_) mainMatches_->clear();
    throw e;
}

std::string CCDDB::Exchange(const CCDDBServerAddress& server, const std::string& request, int mode,
                            uint32_t failCode, bool& ok) {
    ok = false;
    // Connecting, sending and the answer share one deadline; cleared on every way out.
    requestDeadline_ = RequestDeadlineFromNow();
    struct DeadlineReset {
        std::optional<std::chrono::steady_clock::time_point>& deadline;
        ~DeadlineReset() { deadline.reset(); }
    } deadlineReset{requestDeadline_};
    const bool viaProxy = !proxyHost_.empty();
    const std::string host = viaProxy ? proxyHost_ : server.host;
    const int32_t port = viaProxy ? proxyPort_ : server.port;
    const std::string where = (viaProxy ? "proxy " : "CDDB server ") + host + ":" + std::to_string(port);

    const TcpConnectResult tcp = ConnectTcp(host, port, where, timeout_, *requestDeadline_, cancel_);
    if (tcp.fd < 0) {
        lastError_ = tcp.error;
        Throw(CCDDBException::kFacilityWin32 | (static_cast<uint32_t>(tcp.error) & 0xFFFFu), tcp.message, "");
    }
    SocketConnection connection(tcp.fd, cancel_);  // closes the socket on every path from here
    if (int error = 0; !SendAll(tcp.fd, request, error)) {
        lastError_ = error;
        Throw(CCDDBException::kFacilityWin32 | (static_cast<uint32_t>(lastError_) & 0xFFFFu),
              "Cannot send the request to the " + where + ": " + std::strerror(lastError_), "");
    }
    std::string text;
    ok = ReadResponse(connection, kCddbTerminator, text, kCddbBlockSize, mode);
    if (!ok) failureReason_ = where + ": " + failureReason_;
    (void)failCode;
    return text;
}

namespace {
std::string WithReason(uint32_t code, const std::string& reason) {
    std::string m = CCDDBException::DefaultMessage(false, code);
    if (!reason.empty()) m += " (" + reason + ")";
    return m;
}
}  // namespace

void CCDDB::Query(const CCDDBServerAddress& server, uint32_t discId, const CCDDBToc& toc,
                  std::vector<CCDDBMatch>& matches) {
    matches.clear();
    bool ok = false;
    const std::string answer = Exchange(server, QueryRequest(server, discId, toc), kReadQuery,
                                        CCDDBException::kQueryFailed, ok);
    std::string body;
    if (!ok) Throw(CCDDBException::kQueryFailed, WithReason(CCDDBException::kQueryFailed, failureReason_), lastAnswer_);
    if (!CddbAnswerBody(answer, body))
        Throw(CCDDBException::kQueryFailed,
              WithReason(CCDDBException::kQueryFailed, "the answer has no HTTP header end"), lastAnswer_);
    if (!ParseQueryBody(body, discId, matches, log_, mainMatches_))
        Throw(CCDDBException::kQueryFailed,
              WithReason(CCDDBException::kQueryFailed,
                         "answer code " + std::to_string(CddbStatusCode(body))),
              lastAnswer_);
}

void CCDDB::Read(const CCDDBServerAddress& server, const std::string& category, uint32_t discId,
                 CAlbumRecord& record) {
    bool ok = false;
    const std::string answer = Exchange(server, ReadRequest(server, category, discId),
                                        kReadToTerminator, CCDDBException::kQueryFailed, ok);
    std::string body;
    if (!ok) Throw(CCDDBException::kQueryFailed, WithReason(CCDDBException::kQueryFailed, failureReason_), lastAnswer_);
    if (!CddbAnswerBody(answer, body))
        Throw(CCDDBException::kQueryFailed,
              WithReason(CCDDBException::kQueryFailed, "the answer has no HTTP header end"), lastAnswer_);
    if (!ParseRecordBody(body, record, log_)) Throw(CCDDBException::kReadFailed, "", lastAnswer_);
    if (record.discId != discId) {
        if (log_) {
            char buf[200];
            std::snprintf(buf, sizeof buf,
                          "CCDDB::Read, Returned DiscID from CDDB read (%08x) is different than the "
                          "computed value (%08x), using the computed value",
                          record.discId, discId);
            log_->Add(buf, 0);
        }
        record.discId = discId;
    }
}

void CCDDB::Status(const CCDDBServerAddress& server, CCDDBServerStatus& status) {
    bool ok = false;
    const std::string answer = Exchange(server, StatRequest(server), kReadToTerminator,
                                        CCDDBException::kStatusFailed, ok);
    std::string body;
    if (!ok) Throw(CCDDBException::kStatusFailed, WithReason(CCDDBException::kStatusFailed, failureReason_), lastAnswer_);
    if (!CddbAnswerBody(answer, body) || !ParseStatusBody(body, status, log_, mainMatches_))
        Throw(CCDDBException::kStatusFailed, "", lastAnswer_);
}

void CCDDB::Motd(const CCDDBServerAddress& server, std::string& text) {
    bool ok = false;
    const std::string answer = Exchange(server, MotdRequest(server), kReadToTerminator,
                                        CCDDBException::kMotdFailed, ok);
    std::string body;
    if (!ok) Throw(CCDDBException::kMotdFailed, WithReason(CCDDBException::kMotdFailed, failureReason_), lastAnswer_);
    if (!CddbAnswerBody(answer, body) || !InRange2xx(CddbStatusCode(body)))
        Throw(CCDDBException::kMotdFailed, "", lastAnswer_);
    std::string_view rest(body), line;
    bool hadEnd = false;
    NextLine(rest, line, hadEnd);
    if (!hadEnd) Throw(CCDDBException::kMotdFailed, "", lastAnswer_);
    text = std::string(rest);
}

void CCDDB::Submit(const CCDDBServerAddress& server, const std::string& category,
                   const std::string& email, const CAlbumRecord& record, const std::string& note,
                   bool submit) {
    bool ok = false;
    const std::string answer =
        Exchange(server, SubmitRequest(server, category, email, record, note, submit), kReadSubmit,
                 CCDDBException::kSubmitFailed, ok);
    std::string body;
    if (!ok || !CddbAnswerBody(answer, body))
        Throw(CCDDBException::kSubmitFailed, WithReason(CCDDBException::kSubmitFailed, failureReason_), lastAnswer_);
    const int code = CddbStatusCode(body);
    if (code >= 200 && code <= 209) {
        if (prompter_) prompter_->Message("Successfully Submitted!", MessageIcon::Information);
        if (log_) log_->Add("CDDB info successfully submitted.", 0);
        return;
    }
    const std::string codeText = "Response Code: " + std::to_string(code);
    if (prompter_) prompter_->Message("Fail to Submit CDDB Info!  " + codeText, MessageIcon::Error);
    if (log_) log_->Add("Fail to Submit CDDB Info!  " + codeText, 1);
    Throw(CCDDBException::kSubmitFailed, "", lastAnswer_);
}

}  // namespace quarrow
