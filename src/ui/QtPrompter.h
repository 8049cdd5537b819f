// QtPrompter: the core's questions and messages as Qt dialogs. Safe to call from any
// thread: the dialog always runs on the window's thread and the caller waits for it.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "app/Prompter.h"

class QDialog;
class QWidget;

namespace quarrow::ui {

class MatchDialog;

class QtPrompter : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    // The window is closing: a choice asked from now on is answered "cancel" at once, and an
    // open match dialog is cancelled, so a worker waiting for it can end and be joined.
    void SetClosing();
    // Whether a choice dialog is open now (its event loop is on the window thread's stack).
    bool ChoiceOpen() const { return openChoice_ != nullptr; }
    // The lookup's read of the chosen match has ended: the match dialog, kept up with its
    // busy caption since the choice, closes. Window thread.
    void EndMatchRead();

    void Message(const std::string& text, MessageIcon icon = MessageIcon::None,
                 const std::string& caption = "") override;
    bool AskYesNo(const std::string& text, const std::string& caption = "") override;
    int PickOne(const std::string& caption, const std::vector<std::string>& choices) override;
    std::string SaveFileName(const std::string& proposal, const std::string& filter) override;

private:
    // The match dialog: the worker gets its answer as soon as a row is chosen, while the
    // dialog stays up until EndMatchRead.
    int PickMatch(const std::vector<std::string>& choices);

    QWidget* parent_;
    std::atomic<bool> closing_{false};
    QDialog* openChoice_ = nullptr;   // window thread only
    MatchDialog* busyMatch_ = nullptr;   // window thread only
};

}  // namespace quarrow::ui
