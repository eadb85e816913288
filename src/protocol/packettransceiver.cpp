#include "protocol/packettransceiver.h"

#include "protocol/messageheader.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QOperatingSystemVersion>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>
#include <QVariant>
#include <QtDebug>

#if defined(Q_OS_UNIX)
#include <poll.h>

#include <cerrno>
#endif

namespace {

const QString EntrySeparator = QStringLiteral("|");

// Large enough for the replies of a few thousand devices to one broadcast; the kernel may clamp it.
constexpr int ReceiveBufferSize = 8 * 1024 * 1024;
// Larger than any UDP datagram.
constexpr int MaxDatagramSize = 65536;
// While replies are handled, what has arrived meanwhile is read into memory at least this often
// (nanoseconds), so that the kernel's buffer only has to hold what arrives in between.
constexpr qint64 ReadInterval = 1000 * 1000;
// One turn of the event loop reads and handles received datagrams for at most this long
// (milliseconds); the rest waits for the next turn, so that a flood of datagrams cannot keep timers,
// painting and boxes waiting.
constexpr int HandlingSlice = 10;
// Datagrams read but not yet handled take at most this much memory (bytes, with an allowance for
// each datagram's bookkeeping). Beyond it they wait in the kernel's buffer, which drops what does
// not fit, as it would without the reading ahead: a flood costs memory only up to here. The
// replies of thousands of devices to one scan take a small part of it.
constexpr qint64 MaxHeldBytes = 32 * 1024 * 1024;
constexpr qint64 HeldOverhead = 128;

QString entryText(const PacketTransceiver::InterfaceEntry &entry)
{
    return QStringList{entry.hardwareAddress, entry.address, entry.name}.join(EntrySeparator);
}

void logNotice(const QString &title, const QString &text)
{
    qWarning().noquote() << title << text;
}

} // namespace

PacketTransceiver::PacketTransceiver(QObject *parent) : PacketTransceiver(InterfaceSource(&systemInterfaces), parent) {}

PacketTransceiver::PacketTransceiver(const QList<InterfaceInfo> &interfaceInfos, QObject *parent)
    : PacketTransceiver(InterfaceSource([interfaceInfos] { return interfaceInfos; }), parent)
{}

PacketTransceiver::PacketTransceiver(InterfaceSource source, QObject *parent)
    : QObject(parent), interfaceSource(std::move(source)), interfaces(usableInterfaces(interfaceSource())),
      noticeHandler(logNotice)
{
    receiveSocket = new QUdpSocket(this);
    sendSocket = new QUdpSocket(this);
    connect(receiveSocket, &QUdpSocket::readyRead, this, &PacketTransceiver::processPendingDatagrams);
}

QList<PacketTransceiver::InterfaceInfo> PacketTransceiver::systemInterfaces()
{
    QList<InterfaceInfo> result;
    const auto all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        InterfaceInfo info{iface.flags(), iface.hardwareAddress(), iface.humanReadableName(), {}};
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries)
            info.addresses.append(entry.ip().toString());
        result.append(info);
    }
    return result;
}

QList<PacketTransceiver::InterfaceEntry> PacketTransceiver::usableInterfaces(const QList<InterfaceInfo> &interfaceInfos)
{
    QList<InterfaceEntry> entries;
    for (const InterfaceInfo &info : interfaceInfos) {
        const bool active = info.flags.testAnyFlags(QNetworkInterface::IsUp | QNetworkInterface::IsRunning);
        if (!active || info.flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QString &address : info.addresses) {
            if (address.startsWith(QLatin1String("192.168.")))
                entries.append({info.hardwareAddress, address, info.name});
        }
    }
    return entries;
}

QStringList PacketTransceiver::interfaceEntries(const QList<InterfaceInfo> &interfaceInfos)
{
    QStringList texts;
    const QList<InterfaceEntry> entries = usableInterfaces(interfaceInfos);
    for (const InterfaceEntry &entry : entries)
        texts.append(entryText(entry));
    return texts;
}

bool PacketTransceiver::sendsPerInterface()
{
    return sendsPerInterface(QOperatingSystemVersion::current());
}

bool PacketTransceiver::sendsPerInterface(const QOperatingSystemVersion &system)
{
    // Windows from Vista on sends limited broadcasts through the default route's adapter alone
    // unless the socket is bound. Elsewhere, without the bind, a host whose default route lies
    // elsewhere sends them out of the wrong interface, and one without a default route cannot
    // send them at all.
    if (system.type() == QOperatingSystemVersion::Windows)
        return system >= QOperatingSystemVersion(QOperatingSystemVersion::Windows, 6, 0); // Vista
    return true;
}

bool PacketTransceiver::bindSocket()
{
    if (bound)
        return true;
    bound = receiveSocket->bind(QHostAddress::AnyIPv4, Protocol::DevicePort,
                                QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    if (bound)
        receiveSocket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(ReceiveBufferSize));
    else
        qDebug() << "PacketTransceiver: cannot bind port" << Protocol::DevicePort << receiveSocket->errorString();
    if (sendsPerInterface())
        bindSendSocket();
    return bound;
}

void PacketTransceiver::bindSendSocket()
{
    // Already bound to the current interface: nothing to do. A socket that a write bound to an
    // address of the system's choice is rebound.
    const QHostAddress address(currentInterfaceAddress());
    if (sendSocket->state() == QAbstractSocket::BoundState && sendSocket->localAddress() == address &&
        sendSocket->localPort() == Protocol::SendPort)
        return;
    sendSocket->close();
    // A failed bind is not fatal: the socket then sends from a port the system picks, and the
    // model's time-outs notice replies that never come.
    if (!sendSocket->bind(address, Protocol::SendPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        qDebug() << "PacketTransceiver: cannot bind the sending socket to" << currentInterfaceAddress()
                 << sendSocket->errorString();
}

QStringList PacketTransceiver::interfaceList() const
{
    QStringList texts;
    texts.reserve(interfaces.size());
    for (const InterfaceEntry &entry : interfaces)
        texts.append(entryText(entry));
    return texts;
}

QStringList PacketTransceiver::interfaceNames() const
{
    QStringList names;
    names.reserve(interfaces.size());
    for (const InterfaceEntry &entry : interfaces)
        names.append(entry.name);
    return names;
}

QString PacketTransceiver::currentInterfaceAddress() const
{
    return interfaces.isEmpty() ? QString::fromLatin1(Protocol::NoInterfaceIp) : interfaces.first().address;
}

QString PacketTransceiver::currentMacAddress() const
{
    return interfaces.isEmpty() ? QString::fromLatin1(Protocol::NoInterfaceMac) : interfaces.first().hardwareAddress;
}

void PacketTransceiver::chooseInterface(const QString &name)
{
    for (qsizetype i = 0; i < interfaces.size(); ++i) {
        if (interfaces.at(i).name != name)
            continue;
        interfaces.move(i, 0);
        bindSendSocket();
        return;
    }
}

void PacketTransceiver::refreshInterfaces()
{
    QList<InterfaceEntry> now = usableInterfaces(interfaceSource());
    if (!interfaces.isEmpty()) {
        // The current interface keeps its place by name: its address may have changed.
        const InterfaceEntry &current = interfaces.constFirst();
        qsizetype found = -1;
        for (qsizetype i = 0; i < now.size(); ++i) {
            if (now.at(i).name == current.name && (found < 0 || now.at(i).address == current.address))
                found = i;
        }
        if (found > 0)
            now.move(found, 0);
    }
    const QStringList before = interfaceList();
    interfaces = now;
    if (interfaceList() == before)
        return;
    qDebug() << "PacketTransceiver: the interfaces are now" << interfaceList();
    if (sendSocket->state() == QAbstractSocket::BoundState)
        bindSendSocket();
}

QByteArray PacketTransceiver::requestDatagram(int messageId, const QString &destMacAddr, const QByteArray &payload)
{
    if (interfaces.isEmpty())
        emit warningMessage(QStringLiteral("Creating message header"),
                            QStringLiteral("Could not get a valid network interface!"));
    ++sequenceCounter; // wraps from 65535 to 0
    const MessageHeader header =
        MessageHeader::request(quint32(messageId), destMacAddr, quint32(payload.size()), currentMacAddress(),
                               currentInterfaceAddress(), sequenceCounter);
    return header.toByteArray() + payload;
}

void PacketTransceiver::sendRequest(int messageId, const QString &destMacAddr, const QByteArray &payload)
{
    const QByteArray datagram = requestDatagram(messageId, destMacAddr, payload);
    if (sendSocket->writeDatagram(datagram, QHostAddress::Broadcast, Protocol::DevicePort) < 0)
        qDebug() << "PacketTransceiver: sending message" << messageId << "failed:" << sendSocket->errorString();
    emit requestSent(messageId, destMacAddr);
}

void PacketTransceiver::getDeviceInfo(const QString &destMacAddr)
{
    sendRequest(GetDeviceInfo, destMacAddr, QByteArray());
}

void PacketTransceiver::getNetworkConfig(const QString &destMacAddr)
{
    sendRequest(GetNetworkConfig, destMacAddr, QByteArray());
}

void PacketTransceiver::getNetworkConfig()
{
    getNetworkConfig(QString::fromLatin1(Protocol::BroadcastMac));
}

void PacketTransceiver::restartNetwork(const QString &macAddress)
{
    sendRequest(RestartNetwork, macAddress, QByteArray());
}

PacketTransceiver::Received PacketTransceiver::readOne()
{
    Received received;
    const qint64 size = receiveSocket->pendingDatagramSize();
    received.datagram.resize(qMax<qint64>(size, 0));
    const qint64 read = receiveSocket->readDatagram(received.datagram.data(), received.datagram.size());
    if (read < 0) {
        received.readError = true;
        received.datagram.clear();
    } else {
        received.datagram.truncate(read);
    }
    return received;
}

bool PacketTransceiver::readIfAny(Received *received)
{
    // QUdpSocket announces datagrams again only after a read has followed its last readyRead. When
    // pause() or an earlier call has already taken the datagrams a readyRead was about, no read
    // follows it, and without this one the socket would never announce another datagram. The read
    // finds nothing, or a datagram that has just arrived, which the buffer then takes whole.
    if (receiveSocket->state() != QAbstractSocket::BoundState)
        return false;
    QByteArray datagram(MaxDatagramSize, Qt::Uninitialized);
    const qint64 size = receiveSocket->readDatagram(datagram.data(), datagram.size());
    if (size < 0)
        return false;
    datagram.truncate(size);
    received->datagram = datagram;
    received->readError = false;
    return true;
}

bool PacketTransceiver::readIntoMemory(const QDeadlineTimer &deadline)
{
    // A sender may well be faster than the reading: the deadline ends the reading all the same.
    bool readAny = false;
    while (heldBytes < MaxHeldBytes && !deadline.hasExpired() && receiveSocket->hasPendingDatagrams()) {
        hold(readOne());
        readAny = true;
    }
    return readAny;
}

void PacketTransceiver::hold(const Received &received)
{
    held.append(received);
    heldBytes += received.datagram.size() + HeldOverhead;
}

PacketTransceiver::Received PacketTransceiver::takeHeld()
{
    Received received = held.takeFirst();
    heldBytes -= received.datagram.size() + HeldOverhead;
    return received;
}

void PacketTransceiver::processPendingDatagrams()
{
    // Handling a reply takes far longer than reading one, and what waits in the kernel's buffer is
    // lost once the buffer is full: a burst of replies is read into memory first, and what arrives
    // while it is handled is read every millisecond. Held datagrams are handled in arrival order
    // (those of a pause first); a notice or a reply's handling may run a nested event loop that
    // handles some of them.
    const QDeadlineTimer slice(HandlingSlice);
    if (!readIntoMemory(slice)) {
        Received received;
        if (readIfAny(&received))
            hold(received);
    }
    QElapsedTimer sinceRead;
    sinceRead.start();
    while (!held.isEmpty() && !slice.hasExpired()) {
        handle(takeHeld());
        if (sinceRead.nsecsElapsed() >= ReadInterval) {
            readIntoMemory(slice);
            sinceRead.restart();
        }
    }
    // What is left, or has come meanwhile, waits for the next turn of the event loop. Asking for it
    // with a posted event rather than waiting for readyRead matters: while the socket never runs
    // dry, the event loop finds it ready on every turn and runs timers only once the posted events
    // have been delivered.
    if (!held.isEmpty() ||
        (receiveSocket->state() == QAbstractSocket::BoundState && receiveSocket->hasPendingDatagrams()))
        continueLater();
}

void PacketTransceiver::continueLater()
{
    if (continuationQueued)
        return;
    continuationQueued = true;
    QTimer::singleShot(0, this, [this] {
        continuationQueued = false;
        processPendingDatagrams();
    });
}

void PacketTransceiver::handle(const Received &received)
{
    if (received.readError) {
        notice(QStringLiteral("read error"));
        return;
    }
    const QByteArray &datagram = received.datagram;
    if (MessageHeader::keyOf(datagram) != QLatin1String(Protocol::PacketIdentificationKey)) {
        notice(QStringLiteral("not our packetIdentificationKey"));
        return;
    }
    if (datagram.size() < Protocol::HeaderSize) {
        // Carries our key but not even a whole header: nothing in it can be trusted.
        qDebug() << "PacketTransceiver: dropped a datagram of" << datagram.size() << "bytes, shorter than a header";
        return;
    }
    if (!currentMacAddress().startsWith(MessageHeader::destMacOf(datagram)))
        return; // our own request's copy, or a reply for another host
    if (!MessageHeader::isMacAddressText(MessageHeader::srcMacOf(datagram))) {
        // A reply names its device by its source MAC; without one it is nobody's reply.
        qDebug() << "PacketTransceiver: dropped a reply whose source is no MAC address";
        return;
    }
    emit replyReceived(datagram);
}

void PacketTransceiver::notice(const QString &text)
{
    // A stream of foreign datagrams must not stack one box on another: while a notice is open,
    // further ones are dropped. The notice is shown from the event loop rather than from here, so
    // that the box's own event loop keeps reading (and dropping) datagrams while it is open.
    // The dropped ones are counted and told in one line when the notice closes, not one line each.
    if (noticeOpen) {
        ++droppedWhileNoticeOpen;
        return;
    }
    // Nor may it become a stream of boxes one after the other: one notice of a kind per interval.
    QElapsedTimer &last = lastNotice[text];
    if (last.isValid() && !last.hasExpired(noticeInterval)) {
        suppressNotice(text, noticeInterval - last.elapsed());
        return;
    }
    last.start();
    noticeOpen = true;
    QTimer::singleShot(0, this, [this, text] {
        noticeHandler(QStringLiteral("!"), text);
        noticeOpen = false;
        if (droppedWhileNoticeOpen > 0)
            qDebug() << "PacketTransceiver: dropped" << droppedWhileNoticeOpen
                     << "datagrams without a notice while one was open";
        droppedWhileNoticeOpen = 0;
    });
}

void PacketTransceiver::suppressNotice(const QString &text, qint64 quietFor)
{
    // Counted, and told in one line when the quiet period ends.
    if (suppressedNotices[text]++ > 0)
        return;
    QTimer::singleShot(int(qMax<qint64>(quietFor, 0)), this, [this, text] {
        qDebug().noquote() << "PacketTransceiver:" << suppressedNotices.take(text) << "more datagrams with the notice"
                           << text << "were dropped without one";
    });
}

void PacketTransceiver::setNoticeHandler(NoticeHandler handler)
{
    noticeHandler = handler ? std::move(handler) : NoticeHandler(logNotice);
}

void PacketTransceiver::pause(int msecs)
{
    QDeadlineTimer deadline(msecs);
    if (receiveSocket->state() != QAbstractSocket::BoundState) {
        QThread::msleep(ulong(qMax(msecs, 0)));
        return;
    }
#if defined(Q_OS_UNIX)
    // Waits on the descriptor itself: the socket's own wait functions would emit readyRead and
    // have the replies handled during the pause.
    pollfd fd{int(receiveSocket->socketDescriptor()), POLLIN, 0};
    for (;;) {
        readIntoMemory(deadline);
        const qint64 remaining = deadline.remainingTime();
        if (remaining <= 0)
            break;
        // With the held list full, what comes waits in the kernel's buffer: nothing to wait for.
        if (heldBytes >= MaxHeldBytes || (::poll(&fd, 1, int(remaining)) < 0 && errno != EINTR))
            QThread::msleep(ulong(qMax<qint64>(deadline.remainingTime(), 0)));
    }
#else
    QThread::msleep(ulong(qMax(msecs, 0)));
#endif
    if (!held.isEmpty())
        QTimer::singleShot(0, this, &PacketTransceiver::processPendingDatagrams);
}
