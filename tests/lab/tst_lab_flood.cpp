// SPDX-License-Identifier: Apache-2.0
// The desktop program's main window under a flood of hostile and broken datagrams: it holds the
// table of 500 simulated devices, and a sender in the lab's lan namespace sends 100,000 datagrams
// as fast as it can. The window must keep handling its timers, show at most one notice box at a
// time, keep the 500 rows as they were, and scan as before once the flood is over.
//
// The sender is this same executable, started in lan with --flood-sender.

#include "labsupport.h"

#include "modalanswerer.h"
#include "model/devicemodel.h"
#include "model/devicescan.h"
#include "protocol/packettransceiver.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int Devices = 500;
constexpr int FloodDatagrams = 100000;
constexpr quint16 ProtocolPort = 28244;
constexpr int MaxDatagram = 65507;
constexpr int WireTimeoutMs = 20000;

// Replies with random MACs come from this range, apart from the simulated devices' 02:00:...
constexpr char RandomMacPrefix[] = "06";
// Replies meant for another host name this one.
constexpr char OtherHostMac[] = "0A:0B:0C:0D:0E:0F";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

// ---------------------------------------------------------------------------------------------
// The sender, running in lan.

struct FloodCounts
{
    int foreign = 0;     // without the identification key
    int shortOnes = 0;   // 0 to 123 bytes, with the key or without
    int largest = 0;     // 65,507 bytes
    int randomMacs = 0;  // replies from unknown devices, addressed to the host
    int otherHosts = 0;  // replies of the simulated devices addressed to another host
    int sendRetries = 0; // sends the kernel refused for a moment and that were repeated
};

void put(QByteArray &datagram, int offset, int width, const QByteArray &text)
{
    const QByteArray cut = text.left(width - 1);
    std::memcpy(datagram.data() + offset, cut.constData(), size_t(cut.size()));
    datagram[offset + cut.size()] = '\0';
}

// The MAC text of the simulator's generated device `index`: 02:00:00:00:00:01 and on.
QString simulatedMac(int index)
{
    const quint64 value = 0x020000000001ull + quint64(index);
    QStringList groups;
    for (int shift = 40; shift >= 0; shift -= 8)
        groups.append(QStringLiteral("%1").arg((value >> shift) & 0xff, 2, 16, QLatin1Char('0')).toUpper());
    return groups.join(QLatin1Char(':'));
}

QString randomMac(QRandomGenerator &random)
{
    QString mac = QLatin1String(RandomMacPrefix);
    for (int i = 0; i < 5; ++i)
        mac += QStringLiteral(":%1").arg(random.bounded(256), 2, 16, QLatin1Char('0')).toUpper();
    return mac;
}

// A reply of kind 8 or 12 as a device sends it, `size` bytes long at least.
QByteArray reply(QRandomGenerator &random, const QString &dest, const QString &src, int serial, int size = 0)
{
    const bool config = random.bounded(2) == 0;
    const QByteArray body = config ? QByteArray(205, '\0') : QByteArray(qMax(26, size - 124), 'x');
    QByteArray datagram = Lab::replyDatagram(config ? 8 : 12, dest, src, 0, body);
    if (config) {
        put(datagram, 142, 25, "flood-" + QByteArray::number(serial));
        put(datagram, 167, 2, "0");
        // Addresses no simulated device has: the flood must not mark the held rows.
        put(datagram, 169, 16,
            QStringLiteral("10.%1.%2.%3").arg(serial >> 16).arg((serial >> 8) & 255).arg(serial & 255).toLatin1());
    } else {
        put(datagram, 124, 4, "12");
        put(datagram, 128, 20, "6.6.6");
        datagram[datagram.size() - 1] = '\0'; // the device name runs to here
    }
    return datagram;
}

QByteArray nextDatagram(QRandomGenerator &random, const QString &hostMac, int serial, FloodCounts &counts)
{
    const int kind = random.bounded(100);
    if (kind < 30) {
        // Another protocol, or noise: a notice each, unless one is open.
        ++counts.foreign;
        QByteArray datagram(random.bounded(124, 1500), Qt::Uninitialized);
        for (char &c : datagram)
            c = char(random.bounded(256));
        if (random.bounded(2))
            datagram.replace(0, 16, "GET / HTTP/1.0\r\n");
        return datagram;
    }
    if (kind < 50) {
        ++counts.shortOnes;
        QByteArray datagram = Lab::replyDatagram(8, hostMac, randomMac(random));
        if (random.bounded(2))
            datagram.fill('z');
        return datagram.left(random.bounded(124));
    }
    if (kind < 51) {
        ++counts.largest;
        if (random.bounded(2)) {
            ++counts.randomMacs;
            return reply(random, hostMac, randomMac(random), serial, MaxDatagram).leftJustified(MaxDatagram, '\0');
        }
        return QByteArray(MaxDatagram, char(random.bounded(256)));
    }
    if (kind < 75) {
        ++counts.randomMacs;
        return reply(random, hostMac, randomMac(random), serial);
    }
    // A simulated device's MAC with other contents, meant for another host: dropped unread.
    ++counts.otherHosts;
    const QString device = simulatedMac(random.bounded(Devices));
    return reply(random, QLatin1String(OtherHostMac), device, serial);
}

// --flood-sender LAN_IP HOST_MAC COUNT RANDOM_START: sends COUNT datagrams from LAN_IP to the
// broadcast address as fast as the socket takes them and prints one line of what it sent.
int runSender(const QStringList &arguments)
{
    if (arguments.size() != 5) {
        std::fprintf(stderr, "usage: --flood-sender LAN_IP HOST_MAC COUNT RANDOM_START\n");
        return 2;
    }
    const QByteArray lanIp = arguments.at(1).toLatin1();
    const QString hostMac = arguments.at(2);
    const int count = arguments.at(3).toInt();
    QRandomGenerator random(arguments.at(4).toUInt());

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    const int buffer = 4 * 1024 * 1024;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, lanIp.constData(), &from.sin_addr);
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr *>(&from), sizeof from) != 0) {
        std::fprintf(stderr, "cannot prepare the sending socket: %s\n", std::strerror(errno));
        return 1;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(ProtocolPort);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);

    FloodCounts counts;
    QElapsedTimer clock;
    clock.start();
    for (int serial = 0; serial < count; ++serial) {
        const QByteArray datagram = nextDatagram(random, hostMac, serial, counts);
        while (::sendto(fd, datagram.constData(), size_t(datagram.size()), 0, reinterpret_cast<const sockaddr *>(&to),
                        sizeof to) < 0) {
            if (errno != ENOBUFS && errno != EAGAIN && errno != EINTR) {
                std::fprintf(stderr, "sending datagram %d failed: %s\n", serial, std::strerror(errno));
                return 1;
            }
            ++counts.sendRetries;
            ::usleep(100);
        }
    }
    const qint64 elapsed = clock.elapsed();
    ::close(fd);
    std::printf("sent %d %lld %d %d %d %d %d %d\n", count, elapsed, counts.foreign, counts.shortOnes, counts.largest,
                counts.randomMacs, counts.otherHosts, counts.sendRetries);
    std::fflush(stdout);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The window's side.

// Every message box that is shown, and the most that were open at once.
class BoxCounter : public QObject
{
public:
    BoxCounter() { qApp->installEventFilter(this); }
    ~BoxCounter() override { qApp->removeEventFilter(this); }

    int shown = 0;
    int mostOpen = 0;
    int openNow() const { return int(open.size()); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (qobject_cast<QMessageBox *>(watched)) {
            if (event->type() == QEvent::Show && !open.contains(watched)) {
                open.insert(watched);
                ++shown;
                mostOpen = qMax(mostOpen, int(open.size()));
            } else if (event->type() == QEvent::Hide || event->type() == QEvent::Destroy) {
                open.remove(watched);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QSet<QObject *> open;
};

// The program's debug lines, one for many of the flood's datagrams, are counted, not printed.
int debugLines = 0;
QtMessageHandler printer = nullptr;

void countDebugLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg) {
        ++debugLines;
        return;
    }
    printer(type, context, message);
}

// A 10 ms timer in the window's event loop; a late timeout shows how long the loop was kept from it.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(Interval);
        connect(&timer, &QTimer::timeout, this, [this] {
            const qint64 gap = clock.restart();
            longest = qMax(longest, gap - Interval);
            if (gap - Interval > 100)
                ++over100;
            ++ticks;
        });
        clock.start();
        timer.start();
    }
    void stop() { timer.stop(); }

    static constexpr int Interval = 10;
    qint64 longest = 0; // ms beyond the interval
    int over100 = 0;    // timeouts more than 100 ms late
    int ticks = 0;

private:
    QTimer timer;
    QElapsedTimer clock;
};

// The kernel's UDP counters of this network namespace.
struct UdpCounters
{
    qint64 inDatagrams = 0;
    qint64 receiveBufferErrors = 0;

    static UdpCounters read()
    {
        QFile file(QStringLiteral("/proc/net/snmp"));
        UdpCounters counters;
        if (!file.open(QIODevice::ReadOnly))
            return counters;
        QList<QByteArray> names;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (!line.startsWith("Udp: "))
                continue;
            const QList<QByteArray> fields = line.mid(5).split(' ');
            if (names.isEmpty()) {
                names = fields;
                continue;
            }
            counters.inDatagrams = fields.value(names.indexOf("InDatagrams")).toLongLong();
            counters.receiveBufferErrors = fields.value(names.indexOf("RcvbufErrors")).toLongLong();
        }
        return counters;
    }
};

// What a row shows and holds.
struct Row
{
    QStringList texts;
    QStringList toolTips;
    QList<bool> icons;
    QByteArray configDatagram;
    int productType = 0;
    int stateId = 0;

    bool operator==(const Row &other) const
    {
        return texts == other.texts && toolTips == other.toolTips && icons == other.icons &&
               configDatagram == other.configDatagram && productType == other.productType && stateId == other.stateId;
    }
};

Row rowAt(const DeviceModel *model, int row)
{
    Row result;
    for (int column = 0; column < DeviceModel::ColumnCount; ++column) {
        const QStandardItem *item = model->item(row, column);
        result.texts.append(item ? item->text() : QStringLiteral("<no item>"));
        result.toolTips.append(item ? item->toolTip() : QString());
        result.icons.append(item && !item->icon().isNull());
    }
    const QStandardItem *mac = model->item(row, DeviceModel::MacAddressColumn);
    result.configDatagram = mac->data(DeviceModel::ConfigDatagramRole).toByteArray();
    result.productType = mac->data(DeviceModel::ProductTypeRole).toInt();
    result.stateId = mac->data(DeviceModel::StateIdRole).toInt();
    return result;
}

QList<Row> rows(const DeviceModel *model, int count)
{
    QList<Row> result;
    for (int row = 0; row < count && row < model->rowCount(); ++row)
        result.append(rowAt(model, row));
    return result;
}

// Rows that both replies have filled.
int completeRows(const DeviceModel *model)
{
    int complete = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (!model->item(row, DeviceModel::DeviceColumn)->text().isEmpty() &&
            !model->item(row, DeviceModel::IpAddressColumn)->text().isEmpty())
            ++complete;
    }
    return complete;
}

} // namespace

class TestLabFlood : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void floodWhileHoldingFullTable();

private:
    bool startSimulator();

    Lab::Environment lab = Lab::Environment::fromProcess();
    std::unique_ptr<Lab::Simulator> simulator;
    QTemporaryDir settingsDir;
};

void TestLabFlood::initTestCase()
{
    REQUIRE_LAB(lab);
    // Replies of failed authorizations make the model look into the stored credentials.
    QVERIFY(settingsDir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

bool TestLabFlood::startSimulator()
{
    simulator =
        std::make_unique<Lab::Simulator>(lab, QStringList{QStringLiteral("--count"), QString::number(Devices),
                                                          QStringLiteral("--random-start"), QStringLiteral("1")});
    QString error;
    if (!simulator->start(&error)) {
        qWarning().noquote() << error;
        return false;
    }
    return true;
}

void TestLabFlood::floodWhileHoldingFullTable()
{
    QVERIFY(startSimulator());
    ModalAnswerer answerer; // closes every box as soon as it is seen
    BoxCounter boxes;
    MainWindow window;
    window.show();
    auto *model = window.findChild<DeviceModel *>();
    auto *transceiver = window.findChild<PacketTransceiver *>();
    auto *scanAct = window.findChild<QAction *>(QStringLiteral("scanAct"));
    auto *countTimer = window.findChild<QTimer *>(QStringLiteral("countTimer"));
    QVERIFY(model && transceiver && scanAct && countTimer);

    // The full table, its scan finished.
    scanAct->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(completeRows(model), Devices, WireTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!countTimer->isActive(), 5000);
    QCOMPARE(model->rowCount(), Devices);
    QCOMPARE(boxes.shown, 0);
    const QList<Row> held = rows(model, Devices);
    // Its log would take every datagram of the flood; it comes back for the scan afterwards.
    simulator.reset();

    int passed = 0;
    connect(transceiver, &PacketTransceiver::replyReceived, this, [&passed] { ++passed; });
    const QString hostMac = QNetworkInterface::interfaceFromName(lab.hostInterface).hardwareAddress();
    QVERIFY(!hostMac.isEmpty());

    printer = qInstallMessageHandler(countDebugLines);
    const auto restorePrinter = qScopeGuard([] { qInstallMessageHandler(printer); });
    StallMeter stalls;
    const UdpCounters udpBefore = UdpCounters::read();
    QElapsedTimer clock;
    clock.start();
    QProcess sender;
    sender.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sender.start(lab.lanExec.constFirst(),
                 lab.lanExec.mid(1) + QStringList{QCoreApplication::applicationFilePath(),
                                                  QStringLiteral("--flood-sender"), lab.lanIp, hostMac,
                                                  QString::number(FloodDatagrams), QStringLiteral("2024")});
    QTRY_VERIFY_WITH_TIMEOUT(sender.state() == QProcess::NotRunning, 90000);
    const qint64 floodMs = clock.elapsed();
    QCOMPARE(sender.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sender.exitCode(), 0);
    const QStringList sent = QString::fromLatin1(sender.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
    QCOMPARE(sent.size(), 9);
    QCOMPARE(sent.at(1).toInt(), FloodDatagrams);

    // The program works through what the kernel kept for it: done once nothing new has passed and
    // no box has come for half a second.
    QElapsedTimer quiet;
    quiet.start();
    int lastPassed = -1;
    int lastShown = -1;
    while (quiet.elapsed() < 500 && clock.elapsed() < 90000) {
        QTest::qWait(50);
        if (passed != lastPassed || boxes.shown != lastShown || boxes.openNow() > 0) {
            lastPassed = passed;
            lastShown = boxes.shown;
            quiet.restart();
        }
    }
    const qint64 drainedMs = clock.elapsed();
    stalls.stop();
    const UdpCounters udpAfter = UdpCounters::read();

    const int newRows = model->rowCount() - Devices;
    qInfo("flood: %d datagrams sent in %lld ms (foreign %s, short %s, 65507 bytes %s, random MACs %s, "
          "for other hosts %s; %s sends repeated)",
          FloodDatagrams, sent.at(2).toLongLong(), qPrintable(sent.at(3)), qPrintable(sent.at(4)),
          qPrintable(sent.at(5)), qPrintable(sent.at(6)), qPrintable(sent.at(7)), qPrintable(sent.at(8)));
    qInfo("kernel: %lld datagrams delivered to the port, %lld dropped for a full receive buffer",
          udpAfter.inDatagrams - udpBefore.inDatagrams, udpAfter.receiveBufferErrors - udpBefore.receiveBufferErrors);
    qInfo("window: %d replies passed to the model, %d new rows, %d notice boxes shown, at most %d open at once; "
          "flood over after %lld ms, handled after %lld ms",
          passed, newRows, boxes.shown, boxes.mostOpen, floodMs, drainedMs);
    qInfo("event loop: longest stall %lld ms, %d of %d ticks more than 100 ms late; %d debug lines", stalls.longest,
          stalls.over100, stalls.ticks, debugLines);

    QVERIFY2(boxes.mostOpen <= 1, qPrintable(QStringLiteral("%1 boxes open at once").arg(boxes.mostOpen)));
    QVERIFY(boxes.shown >= 1);
    QCOMPARE(rows(model, Devices), held);
    // Rows are added for the unknown devices only, never for the ones that wrote to other hosts.
    QVERIFY(newRows <= sent.at(6).toInt());
    for (int row = Devices; row < model->rowCount(); ++row) {
        const QString mac = model->item(row, DeviceModel::MacAddressColumn)->text();
        QVERIFY2(mac.startsWith(QLatin1String(RandomMacPrefix)), qPrintable(mac));
    }
    // Handling in slices keeps it to tens of milliseconds; more is the sender and the program
    // taking turns on a busy machine. Handling the flood in one go stood still for its whole length.
    const qint64 stallLimit = Sanitized ? 3000 : 750;
    QVERIFY2(stalls.longest < stallLimit,
             qPrintable(QStringLiteral("the event loop stood still for %1 ms").arg(stalls.longest)));

    // And afterwards the window scans as before: the same 500 rows, the flood's gone.
    QVERIFY(startSimulator());
    const int shownBefore = boxes.shown;
    scanAct->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(completeRows(model), Devices, WireTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!countTimer->isActive(), 5000);
    QCOMPARE(model->rowCount(), Devices);
    QCOMPARE(boxes.shown, shownBefore);
    for (int row = 0; row < Devices; ++row) {
        Row now = rowAt(model, row);
        const auto same = std::find_if(held.cbegin(), held.cend(), [&now](const Row &r) {
            return r.texts.at(DeviceModel::MacAddressColumn) == now.texts.at(DeviceModel::MacAddressColumn);
        });
        QVERIFY(same != held.cend());
        // The stored reply answers another request now: only its sequence number differs.
        QCOMPARE(now.configDatagram.size(), same->configDatagram.size());
        now.configDatagram.replace(108, 2, same->configDatagram.mid(108, 2));
        QCOMPARE(now, *same);
    }

    // A scan in the middle of a flood: what the flood makes the kernel drop has the scan ask
    // again, but no more often than its rounds and its addressed requests allow.
    // A small buffer and a short queue, as on a host that grants little, make sure it drops.
    simulator.reset();
    const int bufferSize = 212992;
    QVERIFY(::setsockopt(transceiver->receiveDescriptor(), SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize) == 0);
    transceiver->setHeldLimit(64 * 1024);
    const quint64 dropsBefore = transceiver->kernelDrops();
    int broadcasts = 0;
    int addressed = 0;
    connect(transceiver, &PacketTransceiver::requestSent, this,
            [&](int, const QString &mac) { ++(mac == QLatin1String("FF:FF:FF:FF:FF:FF") ? broadcasts : addressed); });
    QProcess secondSender;
    secondSender.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    secondSender.start(lab.lanExec.constFirst(),
                       lab.lanExec.mid(1) + QStringList{QCoreApplication::applicationFilePath(),
                                                        QStringLiteral("--flood-sender"), lab.lanIp, hostMac,
                                                        QString::number(FloodDatagrams / 4), QStringLiteral("2025")});
    QTRY_VERIFY_WITH_TIMEOUT(passed > 0, 10000);
    scanAct->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!countTimer->isActive() && secondSender.state() == QProcess::NotRunning, 90000);
    qInfo("scan during a flood: %llu datagrams dropped, %d broadcast and %d addressed requests",
          transceiver->kernelDrops() - dropsBefore, broadcasts, addressed);
    QVERIFY(transceiver->kernelDrops() > dropsBefore);
    QVERIFY(broadcasts >= 2 && broadcasts <= 2 * (1 + DeviceScan::MaxRounds));
    QVERIFY(addressed <= DeviceScan::MaxAddressedRequests);
    QVERIFY2(boxes.mostOpen <= 1, qPrintable(QStringLiteral("%1 boxes open at once").arg(boxes.mostOpen)));
}

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (arguments.value(0) == QLatin1String("--flood-sender"))
        return runSender(arguments);

    QApplication application(argc, argv);
    TestLabFlood test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lab_flood.moc"
