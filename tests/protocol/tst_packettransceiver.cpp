// SPDX-License-Identifier: Apache-2.0
#include "netguard.h"
#include "protocol/messageheader.h"
#include "protocol/packettransceiver.h"

#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

#if defined(Q_OS_UNIX)
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

using Info = PacketTransceiver::InterfaceInfo;
using Flags = QNetworkInterface::InterfaceFlags;

Q_DECLARE_METATYPE(QList<PacketTransceiver::InterfaceInfo>)

namespace {

constexpr auto UpRunning = Flags(QNetworkInterface::IsUp | QNetworkInterface::IsRunning);
const QString OwnMac = QStringLiteral("02:00:5E:10:00:01");

QList<Info> oneInterface()
{
    return {Info{UpRunning, OwnMac, QStringLiteral("eth0"), {QStringLiteral("192.168.1.20")}}};
}

// A reply as a device sends it, addressed to `destMac`, with `tag` in its body to tell replies apart.
QByteArray reply(const QString &destMac, int tag = 0, const char *key = Protocol::PacketIdentificationKey,
                 const QString &srcMac = QStringLiteral("00:1A:2B:3C:4D:5E"))
{
    MessageHeader header;
    header.packetIdentificationKey = QString::fromLatin1(key);
    header.messageId = DeviceInfoReply;
    header.destMacAddr = destMac;
    header.srcMacAddr = srcMac;
    return header.toByteArray() + QByteArray::number(tag) + '\0';
}

int tagOf(const QByteArray &datagram)
{
    return datagram.mid(Protocol::HeaderSize).chopped(1).toInt();
}

// Sends datagrams to the transceiver's port over loopback only.
class LoopbackSender
{
public:
    void send(const QByteArray &datagram)
    {
        QVERIFY(socket.writeDatagram(datagram, QHostAddress::LocalHost, Protocol::DevicePort) == datagram.size());
    }

private:
    QUdpSocket socket;
};

// Keeps the thread busy, as slow handling of a reply would.
void busyFor(qint64 microseconds)
{
    QElapsedTimer busy;
    busy.start();
    while (busy.nsecsElapsed() < microseconds * 1000) {
    }
}

} // namespace

class TestPacketTransceiver : public QObject
{
    Q_OBJECT

private slots:
    void metaObjectInterface();
    void sendsPerInterfaceOnEveryWindowsFromVista_data();
    void interfacesListedAgain();
    void sendsPerInterfaceOnEveryWindowsFromVista();
    void interfaceRule_data();
    void interfaceRule();
    void noInterface();
    void typedInterfaceEntries();
    void chooseInterface();
    void requestHeaders();
    void sequenceWraps();
    void sendingAnnouncesEveryRequest();
    void bindSocketOnce();
    void receiveFilter_data();
    void receiveFilter();
    void everyInterfaceKeepsWhereEachDeviceAnswered();
    void oneNoticeAtATime();
    void noticesOncePerInterval();
    void pauseHoldsRepliesInOrder();
    void repliesArrivingWhileHandlingAreKept();
    void floodLeavesTheEventLoopTurning();
    void heldDatagramsStayWithinLimit();
    void kernelDropsAreCounted();
    void stopsAtOnceDuringFlood_data();
    void stopsAtOnceDuringFlood();
};

void TestPacketTransceiver::metaObjectInterface()
{
    const QMetaObject &mo = PacketTransceiver::staticMetaObject;
    const int offset = mo.methodOffset();
    QCOMPARE(mo.methodCount() - offset, 7);
    const QList<QPair<QByteArray, QMetaMethod::MethodType>> expected = {
        {"replyReceived(QByteArray)", QMetaMethod::Signal},
        {"requestSent(int,QString)", QMetaMethod::Signal},
        {"warningMessage(QString,QString)", QMetaMethod::Signal},
        {"getNetworkConfig(QString)", QMetaMethod::Slot},
        {"getNetworkConfig()", QMetaMethod::Slot},
        {"restartNetwork(QString)", QMetaMethod::Slot},
        {"processPendingDatagrams()", QMetaMethod::Slot},
    };
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(mo.method(offset + i).methodSignature(), expected.at(i).first);
        QCOMPARE(mo.method(offset + i).methodType(), expected.at(i).second);
    }
    QCOMPARE(mo.method(offset + 1).parameterNames(), (QList<QByteArray>{"messageId", "macAddress"}));
    QCOMPARE(mo.method(offset + 2).parameterNames(), (QList<QByteArray>{"title", "msg"}));
    QCOMPARE(mo.method(offset + 3).parameterNames(), QList<QByteArray>{"destMacAddr"});
}

void TestPacketTransceiver::interfaceRule_data()
{
    QTest::addColumn<QList<Info>>("interfaces");
    QTest::addColumn<QStringList>("entries");

    const QString a = QStringLiteral("AA:AA:AA:AA:AA:01");
    const QString b = QStringLiteral("BB:BB:BB:BB:BB:02");
    QTest::newRow("192.168 first, the other networks after")
        << QList<Info>{{UpRunning, a, QStringLiteral("A"), {QStringLiteral("10.0.0.5")}},
                       {UpRunning, b, QStringLiteral("B"), {QStringLiteral("192.168.1.20")}}}
        << QStringList{b + QStringLiteral("|192.168.1.20|B"), a + QStringLiteral("|10.0.0.5|A")};
    QTest::newRow("no 192.168 address: IPv4 in interface order, link-local last, no IPv6")
        << QList<Info>{{UpRunning,
                        a,
                        QStringLiteral("A"),
                        {QStringLiteral("169.254.7.1"), QStringLiteral("10.0.0.5"), QStringLiteral("fe80::1")}},
                       {UpRunning, b, QStringLiteral("B"), {QStringLiteral("172.16.0.3")}}}
        << QStringList{a + QStringLiteral("|10.0.0.5|A"), b + QStringLiteral("|172.16.0.3|B"),
                       a + QStringLiteral("|169.254.7.1|A")};
    QTest::newRow("loopback skipped") << QList<Info>{{UpRunning | QNetworkInterface::IsLoopBack,
                                                      a,
                                                      QStringLiteral("lo"),
                                                      {QStringLiteral("192.168.0.1")}}}
                                      << QStringList();
    QTest::newRow("up but not running qualifies")
        << QList<Info>{{Flags(QNetworkInterface::IsUp), a, QStringLiteral("A"), {QStringLiteral("192.168.2.2")}}}
        << QStringList{a + QStringLiteral("|192.168.2.2|A")};
    QTest::newRow("running but not up qualifies")
        << QList<Info>{{Flags(QNetworkInterface::IsRunning), a, QStringLiteral("A"), {QStringLiteral("192.168.2.2")}}}
        << QStringList{a + QStringLiteral("|192.168.2.2|A")};
    QTest::newRow("neither up nor running") << QList<Info>{{Flags(QNetworkInterface::CanBroadcast),
                                                            a,
                                                            QStringLiteral("A"),
                                                            {QStringLiteral("192.168.2.2")}}}
                                            << QStringList();
    QTest::newRow("two addresses give two entries, system order kept")
        << QList<Info>{{UpRunning,
                        a,
                        QStringLiteral("A"),
                        {QStringLiteral("192.168.5.1"), QStringLiteral("10.1.1.1"), QStringLiteral("192.168.6.1")}},
                       {UpRunning, b, QStringLiteral("B"), {QStringLiteral("192.168.1.20")}}}
        << QStringList{a + QStringLiteral("|192.168.5.1|A"), a + QStringLiteral("|192.168.6.1|A"),
                       b + QStringLiteral("|192.168.1.20|B"), a + QStringLiteral("|10.1.1.1|A")};
    QTest::newRow("prefix is textual, addresses complete")
        << QList<Info>{{UpRunning, a, QStringLiteral("A"), {QStringLiteral("192.16.8.1"), QStringLiteral("192.168")}}}
        << QStringList{a + QStringLiteral("|192.16.8.1|A")};
}

void TestPacketTransceiver::interfaceRule()
{
    QFETCH(QList<Info>, interfaces);
    QFETCH(QStringList, entries);

    QCOMPARE(PacketTransceiver::interfaceEntries(interfaces), entries);
    const PacketTransceiver transceiver(interfaces);
    QCOMPARE(transceiver.interfaceList(), entries);
    if (!entries.isEmpty()) {
        const QStringList first = entries.first().split(QLatin1Char('|'));
        QCOMPARE(transceiver.currentMacAddress(), first.at(0));
        QCOMPARE(transceiver.currentInterfaceAddress(), first.at(1));
        QCOMPARE(transceiver.interfaceNames().first(), first.at(2));
    }
}

void TestPacketTransceiver::noInterface()
{
    PacketTransceiver transceiver(QList<Info>{});
    QCOMPARE(transceiver.interfaceNames(), QStringList());
    QCOMPARE(transceiver.currentInterfaceAddress(), QStringLiteral("0.0.0.0"));
    QCOMPARE(transceiver.currentMacAddress(), QStringLiteral("EE:EE:EE:EE:EE:EE"));

    QSignalSpy warnings(&transceiver, &PacketTransceiver::warningMessage);
    for (int i = 1; i <= 2; ++i) {
        const QByteArray datagram =
            transceiver.requestDatagram(GetDeviceInfo, QString::fromLatin1(Protocol::BroadcastMac), QByteArray());
        QCOMPARE(warnings.size(), i); // once for every request
        QCOMPARE(warnings.last().at(0).toString(), QStringLiteral("Creating message header"));
        QCOMPARE(warnings.last().at(1).toString(), QStringLiteral("Could not get a valid network interface!"));
        const MessageHeader header = MessageHeader::fromDatagram(datagram);
        QCOMPARE(header.srcMacAddr, QStringLiteral("EE:EE:EE:EE:EE:EE"));
        QCOMPARE(header.srcIpAddr, QStringLiteral("0.0.0.0"));
        QCOMPARE(header.sequenceNumber, quint16(i)); // still built, with its own number
    }
}

// The fields are kept as they are, never read back from the joined text: a name with the
// separator in it stays whole.
void TestPacketTransceiver::typedInterfaceEntries()
{
    const QString a = QStringLiteral("AA:00:00:00:00:01");
    const QList<Info> interfaces = {
        {UpRunning, a, QStringLiteral("lan|2"), {QStringLiteral("10.0.0.1"), QStringLiteral("192.168.9.1")}},
        {UpRunning, QStringLiteral("AA:00:00:00:00:02"), QStringLiteral("eth1"), {QStringLiteral("192.168.2.1")}},
    };
    const QList<PacketTransceiver::InterfaceEntry> usable = PacketTransceiver::usableInterfaces(interfaces);
    QCOMPARE(usable.size(), 3); // 10.0.0.1 comes after the 192.168 addresses
    QCOMPARE(usable.at(0).hardwareAddress, a);
    QCOMPARE(usable.at(0).address, QStringLiteral("192.168.9.1"));
    QCOMPARE(usable.at(0).name, QStringLiteral("lan|2"));
    QCOMPARE(usable.at(1).name, QStringLiteral("eth1"));
    QCOMPARE(PacketTransceiver::interfaceEntries(interfaces).first(), a + QStringLiteral("|192.168.9.1|lan|2"));

    PacketTransceiver transceiver(interfaces);
    QCOMPARE(transceiver.interfaceNames(),
             (QStringList{QStringLiteral("lan|2"), QStringLiteral("eth1"), QStringLiteral("lan|2")}));
    QCOMPARE(transceiver.currentMacAddress(), a);
    QCOMPARE(transceiver.currentInterfaceAddress(), QStringLiteral("192.168.9.1"));
    transceiver.chooseInterface(QStringLiteral("eth1"));
    transceiver.chooseInterface(QStringLiteral("lan|2"));
    QCOMPARE(transceiver.currentInterfaceAddress(), QStringLiteral("192.168.9.1"));
}

void TestPacketTransceiver::chooseInterface()
{
    const QList<Info> interfaces = {
        {UpRunning, QStringLiteral("AA:00:00:00:00:01"), QStringLiteral("first"), {QStringLiteral("192.168.1.1")}},
        {UpRunning, QStringLiteral("AA:00:00:00:00:02"), QStringLiteral("shared"), {QStringLiteral("192.168.2.1")}},
        {UpRunning, QStringLiteral("AA:00:00:00:00:03"), QStringLiteral("shared"), {QStringLiteral("192.168.3.1")}},
        {UpRunning, QStringLiteral("AA:00:00:00:00:04"), QStringLiteral("last"), {QStringLiteral("192.168.4.1")}},
    };
    PacketTransceiver transceiver(interfaces);
    const QStringList original = transceiver.interfaceList();

    transceiver.chooseInterface(QStringLiteral("missing"));
    QCOMPARE(transceiver.interfaceList(), original);
    transceiver.chooseInterface(QStringLiteral("Last")); // names compare case-sensitively
    QCOMPARE(transceiver.interfaceList(), original);

    transceiver.chooseInterface(QStringLiteral("shared"));
    QCOMPARE(transceiver.currentInterfaceAddress(), QStringLiteral("192.168.2.1"));
    QCOMPARE(transceiver.interfaceNames(), (QStringList{QStringLiteral("shared"), QStringLiteral("first"),
                                                        QStringLiteral("shared"), QStringLiteral("last")}));

    transceiver.chooseInterface(QStringLiteral("last"));
    QCOMPARE(transceiver.currentMacAddress(), QStringLiteral("AA:00:00:00:00:04"));
    QCOMPARE(transceiver.interfaceList().mid(1), QStringList({original.at(1), original.at(0), original.at(2)}));
}

void TestPacketTransceiver::requestHeaders()
{
    PacketTransceiver transceiver(oneInterface());
    const QString device = QStringLiteral("00:1A:2B:3C:4D:5E");
    const QByteArray body(205, 'b');
    const QByteArray authBody(315, 'c');

    struct Expect
    {
        QByteArray datagram;
        int messageId;
        QString dest;
        int size;
    };
    const QList<Expect> requests = {
        {transceiver.requestDatagram(GetDeviceInfo, QStringLiteral("FF:FF:FF:FF:FF:FF"), {}), GetDeviceInfo,
         QStringLiteral("FF:FF:FF:FF:FF:FF"), 124},
        {transceiver.requestDatagram(GetNetworkConfig, device, {}), GetNetworkConfig, device, 124},
        {transceiver.requestDatagram(RestartNetwork, device, {}), RestartNetwork, device, 124},
        {transceiver.requestDatagram(SetNetworkConfig, device, body), SetNetworkConfig, device, 329},
        {transceiver.requestDatagram(SetNetworkConfigAuth, device, authBody), SetNetworkConfigAuth, device, 439},
    };
    for (int i = 0; i < requests.size(); ++i) {
        const Expect &expect = requests.at(i);
        QCOMPARE(expect.datagram.size(), expect.size);
        const MessageHeader header = MessageHeader::fromDatagram(expect.datagram);
        QVERIFY(header.hasValidKey());
        QCOMPARE(header.messageId, quint32(expect.messageId));
        QCOMPARE(header.payloadLength, quint32(expect.size - 124));
        QCOMPARE(header.protocolVersion, quint8(4));
        QCOMPARE(header.destMacAddr, expect.dest);
        QCOMPARE(header.srcMacAddr, OwnMac);
        QCOMPARE(header.srcIpAddr, QStringLiteral("192.168.1.20"));
        QCOMPARE(header.sequenceNumber, quint16(i + 1));
        QCOMPARE(header.resultCode, 0u);
    }
    QCOMPARE(requests.at(3).datagram.mid(124), body);
    QCOMPARE(requests.at(4).datagram.mid(124), authBody);
}

void TestPacketTransceiver::sequenceWraps()
{
    PacketTransceiver transceiver(oneInterface());
    for (int i = 1; i < 65535; ++i)
        transceiver.requestDatagram(GetNetworkConfig, OwnMac, {});
    const auto sequenceOfNext = [&transceiver] {
        return MessageHeader::fromDatagram(transceiver.requestDatagram(GetNetworkConfig, OwnMac, {})).sequenceNumber;
    };
    QCOMPARE(sequenceOfNext(), quint16(65535));
    QCOMPARE(sequenceOfNext(), quint16(0));
    QCOMPARE(sequenceOfNext(), quint16(1));
}

void TestPacketTransceiver::sendingAnnouncesEveryRequest()
{
    REQUIRE_ISOLATED_NETWORK();
    PacketTransceiver transceiver(QList<Info>{});
    QStringList events;
    connect(&transceiver, &PacketTransceiver::warningMessage, this,
            [&events](const QString &title, const QString &) { events << title; });
    connect(&transceiver, &PacketTransceiver::requestSent, this, [&events](int messageId, const QString &mac) {
        events << QStringLiteral("%1 %2").arg(messageId).arg(mac);
    });

    const QString device = QStringLiteral("00:1A:2B:3C:4D:5E");
    transceiver.getNetworkConfig();
    transceiver.getNetworkConfig(device);
    transceiver.restartNetwork(device);
    transceiver.getDeviceInfo(QStringLiteral("FF:FF:FF:FF:FF:FF"));
    transceiver.sendRequest(SetNetworkConfigAuth, device, QByteArray(315, '\0'));

    // Each request is announced after it went out (or failed to), its warning first.
    const QString warning = QStringLiteral("Creating message header");
    QCOMPARE(events, (QStringList{warning, QStringLiteral("7 FF:FF:FF:FF:FF:FF"), warning,
                                  QStringLiteral("7 ") + device, warning, QStringLiteral("1 ") + device, warning,
                                  QStringLiteral("11 FF:FF:FF:FF:FF:FF"), warning, QStringLiteral("13 ") + device}));
}

void TestPacketTransceiver::bindSocketOnce()
{
    // Someone holds the port without sharing it: binding fails, and is tried again later.
    auto blocker = std::make_unique<QUdpSocket>();
    QVERIFY(blocker->bind(QHostAddress::AnyIPv4, Protocol::DevicePort, QUdpSocket::DontShareAddress));
    PacketTransceiver transceiver(oneInterface());
    QVERIFY(!transceiver.bindSocket());
    QVERIFY(!transceiver.bindSocket());
    blocker.reset();

    QVERIFY(transceiver.bindSocket());
    QVERIFY(transceiver.bindSocket());

    // Other programs may share the port.
    PacketTransceiver other(oneInterface());
    QVERIFY(other.bindSocket());
}

// The interfaces as they are at each scan: the chosen one stays current while it exists, with
// its new address; new ones join, gone ones leave.
void TestPacketTransceiver::interfacesListedAgain()
{
    const Info eth{
        UpRunning, QStringLiteral("02:00:00:00:00:01"), QStringLiteral("eth0"), {QStringLiteral("192.168.1.20")}};
    Info wlan{UpRunning, QStringLiteral("02:00:00:00:00:02"), QStringLiteral("wlan0"), {QStringLiteral("192.168.5.7")}};
    const Info dock{
        UpRunning, QStringLiteral("02:00:00:00:00:03"), QStringLiteral("usb0"), {QStringLiteral("192.168.9.2")}};
    QList<Info> system{eth, wlan};
    PacketTransceiver transceiver(PacketTransceiver::InterfaceSource([&system] { return system; }));
    transceiver.chooseInterface(QStringLiteral("wlan0"));

    wlan.addresses = {QStringLiteral("192.168.5.9")}; // a new DHCP lease
    system = {dock, eth, wlan};
    transceiver.refreshInterfaces();
    QCOMPARE(transceiver.interfaceNames(), (QStringList{"wlan0", "usb0", "eth0"}));
    QCOMPARE(transceiver.currentInterfaceAddress(), QStringLiteral("192.168.5.9"));

    system = {dock, eth}; // out of the Wi-Fi's reach
    transceiver.refreshInterfaces();
    QCOMPARE(transceiver.interfaceNames(), (QStringList{"usb0", "eth0"}));
    QCOMPARE(transceiver.currentMacAddress(), QStringLiteral("02:00:00:00:00:03"));

    system.clear();
    transceiver.refreshInterfaces();
    QCOMPARE(transceiver.currentInterfaceAddress(), QStringLiteral("0.0.0.0"));
}

void TestPacketTransceiver::sendsPerInterfaceOnEveryWindowsFromVista_data()
{
    QTest::addColumn<QOperatingSystemVersion>("system");
    QTest::addColumn<bool>("perInterface");
    using V = QOperatingSystemVersion;
    QTest::newRow("Windows XP") << V(V::Windows, 5, 1) << false;
    QTest::newRow("Windows Vista") << V(V::Windows, 6, 0) << true;
    QTest::newRow("Windows 7") << V(V::Windows, 6, 1) << true;
    QTest::newRow("Windows 8") << V(V::Windows, 6, 2) << true;
    QTest::newRow("Windows 10") << V(V::Windows, 10, 0, 19045) << true;
    QTest::newRow("Windows 11") << V(V::Windows, 10, 0, 22631) << true;
    QTest::newRow("macOS") << V(V::MacOS, 14, 0) << true;
    QTest::newRow("other") << V(V::Unknown, 0, 0) << true;
}

// Devices on a second adapter can be found on every Windows from Vista on, as elsewhere.
void TestPacketTransceiver::sendsPerInterfaceOnEveryWindowsFromVista()
{
    QFETCH(QOperatingSystemVersion, system);
    QFETCH(bool, perInterface);
    QCOMPARE(PacketTransceiver::sendsPerInterface(system), perInterface);
}

void TestPacketTransceiver::receiveFilter_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<QString>("notice");

    const QString none;
    const QString foreign = QStringLiteral("not our packetIdentificationKey");
    QTest::newRow("addressed to us") << reply(OwnMac) << true << none;
    QTest::newRow("first eight characters of our MAC") << reply(OwnMac.left(8)) << true << none;
    QTest::newRow("empty destination") << reply(QString()) << true << none;
    QTest::newRow("lower-case destination") << reply(OwnMac.toLower()) << false << none;
    QTest::newRow("copy of a broadcast request") << reply(QStringLiteral("FF:FF:FF:FF:FF:FF")) << false << none;
    QTest::newRow("for another host") << reply(QStringLiteral("02:00:5E:10:00:02")) << false << none;
    QTest::newRow("largest datagram, whole") << reply(OwnMac) + QByteArray(65507 - 126, 'z') << true << none;
    QTest::newRow("wrong key") << reply(OwnMac, 0, "5e7b9d21-4c8a-4f03-b6e2-91d0a7c3f459") << false << foreign;
    QTest::newRow("another protocol") << QByteArray("M-SEARCH * HTTP/1.1\r\n\r\n") << false << foreign;
    QTest::newRow("empty datagram") << QByteArray() << false << foreign;
    QTest::newRow("our key, header cut short") << reply(OwnMac).left(80) << false << none;
    // A reply names its device by its source MAC text; without one it makes no row.
    const char *key = Protocol::PacketIdentificationKey;
    QTest::newRow("lower-case source MAC")
        << reply(OwnMac, 0, key, QStringLiteral("00:1a:2b:3c:4d:5e")) << true << none;
    QTest::newRow("no source MAC") << reply(QString(), 0, key, QString()) << false << none;
    QTest::newRow("markup as source MAC")
        << reply(OwnMac, 0, key, QStringLiteral("<img src=/dev/zero")) << false << none;
    QTest::newRow("source MAC one group short")
        << reply(OwnMac, 0, key, QStringLiteral("00:1A:2B:3C:4D")) << false << none;
    QTest::newRow("source MAC with dashes")
        << reply(OwnMac, 0, key, QStringLiteral("00-1A-2B-3C-4D-5E")) << false << none;
    QTest::newRow("source MAC not hexadecimal")
        << reply(OwnMac, 0, key, QStringLiteral("00:1A:2B:3C:4D:5G")) << false << none;
}

void TestPacketTransceiver::receiveFilter()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, passes);
    QFETCH(QString, notice);

    PacketTransceiver transceiver(oneInterface());
    QStringList notices;
    transceiver.setNoticeHandler(
        [&notices](const QString &title, const QString &text) { notices << title + QLatin1Char(' ') + text; });
    QVERIFY(transceiver.bindSocket());
    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);

    // A datagram that passes, sent after the one under test, shows when the first was handled.
    LoopbackSender sender;
    sender.send(datagram);
    sender.send(reply(OwnMac, 42));
    QTRY_COMPARE(replies.size(), passes ? 2 : 1);
    if (passes)
        QCOMPARE(replies.first().first().toByteArray(), datagram);
    QCOMPARE(tagOf(replies.last().first().toByteArray()), 42);
    QCOMPARE(notices, notice.isEmpty() ? QStringList() : QStringList{QStringLiteral("! ") + notice});
}

void TestPacketTransceiver::everyInterfaceKeepsWhereEachDeviceAnswered()
{
    const QString otherMac = QStringLiteral("02:00:5E:10:00:02");
    const QString device = QStringLiteral("00:1A:2B:3C:4D:5E");
    PacketTransceiver transceiver(oneInterface() << Info{UpRunning, otherMac, u"eth1.14"_qs, {u"10.14.0.5"_qs}});
    transceiver.setAllInterfaces(true);
    QVERIFY(transceiver.bindSocket());
    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);
    LoopbackSender sender;
    // Replies to either interface's requests are taken, to none of them not; a device stays where
    // it answered first until the next scan.
    int tag = 0;
    for (const QString &destMac : {otherMac, u"02:00:5E:10:00:09"_qs, OwnMac})
        sender.send(reply(destMac, ++tag));
    QTRY_COMPARE(replies.size(), 2);
    QCOMPARE(tagOf(replies.at(1).first().toByteArray()), 3);
    QCOMPARE(transceiver.deviceInterface(device.toLower()).name, u"eth1.14"_qs);
    transceiver.forgetDeviceInterfaces();
    sender.send(reply(OwnMac));
    QTRY_COMPARE(replies.size(), 3);
    QCOMPARE(transceiver.deviceInterface(device).name, u"eth0"_qs);
}

void TestPacketTransceiver::oneNoticeAtATime()
{
    PacketTransceiver transceiver(oneInterface());
    QVERIFY(transceiver.bindSocket());
    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);
    LoopbackSender sender;

    // Like a modal box: the handler runs an event loop, in which more datagrams arrive and are read.
    int notices = 0;
    transceiver.setNoticeHandler([&](const QString &, const QString &) {
        ++notices;
        for (int i = 0; i < 20; ++i)
            sender.send(QByteArray("foreign ") + QByteArray::number(i));
        sender.send(reply(OwnMac, 1));
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
    });
    sender.send(QByteArray("foreign"));
    QTRY_COMPARE(notices, 1);
    QTRY_COMPARE(replies.size(), 1); // replies are still handled while the notice is open
    QTest::qWait(400);
    QCOMPARE(notices, 1);

    // Closed, but a stream of foreign datagrams brings no further box within the notice interval.
    sender.send(QByteArray("foreign again"));
    QTRY_COMPARE(replies.size(), 1);
    sender.send(reply(OwnMac, 2));
    QTRY_COMPARE(replies.size(), 2);
    QCOMPARE(notices, 1);
}

void TestPacketTransceiver::noticesOncePerInterval()
{
    PacketTransceiver transceiver(oneInterface());
    transceiver.setNoticeInterval(600);
    QVERIFY(transceiver.bindSocket());
    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);
    QStringList notices;
    transceiver.setNoticeHandler([&notices](const QString &, const QString &text) { notices << text; });
    LoopbackSender sender;

    QElapsedTimer stream;
    stream.start();
    int sent = 0;
    while (stream.elapsed() < 1000) { // one foreign datagram every 50 ms, as a stream would come
        sender.send(QByteArray("foreign ") + QByteArray::number(sent++));
        QTest::qWait(50);
    }
    sender.send(reply(OwnMac, 1));
    QTRY_COMPARE(replies.size(), 1);
    // The first at once, the next once the interval has passed: two boxes for about twenty datagrams.
    QCOMPARE(notices, QStringList(2, QStringLiteral("not our packetIdentificationKey")));
}

void TestPacketTransceiver::pauseHoldsRepliesInOrder()
{
    PacketTransceiver transceiver(oneInterface());
    QVERIFY(transceiver.bindSocket());
    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);
    LoopbackSender sender;

    for (int tag = 0; tag < 200; ++tag)
        sender.send(reply(OwnMac, tag));
    QElapsedTimer elapsed;
    elapsed.start();
    transceiver.pause(150);
    QVERIFY(elapsed.elapsed() >= 150);
    QCOMPARE(replies.size(), 0); // nothing is handled before control is back in the event loop

    for (int tag = 200; tag < 210; ++tag)
        sender.send(reply(OwnMac, tag));
    QTRY_COMPARE(replies.size(), 210);
    for (int tag = 0; tag < 210; ++tag)
        QCOMPARE(tagOf(replies.at(tag).first().toByteArray()), tag);
}

void TestPacketTransceiver::repliesArrivingWhileHandlingAreKept()
{
#if !defined(Q_OS_UNIX)
    QSKIP("sets the receive buffer with setsockopt");
#else
    PacketTransceiver transceiver(oneInterface());
    QVERIFY(transceiver.bindSocket());
    // A receive buffer with room for a few dozen datagrams, as on a host that allows little.
    const int descriptor = transceiver.receiveDescriptor();
    QVERIFY(descriptor >= 0);
    const int bufferSize = 32 * 1024;
    QVERIFY(::setsockopt(descriptor, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize) == 0);

    // Handling the first reply takes a while, and many times what the buffer holds arrive
    // meanwhile, a little apart as from a network: left in the kernel's buffer, most would be lost.
    constexpr int Total = 1000;
    LoopbackSender sender;
    QList<int> tags;
    connect(&transceiver, &PacketTransceiver::replyReceived, this, [&](const QByteArray &datagram) {
        tags.append(tagOf(datagram));
        if (tags.size() > 1)
            return;
        for (int tag = 1; tag < Total; ++tag) {
            sender.send(reply(OwnMac, tag));
            QThread::usleep(500);
        }
    });
    sender.send(reply(OwnMac, 0));
    QTRY_COMPARE_WITH_TIMEOUT(tags.size(), Total, 5000);
    for (int tag = 0; tag < Total; ++tag)
        QCOMPARE(tags.at(tag), tag);
    QCOMPARE(transceiver.kernelDrops(), quint64(0));
#endif
}

void TestPacketTransceiver::floodLeavesTheEventLoopTurning()
{
    // Every reply takes a millisecond to handle and brings the next one, so the socket is never
    // empty for a second: timers must still come round, and the replies still arrive in order.
    PacketTransceiver transceiver(oneInterface());
    QVERIFY(transceiver.bindSocket());
    constexpr int Total = 1000;
    LoopbackSender sender;
    QList<int> tags;
    connect(&transceiver, &PacketTransceiver::replyReceived, this, [&](const QByteArray &datagram) {
        tags.append(tagOf(datagram));
        if (tags.size() < Total)
            sender.send(reply(OwnMac, int(tags.size())));
        busyFor(1000);
    });

    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    connect(&ticker, &QTimer::timeout, this, [&] { longestGap = qMax(longestGap, sinceTick.restart()); });
    sinceTick.start();
    ticker.start(10);

    sender.send(reply(OwnMac, 0));
    QTRY_COMPARE_WITH_TIMEOUT(tags.size(), Total, 10000);
    ticker.stop();
    longestGap = qMax(longestGap, sinceTick.elapsed());
    for (int tag = 0; tag < Total; ++tag)
        QCOMPARE(tags.at(tag), tag);
    // A second of handling in one go would show here as a gap of a second.
    QVERIFY2(longestGap < 300, qPrintable(QStringLiteral("the event loop stood still for %1 ms").arg(longestGap)));
}

void TestPacketTransceiver::heldDatagramsStayWithinLimit()
{
#if !defined(Q_OS_LINUX)
    QSKIP("sets the receive buffer with setsockopt");
#else
    // While the event loop does not turn, what arrives is read into memory, but no more than
    // 32 MiB of it: the rest waits in the kernel's buffer (or, where that is full, is dropped
    // there). Here the kernel's buffer takes everything, so nothing is lost and the limit shows as
    // datagrams left unread.
    PacketTransceiver transceiver(oneInterface());
    QVERIFY(transceiver.bindSocket());
    const int bufferSize = 256 * 1024 * 1024;
    const int descriptor = transceiver.receiveDescriptor();
    if (::setsockopt(descriptor, SOL_SOCKET, SO_RCVBUFFORCE, &bufferSize, sizeof bufferSize) != 0)
        QSKIP("a receive buffer beyond the system's maximum needs root");

    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);
    constexpr int Sent = 800; // 52 MB
    LoopbackSender sender;
    for (int tag = 0; tag < Sent; ++tag)
        sender.send(reply(OwnMac, tag).leftJustified(65507, '\0'));
    transceiver.pause(200);
    int unread = 0;
    QVERIFY(::ioctl(descriptor, FIONREAD, &unread) == 0);
    QVERIFY2(unread > 0, "everything was read into memory");
    QCOMPARE(replies.size(), 0);

    // Then all of it is handled, in order.
    QTRY_COMPARE_WITH_TIMEOUT(replies.size(), Sent, 20000);
    for (int tag = 0; tag < Sent; ++tag) {
        const QByteArray body = replies.at(tag).first().toByteArray().mid(Protocol::HeaderSize);
        QCOMPARE(body.left(body.indexOf('\0')).toInt(), tag);
    }
#endif
}

void TestPacketTransceiver::kernelDropsAreCounted()
{
    // While the event loop does not turn, the held datagrams reach their limit and the kernel's
    // buffer overflows: every datagram sent is either handled later or counted as dropped.
    PacketTransceiver transceiver(oneInterface());
    QCOMPARE(transceiver.kernelDrops(), quint64(0));
    QVERIFY(transceiver.bindSocket());
    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);
    constexpr int Sent = 800; // 52 MB, more than the held limit and the kernel's buffer together
    LoopbackSender sender;
    for (int tag = 0; tag < Sent; ++tag)
        sender.send(reply(OwnMac, tag).leftJustified(65507, '\0'));
    transceiver.pause(100);
    QTRY_VERIFY_WITH_TIMEOUT(replies.size() + transceiver.kernelDrops() == Sent, 20000);
    QVERIFY(transceiver.kernelDrops() > 0);
    QVERIFY(replies.size() > 0);
}

void TestPacketTransceiver::stopsAtOnceDuringFlood_data()
{
    QTest::addColumn<qint64>("heldLimit");
    QTest::newRow("reading") << qint64(32 * 1024 * 1024);
    QTest::newRow("queue full") << qint64(64 * 1024);
}

void TestPacketTransceiver::stopsAtOnceDuringFlood()
{
    // Closing the window or ending the command takes the transceiver away while datagrams keep
    // coming: its reading thread must end at once, whether it reads or waits for room.
    QFETCH(qint64, heldLimit);
    auto transceiver = std::make_unique<PacketTransceiver>(oneInterface());
    QVERIFY(transceiver->bindSocket());
    transceiver->setHeldLimit(heldLimit);
    std::atomic<bool> flooding{true};
    std::thread flood([&flooding] {
        QUdpSocket socket;
        const QByteArray datagram = reply(OwnMac, 1);
        while (flooding)
            socket.writeDatagram(datagram, QHostAddress::LocalHost, Protocol::DevicePort);
    });
    QThread::msleep(300); // no event loop: nothing is taken from the queue
    QElapsedTimer stopping;
    stopping.start();
    transceiver.reset();
    const qint64 stoppedAfter = stopping.elapsed();
    flooding = false;
    flood.join();
    QVERIFY2(stoppedAfter < 500, qPrintable(QStringLiteral("stopping took %1 ms").arg(stoppedAfter)));
}

QTEST_MAIN(TestPacketTransceiver)

#include "tst_packettransceiver.moc"
