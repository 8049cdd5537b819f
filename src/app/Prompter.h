// Prompter: how the core asks the user something. The Qt window answers with dialogs,
// the command line with the terminal and flags, the tests with recorders that keep the
// exact texts the user would have seen.
#pragma once

#include <string>
#include <vector>

namespace quarrow {

enum class MessageIcon { None, Information, Warning, Error, Question };

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual void Message(const std::string& text, MessageIcon icon = MessageIcon::None,
                         const std::string& caption = "") = 0;
    // true for Yes
    virtual bool AskYesNo(const std::string& text, const std::string& caption = "") = 0;
    // Returns the chosen index, or -1 when the user cancels.
    virtual int PickOne(const std::string& caption, const std::vector<std::string>& choices) = 0;
    // Returns the chosen file name, or empty when cancelled.
    virtual std::string SaveFileName(const std::string& proposal, const std::string& filter) = 0;
};

// Records every prompt; answers from queued replies (defaults: yes, first choice).
class RecordingPrompter : public Prompter {
public:
    struct Prompt {
        std::string kind;   // "message", "yesno", "pick", "save"
        std::string text;
        MessageIcon icon = MessageIcon::None;
        std::vector<std::string> choices;
    };
    void Message(const std::string& text, MessageIcon icon, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    int PickOne(const std::string& caption, const std::vector<std::string>& choices) override;
    std::string SaveFileName(const std::string& proposal, const std::string& filter) override;

    std::vector<Prompt> prompts;
    std::vector<bool> yesNoReplies;   // consumed front first; yes when empty
    std::vector<int> pickReplies;     // consumed front first; 0 when empty
    std::vector<std::string> saveReplies;  // consumed front first; the proposal when empty
};

}  // namespace quarrow
