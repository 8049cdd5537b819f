#include <gtest/gtest.h>

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

uint32_t At32(const std::array<uint8_t, kLameConfigSize>& r, std::size_t o) {
    return static_cast<uint32_t>(r[o]) | static_cast<uint32_t>(r[o + 1]) << 8 |
           static_cast<uint32_t>(r[o + 2]) << 16 | static_cast<uint32_t>(r[o + 3]) << 24;
}
int32_t AtS32(const std::array<uint8_t, kLameConfigSize>& r, std::size_t o) {
    return static_cast<int32_t>(At32(r, o));
}
float AtFloat(const std::array<uint8_t, kLameConfigSize>& r, std::size_t o) {
    const uint32_t bits = At32(r, o);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
bool ZeroFrom(const std::array<uint8_t, kLameConfigSize>& r, std::size_t o) {
    for (std::size_t i = o; i < r.size(); ++i)
        if (r[i] != 0) return false;
    return true;
}

CSettings Defaults() { return CSettings::Initial("/nonexistent"); }

}  // namespace

TEST(LameLibrary, MissingLibraryAndMissingFunctionsAreTold) {
    {
        LameEncoderLibrary lib;
        EXPECT_EQ(lib.Load("/nonexistent/folder/libmp3lame.so.0"), LameEncoderLibrary::LoadResult::LibraryMissing);
        EXPECT_FALSE(lib.Loaded());
        EXPECT_NE(lib.Detail().find("libmp3lame.so.0"), std::string::npos) << lib.Detail();
        EXPECT_EQ(lib.Lookup("beInitStream"), nullptr);
        EXPECT_FALSE(lib.EntryPoints().Complete());
    }
    // Real libraries that are not the encoder: loadable, but without its functions.
    for (const char* foreign : {"libm.so.6", "libz.so.1"}) {
        LameEncoderLibrary lib;
        EXPECT_EQ(lib.Load(foreign), LameEncoderLibrary::LoadResult::EntryPointMissing) << foreign;
        EXPECT_FALSE(lib.Loaded());
        EXPECT_NE(lib.Detail().find("lame_"), std::string::npos) << lib.Detail();
        EXPECT_FALSE(lib.EntryPoints().Complete());
    }
    LameEncoderLibrary lib;
    ASSERT_EQ(lib.Load(), LameEncoderLibrary::LoadResult::Loaded) << lib.Detail();
    for (const char* name : {"beInitStream", "beEncodeChunk", "beDeinitStream", "beCloseStream",
                             "beWriteVBRHeader", "beWriteInfoTag"})
        EXPECT_NE(lib.Lookup(name), nullptr) << name;
    EXPECT_EQ(lib.Lookup("beVersion"), nullptr);
    EXPECT_TRUE(lib.EntryPoints().Complete());
}

TEST(LameLibrary, RipSetUpLogsAndShowsTheLoadFailures) {
    {
        CEventLog log;
        RecordingPrompter prompter;
        EXPECT_FALSE(LoadLameForRip(log, prompter, "/nonexistent/libmp3lame.so.0"));
        const auto entries = log.Entries();
        ASSERT_GE(entries.size(), 2u);
        EXPECT_EQ(entries[0].message, "Error loading lame_enc.dll");
        EXPECT_EQ(entries[0].level, 2);
        EXPECT_NE(entries[1].message.find("/nonexistent/libmp3lame.so.0"), std::string::npos);
        ASSERT_EQ(prompter.prompts.size(), 1u);
        EXPECT_EQ(prompter.prompts[0].text, "Error Loading Lame_enc.dll");
        EXPECT_EQ(prompter.prompts[0].icon, MessageIcon::Error);
    }
    {
        CEventLog log;
        RecordingPrompter prompter;
        EXPECT_FALSE(LoadLameForRip(log, prompter, "libm.so.6"));
        ASSERT_FALSE(log.Entries().empty());
        EXPECT_EQ(log.Entries()[0].message, "Unable to get LAME interfaces");
        ASSERT_EQ(prompter.prompts.size(), 1u);
        EXPECT_EQ(prompter.prompts[0].text, "Unable to Get LAME Interfaces");
    }
    CEventLog log;
    RecordingPrompter prompter;
    EXPECT_TRUE(LoadLameForRip(log, prompter));
    EXPECT_TRUE(prompter.prompts.empty());
    EXPECT_TRUE(log.Entries().empty());
    ReleaseLameForRip();
}

TEST(LameLibrary, RecordFollowsTheCodingMode) {
    CSettings s = Defaults();
    auto r = BuildLameConfig(s);   // CBR
    EXPECT_EQ(At32(r, 0), 256u);
    EXPECT_EQ(At32(r, 4), 1u);
    EXPECT_EQ(At32(r, 8), 331u);
    EXPECT_EQ(At32(r, 12), 44100u);
    EXPECT_EQ(At32(r, 16), 44100u);
    EXPECT_EQ(AtS32(r, 20), 1);    // joint stereo
    EXPECT_EQ(At32(r, 24), 128u);
    EXPECT_EQ(At32(r, 28), 0u);
    EXPECT_EQ(AtS32(r, 32), -1);
    EXPECT_EQ(At32(r, 36), 1u);
    EXPECT_EQ(At32(r, 64), 1u);
    EXPECT_EQ(At32(r, 68), 0u);
    EXPECT_EQ(At32(r, 84), 1u);
    EXPECT_EQ(r[92], 5);
    EXPECT_EQ(r[93], 250);
    EXPECT_TRUE(ZeroFrom(r, 94));

    s.MP3.LameChannel = 0;
    s.MP3.LameFreq = 4;
    s.MP3.LameQuality = 0;
    s.MP3.LameCRC = 1;
    s.MP3.LamePrivate = 1;
    r = BuildLameConfig(s);
    EXPECT_EQ(AtS32(r, 20), 3);    // mono
    EXPECT_EQ(At32(r, 16), 22050u);
    EXPECT_EQ(r[92], 0);
    EXPECT_EQ(r[93], 255);
    EXPECT_EQ(At32(r, 48), 1u);
    EXPECT_EQ(At32(r, 52), 1u);

    s = Defaults();
    s.MP3.LameTab = 3;             // VBR, new method
    r = BuildLameConfig(s);
    EXPECT_EQ(At32(r, 68), 1u);
    EXPECT_FLOAT_EQ(AtFloat(r, 72), 5.0f);
    EXPECT_EQ(At32(r, 24), 8u);
    EXPECT_EQ(At32(r, 28), 320u);
    EXPECT_EQ(AtS32(r, 80), 2);
    EXPECT_EQ(At32(r, 76), 0u);
    EXPECT_EQ(r[92], 0);

    s.MP3.LameCodingMode = 4;      // ABR
    r = BuildLameConfig(s);
    EXPECT_EQ(At32(r, 76), 128000u);
    EXPECT_EQ(AtS32(r, 32), -1);
    EXPECT_EQ(At32(r, 24), 0u);
    EXPECT_EQ(At32(r, 28), 0u);
    EXPECT_EQ(At32(r, 72), 0u);
    EXPECT_EQ(AtS32(r, 80), 4);

    s = Defaults();
    s.MP3.LameTab = 5;
    s.MP3.LamePreset = 17;         // Studio
    r = BuildLameConfig(s);
    EXPECT_EQ(AtS32(r, 32), 10000);
    EXPECT_EQ(At32(r, 16), 0u);
    EXPECT_EQ(AtS32(r, 20), 0);
    EXPECT_EQ(At32(r, 68), 0u);
    EXPECT_EQ(At32(r, 12), 44100u);

    s.MP3.LameTab = 2;             // no such page: only the fixed fields
    s.MP3.LameOriginal = 1;
    s.MP3.LameComplyISO = 1;
    r = BuildLameConfig(s);
    EXPECT_EQ(At32(r, 12), 0u);
    EXPECT_EQ(AtS32(r, 32), 0);
    EXPECT_EQ(At32(r, 36), 1u);
    EXPECT_EQ(At32(r, 60), 1u);
    EXPECT_EQ(At32(r, 88), 1u);
    EXPECT_EQ(At32(r, 24), 0u);
}

TEST(LameLibrary, EntryPointsRefuseBadRecordsHandlesAndBlocks) {
    LameEncoderLibrary lib;
    ASSERT_EQ(lib.Load(), LameEncoderLibrary::LoadResult::Loaded);
    const LameEntryPoints be = lib.EntryPoints();
    CSettings s = Defaults();
    auto config = BuildLameConfig(s);
    uint32_t chunk = 0, size = 0;
    LameStream stream = 0;
    auto init = [&](const uint8_t* record) {
        return be.beInitStream(record, &chunk, &size, &stream, 0, 0, "", "", "", "", "", "", "", 0, 0, 0, 0, 0, 0);
    };

    auto bad = config;
    bad[0] = 255;                  // not a configuration record
    EXPECT_EQ(init(bad.data()), kLameInvalidFormat);
    bad = config;
    bad[20] = 7;                   // no such channel mode
    EXPECT_EQ(init(bad.data()), kLameInvalidFormatParameters);
    s.MP3.LameTab = 5;
    s.MP3.LamePreset = 99;         // beyond the list: refused, not guessed
    EXPECT_EQ(init(BuildLameConfig(s).data()), kLameInvalidFormatParameters);

    ASSERT_EQ(init(config.data()), kLameOk);
    EXPECT_EQ(chunk, 2304u);       // one frame of stereo values
    ASSERT_GT(size, 7200u);
    std::vector<uint8_t> out(size);
    uint32_t produced = 7;
    const std::vector<int16_t> block = testsupport::SineShorts(1152, 2);
    EXPECT_EQ(be.beEncodeChunk(stream, 3, block.data(), out.data(), &produced), kLameInvalidFormatParameters);
    EXPECT_EQ(produced, 0u);
    EXPECT_EQ(be.beEncodeChunk(stream + 1000, 2304, block.data(), out.data(), &produced), kLameInvalidHandle);
    std::vector<int16_t> huge(2 * 1152 * 8);
    EXPECT_EQ(be.beEncodeChunk(stream, static_cast<uint32_t>(huge.size()), huge.data(), out.data(), &produced),
              kLameBufferTooSmall);
    std::size_t total = 0;
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(be.beEncodeChunk(stream, 2304, block.data(), out.data(), &produced), kLameOk);
        total += produced;
    }
    ASSERT_EQ(be.beDeinitStream(stream, out.data(), &produced), kLameOk);
    total += produced;
    // 21 frames of 128 kbps at 44100 Hz are 417 or 418 bytes each, plus the Info frame.
    EXPECT_GT(total, 20u * 417u);
    EXPECT_LT(total, 24u * 418u);
    EXPECT_EQ(be.beCloseStream(stream), kLameOk);
    EXPECT_EQ(be.beCloseStream(stream), kLameInvalidHandle);
    EXPECT_EQ(be.beDeinitStream(stream, out.data(), &produced), kLameInvalidHandle);
    // The Info frame needs a file with an MPEG frame where it belongs.
    EXPECT_NE(be.beWriteInfoTag(stream, "/nonexistent/x.mp3"), kLameOk);
}
