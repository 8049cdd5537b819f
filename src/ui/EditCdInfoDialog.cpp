#include "ui/EditCdInfoDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "albuminfo/AlbumSteps.h"
#include "albuminfo/CDDBException.h"
#include "app/Prompter.h"
#include "app/Settings.h"

namespace quarrow::ui {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

EditCdInfoDialog::EditCdInfoDialog(MainContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx), editor_(ctx) {
    setWindowTitle(QString::fromLatin1(kTitle));
    album_ = new QLineEdit(Q(editor_.album), this);
    artist_ = new QLineEdit(Q(editor_.artist), this);
    genre_ = new QLineEdit(Q(editor_.genre), this);
    year_ = new QLineEdit(QString::number(editor_.year), this);
    year_->setMaximumWidth(80);
    various_ = new QCheckBox(QStringLiteral("Various Artists"), this);
    various_->setChecked(editor_.variousArtists);
    artist_->setEnabled(editor_.artistEnabled);
    category_ = new QComboBox(this);
    for (const std::string& item : CategoryItems()) category_->addItem(Q(item));
    category_->setCurrentIndex(-1);   // no category is chosen
    email_ = new QLineEdit(Q(editor_.email), this);
    album_->setMinimumWidth(300);

    auto* grid = new QGridLayout(this);
    int row = 0;
    auto add = [&](const char* text, QWidget* field, QWidget* beside = nullptr) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1, 1, beside ? 1 : 2);
        if (beside) grid->addWidget(beside, row, 2);
        ++row;
    };
    add("Album:", album_);
    add("Artist:", artist_, various_);
    add("Gene:", genre_);
    add("Year:", year_);
    add("Category:", category_);
    auto* emailLabel = new QLabel(QStringLiteral("Email Address to Receive Feedback after Submittion:"), this);
    emailLabel->setBuddy(email_);
    grid->addWidget(emailLabel, row++, 0, 1, 3);
    grid->addWidget(email_, row++, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    update_ = new QPushButton(QStringLiteral("Update"), this);
    save_ = new QPushButton(QStringLiteral("Save"), this);
    submit_ = new QPushButton(QStringLiteral("Submit"), this);
    close_ = new QPushButton(QStringLiteral("Close"), this);
    update_->setDefault(true);
    for (QPushButton* b : {update_, save_, submit_, close_}) buttons->addWidget(b);
    grid->addLayout(buttons, row, 0, 1, 3);

    connect(various_, &QCheckBox::toggled, this, [this](bool on) {
        editor_.artist = artist_->text().toStdString();
        editor_.SetVariousArtists(on);
        artist_->setText(Q(editor_.artist));
        artist_->setEnabled(editor_.artistEnabled);
    });
    connect(update_, &QPushButton::clicked, this, [this] {
        take();
        editor_.Update();
        accept();
    });
    connect(save_, &QPushButton::clicked, this, [this] {
        take();
        editor_.Save();
    });
    connect(submit_, &QPushButton::clicked, this, &EditCdInfoDialog::submit);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
}

void EditCdInfoDialog::take() {
    editor_.album = album_->text().toStdString();
    editor_.artist = artist_->text().toStdString();
    editor_.genre = genre_->text().toStdString();
    bool number = false;
    const int year = year_->text().trimmed().toInt(&number);
    editor_.year = number ? year : 0;
    editor_.email = email_->text().toStdString();
    editor_.category = category_->currentIndex();
}

EditCdInfoDialog::~EditCdInfoDialog() { endSubmission(); }

void EditCdInfoDialog::done(int result) {
    endSubmission();
    QDialog::done(result);
}

void EditCdInfoDialog::setButtonsEnabled(bool on) {
    for (QPushButton* b : {update_, save_, submit_, close_}) b->setEnabled(on);
}

void EditCdInfoDialog::submit() {
    if (submitting()) return;
    take();
    // The record, the rows and the setting change here, on the window's thread; the
    // thread sends copies, so nothing it reads is shared.
    auto sub = editor_.PrepareSubmission();
    if (!sub) return;
    auto client = std::make_shared<CCDDB>(Services(ctx_).client);
    client->SetCancelFlag(&cancelSubmit_);

    setButtonsEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cancelSubmit_ = false;
    submitDone_ = false;
    submitter_ = std::thread([this, client, sub = std::move(*sub)] {
        try {
            // The client shows "Successfully Submitted!" or the failure box through the
            // prompter, which runs it on the window's thread.
            client->Submit(sub.address, sub.category, sub.email, sub.record, sub.note, true);
        } catch (const std::exception&) {
            // The failure has been shown and logged by the client.
        }
        submitDone_ = true;
        QMetaObject::invokeMethod(this, [this] { endSubmission(); }, Qt::QueuedConnection);
    });
}

void EditCdInfoDialog::endSubmission() {
    if (!submitter_.joinable()) return;
    if (!submitDone_) cancelSubmit_ = true;
    while (!submitDone_) QApplication::processEvents(QEventLoop::AllEvents, 20);
    // The events above may have ended it already (a close while waiting).
    if (!submitter_.joinable()) return;
    submitter_.join();
    QApplication::restoreOverrideCursor();
    setButtonsEnabled(true);
}

}  // namespace quarrow::ui
