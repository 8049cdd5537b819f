// A loopback HTTP server for the database lookups' tests, on the CDDB test server's
// listener: each path answers what the test put there (any status, or raw bytes for a
// garbage answer), other paths 404; it can also stay silent or demand proxy credentials.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/CddbTestServer.h"

namespace quarrow::test {

class HttpTestServer {
public:
    HttpTestServer();
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(server_.Port()); }
    int Port() const { return server_.Port(); }
    // path is the request target without scheme and host ("/a/b.bin?x=1").
    void Serve(const std::string& path, const std::string& body, int status = 200);
    void ServeRaw(const std::string& path, const std::string& answerBytes);
    CddbTestServer& Server() { return server_; }
    // The request targets as sent, in order (absolute through a proxy).
    std::vector<std::string> Targets() const;

private:
    using Answers = std::map<std::string, std::string>;   // path -> the whole answer
    std::shared_ptr<Answers> answers_ = std::make_shared<Answers>();
    std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
    CddbTestServer server_;
};

}  // namespace quarrow::test
