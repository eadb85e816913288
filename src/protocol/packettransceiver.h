// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "protocol/datagramreceiver.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QNetworkInterface>
#include <QObject>
#include <QOperatingSystemVersion>
#include <QStringList>

#include <deque>
#include <functional>

class QSocketNotifier;
class QUdpSocket;

// The only network endpoint of the program: keeps the host's usable interfaces, sends every
// request as a broadcast that names its device by MAC text, and hands on the replies that carry
// the identification key and are addressed to this host.
class PacketTransceiver : public QObject
{
    Q_OBJECT

public:
    // One network interface as the interface rule sees it.
    struct InterfaceInfo
    {
        QNetworkInterface::InterfaceFlags flags;
        QString hardwareAddress;
        QString name;
        QStringList addresses; // address texts, in the system's order
    };
    // One usable interface address: the host's side of a network the devices are looked for on.
    struct InterfaceEntry
    {
        QString hardwareAddress;
        QString address;
        QString name;
    };

    // Shows a notice about a received datagram ("read error", foreign key) and returns when the
    // user has seen it. The desktop program shows a modal box; the default writes a warning line.
    using NoticeHandler = std::function<void(const QString &title, const QString &text)>;
    // Where the interfaces come from each time they are listed.
    using InterfaceSource = std::function<QList<InterfaceInfo>()>;

    // Notices of one kind come at most once in this many milliseconds: a stream of foreign
    // datagrams must not become a stream of boxes. The ones in between go to the debug stream,
    // counted.
    static constexpr int NoticeInterval = 60000;

    explicit PacketTransceiver(QObject *parent = nullptr);
    // With a given interface set instead of the system's.
    explicit PacketTransceiver(const QList<InterfaceInfo> &interfaces, QObject *parent = nullptr);
    explicit PacketTransceiver(InterfaceSource source, QObject *parent = nullptr);
    ~PacketTransceiver() override;

    static QList<InterfaceInfo> systemInterfaces();
    // The interface rule: an entry for every IPv4 address of every interface that is up or running
    // and not loopback: the 192.168.x.x ones first, then the others, link-local 169.254.x.x last,
    // each group in the given order.
    static QList<InterfaceEntry> usableInterfaces(const QList<InterfaceInfo> &interfaces);
    // The same entries as "MAC|address|name" texts.
    static QStringList interfaceEntries(const QList<InterfaceInfo> &interfaces);
    // Whether the sending socket is bound to the current interface's address.
    static bool sendsPerInterface();
    static bool sendsPerInterface(const QOperatingSystemVersion &system);

    bool bindSocket();
    // The receiving socket's descriptor, -1 before bindSocket() succeeded.
    int receiveDescriptor() const { return receiver.socketDescriptor(); }
    // Datagrams the kernel dropped on the receiving socket since it was bound: replies lost
    // because they came faster than they could be read.
    quint64 kernelDrops() const { return receiver.kernelDrops(); }
    // The usable interfaces as "MAC|address|name" texts, the current one first.
    QStringList interfaceList() const;
    QStringList interfaceNames() const;
    QString currentInterfaceAddress() const;
    QString currentMacAddress() const;
    // The usable interfaces in the interface rule's order, as last read: the order a choice among
    // them is offered in, which does not change when another one becomes current.
    QList<InterfaceEntry> listedInterfaces() const { return listed; }
    // The current entry, an empty one without a usable interface.
    InterfaceEntry currentEntry() const { return interfaces.value(0); }
    void chooseInterface(const QString &name);
    // Makes the entry with this name and address current (an interface may carry several
    // addresses, each an entry); returns whether there is one.
    bool chooseEntry(const QString &name, const QString &address);
    // Lists the interfaces again, as they are now: a cable plugged in, a dock, a new DHCP address.
    // The current interface stays current while it exists; the sending socket follows its address.
    void refreshInterfaces();

    // Every usable interface at once: a request to every device goes out on each interface (on its
    // first address), from that interface's MAC and address; a request to one device goes out on
    // the interface it answered on, or on each while it has not answered. Off, everything goes
    // through the current interface.
    void setAllInterfaces(bool all);
    bool allInterfaces() const { return everyInterface; }
    // The interface the device answered on first since the last forgetDeviceInterfaces(), or where
    // it answered last before that; an empty entry for a device not heard in this mode.
    InterfaceEntry deviceInterface(const QString &macAddress) const;
    // A new scan begins: the first interface each device answers on from now on is its interface.
    // What was known stays in use until then.
    void forgetDeviceInterfaces();

    void getDeviceInfo(const QString &destMacAddr);
    void sendRequest(int messageId, const QString &destMacAddr, const QByteArray &payload);

    // The complete datagram of the next request; takes the next sequence number and emits the
    // "no valid interface" warning when the interface list is empty.
    QByteArray requestDatagram(int messageId, const QString &destMacAddr, const QByteArray &payload);

    // Blocks for `msecs` without handling anything; what arrives meanwhile is read into memory and
    // handled, in arrival order, once control is back in the event loop.
    void pause(int msecs);
    // Handles at once, in order, what has been received and not yet handled: a count check counts
    // the replies that came before it, whether or not the event loop has come round to them.
    void handleReceived();
    // Whether datagrams have been received that are not handled yet.
    bool hasUnhandled() const { return receiver.hasWaiting(); }

    // What the datagrams read but not yet handled may take at most (bytes).
    void setHeldLimit(qint64 bytes) { receiver.setHeldLimit(bytes); }
    void setNoticeHandler(NoticeHandler handler);
    void setNoticeInterval(int msecs) { noticeInterval = msecs; }

signals:
    void replyReceived(const QByteArray &datagram);
    void requestSent(int messageId, const QString &macAddress);
    void warningMessage(const QString &title, const QString &msg);

public slots:
    void getNetworkConfig(const QString &destMacAddr);
    void getNetworkConfig();
    void restartNetwork(const QString &);
    void processPendingDatagrams();

private:
    using Received = DatagramReceiver::Datagram;

    void bindSendSocket();
    // The entries a request to every device goes out on: each interface's first in the list.
    QList<InterfaceEntry> sendingEntries() const;
    QUdpSocket *socketFor(const InterfaceEntry &entry);
    void sendOn(const InterfaceEntry &entry, int messageId, const QString &destMacAddr, const QByteArray &payload);
    // The entry a reply addressed to `destMac` that came in on the interface with `index` answers,
    // or null when it answers none of this host's requests on that interface.
    const InterfaceEntry *replyEntry(QByteArrayView destMac, int index);
    void noteDeviceInterface(const QString &macAddress, const InterfaceEntry &entry);
    void makeCurrent(qsizetype index);
    void handle(const Received &received);
    void notice(const QString &text);
    void suppressNotice(const QString &text, qint64 quietFor);

    QUdpSocket *sendSocket = nullptr;
    bool bound = false;
    quint16 sequenceCounter = 0;
    InterfaceSource interfaceSource;
    QList<InterfaceEntry> interfaces; // the current one first
    QList<InterfaceEntry> listed;     // the same in the interface rule's order

    DatagramReceiver receiver;
    std::deque<Received> taken;                  // taken from the receiver's queue, not yet handled
    QByteArray ownMac;                           // the current interface's MAC text, as the receive filter compares it
    QSocketNotifier *receivedNotifier = nullptr; // the receiver's queue holds datagrams
    NoticeHandler noticeHandler;
    bool noticeOpen = false;
    int droppedWhileNoticeOpen = 0;
    int noticeInterval = NoticeInterval;
    QHash<QString, QElapsedTimer> lastNotice; // by notice text
    QHash<QString, int> suppressedNotices;    // by notice text, within the current quiet period

    // With every interface at once.
    bool everyInterface = false;
    QList<InterfaceEntry> senders;             // sendingEntries(), as of the last change
    QHash<QString, QUdpSocket *> otherSockets; // sending sockets of the other entries, by address
    QHash<int, QString> indexNames;            // interface names by index, as replies named them
    struct Heard
    {
        InterfaceEntry entry;
        bool thisScan = false; // answered since forgetDeviceInterfaces()
    };
    QHash<QString, Heard> heard; // by upper-case MAC text
};
