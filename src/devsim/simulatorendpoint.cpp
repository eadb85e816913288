// SPDX-License-Identifier: Apache-2.0
#include "devsim/simulatorendpoint.h"

#include "devsim/datagramlog.h"
#include "devsim/devicesimulator.h"

#include <QDateTime>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>

#ifdef Q_OS_LINUX
#include <sys/socket.h>
#endif

namespace {

constexpr int ReceiveBufferBytes = 16 * 1024 * 1024;
constexpr int SendBufferBytes = 4 * 1024 * 1024;
constexpr int MaxReportedDrops = 10;
constexpr int MaxBatch = 256;

// Asks for a large socket buffer. Root may exceed the system's limit (the FORCE options); others
// get what the limit allows.
void enlargeBuffer(QUdpSocket *socket, QAbstractSocket::SocketOption option, int bytes)
{
#ifdef Q_OS_LINUX
    const int name = option == QAbstractSocket::ReceiveBufferSizeSocketOption ? SO_RCVBUFFORCE : SO_SNDBUFFORCE;
    if (::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, name, &bytes, sizeof bytes) == 0)
        return;
#endif
    socket->setSocketOption(option, bytes);
}

bool isPermanent(QAbstractSocket::SocketError error)
{
    return error == QAbstractSocket::DatagramTooLargeError || error == QAbstractSocket::SocketAccessError ||
           error == QAbstractSocket::UnsupportedSocketOperationError;
}

} // namespace

SimulatorEndpoint::SimulatorEndpoint(DeviceSimulator *simulator, const EndpointSettings &settings, QObject *parent)
    : QObject(parent), simulator(simulator), settings(settings), receiveSocket(new QUdpSocket(this)),
      sendSocket(new QUdpSocket(this)), sendTimer(new QTimer(this))
{
    sendTimer->setSingleShot(true);
    sendTimer->setTimerType(Qt::PreciseTimer);
    connect(sendTimer, &QTimer::timeout, this, &SimulatorEndpoint::sendDueReplies);
    connect(receiveSocket, &QUdpSocket::readyRead, this, &SimulatorEndpoint::readPendingDatagrams);
    clock.start();
}

bool SimulatorEndpoint::start(QString *error)
{
    if (!receiveSocket->bind(QHostAddress::AnyIPv4, settings.port,
                             QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        *error =
            QStringLiteral("cannot listen on UDP port %1: %2").arg(settings.port).arg(receiveSocket->errorString());
        return false;
    }
    if (!sendSocket->bind(settings.interfaceAddress, 0)) {
        *error = QStringLiteral("cannot send from %1 (is it an address of this machine?): %2")
                     .arg(settings.interfaceAddress.toString(), sendSocket->errorString());
        receiveSocket->close();
        return false;
    }
    // One broadcast makes every device answer at once; the buffers take the bursts.
    enlargeBuffer(receiveSocket, QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
    enlargeBuffer(sendSocket, QAbstractSocket::SendBufferSizeSocketOption, SendBufferBytes);
    if (settings.replyPort == 0)
        settings.replyPort = receiveSocket->localPort();
    return true;
}

quint16 SimulatorEndpoint::listeningPort() const
{
    return receiveSocket->localPort();
}

void SimulatorEndpoint::readPendingDatagrams()
{
    // A bounded batch, so that a flood of datagrams cannot keep the replies from going out;
    // the socket signals again for what is left.
    for (int batch = 0; batch < MaxBatch && receiveSocket->hasPendingDatagrams(); ++batch) {
        const QNetworkDatagram received = receiveSocket->receiveDatagram();
        if (!received.isValid())
            break; // a read error; readyRead comes again when there is more
        const qint64 now = clock.elapsed();
        const bool own = received.senderPort() == sendSocket->localPort() &&
                         received.senderAddress().isEqual(settings.interfaceAddress, QHostAddress::TolerantConversion);
        ++stats.received;
        if (own)
            ++stats.ownReceived;
        if (log) {
            log->write({received.data(), QDateTime::currentMSecsSinceEpoch(), received.senderAddress(),
                        quint16(received.senderPort()), own});
        }
        if (own)
            continue;

        const QList<ScheduledReply> replies = simulator->handleDatagram(received.data(), now);
        for (const ScheduledReply &reply : replies)
            enqueue({now + reply.delayMs, 0, reply.datagram, 0});
    }
    armTimer();
}

void SimulatorEndpoint::enqueue(Pending pending)
{
    pending.order = nextOrder++;
    queue.push(std::move(pending));
}

void SimulatorEndpoint::armTimer()
{
    if (queue.empty()) {
        sendTimer->stop();
        return;
    }
    const qint64 due = std::max(queue.top().dueMs, holdUntilMs);
    sendTimer->start(int(std::max<qint64>(0, due - clock.elapsed())));
}

void SimulatorEndpoint::sendDueReplies()
{
    const qint64 now = clock.elapsed();
    while (!queue.empty() && queue.top().dueMs <= now) {
        Pending pending = queue.top();
        queue.pop();
        const qint64 written = sendSocket->writeDatagram(pending.datagram, settings.replyAddress, settings.replyPort);
        if (written == pending.datagram.size()) {
            ++stats.repliesSent;
            continue;
        }
        const QAbstractSocket::SocketError error = sendSocket->error();
        if (isPermanent(error) || pending.attempts + 1 >= MaxSendAttempts) {
            dropReply(sendSocket->errorString());
            continue;
        }
        // Usually a full send buffer (ENOBUFS, EAGAIN): wait a little, longer each time, and
        // keep everything else back too, since it would meet the same full buffer.
        ++pending.attempts;
        ++stats.retries;
        const qint64 backoff = std::min<qint64>(qint64(1) << std::min(pending.attempts, 6), 50);
        pending.dueMs = now + backoff;
        holdUntilMs = pending.dueMs;
        queue.push(std::move(pending));
        break;
    }
    armTimer();
}

void SimulatorEndpoint::dropReply(const QString &reason)
{
    ++stats.dropped;
    if (stats.dropped <= MaxReportedDrops) {
        std::fprintf(stderr, "veltra-devsim: a reply could not be sent and is dropped: %s\n", qPrintable(reason));
        if (stats.dropped == MaxReportedDrops)
            std::fprintf(stderr, "veltra-devsim: further dropped replies are only counted\n");
    }
}
