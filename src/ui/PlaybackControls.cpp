#include "ui/PlaybackControls.h"

#include <QLabel>
#include <QMetaObject>
#include <QSlider>

#include "albuminfo/DiscRefresh.h"
#include "albuminfo/TrackList.h"
#include "app/EventLog.h"
#include "app/Settings.h"
#include "ui/VisualisationWidget.h"

namespace quarrow::ui {

PlaybackControls::PlaybackControls(MainContext& ctx, const SoundOutput& sound, Widgets widgets,
                                   std::function<bool()> refreshing, std::function<void()> rowsChanged,
                                   QObject* parent)
    : QObject(parent),
      ctx_(ctx),
      w_(widgets),
      refreshing_(std::move(refreshing)),
      rowsChanged_(std::move(rowsChanged)),
      playback_(std::make_unique<CPlayback>(ctx, sound, *this)) {
    // A drag seeks when the slider is let go; a click beside the handle or a key seeks at once.
    connect(w_.position, &QSlider::sliderReleased, this, [this] { seekTo(w_.position->value()); });
    connect(w_.position, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction)
            QMetaObject::invokeMethod(this, [this] { seekTo(w_.position->value()); }, Qt::QueuedConnection);
    });
    auto volumeTip = [this](int v) {
        ctx_.settings.OUTPUT.Volume = static_cast<int16_t>(v);
        w_.volume->setToolTip(QStringLiteral("Volume: %1").arg(v));
    };
    connect(w_.volume, &QSlider::valueChanged, this, volumeTip);
    volumeTip(w_.volume->value());
    connect(w_.vis, &VisualisationWidget::clicked, this, [this](int preset) {
        ctx_.settings.MISC.Visualization = static_cast<int16_t>(preset);
        ctx_.log.Add("Set audio visualization preset " + std::to_string(preset + 1) + ".");
    });
    applyPreset(ctx_.settings.MISC.Visualization);
}

PlaybackControls::~PlaybackControls() {
    playback_->StopPlayback();
}

void PlaybackControls::applyPreset(int preset) {
    preset = ((preset % 8) + 8) % 8;
    ctx_.settings.MISC.Visualization = static_cast<int16_t>(preset);
    w_.vis->setPreset(preset);
}

void PlaybackControls::afterCommand() {
    w_.position->setEnabled(playback_->isPlaying());
    if (rowsChanged_) rowsChanged_();
}

// A drive that lost its disc under a command fails it; the window logs that and goes on.
void PlaybackControls::run(const std::function<void(CPlayback&)>& command) {
    if (refreshing_()) return;
    try {
        command(*playback_);
    } catch (const std::exception& e) {
        ctx_.log.Add(std::string("Error: playback command failed: ") + e.what(), 1);
    }
    afterCommand();
}

void PlaybackControls::play() { run([](CPlayback& p) { p.Play(); }); }
void PlaybackControls::playSelected(int row) { run([row](CPlayback& p) { p.PlaySelected(row); }); }
void PlaybackControls::pauseResume() { run([](CPlayback& p) { p.PauseResume(); }); }
void PlaybackControls::stop() { run([](CPlayback& p) { p.StopPlayback(); }); }
void PlaybackControls::previous() { run([](CPlayback& p) { p.Previous(); }); }
void PlaybackControls::next() { run([](CPlayback& p) { p.Next(); }); }
void PlaybackControls::first() { run([](CPlayback& p) { p.First(); }); }
void PlaybackControls::last() { run([](CPlayback& p) { p.Last(); }); }

void PlaybackControls::seekTo(int position) {
    std::string elapsed;
    const int shown = playback_->Seek(position, &elapsed);
    if (shown != position) {
        const QSignalBlocker block(w_.position);
        w_.position->setValue(shown);
    }
    if (!elapsed.empty()) w_.elapsed->setText(QString::fromStdString(elapsed));
}

// Both arrive on the playback threads: the window's widgets and rows are touched on its own.
void PlaybackControls::OnPlaybackStatus(const std::string& text, int kind) {
    QMetaObject::invokeMethod(this, [this, text, kind] {
        OnStatusMessage(ctx_, text, kind);
        afterCommand();
    }, Qt::QueuedConnection);
}

void PlaybackControls::OnPlaybackProgress(const std::vector<int16_t>& samples, int chunkCounter) {
    QMetaObject::invokeMethod(this, [this, samples, chunkCounter] {
        if (samples.empty()) {
            w_.vis->clear();
            w_.position->setEnabled(playback_->isPlaying());
            return;
        }
        w_.vis->showSamples(samples);
        int slider = 0;
        std::string elapsed;
        if (!w_.position->isSliderDown() && playback_->ProgressDisplay(chunkCounter, slider, elapsed)) {
            const QSignalBlocker block(w_.position);
            w_.position->setValue(slider);
            w_.elapsed->setText(QString::fromStdString(elapsed));
        }
    }, Qt::QueuedConnection);
}

}  // namespace quarrow::ui
