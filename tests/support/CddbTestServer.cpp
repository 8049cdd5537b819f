#include "support/CddbTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace quarrow::test {

namespace {

// Standard Base64, written here on its own so the client's encoder is checked against
// an independent one.
std::string Encode64(const std::string& in) {
    static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    int val = 0, bits = -6;
    for (unsigned char c : in) {
        val = (val << 8) + c;
        bits += 8;
        while (bits >= 0) {
            out.push_back(a[(val >> bits) & 0x3F]);
            bits -= 6;
        }
    }
    if (bits > -6) out.push_back(a[((val << 8) >> (bits + 8)) & 0x3F]);
    while (out.size() % 4) out.push_back('=');
    return out;
}

}  // namespace

CddbTestServer::CddbTestServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("test server: socket failed");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 8) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("test server: bind/listen failed");
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    handler_ = [](const std::string&) { return HttpAnswer("500 No handler\r\n"); };
    thread_ = std::thread([this] { Run(); });
}

CddbTestServer::~CddbTestServer() { Stop(); }

void CddbTestServer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

void CddbTestServer::SetHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

void CddbTestServer::SetBody(const std::string& cddbBody) {
    SetHandler([cddbBody](const std::string&) { return HttpAnswer(cddbBody); });
}

void CddbTestServer::SetDrip(bool on, std::chrono::microseconds pause) {
    std::lock_guard<std::mutex> lock(mutex_);
    drip_ = on;
    pause_ = pause;
}

void CddbTestServer::SetSilent(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = on;
}

void CddbTestServer::RequireProxyAuth(const std::string& user, const std::string& password) {
    std::lock_guard<std::mutex> lock(mutex_);
    proxyAuth_ = Encode64(user + ":" + password);
}

std::vector<std::string> CddbTestServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string CddbTestServer::HttpAnswer(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
}

std::string CddbTestServer::ReadAnswerBody(const std::string& xmcd) {
    return "210 rock 12345678 CD database entry follows (until terminating `.')\r\n" + xmcd +
           "\r\n.\r\n";
}

void CddbTestServer::Run() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        const int r = ::poll(&p, 1, 20);
        if (r <= 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++connections_;
        Serve(fd);
        ::close(fd);
    }
}

bool CddbTestServer::ReadRequest(int fd, std::string& request) {
    char buf[4096];
    std::size_t need = std::string::npos;  // total length once the header is known
    while (!stop_) {
        if (need != std::string::npos && request.size() >= need) return true;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, 20);
        if (r < 0 && errno != EINTR) return false;
        if (r <= 0) continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return !request.empty();
        request.append(buf, static_cast<std::size_t>(n));
        if (need == std::string::npos) {
            const auto end = request.find("\r\n\r\n");
            if (end == std::string::npos) continue;
            std::size_t body = 0;
            const auto cl = request.find("Content-Length: ");
            if (cl != std::string::npos && cl < end)
                body = std::strtoul(request.c_str() + cl + 16, nullptr, 10);
            need = end + 4 + body;
        }
    }
    return false;
}

bool CddbTestServer::SendAll(int fd, const std::string& data, bool drip) {
    std::chrono::microseconds pause;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pause = pause_;
    }
    std::size_t sent = 0;
    while (sent < data.size() && !stop_) {
        const std::size_t chunk = drip ? 1 : data.size() - sent;
        const ssize_t n = ::send(fd, data.data() + sent, chunk, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
        if (drip && pause.count() > 0) std::this_thread::sleep_for(pause);
    }
    return sent == data.size();
}

void CddbTestServer::Serve(int fd) {
    std::string request;
    if (!ReadRequest(fd, request)) return;
    Handler handler;
    bool drip, silent;
    std::string auth;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        handler = handler_;
        drip = drip_;
        silent = silent_;
        auth = proxyAuth_;
    }
    if (silent) {
        // Hold the connection open until the client gives up or the server stops.
        char c;
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && ::recv(fd, &c, 1, 0) <= 0) return;
        }
        return;
    }
    std::string answer;
    const auto header = request.substr(0, request.find("\r\n\r\n") + 2);
    if (!auth.empty() && header.find("\r\nProxy-Authorization: Basic " + auth + "\r\n") == std::string::npos)
        answer = "HTTP/1.0 407 Proxy Authentication Required\r\n"
                 "Proxy-Authenticate: Basic realm=\"test\"\r\n\r\n";
    else
        answer = handler(request);
    SendAll(fd, answer, drip);
}

}  // namespace quarrow::test
