#include "ui/SectorRangeDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <limits>

#include "app/SectorRange.h"

namespace quarrow::ui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

SectorRangeDialog::SectorRangeDialog(CSectorRange& range, QWidget* parent) : QDialog(parent), range_(range) {
    setWindowTitle("Select Sector Range");
    auto* layout = new QVBoxLayout(this);
    for (QLabel*& l : labels_) l = new QLabel(this);

    // One side: its slider, its track and offset, its typed sector with Update.
    auto side = [&](const QString& title, QSlider*& slider, QLineEdit*& edit, QPushButton*& update, QLabel* track,
                    QLabel* offset) {
        auto* box = new QGroupBox(title, this);
        auto* grid = new QGridLayout(box);
        slider = new QSlider(Qt::Horizontal, box);
        slider->setRange(range_.rangeMin, range_.rangeMax);
        slider->setSingleStep(1);
        slider->setPageStep(75);
        edit = new QLineEdit(box);
        edit->setValidator(new QIntValidator(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), edit));
        update = new QPushButton("Update", box);
        update->setAutoDefault(false);
        grid->addWidget(slider, 0, 0, 1, 4);
        grid->addWidget(track, 1, 0);
        grid->addWidget(offset, 1, 1);
        grid->addWidget(edit, 1, 2);
        grid->addWidget(update, 1, 3);
        layout->addWidget(box);
    };
    side("Start Sector", startSlider_, startEdit_, updateStart_, labels_[0], labels_[1]);
    side("End Sector", endSlider_, endEdit_, updateEnd_, labels_[2], labels_[3]);
    auto* totals = new QHBoxLayout;
    totals->addWidget(labels_[4]);
    totals->addWidget(labels_[5]);
    layout->addLayout(totals);
    auto* hint = new QPlainTextEdit(Q(range_.hint).replace("\r\n", "\n"), this);
    hint->setReadOnly(true);
    hint->setMaximumHeight(60);
    hint->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(hint);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(startSlider_, &QSlider::valueChanged, this, [this](int p) {
        if (showing_) return;
        range_.MoveStart(p);
        show_();
    });
    connect(endSlider_, &QSlider::valueChanged, this, [this](int p) {
        if (showing_) return;
        range_.MoveEnd(p);
        show_();
    });
    connect(updateStart_, &QPushButton::clicked, this, [this] { update(true); });
    connect(updateEnd_, &QPushButton::clicked, this, [this] { update(false); });
    // Return in an edit box updates its side instead of closing the dialog.
    connect(startEdit_, &QLineEdit::returnPressed, this, [this] { update(true); });
    connect(endEdit_, &QLineEdit::returnPressed, this, [this] { update(false); });
    show_();
    startSlider_->setFocus();
}

void SectorRangeDialog::update(bool start) {
    QLineEdit* edit = start ? startEdit_ : endEdit_;
    bool ok = false;
    const int typed = edit->text().toInt(&ok);
    if (!ok) {
        show_();   // what cannot be read as a sector gives way to the side's position
        return;
    }
    if (start)
        range_.UpdateStart(typed);
    else
        range_.UpdateEnd(typed);
    show_();
}

void SectorRangeDialog::show_() {
    showing_ = true;
    startSlider_->setValue(range_.startPosition);
    endSlider_->setValue(range_.endPosition);
    startEdit_->setText(QString::number(range_.startSector));
    endEdit_->setText(QString::number(range_.endSector));
    const std::string texts[6] = {range_.startTrackText, range_.startOffsetText, range_.endTrackText,
                                  range_.endOffsetText,  range_.totalLengthText, range_.totalSectorsText};
    for (int i = 0; i < 6; ++i) labels_[i]->setText(Q(texts[i]));
    showing_ = false;
}

QStringList SectorRangeDialog::labelTexts() const {
    QStringList out;
    for (QLabel* l : labels_) out << l->text();
    return out;
}

}  // namespace quarrow::ui
