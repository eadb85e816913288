// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;
class QWidget;

// The GUI application object of a program that runs once per user and executable: a second start
// finds the first through a lock file, hands it a text over a local socket and quits.
//
// Identity: the current user and the canonical path of the executable, so two builds in different
// folders are different applications. The instance that takes the lock file is the running
// instance; it listens on a local socket that only its user may open. Every other start reports
// isRunning() and may deliver messages with sendMessage(). Lock and socket live in a folder that
// only the user can use; where there is none, or another user's file takes their place, every start
// runs on its own.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    explicit SingleApplication(int &argc, char **argv);
    ~SingleApplication() override;

    // True when another instance of this user and executable already runs.
    bool isRunning() const { return running; }

    // Delivers `message` to the running instance, waiting at most `timeout` ms (a negative one
    // counts as 0) for its acknowledgement; false when there is no other instance or it did not take
    // the message in time. Blocks the calling thread.
    bool sendMessage(const QString &message, int timeout = 5000);

    // With `activateOnMessage`, every received message brings `window` to the front, after
    // messageReceived has been emitted.
    void setActivationWindow(QWidget *window, bool activateOnMessage = true);
    QWidget *activationWindow() const;

    // Where the running instance listens: the socket path, or the pipe name where there are no paths;
    // empty without a private folder.
    QString serverName() const { return socketName; }

    // Clears the activation window's minimized state, shows, raises and activates it.
    void activateWindow();

signals:
    void messageReceived(const QString &message);

private:
    void startServer();
    void acceptConnections();
    void readMessage(QLocalSocket *socket);

    QString socketName;
    std::unique_ptr<QLockFile> lock;
    QLocalServer *server = nullptr;
    bool running = false;
    QPointer<QWidget> activationTarget;
    bool activatesOnMessage = false;
};
