// One window per user and home folder: the first start listens on a local socket named
// after both; a later start asks it to come to the front and then ends without opening
// anything. (Two windows on one home would overwrite each other's settings and log.)
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace quarrow::ui {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the socket's name (ServerName() for the program).
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;
    // The socket's name for the current user and a home folder.
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
