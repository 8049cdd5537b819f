// The options sheet, its pages and the album dialogs under the offscreen platform.
// Every page is walked the way a user would change it and must store what its core model
// alone stores for the same changes. The encoder pages add their rows in
// encoder_page_rows.inc (owned by the encoder pages; same row shape as below).
// The walk visits a page's enabled controls in creation order: a check box flips, an
// unchecked radio button is checked, a combo box, spin box or slider goes one step up
// (down at its last item or maximum), an editable line edit gets "1" appended.
// Each page and dialog is also saved as a PNG into the build folder.
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <thread>

#include "albuminfo/AlbumSteps.h"
#include "albuminfo/FreeDBPages.h"
#include "albuminfo/Xmcd.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Settings.h"
#include "encoders/FormatPages.h"
#include "rip/Naming.h"
#include "rip/ReadingOptions.h"
#include "support/CddbTestServer.h"
#include "support/DiscImage.h"
#include "support/TestFiles.h"
#include "ui/MainWindow.h"
#include "ui/EditCdInfoDialog.h"
#include "ui/MatchDialog.h"
#include "ui/OptionsSheet.h"
#include "ui/ServerEditorDialog.h"
#include "ui/ServerTestDialog.h"

using namespace quarrow;
using namespace quarrow::ui;

namespace {

// A settings record and what the pages need around it.
struct Rig {
    support::ScratchDir home{"quarrow-sheet"};
    CSettings settings = CSettings::Initial(home.path());
    CEventLog log;
    CdGrabber grabber;
    RecordingPrompter prompter;
    MainContext main{settings, log, grabber, prompter};
    bool busy = false;
    Rig() { ResetFreeDBServers(Services(main).servers); }
    PageContext context() {
        return {&prompter, &log, &main, [this] { return busy; }, home.path()};
    }
};

// Every setting as "SECTION/key=value" lines.
std::string Dump(CSettings& s) {
    std::string out;
    VisitSettings(s, [&](const SettingsKey& k) {
        std::string v;
        GetSettingText(s, k.section, k.key, v);
        out += std::string(k.section) + "/" + k.key + "=" + v + "\n";
    });
    return out;
}

void Walk(QWidget* page) {
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!w->isEnabled() || qobject_cast<QAbstractSpinBox*>(w->parentWidget()) ||
            qobject_cast<QComboBox*>(w->parentWidget()))
            continue;
        if (auto* c = qobject_cast<QCheckBox*>(w)) c->setChecked(!c->isChecked());
        else if (auto* r = qobject_cast<QRadioButton*>(w)) r->setChecked(true);
        else if (auto* b = qobject_cast<QComboBox*>(w)) b->setCurrentIndex(b->currentIndex() + 1 < b->count() ? b->currentIndex() + 1 : std::max(0, b->currentIndex() - 1));
        else if (auto* n = qobject_cast<QSpinBox*>(w)) n->setValue(n->value() < n->maximum() ? n->value() + 1 : n->value() - 1);
        else if (auto* l = qobject_cast<QSlider*>(w)) l->setValue(l->value() < l->maximum() ? l->value() + 1 : l->value() - 1);
        else if (auto* e = qobject_cast<QLineEdit*>(w); e && !e->isReadOnly()) e->setText(e->text() + "1");
    }
}

void SavePng(QWidget* w, const QString& name) {
    QDir().mkpath(QStringLiteral("option-pages"));
    QString file = name;
    file.replace(QStringLiteral("::"), QStringLiteral("-")).replace(QLatin1Char(' '), QLatin1Char('_'));
    w->grab().save(QStringLiteral("option-pages/%1.png").arg(file));
}

// The same changes as the walk, made on the page's model alone; true when it applied.
using ModelChanges = std::function<bool(CSettings& s, Rig& rig)>;
struct PageRow {
    const char* path;
    ModelChanges changes;
};

const PageRow kRows[] = {
    {"Output", [](CSettings& s, Rig&) {
         COutputOptions o;
         o.Open(s);
         o.SetDestination(o.destination + "1"), o.SetScheme((o.scheme + 1) % 13), o.SetDelimiterText(o.separator + "1");
         o.SetFillTag(!o.fillTag), o.SetVisRip(!o.visRip), o.SetWriteLog(!o.writeLog);
         o.SetSingleOutput(!o.singleOutput);
         if (o.CueSheetEnabled()) o.SetCueSheet(!o.cueSheet);
         if (o.PlaylistEnabled()) o.SetPlaylist(!o.playlist);
         o.SetNotify(!o.notify);
         return o.Apply(s, false);
     }},
    {"FreeDB", [](CSettings& s, Rig& rig) {
         FreeDBServerList list;
         ResetFreeDBServers(list);
         CCDDB client;
         CCDDBServerAddress address;
         FreeDBOptionPage p(s, list, client, address, rig.prompter, rig.home.path());
         p.Open();
         p.SetSelection(p.selection + 1), p.SetLoadAlbumInfo(!p.loadAlbumInfo);
         if (p.SourceEnabled()) p.SetAlbumInfoSource(2);
         p.SetSaveAlbumInfo(!p.saveAlbumInfo), p.SetLocalCddbDir(p.localCddbDir + "1");
         return p.Apply();
     }},
    {"FreeDB::Client", [](CSettings& s, Rig&) {
         CCDDB client;
         FreeDBClientPage p(s, client);
         p.Open();
         p.username += "1", p.application += "1", p.version += "1";
         p.SetUseProxy(!p.useProxy);
         p.proxyUrl += "1", p.proxyPort += 1;
         p.SetAuthentication(!p.authentication);
         p.proxyUsername += "1", p.proxyPassword += "1";
         return p.Apply();
     }},
    {"Driver", [](CSettings& s, Rig& rig) {
         CDiscReadingOptions d;
         d.Open(s);
         d.ChooseReadMode(4), d.SetRereadText(std::to_string(ProposedRereads(4)) + "1"), d.ChooseErrorAction(2);
         return d.Apply(s, false, rig.prompter, 0);
     }},
#if __has_include("encoder_page_rows.inc")
#include "encoder_page_rows.inc"
#endif
};

// Answers the lookup of any disc with three exact matches and reads each as its own record.
std::string ThreeMatches(const std::string& request) {
    const auto at = [&](const char* cmd) { return request.find(cmd); };
    if (at("cmd=cddb+query+") != std::string::npos) {
        const std::string id = request.substr(at("cmd=cddb+query+") + 15, 8);
        return test::CddbTestServer::HttpAnswer("210 Found exact matches, list follows (until terminating `.')\r\n"
                                                "rock " + id + " First / One\r\nblues " + id + " Second / Two\r\n"
                                                "misc " + id + " Third / Three\r\n.\r\n");
    }
    if (at("cmd=cddb+read+") == std::string::npos) return test::CddbTestServer::HttpAnswer("500 Unknown\r\n");
    const std::string rest = request.substr(at("cmd=cddb+read+") + 14);
    const std::string category = rest.substr(0, rest.find('+'));
    CAlbumRecord r;
    r.trackFrameOffsets = {150, 450}, r.discLength = 10, r.trackTitles = {"a", "b"}, r.trackExtendedData = {"", ""};
    r.submittingProgram = r.submittingVersion = "x";
    r.discId = static_cast<uint32_t>(std::stoul(rest.substr(category.size() + 1, 8), nullptr, 16));
    r.artist = "Band " + category, r.albumTitle = "Album " + category;
    return test::CddbTestServer::HttpAnswer(test::CddbTestServer::ReadAnswerBody(XmcdBody(r)));
}

}  // namespace

class TestOptionsSheet : public QObject {
    Q_OBJECT
private slots:
    void everyPageStoresWhatItsModelStores();
    void okStopsAtARefusingPageAndCancelKeepsTheRecord();
    void serverTestShowsEachStepAsItComes();
    void editCdInfoYearAndSubmission();
    void threeMatchesAskAndCancelReadsTheFirst_data();
    void threeMatchesAskAndCancelReadsTheFirst();
};

void TestOptionsSheet::everyPageStoresWhatItsModelStores() {
    Rig rig;
    OptionsSheet sheet(rig.settings, rig.context());
    QCOMPARE(sheet.windowTitle(), QStringLiteral("Quarrow Options"));
    for (int i = 0; i < sheet.pageCount(); ++i) {
        sheet.showPage(i);
        SavePng(sheet.page(i), sheet.page(i)->path());
    }
    sheet.showPage(0);
    SavePng(&sheet, QStringLiteral("sheet"));
    const CSettings initial = rig.settings;
    for (const PageRow& row : kRows) {
        const int index = sheet.indexOf(QString::fromLatin1(row.path));
        QVERIFY2(index >= 0, row.path);
        rig.settings = initial;
        sheet.page(index)->load(rig.settings);
        sheet.showPage(index);
        QCOMPARE(sheet.caption(), QString::fromLatin1(row.path));
        Walk(sheet.page(index));
        QVERIFY2(sheet.page(index)->apply(rig.settings), row.path);
        const std::string shown = Dump(rig.settings);
        CSettings model = initial;
        QVERIFY2(row.changes(model, rig), row.path);
        const std::string stored = Dump(model);
        for (std::size_t a = 0, b = 0; a < shown.size() || b < stored.size();) {
            const std::string x = shown.substr(a, shown.find('\n', a) - a), y = stored.substr(b, stored.find('\n', b) - b);
            QVERIFY2(x == y, (std::string(row.path) + ": page " + x + ", model " + y).c_str());
            a += x.size() + 1, b += y.size() + 1;
        }
        CSettings before = initial;
        // A page that only points to its sub-pages has nothing to change.
        const bool noteOnly = sheet.page(index)->findChildren<QWidget*>().size() == sheet.page(index)->findChildren<QLabel*>().size();
        QVERIFY2(shown != Dump(before) || noteOnly, row.path);
    }
    // Every page of the sheet has its row.
    QCOMPARE(sheet.pageCount(), static_cast<int>(std::size(kRows)));
}

void TestOptionsSheet::okStopsAtARefusingPageAndCancelKeepsTheRecord() {
    Rig rig;
    OptionsSheet sheet(rig.settings, rig.context());
    // The tree nests by path, and the arrow keys move through the pages.
    QTreeWidgetItem* client = sheet.tree()->findItems(QStringLiteral("Client"), Qt::MatchExactly | Qt::MatchRecursive).value(0);
    QVERIFY(client && client->parent() && client->parent()->text(0) == QStringLiteral("FreeDB"));
    sheet.show();
    sheet.tree()->setFocus();
    QTest::keyClick(sheet.tree(), Qt::Key_Down);
    QCOMPARE(sheet.caption(), QStringLiteral("FreeDB"));
    // A reread count out of range: the sheet stays open on "Driver" and nothing of the page is stored.
    const int driver = sheet.indexOf(QStringLiteral("Driver"));
    sheet.page(driver)->findChild<QLineEdit*>()->setText(QStringLiteral("1001"));
    sheet.showPage(0);
    sheet.accept();
    QVERIFY(sheet.isVisible() && sheet.currentIndex() == driver);
    QCOMPARE(rig.prompter.prompts.back().text, std::string(kRetriesRangeMessage));
    QCOMPARE(rig.settings.DISC.GrabOnErrorRetries, 5);
    // Cancel (Escape) stores none of the pages' edits.
    const std::string before = Dump(rig.settings);
    Walk(sheet.page(0));
    QTest::keyClick(&sheet, Qt::Key_Escape);
    QVERIFY(!sheet.isVisible() && sheet.result() == QDialog::Rejected);
    QCOMPARE(Dump(rig.settings), before);
    // While a refresh runs, OK stops at the first page.
    rig.busy = true;
    sheet.accept();
    QCOMPARE(sheet.currentIndex(), 0);
}

void TestOptionsSheet::serverTestShowsEachStepAsItComes() {
    Rig rig;
    test::CddbTestServer server;
    server.SetHandler([](const std::string& request) {
        const bool stat = request.find("cmd=stat") != std::string::npos;
        return test::CddbTestServer::HttpAnswer(stat ? "210 OK, status information follows\r\nServer status:\r\n"
                                                       "    current proto: 6\r\n.\r\n"
                                                     : "210 MOTD follows\r\nHello tester\r\n.\r\n");
    });
    ServerTestSetup setup;
    setup.server = {"127.0.0.1", server.Port(), 5000, 5};
    setup.username = "tester";
    ServerTestDialog dialog;
    QSignalSpy steps(&dialog, &ServerTestDialog::stepShown);
    QVERIFY(dialog.start(setup, &rig.prompter, &rig.log));
    // No disc: steps 0 and 1 only.
    QTRY_COMPARE_WITH_TIMEOUT(steps.count(), 2, 10000);
    QTest::qWait(100);
    QCOMPARE(steps.count(), 2);
    QVERIFY(!dialog.running());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Testing..."));
    QVERIFY(dialog.text().contains(QStringLiteral("Username: tester")));
    QVERIFY(dialog.text().contains(QStringLiteral("Message of the Day: Hello tester")));
    QVERIFY(dialog.text().contains(QStringLiteral("Status of the site 127.0.0.1 is as follows")));
    SavePng(&dialog, QStringLiteral("server-test"));
}

void TestOptionsSheet::editCdInfoYearAndSubmission() {
    Rig rig;
    rig.main.album.year = 1999;
    EditCdInfoDialog dialog(rig.main);
    SavePng(&dialog, QStringLiteral("edit-cd-info"));
    ServerEditorDialog editor(FreeDBServerEditor::New(), true);
    SavePng(&editor, QStringLiteral("server-editor"));
    auto edits = dialog.findChildren<QLineEdit*>();   // album, artist, genre, year, e-mail
    QCOMPARE(edits.size(), 5);
    edits[2]->setText(QStringLiteral("Jazz"));
    edits[3]->setText(QStringLiteral("later"));
    dialog.updateButton()->click();
    QCOMPARE(rig.prompter.prompts.back().text, std::string("Please enter an integer between 1 and 2100."));
    QVERIFY(rig.main.album.year == 1999 && rig.main.album.genre == "Jazz" && dialog.result() == QDialog::Accepted);

    // Submit sends from a thread of its own: the events go on, the buttons are off, and
    // closing the dialog cancels and joins a submission the server never answers.
    test::CddbTestServer server;
    server.SetSilent(true);
    Services(rig.main).server = CCDDBServerAddress::Query("127.0.0.1");
    dialog.editor().submitPort = server.Port();
    dialog.findChild<QComboBox*>()->setCurrentIndex(9);
    dialog.submitButton()->click();
    QVERIFY(dialog.submitting() && !dialog.saveButton()->isEnabled());
    QTRY_COMPARE(server.Requests().size(), 1u);
    QVERIFY(server.Requests()[0].find("Category: soundtrack") != std::string::npos);
    dialog.reject();
    QVERIFY(!dialog.submitting() && dialog.saveButton()->isEnabled());
    QVERIFY2(rig.log.Entries().back().message.starts_with("Warning: throwing CCDDBException"),
             rig.log.Entries().back().message.c_str());
}

void TestOptionsSheet::threeMatchesAskAndCancelReadsTheFirst_data() {
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("cancel") << false;
    QTest::newRow("window closes while asking") << true;
}

// The real window asks through its own dialogs: the refresh thread waits for the choice.
void TestOptionsSheet::threeMatchesAskAndCancelReadsTheFirst() {
    QFETCH(bool, closeWindow);
    support::ScratchDir home("quarrow-match");
    test::CddbTestServer server;
    server.SetHandler([](const std::string& request) {
        // A slow read: the dialog stays up, busy, while it runs.
        if (request.find("cmd=cddb+read+") != std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return ThreeMatches(request);
    });
    support::WriteFile(home.file("Quarrow.ini"), "[MISC]\r\nTip=0\r\n[FREEDB]\r\nAlbumInfoSource=1\r\nSaveAlbumInfo=0\r\n");
    QVERIFY(SaveFreeDBServers(FreeDBServerFilePath(home.path()), {{"127.0.0.1", server.Port(), 5000, 5}}));
    const auto image = discimage::WriteDiscImage(home.path(), "disc", discimage::AudioLayout({300, 300}));
    auto window = std::make_unique<MainWindow>();
    std::vector<std::array<QString, 4>> rows;
    QList<int> selected;
    QString busyCaption;
    QStringList boxes;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->text();
            box->accept();
        } else if (auto* match = qobject_cast<MatchDialog*>(modal); match && !rows.empty()) {
            // Still up after the choice, while the read runs: busy caption, buttons off.
            if (!match->findChild<QDialogButtonBox*>()->isEnabled()) busyCaption = match->windowTitle();
        } else if (match) {
            SavePng(match, QStringLiteral("match-dialog"));
            for (int r = 0; r < match->list()->topLevelItemCount(); ++r) {
                QTreeWidgetItem* item = match->list()->topLevelItem(r);
                rows.push_back({item->text(0), item->text(1), item->text(2), item->text(3)});
                if (item->isSelected()) selected << r;
            }
            if (closeWindow) {
                window->close();
            } else {
                match->reject();
            }
        }
    });
    answer.start(20);
    window->show();
    ShellOptions options;
    options.home = home.path();
    options.drives = {image.cuePath};
    QCOMPARE(window->open(options), 0);
    // With closeWindow the window closes inside this wait, whose join it then re-enters.
    window->waitForDriveCommands();
    QTRY_VERIFY_WITH_TIMEOUT(!rows.empty(), 10000);
    const QString id = QString::fromStdString(FormatDiscId(window->shell().main->discId));
    QCOMPARE(rows.size(), 3u);
    QCOMPARE(rows[0], (std::array<QString, 4>{id, "One", "First", "rock"}));
    QCOMPARE(selected, QList<int>{0});
    QVERIFY(boxes.contains(QStringLiteral("FreeDB Server Returned Multiple Results, Please Select the Correct One.")));
    if (closeWindow) {
        // The choice is cancelled, the lookup gives up, and the window closes without a hang.
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 20000);
        return;
    }
    QCOMPARE(busyCaption, QString::fromLatin1(MatchDialog::kBusyCaption));
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(QString::fromStdString(window->shell().main->album.artist), QStringLiteral("Band rock"));
    window.reset();
}

QTEST_MAIN(TestOptionsSheet)
#include "test_options_sheet.moc"
