// The drivers that feed outside encoder programs: AAC (FAAC, Nero, CT AAC+, or the
// library's own AAC encoder when none is installed), Musepack and the user-customised
// encoder, with the command lines each program is given and the canonical WAV header.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/Settings.h"
#include "encoders/ChildProcess.h"
#include "encoders/Encoder.h"

namespace quarrow {

// The 44-byte header announcing dataBytes of 16-bit 44100 Hz stereo PCM.
std::string CanonicalWavHeader(uint32_t dataBytes);

// The option text of each AAC program, blanks as the program has always been given them.
std::string FaacOptions(const CSettings::Aac& a);
std::string NeroOptions(const CSettings::Aac& a);
std::string CtAacOptions(const CSettings::Aac& a);

// The encoder command line of AAC/Encoder (0 FAAC, 1 Nero, 2 CT AAC+); tagging is
// OUTPUT/FillTag.
CommandLine AacCommandLine(const CSettings::Aac& a, const std::string& program, bool tagging,
                           const TagValues& tags, const std::string& outputPath);
CommandLine AacTaggerCommandLine(const std::string& tagger, const std::string& file, const TagValues& tags);
// quality: MPC/Quality (tenths).
CommandLine MpcCommandLine(const std::string& program, int quality, bool tagging, const TagValues& tags,
                           const std::string& outputPath);
// The customised encoder's line: its program, then the parameter template with every
// placeholder replaced; inputFile stands for "%iwf%" (input mode 2) or "%irf%" (3).
CommandLine CustomCommandLine(const CSettings::Custom& c, const TagValues& tags, const std::string& outputPath,
                              const std::string& inputFile);

// The drivers of identifiers 10, 11 and 31 (31 with input mode 2 or 3 writes the
// temporary file through the container driver and then runs the program on it).
std::unique_ptr<CEncoder> MakeAacEncoder(const CSettings& settings, int formatId);
std::unique_ptr<CEncoder> MakeMpcEncoder(const CSettings& settings, int formatId);
std::unique_ptr<CEncoder> MakeCustomEncoder(const CSettings& settings, int formatId);

}  // namespace quarrow
