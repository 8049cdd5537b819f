// APE files: Quarrow's own compressor read back bit for bit by ffmpeg, and the driver
// over the Monkey's Audio library's calls (a test double) with each failure it reports.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <tuple>

extern "C" {
#include <libavutil/md5.h>
}

#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/Pcm.h"
#include "support/TestFiles.h"

using namespace quarrow;
using namespace quarrow::testsupport;
namespace fs = std::filesystem;

namespace {

const std::string kOwn = "0:Using Quarrow's own APE compressor: ";
using support::ReadFile;

// The MD5 a verifier computes: the frame data, then the header and the seek table.
bool Md5Matches(const std::string& b) {
    const auto U32 = [&b](std::size_t at) { uint32_t v; std::memcpy(&v, b.data() + at, 4); return std::size_t{v}; };
    const std::size_t seek = U32(8) + U32(12), data = seek + U32(16) + U32(20);
    std::string hashed = b.substr(data, U32(24)) + b.substr(U32(8), U32(12)) + b.substr(seek, U32(16));
    uint8_t md5[16];
    av_md5_sum(md5, reinterpret_cast<const uint8_t*>(hashed.data()), hashed.size());
    return b.compare(36, 16, reinterpret_cast<const char*>(md5), 16) == 0;
}

// kind 0: silence, 1: full-scale noise, 2: a square wave at clipping.
std::vector<int16_t> Generated(int kind, std::size_t frames) {
    std::vector<int16_t> v(2 * frames, 0);
    uint32_t x = 99;
    for (std::size_t i = 0; i < v.size(); ++i, x = x * 1664525u + 1013904223u)
        v[i] = int16_t(kind == 1 ? x >> 16 : kind == 2 ? ((i / 100) % 2 ? 0x8000 : 0x7FFF) : 0);
    return v;
}

}  // namespace

// Every level writes each signal so that ffmpeg gives back the very samples; the file
// carries the MD5 verifiers check. A file longer than announced grows its seek table.
// The tagged row's hostile texts are made safe: a NUL ends a value, a huge one is cut.
TEST(EncodeApe, EveryLevelDecodesBitExactly) {
    discimage::ScratchDir dir;
    struct Signal { const char* name; std::vector<int16_t> pcm; double announced; bool tagged; };
    const std::vector<int16_t> music = NoisyShorts(300000, 900);   // two frames
    const Signal signals[] = {{"music", music, 0, false},          {"one sector", NoisyShorts(588), 0, false},
                              {"silence", Generated(0, 44100), 0, false}, {"noise", Generated(1, 30000), 0, false},
                              {"square", Generated(2, 30000), 0, false},  {"longer than announced", music, 1000, false},
                              {"tagged", NoisyShorts(5000), 0, true}};
    CAlbumRecord album = SampleAlbum();
    album.artist += "\nsecond line";
    album.trackTitles[1] = std::string("Shoot\0to Thrill", 15);
    album.genre = std::string(100000, 'g');
    const std::map<std::string, std::string> tags = {
            {"artist", album.artist}, {"album", album.albumTitle}, {"title", "Shoot"}, {"comment", std::string(RipComment)},
            {"genre", std::string(65536, 'g')}, {"year", "1991"}, {"track", " 2"}};
    for (int level = 1000; level <= 5000; level += 1000) {
        for (const Signal& s : signals) {
            if ((s.announced || s.tagged) && level != 2000) continue;
            SCOPED_TRACE(std::string(s.name) + " at " + std::to_string(level));
            CSettings settings = SettingsFor(5);
            settings.APE.CompLev = static_cast<int16_t>(level);
            settings.OUTPUT.FillTag = s.tagged;
            FeedContext ctx(settings);
            ctx.home = dir.path(), ctx.album = album, ctx.trackIndex = 1;
            ctx.FeedShorts(s.pcm, s.announced ? std::vector<double>{s.announced} : std::vector<double>{});
            const std::string out = dir.path() + "/t.ape";
            ASSERT_EQ(ctx.Encode(out), 1);
            ASSERT_EQ(ctx.Messages().size(), 1u);
            EXPECT_EQ(ctx.Messages()[0].rfind(kOwn + "no Monkey's Audio library (libMAC.so) in " + dir.path(), 0), 0u);
            EXPECT_TRUE(ctx.finalSent && !fs::exists(CEncoder::TemporaryNameOf(out)));
            const Decoded d = Decode(out);
            ASSERT_TRUE(d.ok) << d.error;
            EXPECT_EQ(d.codec + std::to_string(d.channels), "ape2");
            EXPECT_TRUE(d.samples == s.pcm) << d.samples.size() << " of " << s.pcm.size() << " samples";
            EXPECT_TRUE(Md5Matches(ReadFile(out)));
            EXPECT_EQ(d.tags, (s.tagged ? tags : decltype(tags){}));
        }
    }
}

// Each failure of a call, through the library's stand-in or our own compressor: the
// driver's messages in order, and what is left on disk.
TEST(EncodeApe, FailuresAreReportedAndLeaveNoPartialFile) {
    discimage::ScratchDir dir;
    const std::string home = dir.path() + "/home", lib = home + "/External/libMAC.so", calls = dir.path() + "/calls";
    struct Case { const char* fail; bool library; const char* out; std::vector<std::string> messages; bool kept; };
    const std::string load = "0:Load " + lib, freed = "0:Free " + lib + ".", out = dir.path() + "/t.ape",
                      missing = dir.path() + "/missing/t.ape";
    const Case cases[] = {
            {"", true, out.c_str(), {load, freed}, true},
            {"create", true, out.c_str(), {load, "1:Error creating encoder (error code: 2000)", freed}, false},
            {"start", true, out.c_str(), {load, "1:Error starting encoder.", freed, "1:File deleted: " + out}, false},
            {"add", true, out.c_str(), {load, "1:Encoding error (error code: 1001)", freed}, false},
            {"finish", true, out.c_str(), {load, "1:Error finishing encoder.", freed}, false},
            {"tag", true, out.c_str(), {load, "1:Fail to tag APE file " + out, freed}, true},
            {"compat", true, out.c_str(), {kOwn + "the Monkey's Audio library " + lib +
                                           " is not compatible (GetInterfaceCompatibility(3990, 1, 0) answered 1)"}, true},
            {"unwritable", false, missing.c_str(), {"1:Error starting encoder.", "1:Error: cannot create " + missing +
                                                    ": No such file or directory", "1:File deleted: " + missing}, false},
            {"disk full", false, out.c_str(), {"1:Error finishing encoder.", "1:Error: cannot write " + out + ": File too large"}, false},
            {"cancel", false, out.c_str(), {}, false},
    };
    const std::vector<int16_t> pcm = NoisyShorts(44100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fail);
        fs::remove_all(home), fs::remove(calls), fs::remove(out);
        fs::create_directories(home + "/External");
        if (c.library) fs::copy_file(QUARROW_MAC_STANDIN, lib);
        setenv("QUARROW_MAC_STANDIN_FAIL", c.fail, 1), setenv("QUARROW_MAC_STANDIN_LOG", calls.c_str(), 1);
        CSettings s = SettingsFor(5);
        s.APE.CompLev = 4000;
        FeedContext ctx(s);
        ctx.home = home, ctx.album = SampleAlbum();
        ctx.FeedShorts(pcm);
        if (std::string(c.fail) == "cancel") ctx.onDelivered = [&](std::size_t n) { if (n > 20000) ctx.Abort(); };
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY}, small{50000, RLIM_INFINITY};
        if (std::string(c.fail) == "disk full") signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &small);
        const int result = ctx.Encode(c.out);
        setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_EQ(std::tuple(result, fs::exists(c.out), fs::exists(CEncoder::TemporaryNameOf(c.out))),
                  std::tuple(c.kept ? 1 : 0, c.kept, false));
        std::vector<std::string> messages = ctx.Messages();
        if (!c.library && !messages.empty() && messages[0].starts_with(kOwn)) messages.erase(messages.begin());
        EXPECT_EQ(messages, c.messages);
        if (c.kept && c.library && std::string(c.fail) != "compat") {
            // The library got the PCM as it came (the stand-in stores it), tagged or not.
            EXPECT_EQ(ReadFile(c.out), std::string(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2));
            const TagValues t = MakeTagValues(ctx.album, 0, 1, false, out);
            EXPECT_EQ(ReadFile(calls), "compat 3990 1 0\ncreate\nstart level=4000 max=176400 header=0,-1 "
                                    "format=1,2,44100,176400,4,16,0\nfinish 0 0 0\ndestroy\ntag " +
                                            t.artist + "|" + t.album + "|" + t.title + "|" + t.comment + "|Rock|1991| 1|1|0\n");
        } else if (c.kept) {
            EXPECT_EQ(Decode(c.out).samples, pcm);
        }
    }
    unsetenv("QUARROW_MAC_STANDIN_FAIL"), unsetenv("QUARROW_MAC_STANDIN_LOG");
}
