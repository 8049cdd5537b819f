// The window's playback controls on a generated disc played into ALSA's file plugin: commands,
// time display, Volume, presets, and a drive command that stops playback.
#include <QAction>
#include <QLabel>
#include <QSlider>
#include <QTreeWidget>
#include <QtTest>

#include "albuminfo/FreeDBServer.h"
#include "support/DiscImage.h"
#include "support/TestFiles.h"
#include "ui/MainWindow.h"
#include "ui/PlaybackControls.h"
#include "ui/VisualisationWidget.h"

using namespace quarrow;
using quarrow::ui::MainWindow;

class TestPlaybackControls : public QObject {
    Q_OBJECT
private slots:
    void transportSlidersAndPresets();
};

void TestPlaybackControls::transportSlidersAndPresets() {
    support::ScratchDir home("quarrow-play-window");
    const std::string raw = home.file("played.raw"), conf = home.file("asound.conf");
    support::WriteFile(conf, "pcm.!default { type file slave { pcm { type null } } file \"" + raw +
                                 "\" format \"raw\" }\n");
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
    support::WriteFile(home.file("Quarrow.ini"),
                       "[MISC]\r\nTip=0\r\nVisualization=3\r\n[FREEDB]\r\nAlbumInfoSource=2\r\n");
    QVERIFY(SaveFreeDBServers(FreeDBServerFilePath(home.path()), {{"127.0.0.1", 1, 2000, 5}}));
    const auto image = discimage::WriteDiscImage(home.path(), "disc", discimage::AudioLayout({90, 80}));
    RecordingPrompter prompter;
    MainWindow window(&prompter);
    QCOMPARE(window.open({home.path(), {image.cuePath}, "", false, true}), 0);
    window.waitForDriveCommands();
    QVERIFY(window.shell().sound.available());
    auto* vis = window.findChild<ui::VisualisationWidget*>();
    const auto sliders = window.findChildren<QSlider*>();
    QSlider* volume = sliders.at(sliders[0]->maximum() == 100 ? 0 : 1);
    auto status = [&](int row) { return window.trackList()->topLevelItem(row)->text(6); };

    // The saved preset is applied; a click advances it, keeps it and logs the 1-based number.
    QCOMPARE(vis->preset(), 3);
    QTest::mouseClick(vis, Qt::LeftButton);
    QCOMPARE(window.shell().settings.MISC.Visualization, 4);
    QCOMPARE(window.shell().log.Entries().back().message, std::string("Set audio visualization preset 5."));

    volume->setValue(50);
    QCOMPARE(window.shell().settings.OUTPUT.Volume, 50);
    QCOMPARE(volume->toolTip(), QStringLiteral("Volume: 50"));

    // Without a checked track nothing plays; with both, they play to the end: the time display shows the first second, the Status column is cleared.
    window.action(MainWindow::CmdUncheckAll)->trigger();
    window.action(MainWindow::CmdPlay)->trigger();
    QCOMPARE(prompter.prompts.back().text, std::string("Warning: No Audio Track Checked!"));
    window.action(MainWindow::CmdCheckAll)->trigger();
    window.action(MainWindow::CmdPlay)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.playbackControls()->isPlaying(), 20000);
    const auto labels = window.findChildren<QLabel*>();
    QTRY_VERIFY(std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "00:01"; }));
    QTRY_COMPARE(status(0), QString());
    QVERIFY(QFileInfo(QString::fromStdString(raw)).size() >= (90 + 80) * 2352);

    // Paused playback shows "Paused"; a drive command stops it before it starts.
    window.action(MainWindow::CmdPlay)->trigger();
    window.action(MainWindow::CmdPause)->trigger();
    QVERIFY(window.playbackControls()->isPlaying());
    QTRY_COMPARE(status(0), QStringLiteral("Paused"));
    window.action(MainWindow::CmdRefresh)->trigger();
    QVERIFY(!window.playbackControls()->isPlaying());
    window.waitForDriveCommands();
}

QTEST_MAIN(TestPlaybackControls)
#include "test_playback_controls.moc"
