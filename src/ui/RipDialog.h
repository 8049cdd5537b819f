// RipDialog: the modal rip dialog. It runs one CRipSession for a CRipJob and shows what
// the session reports (captions, percentages, speeds, times, both progress bars, the
// visualisation); its buttons pause and resume, cancel, open the folder and finish.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

#include "rip/RipJob.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quarrow {
struct MainContext;
class CRipSession;
}  // namespace quarrow

namespace quarrow::ui {

class VisualisationWidget;
class RipDialogView;

class RipDialog : public QDialog {
    Q_OBJECT
public:
    RipDialog(quarrow::MainContext& ctx, const std::string& home, quarrow::CRipJob job, QWidget* parent);
    ~RipDialog() override;

    // Runs the session; returns when the dialog has closed and every thread of the rip
    // has ended. Accepted when the job finished.
    int exec() override;
    // Every file of the job was written completely.
    bool allWritten() const;

    // For tests and screenshots.
    QPushButton* pauseButton() const { return pause_; }
    QPushButton* cancelButton() const { return cancel_; }
    QProgressBar* trackBar() const { return trackBar_; }
    QProgressBar* totalBar() const { return totalBar_; }
    QComboBox* presetList() const { return presets_; }
    VisualisationWidget* visualisation() const { return vis_; }

public slots:
    void reject() override;   // the window's close box and Escape act as Cancel

private:
    friend class RipDialogView;
    void onPause();
    void onCancel();
    void onLog();
    void onPresetChosen(int index);
    void pump();

    quarrow::MainContext& ctx_;
    std::string home_;
    quarrow::CRipJob job_;
    std::unique_ptr<RipDialogView> view_;
    std::unique_ptr<quarrow::CRipSession> session_;
    bool allWritten_ = false;
    bool closing_ = false;
    bool pumping_ = false;

    QLabel* fields_[12] = {};
    QPushButton* pause_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* log_ = nullptr;
    QComboBox* presets_ = nullptr;
    QProgressBar* trackBar_ = nullptr;
    QProgressBar* totalBar_ = nullptr;
    VisualisationWidget* vis_ = nullptr;
    QTimer* pumpTimer_ = nullptr;
};

}  // namespace quarrow::ui
