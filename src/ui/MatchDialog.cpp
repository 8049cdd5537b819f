#include "ui/MatchDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QTextDocument>
#include <QVBoxLayout>

namespace quarrow::ui {

MatchDialog::MatchDialog(const std::vector<Row>& rows, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kCaption));
    list_ = new QTreeWidget(this);
    list_->setColumnCount(4);
    list_->setHeaderLabels({QStringLiteral("DiscID"), QStringLiteral("Album"), QStringLiteral("Artist"),
                            QStringLiteral("Genre")});
    const int widths[4] = {60, 210, 120, 80};
    for (int c = 0; c < 4; ++c) list_->setColumnWidth(c, widths[c]);
    // The disc ID is never cut: eight digits in the font in use.
    list_->setColumnWidth(0, std::max(widths[0], list_->fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 16));
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (const Row& row : rows) {
        auto* item = new QTreeWidgetItem(list_);
        for (int c = 0; c < 4; ++c) {
            // Texts from a server: shown as they are, never as markup.
            const QString text = QString::fromStdString(row[static_cast<std::size_t>(c)]);
            item->setText(c, text);
            item->setToolTip(c, Qt::mightBeRichText(text) ? "<span>" + text.toHtmlEscaped() + "</span>" : text);
        }
    }
    if (QTreeWidgetItem* first = list_->topLevelItem(0)) {
        list_->setCurrentItem(first);
        first->setSelected(true);
    }
    list_->setFocus();
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const int row = list_->indexOfTopLevelItem(item);
        if (row >= 0) finish(row, true);
    });
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &MatchDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &MatchDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons_);
    resize(520, 240);
}

void MatchDialog::accept() {
    // The last selected row when several are selected; the current one when none is.
    int row = -1;
    for (int r = 0; r < list_->topLevelItemCount(); ++r)
        if (list_->topLevelItem(r)->isSelected()) row = r;
    if (row < 0) row = std::max(0, list_->indexOfTopLevelItem(list_->currentItem()));
    finish(row, true);
}

void MatchDialog::reject() {
    if (answered_) QDialog::done(ok_ ? QDialog::Accepted : QDialog::Rejected);
    else finish(0, false);
}

void MatchDialog::endRead() {
    if (answered_) QDialog::done(ok_ ? QDialog::Accepted : QDialog::Rejected);
}

void MatchDialog::finish(int row, bool ok) {
    if (answered_) return;   // a second click while the read runs
    answered_ = true;
    ok_ = ok;
    chosen_ = row;
    setWindowTitle(QString::fromLatin1(kBusyCaption));
    buttons_->setEnabled(false);
    if (onChosen_) onChosen_(ok ? row : -1);
    else QDialog::done(ok ? QDialog::Accepted : QDialog::Rejected);
}

std::vector<MatchDialog::Row> MatchRows(const std::vector<std::string>& lines,
                                        const std::vector<MatchDialog::Row>& matchColumns) {
    std::vector<MatchDialog::Row> rows;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (matchColumns.size() == lines.size()) {
            const auto& m = matchColumns[i];
            if (m[0] + "  " + m[1] + "  " + m[2] + "  " + m[3] == line) {
                rows.push_back(m);
                continue;
            }
        }
        MatchDialog::Row row;
        std::size_t a = line.find("  ");
        std::size_t c = line.rfind("  ");
        if (a == std::string::npos) {
            row[1] = line;
        } else {
            row[0] = line.substr(0, a);
            row[3] = c > a ? line.substr(c + 2) : std::string();
            const std::string middle = c > a ? line.substr(a + 2, c - a - 2) : line.substr(a + 2);
            const std::size_t b = middle.find("  ");
            row[1] = middle.substr(0, b);
            if (b != std::string::npos) row[2] = middle.substr(b + 2);
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace quarrow::ui
