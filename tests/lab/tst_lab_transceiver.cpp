// SPDX-License-Identifier: Apache-2.0
// The transceiver on a real network: requests as a device receives them, replies as the
// transceiver hands them on, and its receive filter, notices and pause under real traffic.
// Runs inside the lab (tests/lab/netlab): the transceiver sees only the lab's veth end.

#include "labsupport.h"

#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"
#include "protocol/packettransceiver.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

namespace {

const QString Broadcast = QStringLiteral("FF:FF:FF:FF:FF:FF");
constexpr int WireTimeoutMs = 10000;

// Writes `text` at `offset`; the bytes after it stay zero, which ends the text.
void put(QByteArray &datagram, int offset, const QByteArray &text)
{
    datagram.replace(offset, text.size(), text);
}

// A request exactly as the packet format lays it out, built here byte by byte.
QByteArray expectedRequest(quint32 messageId, const QByteArray &destMac, const QByteArray &srcMac,
                           quint16 sequenceNumber, const QByteArray &body = QByteArray())
{
    QByteArray datagram(124, '\0');
    put(datagram, 0, Lab::key());
    qToLittleEndian(messageId, datagram.data() + 40);
    qToLittleEndian(quint32(body.size()), datagram.data() + 48);
    datagram[52] = char(4);
    put(datagram, 56, destMac);
    put(datagram, 74, srcMac);
    put(datagram, 92, QByteArray("192.168.77.1"));
    qToLittleEndian(sequenceNumber, datagram.data() + 108);
    return datagram + body;
}

NetworkConfigBody sampleConfig(const QString &mac)
{
    NetworkConfigBody config;
    config.macAddress = mac;
    config.hostName = QStringLiteral("a-host-name-longer-than-its-field"); // cut to 24 characters
    config.ipConfig = NetworkConfigBody::ipConfigText(false);
    config.ipAddress = QStringLiteral("192.168.77.40");
    config.subnetMask = QStringLiteral("255.255.255.0");
    config.domain = QStringLiteral("lab.example");
    config.gateway = QStringLiteral("192.168.77.254");
    config.primaryDns = QStringLiteral("192.168.77.253");
    config.secondaryDns = QStringLiteral("192.168.77.252");
    return config;
}

// The 205 body bytes of SetNetworkConfig for sampleConfig(mac).
QByteArray expectedConfigBody(const QByteArray &mac)
{
    QByteArray body(205, '\0');
    put(body, 0, mac);
    put(body, 18, QByteArray("a-host-name-longer-than-"));
    put(body, 43, QByteArray("0"));
    put(body, 45, QByteArray("192.168.77.40"));
    put(body, 61, QByteArray("255.255.255.0"));
    put(body, 77, QByteArray("lab.example"));
    put(body, 157, QByteArray("192.168.77.254"));
    put(body, 173, QByteArray("192.168.77.253"));
    put(body, 189, QByteArray("192.168.77.252"));
    return body;
}

// The 315 body bytes of SetNetworkConfigAuth for sampleConfig() with user "lab", password "pw:1".
QByteArray expectedAuthBody()
{
    QByteArray body(315, '\0');
    put(body, 0, QByteArray("a-host-name-longer-than-"));
    put(body, 25, QByteArray("0"));
    put(body, 27, QByteArray("192.168.77.40"));
    put(body, 43, QByteArray("255.255.255.0"));
    put(body, 59, QByteArray("lab.example"));
    put(body, 139, QByteArray("192.168.77.254"));
    put(body, 155, QByteArray("192.168.77.253"));
    put(body, 171, QByteArray("192.168.77.252"));
    put(body, 187, QByteArray("lab:pw:1").toBase64());
    return body;
}

QByteArray sourceMac(const QByteArray &datagram)
{
    return Lab::fieldText(datagram, 74, 18);
}

QList<QByteArray> datagramsOf(const QSignalSpy &spy)
{
    QList<QByteArray> datagrams;
    for (const QList<QVariant> &arguments : spy)
        datagrams.append(arguments.at(0).toByteArray());
    return datagrams;
}

QJsonArray deviceList(const QString &fileName)
{
    QFile file(QStringLiteral(LAB_DATA_DIR "/") + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonArray();
    return QJsonDocument::fromJson(file.readAll()).array();
}

} // namespace

class TestLabTransceiver : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void requestsOnTheWire();
    void repliesArriveWhole();
    void receiveFilterOnTheWire();
    void foreignDatagramsBringOneNoticeAtATime();
    void pauseHoldsABurstOfReplies();

private:
    // Datagrams that reached the host port, less the copies of our own requests.
    QList<QByteArray> repliesSeen(const Lab::Witness &witness, qint64 untilMs = std::numeric_limits<qint64>::max());

    Lab::Environment lab = Lab::Environment::fromProcess();
    QString ownMac;
};

void TestLabTransceiver::initTestCase()
{
    REQUIRE_LAB(lab);
    ownMac = QNetworkInterface::interfaceFromName(lab.hostInterface).hardwareAddress();
    QVERIFY2(QRegularExpression(QStringLiteral("^([0-9A-F]{2}:){5}[0-9A-F]{2}$")).match(ownMac).hasMatch(),
             qPrintable(ownMac));
}

QList<QByteArray> TestLabTransceiver::repliesSeen(const Lab::Witness &witness, qint64 untilMs)
{
    QList<QByteArray> replies;
    const auto arrivals = witness.arrivals();
    for (const Lab::Witness::Arrival &arrival : arrivals) {
        if (arrival.atMs <= untilMs && sourceMac(arrival.datagram) != ownMac.toLatin1())
            replies.append(arrival.datagram);
    }
    return replies;
}

// Every request kind leaves as one broadcast datagram whose every byte is as the format lays it
// out, with this host's MAC and address and sequence numbers counting from 1.
void TestLabTransceiver::requestsOnTheWire()
{
    PacketTransceiver transceiver;
    const QString labEntry = QStringList{ownMac, lab.hostIp, lab.hostInterface}.join(QLatin1Char('|'));
    QCOMPARE(transceiver.interfaceList(), QStringList(labEntry));
    QVERIFY(transceiver.bindSocket());
    Lab::Simulator simulator(lab, {QStringLiteral("--count"), QStringLiteral("1")});
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    QSignalSpy sent(&transceiver, &PacketTransceiver::requestSent);

    // Addressed requests name a MAC that no simulated device has, so that nothing changes there.
    const QString other = QStringLiteral("02:5A:00:00:AA:01");
    const NetworkConfigBody config = sampleConfig(other);
    transceiver.getDeviceInfo(Broadcast);
    transceiver.getNetworkConfig(Broadcast);
    transceiver.getNetworkConfig();
    transceiver.getNetworkConfig(other);
    transceiver.restartNetwork(other);
    transceiver.sendRequest(SetNetworkConfig, other, config.toByteArray());
    transceiver.sendRequest(SetNetworkConfigAuth, other,
                            config.toAuthByteArray(QStringLiteral("lab"), QStringLiteral("pw:1")));

    const QByteArray own = ownMac.toLatin1();
    const QByteArray dest = other.toLatin1();
    const QByteArray all = Broadcast.toLatin1();
    const QList<QByteArray> expected{
        expectedRequest(11, all, own, 1),
        expectedRequest(7, all, own, 2),
        expectedRequest(7, all, own, 3),
        expectedRequest(7, dest, own, 4),
        expectedRequest(1, dest, own, 5),
        expectedRequest(9, dest, own, 6, expectedConfigBody(dest)),
        expectedRequest(13, dest, own, 7, expectedAuthBody()),
    };
    const QList<int> sizes{124, 124, 124, 124, 124, 329, 439};
    const QList<int> kinds{11, 7, 7, 7, 1, 9, 13};
    const QStringList destinations{Broadcast, Broadcast, Broadcast, other, other, other, other};

    QCOMPARE(sent.count(), expected.size());
    for (int i = 0; i < sent.count(); ++i) {
        QCOMPARE(sent.at(i).at(0).toInt(), kinds.at(i));
        QCOMPARE(sent.at(i).at(1).toString(), destinations.at(i));
    }

    QTRY_COMPARE_WITH_TIMEOUT(simulator.received().size(), expected.size(), WireTimeoutMs);
    const QList<QJsonObject> received = simulator.received();
    for (int i = 0; i < received.size(); ++i) {
        const QJsonObject &entry = received.at(i);
        const QByteArray datagram = QByteArray::fromHex(entry.value(QLatin1String("hex")).toString().toLatin1());
        QCOMPARE(datagram.size(), sizes.at(i));
        QCOMPARE(entry.value(QLatin1String("length")).toInt(), sizes.at(i));
        QCOMPARE(datagram, expected.at(i));
        QCOMPARE(QHostAddress(entry.value(QLatin1String("sender")).toString()).toIPv4Address(),
                 QHostAddress(lab.hostIp).toIPv4Address());
        if (PacketTransceiver::sendsPerInterface())
            QCOMPARE(entry.value(QLatin1String("senderPort")).toInt(), 28245);
    }
}

// The simulator's replies reach replyReceived whole and in arrival order; the copies of our own
// broadcasts, which arrive on the same port, do not.
void TestLabTransceiver::repliesArriveWhole()
{
    Lab::Witness witness;
    QVERIFY2(witness.isValid(), qPrintable(witness.errorString()));
    PacketTransceiver transceiver;
    QVERIFY(transceiver.bindSocket());
    const QString devicesFile = QStringLiteral(LAB_DATA_DIR "/transceiver-devices.json");
    Lab::Simulator simulator(lab, {QStringLiteral("--devices"), devicesFile});
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);

    transceiver.getDeviceInfo(Broadcast);
    transceiver.getNetworkConfig(Broadcast);

    // Two copies of our requests and two replies from each device reach the port.
    QTRY_COMPARE_WITH_TIMEOUT(witness.count(), 6, WireTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(replies.count(), 4, WireTimeoutMs);
    QCOMPARE(datagramsOf(replies), repliesSeen(witness));

    const QJsonArray devices = deviceList(QStringLiteral("transceiver-devices.json"));
    QCOMPARE(devices.size(), 2);
    const QList<QByteArray> datagrams = datagramsOf(replies);
    for (const QJsonValue &value : devices) {
        const QJsonObject device = value.toObject();
        const QByteArray mac = device.value(QLatin1String("mac")).toString().toLatin1();
        QByteArray info;
        QByteArray config;
        for (const QByteArray &datagram : datagrams) {
            if (sourceMac(datagram) != mac)
                continue;
            (Lab::readUInt32(datagram, 40) == DeviceInfoReply ? info : config) = datagram;
        }
        QVERIFY2(!info.isEmpty() && !config.isEmpty(), mac.constData());
        for (const QByteArray &datagram : {info, config}) {
            QCOMPARE(Lab::fieldText(datagram, 0, 37), Lab::key());
            QCOMPARE(Lab::readUInt32(datagram, 44), 0u);
            QCOMPARE(int(quint8(datagram.at(52))), device.value(QLatin1String("protocolVersion")).toInt());
            QCOMPARE(Lab::fieldText(datagram, 56, 18), ownMac.toLatin1());
        }
        QCOMPARE(Lab::readUInt32(info, 40), quint32(DeviceInfoReply));
        QCOMPARE(Lab::fieldText(info, 124, 4), device.value(QLatin1String("productType")).toString().toLatin1());
        QCOMPARE(Lab::fieldText(info, 128, 20), device.value(QLatin1String("firmware")).toString().toLatin1());
        const QByteArray name = device.value(QLatin1String("deviceName")).toString().toLatin1();
        QCOMPARE(Lab::fieldText(info, 148, int(info.size()) - 148), name);
        QVERIFY(info.size() >= 148 + name.size() + 1);

        QCOMPARE(Lab::readUInt32(config, 40), quint32(NetworkConfigReply));
        QCOMPARE(config.size(), 329);
        const auto text = [&device](const char *keyName) {
            return device.value(QLatin1String(keyName)).toString().toLatin1();
        };
        QCOMPARE(Lab::fieldText(config, 142, 25), text("hostName"));
        QCOMPARE(Lab::fieldText(config, 167, 2), QByteArray(device.value(QLatin1String("dhcp")).toBool() ? "1" : "0"));
        QCOMPARE(Lab::fieldText(config, 169, 16), text("ip"));
        QCOMPARE(Lab::fieldText(config, 185, 16), text("mask"));
        QCOMPARE(Lab::fieldText(config, 201, 80), text("domain"));
        QCOMPARE(Lab::fieldText(config, 281, 16), text("gateway"));
        QCOMPARE(Lab::fieldText(config, 297, 16), text("dns1"));
        QCOMPARE(Lab::fieldText(config, 313, 16), text("dns2"));
    }
}

// Datagrams sent from the lan side: only those addressed to this host (its MAC text, a prefix of
// it, or nothing) are handed on, whole, in order; replies for other hosts, a lower-case address
// and the copies of our own requests are dropped without a notice.
void TestLabTransceiver::receiveFilterOnTheWire()
{
    Lab::Witness witness;
    QVERIFY2(witness.isValid(), qPrintable(witness.errorString()));
    Lab::LanSocket lan(lab);
    QVERIFY2(lan.isValid(), qPrintable(lan.errorString()));
    PacketTransceiver transceiver;
    QVERIFY(transceiver.bindSocket());
    int notices = 0;
    transceiver.setNoticeHandler([&notices](const QString &, const QString &) { ++notices; });
    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);

    const QString device = QStringLiteral("02:5A:00:00:02:01");
    QByteArray big = Lab::replyDatagram(NetworkConfigReply, ownMac, device, 0, QByteArray(60000, 'x'));
    struct Sent
    {
        QByteArray datagram;
        bool passes = false;
    };
    const QList<Sent> sequence{
        {Lab::replyDatagram(DeviceInfoReply, QStringLiteral("02:5A:00:00:0F:0F"), device), false},
        {Lab::replyDatagram(DeviceInfoReply, ownMac.toLower(), device), false},
        {Lab::replyDatagram(DeviceInfoReply, ownMac, device), true},
        {Lab::replyDatagram(NetworkConfigReply, ownMac.left(8), device, 0, QByteArray(205, '\0')), true},
        {Lab::replyDatagram(SetNetworkConfigReply, QString(), device, Protocol::AuthorizationFailed), true},
        {Lab::replyDatagram(99, ownMac, device), true}, // not interpreted, but handed on
        {big, true},
    };
    // Our own requests come back to the port too.
    transceiver.getDeviceInfo(Broadcast);
    transceiver.restartNetwork(device);
    QList<QByteArray> expected;
    for (const Sent &sent : sequence) {
        QVERIFY2(lan.broadcast(sent.datagram), qPrintable(lan.errorString()));
        if (sent.passes)
            expected.append(sent.datagram);
    }
    const int arriving = int(sequence.size()) + 2;
    QTRY_COMPARE_WITH_TIMEOUT(witness.count(), arriving, WireTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(replies.count(), expected.size(), WireTimeoutMs);
    QCOMPARE(datagramsOf(replies), expected);
    QCOMPARE(datagramsOf(replies).constLast().size(), 124 + 60000);
    QCOMPARE(notices, 0);
}

// A stream of foreign datagrams brings one notice while it is open; the rest are dropped, the
// valid replies among them still arrive, and the next foreign datagram after it brings a new one.
void TestLabTransceiver::foreignDatagramsBringOneNoticeAtATime()
{
    Lab::Witness witness;
    QVERIFY2(witness.isValid(), qPrintable(witness.errorString()));
    Lab::LanSocket lan(lab);
    QVERIFY2(lan.isValid(), qPrintable(lan.errorString()));
    PacketTransceiver transceiver;
    transceiver.setNoticeInterval(0); // one notice of a kind per interval is tested on its own
    QVERIFY(transceiver.bindSocket());
    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);

    const QString device = QStringLiteral("02:5A:00:00:03:01");
    QByteArray wrongKey = Lab::replyDatagram(DeviceInfoReply, ownMac, device);
    wrongKey[35] = '9';
    QByteArray upperKey = Lab::replyDatagram(DeviceInfoReply, ownMac, device);
    upperKey.replace(0, 36, Lab::key().toUpper());
    const QList<QByteArray> foreign{
        QByteArray("M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n\r\n"),
        wrongKey,
        upperKey,
        Lab::key().left(20),
        QByteArray(),
        QByteArray(3000, '\xff'),
    };
    const QByteArray duringNotice = Lab::replyDatagram(DeviceInfoReply, ownMac, device);
    const QByteArray afterNotice = Lab::replyDatagram(NetworkConfigReply, ownMac, device, 0, QByteArray(205, '\0'));

    QStringList notices;
    int depth = 0;
    int deepest = 0;
    transceiver.setNoticeHandler([&](const QString &title, const QString &text) {
        notices.append(title + QLatin1Char('/') + text);
        deepest = qMax(deepest, ++depth);
        if (notices.size() == 1) {
            // While the first notice is open, the rest of the stream and a valid reply arrive.
            for (const QByteArray &datagram : foreign.mid(1))
                lan.broadcast(datagram);
            lan.broadcast(duringNotice);
        }
        // Like a modal box: a nested event loop until the user closes it, here once everything
        // sent so far has reached the host and had time to be read.
        QEventLoop box;
        QTimer poll;
        const int expectedArrivals = notices.size() == 1 ? int(foreign.size()) + 1 : int(foreign.size()) + 2;
        int settled = 0;
        connect(&poll, &QTimer::timeout, &box, [&] {
            if (witness.count() >= expectedArrivals && ++settled >= 10)
                box.quit();
        });
        QTimer::singleShot(WireTimeoutMs, &box, &QEventLoop::quit);
        poll.start(20);
        box.exec();
        --depth;
    });

    QVERIFY(lan.broadcast(foreign.first()));
    QTRY_COMPARE_WITH_TIMEOUT(notices.size(), 1, WireTimeoutMs);
    QCOMPARE(witness.count(), int(foreign.size()) + 1);
    QCOMPARE(notices.constFirst(), QStringLiteral("!/not our packetIdentificationKey"));
    QTRY_COMPARE_WITH_TIMEOUT(replies.count(), 1, WireTimeoutMs);
    QCOMPARE(replies.at(0).at(0).toByteArray(), duringNotice);

    // Closed: the next foreign datagram brings the next notice, and replies go on arriving.
    QVERIFY(lan.broadcast(foreign.last()));
    QVERIFY(lan.broadcast(afterNotice));
    QTRY_COMPARE_WITH_TIMEOUT(replies.count(), 2, WireTimeoutMs);
    QCOMPARE(replies.at(1).at(0).toByteArray(), afterNotice);
    QCOMPARE(notices.size(), 2);
    QCOMPARE(deepest, 1);
}

// The scan's pause: the replies of 500 devices to both requests arrive while the transceiver
// pauses; none is handed on during the pause, and afterwards all 1000 are, in arrival order.
void TestLabTransceiver::pauseHoldsABurstOfReplies()
{
    constexpr int Devices = 500;
    Lab::Witness witness;
    QVERIFY2(witness.isValid(), qPrintable(witness.errorString()));
    PacketTransceiver transceiver;
    QVERIFY(transceiver.bindSocket());
    Lab::Simulator simulator(lab, {QStringLiteral("--count"), QString::number(Devices), QStringLiteral("--jitter"),
                                   QStringLiteral("300"), QStringLiteral("--random-start"), QStringLiteral("7")});
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    QSignalSpy replies(&transceiver, &PacketTransceiver::replyReceived);

    transceiver.getDeviceInfo(Broadcast);
    transceiver.pause(100);
    QCOMPARE(replies.count(), 0);
    transceiver.getNetworkConfig(Broadcast);
    transceiver.pause(1500);
    const qint64 pauseEnd = Lab::nowMs();
    QCOMPARE(replies.count(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(replies.count(), 2 * Devices, WireTimeoutMs);
    const int duringPause = int(repliesSeen(witness, pauseEnd).size());
    qInfo("%d of %d replies arrived during the pauses", duringPause, 2 * Devices);
    QVERIFY2(duringPause > Devices, "the burst should fall mostly into the pauses");
    QTRY_COMPARE_WITH_TIMEOUT(int(repliesSeen(witness).size()), 2 * Devices, WireTimeoutMs);
    QCOMPARE(datagramsOf(replies), repliesSeen(witness));

    QSet<QByteArray> answered;
    const auto datagrams = datagramsOf(replies);
    for (const QByteArray &datagram : datagrams)
        answered.insert(sourceMac(datagram) + '/' + QByteArray::number(Lab::readUInt32(datagram, 40)));
    QCOMPARE(int(answered.size()), 2 * Devices);
}

QTEST_GUILESS_MAIN(TestLabTransceiver)
#include "tst_lab_transceiver.moc"
