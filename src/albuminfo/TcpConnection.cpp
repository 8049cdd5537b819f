#include "albuminfo/TcpConnection.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quarrow {

namespace {
// Waits are cut into slices so that a cancel flag is seen soon.
constexpr int kWaitSliceMs = 100;

long long MsUntil(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - std::chrono::steady_clock::now())
        .count();
}

// Connects s (non-blocking) to one address, waiting at most until deadline; 0 or -1 with errno.
int ConnectOne(int s, const struct addrinfo* a, std::chrono::steady_clock::time_point deadline,
               const std::atomic<bool>* cancel) {
    if (::connect(s, a->ai_addr, a->ai_addrlen) == 0) return 0;
    if (errno != EINPROGRESS) return -1;
    for (;;) {
        if (cancel && cancel->load()) {
            errno = ECANCELED;
            return -1;
        }
        const long long left = MsUntil(deadline);
        if (left <= 0) {
            errno = ETIMEDOUT;
            return -1;
        }
        struct pollfd p {s, POLLOUT, 0};
        const int pr = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kWaitSliceMs)));
        if (pr < 0 && errno == EINTR) continue;
        if (pr < 0) return -1;
        if (pr == 0) continue;
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err == 0) return 0;
        errno = err;
        return -1;
    }
}
}  // namespace

TcpConnectResult ConnectTcp(const std::string& host, int32_t port, const std::string& where,
                            uint32_t timeoutMs, std::chrono::steady_clock::time_point deadline,
                            const std::atomic<bool>* cancel) {
    TcpConnectResult result;
    if (host.empty()) {
        result.error = EDESTADDRREQ;
        result.message = "No host given for the " + where;
        return result;
    }
    if (port < 1 || port > 65535) {
        result.error = EINVAL;
        result.message = "Invalid port " + std::to_string(port) + " for the " + where;
        return result;
    }
    struct addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* addresses = nullptr;
    const std::string portText = std::to_string(port);
    const int gai = ::getaddrinfo(host.c_str(), portText.c_str(), &hints, &addresses);
    if (gai != 0 || !addresses) {
        if (addresses) ::freeaddrinfo(addresses);
        result.error = EHOSTUNREACH;
        result.message = "Cannot resolve the " + where + ": " + ::gai_strerror(gai);
        return result;
    }
    int connectError = 0;
    for (struct addrinfo* a = addresses; a && result.fd < 0; a = a->ai_next) {
        const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0) {
            connectError = errno;
            continue;
        }
        const int flags = ::fcntl(s, F_GETFL, 0);
        ::fcntl(s, F_SETFL, flags | O_NONBLOCK);
        const auto attemptEnd =
            std::min(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs), deadline);
        if (ConnectOne(s, a, attemptEnd, cancel) == 0) {
            ::fcntl(s, F_SETFL, flags & ~O_NONBLOCK);
            // A server that stops reading must not hold the send for longer than a wait.
            struct timeval tv {};
            tv.tv_sec = static_cast<time_t>(timeoutMs / 1000);
            tv.tv_usec = static_cast<suseconds_t>((timeoutMs % 1000) * 1000);
            ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
            result.fd = s;
        } else {
            connectError = errno;
            ::close(s);
        }
    }
    ::freeaddrinfo(addresses);
    if (result.fd < 0) {
        result.error = connectError;
        result.message = "Cannot connect to the " + where + ": " + std::strerror(connectError);
    }
    return result;
}

bool SendAll(int fd, const std::string& data, int& error) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n == 0 ? EPIPE : errno;
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

SocketConnection::~SocketConnection() {
    if (fd_ >= 0) ::close(fd_);
}

CDDBConnection::Wait SocketConnection::WaitReadable(uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (cancel_ && cancel_->load()) return Wait::Failed;
        const long long left = MsUntil(deadline);
        if (left <= 0) return Wait::TimedOut;
        struct pollfd p {fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kWaitSliceMs)));
        if (r < 0) {
            if (errno == EINTR) continue;
            return Wait::Failed;
        }
        if (r > 0) return Wait::Readable;
    }
}

long SocketConnection::Receive(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

}  // namespace quarrow
