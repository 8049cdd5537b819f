#include "encoders/EncodeExternal.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "encoders/AvWriter.h"
#include "encoders/FormatTable.h"

namespace quarrow {

namespace {

std::string Fmt(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Fmt(const char* format, int value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void PutLE(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The name a program writes while the file is incomplete: a hidden sibling that keeps
// the extension, since programs choose their container by it.
std::string WorkingNameOf(const std::string& outputPath) {
    const auto slash = outputPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : outputPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return folder + "." + name + ".part";
    return folder + "." + name.substr(0, dot) + ".part" + name.substr(dot);
}

std::string WithExtension(const std::string& path, const std::string& ext) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
    return path.substr(0, dot) + ext;
}

void Remove(const std::string& path) {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove(path, ec);
}

bool Rename(EncodeContext& ctx, const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    if (ec) ctx.PostMessage("Error : could not write file : " + to + " (" + ec.message() + ")", Severity::Error);
    return !ec;
}

std::string ProgramName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string Trim(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// Runs a program to its end (a tagger, or the customised encoder on a finished file).
// false with the error posted when it cannot start, fails, or the rip is cancelled.
bool RunToEnd(EncodeContext& ctx, const CommandLine& line, const ChildProcess::OutputSink& sink) {
    ChildProcess child;
    std::string error;
    if (!child.Start(line.Argv(), sink, error)) {
        ctx.PostMessage("Error: " + error, Severity::Error);
        return false;
    }
    child.CloseInput();
    if (!child.Wait([&ctx] { return !ctx.IsAborted(); })) {
        child.Stop();
        return false;
    }
    if (!child.Succeeded()) {
        const std::string tail = child.OutputTail();
        ctx.PostMessage("Error: " + ProgramName(line.Argv()[0]) + " " + DescribeExit(child.WaitStatus()) +
                            (tail.empty() ? "" : ": " + tail), Severity::Error);
        return false;
    }
    return true;
}

// Appends the customised program's console output to External.log in the home folder
// (created when missing, never truncated), unless the rip has been cancelled.
ChildProcess::OutputSink ExternalLogSink(EncodeContext& ctx, bool detail) {
    if (!detail) return {};
    const std::string log = ctx.HomeFolder() + "/External.log";
    return [&ctx, log](std::string_view text) {
        if (ctx.IsAborted()) return;
        if (std::FILE* f = std::fopen(log.c_str(), "ab")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    };
}

// Replaces the customised template's placeholders; values never split.
void ExpandTemplate(CommandLine& line, const std::string& text, const TagValues& t, const std::string& outputPath,
                    int inputMode, const std::string& inputFile) {
    struct Placeholder {
        const char* name;
        const std::string* value;
        bool quoted;
    };
    const Placeholder table[] = {
        {"%title%", &t.title, true},           {"%album%", &t.album, true},
        {"%tracknumber%", &t.trackNumber, false}, {"%totaltracks%", &t.totalTracks, false},
        {"%year%", &t.year, false},            {"%genre%", &t.genre, true},
        {"%artist%", &t.artist, true},         {"%of%", &outputPath, true},
        {inputMode == 2 ? "%iwf%" : inputMode == 3 ? "%irf%" : nullptr, &inputFile, true},
    };
    std::string literal;
    for (std::size_t i = 0; i < text.size();) {
        const Placeholder* hit = nullptr;
        if (text[i] == '%') {
            for (const Placeholder& p : table)
                if (p.name && text.compare(i, std::char_traits<char>::length(p.name), p.name) == 0) hit = &p;
        }
        if (!hit) {
            literal += text[i++];
            continue;
        }
        line.Text(literal);
        literal.clear();
        if (hit->quoted) line.Quoted(*hit->value);
        else line.Value(*hit->value);
        i += std::char_traits<char>::length(hit->name);
    }
    line.Text(literal);
}

}  // namespace

std::string CanonicalWavHeader(uint32_t dataBytes) {
    std::string h = "RIFF";
    PutLE(h, dataBytes + 36, 4);
    h += "WAVEfmt ";
    PutLE(h, 16, 4);
    PutLE(h, 1, 2);
    PutLE(h, 2, 2);
    PutLE(h, 44100, 4);
    PutLE(h, 176400, 4);
    PutLE(h, 4, 2);
    PutLE(h, 16, 2);
    h += "data";
    PutLE(h, dataBytes, 4);
    return h;
}

std::string FaacOptions(const CSettings::Aac& a) {
    std::string o = a.FAACEncMode == 0 ? " -q " + Fmt(" %d ", a.FAACQuality) : " -b " + Fmt(" %d ", a.FAACAbr);
    if (a.FAACTns) o += " --tns ";
    if (a.FAACMidside == 0) o += " --no-midside ";
    o += a.MPEGVer == 0 ? " --mpeg-vers 2 " : " --mpeg-vers 4 ";
    if (a.FAACObjType == 1) o += " --obj-type Main ";
    if (a.FAACObjType == 2) o += " --obj-type LTP ";
    if (a.FAACBlkType == 1) o += " --shortctl 1 ";
    if (a.FAACBlkType == 2) o += " --shortctl 2 ";
    if (a.ContainerFormat != 2) o += " -w ";
    return o;
}

std::string NeroOptions(const CSettings::Aac& a) {
    std::string o = " -q " + Fmt(" %f ", a.NEROQuality * 0.01);
    if (a.NEROEncMode == 1) o = " -br " + Fmt(" %d ", a.NEROAbr);
    if (a.NEROEncMode == 2) o = " -cbr " + Fmt(" %d ", a.NEROEncCbr);
    static const char* const kProfiles[] = {"", " -lc ", " -he ", " -hev2 "};
    if (a.NEROForPro >= 1 && a.NEROForPro <= 3) o += kProfiles[a.NEROForPro];
    return o + "-ignorelength";
}

std::string CtAacOptions(const CSettings::Aac& a) {
    std::string o = " --br " + Fmt(" %d ", a.CTCbr);
    if (a.CTPs) o += " --ps ";
    if (a.CTIs) o += " --is ";
    if (a.CTMono) o += " --mono ";
    if (a.CTSpeech) o += " --speech ";
    if (a.CTPns) o += " --pns ";
    static const char* const kProfiles[] = {"", " --lc ", " --he ", " --high"};
    if (a.CTForPro >= 1 && a.CTForPro <= 3) o += kProfiles[a.CTForPro];
    if (a.ContainerFormat != 2) o += " --mp4 ";
    return o;
}

CommandLine AacCommandLine(const CSettings::Aac& a, const std::string& program, bool tagging, const TagValues& t,
                           const std::string& outputPath) {
    CommandLine line;
    line.Value(program);
    if (a.Encoder == 1) {
        line.Text(" " + NeroOptions(a) + " -of ").Quoted(outputPath).Text(" -if - ");
    } else if (a.Encoder == 2) {
        line.Text(" - ").Quoted(outputPath).Text(" " + CtAacOptions(a));
    } else if (!tagging || a.ContainerFormat == 2) {
        line.Text(" " + FaacOptions(a) + "  -o ").Quoted(outputPath).Text("  - ");
    } else {
        line.Text(" " + FaacOptions(a) + " --artist ").Quoted(t.artist);
        line.Text(" --title ").Quoted(t.title).Text(" --year ").Quoted(t.year);
        line.Text(" --album ").Quoted(t.album).Text(" --genre ").Quoted(t.genre);
        line.Text(" --track \"").Value(t.trackNumber).Text("/").Value(t.totalTracks).Text("\"");
        line.Text("  --comment ").Quoted(t.comment).Text(" -o ").Quoted(outputPath).Text("  - ");
    }
    return line;
}

CommandLine AacTaggerCommandLine(const std::string& tagger, const std::string& file, const TagValues& t) {
    CommandLine line;
    line.Quoted(tagger).Text(" ").Quoted(file);
    const std::pair<const char*, const std::string*> fields[] = {
        {"artist", &t.artist}, {"title", &t.title}, {"year", &t.year}, {"album", &t.album},
        {"genre", &t.genre}, {"track", &t.trackNumber}, {"totaltracks", &t.totalTracks}, {"comment", &t.comment}};
    for (const auto& [key, value] : fields) line.Text(std::string(" -meta:") + key + "=").Quoted(*value);
    return line.Text(" ");
}

CommandLine MpcCommandLine(const std::string& program, int quality, bool tagging, const TagValues& t,
                           const std::string& outputPath) {
    CommandLine line;
    line.Value(program).Text(" --quality " + Fmt("%3.2f", quality * 0.1) + " --overwrite");
    if (tagging) {
        line.Text(" --artist ").Quoted(t.artist).Text(" --album ").Quoted(t.album);
        line.Text(" --title ").Quoted(t.title);
        line.Text(" " + (t.trackNumber.empty() ? std::string() : " --track " + t.trackNumber) + "  --year ");
        line.Quoted(t.year).Text(" --genre ").Quoted(t.genre).Text(" --comment ").Quoted(t.comment);
    }
    return line.Text(" - ").Quoted(outputPath);
}

CommandLine CustomCommandLine(const CSettings::Custom& c, const TagValues& tags, const std::string& outputPath,
                              const std::string& inputFile) {
    CommandLine line;
    line.Quoted(c.Encoder).Text(" ");
    ExpandTemplate(line, c.Parameter, tags, outputPath, c.Input, inputFile);
    return line;
}

namespace {

// A driver that writes the rip's PCM into a program's standard input. The program
// writes a hidden working name that is renamed to the output once it has succeeded.
class ProgramEncoder : public CEncoder {
protected:
    // Fills line for the program, posting its own error when it cannot.
    virtual bool Prepare(EncodeContext& ctx, const std::string& workingPath, CommandLine& line) = 0;
    virtual const char* EarlyExitText() const = 0;
    virtual bool SendsHeader() const { return true; }
    virtual ChildProcess::OutputSink Sink(EncodeContext&) { return {}; }
    // Runs after the program succeeded, on the working file (the AAC tagger).
    virtual bool PostStep(EncodeContext&, const std::string&) { return true; }
    // Whether the program is told the output name (the customised template may not).
    virtual bool NamesOutput() const { return true; }

    bool UsesTemporaryName() const override { return false; }

    bool Open(EncodeContext& ctx, const std::string& path, const std::string&) override {
        if (ctx.floatPath || ctx.mono) {
            ctx.PostMessage("Error: outside encoders take 16-bit stereo samples", Severity::Error);
            return false;
        }
        working_ = WorkingNameOf(path);
        Remove(working_);
        CommandLine line;
        if (!Prepare(ctx, working_, line)) return false;
        ctx.PostMessage("Launch External Encoder...", Severity::Status);
        ctx.PostMessage(line.Display(), Severity::Status);
        const std::vector<std::string> argv = line.Argv();
        program_ = argv.empty() ? std::string() : ProgramName(argv[0]);
        std::string error;
        if (!child_.Start(argv, Sink(ctx), error)) {
            ctx.PostMessage("Error: " + error, Severity::Error);
            return false;
        }
        if (!SendsHeader()) return true;
        const double units = ctx.singleOutput ? ctx.JobLength() : ctx.TrackLength();
        const double bytes = std::clamp(units * 2.0, 0.0, double(std::numeric_limits<uint32_t>::max() - 36));
        const std::string header = CanonicalWavHeader(static_cast<uint32_t>(bytes));
        announced_ = header.size() + static_cast<uint64_t>(bytes);
        return Feed(ctx, header.data(), header.size());
    }

    bool WriteShort(EncodeContext& ctx, const int16_t* samples, std::size_t count) override {
        return Feed(ctx, samples, count * sizeof(int16_t));
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        if (complete) {
            child_.CloseInput();
            if (child_.Wait([&ctx] { return !ctx.IsAborted(); })) {
                if (child_.Succeeded()) return true;
                ReportExit(ctx, nullptr);
            }
        }
        child_.Stop();
        Remove(working_);
        return false;
    }

    bool AfterFinish(EncodeContext& ctx, const std::string& path) override {
        if (!PostStep(ctx, working_)) {
            Remove(working_);
            return false;
        }
        std::error_code ec;
        if (!std::filesystem::exists(working_, ec)) {
            if (!NamesOutput()) return true;
            ctx.PostMessage("Error: " + program_ + " wrote no file " + path, Severity::Error);
            return false;
        }
        if (!Rename(ctx, working_, path)) {
            Remove(working_);
            return false;
        }
        return true;
    }

    // The program's early end: the driver's own text, then how the program ended.
    void ReportExit(EncodeContext& ctx, const char* text) {
        if (text) ctx.PostMessage(text, Severity::Error);
        child_.Stop();
        const std::string tail = child_.OutputTail();
        ctx.PostMessage("Error: " + program_ + " " + DescribeExit(child_.WaitStatus()) +
                            (tail.empty() ? "" : ": " + tail), Severity::Error);
    }

    ChildProcess child_;
    std::string working_;
    std::string program_;

private:
    uint64_t announced_ = 0;   // header and data bytes the WAV header announced
    uint64_t fed_ = 0;

    bool Feed(EncodeContext& ctx, const void* data, std::size_t size) {
        std::string error;
        switch (child_.Write(data, size, [&ctx] { return ctx.IsRunning(); }, error)) {
        case ChildProcess::WriteResult::Written:
            fed_ += size;
            // A program that read all the header announced may finish before the input
            // is closed; only an end before that is early.
            if (!child_.HasEnded() || (child_.Succeeded() && announced_ && fed_ >= announced_)) return true;
            [[fallthrough]];
        case ChildProcess::WriteResult::ChildEnded:
            ReportExit(ctx, EarlyExitText());
            return false;
        case ChildProcess::WriteResult::Stopped:
            return false;
        case ChildProcess::WriteResult::Failed:
            ctx.PostMessage("Error: " + error, Severity::Error);
            return false;
        }
        return false;
    }
};

// ------------------------------------------------------------------------------------
// AAC

// The bit rate the library's encoder is given for the page's settings: the rate chosen,
// or for a quality setting the rate the program's scale gives about there.
int64_t BuiltInAacBitRate(const CSettings::Aac& a) {
    int64_t rate;
    if (a.Encoder == 1) {
        rate = a.NEROEncMode == 1 ? a.NEROAbr : a.NEROEncMode == 2 ? a.NEROEncCbr : 16000 + a.NEROQuality * 3040;
    } else if (a.Encoder == 2) {
        rate = a.CTCbr;
    } else {
        rate = a.FAACEncMode == 0 ? 128000LL * a.FAACQuality / 100 : a.FAACAbr * 1000LL;
    }
    return std::clamp<int64_t>(rate, 16000, 320000);
}

const char* BuiltInAacContainer(int container) {
    static const char* const kMuxers[] = {"3g2", "3gp", "adts", "mp4", "mp4", "mp4", "mp4"};
    return container >= 0 && container <= 6 ? kMuxers[container] : "mp4";
}

class AacEncoder : public ProgramEncoder {
public:
    explicit AacEncoder(const CSettings& s) : settings_(s) {}

protected:
    bool Prepare(EncodeContext& ctx, const std::string& workingPath, CommandLine& line) override {
        line = AacCommandLine(settings_.AAC, program_, settings_.OUTPUT.FillTag != 0, ctx.Tags(finalPath_),
                              workingPath);
        return true;
    }
    const char* EarlyExitText() const override { return "The AAC encoder terminated unexpectedly."; }

    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        finalPath_ = finalPath;
        static const std::vector<std::string> kPrograms[] = {
            {"faac"}, {"neroAacEnc", "neroaacenc"}, {"enc_aacplus"}};
        const int encoder = std::clamp<int>(settings_.AAC.Encoder, 0, 2);
        program_ = FindProgram(ctx.HomeFolder(), kPrograms[encoder]);
        if (!program_.empty()) return ProgramEncoder::Open(ctx, path, finalPath);

        // None of the programs is here: the library's own AAC encoder writes the file.
        if (ctx.floatPath || ctx.mono) {
            ctx.PostMessage("Error: the AAC encoder takes 16-bit stereo samples", Severity::Error);
            return false;
        }
        AvTarget target;
        target.codec = "aac";
        target.container = BuiltInAacContainer(settings_.AAC.ContainerFormat);
        target.bitRate = BuiltInAacBitRate(settings_.AAC);
        target.channels = encoder == 2 && settings_.AAC.CTMono ? 1 : 2;
        AvTags tags;
        if (settings_.OUTPUT.FillTag && settings_.AAC.ContainerFormat != 2) {
            const TagValues t = ctx.Tags(finalPath);
            const std::string track = Trim(t.trackNumber);
            tags = {{"title", t.title}, {"artist", t.artist}, {"album", t.album}, {"date", t.year},
                    {"genre", t.genre}, {"track", track.empty() ? "" : track + "/" + Trim(t.totalTracks)},
                    {"comment", t.comment}};
        }
        builtIn_ = true;
        working_ = WorkingNameOf(path);
        program_ = "the built-in AAC encoder";
        ctx.PostMessage(kPrograms[encoder][0] + " not found in " + ctx.HomeFolder() +
                            "/External or on PATH: encoding with the built-in AAC encoder at " +
                            std::to_string(target.bitRate / 1000) + " kbps", Severity::Status);
        std::string error;
        if (!writer_.Open(working_, target, tags, error)) {
            ctx.PostMessage("Error: " + error, Severity::Error);
            Remove(working_);
            return false;
        }
        return true;
    }

    bool WriteShort(EncodeContext& ctx, const int16_t* samples, std::size_t count) override {
        if (!builtIn_) return ProgramEncoder::WriteShort(ctx, samples, count);
        std::string error;
        if (writer_.Write(samples, count / 2, error)) return true;
        ctx.PostMessage("Error: " + error, Severity::Error);
        return false;
    }

    bool Finish(EncodeContext& ctx, bool complete) override {
        if (!builtIn_) return ProgramEncoder::Finish(ctx, complete);
        std::string error;
        if (complete && writer_.Finish(error)) return true;
        writer_.Abandon();
        if (complete) ctx.PostMessage("Error: " + error, Severity::Error);
        Remove(working_);
        return false;
    }

    bool PostStep(EncodeContext& ctx, const std::string& working) override {
        const CSettings::Aac& a = settings_.AAC;
        if (builtIn_ || !settings_.OUTPUT.FillTag || a.ContainerFormat == 2 || a.Encoder == 0) return true;
        const std::string tagger = FindProgram(ctx.HomeFolder(), {"neroAacTag", "neroaactag"});
        if (tagger.empty()) {
            ctx.PostMessage("Error: the AAC tagger neroAacTag was not found in " + ctx.HomeFolder() +
                                "/External or on PATH", Severity::Error);
            return false;
        }
        // The tagger knows these containers only by their ".3gp" and ".mp4" names.
        const char* alias = a.ContainerFormat == 0 ? ".3gp" : (a.ContainerFormat == 4 || a.ContainerFormat == 5) ? ".mp4" : nullptr;
        const std::string tagged = alias ? WithExtension(working, alias) : working;
        if (alias && !Rename(ctx, working, tagged)) return false;
        const CommandLine line = AacTaggerCommandLine(tagger, tagged, ctx.Tags(finalPath_));
        ctx.PostMessage(line.Display(), Severity::Error);
        const bool ok = RunToEnd(ctx, line, {});
        if (alias && !Rename(ctx, tagged, working)) {
            Remove(tagged);
            return false;
        }
        return ok;
    }

private:
    CSettings settings_;
    std::string finalPath_;
    bool builtIn_ = false;
    AvWriter writer_;
};

// ------------------------------------------------------------------------------------
// Musepack

class MpcEncoder : public ProgramEncoder {
public:
    explicit MpcEncoder(const CSettings& s) : settings_(s) {}

protected:
    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        finalPath_ = finalPath;
        return ProgramEncoder::Open(ctx, path, finalPath);
    }
    bool Prepare(EncodeContext& ctx, const std::string& workingPath, CommandLine& line) override {
        const std::string program = FindProgram(ctx.HomeFolder(), {"mppenc", "mpcenc"});
        if (program.empty()) {
            ctx.PostMessage("Error: the MPC encoder (mppenc or mpcenc) was not found in " + ctx.HomeFolder() +
                                "/External or on PATH", Severity::Error);
            return false;
        }
        line = MpcCommandLine(program, settings_.MPC.Quality, settings_.OUTPUT.FillTag != 0, ctx.Tags(finalPath_),
                              workingPath);
        return true;
    }
    const char* EarlyExitText() const override { return "The MPC encoder terminated unexpectedly."; }

private:
    CSettings settings_;
    std::string finalPath_;
};

// ------------------------------------------------------------------------------------
// The customised encoder

class CustomEncoder : public ProgramEncoder {
public:
    explicit CustomEncoder(const CSettings& s) : settings_(s) {}

protected:
    bool Open(EncodeContext& ctx, const std::string& path, const std::string& finalPath) override {
        finalPath_ = finalPath;
        return ProgramEncoder::Open(ctx, path, finalPath);
    }
    bool Prepare(EncodeContext& ctx, const std::string& workingPath, CommandLine& line) override {
        line = CustomCommandLine(settings_.CUSTOM, ctx.Tags(finalPath_), workingPath, std::string());
        return true;
    }
    const char* EarlyExitText() const override { return "The customized encoder terminated unexpectedly."; }
    bool SendsHeader() const override { return settings_.CUSTOM.Input == 0; }
    bool NamesOutput() const override { return settings_.CUSTOM.Parameter.find("%of%") != std::string::npos; }
    ChildProcess::OutputSink Sink(EncodeContext& ctx) override {
        return ExternalLogSink(ctx, settings_.CUSTOM.Detail != 0);
    }

private:
    CSettings settings_;
    std::string finalPath_;
};

// Input modes 2 and 3: the container driver has written and closed the temporary file;
// the program now encodes it, with Pause refused while it runs.
bool RunCustomOnTemporaryFile(EncodeContext& ctx, const std::string& temporaryFile, const std::string& outputPath) {
    const CSettings::Custom& c = ctx.Settings().CUSTOM;
    const std::string working = WorkingNameOf(outputPath);
    Remove(working);
    ctx.PostMessage("Launch External Encoder...", Severity::Status);
    ctx.PostPhase(EncodePhase::PauseDisabled);
    const CommandLine line = CustomCommandLine(c, ctx.Tags(outputPath), working, temporaryFile);
    ctx.PostMessage(line.Display(), Severity::Status);
    ctx.PostPhase(c.Input == 2 ? EncodePhase::EncodingWav : EncodePhase::EncodingRaw);
    const bool ok = RunToEnd(ctx, line, ExternalLogSink(ctx, c.Detail != 0));
    ctx.PostPhase(EncodePhase::PauseEnabled);
    Remove(temporaryFile);
    std::error_code ec;
    if (!ok || !std::filesystem::exists(working, ec)) {
        Remove(working);
        return ok && c.Parameter.find("%of%") == std::string::npos;
    }
    return Rename(ctx, working, outputPath);
}

}  // namespace

std::unique_ptr<CEncoder> MakeAacEncoder(const CSettings& settings, int) {
    return std::make_unique<AacEncoder>(settings);
}

std::unique_ptr<CEncoder> MakeMpcEncoder(const CSettings& settings, int) {
    return std::make_unique<MpcEncoder>(settings);
}

std::unique_ptr<CEncoder> MakeCustomEncoder(const CSettings& settings, int) {
    const int mode = settings.CUSTOM.Input;
    if (mode == 0 || mode == 1) return std::make_unique<CustomEncoder>(settings);
    return MakeSndfileTemporaryEncoder(settings, mode, &RunCustomOnTemporaryFile);
}

}  // namespace quarrow
