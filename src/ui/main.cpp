// quarrow: the Qt main window. Options as quarrow-cli: --home DIR, --drive DEVICE|IMAGE.
#include <QApplication>
#include <QCommandLineParser>

#include "ui/FocusFollower.h"
#include "ui/MainWindow.h"
#include "ui/SingleInstance.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarrow"));
    QApplication::setApplicationVersion(QStringLiteral(QUARROW_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Audio CD ripper"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption home(QStringLiteral("home"), QStringLiteral("The folder of settings, log and output."),
                            QStringLiteral("DIR"));
    QCommandLineOption drive(QStringLiteral("drive"),
                             QStringLiteral("A CD device or disc image to open as a drive (may be repeated)."),
                             QStringLiteral("DEVICE"));
    parser.addOption(home);
    parser.addOption(drive);
    parser.process(app);

    quarrow::ShellOptions options;
    if (parser.isSet(home)) options.home = parser.value(home).toStdString();
    for (const QString& d : parser.values(drive)) options.drives.push_back(d.toStdString());
    options.argv0 = argc > 0 ? argv[0] : "quarrow";

    // A second start by the same user shows the first window and opens nothing.
    quarrow::ui::SingleInstance instance(quarrow::ui::SingleInstance::ServerName());
    if (instance.askRunningInstance()) return 0;
    instance.listen();

    quarrow::ui::FocusFollower focus(&app);
    quarrow::ui::MainWindow window;
    QObject::connect(&instance, &quarrow::ui::SingleInstance::showRequested, &window,
                     &quarrow::ui::MainWindow::bringToFront);
    // The session ending quits the application: the shutdown still runs in full.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &quarrow::ui::MainWindow::shutdown);
    window.show();
    const int status = window.open(options);
    if (status != 0) {
        window.hide();
        return status;
    }
    return app.exec();
}
