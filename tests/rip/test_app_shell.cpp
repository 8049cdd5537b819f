// The shared opening and shutdown: the log lines and the window's calls in their order on
// disc images, the drive selection, the catch-all and the ways opening stops.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "encoders/OutputFormat.h"
#include "rip/AppShell.h"
#include "support/DiscImage.h"

using namespace quarrow;
using namespace quarrow::discimage;

namespace {

// Opens a shell, writing the window's calls and the log's entries into one trace in the
// order they happen.
struct Opening : ShellView {
    AppShell shell;
    RecordingPrompter prompter;
    std::vector<std::string> trace;
    bool failOnAddDrive = false;

    int Open(const ShellOptions& options) {
        shell.log.SetEntrySink([this](const LogEntry& e) { trace.push_back(e.message); });
        return OpenShell(shell, prompter, options, *this);
    }
    void AddDrive(int number, const std::string& entry, const std::string& menu) override {
        if (failOnAddDrive) throw std::runtime_error("the drive menu is full");
        trace.push_back("add " + std::to_string(number) + " " + entry + " | " + menu);
    }
    void SelectDrive(int number) override { trace.push_back("select " + std::to_string(number)); }
    void ShowOutputFormat(const std::string& line) override { trace.push_back("format " + line); }
    void StartRefresh() override { trace.push_back("refresh"); }
};

class AppShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ListSystemCdDrives().empty()) GTEST_SKIP() << "this machine has CD drives of its own";
        one_ = WriteDiscImage(dir_.path(), "one", AudioLayout({900, 1200}));
        two_ = WriteDiscImage(dir_.path(), "two", AudioLayout({600}));
    }
    ShellOptions Options(std::vector<std::string> drives) const {
        ShellOptions o;
        o.home = home_;
        o.drives = std::move(drives);
        return o;
    }
    ScratchDir dir_;
    std::string home_ = dir_.path() + "/home";
    DiscImage one_, two_;
    // The box shows the initial format's summary (its text is the format unit's own).
    const std::string format_ = [this] {
        CSettings initial = CSettings::Initial(home_);
        return "format " + BuildOutputFormatSummary(initial).line;
    }();
};

}  // namespace

TEST_F(AppShellTest, OpensSelectsAndClosesInTheWindowsOrder) {
    const std::string prx = home_ + "/Quarrow.prx", one = "Image  one.cue  BIN/CUE", two = "Image  two.cue  BIN/CUE";
    const std::vector<std::string> drives = {
        "Initializig CD-drives...", "add 1 " + one + " | Drive  " + one_.cuePath, "Find drive \"" + one + "\"",
        "add 2 " + two + " | Drive  " + two_.cuePath, "Find drive \"" + two + "\"", "CD drives are found !",
        "Set audio format: MP3.", "Set drive Image  two.cue as current.", "select 2", "refresh", format_,
        "Initialization finished."};
    auto then = [&](std::vector<std::string> head) {
        head.insert(head.end(), drives.begin(), drives.end());
        return head;
    };
    // A fresh home, then the same home again: settings and server list now load, and the
    // WMA profile put there is found.
    for (const auto& want : {then({"Lauching Quarrow...", "Initializing main dialog...", "Initializing ActiveX controls...",
                                   "Warning: WMA profile file " + prx + " not found!"}),
                             then({"Quarrow settings loaded.", "Lauching Quarrow...", "Initializing main dialog...",
                                   "FreeDB settings loaded.", "Initializing ActiveX controls..."})}) {
        Opening o;
        ASSERT_EQ(o.Open(Options({one_.cuePath, two_.cuePath})), 0);
        EXPECT_EQ(o.trace, want);
        EXPECT_TRUE(o.prompter.prompts.empty());
        EXPECT_EQ("format " + o.shell.outputFormatLine, format_);

        // Choosing the other drive resets the current row and the destinations, then refreshes.
        RefreshDisc(*o.shell.main);
        ASSERT_EQ(o.shell.main->rows.size(), 1u);
        o.shell.main->currentItem = 3;
        o.trace.clear();
        SetDrive(o.shell, 1, o);
        SetDrive(o.shell, 3, o);  // names no drive: nothing happens
        EXPECT_EQ(o.trace, (std::vector<std::string>{"Set drive Image  one.cue as current.", "select 1", "refresh"}));
        EXPECT_EQ(o.shell.main->currentItem, 0);
        EXPECT_EQ(o.shell.main->rows[0].destination, "");
        CloseShell(o.shell);
        EXPECT_EQ(o.trace.back(), "Closing Quarrow...");
        support::WriteFile(prx, "");
    }
    CSettings saved = CSettings::Initial(home_);
    ASSERT_TRUE(saved.Load(home_));
    EXPECT_EQ(saved.MISC.DriveNum, 1);
    EXPECT_EQ(saved.MISC.DriveCount, 2);
    EXPECT_GT(std::filesystem::file_size(home_ + "/FreeDB Server.ini"), 0u);
}

TEST_F(AppShellTest, OpeningStopsOrWarns) {
    struct Case {
        const char* name;
        std::optional<std::string> home;
        bool driveOptional, failingView;
        int status;
        std::vector<std::string> prompts;  // each prompt holds its text; the first is an error
        std::vector<std::string> tail;     // the trace's last lines
    };
    const std::string missing = dir_.path() + "/missing.cue";
    support::WriteFile(dir_.path() + "/file", "x");
    const std::vector<Case> cases = {
        {"no drive", home_, false, false, 2, {"missing.cue", "CD Drives NOT Found!"}, {}},
        {"no drive, settings only", home_, true, false, 0, {"missing.cue", "No CD Drive Found !", "No Drive was Detected !"},
         {"No CD drive found !", format_, "No drive was detected !", "Initialization finished."}},
        {"the window fails", home_, false, true, 1, {"Fail to Initialize! "},
         {"Fail to initialize!!", "Cause: the drive menu is full"}},
        {"empty home", std::string(), false, false, 64, {"--home needs a folder, not an empty value"}, {}},
        {"home under a file", dir_.path() + "/file/home", false, false, 1, {"cannot create the home folder"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Opening o;
        o.failOnAddDrive = c.failingView;
        ShellOptions options = Options({c.failingView ? one_.cuePath : missing});
        options.home = c.home;
        options.driveOptional = c.driveOptional;
        EXPECT_EQ(o.Open(options), c.status);
        ASSERT_EQ(o.prompter.prompts.size(), c.prompts.size());
        for (std::size_t i = 0; i < c.prompts.size(); ++i)
            EXPECT_NE(o.prompter.prompts[i].text.find(c.prompts[i]), std::string::npos) << o.prompter.prompts[i].text;
        EXPECT_EQ(o.prompter.prompts[0].icon, MessageIcon::Error);
        ASSERT_GE(o.trace.size(), c.tail.size());
        EXPECT_EQ(std::vector<std::string>(o.trace.end() - static_cast<long>(c.tail.size()), o.trace.end()), c.tail);
    }
}
