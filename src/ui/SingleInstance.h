// One window per user: the first start listens on a local socket named after the user;
// a later start asks it to come to the front and then ends without opening anything.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace quarrow::ui {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the socket's name; the current user's own by default.
    explicit SingleInstance(const QString& name = ServerName(), QObject* parent = nullptr);
    ~SingleInstance() override;
    // The socket's name for the current user.
    static QString ServerName();
    // true: another instance was running and has been asked to show itself.
    bool askRunningInstance();
    // Starts listening (after askRunningInstance found nobody); false when it cannot.
    bool listen();

signals:
    // A later start asked this instance to show its window.
    void showRequested();

private:
    QString name_;
    QLocalServer* server_ = nullptr;
};

}  // namespace quarrow::ui
