#include "encoders/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace quarrow {

// ------------------------------------------------------------------------------------
// Command lines

CommandLine& CommandLine::Text(std::string_view text) {
    pieces_.push_back({std::string(text), false});
    return *this;
}

CommandLine& CommandLine::Value(std::string_view value) {
    pieces_.push_back({std::string(value), true});
    return *this;
}

CommandLine& CommandLine::Quoted(std::string_view value) { return Text("\"").Value(value).Text("\""); }

std::string CommandLine::Display() const {
    std::string line;
    for (const Piece& p : pieces_) line += p.text;
    return line;
}

std::vector<std::string> CommandLine::Argv() const {
    std::vector<std::string> argv;
    std::string word;
    bool inWord = false;    // a quote pair alone makes an (empty) argument
    bool quoted = false;
    auto endWord = [&] {
        if (inWord) argv.push_back(word);
        word.clear();
        inWord = false;
    };
    for (const Piece& p : pieces_) {
        if (p.value) {
            word += p.text;
            inWord = true;
            continue;
        }
        const std::string& t = p.text;
        for (std::size_t i = 0; i < t.size(); ++i) {
            const char c = t[i];
            if (c == '\\' && i + 1 < t.size() && t[i + 1] == '"') {
                word += '"';
                inWord = true;
                ++i;
            } else if (c == '"') {
                quoted = !quoted;
                inWord = true;
            } else if ((c == ' ' || c == '\t') && !quoted) {
                endWord();
            } else {
                word += c;
                inWord = true;
            }
        }
    }
    endWord();
    return argv;
}

std::string DescribeExit(int waitStatus) {
    if (WIFEXITED(waitStatus)) return "exited with status " + std::to_string(WEXITSTATUS(waitStatus));
    if (WIFSIGNALED(waitStatus)) {
        const int sig = WTERMSIG(waitStatus);
        const char* name = strsignal(sig);
        return "was killed by signal " + std::to_string(sig) + (name ? std::string(" (") + name + ")" : "");
    }
    return "ended with wait status " + std::to_string(waitStatus);
}

// ------------------------------------------------------------------------------------
// The child

ChildProcess::~ChildProcess() {
    Stop();
    EndRedirector();
    CloseFd(stdin_);
    CloseFd(stdout_);
    CloseFd(stderr_);
}

void ChildProcess::CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, OutputSink sink, std::string& error) {
    if (Started()) {
        error = "a program is already running";
        return false;
    }
    if (argv.empty() || argv[0].empty()) {
        error = "the command line names no program";
        return false;
    }
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors some other part opened without close-on-exec stay with us.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGCHLD}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    // Its own group: a cancel reaches whatever the program starts in turn.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0].c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (rc != 0) {
        error = "cannot start " + argv[0] + ": " + std::strerror(rc);
        for (int fd : {in[1], out[0], err[0]}) ::close(fd);
        return false;
    }
    pid_ = pid;
    ended_ = false;
    status_ = 0;
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
    ::fcntl(stdin_, F_SETFL, ::fcntl(stdin_, F_GETFL) | O_NONBLOCK);
    sink_ = std::move(sink);
    stopRedirector_ = false;
    redirectorDone_ = false;
    redirector_ = std::thread([this] { Redirect(); });
    return true;
}

void ChildProcess::Redirect() {
    char buffer[4096];
    pollfd fds[2] = {{stdout_, POLLIN, 0}, {stderr_, POLLIN, 0}};
    int open = 2;
    while (open > 0 && !stopRedirector_) {
        const int n = ::poll(fds, 2, 100);
        if (n < 0 && errno != EINTR) break;
        for (pollfd& p : fds) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t got = ::read(p.fd, buffer, sizeof buffer);
            if (got > 0) {
                const std::string_view text(buffer, static_cast<std::size_t>(got));
                {
                    std::lock_guard<std::mutex> lock(tailMutex_);
                    tail_.append(text);
                    if (tail_.size() > 4096) tail_.erase(0, tail_.size() - 4096);
                }
                if (sink_) sink_(text);
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                if (got < 0 && sink_) sink_("Read stdout pipe error\r\n");
                p.fd = -1;   // poll skips negative descriptors
                --open;
            }
        }
    }
    // The console log marks the end of the program's output.
    if (open == 0 && sink_) sink_("\r\nChild Process Ended\r\n");
    redirectorDone_ = true;
}

void ChildProcess::EndRedirector() {
    if (!redirector_.joinable()) return;
    // The program has ended; what it wrote last is still in the pipes. Something it
    // started may hold them open: give that a second, then stop reading.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(1000);
    while (!redirectorDone_ && steady_clock::now() < deadline) std::this_thread::sleep_for(milliseconds(2));
    const bool dead = !redirectorDone_;
    stopRedirector_ = true;
    redirector_.join();
    if (dead && sink_) sink_("The redir thread is dead\r\n");
    CloseFd(stdout_);
    CloseFd(stderr_);
}

ChildProcess::WriteResult ChildProcess::Write(const void* data, std::size_t size, const KeepGoing& keepGoing,
                                              std::string& error) {
    if (stdin_ < 0) {
        error = "the program's input is closed";
        return WriteResult::Failed;
    }
    // A program that has gone raises SIGPIPE on the write: keep it off this thread and
    // take it back, so the rip sees EPIPE instead of the whole process ending.
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    const char* p = static_cast<const char*>(data);
    WriteResult result = WriteResult::Written;
    while (size > 0) {
        const ssize_t n = ::write(stdin_, p, size);
        if (n > 0) {
            p += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EPIPE) {
            const timespec zero{0, 0};
            sigtimedwait(&pipeSet, nullptr, &zero);
            result = WriteResult::ChildEnded;
            break;
        }
        if (n < 0 && errno != EAGAIN) {
            error = std::string("cannot write to the program: ") + std::strerror(errno);
            result = WriteResult::Failed;
            break;
        }
        pollfd w{stdin_, POLLOUT, 0};
        ::poll(&w, 1, 100);
        if (HasEnded()) {
            result = WriteResult::ChildEnded;
            break;
        }
        if (keepGoing && !keepGoing()) {
            result = WriteResult::Stopped;
            break;
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return result;
}

void ChildProcess::CloseInput() { CloseFd(stdin_); }

bool ChildProcess::HasEnded() {
    if (ended_) return true;
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
        status_ = r == pid_ ? status : 0;
        ended_ = true;
        pid_ = -1;
    }
    return ended_;
}

bool ChildProcess::Wait(const KeepGoing& keepGoing) {
    while (!HasEnded()) {
        if (pid_ <= 0) return false;
        if (keepGoing && !keepGoing()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EndRedirector();
    return true;
}

void ChildProcess::Stop(std::chrono::milliseconds grace) {
    CloseInput();
    if (pid_ > 0 && !HasEnded()) {
        const pid_t group = pid_;
        ::kill(-group, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + grace;
        while (!HasEnded() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!HasEnded()) {
            ::kill(-group, SIGKILL);
            int status = 0;
            if (::waitpid(group, &status, 0) == group) status_ = status;
            ended_ = true;
            pid_ = -1;
        }
        // Whatever else the program started in its group goes with it.
        ::kill(-group, SIGKILL);
    }
    EndRedirector();
}

bool ChildProcess::Succeeded() const { return ended_ && WIFEXITED(status_) && WEXITSTATUS(status_) == 0; }

std::string ChildProcess::OutputTail() const {
    std::lock_guard<std::mutex> lock(tailMutex_);
    std::string t = tail_;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r' || t.back() == ' ')) t.pop_back();
    if (t.size() > 300) t = t.substr(t.size() - 300);
    // Progress lines of encoders end in carriage returns: keep only the last line shown.
    const auto cr = t.find_last_of('\r');
    if (cr != std::string::npos) t = t.substr(cr + 1);
    return t;
}

}  // namespace quarrow
