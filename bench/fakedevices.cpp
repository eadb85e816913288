// SPDX-License-Identifier: Apache-2.0
// Plays made-up devices as an attacker on the LAN would: every one of N devices sends a device
// information reply and a configuration reply of SIZE bytes (a device name and a configuration
// padded to the largest datagram), unasked, addressed to every host, round after round until the
// time is up. Benchmark 5 measures the programs' memory under it. Runs only in the network lab's
// lan namespace (started through $NETLAB_LAN_EXEC), never where a real network could be reached.
//
// Usage: veltra-bench-fake-devices [--count N] [--size BYTES] [--delay-ms MS] [--duration-ms MS]
//
// Prints one line on standard output: "FAKE rounds=... sent=...".

#include "netguard.h"
#include "protocol/messageheader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QtEndian>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void put(QByteArray &datagram, int offset, int width, const QByteArray &text)
{
    const QByteArray cut = text.left(width - 1);
    std::memcpy(datagram.data() + offset, cut.constData(), size_t(cut.size()));
    datagram[offset + cut.size()] = '\0';
}

QByteArray macOf(int index)
{
    // 06:... as no simulated device has, the rest the device's number.
    return QStringLiteral("06:%1:%2:%3:%4:%5")
        .arg((index >> 24) & 0xff, 2, 16, QLatin1Char('0'))
        .arg((index >> 16) & 0xff, 2, 16, QLatin1Char('0'))
        .arg((index >> 8) & 0xff, 2, 16, QLatin1Char('0'))
        .arg(index & 0xff, 2, 16, QLatin1Char('0'))
        .arg(0x5a, 2, 16, QLatin1Char('0'))
        .toUpper()
        .toLatin1();
}

QByteArray header(quint32 messageId, int size)
{
    QByteArray datagram(size, 'x');
    std::memset(datagram.data(), 0, Protocol::HeaderSize);
    put(datagram, MessageHeader::KeyOffset, MessageHeader::KeyWidth, Protocol::PacketIdentificationKey);
    qToLittleEndian(messageId, datagram.data() + MessageHeader::MessageIdOffset);
    qToLittleEndian(quint32(size - Protocol::HeaderSize), datagram.data() + MessageHeader::PayloadLengthOffset);
    datagram[MessageHeader::ProtocolVersionOffset] = char(4);
    // An empty destination is a prefix of every host's MAC text: every host takes it as its own.
    return datagram;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Devices."), QStringLiteral("N"),
                                         QStringLiteral("20000"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("Bytes of every reply."),
                                        QStringLiteral("BYTES"), QStringLiteral("65507"));
    const QCommandLineOption delayOption(QStringLiteral("delay-ms"), QStringLiteral("Wait before the first."),
                                         QStringLiteral("MS"), QStringLiteral("1500"));
    const QCommandLineOption durationOption(QStringLiteral("duration-ms"), QStringLiteral("Send for this long."),
                                            QStringLiteral("MS"), QStringLiteral("8000"));
    parser.addOptions({countOption, sizeOption, delayOption, durationOption});
    parser.process(app);
    const int count = parser.value(countOption).toInt();
    const int size = qBound(Protocol::NetworkConfigDatagramSize, parser.value(sizeOption).toInt(), 65507);

    const QString realInterface = realNetworkInterface();
    if (!realInterface.isEmpty() || qEnvironmentVariableIsEmpty("NETLAB_LAN")) {
        std::fprintf(stderr, "veltra-bench-fake-devices: not in the network lab's lan namespace (%s)\n",
                     realInterface.isEmpty() ? "NETLAB_LAN is not set" : qPrintable(realInterface));
        return 2;
    }

    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        std::perror("veltra-bench-fake-devices: socket");
        return 2;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(Protocol::DevicePort);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);

    QByteArray info = header(DeviceInfoReply, size);
    put(info, Protocol::HeaderSize, 4, "12");
    put(info, Protocol::HeaderSize + 4, 20, "6.6.6");
    info[size - 1] = '\0'; // the device name runs from offset 148 to here
    QByteArray config = header(NetworkConfigReply, size);
    std::memset(config.data() + Protocol::HeaderSize, 0, Protocol::NetworkConfigBodySize);
    put(config, 167, 2, "0");

    QThread::msleep(ulong(parser.value(delayOption).toInt()));
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    int rounds = 0;
    while (clock.elapsed() < parser.value(durationOption).toInt()) {
        for (int i = 0; i < count && clock.elapsed() < parser.value(durationOption).toInt(); ++i) {
            const QByteArray mac = macOf(i);
            put(info, MessageHeader::SrcMacOffset, MessageHeader::MacWidth, mac);
            put(config, MessageHeader::SrcMacOffset, MessageHeader::MacWidth, mac);
            put(config, 142, 25, "fake-" + QByteArray::number(i));
            put(config, 169, 16, QStringLiteral("10.%1.%2.1").arg(i >> 8).arg(i & 255).toLatin1());
            for (const QByteArray *datagram : {&info, &config}) {
                while (::sendto(fd, datagram->constData(), size_t(datagram->size()), 0,
                                reinterpret_cast<const sockaddr *>(&to), sizeof to) < 0) {
                    if (errno != ENOBUFS && errno != EAGAIN) {
                        std::perror("veltra-bench-fake-devices: sendto");
                        return 1;
                    }
                    QThread::usleep(100);
                }
                ++sent;
            }
        }
        ++rounds;
    }
    ::close(fd);
    std::printf("FAKE rounds=%d sent=%lld\n", rounds, static_cast<long long>(sent));
    return 0;
}
