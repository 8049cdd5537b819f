// Playback through the real audio library on a generated disc image: ALSA's default device
// is its file plugin, so what was played is read back and compared with the tracks' PCM.
#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
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
    DIR* d = opendir("/proc/self/task");
    while (dirent* e = d ? readdir(d) : nullptr) n += e->d_name[0] != '.';
    if (d) closedir(d);
    return n;
}

template <class Bytes>
std::vector<int16_t> Shorts(const Bytes& bytes) {
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
    DiscImage image = WriteDiscImage(dir.path(), "disc", AudioLayout({75, 80, 150}));
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
        ASSERT_EQ(OpenShell(shell, prompter, {dir.path() + "/home", {image.cuePath}, "", false, true}, *this), 0);
        playback = std::make_unique<CPlayback>(*shell.main, shell.sound, *this);
    }
    std::vector<int16_t> Track(int t) {   // 0-based
        return Shorts(ReadBinSectors(image.binPath, image.starts[t], t == 2 ? 150 : t == 1 ? 80 : 75));
    }
};

// Track t from sample `from`, `length` samples; -1 is measured: up to where the next
// stretch's first samples appear, or to the track's end.
struct Stretch {
    int track;
    long from, length;
};

// Compares the capture with the stretches after the leading silence; only silence may follow.
void ExpectPlayed(const std::vector<int16_t>& got, Rig& rig, const std::vector<Stretch>& want, int volume) {
    auto pcm = [&](int t) {
        auto v = rig.Track(t);
        for (int16_t& s : v) s = static_cast<int16_t>(static_cast<float>(s) * (static_cast<float>(volume) * 0.01f));
        return v;
    };
    auto find = [&](std::size_t i, std::size_t pos) {   // where stretch i begins at or after pos
        const auto v = pcm(want[i].track);
        const auto from = v.begin() + want[i].from;
        return static_cast<std::size_t>(std::search(got.begin() + static_cast<long>(pos), got.end(), from, from + 64) -
                                        got.begin());
    };
    std::size_t pos = find(0, 0);
    ASSERT_LT(pos, got.size()) << "the first stretch was never played";
    ASSERT_TRUE(std::all_of(got.begin(), got.begin() + static_cast<long>(pos), [](int16_t s) { return s == 0; }));
    for (std::size_t i = 0; i < want.size(); ++i) {
        const auto v = pcm(want[i].track);
        const std::size_t len = want[i].length >= 0 ? static_cast<std::size_t>(want[i].length)
                                : i + 1 < want.size() ? find(i + 1, pos) - pos
                                                      : v.size() - static_cast<std::size_t>(want[i].from);
        ASSERT_LE(pos + len, got.size()) << "stretch " << i << " is cut short";
        ASSERT_LE(want[i].from + static_cast<long>(len), static_cast<long>(v.size()));
        ASSERT_TRUE(std::equal(v.begin() + want[i].from, v.begin() + want[i].from + static_cast<long>(len),
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
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](auto& e) { return e.message == "Warning: No sound device found!"; }));
    EXPECT_EQ(rig.prompter.prompts.at(0).text, "Warning: No Sound Device Found!");
    const int threads = ThreadCount();
    EXPECT_FALSE(rig.playback->Play());
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(rig.prompter.prompts.size(), 1u);   // Play says nothing
}

TEST(Playback, CommandLinePlaysTheCheckedTracks) {
    Rig rig;
    const std::string out = rig.dir.file("cli.raw"), home = rig.dir.path() + "/home";
    UseAlsaConfig(rig.dir, out);
    const auto r = testsupport::RunCli({"--home", home, "--drive", rig.image.cuePath, "play", "--checked", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Finished."), std::string::npos) << r.out;
    ExpectPlayed(Shorts(support::ReadFile(out)), rig, {{2, 0, -1}}, 100);
}
