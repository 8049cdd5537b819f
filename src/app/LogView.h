// CLogView: what the log view shows of the event log, without widgets: its columns,
// one row per entry ("#%03d", time, message), the colours of each level and the width
// rule of the Description column (narrower once a scroll bar appears).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/EventLog.h"

namespace quarrow {

struct LogColour {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const LogColour&) const = default;
};

struct LogViewColumn {
    std::string header;
    int width = 0;          // pixels
    bool centred = false;
};

struct LogViewRow {
    std::string number;     // "#%03d"
    std::string time;
    std::string message;    // also the cell's tooltip
    LogColour text;
    LogColour background;
};

class CLogView {
public:
    static constexpr int kDescriptionWidth = 478;
    static constexpr int kDescriptionWidthScrolled = 461;  // room for the scroll bar
    static constexpr std::size_t kRowsWithoutScrollBar = 18;

    // Hidden first column, "Events", "Time", "Description" (at its width for no entries).
    static std::vector<LogViewColumn> Columns();
    static int DescriptionWidth(std::size_t entryCount);
    static LogViewRow Row(const LogEntry& entry);
    // Text and background of a level; levels outside 0..2 show as information.
    static void Colours(int level, LogColour& text, LogColour& background);
};

}  // namespace quarrow
