// SPDX-License-Identifier: Apache-2.0
// Benchmark 2, scan completeness: the desktop program's main window (offscreen) runs one scan in
// the network lab while veltra-devsim plays the devices, and this reports how many rows are
// complete when the count check runs and when the last row was filled. Started by
// bench/run-bench.sh through tests/lab/netlab; refuses to run anywhere a broadcast could reach a
// real network.
//
// Usage: veltra-bench-scan --expect N [--after-ms 1000] [--timeout-ms 20000]
//
// Prints one line: "SCAN key=value ...", times in milliseconds after the first broadcast.
//
// A host with a smaller receive buffer limit than this one is played by preloading
// libveltra_rmem_limit.so (bench/rmemlimit.cpp) into this program, as run-bench.sh does: the
// program asks for its buffer as ever, and gets what such a host would grant.

#include "model/devicemodel.h"
#include "netguard.h"
#include "protocol/messageheader.h"
#include "protocol/packettransceiver.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#if defined(Q_OS_LINUX)
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#endif

namespace {

const QString LostText = QStringLiteral("Device information incomplete. Please scan network again!");

bool rowComplete(const QAbstractItemModel *model, int row)
{
    for (int column = DeviceModel::DeviceColumn; column <= DeviceModel::MacAddressColumn; ++column) {
        if (model->index(row, column).data().toString().isEmpty())
            return false;
    }
    return true;
}

int completeRows(const QAbstractItemModel *model)
{
    int complete = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        complete += rowComplete(model, row) ? 1 : 0;
    return complete;
}

int lostRows(const QAbstractItemModel *model)
{
    int lost = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        lost += model->index(row, DeviceModel::StatusColumn).data().toString() == LostText ? 1 : 0;
    return lost;
}

// The receive buffer the kernel granted to the program's receiving socket (as getsockopt reports
// it: twice the usable size on Linux), or -1. The socket is found among this process's open
// descriptors, as the UDP socket bound to the device port, wherever the program keeps it.
int receiveBuffer()
{
#if defined(Q_OS_LINUX)
    DIR *descriptors = ::opendir("/proc/self/fd");
    if (!descriptors)
        return -1;
    int result = -1;
    while (const dirent *entry = ::readdir(descriptors)) {
        bool isNumber = false;
        const int fd = QByteArray(entry->d_name).toInt(&isNumber);
        struct stat status
        {
        };
        if (!isNumber || fd == ::dirfd(descriptors) || ::fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode))
            continue;
        int type = 0;
        socklen_t length = sizeof type;
        sockaddr_in address{};
        socklen_t addressLength = sizeof address;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_DGRAM ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &addressLength) != 0 ||
            address.sin_family != AF_INET || ntohs(address.sin_port) != Protocol::DevicePort)
            continue;
        int value = 0;
        length = sizeof value;
        if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &value, &length) == 0)
            result = value;
        break;
    }
    ::closedir(descriptors);
    return result;
#else
    return -1;
#endif
}

struct SocketQueue
{
    qint64 drops = 0;
    qint64 queued = 0; // bytes waiting in the receive queues, as the kernel counts them
};

// The sockets on the device port in this network namespace, from /proc/net/udp: datagrams the
// kernel dropped for want of room in their receive buffers, and what waits in them now.
SocketQueue socketQueue()
{
    SocketQueue result;
    QFile file(QStringLiteral("/proc/net/udp"));
    if (!file.open(QIODevice::ReadOnly))
        return {-1, -1};
    const QByteArray port = QByteArray::number(Protocol::DevicePort, 16).toUpper().rightJustified(4, '0');
    file.readLine(); // the column names
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.size() < 13 || !fields.at(1).endsWith(':' + port))
            continue;
        result.drops += fields.last().toLongLong();
        const QList<QByteArray> queues = fields.at(4).split(':');
        if (queues.size() == 2)
            result.queued += queues.at(1).toLongLong(nullptr, 16);
    }
    return result;
}

// The largest receive queue seen, sampled every millisecond on a thread of its own while the
// program's thread is busy.
class QueueWatcher
{
public:
    QueueWatcher()
        : thread([this] {
              while (!stopping.load()) {
                  const qint64 queued = socketQueue().queued;
                  if (queued > peak.load())
                      peak.store(queued);
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          })
    {}
    ~QueueWatcher()
    {
        stopping.store(true);
        thread.join();
    }
    QueueWatcher(const QueueWatcher &) = delete;
    QueueWatcher &operator=(const QueueWatcher &) = delete;

    qint64 peakBytes() const { return peak.load(); }

private:
    std::atomic<bool> stopping{false};
    std::atomic<qint64> peak{0};
    std::thread thread;
};

qint64 kernelDrops()
{
    return socketQueue().drops;
}

void print(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("One scan of the main window in the network lab."));
    parser.addHelpOption();
    const QCommandLineOption expectOption(QStringLiteral("expect"), QStringLiteral("Devices playing."),
                                          QStringLiteral("N"));
    const QCommandLineOption afterOption(QStringLiteral("after-ms"),
                                         QStringLiteral("How long to keep watching after the count check."),
                                         QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout-ms"), QStringLiteral("Gives up after this."),
                                           QStringLiteral("MS"), QStringLiteral("20000"));
    parser.addOptions({expectOption, afterOption, timeoutOption});
    parser.process(app);
    const int expected = parser.value(expectOption).toInt();
    const int afterMs = parser.value(afterOption).toInt();

    // Only in the lab: the scan broadcasts.
    const QString realInterface = realNetworkInterface();
    if (!realInterface.isEmpty() || qEnvironmentVariableIsEmpty("NETLAB_HOST")) {
        std::fprintf(stderr, "veltra-bench-scan: not in the network lab (%s); run it through tests/lab/netlab\n",
                     realInterface.isEmpty() ? "NETLAB_HOST is not set" : qPrintable(realInterface));
        return 2;
    }

    MainWindow window;
    window.show();
    auto *model = window.findChild<DeviceModel *>();
    auto *transceiver = window.findChild<PacketTransceiver *>();
    auto *countTimer = window.findChild<QTimer *>(QStringLiteral("countTimer"));
    auto *scanAct = window.findChild<QAction *>(QStringLiteral("scanAct"));
    if (!model || !transceiver || !countTimer || !scanAct) {
        std::fprintf(stderr, "veltra-bench-scan: the main window's parts are not where they should be\n");
        return 2;
    }

    QueueWatcher queueWatcher;
    QElapsedTimer clock;
    qint64 firstReply = -1;
    qint64 lastFilled = -1;
    QSet<QString> filled;
    int requestsSignalled = 0; // as the transceiver tells them; the lab's count is run-bench.sh's
    QObject::connect(transceiver, &PacketTransceiver::requestSent, &window, [&](int messageId, const QString &) {
        ++requestsSignalled;
        if (messageId == GetDeviceInfo && !clock.isValid())
            clock.start();
    });
    // The longest the event loop went without a turn once both requests were out: how long the
    // window could not react to the user while the replies came in. A 1 ms timer's ticks show it.
    qint64 lastTurn = -1;
    qint64 longestStall = 0;
    QTimer turnTimer;
    turnTimer.setTimerType(Qt::PreciseTimer);
    turnTimer.setInterval(1);
    QObject::connect(&turnTimer, &QTimer::timeout, &window, [&] {
        const qint64 now = clock.elapsed();
        if (lastTurn >= 0)
            longestStall = std::max(longestStall, now - lastTurn);
        lastTurn = now;
    });
    QObject::connect(transceiver, &PacketTransceiver::requestSent, &window, [&](int messageId, const QString &) {
        if (messageId == GetNetworkConfig && !turnTimer.isActive()) {
            turnTimer.start();
            lastTurn = clock.elapsed();
        }
    });
    QObject::connect(transceiver, &PacketTransceiver::replyReceived, &window, [&](const QByteArray &) {
        if (firstReply < 0 && clock.isValid())
            firstReply = clock.elapsed();
    });
    QObject::connect(model, &QAbstractItemModel::rowsInserted, &window, [&](const QModelIndex &, int first, int last) {
        for (int row = first; row <= last; ++row) {
            if (!rowComplete(model, row))
                continue;
            const QString mac = model->index(row, DeviceModel::MacAddressColumn).data().toString().toUpper();
            if (!filled.contains(mac)) {
                filled.insert(mac);
                lastFilled = clock.elapsed();
            }
        }
    });

    // Connected after the window's own connection: runs right after its count check.
    QString atCheck;
    QObject::connect(countTimer, &QTimer::timeout, &window, [&] {
        turnTimer.stop();
        atCheck = QStringLiteral("check_ms=%1 rows=%2 complete=%3 marked_incomplete=%4 last_filled_ms=%5 "
                                 "drops_at_check=%6 longest_stall_ms=%7")
                      .arg(clock.elapsed())
                      .arg(model->rowCount())
                      .arg(completeRows(model))
                      .arg(lostRows(model))
                      .arg(lastFilled)
                      .arg(kernelDrops())
                      .arg(longestStall);
        QTimer::singleShot(afterMs, &window, [&] {
            print(QStringLiteral(
                      "SCAN expected=%1 %2 first_reply_ms=%3 complete_later=%4 drops=%5 rcvbuf=%6 peak_queue=%7 "
                      "requests_signalled=%8")
                      .arg(expected)
                      .arg(atCheck)
                      .arg(firstReply)
                      .arg(completeRows(model))
                      .arg(kernelDrops())
                      .arg(receiveBuffer())
                      .arg(queueWatcher.peakBytes())
                      .arg(requestsSignalled));
            QCoreApplication::exit(0);
        });
    });

    // A box ("No devices found!", a transceiver warning) would wait for a user: close it.
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, &window, [] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            std::fprintf(stderr, "veltra-bench-scan: closing a box: %s\n", qPrintable(box->windowTitle()));
            box->close();
        }
    });
    boxCloser.start(200);
    QTimer::singleShot(parser.value(timeoutOption).toInt(), &window, [] {
        std::fprintf(stderr, "veltra-bench-scan: gave up waiting for the count check\n");
        QCoreApplication::exit(1);
    });

    // Once the window has been shown and painted, as when a user presses F5.
    QTimer::singleShot(500, scanAct, &QAction::trigger);
    return app.exec();
}
