#include "ui/AboutBox.h"

#include "ui/Icons.h"

#include <QMessageBox>
#include <QtGlobal>

namespace quarrow::ui {

QString AboutText() {
    return QStringLiteral(
               "<h3>Quarrow %1</h3>"
               "<p>An audio CD ripper: it reads audio CDs and CUE/BIN, TOC and NRG disc images, "
               "finds the album's titles in a local CDDB folder or on a CDDB server, and rips "
               "tracks, checked tracks, sector ranges or whole discs to WAV, AIFF, MP3, Ogg "
               "Vorbis, FLAC, WavPack, MP2 and many more formats, named, tagged, with cue sheets "
               "and playlists.</p>"
               "<p>Built on Qt %2, libcdio and libcdio-paranoia, libcue, libsndfile, "
               "libvorbis and libogg, libFLAC, WavPack, TwoLAME, libresample, FFTW, uchardet "
               "and nlohmann-json; MP3 through the LAME library when it is installed.</p>")
        .arg(QStringLiteral(QUARROW_VERSION), QString::fromLatin1(qVersion()));
}

void ShowAboutBox(QWidget* parent) {
    QMessageBox box(parent);
    box.setWindowTitle(QObject::tr("About Quarrow"));
    box.setIconPixmap(QuarrowIcon("quarrow").pixmap(64, 64));
    box.setTextFormat(Qt::RichText);
    box.setText(AboutText());
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

}  // namespace quarrow::ui
