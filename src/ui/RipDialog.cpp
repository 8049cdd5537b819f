#include "ui/RipDialog.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "albuminfo/AlbumSteps.h"
#include "albuminfo/DiscRefresh.h"
#include "app/CdDrive.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "encoders/EncodeMp3.h"
#include "rip/RipSession.h"
#include "rip/Visualisation.h"
#include "ui/GuiThread.h"
#include "ui/LogViewDialog.h"
#include "ui/VisualisationWidget.h"

namespace quarrow::ui {

namespace {

// How often the window handles what the rip threads reported.
constexpr int kPumpMs = 15;

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// What the session shows. The session calls it on the thread that handles its messages
// (the window's); anything arriving from another thread is handed to the window's
// thread without waiting, and is dropped once the dialog is gone.
class RipDialogView : public RipView {
public:
    explicit RipDialogView(RipDialog* d) : d_(d) {}

    void SetText(RipField field, const std::string& text) override {
        Run([field, t = Q(text)](RipDialog& d) {
            switch (field) {
                case RipField::Caption: d.setWindowTitle(t); break;
                case RipField::PauseButton: d.pause_->setText(t); break;
                case RipField::CancelButton: d.cancel_->setText(t); break;
                default: d.fields_[static_cast<int>(field)]->setText(t); break;
            }
        });
    }
    void SetTrackBar(int percent) override {
        Run([percent](RipDialog& d) { d.trackBar_->setValue(percent); });
    }
    void SetTotalBar(int percent) override {
        Run([percent](RipDialog& d) { d.totalBar_->setValue(percent); });
    }
    void Enable(RipControl control, bool on) override {
        Run([control, on](RipDialog& d) {
            QWidget* w = control == RipControl::Pause ? static_cast<QWidget*>(d.pause_)
                         : control == RipControl::Cancel ? static_cast<QWidget*>(d.cancel_)
                                                          : static_cast<QWidget*>(d.presets_);
            w->setEnabled(on);
        });
    }
    void SelectPreset(int index) override {
        Run([index](RipDialog& d) {
            const QSignalBlocker block(d.presets_);
            d.presets_->setCurrentIndex(index);
            if (index > 0) d.vis_->setPreset(index - 1);
            else d.vis_->clear();
        });
    }
    void ShowVisual(const std::vector<int16_t>& samples) override {
        Run([samples](RipDialog& d) { d.vis_->showSamples(samples); });
    }
    void StopVisual() override {
        Run([](RipDialog& d) { d.vis_->clear(); });
    }
    void OpenFolder(const std::string& folder) override {
        Run([f = Q(folder)](RipDialog&) { QDesktopServices::openUrl(QUrl::fromLocalFile(f)); });
    }
    void Close() override {
        Run([](RipDialog& d) {
            d.closing_ = true;
            d.done(d.session_ && d.session_->Succeeded() ? QDialog::Accepted : QDialog::Rejected);
        });
    }

private:
    template <typename F>
    void Run(F fn) {
        QPointer<RipDialog> d = d_;
        RunOnGuiThread(
            [d, fn = std::move(fn)] {
                if (d) fn(*d);
            },
            false);
    }
    RipDialog* d_;
};

RipDialog::RipDialog(quarrow::MainContext& ctx, const std::string& home, quarrow::CRipJob job, QWidget* parent)
    : QDialog(parent), ctx_(ctx), home_(home), job_(std::move(job)), view_(std::make_unique<RipDialogView>(this)) {
    setSizeGripEnabled(true);   // a resizable dialog
    auto value = [this](RipField f, const char* text) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setMinimumWidth(64);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        fields_[static_cast<int>(f)] = l;
        return l;
    };
    auto label = [this](const char* text) { return new QLabel(QString::fromLatin1(text), this); };

    auto* grid = new QGridLayout;
    auto addProgress = [&](int row, const char* title, QProgressBar*& bar, RipField percent, RipField elapsed,
                           RipField remaining, RipField speed) {
        bar = new QProgressBar(this);
        bar->setRange(0, 100);
        bar->setTextVisible(false);
        grid->addWidget(label(title), row, 0, 1, 6);
        grid->addWidget(bar, row + 1, 0, 1, 6);
        grid->addWidget(label("Done:"), row + 2, 0);
        grid->addWidget(value(percent, "0.00%"), row + 2, 1);
        grid->addWidget(label("Elapsed:"), row + 2, 2);
        grid->addWidget(value(elapsed, "00:00:00"), row + 2, 3);
        grid->addWidget(label("ETA:"), row + 2, 4);
        grid->addWidget(value(remaining, "00:00:00"), row + 2, 5);
        grid->addWidget(label("Speed:"), row + 3, 0);
        grid->addWidget(value(speed, "0.00x"), row + 3, 1);
    };
    addProgress(0, "Track Progress", trackBar_, RipField::TrackPercent, RipField::TrackElapsed,
                RipField::TrackRemaining, RipField::TrackSpeed);
    addProgress(4, "Total Progress", totalBar_, RipField::TotalPercent, RipField::TotalElapsed,
                RipField::TotalRemaining, RipField::TotalSpeed);
    QLabel* status = value(RipField::StatusLine, "");
    status->setWordWrap(true);
    results_ = new QListWidget(this);
    results_->setVisible(false);

    vis_ = new VisualisationWidget(this);
    presets_ = new QComboBox(this);
    presets_->addItem(QStringLiteral("None"));
    for (int p = 0; p < CVisualisation::kPresetCount; ++p) presets_->addItem(Q(CVisualisation::PresetName(p)));
    auto* presetRow = new QHBoxLayout;
    presetRow->addWidget(label("Preset of Visualization:"));
    presetRow->addWidget(presets_, 1);

    pause_ = new QPushButton(QStringLiteral("Pause"), this);
    log_ = new QPushButton(QStringLiteral("Log"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    for (QPushButton* b : {pause_, log_, cancel_}) b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(pause_);
    buttons->addWidget(log_);
    buttons->addStretch(1);
    buttons->addWidget(cancel_);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addWidget(status);
    top->addWidget(results_);
    top->addWidget(vis_, 1);
    top->addLayout(presetRow);
    top->addLayout(buttons);
    resize(420, 460);

    connect(pause_, &QPushButton::clicked, this, &RipDialog::onPause);
    connect(cancel_, &QPushButton::clicked, this, &RipDialog::onCancel);
    connect(log_, &QPushButton::clicked, this, &RipDialog::onLog);
    connect(presets_, &QComboBox::currentIndexChanged, this, &RipDialog::onPresetChosen);
    connect(vis_, &VisualisationWidget::clicked, this, [this](int preset) {
        if (presets_->isEnabled()) presets_->setCurrentIndex(preset + 1);
    });
    pumpTimer_ = new QTimer(this);
    pumpTimer_->setInterval(kPumpMs);
    connect(pumpTimer_, &QTimer::timeout, this, &RipDialog::pump);
}

RipDialog::~RipDialog() {
    // A dialog destroyed without exec returning still ends every thread of its rip.
    stopVerification();
    session_.reset();
}

int RipDialog::exec() {
    CdDrive* drive = nullptr;
    try {
        drive = &ctx_.grabber.Drive();
    } catch (const std::exception& e) {
        ctx_.prompter.Message(e.what(), MessageIcon::Error, "");
        return Rejected;
    }
    // An MP3 job loads the encoder library first; without it nothing is written.
    const bool mp3 = ctx_.settings.OUTPUT.OutputFormat == 2;
    if (mp3 && !LoadLameForRip(ctx_.log, ctx_.prompter)) return Rejected;
    struct LameRelease {
        bool active;
        ~LameRelease() {
            if (active) ReleaseLameForRip();
        }
    } lameRelease{mp3};

    closing_ = false;
    allWritten_ = false;
    drive_ = drive;
    session_ = std::make_unique<CRipSession>(
        RipSessionDeps{ctx_.settings, ctx_.log, *drive, ctx_.album, ctx_.prompter, *view_, home_, {}}, job_);
    drive->SetListener(session_.get());
    session_->Start();
    pumpTimer_->start();
    const int result = QDialog::exec();
    pumpTimer_->stop();
    // Finish pressed before the lookups began: the log is still written, the lookups marked stopped.
    if (!verifyStarted_ && session_->Succeeded()) startVerification(true);
    stopVerification();
    allWritten_ = session_->Succeeded();
    session_.reset();   // every thread of the rip has ended here
    drive->SetListener(nullptr);
    return result;
}

bool RipDialog::allWritten() const { return allWritten_; }

void RipDialog::pump() {
    // A message box opened by a handler runs its own loop: the messages behind it wait.
    if (pumping_ || !session_) return;
    pumping_ = true;
    session_->ProcessMessages();
    pumping_ = false;
    if (!verifyStarted_ && session_->Result() == CRipSession::Outcome::Finished) startVerification(false);
}

void RipDialog::startVerification(bool stopped) {
    verifyStarted_ = true;
    stopVerify_ = stopped;
    results_->setVisible(true);
    RipVerificationInput in{session_->TrackResults(), session_->DiscResult(), session_->Job(), ctx_.album, home_,
                            HttpOptionsFromSettings(ctx_.settings, Services(ctx_).servers),
                            ctx_.settings.OUTPUT.WriteLog != 0};
    QPointer<RipDialog> self = this;
    auto show = [self](const std::string& line) {
        RunOnGuiThread([self, line = Q(line)] {
            if (self) self->results_->addItem(line);
        }, false);
    };
    verifyThread_ = std::thread([this, in = std::move(in), show] {
        RipVerificationResult r;
        try {
            r = VerifyRip(in, ctx_.settings, *drive_, ctx_.log, &stopVerify_,
                          [&](std::size_t, const std::string& line) { show(line); });
            show(r.summary);
            if (!r.logPath.empty()) show("Rip log: " + r.logPath);
            if (!r.logError.empty()) show("Error: " + r.logError);
        } catch (const std::exception& e) {
            show(std::string("Error: the rip could not be verified: ") + e.what());
        }
        std::lock_guard<std::mutex> lock(verifyMutex_);
        verification_ = std::move(r);
    });
}

void RipDialog::stopVerification() {
    stopVerify_ = true;
    if (verifyThread_.joinable()) verifyThread_.join();
}

std::optional<RipVerificationResult> RipDialog::verification() const {
    std::lock_guard<std::mutex> lock(verifyMutex_);
    return verification_;
}

void RipDialog::onPause() {
    if (session_ && !pumping_) session_->OnPauseButton();
}

void RipDialog::onCancel() {
    if (!session_ || closing_) {
        closing_ = true;
        QDialog::reject();
        return;
    }
    if (!pumping_) session_->OnCancel();
}

void RipDialog::reject() { onCancel(); }

void RipDialog::onPresetChosen(int index) {
    if (!session_) return;
    session_->OnVisualPresetChange(index);
    if (index > 0) vis_->setPreset(index - 1);
}

void RipDialog::onLog() {
    // The event log as it stands; the window's own log view follows it live.
    LogViewDialog view(ctx_.log, this);
    view.exec();
}

}  // namespace quarrow::ui
