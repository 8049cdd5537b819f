// Runs an outside encoder program without a shell. The command line is split into argv
// by Quarrow's own quote rules, with album data kept whole inside its argument; the
// program's stdin, stdout and stderr are pipes, and a redirector thread drains its output
// so that the program never blocks on a full pipe while we feed its input.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quarrow {

// A command line made of literal text and values. Text is split at blanks and tabs,
// double quotes group (and are dropped), backslash-quote is a quote character. A value
// (a title, a path) is never split or interpreted: quotes, blanks, "$(...)" and ";" in it
// are plain characters of the argument it stands in.
class CommandLine {
public:
    CommandLine& Text(std::string_view text);
    CommandLine& Value(std::string_view value);
    // "\"" + value + "\"": the value as one argument of its own (empty included).
    CommandLine& Quoted(std::string_view value);

    // The line as shown in the log: every piece as written.
    std::string Display() const;
    std::vector<std::string> Argv() const;

private:
    struct Piece {
        std::string text;
        bool value;
    };
    std::vector<Piece> pieces_;
};

// How a program ended, from a wait status: "exited with status 1", "was killed by
// signal 11 (Segmentation fault)".
std::string DescribeExit(int waitStatus);

class ChildProcess {
public:
    // Receives the program's console output (stdout and stderr as they come), on the
    // redirector thread.
    using OutputSink = std::function<void(std::string_view text)>;
    // Polled while a call waits on the program; false stops the wait.
    using KeepGoing = std::function<bool()>;

    enum class WriteResult { Written, ChildEnded, Stopped, Failed };

    ChildProcess() = default;
    ~ChildProcess();   // a program still running is stopped
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (a path, or a name looked up on PATH) in a process group of its own.
    // false with error set ("cannot start /x/faac: No such file or directory").
    bool Start(const std::vector<std::string>& argv, OutputSink sink, std::string& error);

    // Writes all of data to the program's stdin; waits only while the program lives and
    // keepGoing() holds (asked every 100 ms). error is set for Failed.
    WriteResult Write(const void* data, std::size_t size, const KeepGoing& keepGoing, std::string& error);

    // Closes the program's stdin: its end of input.
    void CloseInput();
    // Whether the program has ended (reaped on the first call that sees it).
    bool HasEnded();
    // Waits for the end of the program while keepGoing() holds; false when stopped first.
    bool Wait(const KeepGoing& keepGoing);
    // SIGTERM to the program's group, SIGKILL after the grace; then reaps it and ends
    // the redirector. Nothing when no program runs.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(500));

    bool Started() const { return pid_ > 0 || ended_; }
    int WaitStatus() const { return status_; }
    bool Succeeded() const;
    // The last lines of the program's output (at most about 300 characters), for an error.
    std::string OutputTail() const;

private:
    void Redirect();
    void EndRedirector();
    void CloseFd(int& fd);

    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    OutputSink sink_;
    std::thread redirector_;
    std::atomic<bool> stopRedirector_{false};
    std::atomic<bool> redirectorDone_{false};
    mutable std::mutex tailMutex_;
    std::string tail_;
};

}  // namespace quarrow
