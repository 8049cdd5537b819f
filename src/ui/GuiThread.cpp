#include "ui/GuiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace quarrow::ui {

bool OnGuiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void RunOnGuiThread(std::function<void()> fn, bool wait) {
    auto* app = QCoreApplication::instance();
    if (!app || OnGuiThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

}  // namespace quarrow::ui
