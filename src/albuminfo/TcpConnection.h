// TcpConnection: the TCP side every network client of the album information shares (the
// CDDB client, the AccurateRip and CUETools database lookups): a connect bounded by a
// time-out, a deadline and a cancel flag, sending a whole request, and a socket reader.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "albuminfo/CDDB.h"

namespace quarrow {

// The outcome of ConnectTcp: the socket (owned by the caller), or -1 with the errno-style
// code and a text such as "Cannot connect to the proxy 10.0.0.1:3128: Connection refused".
struct TcpConnectResult {
    int fd = -1;
    int error = 0;
    std::string message;
};

// Resolves host and connects to the first address that answers. where names the peer in
// messages ("CDDB server example.org:80"). Each connect attempt waits at most timeoutMs
// and never past deadline; a set cancel flag ends it (ECANCELED). The socket is blocking
// afterwards, with a send time-out of timeoutMs.
TcpConnectResult ConnectTcp(const std::string& host, int32_t port, const std::string& where,
                            uint32_t timeoutMs, std::chrono::steady_clock::time_point deadline,
                            const std::atomic<bool>* cancel);

// Sends all of data; false with error set (errno-style) when the peer stops taking it.
bool SendAll(int fd, const std::string& data, int& error);

// A connected socket as the answer readers see it; closes the socket when destroyed.
class SocketConnection : public CDDBConnection {
public:
    SocketConnection(int fd, const std::atomic<bool>* cancel) : fd_(fd), cancel_(cancel) {}
    ~SocketConnection() override;
    SocketConnection(const SocketConnection&) = delete;
    SocketConnection& operator=(const SocketConnection&) = delete;

    Wait WaitReadable(uint32_t timeoutMs) override;
    long Receive(char* buffer, std::size_t size) override;
    int fd() const { return fd_; }

private:
    int fd_;
    const std::atomic<bool>* cancel_;
};

}  // namespace quarrow
