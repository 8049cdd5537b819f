#include "rip/ReadingOptions.h"

#include <cerrno>
#include <cstdlib>

#include "app/Prompter.h"
#include "app/Settings.h"

namespace quarrow {

const char* const kRetriesRangeMessage = "Number of Retries must be an Integer between 0 and 1000!";

namespace {
constexpr int kProposals[5] = {0, 5, 10, 25, 50};
constexpr int kBlockSectors[5] = {64, 48, 16, 4, 1};

// The edit's integer: optional blanks, an optional sign, digits, optional blanks.
bool ParseCount(const std::string& text, long& value) {
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t') ++begin;
    if (*begin == '\0') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE) return false;
    while (*end == ' ' || *end == '\t') ++end;
    return *end == '\0';
}
}  // namespace

int ProposedRereads(int mode) { return mode >= 0 && mode < 5 ? kProposals[mode] : 0; }
int ReadBlockSectors(int mode) { return mode >= 0 && mode < 5 ? kBlockSectors[mode] : 1; }

const std::vector<std::string>& ReadModeCaptions() {
    static const std::vector<std::string> captions = {
        "Play Mode      (Digital CD Play)",
        "Burst Mode     (Fast Rip)",
        "Synch Mode     (Precision Rip)",
        "Secure Mode    (Precision Rip of Old and Very Used CD)",
        "Paranoid Mode  (Rip on Unreadable or Scratched CD)",
    };
    return captions;
}

const std::vector<std::string>& ErrorActionCaptions() {
    static const std::vector<std::string> captions = {"Stop", "Silence", "Cut"};
    return captions;
}

void CDiscReadingOptions::Open(const CSettings& s) {
    readMode = s.DISC.RipModePreset;
    errorAction = s.DISC.RipOnErrorAction;
    rereadText = std::to_string(s.DISC.GrabOnErrorRetries);
}

void CDiscReadingOptions::ChooseReadMode(int mode) {
    readMode = mode;
    rereadText = std::to_string(ProposedRereads(mode));
    modified = true;
}

void CDiscReadingOptions::ChooseErrorAction(int action) {
    errorAction = action;
    modified = true;
}

void CDiscReadingOptions::SetRereadText(const std::string& text) {
    rereadText = text;
    modified = true;
}

void CDiscReadingOptions::Reset(CSettings& s) {
    s.DISC.RipModePreset = 1;
    s.DISC.RipOnErrorAction = 0;
    s.DISC.GrabOnErrorRetries = 5;
    modified = true;
    Open(s);
}

bool CDiscReadingOptions::Apply(CSettings& s, bool busy, Prompter& prompter, int driveRereads) {
    if (busy) return false;
    long count = 0;
    if (!ParseCount(rereadText, count) || count < 0 || count > kMaxRereads) {
        prompter.Message(kRetriesRangeMessage, MessageIcon::None, "");
        rereadText = std::to_string(driveRereads);
        return false;
    }
    s.DISC.RipModePreset = static_cast<int16_t>(readMode);
    s.DISC.RipOnErrorAction = static_cast<int16_t>(errorAction);
    s.DISC.GrabOnErrorRetries = static_cast<int16_t>(count);
    modified = false;
    return true;
}

}  // namespace quarrow
