#include "ui/TipDialog.h"

#include "app/Settings.h"
#include "app/TipFile.h"
#include "ui/Icons.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace quarrow::ui {

TipDialog::TipDialog(quarrow::CSettings& settings, const std::string& tipsPath, QWidget* parent,
                     const std::string& homeFolder)
    : QDialog(parent), settings_(settings), homeFolder_(homeFolder),
      tips_(std::make_unique<quarrow::CTipFile>(tipsPath)) {
    setWindowTitle(tr("Tip of the Day"));
    setWindowIcon(QuarrowIcon("quarrow"));

    auto* icon = new QLabel(this);
    icon->setPixmap(QuarrowIcon("help").pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* heading = new QLabel(tr("<b>Did you know...</b>"), this);
    text_ = new QLabel(this);
    text_->setObjectName("tipText");
    text_->setWordWrap(true);
    text_->setTextFormat(Qt::PlainText);
    text_->setMinimumSize(360, 90);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* tipColumn = new QVBoxLayout;
    tipColumn->addWidget(heading);
    tipColumn->addWidget(text_, 1);
    auto* tipRow = new QHBoxLayout;
    tipRow->addWidget(icon);
    tipRow->addLayout(tipColumn, 1);

    startup_ = new QCheckBox(tr("&Show tips on startup"), this);
    startup_->setChecked(settings_.MISC.Tip != 0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* next = buttons->addButton(tr("&Next tip"), QDialogButtonBox::ActionRole);
    next->setObjectName("nextTip");
    connect(next, &QPushButton::clicked, this, &TipDialog::NextTip);
    connect(buttons, &QDialogButtonBox::accepted, this, &TipDialog::accept);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(startup_);
    bottom->addStretch(1);
    bottom->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tipRow, 1);
    layout->addLayout(bottom);

    NextTip();
}

TipDialog::~TipDialog() = default;

QString TipDialog::TipText() const { return text_->text(); }

bool TipDialog::ShowOnStartup() const { return startup_->isChecked(); }

void TipDialog::SetShowOnStartup(bool on) { startup_->setChecked(on); }

void TipDialog::NextTip() {
    const std::string tip = tips_->Next();
    // A file that cannot be rewound is a message of its own; a missing file shows its
    // text in place of a tip.
    if (tip == quarrow::CTipFile::kTrouble && isVisible())
        QMessageBox::warning(this, windowTitle(), QString::fromUtf8(tip.c_str()));
    text_->setText(QString::fromUtf8(tip.c_str()));
}

void TipDialog::accept() {
    settings_.MISC.Tip = startup_->isChecked() ? 1 : 0;
    if (!homeFolder_.empty()) {
        std::string error;
        if (!quarrow::SaveTipSetting(homeFolder_, settings_.MISC.Tip, &error))
            QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
    }
    QDialog::accept();
}

}  // namespace quarrow::ui
