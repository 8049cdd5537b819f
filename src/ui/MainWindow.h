// MainWindow: the Qt main window. It shows the track list, the status boxes, the drive
// choice and the command buttons and menus; every rule behind them lives in the core
// (opening and shutdown, track list, rip commands, quick-set), which it drives.
#pragma once

#include <QMainWindow>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/CdDrive.h"
#include "rip/AppShell.h"

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSlider;
class QTreeWidget;
class QTreeWidgetItem;

namespace quarrow::ui {

class LogViewDialog;
class PlaybackControls;
class QtPrompter;
class VisualisationWidget;

class MainWindow : public QMainWindow, public quarrow::ShellView, public quarrow::CdDriveListener {
    Q_OBJECT
public:
    // Commands of the menus, buttons and accelerators.
    enum Command : int {
        CmdExit = 32773, CmdViewLog = 32775, CmdQueryFreeDB = 32776, CmdGetIsrc = 32777,
        CmdCheckSelected = 32779, CmdUncheckSelected, CmdCheckAll, CmdUncheckAll, CmdReverseCheck,
        CmdPrevious = 32784, CmdPlay, CmdPause, CmdStop, CmdNext,
        CmdEject = 32789, CmdCloseTray = 32790, CmdRefresh = 32791, CmdTrayLock = 32792, CmdTrayUnlock = 32793,
        CmdFirst = 32794, CmdLast = 32795,
        CmdRipSelected = 32796, CmdRipChecked = 32797, CmdRipAll = 32798, CmdRipRange = 32880, CmdRipImage = 32881,
        CmdOptions = 32800, CmdHelp = 32821, CmdHomePage = 32822, CmdTip = 32827, CmdAbout = 32828,
        CmdEmail = 32829, CmdOnlineSupport = 32830, CmdEditCdInfo = 32837, CmdEditTitle = 32841,
        CmdPreset1 = 32846,
    };
    enum DriveCommand { Refresh = 0, Eject = 1, CloseTray = 2, LockTray = 3, UnlockTray = 4 };
    enum StatusBox { LastEvent = 0, MediaState = 1, OutputFormat = 2 };

    // prompter: who answers the core's questions; a QtPrompter on this window when null.
    explicit MainWindow(quarrow::Prompter* prompter = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Opens through the core; 0, or the exit status when opening stopped.
    int open(const quarrow::ShellOptions& options);
    // Joins every drive command and the medium poll, then the core's shutdown. Once only.
    void shutdown();

    // Starts a drive command on its own thread; false when ignored (a refresh is running).
    bool startDriveCommand(DriveCommand command);
    bool refreshing() const;
    // Runs the window's events until every drive command has ended and its results are shown.
    void waitForDriveCommands();
    // Brings the window to the front (a second start asked for it).
    void bringToFront();

    quarrow::AppShell& shell() { return shell_; }
    QAction* action(int command) const;
    QMenu* formatMenu() const { return formatMenu_; }
    QMenu* driveMenu() const { return driveMenu_; }
    QTreeWidget* trackList() const { return list_; }
    QLineEdit* statusBox(StatusBox box) const { return status_[box]; }
    QComboBox* driveCombo() const { return driveCombo_; }
    LogViewDialog* logView() const { return logView_; }
    PlaybackControls* playbackControls() const { return playback_.get(); }

    // ShellView
    void AddDrive(int number, const std::string& comboEntry, const std::string& menuText) override;
    void SelectDrive(int number) override;
    void ShowOutputFormat(const std::string& line) override;
    void StartRefresh() override;
    // CdDriveListener (from the poll thread)
    void OnMediumChanged() override;
    void OnReadRetry(int16_t attempt, int32_t sector) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWidgets();
    void buildMenus();
    QAction* addCommand(QMenu* menu, int id, const char* text, void (MainWindow::*slot)());
    void setStatus(StatusBox box, const std::string& text);
    void fillTrackList();
    void syncRow(int row);
    int selectedRow() const;
    void selectRow(int row);
    void onItemChanged(QTreeWidgetItem* item, int column);
    void onDoubleClick();
    void onContextMenu(const QPoint& pos);
    void onDriveChosen(int comboIndex);
    void onMediumChangedHere();
    void setTrayMenu(int lockedState);  // 1 locked, 0 unlocked, -1 both enabled
    void runDriveCommand(DriveCommand command);
    void reapWorkers(bool all);
    void startPolling();
    void stopPolling();
    void applyQuickSet(int index);
    void syncFormatMenu();
    void showTipOnce();
    void openUrl(const QString& url);
    void notAvailable(const char* what);

    // Commands.
    void cmdExit();
    void cmdViewLog();
    void cmdQueryFreeDB();
    void cmdGetIsrc();
    void cmdCheckSelected();
    void cmdUncheckSelected();
    void cmdCheckAll();
    void cmdUncheckAll();
    void cmdReverseCheck();
    // Transport commands (PlaybackControls carries them out).
    void cmdPlay();
    void cmdContextPlay();
    void cmdPause();
    void cmdStop();
    void cmdPrevious();
    void cmdNext();
    void cmdFirst();
    void cmdLast();
    void stopPlayback();
    void cmdEject();
    void cmdCloseTray();
    void cmdRefresh();
    void cmdTrayLock();
    void cmdTrayUnlock();
    void cmdRipSelected();
    void cmdRipChecked();
    void cmdRipAll();
    void cmdRipRange();
    void cmdRipImage();
    void rip(int mode);
    void cmdOptions();
    void cmdHelp();
    void cmdHomePage();
    void cmdTip();
    void cmdAbout();
    void cmdEmail();
    void cmdOnlineSupport();
    void cmdEditCdInfo();
    void cmdEditTitle();

    quarrow::AppShell shell_;
    std::unique_ptr<QtPrompter> ownPrompter_;
    quarrow::Prompter* prompter_;
    bool opened_ = false;
    bool shutDown_ = false;
    bool updatingList_ = false;
    bool tipShown_ = false;
    bool ripping_ = false;
    int trayState_ = -1;   // as setTrayMenu was last told

    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    // Shared: a wait that re-enters (the window closes meanwhile) joins from its own copy.
    std::vector<std::shared_ptr<Worker>> workers_;
    std::atomic<int> refreshRuns_{0};
    std::atomic<bool> queryCommand_{false};   // the next refresh is the "Query FreeDB" command's

    std::thread pollThread_;
    std::mutex pollMutex_;
    std::condition_variable pollWake_;
    bool stopPoll_ = false;
    std::atomic<bool> pollPaused_{false};

    std::map<int, QAction*> actions_;
    QMenu* formatMenu_ = nullptr;
    QMenu* driveMenu_ = nullptr;
    QAction* noDriveItem_ = nullptr;
    QActionGroup* driveGroup_ = nullptr;
    QActionGroup* formatGroup_ = nullptr;
    QActionGroup* presetGroup_ = nullptr;
    std::vector<QAction*> driveItems_;
    QTreeWidget* list_ = nullptr;
    QLineEdit* status_[3] = {};
    QComboBox* driveCombo_ = nullptr;
    QSlider* position_ = nullptr;
    QSlider* volume_ = nullptr;
    QLabel* elapsed_ = nullptr;
    VisualisationWidget* vis_ = nullptr;
    LogViewDialog* logView_ = nullptr;
    std::unique_ptr<PlaybackControls> playback_;   // made once the window has opened
};

}  // namespace quarrow::ui
