// PlaybackControls: the main window's side of playback. It runs the transport commands on
// the core's CPlayback, brings the playback threads' status and progress to the GUI thread
// (Status column, position slider, elapsed time, visualisation), seeks from the position
// slider, keeps Volume from the volume slider and applies the visualisation presets.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

#include "rip/Playback.h"

class QLabel;
class QSlider;

namespace quarrow {
struct MainContext;
}

namespace quarrow::ui {

class VisualisationWidget;

class PlaybackControls : public QObject, public quarrow::PlaybackListener {
    Q_OBJECT
public:
    struct Widgets {
        QSlider* position = nullptr;
        QSlider* volume = nullptr;
        QLabel* elapsed = nullptr;
        VisualisationWidget* vis = nullptr;
    };
    // rowsChanged: the Status column changed or another row became current.
    PlaybackControls(quarrow::MainContext& ctx, const quarrow::SoundOutput& sound, Widgets widgets,
                     std::function<bool()> refreshing, std::function<void()> rowsChanged, QObject* parent = nullptr);
    ~PlaybackControls() override;

    void play();
    void playSelected(int row);   // the context menu's Play and the double-click's
    void pauseResume();
    void stop();
    void previous();
    void next();
    void first();
    void last();
    // Menu items Preset 1-8 (0-7) and the saved preset at start.
    void applyPreset(int preset);

    bool isPlaying() const { return playback_->isPlaying(); }
    quarrow::CPlayback& playback() { return *playback_; }

    // PlaybackListener, on the playback threads.
    void OnPlaybackStatus(const std::string& text, int kind) override;
    void OnPlaybackProgress(const std::vector<int16_t>& samples, int chunkCounter) override;

private:
    void seekTo(int position);
    void afterCommand();
    void run(const std::function<void(quarrow::CPlayback&)>& command);

    quarrow::MainContext& ctx_;
    Widgets w_;
    std::function<bool()> refreshing_;
    std::function<void()> rowsChanged_;
    std::unique_ptr<quarrow::CPlayback> playback_;
};

}  // namespace quarrow::ui
