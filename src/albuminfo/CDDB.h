// CCDDB: the client of the CDDB protocol over HTTP/1.0. One TCP connection per request
// (query, read, stat, motd, submit), direct or through an HTTP proxy with Basic
// authentication, a receive time-out, and CCDDBException on every failure. The answer
// reading (ReadResponse) works on a CDDBConnection so that its buffer and terminator
// logic runs the same on a socket and on bytes held in memory.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "albuminfo/AlbumRecord.h"
#include "albuminfo/CDDBException.h"

namespace quarrow {

class CEventLog;
class Prompter;

inline constexpr const char* kCddbQueryScript = "/~cddb/cddb.cgi";
inline constexpr const char* kCddbSubmitScript = "/~cddb/submit.cgi";

struct CCDDBServerAddress {
    std::string host;
    int32_t port = 80;
    std::string path;
    static CCDDBServerAddress Query(const std::string& host, int32_t port = 80) {
        return {host, port, kCddbQueryScript};
    }
    static CCDDBServerAddress Submission(const std::string& host, int32_t port = 80) {
        return {host, port, kCddbSubmitScript};
    }
    bool operator==(const CCDDBServerAddress&) const = default;
};

struct CCDDBMatch {
    std::string category;
    uint32_t discId = 0;
    std::string artist;
    std::string title;
    bool operator==(const CCDDBMatch&) const = default;
};

struct CCDDBServerStatus {
    int32_t currentProtocol = 0;
    int32_t maxProtocol = 0;
    bool gets = false;
    bool updates = false;
    bool posting = false;
    bool quotes = false;
    int32_t currentUsers = 0;
    int32_t maxUsers = 0;
    bool stripExtended = false;
    int32_t databaseEntries = 0;
    std::vector<std::string> categories;
    std::vector<int32_t> categoryEntries;
    std::vector<std::string> pendingCategories;
    std::vector<int32_t> pendingEntries;
};

// Where ReadResponse gets its bytes from.
class CDDBConnection {
public:
    enum class Wait { Readable, TimedOut, Failed };
    virtual ~CDDBConnection() = default;
    // Waits at most timeoutMs for data (or the peer's close) to be readable.
    virtual Wait WaitReadable(uint32_t timeoutMs) = 0;
    // Receives up to size bytes; 0 when the peer closed, -1 on an error.
    virtual long Receive(char* buffer, std::size_t size) = 0;
};

// Bytes held in memory, handed out in the given pieces (one piece per Receive, cut to
// what the reader offers); once the pieces are used up the "peer" closes, or, with
// silentAtEnd, every further wait times out.
class MemoryConnection : public CDDBConnection {
public:
    explicit MemoryConnection(std::vector<std::string> pieces, bool silentAtEnd = false)
        : pieces_(std::move(pieces)), silentAtEnd_(silentAtEnd) {}
    Wait WaitReadable(uint32_t timeoutMs) override;
    long Receive(char* buffer, std::size_t size) override;

private:
    std::vector<std::string> pieces_;
    std::size_t piece_ = 0;
    std::size_t offset_ = 0;
    bool silentAtEnd_;
};

// Answers larger than this are refused, so a hostile server cannot exhaust memory.
inline constexpr std::size_t kCddbMaxAnswerBytes = 4u * 1024 * 1024;
inline constexpr std::size_t kCddbBlockSize = 4096;
// A request (connecting, sending and reading the whole answer) ends at the latest this
// many time-outs after it began, however slowly the server keeps sending.
inline constexpr uint32_t kCddbRequestLimitFactor = 3;
inline constexpr const char* kCddbTerminator = "\r\n.\r\n";

// ReadResponse modes: 0 reads up to the terminator (read, stat, motd); 1 and 2 (query,
// submit) also end at a one-line answer whose code is outside 210-219.
enum CddbReadMode : int { kReadToTerminator = 0, kReadQuery = 1, kReadSubmit = 2 };

class CCDDB {
public:
    explicit CCDDB(CEventLog* log = nullptr);
    virtual ~CCDDB();
    CCDDB(const CCDDB&) = default;
    CCDDB& operator=(const CCDDB&) = default;

    // "hello=%s+%s+%s+%s&proto=%d": user name, host name, client name, version, level.
    virtual std::string HelloParameters() const;
    // Reads an answer up to terminator into text (also kept as the last answer).
    // false on a time-out (no data for a whole time-out, or no complete answer within
    // RequestLimitMs()), a closed or failed connection, a cancel, or an answer larger than
    // kCddbMaxAnswerBytes; FailureReason() then says which.
    virtual bool ReadResponse(CDDBConnection& connection, const std::string& terminator,
                              std::string& text, std::size_t blockSize, int mode);

    // The requests; each throws CCDDBException on failure and closes its connection.
    void Query(const CCDDBServerAddress& server, uint32_t discId, const CCDDBToc& toc,
               std::vector<CCDDBMatch>& matches);
    void Read(const CCDDBServerAddress& server, const std::string& category, uint32_t discId,
              CAlbumRecord& record);
    void Status(const CCDDBServerAddress& server, CCDDBServerStatus& status);
    void Motd(const CCDDBServerAddress& server, std::string& text);
    // Shows "Successfully Submitted!" or the failure box through the prompter (when set).
    void Submit(const CCDDBServerAddress& server, const std::string& category,
                const std::string& email, const CAlbumRecord& record, const std::string& note,
                bool submit);

    // The request texts as sent (exposed for the tests and the command line).
    std::string QueryRequest(const CCDDBServerAddress& server, uint32_t discId,
                             const CCDDBToc& toc) const;
    std::string ReadRequest(const CCDDBServerAddress& server, const std::string& category,
                            uint32_t discId) const;
    std::string StatRequest(const CCDDBServerAddress& server) const;
    std::string MotdRequest(const CCDDBServerAddress& server) const;
    std::string SubmitRequest(const CCDDBServerAddress& server, const std::string& category,
                              const std::string& email, const CAlbumRecord& record,
                              const std::string& note, bool submit) const;

    // "auto" means the machine's host name / the login name ("Unknown" when there is
    // none); every character other than A-Z, a-z, 0-9 then becomes "_".
    void SetHostName(const std::string& name);
    void SetUserName(const std::string& name);
    void SetTimeout(uint32_t ms) { timeout_ = ms; }
    void SetProtocolLevel(int32_t level) { protocolLevel_ = level; }
    void SetProxyHost(const std::string& host) { proxyHost_ = host; }
    void SetProxyPort(int32_t port) { proxyPort_ = port; }
    void SetProxyUser(const std::string& user) { proxyUser_ = user; }
    void SetProxyPassword(const std::string& password) { proxyPassword_ = password; }
    void SetClientName(const std::string& name) { clientName_ = name; }
    void SetClientVersion(const std::string& version) { clientVersion_ = version; }

    const std::string& LastAnswer() const { return lastAnswer_; }
    uint32_t Timeout() const { return timeout_; }
    int32_t ProtocolLevel() const { return protocolLevel_; }
    const std::string& ProxyHost() const { return proxyHost_; }
    int32_t ProxyPort() const { return proxyPort_; }
    const std::string& ProxyUser() const { return proxyUser_; }
    const std::string& ProxyPassword() const { return proxyPassword_; }
    const std::string& ClientName() const { return clientName_; }
    const std::string& ClientVersion() const { return clientVersion_; }
    const std::string& HostName() const { return hostName_; }
    const std::string& UserName() const { return userName_; }
    // Why the last ReadResponse failed ("no answer from ... within 300 ms", ...).
    const std::string& FailureReason() const { return failureReason_; }
    // The errno-style code of the last platform failure (ETIMEDOUT after a time-out).
    int LastError() const { return lastError_; }

    void SetLog(CEventLog* log) { log_ = log; }
    void SetPrompter(Prompter* prompter) { prompter_ = prompter; }
    // The main window's match array, cleared whenever an exception is thrown.
    void SetMainMatches(std::vector<CCDDBMatch>* matches) { mainMatches_ = matches; }
    // The longest a whole request may take: kCddbRequestLimitFactor time-outs.
    uint64_t RequestLimitMs() const;
    // When set and true, waits give up early (the server test's stop, a cancelled lookup).
    void SetCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }

private:
    std::string Exchange(const CCDDBServerAddress& server, const std::string& request,
                         int mode, uint32_t failCode, bool& ok);
    std::string ProxyHeaders(const CCDDBServerAddress& server) const;
    std::chrono::steady_clock::time_point RequestDeadlineFromNow() const;
    [[noreturn]] void Throw(uint32_t code, const std::string& message,
                            const std::string& argument) const;

    std::string lastAnswer_;
    uint32_t timeout_ = 60000;
    std::string clientName_ = "MfcCDDB";
    std::string clientVersion_ = "1.28";
    int32_t protocolLevel_ = 5;
    std::string proxyHost_;
    int32_t proxyPort_ = 80;
    std::string proxyUser_;
    std::string proxyPassword_;
    std::string hostName_;
    std::string userName_;
    std::string failureReason_;
    int lastError_ = 0;
    CEventLog* log_ = nullptr;
    Prompter* prompter_ = nullptr;
    std::vector<CCDDBMatch>* mainMatches_ = nullptr;
    const std::atomic<bool>* cancel_ = nullptr;
    // Set while a request runs; a ReadResponse outside a request takes its own.
    std::optional<std::chrono::steady_clock::time_point> requestDeadline_;
};

// The body of an answer: the text after the first "\r\n\r\n"; false when there is none.
bool CddbAnswerBody(const std::string& answer, std::string& body);
// The integer value of the first three characters; -1 when shorter.
int CddbStatusCode(const std::string& body);
// "category discid artist / title"; false when the line is not a match.
bool ParseMatchLine(const std::string& line, CCDDBMatch& match);
// The query answer into matches (appended). A 202 logs its message and clears
// mainMatches (when given).
bool ParseQueryBody(const std::string& body, uint32_t discId, std::vector<CCDDBMatch>& matches,
                    CEventLog* log, std::vector<CCDDBMatch>* mainMatches = nullptr);
// The stat answer into status; false only for a code outside 210-219.
bool ParseStatusBody(const std::string& body, CCDDBServerStatus& status, CEventLog* log,
                     std::vector<CCDDBMatch>* mainMatches = nullptr);
// Standard Base64 with "=" padding, on one line.
std::string Base64Encode(const std::string& data);
// The hello-field rule: every character other than A-Z, a-z, 0-9 becomes "_".
std::string CddbSafeName(const std::string& name);

}  // namespace quarrow
