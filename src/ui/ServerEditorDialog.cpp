#include "ui/ServerEditorDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace quarrow::ui {

ServerEditorDialog::ServerEditorDialog(const FreeDBServerEditor& editor, bool newEntry, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(FreeDBServerEditor::kCaption));
    host_ = new QLineEdit(QString::fromStdString(editor.host), this);
    host_->setMinimumWidth(260);
    port_ = new QSpinBox(this);
    port_->setRange(1, 65535);
    port_->setValue(editor.port);
    timeout_ = new QSpinBox(this);
    timeout_->setRange(1, 3600000);
    timeout_->setValue(editor.timeout);
    level_ = new QComboBox(this);
    for (const std::string& item : FreeDBServerEditor::LevelItems()) level_->addItem(QString::fromStdString(item));
    level_->setCurrentIndex(editor.levelIndex);

    auto* grid = new QGridLayout(this);
    auto add = [&](int row, const char* text, QWidget* field, const char* after = nullptr) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        if (after) grid->addWidget(new QLabel(QString::fromLatin1(after), this), row, 2);
    };
    add(0, "Site URL:", host_);
    add(1, "Port:", port_);
    add(2, "Timeout:", timeout_, "milliseconds");
    add(3, "Protocol Level:", level_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, 4, 0, 1, 3);
    if (newEntry) host_->setFocus();
}

FreeDBServerEditor ServerEditorDialog::editor() const {
    FreeDBServerEditor e;
    e.host = host_->text().trimmed().toStdString();
    e.port = port_->value();
    e.timeout = timeout_->value();
    e.levelIndex = level_->currentIndex();
    return e;
}

}  // namespace quarrow::ui
