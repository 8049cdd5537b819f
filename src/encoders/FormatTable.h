// The one table of output formats: a row per identifier 1..31 with its list entry, its
// extension rule, its settings section and options page, the driver that writes it and
// what that driver needs at run time. Everything else (the format list, the naming, the
// driver dispatch, the refusal before a rip) reads the rows; a new format is one driver
// file and one row here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "encoders/OutputFormat.h"

namespace quarrow {

struct CSettings;
class CEncoder;

// What a format needs beyond its driver.
enum class NeedKind { Nothing, Library, Program, Profile };

// Whether a format can be written here and, when it cannot, what is missing and where
// it was looked for.
struct FormatProbe {
    bool runnable = true;
    std::string missing;    // "the program mpcenc", "the Monkey's Audio library libMAC.so"
    std::string lookedIn;   // "/home/u/.local/share/Quarrow/External, /usr/bin, /bin"

    static FormatProbe Ok() { return {}; }
    static FormatProbe Missing(std::string what, std::string where) {
        return {false, std::move(what), std::move(where)};
    }
};

// What the probe of a row sees: the settings and the home folder (External/ lives there).
using FormatProbeFn = FormatProbe (*)(const CSettings& settings, const std::string& home);
// The extension of a row under the stored extension choices (".flac", ".aifc"...).
using FormatExtensionFn = std::string (*)(const CSettings& settings);
// Creates the driver for the row's identifier.
using EncoderFactory = std::unique_ptr<CEncoder> (*)(const CSettings& settings, int formatId);

struct FormatDescriptor {
    OutputFormatId id;
    const char* listEntry;          // the "Audio Format:" entry, " WAV    (Waveform Audio)"
    const char* extension;          // fixed extension, or null when extensionOf decides
    FormatExtensionFn extensionOf;  // null when the extension is fixed
    const char* section;            // settings section of its own values ("MP3", "OTHER")
    const char* pagePath;           // options page, "Encoder::MP3"; empty when it has none
    EncoderFactory make;            // null: no driver is built into this program
    NeedKind needs;
    const char* need;               // what it needs, by name ("libMAC.so", "mpcenc")
    FormatProbeFn probe;            // null: the driver and need above decide

    int Id() const { return static_cast<int>(id); }
};

// Every row in identifier order (row i is identifier i + 1).
const std::vector<FormatDescriptor>& FormatRows();
// The row of an identifier; null outside 1..31.
const FormatDescriptor* FindFormat(int id);

// The extension of a format under the settings; empty for an identifier outside 1..31
// or a choice outside a list.
std::string ExtensionOf(const CSettings& settings, int id);

// Whether the format can be written here (its driver is built in, its library loads,
// its program is found, its profile can be written).
FormatProbe ProbeFormat(const CSettings& settings, const std::string& home, int id);
// The refusal text: "Cannot rip to MPC: the program mpcenc was not found (looked in
// ...)". Empty when the probe is runnable.
std::string ProbeMessage(int id, const FormatProbe& probe);
// The warning shown when a format that cannot run here is chosen; empty when it can.
std::string ChoiceWarning(const CSettings& settings, const std::string& home, int id);

// Search helpers for probes: a program in home/External, then in PATH (the first of the
// names found, full path, or empty); a library by its loader name.
std::string FindProgram(const std::string& home, const std::vector<std::string>& names,
                        std::string* lookedIn = nullptr);
bool LibraryLoads(const std::string& name);

}  // namespace quarrow
