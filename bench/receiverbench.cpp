// SPDX-License-Identifier: Apache-2.0
// Benchmark 6, the receiver's ceiling: how many datagrams per second the program's transceiver
// takes in, against a plain loop of recvmmsg on a socket set up the same way, while a sender in the
// network lab's lan namespace sends small valid replies as fast as the link takes them
// (veltra-bench-fake-devices --flood). Started by bench/run-bench.sh in the lab's host namespace;
// refuses to run anywhere else.
//
//   transceiver  a PacketTransceiver that sees the lab's interface (up and running, its MAC, its
//                name, its 192.168.77.1 address), so that replies addressed to that MAC pass its
//                filter; its replyReceived signals are counted on the main thread, with the
//                event loop running
//   loop         recvmmsg, 64 datagrams of up to 64 KiB a call, on an AF_INET UDP socket with
//                SO_REUSEADDR, bound to 0.0.0.0 on the device port, SO_RCVBUF 8 MiB
//
// The two take turns (the order swapped every round), each on a socket of its own made for the
// measurement and closed after it: after a warm-up, what it takes in during the window counts.
//
// Usage: veltra-bench-receiver [--rounds 3] [--window-ms 3000] [--warmup-ms 500]
//                              [--side both|transceiver|loop]
//
// Prints one line per measurement,
//   "RECEIVER side=transceiver round=1 taken=N ms=T per_s=X dropped=D offered_per_s=O cpu_ms=C per_cpu_s=P"
// (dropped: what the kernel dropped in the window for want of room in the socket's buffer;
// offered: what was taken in and dropped, per second; cpu: the processor time this process used in
// the window, all threads, and what it took in per second of it), then
// "RECEIVER_MEDIANS transceiver=X loop=Y ratio=Z" with the medians of the sides measured.
//
// The sender must outpace both sides for the figures to be their ceilings rather than its own: the
// kernel's drops show that it did.

#include "netguard.h"
#include "protocol/messageheader.h"
#include "protocol/packettransceiver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkInterface>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

struct Measurement
{
    qint64 taken = 0;
    qint64 elapsedMs = 0;
    qint64 dropped = 0; // by the kernel, for want of room in the socket's buffer
    qint64 cpuMs = 0;   // of this process, all its threads
};

// Processor time used by this process so far, in microseconds.
qint64 processorTime()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

// What the kernel has dropped for the sockets on the device port (/proc/net/udp).
qint64 portDrops()
{
    QFile file(QStringLiteral("/proc/net/udp"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray port = ':' + QByteArray::number(Protocol::DevicePort, 16).toUpper().rightJustified(4, '0');
    file.readLine(); // the column names
    qint64 drops = 0;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.size() >= 13 && fields.at(1).endsWith(port))
            drops += fields.last().toLongLong();
    }
    return drops;
}

// Counts from the end of the warm-up to the end of the window.
class Window
{
public:
    explicit Window(int warmupMs) : warmupMs(warmupMs) { clock.start(); }

    bool warmingUp() const { return !started; }
    qint64 elapsedMs() const { return clock.elapsed(); }

    // Called as time goes by with what has been taken in so far: the window begins once the
    // warm-up is over.
    void update(qint64 taken)
    {
        if (!started && clock.elapsed() >= warmupMs)
            begin(taken);
    }

    void begin(qint64 taken)
    {
        started = true;
        takenAtStart = taken;
        dropsAtStart = portDrops();
        cpuAtStart = processorTime();
        clock.restart();
    }

    Measurement finish(qint64 taken) const
    {
        Measurement result;
        result.elapsedMs = clock.elapsed();
        result.taken = taken - takenAtStart;
        result.dropped = portDrops() - dropsAtStart;
        result.cpuMs = (processorTime() - cpuAtStart) / 1000;
        return result;
    }

private:
    const int warmupMs;
    QElapsedTimer clock;
    bool started = false;
    qint64 takenAtStart = 0;
    qint64 dropsAtStart = 0;
    qint64 cpuAtStart = 0;
};

std::optional<Measurement> measureTransceiver(const PacketTransceiver::InterfaceInfo &info, int warmupMs, int windowMs)
{
    PacketTransceiver transceiver({info});
    if (!transceiver.bindSocket()) {
        std::fprintf(stderr, "veltra-bench-receiver: the transceiver cannot bind the device port\n");
        return std::nullopt;
    }
    qint64 taken = 0;
    QObject::connect(&transceiver, &PacketTransceiver::replyReceived, &transceiver,
                     [&taken](const QByteArray &) { ++taken; });
    Window window(warmupMs);
    QEventLoop loop;
    Measurement result;
    QTimer::singleShot(warmupMs, Qt::PreciseTimer, &loop, [&] {
        window.begin(taken);
        QTimer::singleShot(windowMs, Qt::PreciseTimer, &loop, [&] {
            result = window.finish(taken);
            loop.quit();
        });
    });
    loop.exec();
    return result;
}

std::optional<Measurement> measureLoop(int warmupMs, int windowMs)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    const int bufferSize = 8 * 1024 * 1024;
    const timeval wakeUp{0, 100 * 1000}; // so that the window ends even when nothing comes
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(Protocol::DevicePort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wakeUp, sizeof wakeUp) != 0) {
        std::perror("veltra-bench-receiver: the loop's socket");
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }

    constexpr int Batch = 64;
    constexpr size_t DatagramRoom = 65536;
    std::vector<char> buffers(Batch * DatagramRoom);
    std::vector<iovec> parts(Batch);
    std::vector<mmsghdr> messages(Batch);
    for (size_t i = 0; i < Batch; ++i) {
        parts[i] = {buffers.data() + i * DatagramRoom, DatagramRoom};
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }

    Window window(warmupMs);
    qint64 taken = 0;
    while (window.warmingUp() || window.elapsedMs() < windowMs) {
        const int received = ::recvmmsg(fd, messages.data(), Batch, MSG_WAITFORONE, nullptr);
        if (received > 0)
            taken += received;
        window.update(taken);
    }
    const Measurement result = window.finish(taken);
    ::close(fd);
    return result;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Datagrams per second: the transceiver against recvmmsg."));
    parser.addHelpOption();
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Measurements of each side."),
                                          QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption windowOption(QStringLiteral("window-ms"), QStringLiteral("Length of a measurement."),
                                          QStringLiteral("MS"), QStringLiteral("3000"));
    const QCommandLineOption warmupOption(QStringLiteral("warmup-ms"), QStringLiteral("Not counted, before it."),
                                          QStringLiteral("MS"), QStringLiteral("500"));
    const QCommandLineOption sideOption(QStringLiteral("side"), QStringLiteral("both, transceiver or loop."),
                                        QStringLiteral("SIDE"), QStringLiteral("both"));
    parser.addOptions({roundsOption, windowOption, warmupOption, sideOption});
    parser.process(app);
    const int rounds = qMax(parser.value(roundsOption).toInt(), 1);
    const int windowMs = qMax(parser.value(windowOption).toInt(), 100);
    const int warmupMs = qMax(parser.value(warmupOption).toInt(), 0);
    const QString side = parser.value(sideOption);
    const bool transceiverSide = side == QLatin1String("both") || side == QLatin1String("transceiver");
    const bool loopSide = side == QLatin1String("both") || side == QLatin1String("loop");
    if (!transceiverSide && !loopSide) {
        std::fprintf(stderr, "veltra-bench-receiver: --side is both, transceiver or loop\n");
        return 2;
    }

    // Only in the lab, although it sends nothing: the transceiver binds its sending socket too.
    const QString realInterface = realNetworkInterface();
    const QString interfaceName = qEnvironmentVariable("NETLAB_HOST_IF");
    if (!realInterface.isEmpty() || interfaceName.isEmpty()) {
        std::fprintf(stderr, "veltra-bench-receiver: not in the network lab (%s); run it through tests/lab/netlab\n",
                     realInterface.isEmpty() ? "NETLAB_HOST_IF is not set" : qPrintable(realInterface));
        return 2;
    }
    const QNetworkInterface labInterface = QNetworkInterface::interfaceFromName(interfaceName);
    const PacketTransceiver::InterfaceInfo info{QNetworkInterface::IsUp | QNetworkInterface::IsRunning,
                                                labInterface.hardwareAddress(),
                                                interfaceName,
                                                {qEnvironmentVariable("NETLAB_HOST_IP")}};

    std::vector<double> rates[2];
    for (int round = 1; round <= rounds; ++round) {
        const bool transceiverFirst = round % 2 == 1;
        for (int turn = 0; turn < 2; ++turn) {
            const bool transceiverTurn = (turn == 0) == transceiverFirst;
            if (transceiverTurn ? !transceiverSide : !loopSide)
                continue;
            const std::optional<Measurement> measured =
                transceiverTurn ? measureTransceiver(info, warmupMs, windowMs) : measureLoop(warmupMs, windowMs);
            if (!measured)
                return 1;
            const qint64 ms = qMax<qint64>(measured->elapsedMs, 1);
            const double perSecond = double(measured->taken) * 1000 / double(ms);
            rates[transceiverTurn ? 0 : 1].push_back(perSecond);
            std::printf("RECEIVER side=%s round=%d taken=%lld ms=%lld per_s=%.0f dropped=%lld offered_per_s=%.0f "
                        "cpu_ms=%lld per_cpu_s=%.0f\n",
                        transceiverTurn ? "transceiver" : "loop", round, static_cast<long long>(measured->taken),
                        static_cast<long long>(ms), perSecond, static_cast<long long>(measured->dropped),
                        double(measured->taken + measured->dropped) * 1000 / double(ms),
                        static_cast<long long>(measured->cpuMs),
                        double(measured->taken) * 1000 / double(qMax<qint64>(measured->cpuMs, 1)));
            std::fflush(stdout);
            if (transceiverTurn && measured->taken == 0)
                std::fprintf(stderr,
                             "veltra-bench-receiver: the transceiver took nothing in: are the replies "
                             "addressed to %s?\n",
                             qPrintable(info.hardwareAddress));
        }
    }
    const double transceiverRate = median(rates[0]);
    const double loopRate = median(rates[1]);
    std::printf("RECEIVER_MEDIANS transceiver=%.0f loop=%.0f ratio=%.2f\n", transceiverRate, loopRate,
                loopRate > 0 ? transceiverRate / loopRate : 0.0);
    return 0;
}
