#include "app/Prompter.h"

namespace quarrow {

void RecordingPrompter::Message(const std::string& text, MessageIcon icon, const std::string&) {
    prompts.push_back({"message", text, icon, {}});
}

bool RecordingPrompter::AskYesNo(const std::string& text, const std::string&) {
    prompts.push_back({"yesno", text, MessageIcon::Question, {}});
    if (yesNoReplies.empty()) return true;
    bool r = yesNoReplies.front();
    yesNoReplies.erase(yesNoReplies.begin());
    return r;
}

int RecordingPrompter::PickOne(const std::string& caption, const std::vector<std::string>& choices) {
    prompts.push_back({"pick", caption, MessageIcon::None, choices});
    if (pickReplies.empty()) return choices.empty() ? -1 : 0;
    int r = pickReplies.front();
    pickReplies.erase(pickReplies.begin());
    return r;
}

std::string RecordingPrompter::SaveFileName(const std::string& proposal, const std::string& filter) {
    prompts.push_back({"save", proposal, MessageIcon::None, {filter}});
    if (saveReplies.empty()) return proposal;
    std::string r = saveReplies.front();
    saveReplies.erase(saveReplies.begin());
    return r;
}

}  // namespace quarrow
