// The "Edit CD Info" dialog: album, artist (or "Various Artists"), genre, year and the
// e-mail address, bound to the core's album editor; Update takes the fields and closes,
// Save writes the disc's local CDDB file, Submit sends the record with a chosen category.
#pragma once

#include <QDialog>
#include <memory>

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

    QPushButton* updateButton() const { return update_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* submitButton() const { return submit_; }

private:
    // The fields into the editor (a year that is not a number counts as out of range).
    void take();
    void submit();

    quarrow::CAlbumEditor editor_;
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
};

}  // namespace quarrow::ui
