// A CDDB HTTP server inside the test process: listens on 127.0.0.1 at an ephemeral port,
// serves one connection at a time on its own thread, records every request, and can
// misbehave on demand (drip the answer byte by byte, stay silent, demand proxy credentials).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quarrow {
class CEventLog;
}

namespace quarrow::test {

class CddbTestServer {
public:
    // Gets the whole request (header and body), returns the whole answer bytes.
    using Handler = std::function<std::string(const std::string& request)>;

    CddbTestServer();
    ~CddbTestServer() { Stop(); }
    CddbTestServer(const CddbTestServer&) = delete;
    CddbTestServer& operator=(const CddbTestServer&) = delete;

    int Port() const { return port_; }
    void Stop();
    void SetHandler(Handler handler);
    // Answers every request with HttpAnswer(cddbBody).
    void SetBody(const std::string& cddbBody) {
        SetHandler([cddbBody](const std::string&) { return HttpAnswer(cddbBody); });
    }
    // Sends the answer one byte per send with this pause between bytes.
    void SetDrip(bool on, std::chrono::microseconds pause = {}) { Set([&] { drip_ = on, pause_ = pause; }); }
    // Reads the request, then sends nothing until the client goes away or Stop().
    void SetSilent(bool on) { Set([&] { silent_ = on; }); }
    // Answers 407 unless the request carries "Proxy-Authorization: Basic " + base64.
    void RequireProxyAuth(const std::string& base64) { Set([&] { proxyAuth_ = base64; }); }

    std::vector<std::string> Requests() const;
    int Connections() const { return connections_; }

    // "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body
    static std::string HttpAnswer(const std::string& body);
    // A record answer body: the 210 status line, the xmcd text, the terminating ".".
    static std::string ReadAnswerBody(const std::string& xmcd);

private:
    void Set(const std::function<void()>& change) {
        std::lock_guard<std::mutex> lock(mutex_);
        change();
    }
    void Run();
    void Serve(int fd);
    bool WaitReadable(int fd);

    int listenFd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    Handler handler_;
    bool drip_ = false;
    std::chrono::microseconds pause_{0};
    bool silent_ = false;
    std::string proxyAuth_;  // empty when not demanded
    std::vector<std::string> requests_;
};

// The bytes of a genuine record file under the test data's xmcd folder.
std::string XmcdTestFile(const std::string& name);
// Whether log holds an entry of this level (any when -1) whose message is text (or,
// when whole is false, contains it).
bool Logged(const CEventLog& log, const std::string& text, int level = -1, bool whole = true);

}  // namespace quarrow::test
