#include "ui/FocusFollower.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace quarrow::ui {

FocusFollower::FocusFollower(QObject* parent) : QObject(parent) {
    qApp->installEventFilter(this);
}

bool FocusFollower::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Show && event->type() != QEvent::Hide) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !widget->isWindow()) return false;
    const Qt::WindowType type = widget->windowType();
    if (type != Qt::Window && type != Qt::Dialog) return false;  // menus and tooltips keep their own
    if (event->type() == QEvent::Show) {
        QPointer<QWidget> shown(widget);
        QTimer::singleShot(0, widget, [shown] {
            if (shown && shown->isVisible()) {
                shown->raise();
                shown->activateWindow();
            }
        });
    } else {
        // The window now on top: a modal dialog still open, else the active or first top-level window.
        QTimer::singleShot(0, this, [] {
            QWidget* next = QApplication::activeModalWidget();
            if (!next) {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->isVisible() && (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog)) {
                        next = w;
                        if (w->windowType() == Qt::Dialog) break;
                    }
            }
            if (next && !next->isActiveWindow()) next->activateWindow();
        });
    }
    return false;
}

}  // namespace quarrow::ui
