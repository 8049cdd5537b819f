// The MP3 driver: fills the configuration record of the LAME encoder library from the
// MP3 settings, loads the library when a rip job starts and encodes each file through
// its entry points, writing the bytes itself and the Info/VBR header at the end.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "encoders/Encoder.h"
#include "encoders/LameEncoderLibrary.h"

namespace quarrow {

class CEventLog;
class Prompter;

// The 331-byte configuration record for the settings' coding mode (MP3/LameTab).
std::array<uint8_t, kLameConfigSize> BuildLameConfig(const CSettings& settings);

// Rip set-up of an MP3 job: loads the library at path and keeps it for the job's files.
// On failure logs and shows "Error loading lame_enc.dll" / "Unable to get LAME
// interfaces" (with the loader's own reason in a second log line) and returns false:
// the rip must not start.
bool LoadLameForRip(CEventLog& log, Prompter& prompter,
                    const std::string& path = LameEncoderLibrary::kDefaultPath);
// Drops the job's library (streams still open keep it loaded until they close).
void ReleaseLameForRip();

// The driver of identifier 2. Uses the library loaded by LoadLameForRip; when the rip
// set-up did not load one, the driver loads the default itself and posts the same
// texts as errors if that fails.
std::unique_ptr<CEncoder> MakeMp3Encoder(const CSettings& settings, int formatId);
// The driver over a given library and entry points (a library may lack the optional
// beWriteInfoTag).
std::unique_ptr<CEncoder> MakeMp3EncoderWith(const CSettings& settings,
                                             std::shared_ptr<LameEncoderLibrary> library,
                                             const LameEntryPoints& entryPoints);

}  // namespace quarrow
