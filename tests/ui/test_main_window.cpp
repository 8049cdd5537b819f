// The main window on a generated disc image (audio, data, audio): it opens through the
// core, shows the rows, routes its commands to the core's track list rules, refuses the
// data track's check box, ignores drive commands while a refresh runs, and lets a second
// start reach the first.
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QMenu>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include "albuminfo/FreeDBServer.h"
#include "albuminfo/TrackList.h"
#include "app/Prompter.h"
#include "support/DiscImage.h"
#include "support/HttpTestServer.h"
#include "support/TestFiles.h"
#include "ui/LogViewDialog.h"
#include "ui/MainWindow.h"
#include "ui/RipDialog.h"
#include "ui/SingleInstance.h"

using namespace quarrow;
using quarrow::ui::MainWindow;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opensAndShowsTheDisc();
    void commandsRouteToTheTrackList();
    void dataTrackCannotBeChecked();
    void driveCommandsWaitForTheRefresh();
    void editTitleInPlace();
    void quickSetAndLogView();
    void ripShowsEachTracksResultInTheStatusColumn();
    void secondStartAsksTheFirst();

private:
    // The check boxes as the list shows them; empty when the core's rows disagree.
    std::vector<bool> checks() {
        std::vector<bool> shown, core;
        for (int r = 0; r < window->trackList()->topLevelItemCount(); ++r)
            shown.push_back(window->trackList()->topLevelItem(r)->checkState(0) == Qt::Checked);
        for (const TrackRow& row : window->shell().main->rows) core.push_back(row.checked);
        return shown == core ? shown : std::vector<bool>{};
    }
    int logLines(const std::string& text) {
        int n = 0;
        for (const LogEntry& e : window->shell().log.Entries()) n += e.message == text;
        return n;
    }

    std::unique_ptr<support::ScratchDir> home;
    RecordingPrompter prompter;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init() {
    home = std::make_unique<support::ScratchDir>("quarrow-window");
    // No tip at start, titles from the local folder only, and a server list that stays on
    // this machine.
    support::WriteFile(home->file("Quarrow.ini"), "[MISC]\r\nTip=0\r\n[FREEDB]\r\nAlbumInfoSource=2\r\n");
    QVERIFY(SaveFreeDBServers(FreeDBServerFilePath(home->path()), {{"127.0.0.1", 1, 2000, 5}}));
    discimage::ImageLayout layout;
    layout.tracks = {{false, 300, "", ""}, {true, 300, "", ""}, {false, 450, "", ""}};
    const auto image = discimage::WriteDiscImage(home->path(), "disc", layout);
    const auto other = discimage::WriteDiscImage(home->path(), "other", discimage::AudioLayout({200, 200}));
    prompter = RecordingPrompter();
    window = std::make_unique<MainWindow>(&prompter);
    ShellOptions options;
    options.home = home->path();
    options.drives = {other.cuePath, image.cuePath};   // the last one is selected
    QCOMPARE(window->open(options), 0);
    window->waitForDriveCommands();
}

void TestMainWindow::cleanup() {
    window.reset();
    home.reset();
}

void TestMainWindow::opensAndShowsTheDisc() {
    QCOMPARE(window->windowTitle(), QStringLiteral("Quarrow 3.1.0"));
    QTreeWidget* list = window->trackList();
    const char* const expected[3][3] = {{"  01", "Track01", "Audio Track"},
                                        {"  02", "Track02", "Data Track (Mode 1)"},
                                        {"  03", "Track03", "Audio Track"}};
    QCOMPARE(list->topLevelItemCount(), 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) QCOMPARE(list->topLevelItem(r)->text(c), QString::fromLatin1(expected[r][c]));
    QCOMPARE(list->topLevelItem(2)->text(5), QStringLiteral("00:06.000"));
    QCOMPARE(checks(), (std::vector<bool>{true, false, true}));

    QLineEdit* media = window->statusBox(MainWindow::MediaState);
    QVERIFY2(media->text().startsWith(QStringLiteral("Recognized Disc: CD-ROM  ")), qPrintable(media->text()));
    QCOMPARE(media->toolTip(), QStringLiteral("Disc Media State:  ") + media->text());
    QCOMPARE(window->driveCombo()->currentIndex(), 1);
    QVERIFY(window->driveCombo()->isEnabled());
    QVERIFY(window->driveMenu()->actions().at(1)->isChecked());

    // The Drive(s) menu selects the other disc, and the combo box follows.
    window->driveMenu()->actions().at(0)->trigger();
    window->waitForDriveCommands();
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(window->driveCombo()->currentIndex(), 0);
    QVERIFY(window->driveMenu()->actions().at(0)->isChecked());
    // The accelerator is read from the menu text, blank after the tab included.
    QCOMPARE(window->action(MainWindow::CmdRipSelected)->shortcut(), QKeySequence(QStringLiteral("Ctrl+F2")));
}

void TestMainWindow::commandsRouteToTheTrackList() {
    QTreeWidget* list = window->trackList();
    struct Step {
        int command;
        int selectRow;   // -1 keeps the selection
        std::vector<bool> after;
    };
    const Step steps[] = {
        {MainWindow::CmdUncheckAll, -1, {false, false, false}},
        {MainWindow::CmdReverseCheck, -1, {true, false, true}},
        {MainWindow::CmdUncheckSelected, 0, {false, false, true}},
        {MainWindow::CmdReverseCheck, -1, {true, false, false}},
        {MainWindow::CmdCheckSelected, 1, {true, false, false}},
        {MainWindow::CmdCheckSelected, 2, {true, false, true}},
        {MainWindow::CmdCheckAll, -1, {true, false, true}},
    };
    for (const Step& s : steps) {
        if (s.selectRow >= 0) list->setCurrentItem(list->topLevelItem(s.selectRow), 0);
        window->action(s.command)->trigger();
        QCOMPARE(checks(), s.after);
    }
    // Space toggles the current row's box through the same rule.
    list->setCurrentItem(list->topLevelItem(0), 0);
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(checks(), (std::vector<bool>{false, false, true}));
}

void TestMainWindow::dataTrackCannotBeChecked() {
    QTreeWidget* list = window->trackList();
    list->topLevelItem(1)->setCheckState(0, Qt::Checked);   // as a click on the box does
    list->setCurrentItem(list->topLevelItem(1), 0);
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(checks(), (std::vector<bool>{true, false, true}));
    QCOMPARE(prompter.prompts.size(), std::size_t{2});
    for (const auto& p : prompter.prompts) {
        QCOMPARE(p.text, std::string(kOnlyAudioCheckable));
        QVERIFY(p.icon == MessageIcon::Warning);
    }
    QCOMPARE(logLines(kOnlyAudioCheckableLog), 2);
}

void TestMainWindow::driveCommandsWaitForTheRefresh() {
    QAction* lock = window->action(MainWindow::CmdTrayLock);
    QAction* unlock = window->action(MainWindow::CmdTrayUnlock);
    const int refreshes = logLines("Refreshing CD...");
    window->shell().main->refreshing = true;
    for (int command : {MainWindow::CmdRefresh, MainWindow::CmdTrayLock, MainWindow::CmdEject})
        window->action(command)->trigger();
    window->waitForDriveCommands();
    QVERIFY(!lock->isChecked() && lock->isEnabled());
    QCOMPARE(logLines("Refreshing CD..."), refreshes);
    QCOMPARE(window->trackList()->topLevelItemCount(), 3);

    window->shell().main->refreshing = false;
    lock->trigger();
    QVERIFY(lock->isChecked() && !lock->isEnabled() && unlock->isEnabled() && !unlock->isChecked());
    unlock->trigger();
    QVERIFY(unlock->isChecked() && !unlock->isEnabled() && lock->isEnabled() && !lock->isChecked());
    window->shell().main->refreshing = true;
    lock->trigger();
    QVERIFY(unlock->isChecked() && !unlock->isEnabled() && lock->isEnabled() && !lock->isChecked());
    window->shell().main->refreshing = false;
    window->action(MainWindow::CmdRefresh)->trigger();
    QVERIFY(!window->startDriveCommand(MainWindow::Refresh));   // the first is still running
    window->waitForDriveCommands();
    QCOMPARE(logLines("Refreshing CD..."), refreshes + 1);
    QCOMPARE(window->trackList()->topLevelItemCount(), 3);

    // Get ISRC reads them with a refresh; a new medium forgets them, resets the tray items
    // and reads the disc again.
    window->action(MainWindow::CmdGetIsrc)->trigger();
    window->waitForDriveCommands();
    QCOMPARE(window->trackList()->topLevelItem(2)->text(3), QStringLiteral("N/A"));
    lock->trigger();
    window->OnMediumChanged();
    QTRY_COMPARE(logLines("Insert disc."), 1);
    window->waitForDriveCommands();
    QVERIFY(!lock->isChecked() && lock->isEnabled() && !unlock->isChecked() && unlock->isEnabled());
    QVERIFY(window->shell().main->isrcs.empty());
    QCOMPARE(logLines("Refreshing CD..."), refreshes + 3);
    QCOMPARE(window->trackList()->topLevelItemCount(), 3);
}

void TestMainWindow::editTitleInPlace() {
    QTreeWidget* list = window->trackList();
    list->clearSelection();
    window->action(MainWindow::CmdEditTitle)->trigger();
    QCOMPARE(prompter.prompts.size(), std::size_t{1});
    QCOMPARE(prompter.prompts[0].text, std::string(kSelectTrackFirst));
    list->setCurrentItem(list->topLevelItem(2), 0);
    window->action(MainWindow::CmdEditTitle)->trigger();
    list->topLevelItem(2)->setText(1, QStringLiteral("Renamed"));   // as the editor commits
    QCOMPARE(window->shell().main->rows[2].title, std::string("Renamed"));
}

void TestMainWindow::quickSetAndLogView() {
    window->formatMenu()->actions().first()->trigger();   // WAV
    QCOMPARE(window->shell().settings.OUTPUT.OutputFormat, int16_t{1});
    QVERIFY(window->formatMenu()->actions().first()->isChecked());
    QVERIFY(window->statusBox(MainWindow::OutputFormat)->text().startsWith(QStringLiteral("WAV:  ")));

    window->action(MainWindow::CmdViewLog)->trigger();
    QTreeWidget* rows = window->logView()->list();
    QCOMPARE(rows->topLevelItemCount(), static_cast<int>(window->shell().log.Entries().size()));
    const auto launch = rows->findItems(QStringLiteral("#000"), Qt::MatchExactly, 1);
    QCOMPARE(launch.size(), 1);
    QCOMPARE(launch.first()->text(3), QStringLiteral("Lauching Quarrow..."));
    window->shell().log.Add("one more", 1);
    QCOMPARE(rows->topLevelItem(rows->topLevelItemCount() - 1)->text(3), QStringLiteral("one more"));
    QCOMPARE(window->statusBox(MainWindow::LastEvent)->text().endsWith(QStringLiteral("  one more")), true);
}

void TestMainWindow::ripShowsEachTracksResultInTheStatusColumn() {
    // Databases on this machine that know no disc: the lookups run off the window's thread
    // while the rip dialog lists each track's line, and the Status cells keep the result.
    test::HttpTestServer databases;
    CSettings& settings = window->shell().settings;
    settings.OUTPUT.OutputFormat = 1, settings.OUTPUT.Notify = 0, settings.VERIFY.Lookup = 1;
    settings.VERIFY.AccurateRipURL = settings.VERIFY.CTDBURL = databases.Url();
    QStringList lines;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<ui::RipDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        const bool done = dialog->resultList()->count() >= 4 && dialog->cancelButton()->text() == "Finish";
        if (!done && clock.elapsed() < 60000) return;   // a rip that never ends fails instead of hanging
        for (int i = 0; i < dialog->resultList()->count(); ++i) lines << dialog->resultList()->item(i)->text();
        if (done) dialog->cancelButton()->click();
        else dialog->done(QDialog::Rejected);
    });
    poll.start(20);
    window->action(MainWindow::CmdRipAll)->trigger();
    QCOMPARE(lines.mid(0, 3) << lines.value(3).left(9), QStringList({"Track  1: not in database", "Track  3: not in database",
                                           "0 of 2 tracks accurately ripped, 2 not in database", "Rip log: "}));
    QTreeWidget* list = window->trackList();
    QCOMPARE(QStringList({list->topLevelItem(0)->text(6), list->topLevelItem(1)->text(6), list->topLevelItem(2)->text(6)}),
             QStringList({"Not in database", "", "Not in database"}));
}

void TestMainWindow::secondStartAsksTheFirst() {
    // This test's own name, so that a window the user runs is left alone.
    const QString name = QStringLiteral("quarrow-test-%1").arg(QCoreApplication::applicationPid());
    ui::SingleInstance first(name), second(name);
    QVERIFY(!second.askRunningInstance());
    QVERIFY(first.listen());
    QSignalSpy shown(&first, &ui::SingleInstance::showRequested);
    QVERIFY(second.askRunningInstance());
    QTRY_COMPARE(shown.count(), 1);
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
