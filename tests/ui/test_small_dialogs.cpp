// The window's painted icons, the Tip of the Day dialog and the About text.
#include <QCheckBox>
#include <QImage>
#include <QPushButton>
#include <QtTest>

#include "app/Settings.h"
#include "app/TipFile.h"
#include "support/TestFiles.h"
#include "ui/AboutBox.h"
#include "ui/Icons.h"
#include "ui/TipDialog.h"

using namespace quarrow;

class SmallDialogsTest : public QObject {
    Q_OBJECT
private slots:
    // Each icon is painted at every button size, and no two icons look the same.
    void IconsArePaintedAndDistinct() {
        const QStringList names = ui::QuarrowIconNames();
        QCOMPARE(names.size(), 20);
        QVERIFY(ui::QuarrowIcon("no-such-icon").isNull());
        for (int size : {16, 24, 32}) {
            QList<QImage> seen;
            for (const QString& name : names) {
                const QImage image = ui::QuarrowIcon(name).pixmap(size, size).toImage();
                QCOMPARE(image.size(), QSize(size, size));
                int painted = 0;
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x) painted += qAlpha(image.pixel(x, y)) > 128;
                QVERIFY2(painted > size * size / 10, qPrintable(name));
                QVERIFY2(!seen.contains(image), qPrintable(name + " looks like another icon"));
                seen << image;
            }
        }
    }

    // Next tip walks the file; OK writes the box into the settings and Quarrow.ini.
    void TipDialogShowsTipsAndKeepsTheStartupChoice() {
        support::ScratchDir home;
        support::WriteFile(home.file("Tips.tip"), "; note\nFirst tip\nSecond tip\n");
        CSettings settings;
        settings.MISC.Tip = 1;
        ui::TipDialog dialog(settings, home.file("Tips.tip"), nullptr, home.path());
        QCOMPARE(dialog.TipText(), QString("First tip"));
        QVERIFY(dialog.ShowOnStartup());
        QTest::mouseClick(dialog.findChild<QPushButton*>("nextTip"), Qt::LeftButton);
        QCOMPARE(dialog.TipText(), QString("Second tip"));
        dialog.NextTip();
        QCOMPARE(dialog.TipText(), QString("First tip"));
        dialog.findChild<QCheckBox*>()->setChecked(false);
        dialog.accept();
        QCOMPARE(settings.MISC.Tip, 0);
        QCOMPARE(LoadTipSetting(home.path()), 0);

        ui::TipDialog missing(settings, home.file("none.tip"), nullptr);
        QCOMPARE(missing.TipText(), QString(CTipFile::kNoFile));
        QVERIFY(!missing.ShowOnStartup());
    }

    void AboutTextNamesTheVersion() {
        QVERIFY(ui::AboutText().contains("Quarrow " QUARROW_VERSION));
    }
};

QTEST_MAIN(SmallDialogsTest)
#include "test_small_dialogs.moc"
