// The FreeDB server test as a window: the test runs on its own thread with a client of its
// own; each step's text appears as it arrives, under the step's caption ("Testing..." or
// "Error"). Stop (or closing the window) stops the test and joins its thread.
#pragma once

#include <QDialog>

#include "albuminfo/FreeDBPages.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quarrow::ui {

class ServerTestDialog : public QDialog {
    Q_OBJECT
public:
    explicit ServerTestDialog(QWidget* parent = nullptr);
    ~ServerTestDialog() override;

    // Starts the test (the playback question first when isPlaying says so); false when it
    // did not start.
    bool start(quarrow::ServerTestSetup setup, quarrow::Prompter* prompter, quarrow::CEventLog* log,
               std::function<bool()> isPlaying = {}, std::function<void()> stopPlayback = {});
    void stop();
    bool running() const { return test_.Running(); }

    QString text() const;
    int lastStep() const { return lastStep_; }

signals:
    // A step's text has been shown.
    void stepShown(int step);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showStep(int step, const QString& text);

    quarrow::FreeDBServerTest test_;
    QLabel* caption_;
    QPlainTextEdit* text_;
    QPushButton* stop_;
    int lastStep_ = -1;
};

}  // namespace quarrow::ui
