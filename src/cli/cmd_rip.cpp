// `rip`: runs one of the five rip commands on the disc as the main window would, then
// either prints the job it builds (--plan, which reads no audio and writes nothing) or
// runs it. A single output file that exists is replaced only when the user says so.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <filesystem>
#include <optional>
#include <sstream>

#include "albuminfo/TrackList.h"
#include "app/SectorRange.h"
#include "cli/Cli.h"
#include "cli/RipRunner.h"
#include "encoders/OutputFormat.h"
#include "rip/CueSheet.h"
#include "rip/Naming.h"
#include "rip/RipCommands.h"
#include "rip/RipJob.h"

namespace quarrow::cli {

namespace {

constexpr int kUsageError = 64;

const char* kRipUsage =
    "rip [--plan] (--selected N | --checked LIST | --all | --image | --range START-END) "
    "[--single FILE] [--overwrite] [--format ID|NAME] [--json] [--yes] [--no-checksums]";

bool ParseInt(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return end && *end == '\0' && errno == 0;
}

// "1,3,5-7": 1-based row numbers; false with a message naming the bad part.
bool ParseRowList(const std::string& text, std::size_t rows, std::vector<bool>& out, std::string& error) {
    out.assign(rows, false);
    std::stringstream ss(text);
    std::string part;
    bool any = false;
    while (std::getline(ss, part, ',')) {
        long first = 0, last = 0;
        std::size_t dash = part.find('-', 1);
        bool ok = dash == std::string::npos ? ParseInt(part, first) && (last = first, true)
                                            : ParseInt(part.substr(0, dash), first) &&
                                                  ParseInt(part.substr(dash + 1), last);
        if (!ok || first < 1 || last < first || static_cast<std::size_t>(last) > rows) {
            error = "--checked: \"" + part + "\" is not a track number or range within 1-" + std::to_string(rows);
            return false;
        }
        for (long i = first; i <= last; ++i) out[static_cast<std::size_t>(i - 1)] = true;
        any = true;
    }
    if (!any) {
        error = "--checked needs a list of track numbers such as 1,3,5-7";
        return false;
    }
    return true;
}

std::string EntryDestination(const CliApp& app, const CRipJob& job, const RipJobEntry& e) {
    if (job.singleOutput) return job.outputPath;
    return BuildTrackPath(app.settings, app.main->album, e.track).path;
}

void PrintPlanJson(std::ostream& out, const CliApp& app, const CRipJob& job) {
    Json entries = Json::array();
    for (const RipJobEntry& e : job.entries)
        entries.push_back({{"session", e.session}, {"track", e.track}, {"length", e.length},
                           {"cumulative_end", e.cumulativeEnd}, {"destination", EntryDestination(app, job, e)}});
    PrintJson(out, {{"mode", job.mode}, {"single_output", job.singleOutput}, {"first_track", job.firstTrack},
                    {"last_track", job.lastTrack}, {"start_offset", job.startOffset}, {"end_offset", job.endOffset},
                    {"output_path", job.outputPath}, {"entries", entries}});
}

void PrintText(std::ostream& out, const CliApp& app, const CRipJob& job) {
    out << "Rip plan: " << RipCommandText(job.mode).name << " (mode " << job.mode << "), "
        << (job.singleOutput ? "one output file" : "one file per track") << "\n";
    if (job.singleOutput) out << "Output file: " << TerminalText(job.outputPath) << "\n";
    out << "First track: " << job.firstTrack << "  Last track: " << job.lastTrack
        << "  Start offset: " << job.startOffset << "  End offset: " << job.endOffset << "\n";
    // Sessions and tracks counted from 1 here, as the track list shows them.
    out << "Session  Track  Length      Cumulative end  Destination\n";
    for (const RipJobEntry& e : job.entries) {
        char line[96];
        std::snprintf(line, sizeof line, "%7u  %5u  %10d  %14d  ", e.session + 1u, e.track + 1u, e.length,
                      e.cumulativeEnd);
        out << line << TerminalText(EntryDestination(app, job, e)) << "\n";
    }
}

// An output file must be one regular file in a folder that exists or can be made: "DIR/"
// would otherwise become the hidden file "DIR/.wav", and a device such as /dev/full would
// get a file beside it.
bool CheckOutputPath(const std::string& path, std::string& error) {
    const std::string name = FileNameOf(path);
    struct stat st {};
    if (name.empty() || name == "." || name == "..") {
        error = "\"" + path + "\" names a folder, not a file";
        return false;
    }
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = "\"" + path + "\" is " + (S_ISDIR(st.st_mode) ? "a folder" : "not a regular file");
        return false;
    }
    // Up to the nearest folder that exists; missing folders below it are made by the rip.
    std::string folder = path;
    for (bool missing = false;; missing = true) {
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        folder = FolderOf(folder);
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        const std::string f = folder.empty() ? "." : folder;
        if (::stat(f.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                error = "the folder of \"" + path + "\" cannot be made: \"" + f + "\" is not a folder";
                return false;
            }
            if (missing && ::access(f.c_str(), W_OK | X_OK) != 0) {
                error = "the folder of \"" + path + "\" cannot be made in \"" + f + "\": " + std::strerror(errno);
                return false;
            }
            return true;
        }
        if ((errno != ENOENT && errno != ENOTDIR) || folder.empty() || folder == "/") {
            error = "the folder of \"" + path + "\" cannot be used: " + std::strerror(errno);
            return false;
        }
    }
}

int RunRip(CliApp& app, std::vector<std::string>& args) {
    const bool plan = TakeFlag(args, "--plan");
    const bool json = TakeFlag(args, "--json") || app.json;
    if (TakeFlag(args, "--yes")) app.prompter.assumeYes = true;
    const bool overwrite = TakeFlag(args, "--overwrite");
    // The checksums of the audio as read cost little; switching them off measures how little.
    const bool checksums = !TakeFlag(args, "--no-checksums");
    std::string selected, checked, range, single;
    const bool hasSelected = TakeOption(args, "--selected", selected);
    const bool hasChecked = TakeOption(args, "--checked", checked);
    const bool hasRange = TakeOption(args, "--range", range);
    const bool hasSingle = TakeOption(args, "--single", single);
    const bool all = TakeFlag(args, "--all");
    const bool image = TakeFlag(args, "--image");
    std::string format;
    const bool hasFormat = TakeOption(args, "--format", format);
    if (!args.empty()) {
        std::cerr << "error: rip does not know \"" << args[0] << "\"\nusage: " << kRipUsage << "\n";
        return kUsageError;
    }
    int formatId = 0;
    if (hasFormat && (formatId = ParseOutputFormatId(format)) == 0) {
        std::cerr << "error: --format needs a format number or name, not \"" << format << "\"\n";
        return kUsageError;
    }
    const int modes = hasSelected + hasChecked + hasRange + all + image;
    if (modes != 1) {
        std::cerr << "error: rip needs exactly one of --selected, --checked, --all, --image, --range\n"
                  << "usage: " << kRipUsage << "\n";
        return kUsageError;
    }
    long selectedRow = 0, rangeStart = 0, rangeEnd = 0;
    if (hasSelected && !ParseInt(selected, selectedRow)) {
        std::cerr << "error: --selected needs a track number, not \"" << selected << "\"\n";
        return kUsageError;
    }
    if (hasRange) {
        std::size_t dash = range.find('-', 1);
        if (dash == std::string::npos || !ParseInt(range.substr(0, dash), rangeStart) ||
            !ParseInt(range.substr(dash + 1), rangeEnd)) {
            std::cerr << "error: --range needs START-END in sectors, not \"" << range << "\"\n";
            return kUsageError;
        }
    }
    if (hasSingle) {
        std::string error;
        if (single.empty()) error = "--single needs a file name";
        if (!error.empty() || !CheckOutputPath(single, error)) {
            std::cerr << "error: " << error << "\n";
            return kUsageError;
        }
        app.prompter.saveName = single;
    }

    Refresh(app);
    MainContext& ctx = *app.main;
    RipCommandHooks hooks;
    // A plan writes nothing, not even the folder the save-file question opens in.
    hooks.createFolders = !plan;
    hooks.home = app.home;
    // The command line never plays, so only the range dialog needs an answer. The dialog
    // would clamp a typed sector; here a range outside the disc or reversed is refused.
    std::string rangeError;
    hooks.chooseRange = [&](CSectorRange& r) {
        if (rangeStart < r.rangeMin || rangeEnd > r.rangeMax || rangeStart > rangeEnd) {
            rangeError = "--range " + range + " is not within the disc's sectors " + std::to_string(r.rangeMin) +
                         "-" + std::to_string(r.rangeMax) + " (START-END, START not after END)";
            return false;
        }
        r.UpdateStart(static_cast<int32_t>(rangeStart));
        r.UpdateEnd(static_cast<int32_t>(rangeEnd));
        return true;
    };

    // --single asks for one output file; checked and all tracks need SingleOpt for that,
    // and --format picks the format: both for this run only (the settings file keeps its values).
    struct Restore {
        CSettings& s;
        int32_t singleOpt;
        int16_t format;
        ~Restore() {
            s.OUTPUT.SingleOpt = singleOpt;
            s.OUTPUT.OutputFormat = format;
        }
    } restore{app.settings, app.settings.OUTPUT.SingleOpt, app.settings.OUTPUT.OutputFormat};
    if (formatId) app.settings.OUTPUT.OutputFormat = static_cast<int16_t>(formatId);
    if (hasSingle && (hasChecked || all)) app.settings.OUTPUT.SingleOpt = 1;

    std::optional<CRipJob> job;
    if (hasSelected) {
        int row = selectedRow >= 1 && selectedRow <= static_cast<long>(ctx.rows.size())
                      ? static_cast<int>(selectedRow - 1)
                      : -1;
        if (row < 0 && !ctx.rows.empty()) {
            std::cerr << "error: --selected " << selected << " is not a track number within 1-" << ctx.rows.size()
                      << "\n";
            return kUsageError;
        }
        job = OnRipSelected(ctx, row, hooks);
    } else if (hasChecked) {
        std::vector<bool> marks;
        std::string error;
        if (!ParseRowList(checked, ctx.rows.size(), marks, error)) {
            std::cerr << "error: " << error << "\n";
            return kUsageError;
        }
        // Each listed row is checked as a click on its box would: a data track is refused.
        for (std::size_t i = 0; i < ctx.rows.size(); ++i) SetRowChecked(ctx, static_cast<int>(i), marks[i]);
        job = OnRipChecked(ctx, hooks);
    } else if (all) {
        job = OnRipAll(ctx, hooks);
    } else if (hasRange) {
        job = OnRipSectorRange(ctx, hooks);
    } else {
        job = OnRipDiscImage(ctx, hooks);
    }
    if (!rangeError.empty()) {
        std::cerr << "error: " << rangeError << "\n";
        return kUsageError;
    }
    if (!job) return 1;
    job->singleOutput = CRipJob::IsSingleOutput(job->mode, app.settings.OUTPUT.SingleOpt != 0);

    // The one output file and its cue sheet: what the save-file dialog's overwrite prompt
    // guards in the window.
    if (job->singleOutput) {
        std::vector<std::string> outputs{job->outputPath};
        if (WantsCueSheet(*job, app.settings)) outputs.push_back(CueSheetPath(job->outputPath));
        for (const std::string& path : outputs) {
            std::string error;
            if (!CheckOutputPath(path, error)) {
                std::cerr << "error: " << TerminalText(error) << "\n";
                return kUsageError;
            }
            std::error_code ec;
            if (plan || !std::filesystem::exists(path, ec) || overwrite ||
                app.prompter.AskYesNo("\"" + path + "\" already exists. Replace it?"))
                continue;
            std::cerr << "error: not replacing \"" << TerminalText(path)
                      << "\"; pass --overwrite (or --yes) to replace it\n";
            return 1;
        }
    }
    // The rip start-up derives the single-output flag from SingleOpt again.
    if (!plan) return RunRipJob(app, std::move(*job), checksums);

    if (json) PrintPlanJson(std::cout, app, *job);
    else PrintText(std::cout, app, *job);
    return 0;
}

CommandRegistrar ripCommand({"rip", std::string(kRipUsage), true, RunRip, false, StartRefreshPlain});

}  // namespace

}  // namespace quarrow::cli
