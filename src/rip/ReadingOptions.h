// The model of the "Driver" options page: read mode, reread attempts on read or synch
// errors, and the action on a sector that stays unreadable. Choosing a read mode
// proposes a reread count; Apply checks the count's range.
#pragma once

#include <string>
#include <vector>

namespace quarrow {

struct CSettings;
class Prompter;

constexpr int kMaxRereads = 1000;
extern const char* const kRetriesRangeMessage;

// The reread count a read mode proposes (0 Play ... 50 Paranoid); 0 outside 0..4.
int ProposedRereads(int readMode);
// Sectors read per block in a rip for a read mode (64 Play ... 1 Paranoid); 1 outside.
int ReadBlockSectors(int readMode);

// Radio button captions of the page.
const std::vector<std::string>& ReadModeCaptions();
const std::vector<std::string>& ErrorActionCaptions();

class CDiscReadingOptions {
public:
    // Opening: the three settings into the page's fields.
    void Open(const CSettings& s);
    // A read mode radio button: mode and the proposed reread count.
    void ChooseReadMode(int mode);
    void ChooseErrorAction(int action);
    // The reread edit as the user types it.
    void SetRereadText(const std::string& text);
    // "Reset": the settings themselves become Burst, Stop and 5 rereads; the page
    // re-opens to show them.
    void Reset(CSettings& s);
    // Apply: refused while busy (false, nothing changes). A count outside 0..1000 or
    // not a number shows the range message, puts the drive's current count back into
    // the edit and fails.
    bool Apply(CSettings& s, bool busy, Prompter& prompter, int driveRereads);

    int readMode = 1;
    int errorAction = 0;
    std::string rereadText = "5";
    bool modified = false;
};

}  // namespace quarrow
