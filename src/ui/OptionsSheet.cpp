#include "ui/OptionsSheet.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quarrow::ui {

namespace {

PageList AllPages(const PageContext& context) {
    PageList pages = MakeGeneralPages(context);
    for (auto& p : MakeEncoderPages(context)) pages.push_back(std::move(p));
    return pages;
}

}  // namespace

OptionsSheet::OptionsSheet(CSettings& s, const PageContext& context, QWidget* parent)
    : OptionsSheet(s, AllPages(context), parent) {}

OptionsSheet::OptionsSheet(CSettings& s, PageList pages, QWidget* parent)
    : QDialog(parent), settings_(s), pages_(std::move(pages)) {
    setWindowTitle(QString::fromLatin1(kTitle));
    build();
    for (auto& p : pages_) p->load(settings_);
    showPage(0);
    tree_->setFocus();
}

void OptionsSheet::build() {
    tree_ = new QTreeWidget(this);
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setMinimumWidth(170);
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    stack_ = new QStackedWidget(this);
    caption_ = new QLabel(this);
    QFont bold = caption_->font();
    bold.setBold(true);
    caption_->setFont(bold);
    caption_->setFrameShape(QFrame::StyledPanel);
    caption_->setMargin(4);

    for (std::size_t i = 0; i < pages_.size(); ++i) {
        QTreeWidgetItem* item = itemFor(pages_[i]->path());
        item->setData(0, Qt::UserRole, static_cast<int>(i));
        items_.push_back(item);
        stack_->addWidget(pages_[i].get());
    }
    tree_->expandAll();
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item) return;
        // A level that has no page of its own shows its first page below it.
        while (!item->data(0, Qt::UserRole).isValid() && item->childCount() > 0) item = item->child(0);
        const QVariant index = item->data(0, Qt::UserRole);
        if (!index.isValid()) return;
        stack_->setCurrentIndex(index.toInt());
        caption_->setText(pages_[static_cast<std::size_t>(index.toInt())]->path());
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsSheet::reject);

    auto* right = new QVBoxLayout;
    right->addWidget(caption_);
    right->addWidget(stack_, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(tree_);
    top->addLayout(right, 1);
    auto* root = new QVBoxLayout(this);
    root->addLayout(top, 1);
    root->addWidget(buttons);
}

// The tree item of a path, made with every level above it that does not exist yet.
QTreeWidgetItem* OptionsSheet::itemFor(const QString& path) {
    QTreeWidgetItem* parent = nullptr;
    QTreeWidgetItem* found = nullptr;
    for (const QString& level : path.split(QStringLiteral("::"))) {
        found = nullptr;
        const int count = parent ? parent->childCount() : tree_->topLevelItemCount();
        for (int c = 0; c < count && !found; ++c) {
            QTreeWidgetItem* child = parent ? parent->child(c) : tree_->topLevelItem(c);
            if (child->text(0) == level) found = child;
        }
        if (!found) {
            found = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
            found->setText(0, level);
        }
        parent = found;
    }
    return found;
}

OptionsPage* OptionsSheet::page(int index) const {
    return index >= 0 && index < pageCount() ? pages_[static_cast<std::size_t>(index)].get() : nullptr;
}

int OptionsSheet::indexOf(const QString& path) const {
    for (int i = 0; i < pageCount(); ++i)
        if (pages_[static_cast<std::size_t>(i)]->path() == path) return i;
    return -1;
}

int OptionsSheet::currentIndex() const { return stack_->currentIndex(); }

QString OptionsSheet::caption() const { return caption_->text(); }

void OptionsSheet::showPage(int index) {
    if (index < 0 || index >= pageCount()) return;
    tree_->setCurrentItem(items_[static_cast<std::size_t>(index)]);
    // setCurrentItem does not signal when the item is current already.
    stack_->setCurrentIndex(index);
    caption_->setText(pages_[static_cast<std::size_t>(index)]->path());
}

void OptionsSheet::reloadOutputPages() {
    for (auto& p : pages_)
        if (p->path() == QLatin1String("Output") || p->path().startsWith(QLatin1String("Encoder")))
            p->load(settings_);
}

void OptionsSheet::accept() {
    for (int i = 0; i < pageCount(); ++i) {
        if (!pages_[static_cast<std::size_t>(i)]->apply(settings_)) {
            showPage(i);
            return;
        }
    }
    QDialog::accept();
}

void OptionsSheet::reject() {
    for (auto& p : pages_) p->cancel(settings_);
    QDialog::reject();
}

}  // namespace quarrow::ui
