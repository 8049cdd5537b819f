#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "encoders/EncodeMp3.h"
#include "encoders/LameEncoderLibrary.h"
#include "support/EncodeHarness.h"

using namespace quarrow;

namespace {

using Record = std::array<uint8_t, kLameConfigSize>;

// The little-endian 32-bit field at an offset of the record.
int32_t At(const Record& r, std::size_t o) {
    return static_cast<int32_t>(r[o] | r[o + 1] << 8 | r[o + 2] << 16 | static_cast<uint32_t>(r[o + 3]) << 24);
}

void ExpectFields(const Record& r, const std::vector<std::pair<std::size_t, int32_t>>& fields) {
    for (const auto& [offset, value] : fields) EXPECT_EQ(At(r, offset), value) << "offset " << offset;
}

CSettings Defaults() { return CSettings::Initial("/nonexistent"); }

}  // namespace

// A missing library and a real one that is not the encoder (loadable, but without its
// functions): told by the loader, and by the rip set-up in the log and a box.
TEST(LameLibrary, LoadFailuresAreToldAndLogged) {
    struct Case { const char* path; LameEncoderLibrary::LoadResult result; const char *detail, *logged, *shown; };
    for (const Case& c : {Case{"/nonexistent/libmp3lame.so.0", LameEncoderLibrary::LoadResult::LibraryMissing,
                               "/nonexistent/libmp3lame.so.0", "Error loading lame_enc.dll", "Error Loading Lame_enc.dll"},
                          Case{"libz.so.1", LameEncoderLibrary::LoadResult::EntryPointMissing, "lame_",
                               "Unable to get LAME interfaces", "Unable to Get LAME Interfaces"}}) {
        SCOPED_TRACE(c.path);
        LameEncoderLibrary lib;
        EXPECT_EQ(lib.Load(c.path), c.result);
        EXPECT_FALSE(lib.Loaded() || lib.Lookup("beInitStream") || lib.EntryPoints().Complete());
        EXPECT_NE(lib.Detail().find(c.detail), std::string::npos) << lib.Detail();
        CEventLog log;
        RecordingPrompter prompter;
        EXPECT_FALSE(LoadLameForRip(log, prompter, c.path));
        const auto entries = log.Entries();
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(std::make_pair(entries[0].message, static_cast<int>(entries[0].level)), std::make_pair(std::string(c.logged), 2));
        EXPECT_NE(entries[1].message.find(c.detail), std::string::npos) << entries[1].message;
        ASSERT_EQ(prompter.prompts.size(), 1u);
        EXPECT_EQ(prompter.prompts[0].text, c.shown);
    }
    LameEncoderLibrary lib;
    ASSERT_EQ(lib.Load(), LameEncoderLibrary::LoadResult::Loaded) << lib.Detail();
    EXPECT_TRUE(lib.EntryPoints().Complete() && lib.Lookup("beWriteInfoTag") && !lib.Lookup("beVersion"));
    CEventLog log;
    RecordingPrompter prompter;
    EXPECT_TRUE(LoadLameForRip(log, prompter));
    EXPECT_TRUE(prompter.prompts.empty() && log.Entries().empty());
    ReleaseLameForRip();
}

// Rates, modes, channels, CRC and the coding modes are checked on the frames of real files;
// here the fields no frame shows: the quality bytes, the private bit, the VBR quality, the
// fixed fields, and a coding page that does not exist.
TEST(LameLibrary, RecordFieldsTheFramesDoNotShow) {
    CSettings s = Defaults();
    Record r = BuildLameConfig(s);
    ExpectFields(r, {{0, 256}, {4, 1}, {8, 331}, {36, 1}, {48, 0}, {64, 1}, {84, 1}});
    EXPECT_EQ(std::vector<int>({r[92], r[93]}), std::vector<int>({5, 250}));
    EXPECT_TRUE(std::all_of(r.begin() + 94, r.end(), [](uint8_t b) { return b == 0; }));
    s.MP3.LameQuality = 0;
    s.MP3.LamePrivate = 1;
    r = BuildLameConfig(s);
    ExpectFields(r, {{48, 1}});
    EXPECT_EQ(std::vector<int>({r[92], r[93]}), std::vector<int>({0, 255}));
    s = Defaults();
    s.MP3.LameTab = 3;             // VBR, new method; quality 5.0 as a float
    r = BuildLameConfig(s);
    float quality;
    const int32_t bits = At(r, 72);
    std::memcpy(&quality, &bits, sizeof quality);
    EXPECT_FLOAT_EQ(quality, 5.0f);
    ExpectFields(r, {{68, 1}, {80, 2}});
}
