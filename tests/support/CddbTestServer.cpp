#include "support/CddbTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "app/EventLog.h"
#include "support/TestFiles.h"

namespace quarrow::test {

CddbTestServer::CddbTestServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 8) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (listenFd_ >= 0) ::close(listenFd_);
        throw std::runtime_error("test server: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(addr.sin_port);
    handler_ = [](const std::string&) { return HttpAnswer("500 No handler\r\n"); };
    thread_ = std::thread([this] { Run(); });
}

void CddbTestServer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(std::exchange(listenFd_, -1));
}

void CddbTestServer::SetHandler(Handler handler) { Set([&] { handler_ = std::move(handler); }); }

std::vector<std::string> CddbTestServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string CddbTestServer::HttpAnswer(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
}

std::string CddbTestServer::ReadAnswerBody(const std::string& xmcd) {
    return "210 rock 12345678 CD database entry follows (until terminating `.')\r\n" + xmcd + "\r\n.\r\n";
}

// Polls in short slices so that Stop() is noticed; false once stopping.
bool CddbTestServer::WaitReadable(int fd) {
    while (!stop_) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) return true;
    }
    return false;
}

void CddbTestServer::Run() {
    while (WaitReadable(listenFd_)) {
        if (const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC); fd >= 0)
            ++connections_, Serve(fd), ::close(fd);
    }
}

void CddbTestServer::Serve(int fd) {
    // The request ends with its header's blank line plus Content-Length bytes.
    std::string request;
    std::size_t need = std::string::npos;
    char buf[4096];
    while (need == std::string::npos || request.size() < need) {
        if (!WaitReadable(fd)) return;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<std::size_t>(n));
        const auto end = request.find("\r\n\r\n");
        if (need == std::string::npos && end != std::string::npos) {
            const auto cl = request.find("Content-Length: ");
            need = end + 4 + (cl < end ? std::strtoul(request.c_str() + cl + 16, nullptr, 10) : 0);
        }
    }
    if (request.empty()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    requests_.push_back(request);
    const Handler handler = handler_;
    const bool drip = drip_, silent = silent_;
    const auto pause = pause_;
    const std::string auth = proxyAuth_;
    lock.unlock();
    if (silent) {  // hold the connection open until the client gives up or the server stops
        while (WaitReadable(fd) && ::recv(fd, buf, 1, 0) > 0) {}
        return;
    }
    const std::string answer =
        !auth.empty() && request.substr(0, request.find("\r\n\r\n") + 2).find("\r\nProxy-Authorization: Basic " + auth + "\r\n") == std::string::npos
            ? "HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"test\"\r\n\r\n"
            : handler(request);
    for (std::size_t sent = 0; sent < answer.size() && !stop_;) {
        const ssize_t n = ::send(fd, answer.data() + sent, drip ? 1 : answer.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
        if (drip && pause.count() > 0) std::this_thread::sleep_for(pause);
    }
}

std::string XmcdTestFile(const std::string& name) {
    return support::ReadFile(std::string(QUARROW_TEST_DATA) + "/xmcd/" + name);
}

bool Logged(const CEventLog& log, const std::string& text, int level, bool whole) {
    for (const LogEntry& e : log.Entries())
        if ((level < 0 || e.level == level) && (whole ? e.message == text : e.message.find(text) != std::string::npos))
            return true;
    return false;
}

}  // namespace quarrow::test
