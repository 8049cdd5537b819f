// Keyboard focus follows the windows the program opens: a dialog that appears takes the
// focus, and when it goes the window below it gets it back. Window managers do this
// themselves; a bare X server (a kiosk, Xvfb) does not, and keys would go nowhere.
#pragma once

#include <QObject>

namespace quarrow::ui {

class FocusFollower : public QObject {
    Q_OBJECT
public:
    explicit FocusFollower(QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace quarrow::ui
