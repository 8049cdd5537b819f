// The rules of the "FreeDB" and "FreeDB::Client" option pages, the "FreeDB Server
// Editor", and the server test, without widgets: a view binds its controls to these
// fields and calls the operations; the test reports its texts through a sink.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "albuminfo/CDDB.h"
#include "albuminfo/FreeDBServer.h"

namespace quarrow {

class CEventLog;
class Prompter;
struct CSettings;

// The "FreeDB Server Editor" dialog.
struct FreeDBServerEditor {
    std::string host;
    int32_t port = 80;
    int32_t timeout = 60000;
    int levelIndex = 2;          // the items "3", "4", "5"; the level is index + 3
    static constexpr const char* kCaption = "FreeDB Server Editor";
    static const std::vector<std::string>& LevelItems();
    static FreeDBServerEditor New() { return {}; }
    static FreeDBServerEditor From(const CFreeDBServer& server);
    CFreeDBServer ToServer() const;
    std::string Line() const { return FreeDBServerLine(ToServer()); }
};

class FreeDBClientPage;

// Page "FreeDB".
class FreeDBOptionPage {
public:
    static constexpr const char* kCaption = "FreeDB";
    static constexpr const char* kEmptyListMessage = "Empty FreeDB Sever!\nReset FreeDB Servers Now!";
    static constexpr const char* kFolderChooserTitle = "Please select the local FreeDB folder";

    // refreshing: the main window's flag; the page refuses to apply while it is set.
    FreeDBOptionPage(CSettings& settings, FreeDBServerList& list, CCDDB& client,
                     CCDDBServerAddress& address, Prompter& prompter, std::string homeFolder,
                     const bool* refreshing = nullptr);

    // Fills the fields from the settings and the lines from the list.
    void Open();

    // Fields.
    std::vector<std::string> lines;
    int selection = -1;          // -1: none
    int albumInfoSource = 0;
    bool loadAlbumInfo = true;
    bool saveAlbumInfo = true;
    std::string localCddbDir;
    bool modified = false;

    bool SourceEnabled() const { return loadAlbumInfo; }

    // Field changes through these mark the page modified.
    void SetSelection(int index);
    void SetAlbumInfoSource(int source);
    void SetLoadAlbumInfo(bool on);
    void SetSaveAlbumInfo(bool on);
    void SetLocalCddbDir(const std::string& dir);

    // "Add" after the editor's OK: appends and selects the server; false with the reason
    // (nothing added) when its host or port is not valid.
    bool Add(const FreeDBServerEditor& editor, std::string* why = nullptr);
    // "Edit": the editor for the selected entry; false when none is selected.
    bool EditorForSelection(FreeDBServerEditor& editor) const;
    // "Edit" after the editor's OK: replaces the selected server; false with the reason when
    // none is selected or the host or port is not valid.
    bool ReplaceSelected(const FreeDBServerEditor& editor, std::string* why = nullptr);
    // "Delete": false when none is selected.
    bool DeleteSelected();
    // "Reset" beside the list.
    void ResetServers();
    // "Reset" at the bottom: every FreeDB and client setting to its default; the client
    // page (when given) reloads its fields.
    void ResetAll(FreeDBClientPage* clientPage = nullptr);

    // The sheet's OK or Apply; false when the page refuses.
    bool Apply();
    // The sheet's Cancel.
    void Cancel();

    // The server the test uses: the selected entry; false when none.
    bool SelectedServer(CFreeDBServer& server) const;

private:
    void RefillLines();
    CSettings& settings_;
    FreeDBServerList& list_;
    CCDDB& client_;
    CCDDBServerAddress& address_;
    Prompter& prompter_;
    std::string home_;
    const bool* refreshing_;
};

// The client fields of the "FreeDB::Client" page, which the server test also takes.
struct CddbClientFields {
    std::string username;
    std::string application;
    std::string version;
    bool useProxy = false;
    std::string proxyUrl;
    int32_t proxyPort = 80;
    bool authentication = false;
    std::string proxyUsername;
    std::string proxyPassword;
};

// Page "FreeDB::Client".
class FreeDBClientPage : public CddbClientFields {
public:
    static constexpr const char* kCaption = "FreeDB::Client";

    FreeDBClientPage(CSettings& settings, CCDDB& client, const bool* refreshing = nullptr);
    void Open();                 // fields from the settings

    bool modified = false;

    // Clearing "Use Proxy" also clears "Authentication".
    void SetUseProxy(bool on);
    void SetAuthentication(bool on);
    bool ProxyFieldsEnabled() const { return useProxy; }
    bool AuthenticationEnabled() const { return useProxy; }
    bool CredentialFieldsEnabled() const { return useProxy && authentication; }

    bool Apply();                // false while a refresh runs

private:
    CSettings& settings_;
    CCDDB& client_;
    const bool* refreshing_;
};

// What the server test needs, taken from the pages when it starts.
struct ServerTestSetup : CddbClientFields {
    CFreeDBServer server;
    // Gives the disc's table when a disc is ready and every row is audio; false
    // otherwise (steps 2 and 3 are then skipped). May throw (a failed table read).
    std::function<bool(CCDDBToc& toc)> discToc;
};

// Builds the setup from the selected server and the client page's current fields.
bool MakeServerTestSetup(const FreeDBOptionPage& page, const FreeDBClientPage& clientPage,
                         ServerTestSetup& setup);

// The step 0-4 texts; step 4 is "An error occurred!".
std::string ServerTestStep0(const ServerTestSetup& setup, const CCDDBServerAddress& address);
std::string ServerTestStep1(const std::string& motd, const std::string& host,
                            const CCDDBServerStatus& status);
std::string ServerTestStep2(const std::vector<CCDDBMatch>& matches, const CAlbumRecord& record);
std::string ServerTestStep3(const CAlbumRecord& record);
inline constexpr const char* kServerTestError = "An error occurred!";

// The server test on its own thread with a client of its own. The sink gets (step,
// text); steps 0-3 have the caption "Testing...", step 4 "Error". Stop() makes pending
// waits give up and joins the thread; no text is sent after Stop() returns.
class FreeDBServerTest {
public:
    using Sink = std::function<void(int step, const std::string& text)>;
    FreeDBServerTest() = default;
    ~FreeDBServerTest();
    FreeDBServerTest(const FreeDBServerTest&) = delete;
    FreeDBServerTest& operator=(const FreeDBServerTest&) = delete;

    // Before starting: with a track playing (isPlaying true) asks the playback question;
    // No ends here (false), Yes calls stopPlayback. Starts the thread; a test still
    // running is stopped first.
    bool Start(ServerTestSetup setup, Sink sink, Prompter* prompter = nullptr,
               std::function<bool()> isPlaying = {}, std::function<void()> stopPlayback = {},
               CEventLog* log = nullptr);
    void Stop();
    // Waits for the thread to end by itself.
    void Join();
    bool Running() const { return running_; }

    static constexpr const char* kStopPlayingQuestion =
        "Quarrow MUST Stop Playing to Refresh Disc.\r\n          Do You Wish to Continue?";

private:
    void Run(ServerTestSetup setup, CEventLog* log);
    void Send(int step, const std::string& text);
    std::thread thread_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> running_{false};
    std::mutex sinkMutex_;
    Sink sink_;
};

// Caption of a server test step.
const char* ServerTestCaption(int step);

}  // namespace quarrow
