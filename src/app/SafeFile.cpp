#include "app/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarrow {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::string Reason(int err) { return std::strerror(err); }

}  // namespace

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& contents, std::string& error) {
    contents.clear();
    // O_NONBLOCK keeps the open of a FIFO with no writer from waiting forever; the type
    // check below then refuses it before any read.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        int e = errno;
        error = e == ENOENT ? path + " does not exist" : "cannot open " + path + ": " + Reason(e);
        return false;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = "cannot read " + path + ": " + Reason(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + " is not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        error = path + " is too large (" + std::to_string(st.st_size) + " bytes, at most " +
                std::to_string(maxBytes) + ")";
        return false;
    }
    // The size is checked again while reading: the file may grow after the fstat.
    std::string data;
    data.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t have = 0;
    for (;;) {
        if (have == data.size()) {
            if (data.size() > maxBytes) break;
            data.resize(std::min(maxBytes + 1, data.size() * 2 + 4096));
        }
        ssize_t n = ::read(fd.get(), data.data() + have, data.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = "cannot read " + path + ": " + Reason(errno);
            return false;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    if (have > maxBytes) {
        error = path + " is too large (more than " + std::to_string(maxBytes) + " bytes)";
        return false;
    }
    data.resize(have);
    contents = std::move(data);
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& contents, unsigned mode,
                         std::string& error) {
    // The temporary sits beside the target so the rename stays on one file system; the
    // process id keeps two programs writing the same file from sharing a temporary.
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777));
    if (fd.get() < 0) {
        error = "cannot create " + temp + ": " + Reason(errno);
        return false;
    }
    auto fail = [&](const std::string& what, int err) {
        ::close(fd.release());
        ::unlink(temp.c_str());
        error = what + ": " + Reason(err);
        return false;
    };
    // The umask may have narrowed the mode given to open.
    if (::fchmod(fd.get(), mode & 07777) != 0) return fail("cannot write " + temp, errno);
    std::size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = ::write(fd.get(), contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("cannot write " + temp, errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0) return fail("cannot write " + temp, errno);
    if (::close(fd.release()) != 0) {
        int e = errno;
        ::unlink(temp.c_str());
        error = "cannot write " + temp + ": " + Reason(e);
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int e = errno;
        ::unlink(temp.c_str());
        error = "cannot replace " + path + ": " + Reason(e);
        return false;
    }
    return true;
}

}  // namespace quarrow
