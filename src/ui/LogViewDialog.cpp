#include "ui/LogViewDialog.h"

#include <QHBoxLayout>
#include <algorithm>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/EventLog.h"
#include "app/LogView.h"

namespace quarrow::ui {

namespace {

QColor ToQColor(const LogColour& c) { return QColor(c.r, c.g, c.b); }

}  // namespace

LogViewDialog::LogViewDialog(CEventLog& log, QWidget* parent) : QDialog(parent), log_(log) {
    setWindowTitle(QStringLiteral("Log"));
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setUniformRowHeights(true);
    const auto columns = CLogView::Columns();
    QStringList headers;
    for (const LogViewColumn& c : columns) headers << QString::fromStdString(c.header);
    list_->setHeaderLabels(headers);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        list_->setColumnWidth(i, columns[i].width);
        if (columns[i].centred) list_->headerItem()->setTextAlignment(i, Qt::AlignCenter);
    }
    list_->setColumnHidden(0, true);
    list_->setStyleSheet(QStringLiteral("QTreeView { gridline-color: #c0c0c0; }"));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* clear = new QPushButton(QStringLiteral("&Clear"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::hide);
    connect(clear, &QPushButton::clicked, this, &LogViewDialog::clearLog);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(clear);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    resize(55 + 63 + CLogView::kDescriptionWidth + 40, 420);

    for (const LogEntry& e : log_.Entries()) {
        appendRow(e);
        shownUpTo_ = std::max<int64_t>(shownUpTo_, e.number);
    }
}

void LogViewDialog::addEntry(const LogEntry& entry) {
    // The list may hold the launch entry (number 0) after the first events, so only
    // numbers past the highest one listed are new.
    if (entry.number <= shownUpTo_) return;
    shownUpTo_ = entry.number;
    appendRow(entry);
}

void LogViewDialog::appendRow(const LogEntry& entry) {
    const LogViewRow row = CLogView::Row(entry);
    auto* item = new QTreeWidgetItem(list_);
    item->setText(1, QString::fromStdString(row.number));
    item->setText(2, QString::fromStdString(row.time));
    item->setText(3, QString::fromStdString(row.message));
    item->setToolTip(3, item->text(3));
    item->setTextAlignment(1, Qt::AlignCenter);
    item->setTextAlignment(2, Qt::AlignCenter);
    for (int c = 1; c <= 3; ++c) {
        item->setForeground(c, ToQColor(row.text));
        item->setBackground(c, ToQColor(row.background));
    }
    list_->scrollToItem(item);
    list_->setColumnWidth(3, CLogView::DescriptionWidth(static_cast<std::size_t>(list_->topLevelItemCount())));
}

void LogViewDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // Keys go back to the main window, also where no window manager hands the focus back.
    if (QWidget* w = parentWidget()) w->activateWindow();
}

void LogViewDialog::clearLog() {
    log_.Clear();
    list_->clear();
    list_->setColumnWidth(3, CLogView::kDescriptionWidth);
}

}  // namespace quarrow::ui
