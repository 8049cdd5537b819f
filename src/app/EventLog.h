// CEventLog: the one record of what the system does. Each event goes to the in-memory
// list, to the "Last Event" sink and, when enabled, to Quarrow.log in the home folder.
// Add may be called from any thread: one lock guards the list, the counter and the file.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quarrow {

struct LogEntry {
    std::string message;
    int16_t level = 0;       // 0 information, 1 warning, 2 error
    int32_t number = 0;
    std::string time;        // "%02d:%02d:%02d"
};

class CEventLog {
public:
    using Sink = std::function<void(const std::string& lastEventText)>;
    using EntrySink = std::function<void(const LogEntry&)>;
    // Clock used for the time texts; replaceable so tests can fix the time.
    using Clock = std::function<std::tm()>;

    CEventLog();

    // The log file; empty path or writing off: the file is never touched.
    void SetFile(const std::string& path, bool writeLog);
    void SetWriteLog(bool on);
    void SetSink(Sink sink);            // receives the "Last Event" text
    void SetEntrySink(EntrySink sink);  // receives each new entry (the log view)
    void SetClock(Clock clock);

    // Writes the start banner (two lines of asterisks, the name line, the start time).
    void WriteBanner(const std::tm& startTime);
    // Puts the launch entry "Lauching Quarrow..." with number 0 into the list only.
    void AddLaunchEntry();
    // Records one event; throws std::runtime_error naming the file when writing fails.
    // The "Last Event" text is set first; a failed write leaves the list and the counter
    // as they were.
    void Add(const std::string& message, int level = 0);
    // Writes the five empty lines that close a run's part of the file.
    void WriteClosingLines();
    // Empties the list and sets the sink to "Ready"; the counter keeps counting.
    void Clear();

    std::vector<LogEntry> Entries() const;
    int32_t Counter() const;
    std::string LastEvent() const;

    static std::string FormatStartTime(const std::tm& t);  // "Starting Time: ..."

private:
    void AppendToFile(const std::string& text);
    mutable std::mutex mutex_;
    std::string path_;
    bool writeLog_ = false;
    Sink sink_;
    EntrySink entrySink_;
    Clock clock_;
    std::vector<LogEntry> entries_;
    int32_t counter_ = 0;
    std::string lastEvent_;
};

}  // namespace quarrow
