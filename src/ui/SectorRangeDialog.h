// The "Select Sector Range" dialog over an opened CSectorRange: two sliders that can
// never cross, typed sectors taken by the Update buttons (clamped, never refused), the
// track and offset of each side and the totals. OK leaves the chosen range in the model.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace quarrow {
class CSectorRange;
}

namespace quarrow::ui {

class SectorRangeDialog : public QDialog {
    Q_OBJECT
public:
    SectorRangeDialog(quarrow::CSectorRange& range, QWidget* parent = nullptr);

    QSlider* startSlider() const { return startSlider_; }
    QSlider* endSlider() const { return endSlider_; }
    QLineEdit* startEdit() const { return startEdit_; }
    QLineEdit* endEdit() const { return endEdit_; }
    QPushButton* updateStartButton() const { return updateStart_; }
    QPushButton* updateEndButton() const { return updateEnd_; }
    // The label texts, top to bottom: start track, start offset, end track, end offset,
    // total length, total sectors.
    QStringList labelTexts() const;

private:
    void show_();
    void update(bool start);

    quarrow::CSectorRange& range_;
    QSlider* startSlider_;
    QSlider* endSlider_;
    QLineEdit* startEdit_;
    QLineEdit* endEdit_;
    QPushButton* updateStart_;
    QPushButton* updateEnd_;
    QLabel* labels_[6];
    bool showing_ = false;
};

}  // namespace quarrow::ui
