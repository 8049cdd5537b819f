#include <gtest/gtest.h>

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "encoders/ChildProcess.h"
#include "encoders/EncodeExternal.h"
#include "encoders/EncodeWma.h"
#include "encoders/FormatTable.h"
#include "encoders/OutputFormat.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/Pcm.h"
#include "support/TestFiles.h"

using namespace quarrow;
using namespace quarrow::testsupport;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kFrames = 44100;

std::vector<std::string> Errors(const FeedContext& ctx) {
    std::vector<std::string> errors;
    // The tagger's command line is posted with the error flag too.
    for (const std::string& m : ctx.Messages())
        if (m.rfind("1:", 0) == 0 && m.rfind("1:\"", 0) != 0) errors.push_back(m.substr(2));
    return errors;
}

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

// The only file in folder is name: no working file or temporary input stays behind.
::testing::AssertionResult Made(const FeedContext& ctx, int result, const std::string& folder, const std::string& name) {
    const auto errors = Errors(ctx);
    if (result != 1 || !errors.empty() || !ctx.finalSent)
        return ::testing::AssertionFailure() << "result " << result << ": " << (errors.empty() ? "" : errors[0]);
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(folder)) files.push_back(e.path().filename().string());
    if (files != std::vector<std::string>{name}) return ::testing::AssertionFailure() << files.size() << " files in " << folder;
    return ::testing::AssertionSuccess();
}

FeedContext& Prepare(FeedContext& ctx, const std::string& home) {
    ctx.home = home;
    ctx.album = SampleAlbum();
    ctx.discTracks = 3;
    ctx.FeedShorts(SineShorts(kFrames, 2));
    return ctx;
}

}  // namespace

// Every way a program can fail ends the file with a message saying how, leaves no file
// and no process behind; a flood of output does not stall the feed; album data with
// quotes and shell words reaches the program as single arguments.
TEST(ExternalRunner, ProgramsThatFailFloodOrReadAlbumData) {
    discimage::ScratchDir dir;
    struct Case {
        const char* name;
        const char* script;   // nullptr: no program at all
        bool cancel;
        std::vector<std::string> errors;
    };
    const std::string early = "The customized encoder terminated unexpectedly.";
    const Case cases[] = {
        {"missing", nullptr, false, {"Error: cannot start " + dir.path() + "/missing: No such file or directory"}},
        {"exits", "echo bad option >&2; exit 1", false, {early, "Error: exits exited with status 1: bad option"}},
        {"crashes", "head -c 65536 >/dev/null; kill -SEGV $$", false,
         {early, "Error: crashes was killed by signal 11 (Segmentation fault)"}},
        {"hangs", "echo $$ > \"$0.pid\"; exec sleep 600", true, {}},
        {"floods", "yes flood | head -c 8000000; yes err | head -c 3000000 >&2; eval out=\\${$#}; cat > \"$out\"",
         false, {}},
        {"argv", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"; eval out=\\${$#}; cat > \"$out\"",
         false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = dir.path() + "/out-" + c.name;
        fs::create_directory(out);
        CSettings s = SettingsFor(31);
        s.CUSTOM.Encoder = dir.path() + "/" + c.name;
        s.CUSTOM.Detail = 0;
        if (c.script) std::ofstream(WriteExecutable(dir.path(), c.name), std::ios::app) << c.script << "\n";
        FeedContext ctx(s);
        Prepare(ctx, dir.path());
        std::thread cancel([&] {
            if (!c.cancel) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ctx.Abort();
        });
        const auto start = std::chrono::steady_clock::now();
        const int result = ctx.Encode(out + "/t.mp3");
        cancel.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        const bool ok = c.errors.empty() && !c.cancel;
        if (ok) {
            ASSERT_TRUE(Made(ctx, result, out, "t.mp3"));
            EXPECT_EQ(fs::file_size(out + "/t.mp3"), 44 + kFrames * 4);
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(Errors(ctx), c.errors);
            EXPECT_TRUE(fs::is_empty(out));
        }
        if (c.cancel) {
            const pid_t pid = std::stoi(support::ReadFile(dir.path() + "/hangs.pid"));
            EXPECT_TRUE(::kill(pid, 0) == -1 && errno == ESRCH) << "pid " << pid << " still there";
        }
    }
    const CAlbumRecord a = SampleAlbum();
    EXPECT_EQ(Lines(dir.path() + "/argv.args"),
              std::vector<std::string>({"--tt", a.trackTitles[0], "--tl", a.albumTitle, "--ta", a.artist, "--ty", "1991",
                                        "--tn", " 1/ 3", "--tg", "Rock", "--add-id3v2", "-V0", "-",
                                        dir.path() + "/out-argv/.t.part.mp3"}));
}

// The customised encoder's four input modes with the real LAME: the default command
// line through stdin with a WAV header, raw stdin, and the temporary WAV and RAW files.
TEST(EncodeCustom, LameInEveryInputMode) {
    discimage::ScratchDir dir;
    const std::string raw = "-r -s 44.1 --bitwidth 16 --signed --little-endian ";
    const std::pair<int, std::string> modes[] = {
        {0, CSettings{}.CUSTOM.Parameter}, {1, raw + "--tt %title% - %of%"},
        {2, "--tt %title% %iwf% %of%"}, {3, raw + "--tt %title% %irf% %of%"}};
    for (const auto& [input, parameter] : modes) {
        SCOPED_TRACE(input);
        const std::string out = dir.path() + "/m" + std::to_string(input);
        fs::create_directory(out);
        CSettings s = SettingsFor(31);
        s.CUSTOM.Encoder = "/usr/bin/lame";
        s.CUSTOM.Parameter = parameter;
        s.CUSTOM.Input = static_cast<int16_t>(input);
        FeedContext ctx(s);
        Prepare(ctx, out);
        const int result = ctx.Encode(out + "/t.mp3");
        fs::rename(out + "/External.log", dir.path() + "/External" + std::to_string(input) + ".log");
        ASSERT_TRUE(Made(ctx, result, out, "t.mp3"));
        const Decoded d = Decode(out + "/t.mp3");
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.codec + std::to_string(d.sampleRate) + "/" + std::to_string(d.channels), "mp344100/2");
        EXPECT_NEAR(d.duration, 1.0, 0.08);
        EXPECT_EQ(d.Tag("title"), SampleAlbum().trackTitles[0]);
        if (input == 0) {
            EXPECT_EQ(d.Tag("artist") + "|" + d.Tag("album") + "|" + d.Tag("track"),
                      SampleAlbum().artist + "|" + SampleAlbum().albumTitle + "| 1/ 3");
        }
        const std::string log = support::ReadFile(dir.path() + "/External" + std::to_string(input) + ".log");
        EXPECT_NE(log.find("LAME"), std::string::npos);
        EXPECT_EQ(log.substr(log.size() - 23), "\r\nChild Process Ended\r\n");
    }
}

TEST(EncodeMpc, MpcencWritesATaggedFile) {
    if (FindProgram("/nonexistent", {"mppenc", "mpcenc"}).empty()) GTEST_SKIP() << "no mpcenc (musepack-tools)";
    discimage::ScratchDir dir;
    fs::create_directory(dir.file("out"));
    FeedContext ctx(SettingsFor(11));
    Prepare(ctx, dir.path());
    ASSERT_TRUE(Made(ctx, ctx.Encode(dir.file("out/t.mpc")), dir.file("out"), "t.mpc"));
    const Decoded d = Decode(dir.file("out/t.mpc"));
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.codec, "musepack8");
    EXPECT_NEAR(d.samples.size() / 2.0, kFrames, 1200.0);
    const CAlbumRecord a = SampleAlbum();
    EXPECT_EQ(d.Tag("title") + "|" + d.Tag("artist") + "|" + d.Tag("album") + "|" + d.Tag("year") + "|" + d.Tag("track"),
              a.trackTitles[0] + "|" + a.artist + "|" + a.albumTitle + "|1991|1");
}

// The three AAC programs (stood in for by a script) get their exact command lines and a
// canonical WAV header; Nero and CT AAC+ files are tagged, 3G2 under its ".3gp" name.
TEST(EncodeAac, ProgramsGetTheirCommandLines) {
    discimage::ScratchDir dir;
    const std::string ext = dir.file("External");
    fs::create_directory(ext);
    for (const char* name : {"faac", "neroAacEnc", "enc_aacplus", "neroAacTag"})
        fs::copy_file(std::string(QUARROW_SOURCE_DIR) + "/tests/encoders/stand-ins/aac-program.sh", ext + "/" + name);
    const CAlbumRecord a = SampleAlbum();
    const std::string tags = " --artist \"" + a.artist + "\" --title \"" + a.trackTitles[0] +
                             "\" --year \"1991\" --album \"" + a.albumTitle + "\" --genre \"Rock\" --track \" 1/ 3\"" +
                             "  --comment \"" + std::string(RipComment) + "\"";
    struct Case {
        int encoder, container;
        const char* file;
        std::string line;   // after the program and before the output name
        std::string rest;   // after the output name
        void (*set)(CSettings::Aac&);
    };
    const Case cases[] = {
        {0, 6, "t.mp4", "  -q  100  --no-midside  --mpeg-vers 4  -w " + tags + " -o \"", "\"  - ", nullptr},
        {0, 2, "t.aac", "  -b  128  --tns  --mpeg-vers 2  --obj-type LTP  --shortctl 1   -o \"", "\"  - ",
         [](CSettings::Aac& c) { c.FAACEncMode = 1, c.FAACTns = c.FAACMidside = 1, c.MPEGVer = 0, c.FAACObjType = 2, c.FAACBlkType = 1; }},
        {1, 0, "t.3g2", "  -cbr  96000  -he -ignorelength -of \"", "\" -if - ",
         [](CSettings::Aac& c) { c.NEROEncMode = 2, c.NEROForPro = 2; }},
        {2, 6, "t.mp4", " - \"", "\"  --br  64000  --ps  --mono  --high --mp4 ",
         [](CSettings::Aac& c) { c.CTCbr = 64000, c.CTPs = c.CTMono = 1, c.CTForPro = 3; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + std::to_string(c.encoder));
        const std::string out = dir.file("out" + std::to_string(c.encoder) + std::to_string(c.container));
        fs::create_directory(out);
        CSettings s = SettingsFor(10);
        s.AAC.Encoder = static_cast<int16_t>(c.encoder), s.AAC.ContainerFormat = static_cast<int16_t>(c.container);
        if (c.set) c.set(s.AAC);
        FeedContext ctx(s);
        Prepare(ctx, dir.path());
        fs::remove(ext + "/neroAacTag.args");
        ASSERT_TRUE(Made(ctx, ctx.Encode(out + "/" + c.file), out, c.file));
        static const char* const kPrograms[] = {"faac", "neroAacEnc", "enc_aacplus"};
        const std::string program = ext + "/" + kPrograms[c.encoder];
        const std::string working = out + "/.t.part" + std::string(c.file).substr(1);
        EXPECT_EQ(ctx.Messages().at(1), "0:" + program + c.line + working + c.rest);
        EXPECT_EQ(support::ReadFile(program + ".stdin").substr(0, 44), CanonicalWavHeader(kFrames * 4));
        const Decoded d = Decode(out + "/" + c.file);
        EXPECT_TRUE(d.ok && d.codec == "aac") << d.error;
        if (c.encoder == 0 && c.container == 6) {
            const auto argv = Lines(program + ".args");
            ASSERT_EQ(argv.size(), 23u);
            EXPECT_EQ(std::vector<std::string>(argv.begin() + 6, argv.begin() + 19),
                      std::vector<std::string>({"--artist", a.artist, "--title", a.trackTitles[0], "--year", "1991",
                                                "--album", a.albumTitle, "--genre", "Rock", "--track", " 1/ 3", "--comment"}));
        }
        const auto tagger = Lines(ext + "/neroAacTag.args");
        if (c.encoder == 0) {
            EXPECT_TRUE(tagger.empty());
            continue;
        }
        ASSERT_EQ(tagger.size(), 9u);
        EXPECT_EQ(tagger[0], c.container == 0 ? out + "/.t.part.3gp" : working);
        EXPECT_EQ(tagger[1] + tagger[2] + tagger[6] + tagger[8],
                  "-meta:artist=" + a.artist + "-meta:title=" + a.trackTitles[0] + "-meta:track= 1-meta:comment=" +
                      std::string(RipComment));
    }
}

// Without any of the programs the library's own AAC encoder writes the container chosen.
TEST(EncodeAac, BuiltInEncoderWhenNoProgramIsThere) {
    if (!FindProgram("/nonexistent", {"faac"}).empty()) GTEST_SKIP() << "faac is installed";
    discimage::ScratchDir dir;
    for (const auto& [container, file] : {std::pair{6, "t.mp4"}, {2, "t.aac"}, {0, "t.3g2"}}) {
        SCOPED_TRACE(file);
        const std::string out = dir.file(std::to_string(container));
        fs::create_directory(out);
        CSettings s = SettingsFor(10);
        s.AAC.ContainerFormat = static_cast<int16_t>(container);
        FeedContext ctx(s);
        Prepare(ctx, dir.path());
        ASSERT_TRUE(Made(ctx, ctx.Encode(out + "/" + file), out, file));
        EXPECT_NE(ctx.Messages().at(0).find("faac not found"), std::string::npos);
        const Decoded d = Decode(out + "/" + file);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.codec + std::to_string(d.sampleRate) + "/" + std::to_string(d.channels), "aac44100/2");
        EXPECT_NEAR(d.duration, 1.0, 0.08);
        // The reader takes no tags from 3GPP boxes: the title is looked for in the bytes.
        const std::string title = SampleAlbum().trackTitles[0];
        if (container == 6) { EXPECT_EQ(d.Tag("title"), title); }
        EXPECT_EQ(support::ReadFile(out + "/" + file).find(title) != std::string::npos, container != 2);
    }
}

// The WMA 9.2 CBR profiles write tagged ASF files at their rate and channels; every
// profile the library cannot write is refused by name before anything is written.
TEST(EncodeWma, ProfilesWrittenOrRefusedByName) {
    discimage::ScratchDir dir;
    struct Case { int profile, rate, channels; };
    for (const Case& c : {Case{47, 44100, 2}, Case{31, 44100, 1}, Case{37, 32000, 2}, Case{13, 0, 0},
                          Case{1, 0, 0}, Case{60, 0, 0}, Case{121, 0, 0}}) {
        SCOPED_TRACE(c.profile);
        CSettings s = SettingsFor(3);
        s.WMA.Profile = static_cast<int16_t>(c.profile);
        const std::string out = dir.file(std::to_string(c.profile));
        fs::create_directory(out);
        FeedContext ctx(s);
        Prepare(ctx, dir.path());
        const int result = ctx.Encode(out + "/t.wma");
        if (c.rate == 0) {
            const std::string named = "WMA profile " + std::to_string(c.profile) + " (" +
                                      WmaProfileEntry(c.profile).substr(1) + ") cannot be written: ";
            EXPECT_EQ(WmaProfileProblem(c.profile).substr(0, named.size()), named);
            EXPECT_EQ(Errors(ctx), std::vector<std::string>{"Error: " + WmaProfileProblem(c.profile)});
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(fs::is_empty(out));
            continue;
        }
        EXPECT_EQ(WmaProfileProblem(c.profile), "");
        ASSERT_TRUE(Made(ctx, result, out, "t.wma"));
        const Decoded d = Decode(out + "/t.wma");
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.codec + std::to_string(d.sampleRate) + "/" + std::to_string(d.channels),
                  "wmav2" + std::to_string(c.rate) + "/" + std::to_string(c.channels));
        EXPECT_NEAR(d.duration, 1.0, 0.1);
        if (c.profile != 47) continue;
        const CAlbumRecord a = SampleAlbum();
        EXPECT_EQ(d.Tag("title") + "|" + d.Tag("artist") + "|" + d.Tag("album") + "|" + d.Tag("date") + "|" +
                      d.Tag("genre") + "|" + d.Tag("track") + "|" + d.Tag("comment"),
                  a.trackTitles[0] + "|" + a.artist + "|" + a.albumTitle + "|1991|Rock|1|" + std::string(RipComment));
    }
}
