// SPDX-License-Identifier: Apache-2.0
#include "protocol/packettransceiver.h"

#include "protocol/configcheck.h"
#include "protocol/messageheader.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QOperatingSystemVersion>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>
#include <QtDebug>

#include <algorithm>

namespace {

const QString EntrySeparator = QStringLiteral("|");

// Large enough for the replies of a few thousand devices to one broadcast; the kernel may clamp it.
constexpr int ReceiveBufferSize = 8 * 1024 * 1024;
// One turn of the event loop handles received datagrams for at most this long (milliseconds); the
// rest waits for the next turn, so that timers, painting and the user's input come round at least
// every few milliseconds while thousands of replies are handled, or while a flood goes on.
constexpr int HandlingSlice = 8;
constexpr int SliceCheckEvery = 16;
// Datagrams taken from the reading thread at a time.
constexpr int TakeBatch = 512;

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
      listed(interfaces), noticeHandler(logNotice)
{
    senders = sendingEntries();
    sendSocket = new QUdpSocket(this);
    ownMac = currentMacAddress().toLatin1();
}

PacketTransceiver::~PacketTransceiver()
{
    // The notifier goes before the descriptor it watches.
    delete receivedNotifier;
    receiver.close();
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
    // Devices answer a broadcast whatever the host's subnet, so every IPv4 network qualifies. The
    // 192.168.x.x entries come first, so that a host with one keeps it as the current interface;
    // link-local addresses, which a host gives itself when nothing else answers, come last.
    QList<InterfaceEntry> entries;
    QList<InterfaceEntry> others;
    QList<InterfaceEntry> linkLocal;
    for (const InterfaceInfo &info : interfaceInfos) {
        const bool active = info.flags.testAnyFlags(QNetworkInterface::IsUp | QNetworkInterface::IsRunning);
        if (!active || info.flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QString &address : info.addresses) {
            if (!ConfigCheck::address(address).isEmpty())
                continue; // IPv6, or no complete address
            const InterfaceEntry entry{info.hardwareAddress, address, info.name};
            if (address.startsWith(QLatin1String("192.168.")))
                entries.append(entry);
            else if (address.startsWith(QLatin1String("169.254.")))
                linkLocal.append(entry);
            else
                others.append(entry);
        }
    }
    return entries + others + linkLocal;
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
    QString error;
    bound = receiver.open(Protocol::DevicePort, ReceiveBufferSize, &error);
    if (bound) {
        // Watched by the event loop like a socket, beside the timers: a stream of datagrams
        // takes its turns with them rather than before them.
        receivedNotifier = new QSocketNotifier(receiver.readyDescriptor(), QSocketNotifier::Read, this);
        connect(receivedNotifier, &QSocketNotifier::activated, this, &PacketTransceiver::processPendingDatagrams);
    } else {
        qDebug().noquote() << "PacketTransceiver: cannot bind port" << Protocol::DevicePort << error;
    }
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
        if (interfaces.at(i).name == name) {
            makeCurrent(i);
            return;
        }
    }
}

bool PacketTransceiver::chooseEntry(const QString &name, const QString &address)
{
    for (qsizetype i = 0; i < interfaces.size(); ++i) {
        if (interfaces.at(i).name == name && interfaces.at(i).address == address) {
            makeCurrent(i);
            return true;
        }
    }
    return false;
}

void PacketTransceiver::makeCurrent(qsizetype index)
{
    interfaces.move(index, 0);
    ownMac = currentMacAddress().toLatin1();
    bindSendSocket();
}

void PacketTransceiver::refreshInterfaces()
{
    const QList<InterfaceEntry> nowListed = usableInterfaces(interfaceSource());
    QList<InterfaceEntry> now = nowListed; // the current one first
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
    listed = nowListed;
    interfaces = now;
    ownMac = currentMacAddress().toLatin1();
    senders = sendingEntries();
    indexNames.clear(); // an index may have gone to another interface
    for (auto it = otherSockets.begin(); it != otherSockets.end();) {
        const QString address = it.key();
        const bool sending = std::any_of(senders.cbegin(), senders.cend(),
                                         [&address](const InterfaceEntry &entry) { return entry.address == address; });
        if (sending) {
            ++it;
        } else {
            delete it.value();
            it = otherSockets.erase(it);
        }
    }
    if (interfaceList() == before)
        return;
    qDebug() << "PacketTransceiver: the interfaces are now" << interfaceList();
    if (sendSocket->state() == QAbstractSocket::BoundState)
        bindSendSocket();
}

void PacketTransceiver::setAllInterfaces(bool all)
{
    everyInterface = all;
    if (all)
        return;
    qDeleteAll(otherSockets);
    otherSockets.clear();
}

QList<PacketTransceiver::InterfaceEntry> PacketTransceiver::sendingEntries() const
{
    // One request per interface: its other addresses are on the same link, and the devices there
    // answer whatever address a request comes from.
    QList<InterfaceEntry> entries;
    QStringList names;
    for (const InterfaceEntry &entry : listed) {
        if (names.contains(entry.name))
            continue;
        names.append(entry.name);
        entries.append(entry);
    }
    return entries;
}

PacketTransceiver::InterfaceEntry PacketTransceiver::deviceInterface(const QString &macAddress) const
{
    return heard.value(macAddress.toUpper()).entry;
}

void PacketTransceiver::forgetDeviceInterfaces()
{
    for (Heard &device : heard)
        device.thisScan = false;
}

void PacketTransceiver::noteDeviceInterface(const QString &macAddress, const InterfaceEntry &entry)
{
    const QString key = macAddress.toUpper();
    if (!heard.contains(key) && heard.size() >= Protocol::MaxDevicesPerScan) {
        // A flood of made-up devices takes no more memory than the table does: what earlier scans
        // heard goes first, and beyond that a device is asked on every interface.
        erase_if(heard, [](const auto &device) { return !device.value().thisScan; });
        if (heard.size() >= Protocol::MaxDevicesPerScan)
            return;
    }
    Heard &device = heard[key];
    if (device.thisScan && device.entry.name != entry.name) {
        // The same device on two links (two adapters in one network, a loop between them): it
        // stays where it answered first.
        qDebug().noquote() << "PacketTransceiver: the device" << macAddress << "answered on" << entry.name
                           << "too; its requests go out on" << device.entry.name;
        return;
    }
    device = {entry, true};
}

QUdpSocket *PacketTransceiver::socketFor(const InterfaceEntry &entry)
{
    if (!sendsPerInterface() || entry.address == currentInterfaceAddress())
        return sendSocket;
    QUdpSocket *&socket = otherSockets[entry.address];
    if (!socket) {
        socket = new QUdpSocket(this);
        // As for the current interface: without the bind the system may send from another one.
        if (!socket->bind(QHostAddress(entry.address), Protocol::SendPort,
                          QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
            qDebug() << "PacketTransceiver: cannot bind a sending socket to" << entry.address << socket->errorString();
    }
    return socket;
}

void PacketTransceiver::sendOn(const InterfaceEntry &entry, int messageId, const QString &destMacAddr,
                               const QByteArray &payload)
{
    ++sequenceCounter;
    const MessageHeader header = MessageHeader::request(quint32(messageId), destMacAddr, quint32(payload.size()),
                                                        entry.hardwareAddress, entry.address, sequenceCounter);
    QUdpSocket *socket = socketFor(entry);
    if (socket->writeDatagram(header.toByteArray() + payload, QHostAddress::Broadcast, Protocol::DevicePort) < 0)
        qDebug() << "PacketTransceiver: sending message" << messageId << "on" << entry.name
                 << "failed:" << socket->errorString();
}

const PacketTransceiver::InterfaceEntry *PacketTransceiver::replyEntry(QByteArrayView destMac, int index)
{
    // Where the system names the arrival interface, a reply counts on the interface it came in on
    // and only as the answer to the request sent there: two adapters in one network each get
    // both copies of every reply, and a VLAN sub-interface shares its MAC with its parent.
    if (index > 0) {
        auto name = indexNames.constFind(index);
        if (name == indexNames.cend())
            name = indexNames.insert(index, QNetworkInterface::interfaceNameFromIndex(index));
        for (const InterfaceEntry &entry : std::as_const(senders)) {
            if (entry.name == *name)
                return QByteArrayView(entry.hardwareAddress.toLatin1()).startsWith(destMac) ? &entry : nullptr;
        }
    }
    for (const InterfaceEntry &entry : std::as_const(senders)) {
        if (QByteArrayView(entry.hardwareAddress.toLatin1()).startsWith(destMac))
            return &entry;
    }
    return nullptr;
}

QByteArray PacketTransceiver::requestDatagram(int messageId, const QString &destMacAddr, const QByteArray &payload)
{
    if (interfaces.isEmpty())
        emit warningMessage(tr("Creating message header"), tr("Could not get a valid network interface!"));
    ++sequenceCounter; // wraps from 65535 to 0
    const MessageHeader header =
        MessageHeader::request(quint32(messageId), destMacAddr, quint32(payload.size()), currentMacAddress(),
                               currentInterfaceAddress(), sequenceCounter);
    return header.toByteArray() + payload;
}

void PacketTransceiver::sendRequest(int messageId, const QString &destMacAddr, const QByteArray &payload)
{
    if (everyInterface && !senders.isEmpty()) {
        // A device that answered gets its requests where it answered, while that interface is there.
        const auto known = heard.constFind(destMacAddr.toUpper());
        for (const InterfaceEntry &entry : std::as_const(senders)) {
            if (known == heard.cend() || known->entry.name == entry.name)
                sendOn(entry, messageId, destMacAddr, payload);
        }
        emit requestSent(messageId, destMacAddr);
        return;
    }
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

void PacketTransceiver::processPendingDatagrams()
{
    // The reading thread has queued what arrived, in arrival order. It is handled here in slices:
    // what is left when the slice is over keeps the notifier ready for the next turn of the event
    // loop. A notice or a reply's handling may run a nested event loop that handles some of it.
    const QDeadlineTimer slice(HandlingSlice, Qt::PreciseTimer);
    for (int handled = 0;; ++handled) {
        // The clock is read now and then only: a datagram takes a microsecond or so.
        if (handled % SliceCheckEvery == SliceCheckEvery - 1 && slice.hasExpired())
            break;
        if (taken.empty())
            receiver.take(TakeBatch, &taken);
        if (taken.empty())
            return;
        const Received received = std::move(taken.front());
        taken.pop_front();
        handle(received);
    }
    if (!taken.empty())
        receiver.keepReady();
}

void PacketTransceiver::handleReceived()
{
    // Only what is there now: during a flood the queue would never run dry.
    receiver.take(receiver.waiting(), &taken);
    while (!taken.empty()) {
        const Received received = std::move(taken.front());
        taken.pop_front();
        handle(received);
    }
}

void PacketTransceiver::handle(const Received &received)
{
    // Runs for every datagram that arrives, a flood included: the fields are compared as the
    // datagram's own bytes, without copies.
    if (received.readError) {
        notice(QStringLiteral("read error"));
        return;
    }
    const QByteArray &datagram = received.data;
    if (MessageHeader::keyBytesOf(datagram) != QByteArrayView(Protocol::PacketIdentificationKey)) {
        notice(QStringLiteral("not our packetIdentificationKey"));
        return;
    }
    if (datagram.size() < Protocol::HeaderSize) {
        // Carries our key but not even a whole header: nothing in it can be trusted.
        qDebug() << "PacketTransceiver: dropped a datagram of" << datagram.size() << "bytes, shorter than a header";
        return;
    }
    const InterfaceEntry *entry = nullptr;
    if (everyInterface) {
        entry = replyEntry(MessageHeader::destMacBytesOf(datagram), received.interfaceIndex);
        if (!entry)
            return; // our own request's copy, a reply for another host, or a copy from another link
    } else if (!QByteArrayView(ownMac).startsWith(MessageHeader::destMacBytesOf(datagram))) {
        return; // our own request's copy, or a reply for another host
    }
    if (!MessageHeader::isMacAddressText(MessageHeader::srcMacBytesOf(datagram))) {
        // A reply names its device by its source MAC; without one it is nobody's reply.
        qDebug() << "PacketTransceiver: dropped a reply whose source is no MAC address";
        return;
    }
    if (entry)
        noteDeviceInterface(MessageHeader::srcMacOf(datagram), *entry);
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
    // The reading thread goes on meanwhile; its notification waits in the event queue.
    QThread::msleep(ulong(qMax(msecs, 0)));
}
