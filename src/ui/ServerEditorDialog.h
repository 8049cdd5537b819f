// The "FreeDB Server Editor": site, port, time-out and protocol level of one server entry,
// bound to the core's editor fields; the "FreeDB" page adds or replaces the entry on OK.
#pragma once

#include <QDialog>

#include "albuminfo/FreeDBPages.h"

class QComboBox;
class QLineEdit;
class QSpinBox;

namespace quarrow::ui {

class ServerEditorDialog : public QDialog {
    Q_OBJECT
public:
    // newEntry: the focus starts on the host field.
    ServerEditorDialog(const quarrow::FreeDBServerEditor& editor, bool newEntry, QWidget* parent = nullptr);
    // The fields as they stand.
    quarrow::FreeDBServerEditor editor() const;

private:
    QLineEdit* host_;
    QSpinBox* port_;
    QSpinBox* timeout_;
    QComboBox* level_;
};

}  // namespace quarrow::ui
