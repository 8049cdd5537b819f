// The "Edit CD Info" dialog: album, artist (or "Various Artists"), genre, year and the
// e-mail address, bound to the core's album editor; Update takes the fields and closes,
// Save writes the disc's local CDDB file, Submit sends the record with a chosen category
// on a thread of its own, the buttons off until it ends.
#pragma once

#include <QDialog>
#include <atomic>
#include <memory>
#include <thread>

#include "albuminfo/AlbumEditor.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace quarrow::ui {

class EditCdInfoDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Edit CD Info";
    explicit EditCdInfoDialog(quarrow::MainContext& ctx, QWidget* parent = nullptr);
    // A submission still running is cancelled and joined.
    ~EditCdInfoDialog() override;

    // Closing waits for a running submission (cancelled first).
    void done(int result) override;
    bool submitting() const { return submitter_.joinable(); }
    quarrow::CAlbumEditor& editor() { return editor_; }

    QPushButton* updateButton() const { return update_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* submitButton() const { return submit_; }

private:
    // The fields into the editor (a year that is not a number counts as out of range).
    void take();
    void submit();
    // Cancels a running submission and runs the window's events until it has ended (its
    // result box is shown on this thread meanwhile), then joins it.
    void endSubmission();
    void setButtonsEnabled(bool on);

    quarrow::MainContext& ctx_;
    quarrow::CAlbumEditor editor_;
    std::thread submitter_;
    std::atomic<bool> submitDone_{false};
    std::atomic<bool> cancelSubmit_{false};
    QLineEdit* album_;
    QLineEdit* artist_;
    QLineEdit* genre_;
    QLineEdit* year_;
    QCheckBox* various_;
    QComboBox* category_;
    QLineEdit* email_;
    QPushButton* update_;
    QPushButton* save_;
    QPushButton* submit_;
    QPushButton* close_;
};

}  // namespace quarrow::ui
