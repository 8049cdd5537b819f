#include "albuminfo/FreeDBPages.h"

#include <cstdio>

#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/Settings.h"

namespace quarrow {

namespace {

std::string Num(long long v) { return std::to_string(v); }

std::string Hex(uint32_t v, bool padded) {
    char buf[16];
    std::snprintf(buf, sizeof buf, padded ? "%08x" : "%x", v);
    return buf;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Server editor

const std::vector<std::string>& FreeDBServerEditor::LevelItems() {
    static const std::vector<std::string> items{"3", "4", "5"};
    return items;
}

FreeDBServerEditor FreeDBServerEditor::From(const CFreeDBServer& server) {
    FreeDBServerEditor e;
    e.host = server.host;
    e.port = server.port;
    e.timeout = server.timeout;
    // A level outside 3-5 (from a hand-edited file) shows as the nearest item.
    e.levelIndex = server.protocolLevel < 3 ? 0 : server.protocolLevel > 5 ? 2 : server.protocolLevel - 3;
    return e;
}

CFreeDBServer FreeDBServerEditor::ToServer() const {
    const int index = levelIndex < 0 ? 0 : levelIndex > 2 ? 2 : levelIndex;
    return CFreeDBServer{host, port, timeout, index + 3};
}

// ---------------------------------------------------------------------------------------
// Page "FreeDB"

FreeDBOptionPage::FreeDBOptionPage(CSettings& settings, FreeDBServerList& list, CCDDB& client,
                                   CCDDBServerAddress& address, Prompter& prompter,
                                   std::string homeFolder, const bool* refreshing)
    : settings_(settings),
      list_(list),
      client_(client),
      address_(address),
      prompter_(prompter),
      home_(std::move(homeFolder)),
      refreshing_(refreshing) {}

void FreeDBOptionPage::RefillLines() {
    lines.clear();
    for (const CFreeDBServer& s : list_) lines.push_back(FreeDBServerLine(s));
}

void FreeDBOptionPage::Open() {
    RefillLines();
    const int cur = settings_.FREEDB.CurFreeDBServer;
    selection = (cur >= 0 && static_cast<std::size_t>(cur) < list_.size()) ? cur : -1;
    albumInfoSource = settings_.FREEDB.AlbumInfoSource;
    loadAlbumInfo = settings_.FREEDB.LoadAlbumInfo != 0;
    saveAlbumInfo = settings_.FREEDB.SaveAlbumInfo != 0;
    localCddbDir = settings_.FREEDB.LocalCDDBDir;
    modified = false;
}

void FreeDBOptionPage::SetSelection(int index) {
    selection = (index >= 0 && static_cast<std::size_t>(index) < list_.size()) ? index : -1;
    modified = true;
}

void FreeDBOptionPage::SetAlbumInfoSource(int source) {
    if (source < 0 || source > 2 || !SourceEnabled()) return;
    albumInfoSource = source;
    modified = true;
}

void FreeDBOptionPage::SetLoadAlbumInfo(bool on) {
    loadAlbumInfo = on;
    modified = true;
}

void FreeDBOptionPage::SetSaveAlbumInfo(bool on) {
    saveAlbumInfo = on;
    modified = true;
}

void FreeDBOptionPage::SetLocalCddbDir(const std::string& dir) {
    localCddbDir = dir;
    modified = true;
}

bool FreeDBOptionPage::Add(const FreeDBServerEditor& editor, std::string* why) {
    if (!ValidFreeDBServer(editor.ToServer(), why)) return false;
    list_.push_back(editor.ToServer());
    lines.push_back(editor.Line());
    selection = static_cast<int>(list_.size()) - 1;
    modified = true;
    return true;
}

bool FreeDBOptionPage::EditorForSelection(FreeDBServerEditor& editor) const {
    if (selection < 0 || static_cast<std::size_t>(selection) >= list_.size()) return false;
    editor = FreeDBServerEditor::From(list_[static_cast<std::size_t>(selection)]);
    return true;
}

bool FreeDBOptionPage::ReplaceSelected(const FreeDBServerEditor& editor, std::string* why) {
    if (selection < 0 || static_cast<std::size_t>(selection) >= list_.size()) {
        if (why) *why = "no server is selected";
        return false;
    }
    if (!ValidFreeDBServer(editor.ToServer(), why)) return false;
    list_[static_cast<std::size_t>(selection)] = editor.ToServer();
    RefillLines();
    modified = true;
    return true;
}

bool FreeDBOptionPage::DeleteSelected() {
    if (selection < 0 || static_cast<std::size_t>(selection) >= list_.size()) return false;
    list_.erase(list_.begin() + selection);
    RefillLines();
    selection = list_.empty() ? -1 : 0;
    modified = true;
    return true;
}

void FreeDBOptionPage::ResetServers() {
    ResetFreeDBServers(list_);
    RefillLines();
    selection = 0;
    modified = true;
}

void FreeDBOptionPage::ResetAll(FreeDBClientPage* clientPage) {
    const CSettings defaults = CSettings::Defaults(home_);
    auto& f = settings_.FREEDB;
    ResetFreeDBServers(list_);
    f.CurFreeDBServer = 0;
    f.AlbumInfoSource = 0;
    f.SaveAlbumInfo = 1;
    f.LoadAlbumInfo = 1;
    f.LocalCDDBDir = home_ + "/Local CDDB";
    f.Application = "MfcCDDB";
    f.Version = "1.28";
    f.Username = defaults.FREEDB.Username;
    f.ProxyUsername.clear();
    f.ProxyPassword.clear();
    f.ProxyURL.clear();
    f.ProxyPort = 80;
    f.Authentication = 0;
    f.Proxy = 0;
    Open();
    modified = true;
    if (clientPage) clientPage->Open();
}

bool FreeDBOptionPage::Apply() {
    if (refreshing_ && *refreshing_) return false;
    if (list_.empty() || selection < 0 || static_cast<std::size_t>(selection) >= list_.size()) {
        prompter_.Message(kEmptyListMessage, MessageIcon::Error);
        ResetServers();
        return false;
    }
    auto& f = settings_.FREEDB;
    f.CurFreeDBServer = static_cast<int16_t>(selection);
    ApplyServerToClient(client_, address_, list_[static_cast<std::size_t>(selection)]);
    f.AlbumInfoSource = static_cast<int16_t>(albumInfoSource);
    f.LoadAlbumInfo = loadAlbumInfo ? 1 : 0;
    f.SaveAlbumInfo = saveAlbumInfo ? 1 : 0;
    f.LocalCDDBDir = localCddbDir;
    modified = false;
    return true;
}

void FreeDBOptionPage::Cancel() {
    if (list_.empty() || selection < 0 || static_cast<std::size_t>(selection) >= list_.size()) {
        prompter_.Message(kEmptyListMessage, MessageIcon::Error);
        ResetFreeDBServers(list_);
        RefillLines();
        settings_.FREEDB.CurFreeDBServer = 0;
    }
}

bool FreeDBOptionPage::SelectedServer(CFreeDBServer& server) const {
    if (selection < 0 || static_cast<std::size_t>(selection) >= list_.size()) return false;
    server = list_[static_cast<std::size_t>(selection)];
    return true;
}

// ---------------------------------------------------------------------------------------
// Page "FreeDB::Client"

FreeDBClientPage::FreeDBClientPage(CSettings& settings, CCDDB& client, const bool* refreshing)
    : settings_(settings), client_(client), refreshing_(refreshing) {}

void FreeDBClientPage::Open() {
    const auto& f = settings_.FREEDB;
    username = f.Username;
    application = f.Application;
    version = f.Version;
    useProxy = f.Proxy != 0;
    proxyUrl = f.ProxyURL;
    proxyPort = f.ProxyPort;
    authentication = f.Authentication != 0;
    proxyUsername = f.ProxyUsername;
    proxyPassword = f.ProxyPassword;
    modified = false;
}

void FreeDBClientPage::SetUseProxy(bool on) {
    useProxy = on;
    if (!on) authentication = false;
    modified = true;
}

void FreeDBClientPage::SetAuthentication(bool on) {
    if (!useProxy) return;
    authentication = on;
    modified = true;
}

bool FreeDBClientPage::Apply() {
    if (refreshing_ && *refreshing_) return false;
    auto& f = settings_.FREEDB;
    f.Authentication = authentication ? 1 : 0;
    f.Proxy = useProxy ? 1 : 0;
    f.Application = application;
    f.Version = version;
    f.Username = username;
    f.ProxyURL = proxyUrl;
    f.ProxyUsername = proxyUsername;
    f.ProxyPassword = proxyPassword;
    f.ProxyPort = proxyPort;
    client_.SetClientName(application);
    client_.SetClientVersion(version);
    if (useProxy) {
        client_.SetProxyHost(proxyUrl);
        client_.SetProxyPort(proxyPort);
    } else {
        client_.SetProxyHost("");   // an earlier proxy is not used any more
    }
    if (useProxy && authentication) {
        client_.SetProxyUser(proxyUsername);
        client_.SetProxyPassword(proxyPassword);
    } else {
        client_.SetProxyUser("");
        client_.SetProxyPassword("");
    }
    client_.SetUserName(username);
    modified = false;
    return true;
}

// ---------------------------------------------------------------------------------------
// Server test

bool MakeServerTestSetup(const FreeDBOptionPage& page, const FreeDBClientPage& clientPage,
                         ServerTestSetup& setup) {
    if (!page.SelectedServer(setup.server)) return false;
    static_cast<CddbClientFields&>(setup) = clientPage;
    setup.authentication = clientPage.useProxy && clientPage.authentication;
    return true;
}

std::string ServerTestStep0(const ServerTestSetup& setup, const CCDDBServerAddress& address) {
    std::string t = "Site URL: " + address.host + address.path + "\n";
    t += "Port: " + Num(address.port) + "\n";
    t += "Protocol Level: " + Num(setup.server.protocolLevel) + "\n";
    t += "Timeout: " + Num(setup.server.timeout) + " milliseconds\n";
    t += "Username: " + setup.username + "\n";
    t += "Application: " + setup.application + "\n";
    t += "Application Version: " + setup.version + "\n";
    if (setup.useProxy) {
        t += "Proxy: " + setup.proxyUrl + "\n";
        t += "Proxy Port: " + Num(setup.proxyPort) + "\n";
        if (setup.authentication) t += "Proxy Username: " + setup.proxyUsername + "\n";
    }
    return t;
}

std::string ServerTestStep1(const std::string& motd, const std::string& host,
                            const CCDDBServerStatus& s) {
    std::string t = "Message of the Day: " + motd + "\n";
    t += "Status of the site " + host + " is as follows\n";
    t += "Current Protocol: " + Num(s.currentProtocol) + "\n";
    t += "Max Protocol: " + Num(s.maxProtocol) + "\n";
    t += "Gets Allowed: " + Num(s.gets) + "\n";
    t += "Updates Allowed: " + Num(s.updates) + "\n";
    t += "Posting: " + Num(s.posting) + "\n";
    t += "Quotes: " + Num(s.quotes) + "\n";
    t += "Current Users: " + Num(s.currentUsers) + "\n";
    t += "Max Users: " + Num(s.maxUsers) + "\n";
    t += "Strip Extended: " + Num(s.stripExtended) + "\n";
    t += "Database Entries: " + Num(s.databaseEntries) + "\n";
    for (std::size_t i = 0; i < s.categories.size(); ++i)
        t += s.categories[i] + " entries: " +
             Num(i < s.categoryEntries.size() ? s.categoryEntries[i] : 0) + " \n";
    for (std::size_t i = 0; i < s.pendingCategories.size(); ++i)
        t += s.pendingCategories[i] + " pending entries: " +
             Num(i < s.pendingEntries.size() ? s.pendingEntries[i] : 0) + " \n";
    return t;
}

std::string ServerTestStep2(const std::vector<CCDDBMatch>& matches, const CAlbumRecord& r) {
    std::string t = "Retrieved the following matches for the inserted audio CD\n";
    for (const CCDDBMatch& m : matches) t += Hex(m.discId, true) + ", " + m.artist + " / " + m.title + "\n";
    t += "\nOne of the retrieved album details\n";
    t += "Album Title: " + r.albumTitle + "\n";
    t += "Album Artist: " + r.artist + "\n";
    t += "Disc Length (seconds): " + Num(r.discLength) + "\n";
    t += "Submitted via: " + r.submittingProgram + " " + r.submittingVersion + " " +
         r.submittingComment + "\n";
    t += "Database Revision: " + Num(r.revision) + "\n";
    t += "DISCID: " + Hex(r.discId, false) + "\n";
    return t;
}

std::string ServerTestStep3(const CAlbumRecord& r) {
    std::string t = "Track Names are:\n";
    for (std::size_t i = 0; i < r.trackTitles.size(); ++i)
        t += "Track " + Num(static_cast<long long>(i) + 1) + ": " + r.trackTitles[i] + "\n";
    t += "\nExtended Track Data:\n";
    for (std::size_t i = 0; i < r.trackExtendedData.size(); ++i)
        t += "Track " + Num(static_cast<long long>(i) + 1) + ": " + r.trackExtendedData[i] + "\n";
    t += "\nExtended Data: " + r.extendedData + "\n";
    t += "\nTrack Offsets:\n";
    for (uint32_t o : r.trackFrameOffsets) t += Num(static_cast<int32_t>(o)) + "\n";
    t += "Playorder :\n";
    for (int32_t p : r.playOrder) t += Num(p) + "\n";
    return t;
}

const char* ServerTestCaption(int step) { return step == 4 ? "Error" : "Testing..."; }

FreeDBServerTest::~FreeDBServerTest() { Stop(); }

bool FreeDBServerTest::Start(ServerTestSetup setup, Sink sink, Prompter* prompter,
                             std::function<bool()> isPlaying, std::function<void()> stopPlayback,
                             CEventLog* log) {
    if (isPlaying && isPlaying()) {
        if (prompter && !prompter->AskYesNo(kStopPlayingQuestion)) return false;
        if (stopPlayback) stopPlayback();
    }
    Stop();
    {
        std::lock_guard<std::mutex> lock(sinkMutex_);
        sink_ = std::move(sink);
    }
    cancel_ = false;
    running_ = true;
    thread_ = std::thread([this, setup = std::move(setup), log]() mutable { Run(std::move(setup), log); });
    return true;
}

void FreeDBServerTest::Stop() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(sinkMutex_);
    sink_ = nullptr;
}

void FreeDBServerTest::Join() {
    if (thread_.joinable()) thread_.join();
}

void FreeDBServerTest::Send(int step, const std::string& text) {
    std::lock_guard<std::mutex> lock(sinkMutex_);
    if (cancel_ || !sink_) return;
    sink_(step, text);
}

void FreeDBServerTest::Run(ServerTestSetup setup, CEventLog* log) {
    CCDDB client(log);
    client.SetCancelFlag(&cancel_);
    CCDDBServerAddress address;
    ApplyServerToClient(client, address, setup.server);
    client.SetClientName(setup.application);
    client.SetClientVersion(setup.version);
    if (setup.useProxy) {
        client.SetProxyHost(setup.proxyUrl);
        client.SetProxyPort(setup.proxyPort);
        if (setup.authentication) {
            client.SetProxyUser(setup.proxyUsername);
            client.SetProxyPassword(setup.proxyPassword);
        }
    }
    client.SetUserName(setup.username);

    Send(0, ServerTestStep0(setup, address));
    try {
        CCDDBServerStatus status;
        std::string motd;
        client.Status(address, status);
        client.Motd(address, motd);
        Send(1, ServerTestStep1(motd, address.host, status));
        CCDDBToc toc;
        if (!cancel_ && setup.discToc && setup.discToc(toc)) {
            std::vector<CCDDBMatch> matches;
            client.Query(address, ComputeDiscId(toc), toc, matches);
            CAlbumRecord record;
            client.Read(address, matches.front().category, matches.front().discId, record);
            Send(2, ServerTestStep2(matches, record));
            Send(3, ServerTestStep3(record));
        }
    } catch (...) {
        Send(4, kServerTestError);
    }
    running_ = false;
}

}  // namespace quarrow
