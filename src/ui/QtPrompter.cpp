#include "ui/QtPrompter.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QVBoxLayout>
#include <future>
#include <memory>

#include "albuminfo/AlbumSteps.h"
#include "ui/GuiThread.h"
#include "ui/MainWindow.h"
#include "ui/MatchDialog.h"

namespace quarrow::ui {

namespace {

QString Caption(const std::string& caption) {
    return caption.empty() ? QStringLiteral("Quarrow") : QString::fromStdString(caption);
}

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

// "Wave (*.wav)|*.wav||" (description and pattern pairs) as a Qt filter list.
QString QtFilter(const std::string& filter) {
    QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        out << (parts[i].contains(QLatin1Char('(')) ? parts[i] : parts[i] + " (" + parts[i + 1] + ")");
    }
    return out.join(QStringLiteral(";;"));
}

}  // namespace

void QtPrompter::Message(const std::string& text, MessageIcon icon, const std::string& caption) {
    RunOnGuiThread([&] {
        QMessageBox box(BoxIcon(icon), Caption(caption), QString::fromStdString(text), QMessageBox::Ok, parent_);
        // Album texts come from a server: never let them be read as markup.
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }, true);
}

bool QtPrompter::AskYesNo(const std::string& text, const std::string& caption) {
    bool yes = false;
    RunOnGuiThread([&] {
        QMessageBox box(QMessageBox::Question, Caption(caption), QString::fromStdString(text),
                        QMessageBox::Yes | QMessageBox::No, parent_);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::Yes);
        yes = box.exec() == QMessageBox::Yes;
    }, true);
    return yes;
}

namespace {

// The match dialog's rows: the lookup waits for the answer, so its matches stand still.
std::vector<MatchDialog::Row> MatchColumns(QWidget* parent, const std::vector<std::string>& choices) {
    std::vector<MatchDialog::Row> columns;
    auto* window = qobject_cast<MainWindow*>(parent);
    if (window && window->shell().main)
        for (const CCDDBMatch& m : Services(*window->shell().main).matches)
            columns.push_back({FormatDiscId(m.discId), m.title, m.artist, m.category});
    return MatchRows(choices, columns);
}

}  // namespace

int QtPrompter::PickMatch(const std::vector<std::string>& choices) {
    auto answer = std::make_shared<std::promise<int>>();
    auto answered = std::make_shared<bool>(false);   // window thread only
    auto give = [answer, answered](int row) {
        if (*answered) return;
        *answered = true;
        answer->set_value(row);
    };
    std::future<int> picked = answer->get_future();
    // Not waited for: the dialog's event loop goes on after the answer. Should the call
    // never run, the broken promise ends the lookup with an exception.
    RunOnGuiThread([this, choices, give] {
        if (closing_) return give(-1);
        MatchDialog dialog(MatchColumns(parent_, choices), parent_);
        dialog.holdAfterChoice(give);
        QDialog* outer = openChoice_;
        MatchDialog* outerMatch = busyMatch_;
        openChoice_ = busyMatch_ = &dialog;
        dialog.exec();
        openChoice_ = outer;
        busyMatch_ = outerMatch;
        give(-1);
    }, false);
    return picked.get();
}

void QtPrompter::EndMatchRead() {
    if (busyMatch_) busyMatch_->endRead();
}

int QtPrompter::PickOne(const std::string& caption, const std::vector<std::string>& choices) {
    // On the window's own thread nobody could end the read: the dialog closes on the choice.
    if (caption == MatchDialog::kCaption && !OnGuiThread()) return PickMatch(choices);
    int picked = -1;
    RunOnGuiThread([&] {
        if (closing_) return;
        std::unique_ptr<QDialog> dialog;
        QListWidget* list = nullptr;
        MatchDialog* match = nullptr;
        if (caption == MatchDialog::kCaption) {
            dialog.reset(match = new MatchDialog(MatchColumns(parent_, choices), parent_));
        } else {
            dialog = std::make_unique<QDialog>(parent_);
            dialog->setWindowTitle(Caption(caption));
            auto* layout = new QVBoxLayout(dialog.get());
            list = new QListWidget(dialog.get());
            for (const std::string& c : choices) list->addItem(QString::fromStdString(c));
            if (!choices.empty()) list->setCurrentRow(0);
            auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog.get());
            QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
            QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
            QObject::connect(list, &QListWidget::itemDoubleClicked, dialog.get(), &QDialog::accept);
            layout->addWidget(list);
            layout->addWidget(buttons);
            dialog->resize(520, 260);
        }
        QDialog* outer = openChoice_;
        openChoice_ = dialog.get();
        const bool ok = dialog->exec() == QDialog::Accepted;
        openChoice_ = outer;
        if (match) picked = ok ? match->chosen() : -1;
        else if (ok) picked = list->currentRow();
    }, true);
    return picked;
}

void QtPrompter::SetClosing() {
    closing_ = true;
    if (openChoice_) openChoice_->reject();
}

std::string QtPrompter::SaveFileName(const std::string& proposal, const std::string& filter) {
    std::string name;
    RunOnGuiThread([&] {
        // The core's "(*.ext)|*.ext||": its first pattern gives the default extension, so
        // a name typed without one is completed before the overwrite question is asked.
        const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
        QString suffix = parts.size() > 1 ? parts[1].section(QLatin1Char(';'), 0, 0) : QString();
        suffix = suffix.startsWith(QLatin1String("*.")) ? suffix.mid(2) : QString();
        QFileDialog dialog(parent_, QStringLiteral("Save As"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QtFilter(filter));
        if (!suffix.isEmpty() && !suffix.contains(QLatin1Char('*'))) dialog.setDefaultSuffix(suffix);
        const QFileInfo proposed(QString::fromStdString(proposal));
        dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(proposed.fileName());
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            name = dialog.selectedFiles().front().toStdString();
    }, true);
    return name;
}

}  // namespace quarrow::ui
