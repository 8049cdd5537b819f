#include "ui/ServerTestDialog.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/GuiThread.h"

namespace quarrow::ui {

ServerTestDialog::ServerTestDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(ServerTestCaption(0)));
    caption_ = new QLabel(this);
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setMinimumSize(460, 320);
    auto* buttons = new QDialogButtonBox(this);
    stop_ = buttons->addButton(QStringLiteral("&Stop"), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    connect(stop_, &QPushButton::clicked, this, &ServerTestDialog::stop);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption_);
    layout->addWidget(text_, 1);
    layout->addWidget(buttons);
}

ServerTestDialog::~ServerTestDialog() {
    test_.Stop();
}

bool ServerTestDialog::start(ServerTestSetup setup, Prompter* prompter, CEventLog* log,
                             std::function<bool()> isPlaying, std::function<void()> stopPlayback) {
    text_->clear();
    lastStep_ = -1;
    QPointer<ServerTestDialog> self(this);
    // The sink runs on the test's thread: the text goes to the window's thread. Stop()
    // joins the thread, and a text queued before that finds the window gone or still here.
    const bool started = test_.Start(
        std::move(setup),
        [self](int step, const std::string& text) {
            const QString t = QString::fromStdString(text);
            RunOnGuiThread([self, step, t] {
                if (self) self->showStep(step, t);
            }, false);
        },
        prompter, std::move(isPlaying), std::move(stopPlayback), log);
    stop_->setEnabled(started);
    if (started) caption_->setText(QString::fromLatin1(ServerTestCaption(0)));
    return started;
}

void ServerTestDialog::stop() {
    test_.Stop();
    stop_->setEnabled(false);
}

void ServerTestDialog::showStep(int step, const QString& text) {
    lastStep_ = step;
    const QString caption = QString::fromLatin1(ServerTestCaption(step));
    setWindowTitle(caption);
    caption_->setText(caption);
    if (!text_->document()->isEmpty()) text_->appendPlainText(QString());
    text_->appendPlainText(text.trimmed());
    if (step == 4 || step == 3) stop_->setEnabled(false);
    emit stepShown(step);
}

QString ServerTestDialog::text() const { return text_->toPlainText(); }

void ServerTestDialog::closeEvent(QCloseEvent* event) {
    stop();
    event->accept();
}

}  // namespace quarrow::ui
