// SPDX-License-Identifier: Apache-2.0
// Plays made-up devices as an attacker on the LAN would: every one of N devices sends a device
// information reply and a configuration reply of SIZE bytes (a device name and a configuration
// padded to the largest datagram), unasked, addressed to every host, round after round until the
// time is up. Benchmark 5 measures the programs' memory under it. Runs only in the network lab's
// lan namespace (started through $NETLAB_LAN_EXEC), never where a real network could be reached.
//
// With --flood it sends configuration replies of SIZE bytes alone, the N devices' in turn, as fast
// as the link takes them, until the time is up or it is stopped (SIGTERM, SIGINT): the load of
// benchmark 6, which measures how many datagrams a receiver takes in per second. --segments hands
// the kernel that many replies at once, to be split into one datagram each on the receiving host,
// so that a sender on a machine of few cores can outpace the receiver.
//
// --dest-mac addresses every reply to one host's MAC text; without it the destination is empty,
// which every host takes as its own. --to sends the datagrams to one address instead of broadcasting
// them: the receiving host's work per datagram is the same, and the sender, which does the work of
// both ends of the lab's link, sends about twice as many (a broadcast also goes to lan itself).
//
// Usage: veltra-bench-fake-devices [--count N] [--size BYTES] [--delay-ms MS] [--duration-ms MS]
//                                  [--dest-mac MAC] [--to ADDRESS] [--flood [--segments N]]
//
// Prints one line on standard output: "FAKE rounds=... sent=..." (with --flood also
// "sent_per_s=...").

#include "netguard.h"
#include "protocol/messageheader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QtEndian>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/udp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

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

QByteArray header(quint32 messageId, int size, const QByteArray &destMac)
{
    QByteArray datagram(size, 'x');
    std::memset(datagram.data(), 0, Protocol::HeaderSize);
    put(datagram, MessageHeader::KeyOffset, MessageHeader::KeyWidth, Protocol::PacketIdentificationKey);
    qToLittleEndian(messageId, datagram.data() + MessageHeader::MessageIdOffset);
    qToLittleEndian(quint32(size - Protocol::HeaderSize), datagram.data() + MessageHeader::PayloadLengthOffset);
    datagram[MessageHeader::ProtocolVersionOffset] = char(4);
    // An empty destination is a prefix of every host's MAC text: every host takes it as its own.
    put(datagram, MessageHeader::DestMacOffset, MessageHeader::MacWidth, destMac);
    return datagram;
}

// The configuration reply of made-up device `index`.
void describe(QByteArray &config, int index)
{
    put(config, MessageHeader::SrcMacOffset, MessageHeader::MacWidth, macOf(index));
    put(config, 142, 25, "fake-" + QByteArray::number(index));
    put(config, 169, 16, QStringLiteral("10.%1.%2.1").arg(index >> 8).arg(index & 255).toLatin1());
}

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

// Sends the devices' configuration replies back to back until the time is up or a signal asks it
// to stop. With `segments` above 1 every datagram handed to the kernel carries that many replies,
// which the receiving host's kernel splits into datagrams of one reply each (UDP segmentation
// offload): the sender's work per reply is then a fraction of the usual, so that the receiver
// rather than the sender sets the pace.
int flood(int fd, const sockaddr_in &to, const QByteArray &config, int count, int segments, int durationMs)
{
    struct sigaction action = {};
    action.sa_handler = requestStop;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    // Every reply once, one after the other, in whole datagrams of `segments` replies.
    const int messageCount = (count + segments - 1) / segments;
    const int replyCount = messageCount * segments;
    const size_t size = size_t(config.size());
    QByteArray replies;
    replies.reserve(qsizetype(size_t(replyCount) * size));
    for (int i = 0; i < replyCount; ++i) {
        QByteArray reply = config;
        describe(reply, i % count);
        replies.append(reply);
    }
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(quint16))] = {};
    auto *segmentation = reinterpret_cast<cmsghdr *>(control);
    segmentation->cmsg_level = SOL_UDP;
    segmentation->cmsg_type = UDP_SEGMENT;
    segmentation->cmsg_len = CMSG_LEN(sizeof(quint16));
    const quint16 segmentSize = quint16(size);
    std::memcpy(CMSG_DATA(segmentation), &segmentSize, sizeof segmentSize);
    std::vector<iovec> parts(static_cast<size_t>(messageCount));
    std::vector<mmsghdr> messages(static_cast<size_t>(messageCount));
    for (size_t i = 0; i < size_t(messageCount); ++i) {
        parts[i] = {replies.data() + i * size * size_t(segments), size * size_t(segments)};
        msghdr &message = messages[i].msg_hdr;
        message.msg_name = const_cast<sockaddr_in *>(&to);
        message.msg_namelen = sizeof to;
        message.msg_iov = &parts[i];
        message.msg_iovlen = 1;
        if (segments > 1) {
            message.msg_control = control;
            message.msg_controllen = sizeof control;
        }
    }

    // About a thousand replies to a system call either way.
    const int batch = qMax(1024 / segments, 1);
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    int rounds = 0;
    int next = 0;
    while (!stopRequested && clock.elapsed() < durationMs) {
        const int done = ::sendmmsg(fd, messages.data() + next, unsigned(qMin(batch, messageCount - next)), 0);
        if (done < 0) {
            if (segments > 1 && sent == 0 && (errno == EINVAL || errno == EIO || errno == EOPNOTSUPP)) {
                std::fprintf(stderr, "veltra-bench-fake-devices: no UDP segmentation here; one reply a datagram\n");
                return flood(fd, to, config, count, 1, durationMs);
            }
            if (errno != ENOBUFS && errno != EAGAIN && errno != EINTR) {
                std::perror("veltra-bench-fake-devices: sendmmsg");
                return 1;
            }
            continue;
        }
        sent += qint64(done) * segments;
        next += done;
        if (next == messageCount) {
            next = 0;
            ++rounds;
        }
    }
    const qint64 elapsed = qMax<qint64>(clock.elapsed(), 1);
    std::printf("FAKE rounds=%d sent=%lld sent_per_s=%lld\n", rounds, static_cast<long long>(sent),
                static_cast<long long>(sent * 1000 / elapsed));
    return 0;
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
    const QCommandLineOption destOption(QStringLiteral("dest-mac"), QStringLiteral("The host the replies are for."),
                                        QStringLiteral("MAC"));
    const QCommandLineOption floodOption(QStringLiteral("flood"),
                                         QStringLiteral("Configuration replies alone, back to back, no pause."));
    const QCommandLineOption segmentOption(
        QStringLiteral("segments"),
        QStringLiteral("With --flood: replies per datagram handed to the kernel, split by the receiving host."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption toOption(QStringLiteral("to"),
                                      QStringLiteral("Where the datagrams go (default 255.255.255.255)."),
                                      QStringLiteral("ADDRESS"));
    parser.addOptions(
        {countOption, sizeOption, delayOption, durationOption, destOption, floodOption, segmentOption, toOption});
    parser.process(app);
    const int count = qMax(parser.value(countOption).toInt(), 1);
    const QByteArray destMac = parser.value(destOption).toLatin1();
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
    if (parser.isSet(toOption) && ::inet_pton(AF_INET, qPrintable(parser.value(toOption)), &to.sin_addr) != 1) {
        std::fprintf(stderr, "veltra-bench-fake-devices: --to takes an IPv4 address\n");
        return 2;
    }

    QByteArray info = header(DeviceInfoReply, size, destMac);
    put(info, Protocol::HeaderSize, 4, "12");
    put(info, Protocol::HeaderSize + 4, 20, "6.6.6");
    info[size - 1] = '\0'; // the device name runs from offset 148 to here
    QByteArray config = header(NetworkConfigReply, size, destMac);
    std::memset(config.data() + Protocol::HeaderSize, 0, Protocol::NetworkConfigBodySize);
    put(config, 167, 2, "0");

    QThread::msleep(ulong(parser.value(delayOption).toInt()));
    if (parser.isSet(floodOption)) {
        // The kernel takes at most 64 segments to a datagram.
        const int segments = qBound(1, parser.value(segmentOption).toInt(), 64);
        const int status = flood(fd, to, config, count, segments, parser.value(durationOption).toInt());
        ::close(fd);
        return status;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    int rounds = 0;
    while (clock.elapsed() < parser.value(durationOption).toInt()) {
        for (int i = 0; i < count && clock.elapsed() < parser.value(durationOption).toInt(); ++i) {
            put(info, MessageHeader::SrcMacOffset, MessageHeader::MacWidth, macOf(i));
            describe(config, i);
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
