#include "ui/MainWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <chrono>

#include "albuminfo/AlbumEditor.h"
#include "albuminfo/AlbumSteps.h"
#include "albuminfo/TrackList.h"
#include "app/DataFiles.h"
#include "app/TipFile.h"
#include "encoders/OutputFormat.h"
#include "encoders/QuickSet.h"
#include "rip/RipCommands.h"
#include "rip/ThreadPriority.h"
#include "ui/AboutBox.h"
#include "ui/EditCdInfoDialog.h"
#include "ui/GuiThread.h"
#include "ui/Icons.h"
#include "ui/LogViewDialog.h"
#include "ui/PlaybackControls.h"
#include "ui/OptionsSheet.h"
#include "ui/QtPrompter.h"
#include "ui/RipDialog.h"
#include "ui/SectorRangeDialog.h"
#include "ui/TipDialog.h"
#include "ui/VisualisationWidget.h"

namespace quarrow::ui {

namespace {

const char* const kHomePageUrl = "https://quarrow.example.org/";
const char* const kSupportUrl = "https://quarrow.example.org/support";
const char* const kSupportMail = "mailto:support@quarrow.example.org";

// Header texts and widths of the track list.
struct ListColumn {
    const char* header;
    int width;
};
const ListColumn kColumns[] = {
    {"     #", 48}, {"                              Title", 228}, {"Type", 90}, {"ISRC", 90},
    {"Start", 80}, {"Duration", 70}, {"Status", 65}, {"                             Destination", 278},
};

const char* const kStatusLabels[] = {"Last Event", "Disc Media State", "Output Audio Format"};

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

MainWindow::MainWindow(Prompter* prompter, QWidget* parent) : QMainWindow(parent) {
    if (!prompter) {
        ownPrompter_ = std::make_unique<QtPrompter>(this);
        prompter = ownPrompter_.get();
    }
    prompter_ = prompter;
    setWindowTitle(QStringLiteral("Quarrow 3.1.0"));
    setWindowIcon(QuarrowIcon(QStringLiteral("quarrow")));
    buildWidgets();
    buildMenus();
    resize(990, 640);

    // Events reach the window from any thread; widgets are only touched on its own.
    // Events of several threads may arrive out of order: the box always shows the latest.
    shell_.log.SetSink([this](const std::string& text) {
        if (OnGuiThread()) setStatus(LastEvent, text);
        else QMetaObject::invokeMethod(this, [this] { setStatus(LastEvent, shell_.log.LastEvent()); },
                                       Qt::QueuedConnection);
    });
    shell_.log.SetEntrySink([this](const LogEntry& entry) {
        QMetaObject::invokeMethod(this, [this, entry] { if (logView_) logView_->addEntry(entry); },
                                  OnGuiThread() ? Qt::DirectConnection : Qt::QueuedConnection);
    });
}

MainWindow::~MainWindow() {
    shutdown();
}

void MainWindow::buildWidgets() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* root = new QVBoxLayout(central);

    // The command buttons, in the order of their tooltips.
    struct Button {
        const char* caption;
        const char* icon;
        const char* tooltip;
        int command;
    };
    static const Button kButtons[] = {
        {"Refresh", "refresh", "Refresh Disc and Query FreeDB", CmdRefresh},
        {"Log", "log", "View Log", CmdViewLog},
        {"Format", "format", "Quickly Set the Output Format", 0},
        {"Options", "options", "Set Options of Quarrow", CmdOptions},
        {"About", "about", "About Quarrow", CmdAbout},
        {"Homepage", "homepage", "Visit the Homepage of Quarrow", CmdHomePage},
        {"Help", "help", "Launch the Help of Quarrow", CmdHelp},
        {"Edit CD", "edit-cd", "Edit/Revise/Save/Submit the CD Info", CmdEditCdInfo},
        // The rip buttons' tooltips are the rip commands' own captions (mode 0 selected .. 4 image).
        {"Rip SEL", "rip-selected", RipCommandText(0).caption, CmdRipSelected},
        {"Rip CHK", "rip-checked", RipCommandText(1).caption, CmdRipChecked},
        {"Rip ALL", "rip-all", RipCommandText(2).caption, CmdRipAll},
        {"Rip RAN", "rip-range", RipCommandText(3).caption, CmdRipRange},
        {"Rip to IMG", "rip-image", RipCommandText(4).caption, CmdRipImage},
    };
    auto* buttons = new QHBoxLayout;
    formatMenu_ = new QMenu(QStringLiteral("Set &Format"), this);
    for (const Button& b : kButtons) {
        auto* button = new QToolButton(central);
        button->setText(QString::fromLatin1(b.caption));
        button->setIcon(QuarrowIcon(QString::fromLatin1(b.icon)));
        button->setIconSize(QSize(32, 32));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setToolTip(QString::fromLatin1(b.tooltip));
        button->setAutoRaise(true);
        button->setObjectName(QStringLiteral("button-%1").arg(QString::fromLatin1(b.icon)));
        if (b.command == 0) {
            button->setMenu(formatMenu_);
            button->setPopupMode(QToolButton::InstantPopup);
        } else {
            const int command = b.command;
            connect(button, &QToolButton::clicked, this, [this, command] {
                if (QAction* a = action(command)) a->trigger();
            });
        }
        buttons->addWidget(button);
    }
    buttons->addStretch();
    root->addLayout(buttons);

    // Left: drive, status boxes, playback controls. Right: the visualisation.
    auto* middle = new QHBoxLayout;
    auto* left = new QGridLayout;
    int row = 0;
    left->addWidget(new QLabel(QStringLiteral("&Drive:"), central), row, 0);
    driveCombo_ = new QComboBox(central);
    driveCombo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    qobject_cast<QLabel*>(left->itemAtPosition(row, 0)->widget())->setBuddy(driveCombo_);
    connect(driveCombo_, &QComboBox::activated, this, &MainWindow::onDriveChosen);
    left->addWidget(driveCombo_, row++, 1);
    for (int i = 0; i < 3; ++i) {
        status_[i] = new QLineEdit(central);
        status_[i]->setReadOnly(true);
        status_[i]->setFocusPolicy(Qt::ClickFocus);
        left->addWidget(new QLabel(QString::fromLatin1(kStatusLabels[i]) + ":", central), row, 0);
        left->addWidget(status_[i], row++, 1);
        setStatus(static_cast<StatusBox>(i), "");
    }

    position_ = new QSlider(Qt::Horizontal, central);
    position_->setRange(0, 1000);
    position_->setEnabled(false);  // seeking needs playback
    elapsed_ = new QLabel(QStringLiteral("00:00"), central);
    auto* positionRow = new QHBoxLayout;
    positionRow->addWidget(position_, 1);
    positionRow->addWidget(elapsed_);
    left->addLayout(positionRow, row++, 0, 1, 2);

    struct Transport {
        const char* icon;
        const char* tooltip;
        int command;
    };
    static const Transport kTransport[] = {
        {"previous", "Backward to the Previous Checked Audio Track", CmdPrevious},
        {"play", "Play Audio Track ", CmdPlay},
        {"pause", "Pause/Resume Playing ", CmdPause},
        {"stop", "Stop Playing ", CmdStop},
        {"next", "Forward to the Next Checked Audio Track", CmdNext},
        {"eject", "Eject the Current CD Drive Tray ", CmdEject},
    };
    auto* transport = new QHBoxLayout;
    for (const Transport& t : kTransport) {
        auto* button = new QToolButton(central);
        button->setIcon(QuarrowIcon(QString::fromLatin1(t.icon)));
        button->setIconSize(QSize(24, 24));
        button->setToolTip(QString::fromLatin1(t.tooltip));
        button->setObjectName(QStringLiteral("button-%1").arg(QString::fromLatin1(t.icon)));
        const int command = t.command;
        connect(button, &QToolButton::clicked, this, [this, command] {
            if (QAction* a = action(command)) a->trigger();
        });
        transport->addWidget(button);
    }
    transport->addSpacing(12);
    transport->addWidget(new QLabel(QStringLiteral("Volume"), central));
    volume_ = new QSlider(Qt::Horizontal, central);
    volume_->setRange(0, 100);
    volume_->setToolTip(QStringLiteral("Volume"));
    transport->addWidget(volume_, 1);
    left->addLayout(transport, row++, 0, 1, 2);
    left->setRowStretch(row, 1);
    left->setColumnStretch(1, 1);
    middle->addLayout(left, 1);

    vis_ = new VisualisationWidget(central);
    vis_->setFixedWidth(372);
    vis_->setMinimumHeight(150);
    middle->addWidget(vis_);
    root->addLayout(middle);

    list_ = new QTreeWidget(central);
    list_->setColumnCount(8);
    QStringList headers;
    for (const ListColumn& c : kColumns) headers << QString::fromLatin1(c.header);
    list_->setHeaderLabels(headers);
    for (int c = 0; c < 8; ++c) list_->setColumnWidth(c, kColumns[c].width);
    // The check box shares the first column with the number.
    list_->setColumnWidth(0, kColumns[0].width + list_->style()->pixelMetric(QStyle::PM_IndicatorWidth));
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformRowHeights(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);  // Edit Title opens the editor
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setMinimumHeight(220);
    connect(list_, &QTreeWidget::itemChanged, this, &MainWindow::onItemChanged);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { onDoubleClick(); });
    connect(list_, &QTreeWidget::customContextMenuRequested, this, &MainWindow::onContextMenu);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!updatingList_ && item && shell_.main && !refreshing()) {
            int r = list_->indexOfTopLevelItem(item);
            if (r >= 0 && r < static_cast<int>(shell_.main->rows.size())) shell_.main->currentItem = r;
        }
    });
    root->addWidget(list_, 1);
}

QAction* MainWindow::addCommand(QMenu* menu, int id, const char* text, void (MainWindow::*slot)()) {
    // The text after a tab is the accelerator; the menu shows the text as written.
    QString full = QString::fromLatin1(text);
    auto* a = new QAction(full, this);
    if (int tab = full.indexOf(QLatin1Char('\t')); tab >= 0)
        a->setShortcut(QKeySequence(full.mid(tab + 1).trimmed()));
    connect(a, &QAction::triggered, this, slot);
    menu->addAction(a);
    actions_[id] = a;
    return a;
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addCommand(file, CmdRipSelected, "Rip Selected\t Ctrl+F2", &MainWindow::cmdRipSelected);
    addCommand(file, CmdRipChecked, "Rip All Checked\tCtrl+F3", &MainWindow::cmdRipChecked);
    addCommand(file, CmdRipAll, "Rip All\tCtrl+F4", &MainWindow::cmdRipAll);
    addCommand(file, CmdRipRange, "Rip Sector Range\tCtrl+F5", &MainWindow::cmdRipRange);
    addCommand(file, CmdRipImage, "Rip to CD Image\tCtrl+F6", &MainWindow::cmdRipImage);
    file->addSeparator();
    addCommand(file, CmdExit, "Exit", &MainWindow::cmdExit);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    addCommand(edit, CmdCheckSelected, "Check Selected", &MainWindow::cmdCheckSelected);
    addCommand(edit, CmdUncheckSelected, "Uncheck Selected", &MainWindow::cmdUncheckSelected);
    addCommand(edit, CmdCheckAll, "Check All", &MainWindow::cmdCheckAll);
    addCommand(edit, CmdUncheckAll, "Uncheck All", &MainWindow::cmdUncheckAll);
    addCommand(edit, CmdReverseCheck, "Reverse Check", &MainWindow::cmdReverseCheck);
    edit->addSeparator();
    addCommand(edit, CmdEditTitle, "Edit Title\tF2", &MainWindow::cmdEditTitle);
    addCommand(edit, CmdEditCdInfo, "Edit CD Info\tCtrl+E", &MainWindow::cmdEditCdInfo)
        ->setIcon(QuarrowIcon(QStringLiteral("edit-cd")));
    edit->addSeparator();
    addCommand(edit, CmdGetIsrc, "Get ISRC ", &MainWindow::cmdGetIsrc);
    addCommand(edit, CmdQueryFreeDB, "Query FreeDB", &MainWindow::cmdQueryFreeDB)->setCheckable(true);
    connect(edit, &QMenu::aboutToShow, this, [this] {
        actions_[CmdGetIsrc]->setEnabled(shell_.main && !refreshing() && GetIsrcEnabled(*shell_.main));
        try {
            actions_[CmdQueryFreeDB]->setChecked(shell_.main && !refreshing() && shell_.grabber.DriveCount() > 0 &&
                                                 QueryFreeDBChecked(*shell_.main));
        } catch (const std::exception&) {
        }
    });

    // "Tray Lock" and "Tray Unlock" are the eleventh and twelfth entries of this menu.
    QMenu* play = menuBar()->addMenu(QStringLiteral("&Play"));
    addCommand(play, CmdPlay, "Play\tCtrl+P ", &MainWindow::cmdPlay)->setIcon(QuarrowIcon(QStringLiteral("play")));
    addCommand(play, CmdPause, "Pause/Resume", &MainWindow::cmdPause)->setIcon(QuarrowIcon(QStringLiteral("pause")));
    addCommand(play, CmdStop, "Stop\tCtrl+S", &MainWindow::cmdStop)->setIcon(QuarrowIcon(QStringLiteral("stop")));
    addCommand(play, CmdPrevious, "Previous", &MainWindow::cmdPrevious)
        ->setIcon(QuarrowIcon(QStringLiteral("previous")));
    addCommand(play, CmdNext, "Next", &MainWindow::cmdNext)->setIcon(QuarrowIcon(QStringLiteral("next")));
    addCommand(play, CmdFirst, "First", &MainWindow::cmdFirst);
    addCommand(play, CmdLast, "Last", &MainWindow::cmdLast);
    play->addSeparator();
    addCommand(play, CmdEject, "Eject Tray", &MainWindow::cmdEject)->setIcon(QuarrowIcon(QStringLiteral("eject")));
    addCommand(play, CmdCloseTray, "Close Tray", &MainWindow::cmdCloseTray);
    addCommand(play, CmdTrayLock, "Tray Lock", &MainWindow::cmdTrayLock)->setCheckable(true);
    addCommand(play, CmdTrayUnlock, "Tray Unlock", &MainWindow::cmdTrayUnlock)->setCheckable(true);
    play->addSeparator();
    addCommand(play, CmdRefresh, "Refresh Disc\tF5", &MainWindow::cmdRefresh)
        ->setIcon(QuarrowIcon(QStringLiteral("refresh")));
    driveMenu_ = play->addMenu(QStringLiteral("Drive(s)"));
    noDriveItem_ = driveMenu_->addAction(QStringLiteral("No Drive"));
    noDriveItem_->setEnabled(false);
    driveGroup_ = new QActionGroup(this);
    driveGroup_->setExclusive(true);
    setTrayMenu(-1);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    addCommand(options, CmdOptions, "Options\tCtrl+O", &MainWindow::cmdOptions)
        ->setIcon(QuarrowIcon(QStringLiteral("options")));
    formatMenu_->setIcon(QuarrowIcon(QStringLiteral("format")));
    options->addMenu(formatMenu_);
    formatGroup_ = new QActionGroup(this);
    formatGroup_->setExclusive(true);
    const auto& quick = QuickSetCommands();
    for (int i = 0; i < static_cast<int>(quick.size()); ++i) {
        QAction* a = formatMenu_->addAction(Q(quick[static_cast<std::size_t>(i)].label));
        a->setCheckable(true);
        formatGroup_->addAction(a);
        connect(a, &QAction::triggered, this, [this, i] { applyQuickSet(i); });
    }
    QMenu* presets = options->addMenu(QStringLiteral("&Visualization"));
    presetGroup_ = new QActionGroup(this);
    for (int p = 0; p < 8; ++p) {
        QAction* a = presets->addAction(QStringLiteral("Preset %1").arg(p + 1));
        a->setCheckable(true);
        presetGroup_->addAction(a);
        actions_[CmdPreset1 + p] = a;
        connect(a, &QAction::triggered, this, [this, p] {
            if (playback_) playback_->applyPreset(p);
            else vis_->setPreset(p);
        });
    }
    connect(presets, &QMenu::aboutToShow, this, [this] { actions_[CmdPreset1 + vis_->preset()]->setChecked(true); });
    options->addSeparator();
    addCommand(options, CmdViewLog, "ViewLog", &MainWindow::cmdViewLog)->setIcon(QuarrowIcon(QStringLiteral("log")));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    addCommand(help, CmdHelp, "Help Contents\tF1", &MainWindow::cmdHelp)->setIcon(QuarrowIcon(QStringLiteral("help")));
    addCommand(help, CmdTip, "Tip of the Day", &MainWindow::cmdTip);
    help->addSeparator();
    addCommand(help, CmdHomePage, "HomePage", &MainWindow::cmdHomePage)
        ->setIcon(QuarrowIcon(QStringLiteral("homepage")));
    addCommand(help, CmdEmail, "Email Support", &MainWindow::cmdEmail);
    addCommand(help, CmdOnlineSupport, "Online Support", &MainWindow::cmdOnlineSupport);
    help->addSeparator();
    addCommand(help, CmdAbout, "About", &MainWindow::cmdAbout)->setIcon(QuarrowIcon(QStringLiteral("about")));
}

QAction* MainWindow::action(int command) const {
    auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------- opening and shutdown

int MainWindow::open(const ShellOptions& options) {
    ShellOptions withSound = options;
    withSound.soundOutput = true;
    const int status = OpenShell(shell_, *prompter_, withSound, *this);
    if (status != 0) return status;
    opened_ = true;
    volume_->setValue(shell_.settings.OUTPUT.Volume);
    playback_ = std::make_unique<PlaybackControls>(
        *shell_.main, shell_.sound, PlaybackControls::Widgets{position_, volume_, elapsed_, vis_},
        [this] { return refreshing(); },
        [this] {
            for (int r = 0; r < list_->topLevelItemCount(); ++r) syncRow(r);
        });
    syncFormatMenu();
    if (shell_.grabber.DriveCount() > 0) shell_.grabber.Drive().SetListener(this);
    startPolling();
    list_->setFocus();
    QTimer::singleShot(1000, this, &MainWindow::showTipOnce);
    return 0;
}

void MainWindow::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // A refresh waiting for the user's choice of match gets "cancel" and gives its lookup up.
    if (ownPrompter_) ownPrompter_->SetClosing();
    if (shell_.main) CancelAlbumLookup(*shell_.main);
    stopPlayback();
    playback_.reset();
    stopPolling();
    // An opening that stopped half-way may have started the first refresh: join it too.
    reapWorkers(true);
    if (opened_) {
        if (shell_.grabber.DriveCount() > 0) shell_.grabber.Drive().SetListener(nullptr);
        CloseShell(shell_);
    }
    shell_.log.SetSink({});
    shell_.log.SetEntrySink({});
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A choice's event loop lies below this one: let it end first, then close.
    if (ownPrompter_ && ownPrompter_->ChoiceOpen()) {
        ownPrompter_->SetClosing();
        event->ignore();
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    shutdown();
    event->accept();
}

void MainWindow::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::showTipOnce() {
    if (tipShown_ || shutDown_ || LoadTipSetting(shell_.home) == 0) return;
    cmdTip();
}

// ---------------------------------------------------------------- what the core shows

void MainWindow::AddDrive(int number, const std::string& comboEntry, const std::string& menuText) {
    driveCombo_->addItem(Q(comboEntry));
    QAction* a = driveMenu_->addAction(Q(menuText));
    a->setCheckable(true);
    driveGroup_->addAction(a);
    connect(a, &QAction::triggered, this, [this, number] { onDriveChosen(number - 1); });
    driveItems_.push_back(a);
    if (noDriveItem_) {
        driveMenu_->removeAction(noDriveItem_);
        noDriveItem_->deleteLater();
        noDriveItem_ = nullptr;
    }
}

void MainWindow::SelectDrive(int number) {
    driveCombo_->setCurrentIndex(number - 1);
    if (number >= 1 && number <= static_cast<int>(driveItems_.size()))
        driveItems_[static_cast<std::size_t>(number - 1)]->setChecked(true);
    setTrayMenu(-1);
}

void MainWindow::ShowOutputFormat(const std::string& line) {
    setStatus(OutputFormat, line);
}

void MainWindow::StartRefresh() {
    startDriveCommand(Refresh);
}

void MainWindow::setStatus(StatusBox box, const std::string& text) {
    status_[box]->setText(Q(text));
    status_[box]->setCursorPosition(0);
    status_[box]->setToolTip(QString::fromLatin1(kStatusLabels[box]) + ":  " + Q(text));
}

// ---------------------------------------------------------------- drive commands

bool MainWindow::refreshing() const {
    return refreshRuns_.load() > 0 || (shell_.main && shell_.main->refreshing);
}

bool MainWindow::startDriveCommand(DriveCommand command) {
    if (!shell_.main || shutDown_ || shell_.grabber.DriveCount() == 0 || refreshing()) return false;
    stopPlayback();
    reapWorkers(false);
    if (command == Refresh) {
        ++refreshRuns_;
        shell_.main->refreshing = true;
        updatingList_ = true;
        list_->clear();
        updatingList_ = false;
        driveCombo_->setEnabled(false);
    } else if (command == LockTray) {
        setTrayMenu(1);
    } else if (command == UnlockTray) {
        setTrayMenu(0);
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back(std::make_shared<Worker>(Worker{std::thread([this, command, done] {
                                                           runDriveCommand(command);
                                                           done->store(true);
                                                       }),
                                                       done}));
    return true;
}

void MainWindow::runDriveCommand(DriveCommand command) {
    // Drive commands run at the highest priority the system allows this process.
    ApplyToCurrentThread(ThreadPriority::Highest);
    MainContext& ctx = *shell_.main;
    try {
        CdDrive& drive = shell_.grabber.Drive();
        switch (command) {
        case Refresh:
            if (queryCommand_.exchange(false)) QueryFreeDBCommand(ctx);
            else RefreshDisc(ctx);
            break;
        case Eject: drive.EjectTray(); break;
        case CloseTray: drive.CloseTray(); break;
        case LockTray: drive.LockTray(); break;
        case UnlockTray: drive.UnlockTray(); break;
        }
    } catch (const std::exception& e) {
        try {
            ctx.log.Add(std::string("Error: drive command failed: ") + e.what(), 1);
        } catch (...) {
        }
    }
    if (command == Refresh) {
        QMetaObject::invokeMethod(this, [this] {
            setStatus(MediaState, shell_.main->mediaState);
            fillTrackList();
            // The read of a chosen match is over: its dialog, busy until now, closes.
            if (ownPrompter_) ownPrompter_->EndMatchRead();
            driveCombo_->setEnabled(true);
            --refreshRuns_;
        }, Qt::QueuedConnection);
    }
}

void MainWindow::reapWorkers(bool all) {
    // The events run while waiting may come back here (the window closes, a command starts):
    // each pass walks its own copy, and a worker joined by an inner call is just skipped.
    do {
        const std::vector<std::shared_ptr<Worker>> pass = workers_;
        for (const std::shared_ptr<Worker>& w : pass) {
            // A worker may be waiting for the window (a question): keep the window's events
            // running until it has ended.
            if (all)
                while (!w->done->load()) QApplication::processEvents(QEventLoop::AllEvents, 20);
            if (w->done->load() && w->thread.joinable()) w->thread.join();
        }
        std::erase_if(workers_, [](const std::shared_ptr<Worker>& w) { return !w->thread.joinable(); });
    } while (all && !workers_.empty());
    if (all) QApplication::processEvents();
}

void MainWindow::waitForDriveCommands() {
    reapWorkers(true);
    while (refreshRuns_.load() > 0) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void MainWindow::setTrayMenu(int lockedState) {
    trayState_ = lockedState;
    QAction* lock = actions_[CmdTrayLock];
    QAction* unlock = actions_[CmdTrayUnlock];
    lock->setChecked(lockedState == 1);
    lock->setEnabled(lockedState != 1);
    unlock->setChecked(lockedState == 0);
    unlock->setEnabled(lockedState != 0);
}

void MainWindow::startPolling() {
    pollThread_ = std::thread([this] {
        std::unique_lock<std::mutex> lock(pollMutex_);
        while (!stopPoll_) {
            pollWake_.wait_for(lock, std::chrono::seconds(1));
            if (stopPoll_) break;
            if (pollPaused_.load() || refreshing()) continue;
            lock.unlock();
            try {
                shell_.grabber.Drive().PollMediumChange();
            } catch (...) {
                // A drive that cannot be asked now is asked again at the next tick.
            }
            lock.lock();
        }
    });
}

void MainWindow::stopPolling() {
    {
        std::lock_guard<std::mutex> lock(pollMutex_);
        stopPoll_ = true;
    }
    pollWake_.notify_all();
    if (pollThread_.joinable()) pollThread_.join();
}

void MainWindow::OnMediumChanged() {
    QMetaObject::invokeMethod(this, [this] { onMediumChangedHere(); }, Qt::QueuedConnection);
}

void MainWindow::OnReadRetry(int16_t, int32_t) {}

void MainWindow::onMediumChangedHere() {
    if (shutDown_ || !shell_.main) return;
    MainContext& ctx = *shell_.main;
    try {
        ctx.log.Add(shell_.grabber.Drive().DiscState() == kNoDisc ? "Eject disc." : "Insert disc.");
    } catch (const std::exception&) {
    }
    setTrayMenu(-1);
    ctx.freeDbEnabled = false;
    ctx.isrcWanted = false;
    ctx.isrcs.clear();
    elapsed_->setText(QStringLiteral("00:00"));
    position_->setValue(0);
    vis_->clear();
    startDriveCommand(Refresh);
}

void MainWindow::onDriveChosen(int comboIndex) {
    if (refreshing() || ripping_) {
        // Ignored while the disc is read: show the drive that is still current.
        SelectDrive(shell_.grabber.CurrentDrive());
        return;
    }
    stopPlayback();
    if (shell_.grabber.CurrentDrive() >= 1) shell_.grabber.Drive().SetListener(nullptr);
    SetDrive(shell_, comboIndex + 1, *this);
    shell_.grabber.Drive().SetListener(this);
}

// ---------------------------------------------------------------- the track list

void MainWindow::fillTrackList() {
    updatingList_ = true;
    list_->clear();
    const auto& rows = shell_.main->rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto* item = new QTreeWidgetItem(list_);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
        syncRow(static_cast<int>(i));
    }
    updatingList_ = false;
    if (!rows.empty()) selectRow(shell_.main->currentItem);
}

// Shows row r of the core's list in its item.
void MainWindow::syncRow(int r) {
    QTreeWidgetItem* item = list_->topLevelItem(r);
    if (!item || r >= static_cast<int>(shell_.main->rows.size())) return;
    const TrackRow& row = shell_.main->rows[static_cast<std::size_t>(r)];
    const bool was = updatingList_;
    updatingList_ = true;
    const std::string texts[8] = {row.number, row.title, row.typeText, row.isrc,
                                  row.start, row.duration, row.status, row.destination};
    for (int c = 0; c < 8; ++c) item->setText(c, Q(texts[c]));
    item->setToolTip(0, Q(row.numberTooltip));
    item->setToolTip(1, Q(row.titleTooltip.empty() ? row.title : row.titleTooltip));
    item->setToolTip(2, Q(row.typeText));
    item->setToolTip(4, Q(row.start));
    item->setToolTip(5, Q(row.duration));
    item->setToolTip(7, Q(row.destination));
    item->setCheckState(0, row.checked ? Qt::Checked : Qt::Unchecked);
    updatingList_ = was;
}

int MainWindow::selectedRow() const {
    const auto selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.first());
}

void MainWindow::selectRow(int row) {
    QTreeWidgetItem* item = list_->topLevelItem(row);
    if (!item) return;
    list_->setCurrentItem(item, 0);
    item->setSelected(true);
    list_->scrollToItem(item);
}

void MainWindow::onItemChanged(QTreeWidgetItem* item, int column) {
    if (updatingList_ || !shell_.main) return;
    const int r = list_->indexOfTopLevelItem(item);
    MainContext& ctx = *shell_.main;
    if (r < 0 || r >= static_cast<int>(ctx.rows.size())) return;
    if (refreshing()) {
        syncRow(r);
        return;
    }
    if (column == 0) {
        const bool wanted = item->checkState(0) == Qt::Checked;
        if (wanted != ctx.rows[static_cast<std::size_t>(r)].checked) SetRowChecked(ctx, r, wanted);
    } else if (column == 1) {
        const std::string text = item->text(1).toStdString();
        if (text != ctx.rows[static_cast<std::size_t>(r)].title) EditTrackTitle(ctx, r, text);
    }
    syncRow(r);
}

void MainWindow::onDoubleClick() {
    if (!shell_.main || refreshing()) return;
    auto ask = [this] {
        DoubleClickChoice choice;
        QDialog dialog(this);
        dialog.setWindowTitle(QString::fromLatin1(kDoubleClickQuestion));
        auto* layout = new QVBoxLayout(&dialog);
        auto* playIt = new QRadioButton(QString::fromLatin1(kPlayTheTrack), &dialog);
        auto* ripIt = new QRadioButton(QString::fromLatin1(kRipTheTrack), &dialog);
        auto* remember = new QCheckBox(QString::fromLatin1(kRememberPreference), &dialog);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(playIt);
        layout->addWidget(ripIt);
        layout->addWidget(remember);
        layout->addWidget(buttons);
        if (dialog.exec() == QDialog::Accepted) {
            choice.action = playIt->isChecked() ? 0 : ripIt->isChecked() ? 1 : -1;
            choice.remember = remember->isChecked();
        }
        return choice;
    };
    const DoubleClickAction action = OnDoubleClick(*shell_.main, ask);
    if (action == DoubleClickAction::Rip) rip(0);
    else if (action == DoubleClickAction::Play) cmdContextPlay();
}

void MainWindow::onContextMenu(const QPoint& pos) {
    if (!list_->itemAt(pos)) return;
    QMenu menu(this);
    menu.addAction(QStringLiteral("Play"), this, &MainWindow::cmdContextPlay);
    menu.addAction(QStringLiteral("Stop"), this, &MainWindow::cmdStop);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Rip Selected"), this, &MainWindow::cmdRipSelected);
    menu.addAction(QStringLiteral("Rip All Checked"), this, &MainWindow::cmdRipChecked);
    menu.addAction(QStringLiteral("Rip All"), this, &MainWindow::cmdRipAll);
    menu.addAction(QStringLiteral("Rip Sector Range"), this, &MainWindow::cmdRipRange);
    menu.addAction(QStringLiteral("Rip to CD Image"), this, &MainWindow::cmdRipImage);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Refresh"), this, &MainWindow::cmdRefresh);
    menu.exec(list_->viewport()->mapToGlobal(pos));
}

// ---------------------------------------------------------------- output format

void MainWindow::applyQuickSet(int index) {
    const auto& quick = QuickSetCommands();
    if (!shell_.main || index < 0 || index >= static_cast<int>(quick.size())) return;
    QuickSetResult result = QuickSetOutputFormat(shell_.settings, shell_.log, *prompter_,
                                                 quick[static_cast<std::size_t>(index)].target,
                                                 shell_.outputFormatLine, shell_.home);
    if (result.outcome == QuickSetOutcome::Set) {
        shell_.outputFormatLine = result.summary;
        ShowOutputFormat(result.summary);
        FillDestinations(*shell_.main);
        for (int r = 0; r < list_->topLevelItemCount(); ++r) syncRow(r);
    }
    syncFormatMenu();
}

// Checks the quick-set entry of the format in force.
void MainWindow::syncFormatMenu() {
    const auto& quick = QuickSetCommands();
    const CSettings& s = shell_.settings;
    const auto items = formatMenu_->actions();
    for (std::size_t i = 0; i < quick.size() && i < static_cast<std::size_t>(items.size()); ++i) {
        const QuickSetTarget& t = quick[i].target;
        bool current = t.id == s.OUTPUT.OutputFormat;
        if (current && t.aacContainer >= 0) current = t.aacContainer == s.AAC.ContainerFormat;
        if (current && t.id == static_cast<int>(OutputFormatId::FLAC)) current = t.oggFlac == (s.FLAC.Native == 0);
        if (current) items[static_cast<qsizetype>(i)]->setChecked(true);
    }
}

// ---------------------------------------------------------------- commands

void MainWindow::notAvailable(const char* what) {
    prompter_->Message(std::string(what) + " is not available in this version.", MessageIcon::Information);
}

void MainWindow::openUrl(const QString& url) {
    if (!QDesktopServices::openUrl(QUrl(url)))
        prompter_->Message("Cannot open " + url.toStdString() + ": no program handles it.", MessageIcon::Warning);
}

void MainWindow::cmdExit() { close(); }

void MainWindow::cmdViewLog() {
    if (!logView_) logView_ = new LogViewDialog(shell_.log, this);
    logView_->show();
    logView_->raise();
    logView_->activateWindow();
}

// The command's checks and refresh run on the drive command thread, like every refresh:
// the lookup may ask the user to choose among several matches.
void MainWindow::cmdQueryFreeDB() {
    if (!shell_.main || refreshing() || ripping_) return;
    queryCommand_ = true;
    if (!startDriveCommand(Refresh)) queryCommand_ = false;
}

void MainWindow::cmdGetIsrc() {
    if (!shell_.main || refreshing()) return;
    if (GetIsrc(*shell_.main)) startDriveCommand(Refresh);
}

void MainWindow::cmdCheckSelected() {
    if (!shell_.main || refreshing()) return;
    CheckSelected(*shell_.main, selectedRow());
    for (int r = 0; r < list_->topLevelItemCount(); ++r) syncRow(r);
}

void MainWindow::cmdUncheckSelected() {
    if (!shell_.main || refreshing()) return;
    UncheckSelected(*shell_.main, selectedRow());
    for (int r = 0; r < list_->topLevelItemCount(); ++r) syncRow(r);
}

void MainWindow::cmdCheckAll() {
    if (!shell_.main || refreshing()) return;
    CheckAll(*shell_.main);
    for (int r = 0; r < list_->topLevelItemCount(); ++r) syncRow(r);
}

void MainWindow::cmdUncheckAll() {
    if (!shell_.main || refreshing()) return;
    UncheckAll(*shell_.main);
    for (int r = 0; r < list_->topLevelItemCount(); ++r) syncRow(r);
}

void MainWindow::cmdReverseCheck() {
    if (!shell_.main || refreshing()) return;
    ReverseCheck(*shell_.main);
    for (int r = 0; r < list_->topLevelItemCount(); ++r) syncRow(r);
}

void MainWindow::cmdPlay() { if (playback_) playback_->play(); }
void MainWindow::cmdContextPlay() { if (playback_) playback_->playSelected(selectedRow()); }
void MainWindow::cmdPause() { if (playback_) playback_->pauseResume(); }
void MainWindow::cmdStop() { if (playback_) playback_->stop(); }
void MainWindow::cmdPrevious() { if (playback_) playback_->previous(); }
void MainWindow::cmdNext() { if (playback_) playback_->next(); }
void MainWindow::cmdFirst() { if (playback_) playback_->first(); }
void MainWindow::cmdLast() { if (playback_) playback_->last(); }

// Drive commands, drive selection, rips and exit stop a track that plays, whatever refreshes.
void MainWindow::stopPlayback() {
    if (playback_ && playback_->isPlaying()) playback_->playback().StopPlayback();
}

void MainWindow::cmdEject() { startDriveCommand(Eject); }
void MainWindow::cmdCloseTray() { startDriveCommand(CloseTray); }
void MainWindow::cmdRefresh() { startDriveCommand(Refresh); }
// A checkable item has already changed its mark when the command is ignored: put it back.
void MainWindow::cmdTrayLock() {
    if (!startDriveCommand(LockTray)) setTrayMenu(trayState_);
}
void MainWindow::cmdTrayUnlock() {
    if (!startDriveCommand(UnlockTray)) setTrayMenu(trayState_);
}

void MainWindow::cmdRipSelected() { rip(0); }
void MainWindow::cmdRipChecked() { rip(1); }
void MainWindow::cmdRipAll() { rip(2); }
void MainWindow::cmdRipRange() { rip(3); }
void MainWindow::cmdRipImage() { rip(4); }

void MainWindow::rip(int mode) {
    if (!shell_.main || refreshing() || ripping_) return;
    MainContext& ctx = *shell_.main;
    RipCommandHooks hooks;
    hooks.home = shell_.home;
    hooks.isPlaying = [this] { return playback_ && playback_->isPlaying(); };
    hooks.stopPlayback = [this] { stopPlayback(); };
    hooks.chooseRange = [this](CSectorRange& range) {
        SectorRangeDialog dialog(range, this);
        return dialog.exec() == QDialog::Accepted;
    };
    std::optional<CRipJob> job;
    switch (mode) {
    case 0: job = OnRipSelected(ctx, selectedRow(), hooks); break;
    case 1: job = OnRipChecked(ctx, hooks); break;
    case 2: job = OnRipAll(ctx, hooks); break;
    case 3: job = OnRipSectorRange(ctx, hooks); break;
    case 4: job = OnRipDiscImage(ctx, hooks); break;
    default: return;
    }
    if (!job) return;
    ripping_ = true;
    pollPaused_ = true;
    {
        RipDialog dialog(ctx, shell_.home, std::move(*job), this);
        dialog.exec();
        // Each verified track's Status cell shows its result.
        if (const auto verified = dialog.verification()) ShowTrackStatuses(ctx, dialog.job(), *verified);
    }
    // The rip dialog took the drive's events for its own while it ran.
    shell_.grabber.Drive().SetListener(this);
    pollPaused_ = false;
    ripping_ = false;
    // Keys go back to the list, also where no window manager hands the focus back.
    activateWindow();
    list_->setFocus();
    FillDestinations(ctx);
    for (int r = 0; r < list_->topLevelItemCount(); ++r) syncRow(r);
}

void MainWindow::cmdOptions() {
    if (!shell_.main) return;
    PageContext context;
    context.prompter = prompter_;
    context.log = &shell_.log;
    context.main = shell_.main.get();
    context.refreshing = [this] { return refreshing() || ripping_; };
    context.home = shell_.home;
    {
        OptionsSheet sheet(shell_.settings, context, this);
        sheet.exec();
    }
    // Whatever the sheet did, the output format is applied again and shown.
    shell_.outputFormatLine = UpdateOutputFormatSummary(shell_.settings, shell_.log, shell_.outputFormatLine);
    ShowOutputFormat(shell_.outputFormatLine);
    syncFormatMenu();
    if (!refreshing()) {
        FillDestinations(*shell_.main);
        for (int r = 0; r < list_->topLevelItemCount(); ++r) syncRow(r);
    }
}

void MainWindow::cmdEditCdInfo() {
    if (!shell_.main || refreshing()) return;
    if (shell_.grabber.DriveCount() == 0) {
        prompter_->Message("No Disc Found!", MessageIcon::Warning);
        return;
    }
    if (!CanEditCdInfo(*shell_.main)) return;
    {
        EditCdInfoDialog dialog(*shell_.main, this);
        dialog.exec();
    }
    for (int r = 0; r < list_->topLevelItemCount(); ++r) syncRow(r);
}

void MainWindow::cmdEditTitle() {
    if (!shell_.main || refreshing()) return;
    const int r = selectedRow();
    if (!BeginEditTitle(*shell_.main, r)) return;
    list_->setFocus();
    list_->editItem(list_->topLevelItem(r), 1);
}

void MainWindow::cmdHelp() {
    const std::string path = FindDataFile("help/index.html", shell_.home);
    if (path.empty()) {
        prompter_->Message("The help file help/index.html was not found.", MessageIcon::Warning);
        return;
    }
    openUrl(QUrl::fromLocalFile(Q(path)).toString());
}

void MainWindow::cmdHomePage() { openUrl(QString::fromLatin1(kHomePageUrl)); }
void MainWindow::cmdEmail() { openUrl(QString::fromLatin1(kSupportMail)); }
void MainWindow::cmdOnlineSupport() { openUrl(QString::fromLatin1(kSupportUrl)); }

void MainWindow::cmdTip() {
    tipShown_ = true;
    TipDialog dialog(shell_.settings, FindDataFile("Tips.tip", shell_.home), this, shell_.home);
    dialog.exec();
}

void MainWindow::cmdAbout() { ShowAboutBox(this); }

}  // namespace quarrow::ui
