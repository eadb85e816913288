// SPDX-License-Identifier: Apache-2.0
#include "app/singleapplication.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// One message per connection: "VDF1", the UTF-8 text's length as a 32-bit big-endian number, the
// text. The running instance answers a complete message with one Ack byte and closes.
const QByteArray Magic = QByteArrayLiteral("VDF1");
constexpr int HeaderSize = 8;
constexpr char Ack = '\x06';
constexpr quint32 MaxMessageSize = 1 << 20;

// A client that has not sent its whole message by then is dropped.
constexpr int ConnectionTimeout = 3000;
// Pause between connection attempts while the running instance is not listening yet.
constexpr int RetryInterval = 20;

QString currentUser()
{
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

QString identity()
{
    const QString filePath = QCoreApplication::applicationFilePath();
    QString path = QFileInfo(filePath).canonicalFilePath();
    if (path.isEmpty())
        path = filePath;
#ifdef Q_OS_WIN
    path = path.toLower(); // the same file under any spelling
#endif
    return currentUser() + QLatin1Char('\n') + path;
}

// Short and free of anything a file or pipe name cannot hold, whatever the path contains.
QString instanceName()
{
    const QByteArray hash = QCryptographicHash::hash(identity().toUtf8(), QCryptographicHash::Sha256);
    return QLatin1String("veltra-") + QString::fromLatin1(hash.toHex().left(16));
}

// A folder that only this user can use, or an empty text when there is none: in a shared one any
// other user could take the names first and stop every start. The per-user runtime folder
// ($XDG_RUNTIME_DIR, or one Qt makes in the temporary folder), checked here as well, whatever Qt
// checked: a folder, not a link, of this user with mode 0700. Elsewhere the temporary folder is
// per user.
QString privateDirectory()
{
#ifdef Q_OS_UNIX
    // Absolute, since QLocalServer takes a relative name as one in the shared temporary folder.
    const QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString path = directory.isEmpty() ? QString() : QFileInfo(directory).absoluteFilePath();
    struct stat status = {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != ::geteuid() || (status.st_mode & 0777) != 0700)
        return QString();
    return path;
#else
    return QDir::tempPath();
#endif
}

// Whether nothing is at `path`, or a socket (else a plain file) of this user. Only this user can
// create files in the private folder: anything else there was planted, and is never trusted.
bool absentOrOwn(const QString &path, bool socket)
{
#ifdef Q_OS_UNIX
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return errno == ENOENT;
    return (socket ? S_ISSOCK(status.st_mode) : S_ISREG(status.st_mode)) && status.st_uid == ::geteuid();
#else
    Q_UNUSED(path);
    Q_UNUSED(socket);
    return true;
#endif
}

QByteArray frame(const QByteArray &payload)
{
    QByteArray data = Magic;
    data.resize(HeaderSize);
    qToBigEndian<quint32>(quint32(payload.size()), data.data() + Magic.size());
    return data + payload;
}

int remaining(const QDeadlineTimer &deadline)
{
    return int(deadline.remainingTime());
}

void drop(QLocalSocket *socket)
{
    socket->abort();
    socket->deleteLater();
}

} // namespace

SingleApplication::SingleApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    const QString directory = privateDirectory();
    if (directory.isEmpty()) {
        // Better a second window than a program that others can stop from starting.
        qDebug("SingleApplication: no folder that only this user can use; running without the single-instance check");
        return;
    }
    const QString name = instanceName();
#ifdef Q_OS_WIN
    socketName = name;
#else
    socketName = directory + QLatin1Char('/') + name + QLatin1String(".socket");
#endif

    const QString lockName = directory + QLatin1Char('/') + name + QLatin1String(".lock");
    // A planted lock file would make this start hand over to whoever holds it: it goes.
    if (!absentOrOwn(lockName, false) && !QFile::remove(lockName)) {
        qDebug("SingleApplication: %s is not this user's lock file; running without the single-instance check",
               qPrintable(QDir::toNativeSeparators(lockName)));
        return;
    }
    lock = std::make_unique<QLockFile>(lockName);
    // Held for the whole run: only a dead owner makes the lock stale, never its age.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        startServer();
    } else if (lock->error() == QLockFile::LockFailedError) {
        // A running instance of this user, unless someone else's socket stands in for its own.
        running = absentOrOwn(socketName, true);
        if (!running)
            qDebug("SingleApplication: %s is not this user's socket; running without the single-instance check",
                   qPrintable(QDir::toNativeSeparators(socketName)));
    } else {
        // Better a second window than a program that never starts.
        qWarning("SingleApplication: cannot create the lock file %s; running without the single-instance check",
                 qPrintable(QDir::toNativeSeparators(lock->fileName())));
    }
}

SingleApplication::~SingleApplication()
{
    // Close before unlocking: a successor that takes the lock recreates the socket under the same
    // name, and closing ours afterwards would remove it.
    if (server)
        server->close();
    lock.reset();
}

bool SingleApplication::sendMessage(const QString &message, int timeout)
{
    if (!running)
        return false;
    const QByteArray payload = message.toUtf8();
    if (quint32(payload.size()) > MaxMessageSize)
        return false;

    const QDeadlineTimer deadline(qMax(timeout, 0));
    QLocalSocket socket;
    // The running instance holds the lock a moment before it listens, and a crashed one leaves
    // its socket behind until the next owner removes it: keep trying until the time is up.
    for (;;) {
        // Someone else's socket would take the message and leave this start without a window.
        if (!absentOrOwn(socketName, true))
            return false;
        socket.connectToServer(socketName);
        if (socket.waitForConnected(remaining(deadline)))
            break;
        socket.abort();
        if (deadline.hasExpired())
            return false;
        QThread::msleep(qMin(RetryInterval, remaining(deadline)));
    }

    socket.write(frame(payload));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remaining(deadline)))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(remaining(deadline)))
            return false;
    }
    char answer = 0;
    const bool delivered = socket.getChar(&answer) && answer == Ack;
    socket.abort();
    return delivered;
}

void SingleApplication::setActivationWindow(QWidget *window, bool activateOnMessage)
{
    activationTarget = window;
    activatesOnMessage = activateOnMessage;
}

QWidget *SingleApplication::activationWindow() const
{
    return activationTarget;
}

void SingleApplication::activateWindow()
{
    QWidget *const window = activationTarget;
    if (!window)
        return;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

void SingleApplication::startServer()
{
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Whatever socket is left under our name belongs to a crashed instance: we hold the lock.
    QLocalServer::removeServer(socketName);
    if (!server->listen(socketName)) {
        // Holding the lock without listening would leave every later start waiting in vain and
        // then quitting without a window: let them run on their own instead.
        qWarning("SingleApplication: cannot listen on %s: %s; running without the single-instance check",
                 qPrintable(QDir::toNativeSeparators(socketName)), qPrintable(server->errorString()));
        lock->unlock();
        return;
    }
    connect(server, &QLocalServer::newConnection, this, &SingleApplication::acceptConnections);
}

void SingleApplication::acceptConnections()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        // Nothing here waits for a client: each one is read as its bytes come and dropped when it
        // stalls, so a silent or broken client holds up no one else.
        auto *timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [socket] { drop(socket); });
        timer->start(ConnectionTimeout);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
        readMessage(socket);
    }
}

void SingleApplication::readMessage(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < HeaderSize)
        return;
    const QByteArray header = socket->peek(HeaderSize);
    const quint32 size = qFromBigEndian<quint32>(header.constData() + Magic.size());
    if (!header.startsWith(Magic) || size > MaxMessageSize) {
        drop(socket);
        return;
    }
    if (socket->bytesAvailable() < HeaderSize + qint64(size))
        return;

    socket->skip(HeaderSize);
    const QString message = QString::fromUtf8(socket->read(size));
    // One message per connection; anything after it is ignored. The answer goes out before the
    // signal, so that a slot that opens a dialog does not make the sender give up.
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    socket->putChar(Ack);
    socket->flush();
    socket->disconnectFromServer();

    emit messageReceived(message);
    if (activatesOnMessage)
        activateWindow();
}
