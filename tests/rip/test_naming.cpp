// Output naming: the extension map, the schemes, the replaced-characters flag, hostile
// album data that must stay inside the destination, the folder walk, the Output page
// model and the Destination column.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "albuminfo/DiscRefresh.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "rip/Naming.h"
#include "support/DiscImage.h"

namespace fs = std::filesystem;
using namespace quarrow;

namespace {

CSettings MakeSettings(int scheme, int format = 2) {
    CSettings s;
    s.OUTPUT.DesDir = "/music/out/", s.OUTPUT.FileStyle = int16_t(scheme), s.OUTPUT.OutputFormat = int16_t(format);
    return s;
}

CAlbumRecord MakeAlbum(const std::string& artist, const std::string& album, const std::string& title,
                       int tracks = 3) {
    CAlbumRecord a;
    a.artist = artist, a.albumTitle = album, a.year = 1994, a.trackTitles.assign(tracks, title);
    return a;
}

bool ValidUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = s[i];
        const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) if ((s[i + k] & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

}  // namespace

TEST(FormatExtension, MapFollowsFormatAndChoices) {
    // Each step changes one choice of the settings, then names a format; in order.
    struct Step { std::function<void(CSettings&)> set; int format; const char* ext; };
    const std::vector<Step> steps = {
        {nullptr, 6, ".flac"}, {[](CSettings& s) { s.FLAC.Native = 0; }, 6, ".ogg"},
        {[](CSettings& s) { s.AIFF.Ext = 7; }, 9, ".aiff"}, {[](CSettings& s) { s.AAC.ContainerFormat = 3; }, 10, ".m4a"},
        {[](CSettings& s) { s.MPC.Ext = -1; }, 11, ""}, {[](CSettings& s) { s.OTHER.Ext[1] = 2; }, 14, ".vox"},  // RAW
        {[](CSettings& s) { s.CUSTOM.FileExt = "opus"; }, 31, ".opus"},
        {nullptr, 0, ""}, {nullptr, 32, ""}};
    CSettings s;
    for (const Step& step : steps) {
        if (step.set) step.set(s);
        EXPECT_EQ(FormatExtension(s, step.format), step.ext) << "format " << step.format;
    }
    s.OUTPUT.OutputFormat = 12;
    EXPECT_EQ(FormatExtension(s), ".wv");
}

TEST(BuildTrackPath, SchemesNameTheTrack) {
    const CAlbumRecord album = MakeAlbum("Artist", "Album", "Title", 120);
    const std::vector<std::tuple<int, int, std::string>> cases = {
        {0, 0, "01.mp3"}, {0, 99, "100.mp3"}, {1, 5, "Track06.mp3"}, {2, 5, "Title.mp3"},
        {3, 5, "06-Title.mp3"}, {4, 5, "Artist-Album-Title.mp3"}, {6, 5, "Artist-Album-1994-06-Title.mp3"},
        {7, 5, "Artist/06-Title.mp3"}, {9, 5, "Artist/Album/Title.mp3"}, {11, 5, "Artist/Album/06-Title.mp3"},
        {12, 5, "Artist-Album-1994/06-Title.mp3"}};
    for (const auto& [scheme, track, name] : cases)
        EXPECT_EQ(BuildTrackPath(MakeSettings(scheme), album, track).path, "/music/out/" + name) << scheme;

    CSettings under = MakeSettings(5, 9);
    under.OUTPUT.Separator = "_", under.AIFF.Ext = 1, under.OUTPUT.DesDir = "/music/out";   // the slash is added
    EXPECT_EQ(BuildTrackPath(under, album, 2).path, "/music/out/Artist_Album_03_Title.aifc");
    // A track beyond the titles has an empty title.
    EXPECT_EQ(BuildTrackPath(MakeSettings(3), MakeAlbum("A", "B", "T", 1), 4).path, "/music/out/05-.mp3");
}

TEST(BuildTrackPath, ReplacedCharactersSetTheFlag) {
    struct Case { int scheme; const char* artist; const char* title; const char* path; bool replaced;
                  const char* dest = "/music/out/"; int format = 2; };
    const std::vector<Case> cases = {
        {11, "AC/DC", "Song", "AC DC/Album/01-Song.mp3", true},
        {7, "A\\B", "Song", "A/B/01-Song.mp3", false},   // a backslash in the prefix makes a folder level
        {2, "A", "Why? \"Now\" <a|b*c>", "Why   Now   a b c .mp3", true},
        {0, "A", "T", "01.mp3", false, "/mnt/c:/rips/"},   // a colon in the destination is the user's choice
        {0, "A", "T", "01.x y", true, "/music/out/", 31}};   // a custom extension with a slash adds no level
    for (const Case& c : cases) {
        CSettings s = MakeSettings(c.scheme, c.format);
        s.OUTPUT.DesDir = c.dest;
        s.CUSTOM.FileExt = "x/y";
        const TrackPath tp = BuildTrackPath(s, MakeAlbum(c.artist, "Album", c.title), 0);
        EXPECT_EQ(tp.path, c.dest + std::string(c.path));
        EXPECT_EQ(tp.replaced, c.replaced) << c.path;
    }
}

TEST(BuildTrackPath, HostileAlbumDataStaysInsideTheDestination) {
    std::string longUtf8;
    for (int i = 0; i < 300; ++i) longUtf8 += "\xC3\xA9";   // e acute, 2 bytes
    const std::vector<std::string> hostile = {
        "AC/DC", "A\\B", "..", ".", "...", " ", "", "../../etc", "..\\..\\etc", "\\..\\", "a:b", "\"q\"",
        "$(rm -rf ~)", "`x`; echo", "\x01\n\t", std::string(300, 'x'), longUtf8, "/", "\\", " . . "};
    for (int scheme = 0; scheme < kNamingSchemeCount; ++scheme) {
        for (const std::string& text : hostile) {
            for (int field = 0; field < 3; ++field) {
                CAlbumRecord album = MakeAlbum(field == 0 ? text : "Artist", field == 1 ? text : "Album",
                                               field == 2 ? text : "Title");
                const TrackPath tp = BuildTrackPath(MakeSettings(scheme), album, 1);
                SCOPED_TRACE("scheme " + std::to_string(scheme) + " field " + std::to_string(field) + " " + tp.path);
                ASSERT_TRUE(tp.path.rfind("/music/out/", 0) == 0 && tp.path.size() > 11);
                // No component may be empty, "." or ".." (so nothing climbs out), too long,
                // broken UTF-8 or a control character.
                for (const fs::path& part : fs::path(tp.path.substr(11))) {
                    const std::string c = part.string();
                    EXPECT_TRUE(!c.empty() && c != "." && c != ".." && c.size() <= kMaxNameBytes && ValidUtf8(c)) << c;
                    for (unsigned char ch : c) EXPECT_GE(ch, 0x20);
                }
                EXPECT_EQ(tp.path.substr(tp.path.size() - 4), ".mp3");
                // The file name leaves room for its temporary ".NAME.part" and the like.
                EXPECT_LE(FileNameOf(tp.path).size(), kMaxFileNameBytes);
            }
        }
    }

    // The 300-character title keeps its extension, cut on a character boundary.
    TrackPath cut = BuildTrackPath(MakeSettings(2), MakeAlbum("A", "B", longUtf8), 0);
    EXPECT_EQ(FileNameOf(cut.path), longUtf8.substr(0, 242) + ".mp3");   // 121 two-byte characters
    TrackPath dots = BuildTrackPath(MakeSettings(9), MakeAlbum("..", ".", "T"), 0);
    EXPECT_EQ(dots.path, "/music/out/__/_/T.mp3");
    EXPECT_TRUE(dots.replaced && !cut.replaced);
}

TEST(CutUtf8, NeverSplitsASequence) {
    // A euro sign needs 3 bytes, a note 4.
    EXPECT_EQ(CutUtf8("abc", 5) + "|" + CutUtf8("abcdef", 3) + "|" + CutUtf8("a\xE2\x82\xAC", 3) + "|" +
                  CutUtf8("a\xE2\x82\xAC", 4) + "|" + CutUtf8("\xF0\x9F\x8E\xB5z", 2),
              "abc|abc|a|a\xE2\x82\xAC|");
}

TEST(EnsureFolder, CreatesUpToFiveMissingLevels) {
    discimage::ScratchDir tmp;
    int attempts = 0;
    const std::string five = tmp.path() + "/a/b/c/d/e";
    EXPECT_TRUE(EnsureFolder(five, &attempts) && fs::is_directory(five));
    EXPECT_EQ(attempts, 9);
    EXPECT_TRUE(EnsureFolder(five + "/", &attempts) && attempts == 0);   // already there
    const std::string six = tmp.path() + "/p/q/r/s/t/u";
    EXPECT_FALSE(EnsureFolder(six, &attempts) || fs::exists(six));
    EXPECT_EQ(attempts, 10);
    // A file in the way is not a folder.
    support::WriteFile(tmp.path() + "/file", "x");
    EXPECT_FALSE(EnsureFolder(tmp.path() + "/file") || EnsureFolder(tmp.path() + "/file/sub") || EnsureFolder(""));
}

TEST(OutputOptions, PageRulesPreviewAndApply) {
    CSettings s;
    s.OUTPUT.DesDir = "/music/", s.OUTPUT.Separator = "_", s.OUTPUT.SingleOpt = 0;
    COutputOptions page;
    page.Open(s);
    EXPECT_EQ(std::make_tuple(page.modified, page.scheme, page.CueSheetEnabled(), page.PlaylistEnabled()),
              std::make_tuple(false, 11, false, true));
    page.SetSingleOutput(true);
    EXPECT_EQ(std::make_tuple(page.modified, page.CueSheetEnabled(), page.PlaylistEnabled()),
              std::make_tuple(true, true, false));
    EXPECT_EQ(page.SchemeEntries().at(11), " <Artist>/<Album>/<Tracknum>_<Tracktitle>");  // with the separator

    page.SetScheme(6);
    EXPECT_EQ(page.Preview(s), "Artist_Album_1994_06_Title.mp3");
    page.SetDelimiterText("a/b:c");
    EXPECT_EQ(page.separator, "a-b");
    page.SetDelimiterText("\xE2\x80\x93 ~ x");   // an en dash is one character
    EXPECT_EQ(page.separator, "\xE2\x80\x93 ~");
    page.SetDelimiterText("+");
    page.SetScheme(12);
    EXPECT_EQ(page.Preview(s), "Artist+Album+1994/06+Title.mp3");

    page.SetDestination("/new/place  ");
    EXPECT_TRUE(!page.Apply(s, true) && s.OUTPUT.DesDir == "/music/");
    EXPECT_TRUE(page.Apply(s, false));
    EXPECT_EQ(s.OUTPUT.DesDir + " " + std::to_string(s.OUTPUT.FileStyle) + s.OUTPUT.Separator +
                  std::to_string(s.OUTPUT.SingleOpt), "/new/place/ 12+1");
}

TEST(OutputOptions, ResetAsksAndRestoresOutputAndEncoderSettings) {
    CSettings s;
    s.OUTPUT.FileStyle = 3, s.OUTPUT.DesDir = "/elsewhere/", s.MP3.LameBits = 2, s.CUSTOM.FileExt = "zzz";
    s.DISC.RipModePreset = 4;   // not an output setting
    COutputOptions page;
    page.Open(s);
    RecordingPrompter no;
    no.yesNoReplies = {false};
    EXPECT_FALSE(page.Reset(s, "/home/u", no));
    ASSERT_EQ(no.prompts.size(), 1u);
    EXPECT_EQ(no.prompts[0].text + std::to_string(s.OUTPUT.FileStyle),
              "Reset ALL Output Options(including the Subpages), Are You Sure?3");
    RecordingPrompter yes;
    EXPECT_TRUE(page.Reset(s, "/home/u", yes));
    const CSettings d = CSettings::Defaults("/home/u");
    EXPECT_EQ(std::tie(s.OUTPUT.FileStyle, s.OUTPUT.DesDir, s.MP3.LameBits, s.CUSTOM.FileExt, s.DISC.RipModePreset),
              std::make_tuple(11, d.OUTPUT.DesDir, 11, std::string("mp3"), 4));
    EXPECT_TRUE(page.scheme == 11 && page.modified);
}

TEST(DestinationColumn, NamesAudioRowsAndLogsReplacements) {
    CSettings s = MakeSettings(11);
    CEventLog log;
    CdGrabber grabber;
    RecordingPrompter prompter;
    MainContext ctx(s, log, grabber, prompter);
    ctx.album = MakeAlbum("AC/DC  ", "Album ", "x");
    ctx.album.trackTitles = {"One", "Two", "Th:ree", "Four"};
    // The last row is in the second session: the fourth title.
    for (auto [session, track, audio] : std::vector<std::tuple<int, int, bool>>{
             {0, 0, true}, {0, 1, true}, {0, 2, false}, {1, 0, true}}) {
        TrackRow& r = ctx.rows.emplace_back();
        r.key = 100 * session + track + (audio ? 60000 : 0), r.session = session, r.track = track, r.audio = audio;
    }
    InstallDestinationColumn(ctx);
    FillDestinations(ctx);
    std::vector<std::string> dests;
    for (const TrackRow& r : ctx.rows) dests.push_back(r.destination);
    EXPECT_EQ(dests, (std::vector<std::string>{"/music/out/AC DC/Album/01-One.mp3", "/music/out/AC DC/Album/02-Two.mp3",
                                               "Not an audio track", "/music/out/AC DC/Album/04-Four.mp3"}));
    int replacedLines = 0;
    for (const LogEntry& e : log.Entries()) replacedLines += e.message == "Invalid character(s) replaced.";
    EXPECT_EQ(replacedLines, 3);
}
