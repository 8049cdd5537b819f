// The rip dialog on a simulated drive: a whole rip to WAV ends with "Open Dir" and
// "Finish" and complete files; pause holds the rip; Cancel answered No goes on and Yes
// leaves no partial file; the retry limit closes the dialog by itself. The sector range
// dialog offers the first run of audio tracks and clamps what is typed; the save question
// completes a name typed without the format's extension.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QSlider>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <thread>

#include "albuminfo/DiscRefresh.h"
#include "app/CdDrive.h"
#include "app/EventLog.h"
#include "app/Prompter.h"
#include "app/SectorRange.h"
#include "app/Settings.h"
#include "app/SimulatedDrive.h"
#include "rip/RipLog.h"
#include "rip/RipSession.h"
#include "support/TestFiles.h"
#include "ui/QtPrompter.h"
#include "ui/RipDialog.h"
#include "ui/SectorRangeDialog.h"
#include "ui/VisualisationWidget.h"

using namespace quarrow;
namespace fs = std::filesystem;

namespace {

// Two audio tracks read at a pace (about 0.4 s in all) that lets the test act mid-track.
const std::vector<int32_t> kSectors = {1500, 400};

struct Rig {
    Rig() : ctx(settings, log, grabber, prompter) {
        SimDisc disc;
        for (int32_t n : kSectors) disc.tracks.push_back(SimTrack{0, kTrackAudio, n, {}, {}});
        disc.generator = [](int32_t lba, uint8_t* out) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            SimulatedSector(lba, out);
        };
        auto drive = std::make_unique<SimulatedDrive>(disc);
        drive->RefreshDisc();
        sim = drive.get();
        grabber.Add(std::move(drive));
        grabber.SetCurrentDrive(1);
        settings = CSettings::Initial(dir.path());
        settings.OUTPUT.DesDir = dir.path() + "/out/";
        settings.OUTPUT.OutputFormat = settings.OUTPUT.Notify = settings.OUTPUT.VisRip = settings.DISC.RipModePreset = 1;
        settings.MISC.Visualization = 3;
        ctx.album.artist = "The Artist";
        ctx.album.albumTitle = "The Album";
        ctx.album.trackTitles = {"One", "Two"};
        ResetRetryWatch();
    }
    CRipJob Job() const {
        CRipJob job;
        job.mode = kRipChecked;
        for (int t = 0; t < 2; ++t) job.Append(0, t, SampleValuesOf(kSectors[t], kSectorBytes));
        return job;
    }
    std::vector<fs::path> Files() const {
        std::vector<fs::path> out;
        if (fs::exists(dir.path() + "/out"))
            for (const auto& e : fs::recursive_directory_iterator(dir.path() + "/out"))
                if (e.is_regular_file() && e.path().extension() != ".m3u") out.push_back(e.path());
        std::sort(out.begin(), out.end());
        return out;
    }
    bool Logged(const std::string& start) const {
        const auto entries = log.Entries();
        return std::any_of(entries.begin(), entries.end(), [&](const LogEntry& e) { return e.message.rfind(start, 0) == 0; });
    }
    support::ScratchDir dir;
    SimulatedDrive* sim = nullptr;
    CSettings settings;
    CEventLog log;
    CdGrabber grabber;
    RecordingPrompter prompter;
    MainContext ctx;
};

// Runs the dialog; step is called every 10 ms inside its loop until it returns false.
// A dialog still open after a minute is closed and the test fails.
int Drive(ui::RipDialog& dialog, std::function<bool()> step, bool* timedOut) {
    QTimer timer;
    QElapsedTimer clock;
    clock.start();
    *timedOut = false;
    bool stepping = true;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (clock.elapsed() > 60000) {
            *timedOut = true;
            timer.stop();
            dialog.done(QDialog::Rejected);
        } else if (stepping) {
            stepping = step();
        }
    });
    timer.start(10);
    return dialog.exec();
}

}  // namespace

class RipDialogTest : public QObject {
    Q_OBJECT
private slots:
    void aWholeRipFinishesWithOpenDirAndCompleteFiles() {
        Rig rig;
        ui::RipDialog dialog(rig.ctx, rig.dir.path(), rig.Job(), nullptr);
        bool paused = false, resumed = false, timedOut = false;
        int presetShown = -1;
        std::pair<int, int> clickedTo;
        const int result = Drive(dialog, [&] {
            if (!paused && dialog.trackBar()->value() > 40) {
                // Mid-rip: the preset list shows the setting, and Pause holds the rip.
                presetShown = dialog.presetList()->currentIndex();
                dialog.pauseButton()->click();
                paused = dialog.pauseButton()->text() == "Resume";
                if (qEnvironmentVariableIsSet("QUARROW_SHOTS"))
                    dialog.grab().save(qEnvironmentVariable("QUARROW_SHOTS") + "/rip-dialog.png");
                // A click on the visualisation moves on to the next preset, list and setting with it.
                QTest::mouseClick(dialog.visualisation(), Qt::LeftButton);
                clickedTo = {dialog.presetList()->currentIndex(), rig.settings.MISC.Visualization};
                return true;
            }
            if (paused && !resumed) {
                QTest::qWait(150);   // what was under way before the pause is shown
                const int held = dialog.totalBar()->value();
                QTest::qWait(300);
                resumed = dialog.totalBar()->value() == held;
                dialog.pauseButton()->click();
                return true;
            }
            if (dialog.cancelButton()->text() != "Finish") return true;
            dialog.cancelButton()->click();
            return false;
        }, &timedOut);
        QVERIFY(!timedOut);
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(dialog.allWritten());
        QCOMPARE(presetShown, 4);
        QCOMPARE(clickedTo, std::make_pair(5, 4));
        QVERIFY2(resumed, "the total progress moved while paused");
        QCOMPARE(dialog.pauseButton()->text(), QString("Open Dir"));
        QCOMPARE(dialog.windowTitle(), QString("Finished Coping"));
        QCOMPARE(dialog.trackBar()->value(), 100);
        QCOMPARE(dialog.totalBar()->value(), 100);
        QVERIFY(!dialog.presetList()->isEnabled());
        QCOMPARE(rig.prompter.prompts.back().text, std::string("Finished Coping!"));
        QVERIFY(rig.Logged("Thread priorities: job thread "));

        // Finish pressed at once still leaves the rip log (intact) and the dialog's result lines.
        QTRY_COMPARE(dialog.resultList()->count(), 4);
        auto files = rig.Files();
        QCOMPARE(files.size(), std::size_t(3));
        QCOMPARE(CheckRipLogFile(files.back().string()).status, LogIntegrity::Intact);   // "The Album.log"
        files.pop_back();
        // Every frame of both tracks, in order, in its own file.
        int64_t frame = 0;
        for (std::size_t t = 0; t < files.size(); ++t) {
            const std::vector<int16_t> s = support::ReadShorts(files[t].string());
            QCOMPARE(s.size(), std::size_t(kSectors[t]) * kSamplesPerSector);
            for (std::size_t i = 0; i < s.size(); i += 2, ++frame)
                if (SimulatedFramePosition(s[i], s[i + 1]) != frame) QFAIL(files[t].c_str());
        }
    }

    void cancelAnsweredNoGoesOnAndYesLeavesNoPartialFile() {
        Rig rig;
        rig.prompter.yesNoReplies = {false, true};
        ui::RipDialog dialog(rig.ctx, rig.dir.path(), rig.Job(), nullptr);
        bool timedOut = false;
        int asked = 0, afterNo = -1;
        const int result = Drive(dialog, [&] {
            const int total = dialog.totalBar()->value();
            if (asked == 0 && dialog.trackBar()->value() > 0) {
                dialog.cancelButton()->click();   // No
                afterNo = total;
                ++asked;
            } else if (asked == 1 && total > afterNo) {   // still in the first track
                dialog.reject();   // the close box: the same question, now Yes
                ++asked;
                return false;
            }
            return true;
        }, &timedOut);
        QVERIFY(!timedOut);
        QCOMPARE(asked, 2);
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(!dialog.allWritten());
        QCOMPARE(rig.prompter.prompts.size(), std::size_t(2));
        QCOMPARE(rig.prompter.prompts.back().text, std::string(kCancelQuestion));
        const auto files = rig.Files();
        QVERIFY2(files.empty(), files.empty() ? "" : files.front().c_str());
    }

    void theRetryLimitClosesTheDialogAndDropsTheFile() {
        Rig rig;
        rig.settings.DISC.GrabOnErrorRetries = 2;
        rig.sim->SetUnreadable(700);
        ui::RipDialog dialog(rig.ctx, rig.dir.path(), rig.Job(), nullptr);
        bool timedOut = false;
        QCOMPARE(Drive(dialog, [] { return true; }, &timedOut), int(QDialog::Rejected));
        QVERIFY(!timedOut);
        QVERIFY(!dialog.allWritten() && !dialog.cancelButton()->isEnabled());
        QCOMPARE(dialog.windowTitle(), QString(kMaxRetriesCaption));
        QCOMPARE(rig.prompter.prompts.back().text, std::string(kScratchedDiscMessage));
        QVERIFY(rig.Files().empty());
    }

    // Three audio tracks before a data track: only they are offered. A start typed past the
    // end lands on it, an end typed past the range stops at its end, and OK leaves the range.
    void sectorRangeDialogClampsWhatIsTyped() {
        CSectorRange range;
        QVERIFY(range.Open({150, 1650, 2400, 3000, 9000}, {1020, 1010, 1008, 2}));
        ui::SectorRangeDialog dialog(range);
        QCOMPARE(std::make_pair(dialog.startSlider()->minimum(), dialog.endSlider()->maximum()), std::make_pair(1, 2850));
        QCOMPARE(dialog.labelTexts(), QStringList({"Track:01", "Track Offset::00.000", "Track:03", "Track Offset::08.000",
                                                    "Total Time Length:00:38.000", "Total Sectors:2850"}));
        auto type = [](QLineEdit* edit, QPushButton* update, const char* text) {
            edit->setText(text);
            QTest::mouseClick(update, Qt::LeftButton);
        };
        type(dialog.startEdit(), dialog.updateStartButton(), "5000");
        QCOMPARE(std::make_pair(dialog.startSlider()->value(), dialog.startEdit()->text()), std::make_pair(2850, QString("2850")));
        QCOMPARE(dialog.labelTexts().mid(4), QStringList({"Total Time Length:00:00.013", "Total Sectors:1"}));
        dialog.startSlider()->setValue(1500);          // track 2 starts at position 1500
        dialog.endSlider()->setValue(1400);            // cannot pass the start
        type(dialog.endEdit(), dialog.updateEndButton(), "9999");
        QCOMPARE(dialog.labelTexts().mid(0, 3), QStringList({"Track:01", "Track Offset::19.987", "Track:03"}));
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(std::vector<int>({range.startSector, range.endSector, range.startTrack, range.endTrack}),
                 std::vector<int>({1500, 2850, 0, 2}));
    }

    void saveQuestionCompletesTheExtension() {
        support::ScratchDir dir;
        ui::QtPrompter prompter;
        QStringList shown;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!d) return;
            shown << d->selectedNameFilter() << d->selectedFiles().value(0);
            d->selectFile("Chosen");
            QMetaObject::invokeMethod(d, "accept");
        });
        const std::string chosen = prompter.SaveFileName(dir.path() + "/Sector 1 to 75.wav", "(*.wav)|*.wav||");
        QCOMPARE(shown, QStringList({"(*.wav)", QString::fromStdString(dir.path() + "/Sector 1 to 75.wav")}));
        QCOMPARE(chosen, dir.path() + "/Chosen.wav");
    }
};

QTEST_MAIN(RipDialogTest)
#include "test_rip_dialog.moc"
