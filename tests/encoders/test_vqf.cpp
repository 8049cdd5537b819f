#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "encoders/EncodeVqf.h"
#include "support/DiscImage.h"
#include "support/EncodeHarness.h"
#include "support/RunProcess.h"

using namespace quarrow;
using namespace quarrow::testsupport;

namespace {

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

// Each row: a profile, whether the stand-in library is in the home's External/ folder,
// and the stream ffprobe must see (rate 0: refused before anything is written).
TEST(EncodeVqf, ProfilesReachTheHeaderAndTheLibraryIsRequired) {
    discimage::ScratchDir dir;
    struct Case { int profile; bool library; bool fillTag; int rate, channels, kbps, frame; };
    for (const Case& c : {Case{18, true, true, 44100, 2, 96, 2048}, Case{9, true, false, 22050, 1, 20, 1024},
                          Case{18, false, true, 0, 0, 0, 0}}) {
        SCOPED_TRACE(c.profile * 10 + c.library);
        const std::string home = dir.path() + "/home" + std::to_string(c.profile) + std::to_string(c.library);
        std::filesystem::create_directories(home + "/External");
        if (c.library) std::filesystem::copy_file(QUARROW_TVQENC_STANDIN, home + "/External/libtvqenc.so");
        CSettings s = SettingsFor(8);
        s.VQF.Profile = static_cast<int16_t>(c.profile);
        s.OUTPUT.FillTag = c.fillTag;
        FeedContext ctx(s);
        ctx.home = home;
        ctx.album = SampleAlbum();
        ctx.trackIndex = 1;
        ctx.discTracks = 3;
        FeedTone(ctx, static_cast<std::size_t>(c.rate ? c.rate : 44100) + 333, c.rate ? c.rate : 44100);
        const std::string out = home + "/t.vqf";
        const std::string probe = ProbeMessage(8, ProbeFormat(s, home, 8));
        if (!c.rate) {
            EXPECT_EQ(probe.rfind("Cannot rip to VQF: the TwinVQ encoder library libtvqenc.so was not found (looked in " +
                                      home + "/External, ", 0), 0u) << probe;
            EXPECT_EQ(ctx.Encode(out), 0);
            ASSERT_EQ(ctx.Messages().size(), 1u);
            EXPECT_EQ(ctx.Messages()[0], "1:" + probe);
            EXPECT_TRUE(LeftNothing(out));
            continue;
        }
        EXPECT_EQ(probe, "");
        ASSERT_TRUE(Written(ctx, ctx.Encode(out), out));

        const ProcessResult r = RunProcess({"/usr/bin/ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", out});
        const nlohmann::json j = nlohmann::json::parse(r.out, nullptr, false);
        ASSERT_TRUE(!j.is_discarded() && j.contains("streams") && !j["streams"].empty()) << r.out << r.err;
        const nlohmann::json& st = j["streams"][0];
        EXPECT_EQ(st.value("codec_name", ""), "twinvq");
        EXPECT_EQ(st.value("sample_rate", ""), std::to_string(c.rate));
        EXPECT_EQ(st.value("channels", 0), c.channels);
        EXPECT_EQ(st.value("bit_rate", ""), std::to_string(c.kbps * 1000));
        const nlohmann::json tags = j.value("format", nlohmann::json::object()).value("tags", nlohmann::json::object());
        EXPECT_EQ(tags.value("title", ""), c.fillTag ? ctx.album.trackTitles[1] : "");
        EXPECT_EQ(tags.value("author", ""), c.fillTag ? ctx.album.artist : "");
        EXPECT_EQ(tags.value("comment", ""), c.fillTag ? std::string(RipComment) : "");

        // COMM carries mode, kbps, kHz and security level; the data follows YEAR and TRAC.
        const std::string b = Bytes(out);
        const std::string comm = std::string("COMM\0\0\0\x10\0\0\0", 11) + char(c.channels - 1) +
                                 std::string("\0\0\0", 3) + char(c.kbps) + std::string("\0\0\0", 3) +
                                 char(c.rate / 1000) + std::string(4, '\0');
        EXPECT_EQ(b.substr(16, comm.size()), comm);
        const std::size_t data = b.find("DATA");
        ASSERT_NE(data, std::string::npos);
        EXPECT_EQ(b.substr(data - 21, 21), c.fillTag ? std::string("YEAR\0\0\0\x03\x07\xc7\0TRAC\0\0\0\x02\0\x02", 21)
                                                 : std::string("YEAR\0\0\0\x03\0\0\0TRAC\0\0\0\x02\0\0", 21));
        // Every frame, the last one padded, keeps the bit rate; the stream ends on a whole byte.
        const long long frames = (c.rate + 333 + c.frame - 1) / c.frame;
        EXPECT_EQ(b.size() - data - 4, static_cast<std::size_t>((1LL * c.kbps * 1000 * c.frame * frames / c.rate + 7) / 8));
        // The header size counts every sub-chunk up to DATA.
        const auto size = static_cast<std::size_t>(static_cast<unsigned char>(b[14]) << 8 | static_cast<unsigned char>(b[15]));
        EXPECT_EQ(size + 16, data);
    }
}
