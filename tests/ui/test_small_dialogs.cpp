// The Tip of the Day dialog: the tips it walks and the start-up choice it keeps.
#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

#include "app/Settings.h"
#include "app/TipFile.h"
#include "support/TestFiles.h"
#include "ui/TipDialog.h"

using namespace quarrow;

class SmallDialogsTest : public QObject {
    Q_OBJECT
private slots:
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
        dialog.findChild<QCheckBox*>()->setChecked(false);
        dialog.accept();
        QCOMPARE(settings.MISC.Tip, 0);
        QCOMPARE(LoadTipSetting(home.path()), 0);
    }
};

QTEST_MAIN(SmallDialogsTest)
#include "test_small_dialogs.moc"
