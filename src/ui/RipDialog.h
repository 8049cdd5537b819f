// RipDialog: the modal rip dialog. It runs one CRipSession for a CRipJob and shows what
// the session reports (captions, percentages, speeds, times, both progress bars, the
// visualisation); its buttons pause and resume, cancel, open the folder and finish. Once
// the job has finished, a worker looks the tracks up and the dialog lists each result.
#pragma once

#include <QDialog>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "rip/RipJob.h"
#include "rip/RipVerification.h"

class QComboBox;
class QLabel;
class QListWidget;
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
    // Each track's result line, then the summary, as the lookups give them.
    QListWidget* resultList() const { return results_; }
    // The after-rip verification; set once it has ended (after exec, whenever the job finished).
    std::optional<quarrow::RipVerificationResult> verification() const;
    const quarrow::CRipJob& job() const { return job_; }

public slots:
    void reject() override;   // the window's close box and Escape act as Cancel

private:
    friend class RipDialogView;
    void onPause();
    void onCancel();
    void onLog();
    void onPresetChosen(int index);
    void pump();
    void startVerification(bool stopped);
    void stopVerification();

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
    QListWidget* results_ = nullptr;

    // The lookups run on their own thread; Finish (or closing) stops them.
    quarrow::CdDrive* drive_ = nullptr;
    std::thread verifyThread_;
    std::atomic<bool> stopVerify_{false};
    bool verifyStarted_ = false;
    mutable std::mutex verifyMutex_;
    std::optional<quarrow::RipVerificationResult> verification_;
};

}  // namespace quarrow::ui
