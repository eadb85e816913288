// SPDX-License-Identifier: Apache-2.0
#include "app/singleapplication.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

SingleApplication *app()
{
    return static_cast<SingleApplication *>(QCoreApplication::instance());
}

// The wire format between two starts of one executable, which may be two versions of it when the
// program is updated while it runs: "VDF1", the UTF-8 length as 32-bit big-endian, the text.
QByteArray frame(const QByteArray &payload, quint32 size)
{
    QByteArray header("VDF1\0\0\0\0", 8);
    qToBigEndian<quint32>(size, header.data() + 4);
    return header + payload;
}

QByteArray frame(const QByteArray &payload)
{
    return frame(payload, quint32(payload.size()));
}

constexpr char Ack = '\x06';

// Another local user: the owner of files planted by the tests.
constexpr uid_t Nobody = 65534;

// A raw client of the running instance in this process.
class Client
{
public:
    Client()
    {
        QObject::connect(&socket, &QLocalSocket::readyRead, &socket, [this] { answer += socket.readAll(); });
        socket.connectToServer(app()->serverName());
        connected = socket.waitForConnected(1000);
    }
    void send(const QByteArray &data)
    {
        socket.write(data);
        socket.flush();
    }
    bool acknowledged() const { return answer == QByteArray(1, Ack); }
    bool closed() const { return socket.state() == QLocalSocket::UnconnectedState; }

    QLocalSocket socket;
    QByteArray answer;
    bool connected = false;
};

// One start of the helper program (singleinstancehelper.cpp), killed when it goes.
class Helper
{
public:
    explicit Helper(const QProcessEnvironment &environment, const QStringList &arguments = {},
                    const QString &program = QStringLiteral(SINGLE_INSTANCE_HELPER))
    {
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        process.waitForStarted(5000);
        pid = process.processId();
    }
    ~Helper()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill(); // SIGKILL ends a stopped process too
            process.waitForFinished(2000);
        }
        const QByteArray errors = process.readAllStandardError();
        if (QTest::currentTestFailed() && !errors.isEmpty())
            qWarning("helper %lld said on stderr:\n%s", qint64(pid), errors.constData());
    }

    // The next line the helper prints, or an empty text when none comes within `timeout` ms.
    QString nextLine(int timeout = 5000)
    {
        const QDeadlineTimer deadline(timeout);
        while (!process.canReadLine()) {
            if (deadline.hasExpired() || !process.waitForReadyRead(int(deadline.remainingTime())))
                break;
        }
        if (!process.canReadLine())
            return QString();
        return QString::fromUtf8(process.readLine()).trimmed();
    }

    // The next line that starts with `prefix`, skipping others.
    QString nextLine(const QString &prefix, int timeout = 5000)
    {
        const QDeadlineTimer deadline(timeout);
        for (;;) {
            const QString line = nextLine(int(deadline.remainingTime()));
            if (line.isEmpty() || line.startsWith(prefix))
                return line;
        }
    }

    bool finishes(int timeout = 5000)
    {
        return process.waitForFinished(timeout) && process.exitStatus() == QProcess::NormalExit;
    }

    QProcess process;
    qint64 pid = 0;
};

} // namespace

class TestSingleApplication : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // This process is the running instance of the test program.
    void firstInstance();
    void framedMessages();
    void brokenClientsBlockNoOne();
    void activationAfterSignal();
    void noActivation();

    // Several starts of the helper program.
    void handOver();
    void identityFollowsExecutable();
    void staleLockAfterKill();
    void lateListener();
    void simultaneousStarts();
    void stoppedInstance();
    void unusableRuntimeFolder_data();
    void unusableRuntimeFolder();
    void untrustedRuntimeFolder_data();
    void untrustedRuntimeFolder();
    void othersLockOrSocket_data();
    void othersLockOrSocket();

private:
    Helper *start(const QStringList &arguments = {});
    Helper *startFirst();
    QStringList leftBehind();

    std::unique_ptr<QTemporaryDir> runtimeDir;
    QProcessEnvironment environment;
    std::vector<std::unique_ptr<Helper>> helpers;
};

void TestSingleApplication::init()
{
    // Each test's helpers get a runtime folder of their own, so no test sees another's lock.
    runtimeDir = std::make_unique<QTemporaryDir>();
    QVERIFY(runtimeDir->isValid());
    environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir->path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
}

void TestSingleApplication::cleanup()
{
    helpers.clear();
    runtimeDir.reset();
    app()->setActivationWindow(nullptr);
}

Helper *TestSingleApplication::start(const QStringList &arguments)
{
    helpers.push_back(std::make_unique<Helper>(environment, arguments));
    return helpers.back().get();
}

Helper *TestSingleApplication::startFirst()
{
    Helper *first = start();
    const QString ready = first->nextLine();
    if (ready != QLatin1String("ready")) {
        QTest::qFail(qPrintable(QStringLiteral("the first start printed '%1', not 'ready'").arg(ready)), __FILE__,
                     __LINE__);
        return nullptr;
    }
    return first;
}

// The lock file and the socket that a killed instance leaves behind, or nothing unless one of each.
QStringList TestSingleApplication::leftBehind()
{
    Helper *crashed = startFirst();
    if (!crashed)
        return {};
    crashed->process.kill();
    crashed->process.waitForFinished(2000);
    const QDir dir(runtimeDir->path());
    const QStringList locks = dir.entryList({QStringLiteral("*.lock")}, QDir::Files);
    const QStringList sockets = dir.entryList(QDir::System);
    if (locks.size() != 1 || sockets.size() != 1)
        return {};
    return {dir.filePath(locks.first()), dir.filePath(sockets.first())};
}

void TestSingleApplication::firstInstance()
{
    QVERIFY(!app()->isRunning());

    // There is no other instance to talk to: no waiting, and certainly not on ourselves.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!app()->sendMessage(QStringLiteral("to myself"), 3000));
    QVERIFY(clock.elapsed() < 500);

    // Other users may not even connect.
    const QFileInfo socket(app()->serverName());
    QVERIFY(socket.exists());
    const auto othersMay =
        QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(socket.permissions() & othersMay, QFile::Permissions());
}

void TestSingleApplication::framedMessages()
{
    QSignalSpy received(app(), &SingleApplication::messageReceived);
    const QString unicode = QStringLiteral("Grüße ✓ \U0001F600");

    // A message that arrives in pieces, with another client's whole message in between.
    Client slow;
    QVERIFY(slow.connected);
    const QByteArray slowFrame = frame(unicode.toUtf8());
    slow.send(slowFrame.left(3));
    QTest::qWait(50);
    slow.send(slowFrame.mid(3, 7));
    QTest::qWait(50);

    Client quick;
    QVERIFY(quick.connected);
    quick.send(frame(QByteArray()));
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toString(), QString());
    QTRY_VERIFY(quick.acknowledged());
    QTRY_VERIFY(quick.closed());
    QVERIFY(!slow.acknowledged());

    slow.send(slowFrame.mid(10));
    QTRY_COMPARE(received.count(), 2);
    QCOMPARE(received.at(1).at(0).toString(), unicode);
    QTRY_VERIFY(slow.acknowledged());
    QTRY_VERIFY(slow.closed());
}

void TestSingleApplication::brokenClientsBlockNoOne()
{
    QSignalSpy received(app(), &SingleApplication::messageReceived);
    QElapsedTimer clock;
    clock.start();

    Client silent;
    Client truncated;
    Client garbage;
    Client oversized;
    QVERIFY(silent.connected && truncated.connected && garbage.connected && oversized.connected);
    truncated.send(frame("only a part", 100));
    garbage.send("GET / HTTP/1.0\r\n\r\n");
    oversized.send(frame("x", 0xffffffff));

    // Malformed headers are refused at once.
    QTRY_VERIFY_WITH_TIMEOUT(garbage.closed(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(oversized.closed(), 1000);
    QVERIFY(!garbage.acknowledged() && !oversized.acknowledged());

    // The server waits on no one: a good message gets through while the others hang on.
    Client good;
    QVERIFY(good.connected);
    good.send(frame("after the junk"));
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 1000);
    QCOMPARE(received.at(0).at(0).toString(), QStringLiteral("after the junk"));
    QTRY_VERIFY(good.acknowledged());
    QVERIFY(!silent.closed() && !truncated.closed());
    // Measured here since the server runs in this thread: had it waited for a client, so had we.
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));

    // Clients that never finish are dropped after a few seconds, having delivered nothing.
    QTRY_VERIFY_WITH_TIMEOUT(silent.closed() && truncated.closed(), 6000);
    QCOMPARE(received.count(), 1);
}

void TestSingleApplication::activationAfterSignal()
{
    QWidget window;
    QWidget other;
    window.show();
    other.show();
    window.showMaximized();
    window.showMinimized();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());
    app()->setActivationWindow(&window);
    QCOMPARE(app()->activationWindow(), &window);

    Qt::WindowStates stateAtSignal;
    connect(app(), &SingleApplication::messageReceived, &window,
            [&window, &stateAtSignal] { stateAtSignal = window.windowState(); });
    Client client;
    client.send(frame("..."));

    // The signal comes first, the window still minimized; then the window is back, as it was
    // before it was minimized, and in front.
    QTRY_VERIFY(stateAtSignal.testFlag(Qt::WindowMinimized));
    QTRY_VERIFY(window.isActiveWindow());
    QCOMPARE(window.windowState() & ~Qt::WindowActive, Qt::WindowMaximized);
    QVERIFY(window.isVisible());
}

void TestSingleApplication::noActivation()
{
    QSignalSpy received(app(), &SingleApplication::messageReceived);
    auto window = std::make_unique<QWidget>();
    window->show();
    window->showMinimized();

    app()->setActivationWindow(window.get(), false);
    Client client;
    client.send(frame("one"));
    QTRY_COMPARE(received.count(), 1);
    QTest::qWait(50);
    QVERIFY(window->isMinimized());

    // A window that is gone is no longer activated, and messages still arrive.
    app()->setActivationWindow(window.get(), true);
    window.reset();
    QCOMPARE(app()->activationWindow(), nullptr);
    Client next;
    next.send(frame("two"));
    QTRY_COMPARE(received.count(), 2);
    app()->activateWindow(); // and asking for it does nothing
}

void TestSingleApplication::handOver()
{
    Helper *first = startFirst();
    QVERIFY(first);

    // Each hand-over finds the window minimized behind another and brings it to the front; the
    // window is still minimized when messageReceived comes.
    const QStringList messages = {QStringLiteral("..."), QStringLiteral("Grüße ✓")};
    for (const QString &message : messages) {
        QElapsedTimer clock;
        clock.start();
        Helper *second = start({QStringLiteral("--message"), message});
        QVERIFY(second->finishes());
        const qint64 total = clock.elapsed();
        QCOMPARE(second->process.exitCode(), 0);
        const QString sent = second->nextLine();
        QVERIFY2(sent.startsWith(QLatin1String("sent 1 ")), qPrintable(sent));
        QCOMPARE(first->nextLine(), QStringLiteral("message %1 minimized=1 active=0").arg(message));
        QCOMPARE(first->nextLine(), QStringLiteral("activated minimized=0 active=1"));
        qInfo("hand-over of '%s': sendMessage %s ms, second start %lld ms in all", qPrintable(message),
              qPrintable(sent.section(QLatin1Char(' '), 2)), total);
    }
    QCOMPARE(first->process.state(), QProcess::Running);
}

void TestSingleApplication::identityFollowsExecutable()
{
    // Another path to the same file is the same application; a copy elsewhere is another one.
    const QString link = runtimeDir->filePath(QStringLiteral("link/helper"));
    const QString copy = runtimeDir->filePath(QStringLiteral("copy/helper"));
    QVERIFY(QDir(runtimeDir->path()).mkpath(QStringLiteral("link")));
    QVERIFY(QDir(runtimeDir->path()).mkpath(QStringLiteral("copy")));
    QVERIFY(QFile::link(QStringLiteral(SINGLE_INSTANCE_HELPER), link));
    QVERIFY(QFile::copy(QStringLiteral(SINGLE_INSTANCE_HELPER), copy));

    Helper *first = startFirst();
    QVERIFY(first);

    helpers.push_back(std::make_unique<Helper>(environment, QStringList(), link));
    Helper *throughLink = helpers.back().get();
    QVERIFY(throughLink->finishes());
    QVERIFY(throughLink->nextLine().startsWith(QLatin1String("sent 1 ")));
    QVERIFY(first->nextLine().startsWith(QLatin1String("message ...")));

    helpers.push_back(std::make_unique<Helper>(environment, QStringList(), copy));
    QCOMPARE(helpers.back()->nextLine(), QStringLiteral("ready"));
}

void TestSingleApplication::staleLockAfterKill()
{
    Helper *crashed = startFirst();
    QVERIFY(crashed);
    crashed->process.kill();
    QVERIFY(crashed->process.waitForFinished(2000));
    // What the crash leaves behind: the lock file and the socket.
    QCOMPARE(QDir(runtimeDir->path()).entryList(QDir::Files | QDir::System).size(), 2);

    QElapsedTimer clock;
    clock.start();
    Helper *next = start();
    QCOMPARE(next->nextLine(), QStringLiteral("ready"));
    const qint64 takeOver = clock.elapsed();
    QVERIFY2(takeOver < 1000, qPrintable(QStringLiteral("%1 ms").arg(takeOver)));

    // ...and it is reachable under the name the crashed one left.
    Helper *second = start();
    QVERIFY(second->finishes());
    QVERIFY(second->nextLine().startsWith(QLatin1String("sent 1 ")));
    QVERIFY(next->nextLine().startsWith(QLatin1String("message ...")));
}

void TestSingleApplication::lateListener()
{
    const QStringList names = leftBehind();
    QCOMPARE(names.size(), 2);

    // This process takes the lock and listens only later, as a running instance does for a
    // moment while it starts up: the second start keeps trying meanwhile.
    QLockFile lock(names.at(0));
    QVERIFY(lock.tryLock(0));
    Helper *second = start({QStringLiteral("--message"), QStringLiteral("late")});
    QTest::qWait(300);
    QCOMPARE(second->process.state(), QProcess::Running);

    QLocalServer server;
    const QString socketPath = names.at(1);
    QVERIFY(QLocalServer::removeServer(socketPath));
    QVERIFY(server.listen(socketPath));
    QVERIFY(server.waitForNewConnection(2000));
    QLocalSocket *connection = server.nextPendingConnection();
    const QByteArray expected = frame("late");
    while (connection->bytesAvailable() < expected.size())
        QVERIFY(connection->waitForReadyRead(2000));
    QCOMPARE(connection->readAll(), expected);
    connection->putChar(Ack);
    connection->flush();

    QVERIFY(second->finishes());
    QVERIFY(second->nextLine().startsWith(QLatin1String("sent 1 ")));
}

void TestSingleApplication::simultaneousStarts()
{
    // Twenty starts that make their application object at one moment, once all are loaded.
    constexpr int Starts = 20;
    const qint64 startAt = QDateTime::currentMSecsSinceEpoch() + 2000;
    for (int i = 0; i < Starts; ++i)
        helpers.push_back(
            std::make_unique<Helper>(environment, QStringList{QStringLiteral("--message"), QString::number(i),
                                                              QStringLiteral("--start-at"), QString::number(startAt)}));

    // Exactly one becomes the running instance and shows its window; every other hands its message
    // over to it and exits 0 without a window.
    const auto finished = [this] {
        return std::count_if(helpers.cbegin(), helpers.cend(),
                             [](const auto &helper) { return helper->process.state() == QProcess::NotRunning; });
    };
    QTRY_COMPARE_WITH_TIMEOUT(finished(), Starts - 1, 15000);
    const qint64 settled = QDateTime::currentMSecsSinceEpoch() - startAt;
    Helper *running = nullptr;
    QStringList sent;
    for (const auto &helper : helpers) {
        if (helper->process.state() != QProcess::NotRunning) {
            running = helper.get();
            continue;
        }
        QCOMPARE(helper->process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(helper->process.exitCode(), 0);
        const QString line = helper->nextLine();
        QVERIFY2(line.startsWith(QLatin1String("sent 1 ")), qPrintable(line));
        QCOMPARE(helper->nextLine(100), QString());
        sent.append(helper->process.arguments().at(1));
    }
    QVERIFY(running);

    // Messages may come in before the running instance has finished starting up.
    bool ready = false;
    QStringList delivered;
    while (!ready || delivered.size() < sent.size()) {
        const QString line = running->nextLine();
        QVERIFY2(!line.isEmpty(), qPrintable(delivered.join(QLatin1Char(' '))));
        if (line == QLatin1String("ready"))
            ready = true;
        else if (line.startsWith(QLatin1String("message ")))
            delivered.append(line.section(QLatin1Char(' '), 1, 1));
    }
    delivered.sort();
    sent.sort();
    QCOMPARE(delivered, sent);

    // Killed without a chance to clean up, it leaves its lock and socket; the next start becomes
    // the running instance all the same, within a second.
    running->process.kill();
    QVERIFY(running->process.waitForFinished(2000));
    QElapsedTimer clock;
    clock.start();
    Helper *next = start();
    QCOMPARE(next->nextLine(), QStringLiteral("ready"));
    const qint64 takeOver = clock.elapsed();
    qInfo("%d starts at one moment: one running instance, %d exited 0 having handed over, all within %lld ms; "
          "the start after SIGKILL was the running instance after %lld ms",
          Starts, int(sent.size()), settled, takeOver);
    QVERIFY2(takeOver < 1000, qPrintable(QStringLiteral("%1 ms").arg(takeOver)));
}

void TestSingleApplication::stoppedInstance()
{
    Helper *first = startFirst();
    QVERIFY(first);
    QCOMPARE(::kill(pid_t(first->pid), SIGSTOP), 0);

    // A hung instance costs the second start the time-out, and not much more.
    QElapsedTimer clock;
    clock.start();
    Helper *second = start({QStringLiteral("--timeout"), QStringLiteral("500")});
    QVERIFY(second->finishes(5000));
    const qint64 total = clock.elapsed();
    QCOMPARE(second->process.exitCode(), 0);
    const QStringList sent = second->nextLine().split(QLatin1Char(' '));
    QCOMPARE(sent.value(0), QStringLiteral("sent"));
    QCOMPARE(sent.value(1), QStringLiteral("0"));
    const int waited = sent.value(2).toInt();
    QVERIFY2(waited >= 450 && waited < 800, qPrintable(sent.join(QLatin1Char(' '))));
    // The whole process, start-up of a Qt program on a busy machine included.
    QVERIFY2(total < 4000, qPrintable(QStringLiteral("%1 ms").arg(total)));

    // Woken up, the first instance survives the client that gave up and serves the next one.
    QCOMPARE(::kill(pid_t(first->pid), SIGCONT), 0);
    Helper *third = start({QStringLiteral("--message"), QStringLiteral("awake")});
    QVERIFY(third->finishes());
    QVERIFY(third->nextLine().startsWith(QLatin1String("sent 1 ")));
    QVERIFY(first->nextLine(QStringLiteral("message awake ")).startsWith(QLatin1String("message awake ")));
    QCOMPARE(first->process.state(), QProcess::Running);
}

void TestSingleApplication::unusableRuntimeFolder_data()
{
    QTest::addColumn<QString>("folder");
    // Runtime and temporary folder where no one can create a private folder, root included.
    QTest::newRow("no private folder") << QStringLiteral("/proc");
    // A private folder, but a socket path too long for the system: no server.
    QTest::newRow("no server") << QStringLiteral("deep/").repeated(25);
}

void TestSingleApplication::unusableRuntimeFolder()
{
    // Without a lock or a server every start runs on its own rather than quit unseen.
    QFETCH(QString, folder);
    const QString path = QDir(runtimeDir->path()).absoluteFilePath(folder);
    QVERIFY(QDir().mkpath(path));
    QVERIFY(path == QLatin1String("/proc") || ::chmod(QFile::encodeName(path).constData(), 0700) == 0);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path);
    environment.insert(QStringLiteral("TMPDIR"), path);
    for (int i = 0; i < 2; ++i)
        QCOMPARE(start()->nextLine(), QStringLiteral("ready"));
}

void TestSingleApplication::untrustedRuntimeFolder_data()
{
    QTest::addColumn<QString>("runtime"); // XDG_RUNTIME_DIR in a folder shared as /tmp is; empty: unset
    QTest::addColumn<QString>("planted"); // a folder there, open to all, made beforehand
    QTest::addColumn<uid_t>("owner");     // of the planted folder
    QTest::addColumn<bool>("handsOver");  // the second start hands over rather than show a window
    // Where Qt makes the runtime folder when the variable is unset or names an unfit folder.
    const QString fallback = QStringLiteral("runtime-") + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
    QTest::newRow("unset") << QString() << QString() << Nobody << true;
    QTest::newRow("unset, another user's folder in the way") << QString() << fallback << Nobody << false;
    const QString theirs = QStringLiteral("theirs");
    const QString open = QStringLiteral("open");
    QTest::newRow("another user's folder") << theirs << theirs << Nobody << true;
    QTest::newRow("own folder open to others") << open << open << ::geteuid() << true;
}

void TestSingleApplication::untrustedRuntimeFolder()
{
    QFETCH(QString, runtime);
    QFETCH(QString, planted);
    QFETCH(uid_t, owner);
    QFETCH(bool, handsOver);
    const QDir shared(runtimeDir->filePath(QStringLiteral("tmp")));
    QVERIFY(shared.mkpath(QStringLiteral(".")));
    QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
    if (!planted.isEmpty()) {
        const QByteArray path = QFile::encodeName(shared.filePath(planted));
        QVERIFY(shared.mkdir(planted));
        QCOMPARE(::chmod(path.constData(), 0777), 0);
        QCOMPARE(::chown(path.constData(), owner, gid_t(-1)), 0);
    }
    environment.insert(QStringLiteral("TMPDIR"), shared.path());
    if (runtime.isEmpty())
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    else
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), shared.filePath(runtime));

    QVERIFY(startFirst());
    const QString second = start()->nextLine();
    QVERIFY2(second.startsWith(QLatin1String(handsOver ? "sent 1 " : "ready")), qPrintable(second));

    // Lock and socket, where there are any, lie in a folder of this user that no one else may enter.
    QDirIterator files(shared.path(), {QStringLiteral("veltra-*")}, QDir::Files | QDir::System,
                       QDirIterator::Subdirectories);
    int found = 0;
    for (; files.hasNext(); ++found) {
        struct stat folder = {};
        QCOMPARE(::lstat(QFile::encodeName(QFileInfo(files.next()).path()).constData(), &folder), 0);
        QCOMPARE(folder.st_uid, ::geteuid());
        QCOMPARE(folder.st_mode & 0777, 0700u);
    }
    QCOMPARE(found, handsOver ? 2 : 0);
}

void TestSingleApplication::othersLockOrSocket_data()
{
    QTest::addColumn<bool>("lock");    // another user's lock file, held by a live process
    QTest::addColumn<bool>("socket");  // another user's socket, listened on
    QTest::addColumn<bool>("running"); // a running instance of this user holds the lock
    QTest::newRow("lock") << true << false << false;
    QTest::newRow("lock and socket") << true << true << false;
    QTest::newRow("socket in place of a running instance's") << false << true << true;
}

void TestSingleApplication::othersLockOrSocket()
{
    // Planted in the private folder as only root could: the next start trusts none of it.
    QFETCH(bool, lock);
    QFETCH(bool, socket);
    QFETCH(bool, running);
    const QStringList names = leftBehind();
    QCOMPARE(names.size(), 2);
    QLockFile planted(names.at(0));
    if (lock) {
        QVERIFY(planted.tryLock(0));
        QCOMPARE(::chown(QFile::encodeName(names.at(0)).constData(), Nobody, Nobody), 0);
    }
    if (running)
        QVERIFY(startFirst());
    QLocalServer server;
    if (socket) {
        QVERIFY(QLocalServer::removeServer(names.at(1)));
        QVERIFY(server.listen(names.at(1)));
        QCOMPARE(::chown(QFile::encodeName(names.at(1)).constData(), Nobody, Nobody), 0);
    }
    QCOMPARE(start()->nextLine(), QStringLiteral("ready"));
    QVERIFY(!server.hasPendingConnections());
}

int main(int argc, char *argv[])
{
    // A runtime folder of its own keeps this run apart from any other run of the test program.
    QTemporaryDir runtimeDir;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
    SingleApplication application(argc, argv);
    TestSingleApplication test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleapplication.moc"
