// A CDDB HTTP server inside the test process: listens on 127.0.0.1 at an ephemeral port,
// serves one connection at a time on its own thread, records every request it got, and
// can misbehave on demand (drip the answer byte by byte, stay silent, demand proxy
// authentication).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quarrow::test {

class CddbTestServer {
public:
    // Gets the whole request (header and body), returns the whole answer bytes.
    using Handler = std::function<std::string(const std::string& request)>;

    CddbTestServer();            // starts listening and the thread
    ~CddbTestServer();           // stops
    CddbTestServer(const CddbTestServer&) = delete;
    CddbTestServer& operator=(const CddbTestServer&) = delete;

    int Port() const { return port_; }
    void Stop();

    void SetHandler(Handler handler);
    // Answers every request with this text after the HTTP header of HttpAnswer.
    void SetBody(const std::string& cddbBody);
    // Sends the answer one byte per send with this pause between bytes.
    void SetDrip(bool on, std::chrono::microseconds pause = std::chrono::microseconds(0));
    // Reads the request and then sends nothing until the client goes away or Stop().
    void SetSilent(bool on);
    // Answers 407 unless the request carries "Proxy-Authorization: Basic " with the
    // Base64 text of user:password.
    void RequireProxyAuth(const std::string& user, const std::string& password);

    std::vector<std::string> Requests() const;
    int Connections() const { return connections_; }

    // "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body
    static std::string HttpAnswer(const std::string& body);
    // A record answer body: the 210 status line, the xmcd text, the terminating ".".
    static std::string ReadAnswerBody(const std::string& xmcd);

private:
    void Run();
    void Serve(int fd);
    bool ReadRequest(int fd, std::string& request);
    bool SendAll(int fd, const std::string& data, bool drip);

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
    std::string proxyAuth_;      // the expected Base64 text; empty when not demanded
    std::vector<std::string> requests_;
};

}  // namespace quarrow::test
