#include "support/HttpTestServer.h"

#include <algorithm>

namespace quarrow::test {

namespace {
// "GET target HTTP/1.0" -> target
std::string Target(const std::string& request) {
    const auto a = request.find(' '), b = request.find(' ', a + 1);
    return a == std::string::npos || b == std::string::npos ? std::string() : request.substr(a + 1, b - a - 1);
}
}  // namespace

HttpTestServer::HttpTestServer() {
    server_.SetHandler([answers = answers_, mutex = mutex_](const std::string& request) {
        std::string path = Target(request);
        if (path.rfind("http://", 0) == 0) path = path.substr(std::min(path.size(), path.find('/', 7)));
        std::lock_guard<std::mutex> lock(*mutex);
        const auto it = answers->find(path);
        return it != answers->end() ? it->second : std::string("HTTP/1.0 404 Not Found\r\n\r\nno such file\n");
    });
}

void HttpTestServer::Serve(const std::string& path, const std::string& body, int status) {
    ServeRaw(path, "HTTP/1.0 " + std::to_string(status) + " Test\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\n\r\n" + body);
}

void HttpTestServer::ServeRaw(const std::string& path, const std::string& answerBytes) {
    std::lock_guard<std::mutex> lock(*mutex_);
    (*answers_)[path] = answerBytes;
}

std::vector<std::string> HttpTestServer::Targets() const {
    std::vector<std::string> targets;
    for (const std::string& r : server_.Requests()) targets.push_back(Target(r));
    return targets;
}

}  // namespace quarrow::test
