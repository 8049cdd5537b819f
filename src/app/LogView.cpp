#include "app/LogView.h"

#include <cstdio>

namespace quarrow {

std::vector<LogViewColumn> CLogView::Columns() {
    return {{"", 0, false}, {"Events", 55, true}, {"Time", 63, true}, {"Description", kDescriptionWidth, false}};
}

int CLogView::DescriptionWidth(std::size_t entryCount) {
    return entryCount <= kRowsWithoutScrollBar ? kDescriptionWidth : kDescriptionWidthScrolled;
}

void CLogView::Colours(int level, LogColour& text, LogColour& background) {
    switch (level) {
    case 1:
        text = {128, 128, 0}, background = {255, 255, 134};
        break;
    case 2:
        text = {255, 0, 0}, background = {255, 175, 150};
        break;
    default:
        text = {0, 130, 33}, background = {89, 255, 172};
        break;
    }
}

LogViewRow CLogView::Row(const LogEntry& entry) {
    char number[24];
    std::snprintf(number, sizeof number, "#%03d", static_cast<int>(entry.number));
    LogViewRow row{number, entry.time, entry.message, {}, {}};
    Colours(entry.level, row.text, row.background);
    return row;
}

}  // namespace quarrow
