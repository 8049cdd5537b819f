// The log view: a modeless list of every event of the run, coloured by level, with OK
// and Clear. Rows, colours and the column width rule come from CLogView.
#pragma once

#include <QDialog>
#include <cstdint>

class QTreeWidget;

namespace quarrow {
class CEventLog;
struct LogEntry;
}

namespace quarrow::ui {

class LogViewDialog : public QDialog {
    Q_OBJECT
public:
    LogViewDialog(quarrow::CEventLog& log, QWidget* parent = nullptr);
    // Appends an entry the view does not show yet (entries arrive once from the list and
    // may arrive again from the log's sink).
    void addEntry(const quarrow::LogEntry& entry);
    QTreeWidget* list() const { return list_; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void clearLog();
    void appendRow(const quarrow::LogEntry& entry);
    quarrow::CEventLog& log_;
    QTreeWidget* list_ = nullptr;
    int64_t shownUpTo_ = -1;
};

}  // namespace quarrow::ui
