// QtPrompter: the core's questions and messages as Qt dialogs. Safe to call from any
// thread: the dialog always runs on the window's thread and the caller waits for it.
#pragma once

#include <string>
#include <vector>

#include "app/Prompter.h"

class QWidget;

namespace quarrow::ui {

class QtPrompter : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    void Message(const std::string& text, MessageIcon icon = MessageIcon::None,
                 const std::string& caption = "") override;
    bool AskYesNo(const std::string& text, const std::string& caption = "") override;
    int PickOne(const std::string& caption, const std::vector<std::string>& choices) override;
    std::string SaveFileName(const std::string& proposal, const std::string& filter) override;

private:
    QWidget* parent_;
};

}  // namespace quarrow::ui
