// Playback through the real audio library on a generated disc image: ALSA's default device
// is its file plugin, so what was played is read back and compared with the tracks' PCM.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/types.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "albuminfo/TrackList.h"
#include "rip/AppShell.h"
#include "support/DiscImage.h"
#include "support/RunProcess.h"

using namespace quarrow;
using namespace quarrow::discimage;

namespace {

int ThreadCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

std::vector<int16_t> Shorts(const std::string& bytes) {
    std::vector<int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

// ALSA reads its whole configuration from the file named here: a default device that writes
// raw PCM to out, or (out empty) one that cannot be opened, so no output device exists.
void UseAlsaConfig(const ScratchDir& dir, const std::string& out) {
    const std::string conf = dir.file("asound.conf");
    support::WriteFile(conf, out.empty() ? "pcm.!default { type hw card 99 }\n"
                                         : "pcm.!default { type file slave { pcm { type null } } file \"" + out +
                                               "\" format \"raw\" }\n");
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
}

struct Rig : ShellView, PlaybackListener {
    ScratchDir dir;
    DiscImage image = WriteDiscImage(dir.path(), "disc", AudioLayout({75, 40, 150}));
    AppShell shell;
    RecordingPrompter prompter;
    std::unique_ptr<CPlayback> playback;
    std::mutex mutex;
    std::vector<std::string> statuses;   // "kind:text" of kinds 3 and 4
    int calls = 0;
    std::function<void(int call)> onChunk;

    void StartRefresh() override { RefreshDisc(*shell.main); }
    void OnPlaybackStatus(const std::string& text, int kind) override {
        std::lock_guard lock(mutex);
        if (kind >= 3) statuses.push_back(std::to_string(kind) + ":" + text);
    }
    void OnPlaybackProgress(const std::vector<int16_t>& samples, int) override {
        if (samples.empty()) return;
        EXPECT_EQ(samples.size(), static_cast<std::size_t>(kPlaybackVisualSamples));
        if (onChunk) onChunk(++calls);
    }
    void Open(const std::string& out) {
        UseAlsaConfig(dir, out);
        ShellOptions o;
        o.home = dir.path() + "/home";
        o.drives = {image.cuePath};
        o.soundOutput = true;
        ASSERT_EQ(OpenShell(shell, prompter, o, *this), 0);
        playback = std::make_unique<CPlayback>(*shell.main, shell.sound, *this);
    }
    std::vector<int16_t> Track(int t) {   // 0-based
        const auto b = ReadBinSectors(image.binPath, image.starts[t], t == 2 ? 150 : t == 1 ? 40 : 75);
        return Shorts(std::string(b.begin(), b.end()));
    }
};

// One stretch of what was played: track t from sample `from`, `length` samples; -1 is
// measured: up to where the next stretch's first samples appear, or to the track's end.
struct Stretch {
    int track;
    long from;
    long length;
};

// Compares the capture with the stretches after the leading silence; only silence may follow.
void ExpectPlayed(const std::vector<int16_t>& got, Rig& rig, const std::vector<Stretch>& want, int volume) {
    const float f = static_cast<float>(volume) * 0.01f;
    auto scaled = [&](std::vector<int16_t> v) {
        for (int16_t& s : v) s = static_cast<int16_t>(static_cast<float>(s) * f);
        return v;
    };
    // The leading offset: where the first stretch begins, with only silence before it.
    const auto first = scaled(rig.Track(want[0].track));
    const auto begin = std::search(got.begin(), got.end(), first.begin() + want[0].from, first.begin() + want[0].from + 64);
    ASSERT_NE(begin, got.end()) << "the first stretch was never played";
    ASSERT_TRUE(std::all_of(got.begin(), begin, [](int16_t s) { return s == 0; }));
    std::size_t pos = static_cast<std::size_t>(begin - got.begin());
    for (std::size_t i = 0; i < want.size(); ++i) {
        const auto pcm = scaled(rig.Track(want[i].track));
        std::size_t len = want[i].length >= 0 ? static_cast<std::size_t>(want[i].length) : pcm.size() - want[i].from;
        if (want[i].length < 0 && i + 1 < want.size()) {
            const auto next = scaled(rig.Track(want[i + 1].track));
            const auto at = std::search(got.begin() + static_cast<long>(pos), got.end(), next.begin() + want[i + 1].from,
                                        next.begin() + want[i + 1].from + 64);
            ASSERT_NE(at, got.end()) << "stretch " << i + 1 << " never starts";
            len = static_cast<std::size_t>(at - got.begin()) - pos;
        }
        ASSERT_LE(pos + len, got.size()) << "stretch " << i << " is cut short";
        ASSERT_LE(want[i].from + static_cast<long>(len), static_cast<long>(pcm.size()));
        ASSERT_TRUE(std::equal(pcm.begin() + want[i].from, pcm.begin() + want[i].from + static_cast<long>(len),
                               got.begin() + static_cast<long>(pos)))
            << "stretch " << i << " (track " << want[i].track + 1 << " from " << want[i].from << ") differs";
        pos += len;
    }
    EXPECT_TRUE(std::all_of(got.begin() + static_cast<long>(pos), got.end(), [](int16_t s) { return s == 0; }))
        << (got.size() - pos) << " samples after the last stretch are not silence";
}

bool WaitUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

constexpr long kChunk = kPlaybackChunkSamples;

}  // namespace

TEST(Playback, WhatIsPlayedIsTheTracksPcm) {
    // Track 1 is 1 s (10 chunks), track 2 is not checked, track 3 is 2 s.
    enum Action { None, Pause, Seek, Next, Previous, Stop };
    struct Row {
        const char* name;
        int volume;
        bool third;     // track 3 checked too
        Action action;
        int at;         // the chunk after which the action happens
        std::vector<Stretch> played;
        std::vector<std::string> statuses;
    };
    const long seekTarget = static_cast<long>(75 * 500 * 0.001) * 1176;
    const std::vector<Row> rows = {
        {"volume 100", 100, false, None, 0, {{0, 0, -1}}, {"3:Playing", "4:"}},
        {"volume 50", 50, false, None, 0, {{0, 0, -1}}, {"3:Playing", "4:"}},
        {"gapless, unchecked skipped", 100, true, None, 0, {{0, 0, -1}, {2, 0, -1}},
         {"3:Playing", "3:", "3:Playing", "4:"}},
        {"pause and resume", 100, false, Pause, 3, {{0, 0, -1}}, {"3:Playing", "3:Paused", "3:Playing", "4:"}},
        {"seek to the middle", 100, false, Seek, 3, {{0, 0, 3 * kChunk}, {0, seekTarget, -1}}, {"3:Playing", "4:"}},
        {"next checked", 100, true, Next, 2, {{0, 0, -1}, {2, 0, -1}}, {"3:Playing", "4:", "3:Playing", "4:"}},
        {"previous checked", 100, true, Previous, 14, {{0, 0, -1}, {2, 0, -1}, {0, 0, -1}, {2, 0, -1}},
         {"3:Playing", "3:", "3:Playing", "4:", "3:Playing", "3:", "3:Playing", "4:"}},
        {"stop", 100, false, Stop, 4, {{0, 0, 4 * kChunk}}, {"3:Playing", "4:"}},
    };
    {
        Rig rig;
        rig.Open(rig.dir.file("none.raw"));
        UncheckAll(*rig.shell.main);
        EXPECT_FALSE(rig.playback->Play());
        ASSERT_FALSE(rig.prompter.prompts.empty());
        EXPECT_EQ(rig.prompter.prompts.back().text, "Warning: No Audio Track Checked!");
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        const std::string out = rig.dir.file("played.raw");
        rig.Open(out);
        ASSERT_TRUE(rig.shell.sound.available()) << "the file device was not found";
        rig.shell.settings.OUTPUT.Volume = static_cast<int16_t>(row.volume);
        SetRowChecked(*rig.shell.main, 2, row.third);
        SetRowChecked(*rig.shell.main, 1, false);
        CPlayback& p = *rig.playback;
        bool acted = false;
        rig.onChunk = [&](int call) {
            if (call != row.at || row.action == None) return;
            acted = true;
            switch (row.action) {
            case Pause: p.PauseResume(); break;
            case Seek: EXPECT_EQ(p.Seek(500), 500); break;
            case Next: EXPECT_TRUE(p.Next()); break;
            case Previous: EXPECT_TRUE(p.Previous()); break;
            case Stop: p.StopPlayback(false); break;
            default: break;
            }
        };
        const int threads = ThreadCount();
        ASSERT_TRUE(p.Play());
        if (row.action == Pause) {
            ASSERT_TRUE(WaitUntil([&] { return p.isPaused(); }));
            const int chunks = p.chunkCounter();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_EQ(p.chunkCounter(), chunks) << "chunks were played while paused";
            p.PauseResume();
        }
        ASSERT_TRUE(WaitUntil([&] { return !p.isPlaying(); }));
        p.StopPlayback();
        EXPECT_EQ(ThreadCount(), threads) << "a playback thread is left";
        EXPECT_EQ(acted, row.action != None);
        EXPECT_EQ(rig.statuses, row.statuses);
        ExpectPlayed(Shorts(support::ReadFile(out)), rig, row.played, row.volume);
    }
}

TEST(Playback, WithoutASoundDeviceNothingPlays) {
    Rig rig;
    rig.Open("");
    EXPECT_FALSE(rig.shell.sound.available());
    const auto& log = rig.shell.log.Entries();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const LogEntry& e) {
        return e.message == "Warning: No sound device found!" && e.level == 1;
    }));
    ASSERT_EQ(rig.prompter.prompts.size(), 1u);
    EXPECT_EQ(rig.prompter.prompts[0].text, "Warning: No Sound Device Found!");
    const int threads = ThreadCount();
    EXPECT_FALSE(rig.playback->Play());
    EXPECT_FALSE(rig.playback->isPlaying());
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(rig.prompter.prompts.size(), 1u);   // Play says nothing
}

TEST(Playback, CommandLinePlaysAndRefusesWithoutDevice) {
    Rig rig;
    const std::string out = rig.dir.file("cli.raw"), home = rig.dir.path() + "/home";
    UseAlsaConfig(rig.dir, out);
    auto r = testsupport::RunCli({"--home", home, "--drive", rig.image.cuePath, "play", "--checked", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Finished."), std::string::npos) << r.out;
    ExpectPlayed(Shorts(support::ReadFile(out)), rig, {{2, 0, -1}}, 100);

    r = testsupport::RunCli({"--home", home, "--drive", rig.image.cuePath, "play", "--seconds", "x"});
    EXPECT_EQ(r.status, 64);
    EXPECT_NE(r.err.find("--seconds needs a number"), std::string::npos) << r.err;

    UseAlsaConfig(rig.dir, "");
    r = testsupport::RunCli({"--home", home, "--drive", rig.image.cuePath, "play"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Warning: No Sound Device Found!"), std::string::npos) << r.err;
}
