#include "app/EventLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace quarrow {

namespace {

std::tm LocalNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

std::string Format(const char* fmt, int a, int b, int c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

}  // namespace

CEventLog::CEventLog() : clock_(LocalNow) {}

void CEventLog::SetFile(const std::string& path, bool writeLog) {
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = path;
    writeLog_ = writeLog;
}

void CEventLog::SetWriteLog(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    writeLog_ = on;
}

void CEventLog::SetSink(Sink sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    sink_ = std::move(sink);
}

void CEventLog::SetEntrySink(EntrySink sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    entrySink_ = std::move(sink);
}

void CEventLog::SetClock(Clock clock) {
    std::lock_guard<std::mutex> lock(mutex_);
    clock_ = std::move(clock);
}

void CEventLog::AppendToFile(const std::string& text) {
    // Opened per event, appended, closed: the file is complete after every line.
    std::FILE* f = std::fopen(path_.c_str(), "ab");
    if (!f) throw std::runtime_error("cannot open log file " + path_ + ": " + std::strerror(errno));
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) throw std::runtime_error("cannot write log file " + path_ + ": " + std::strerror(errno));
}

std::string CEventLog::FormatStartTime(const std::tm& t) {
    char buf[128];
    std::strftime(buf, sizeof buf, "Starting Time: %H:%M:%S  %B %d, %Y", &t);
    return buf;
}

void CEventLog::WriteBanner(const std::tm& startTime) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!writeLog_ || path_.empty()) return;
    const std::string stars(60, '*');
    AppendToFile(stars + "\r\n" + stars + "\r\n" + "***************Quarrow " QUARROW_VERSION
                 "****************\r\n" + FormatStartTime(startTime) + "\r\n");
}

void CEventLog::AddLaunchEntry() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::tm now = clock_();
    LogEntry e{"Lauching Quarrow...", 0, 0, Format("%02d:%02d:%02d", now.tm_hour, now.tm_min, now.tm_sec)};
    entries_.push_back(e);
    if (entrySink_) entrySink_(e);
}

void CEventLog::Add(const std::string& message, int level) {
    Sink sink;
    std::string lastEvent;
    std::exception_ptr failure;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const int32_t number = counter_ + 1;
        std::tm now = clock_();
        const std::string numberText = Format("#%3d ", number, 0, 0);
        const std::string timeText = Format("%02d:%02d:%02d", now.tm_hour, now.tm_min, now.tm_sec);
        // The status box shows the event first; a file that cannot be written then stops
        // the event before it reaches the list or moves the counter.
        lastEvent_ = numberText + timeText + "  " + message;
        lastEvent = lastEvent_;
        sink = sink_;
        try {
            if (writeLog_ && !path_.empty()) AppendToFile(numberText + timeText + " " + message + "\r\n");
            LogEntry e{message, static_cast<int16_t>(level), number, timeText};
            entries_.push_back(e);
            counter_ = number;
            if (entrySink_) entrySink_(e);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // Called outside the lock so a sink may log or read the log without deadlock.
    if (sink) sink(lastEvent);
    if (failure) std::rethrow_exception(failure);
}

void CEventLog::WriteClosingLines() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!writeLog_ || path_.empty()) return;
    AppendToFile("\r\n\r\n\r\n\r\n\r\n");
}

void CEventLog::Clear() {
    Sink sink;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
        lastEvent_ = "Ready";
        sink = sink_;
    }
    if (sink) sink("Ready");
}

std::vector<LogEntry> CEventLog::Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

int32_t CEventLog::Counter() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counter_;
}

std::string CEventLog::LastEvent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastEvent_;
}

}  // namespace quarrow
