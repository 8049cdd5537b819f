// CCDDBException: the error of the CDDB client and of reading the table of contents.
// Making one logs "Warning: throwing CCDDBException for error %s" before it is thrown.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quarrow {

class CEventLog;

class CCDDBException : public std::runtime_error {
public:
    // Protocol codes (no facility bits unless stated).
    static constexpr uint32_t kFacilityItf = 4u << 16;
    static constexpr uint32_t kNoAudioTrack = kFacilityItf | 513;  // ReadToc: no audio track
    static constexpr uint32_t kStatusFailed = 515;
    static constexpr uint32_t kQueryFailed = 516;
    static constexpr uint32_t kReadFailed = 517;
    static constexpr uint32_t kSubmitFailed = 518;
    static constexpr uint32_t kMotdFailed = 519;
    static constexpr uint32_t kFacilityWin32 = 7u << 16;           // platform (socket) errors

    CCDDBException(bool deviceError, uint32_t code, std::string argument, std::string message);

    bool deviceError() const { return deviceError_; }
    uint32_t code() const { return code_; }
    const std::string& argument() const { return argument_; }

    // Builds the exception, logs the warning line through log (when given) and returns it.
    // An empty message takes DefaultMessage.
    static CCDDBException Make(CEventLog* log, bool deviceError, uint32_t code,
                               const std::string& argument = "", const std::string& message = "");

    // The text of a code: the device's text, the protocol failure in words, or the
    // platform's message for the low 16 bits.
    static std::string DefaultMessage(bool deviceError, uint32_t code);

private:
    bool deviceError_;
    uint32_t code_;
    std::string argument_;
};

}  // namespace quarrow
