#include "albuminfo/CDDBException.h"

#include <cstring>
#include <utility>

#include "app/EventLog.h"

namespace quarrow {

CCDDBException::CCDDBException(bool deviceError, uint32_t code, std::string argument,
                               std::string message)
    : std::runtime_error(message.empty() ? DefaultMessage(deviceError, code) : message),
      deviceError_(deviceError),
      code_(code),
      argument_(std::move(argument)) {}

std::string CCDDBException::DefaultMessage(bool deviceError, uint32_t code) {
    const uint32_t low = code & 0xFFFFu;
    if (deviceError) return "CD device error " + std::to_string(low);
    if (((code >> 16) & 0x1FFFu) == 4) {
        if (low == 513) return "The disc has no audio track";
        return "Album information error " + std::to_string(low);
    }
    if ((code >> 16) == 0) {
        switch (low) {
            case 515: return "The CDDB server gave no answer or no valid status";
            case 516: return "The CDDB server gave no answer or no list of matches";
            case 517: return "The CDDB server did not return a valid record";
            case 518: return "The CDDB server gave no answer or refused the submission";
            case 519: return "The CDDB server gave no message of the day";
            default: break;
        }
    }
    return std::strerror(static_cast<int>(low));
}

CCDDBException CCDDBException::Make(CEventLog* log, bool deviceError, uint32_t code,
                                    const std::string& argument, const std::string& message) {
    CCDDBException e(deviceError, code, argument, message);
    if (log) {
        std::string line = std::string("Warning: throwing CCDDBException for error ") + e.what();
        const auto cut = line.find_first_of("\r\n");
        if (cut != std::string::npos) line.resize(cut);
        log->Add(line, 1);
    }
    return e;
}

}  // namespace quarrow
