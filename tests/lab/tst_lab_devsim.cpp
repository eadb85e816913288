// SPDX-License-Identifier: Apache-2.0
// The device simulator end to end, as the program meets it: requests from a real transceiver in
// the lab's host namespace, replies from veltra-devsim in its lan namespace. Covers the device
// behaviour the program relies on: who demands credentials, what a restart does, and the faults
// the simulator offers.

#include "labsupport.h"

#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"
#include "protocol/packettransceiver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <memory>

namespace {

const QString Broadcast = QStringLiteral("FF:FF:FF:FF:FF:FF");
const QString Version3Device = QStringLiteral("02:5A:00:00:04:03");
const QString Version4Device = QStringLiteral("02:5A:00:00:04:04");
const QString SilentDevice = QStringLiteral("02:5A:00:00:04:05");
const QString LowerCaseDevice = QStringLiteral("02:5a:00:00:04:0a"); // as the device sends it
constexpr int RestartTimeMs = 800; // the restartTime of the first two devices in the list
constexpr int WireTimeoutMs = 10000;

NetworkConfigBody newConfig(const QString &mac, const QString &hostName)
{
    NetworkConfigBody config;
    config.macAddress = mac;
    config.hostName = hostName;
    config.ipConfig = NetworkConfigBody::ipConfigText(false);
    config.ipAddress = QStringLiteral("192.168.77.60");
    config.subnetMask = QStringLiteral("255.255.255.128");
    config.domain = QStringLiteral("changed.example");
    config.gateway = QStringLiteral("192.168.77.126");
    config.primaryDns = QStringLiteral("192.168.77.125");
    config.secondaryDns = QStringLiteral("0.0.0.0");
    return config;
}

// The replies of one kind from one device among those received so far.
QList<QByteArray> repliesFrom(const QSignalSpy &spy, const QString &mac, quint32 messageId)
{
    QList<QByteArray> replies;
    for (const QList<QVariant> &arguments : spy) {
        const QByteArray datagram = arguments.at(0).toByteArray();
        if (Lab::fieldText(datagram, 74, 18) == mac.toLatin1() && Lab::readUInt32(datagram, 40) == messageId)
            replies.append(datagram);
    }
    return replies;
}

} // namespace

class TestLabDevsim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void plainConfigurationByProtocolVersion();
    void authenticatedConfiguration_data();
    void authenticatedConfiguration();
    void restartAppliesTheNewConfiguration();
    void silentDeviceAnswersNothing();
    void lowerCaseMacDevice();

private:
    // The single reply of this kind from this device to the request just sent.
    QByteArray awaitReply(const QString &mac, quint32 messageId);

    Lab::Environment lab = Lab::Environment::fromProcess();
    std::unique_ptr<Lab::Simulator> simulator;
    std::unique_ptr<PacketTransceiver> transceiver;
    std::unique_ptr<QSignalSpy> replies;
};

void TestLabDevsim::initTestCase()
{
    REQUIRE_LAB(lab);
}

void TestLabDevsim::init()
{
    // Every test meets the devices as the list describes them.
    simulator = std::make_unique<Lab::Simulator>(
        lab, QStringList{QStringLiteral("--devices"), QStringLiteral(LAB_DATA_DIR "/devsim-devices.json")});
    QString error;
    QVERIFY2(simulator->start(&error), qPrintable(error));
    transceiver = std::make_unique<PacketTransceiver>();
    QVERIFY(transceiver->bindSocket());
    replies = std::make_unique<QSignalSpy>(transceiver.get(), &PacketTransceiver::replyReceived);
}

void TestLabDevsim::cleanup()
{
    replies.reset();
    transceiver.reset();
    simulator.reset();
}

QByteArray TestLabDevsim::awaitReply(const QString &mac, quint32 messageId)
{
    if (!QTest::qWaitFor([&] { return !repliesFrom(*replies, mac, messageId).isEmpty(); }, WireTimeoutMs))
        return QByteArray();
    const QList<QByteArray> found = repliesFrom(*replies, mac, messageId);
    replies->clear();
    return found.size() == 1 ? found.constFirst() : QByteArray();
}

// SetNetworkConfig without credentials: a version-3 device accepts it, a version-4 device refuses
// it as an authorization failure.
void TestLabDevsim::plainConfigurationByProtocolVersion()
{
    transceiver->getNetworkConfig(Broadcast);
    const QByteArray version3 = awaitReply(Version3Device, NetworkConfigReply);
    QVERIFY(!version3.isEmpty());
    QCOMPARE(int(quint8(version3.at(52))), 3);

    transceiver->sendRequest(SetNetworkConfig, Version3Device,
                             newConfig(Version3Device, QStringLiteral("renamed-v3")).toByteArray());
    const QByteArray accepted = awaitReply(Version3Device, SetNetworkConfigReply);
    QVERIFY(!accepted.isEmpty());
    QCOMPARE(Lab::readUInt32(accepted, 44), 0u);

    transceiver->sendRequest(SetNetworkConfig, Version4Device,
                             newConfig(Version4Device, QStringLiteral("renamed-v4")).toByteArray());
    const QByteArray refused = awaitReply(Version4Device, SetNetworkConfigReply);
    QVERIFY(!refused.isEmpty());
    QCOMPARE(Lab::readUInt32(refused, 44), 2147483651u);
    QCOMPARE(int(quint8(refused.at(52))), 4);
}

void TestLabDevsim::authenticatedConfiguration_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<quint32>("resultCode");

    QTest::newRow("right credentials") << QStringLiteral("operator") << QStringLiteral("s3cret:pw") << 0u;
    QTest::newRow("wrong password") << QStringLiteral("operator") << QStringLiteral("s3cret") << 2147483651u;
    QTest::newRow("wrong user") << QStringLiteral("admin") << QStringLiteral("s3cret:pw") << 2147483651u;
    QTest::newRow("no password") << QStringLiteral("operator") << QString() << 2147483651u;
}

// SetNetworkConfigAuth: the device checks the Base64 credentials of the request.
void TestLabDevsim::authenticatedConfiguration()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(quint32, resultCode);

    transceiver->sendRequest(SetNetworkConfigAuth, Version4Device,
                             newConfig(Version4Device, QStringLiteral("renamed-v4")).toAuthByteArray(user, password));
    const QByteArray reply = awaitReply(Version4Device, SetNetworkConfigAuthReply);
    QVERIFY(!reply.isEmpty());
    QCOMPARE(Lab::readUInt32(reply, 44), resultCode);
}

// An accepted configuration takes effect with RestartNetwork: the device answers nothing for its
// restart time and then reports the new configuration.
void TestLabDevsim::restartAppliesTheNewConfiguration()
{
    // When each request left, by sequence number (from 1: the transceiver is new), relative to
    // the restart request; the device echoes the sequence number in its reply.
    QElapsedTimer sinceRestart;
    QList<qint64> sentAt;
    QObject context;
    connect(transceiver.get(), &PacketTransceiver::requestSent, &context,
            [&] { sentAt.append(sinceRestart.isValid() ? sinceRestart.elapsed() : -1); });

    const NetworkConfigBody config = newConfig(Version4Device, QStringLiteral("after-restart"));
    transceiver->sendRequest(SetNetworkConfigAuth, Version4Device,
                             config.toAuthByteArray(QStringLiteral("operator"), QStringLiteral("s3cret:pw")));
    const QByteArray accepted = awaitReply(Version4Device, SetNetworkConfigAuthReply);
    QVERIFY(!accepted.isEmpty());
    QCOMPARE(Lab::readUInt32(accepted, 44), 0u);

    // Accepted, but not yet applied.
    transceiver->getNetworkConfig(Version4Device);
    const QByteArray before = awaitReply(Version4Device, NetworkConfigReply);
    QCOMPARE(NetworkConfigBody::fromDatagram(before).hostName, QStringLiteral("lab-v4"));

    sinceRestart.start();
    transceiver->restartNetwork(Version4Device);
    // Ask every 50 ms; the first answer comes once the restart is over.
    QTimer asking;
    connect(&asking, &QTimer::timeout, transceiver.get(), [this] { transceiver->getNetworkConfig(Version4Device); });
    asking.start(50);
    transceiver->getNetworkConfig(Version4Device);
    const bool answered = QTest::qWaitFor(
        [&] { return !repliesFrom(*replies, Version4Device, NetworkConfigReply).isEmpty(); }, WireTimeoutMs);
    const qint64 silentMs = sinceRestart.elapsed();
    asking.stop();
    QVERIFY(answered);
    QVERIFY2(silentMs >= RestartTimeMs - 20, qPrintable(QString::number(silentMs)));
    QVERIFY2(silentMs < RestartTimeMs + 2000, qPrintable(QString::number(silentMs)));

    // Requests asked during the restart stay unanswered, also later; a short wait for stragglers.
    QTest::qWait(200);
    const QList<QByteArray> after = repliesFrom(*replies, Version4Device, NetworkConfigReply);
    for (const QByteArray &reply : after) {
        const int sequenceNumber = qFromLittleEndian<quint16>(reply.constData() + 108);
        QVERIFY(sequenceNumber >= 1 && sequenceNumber <= sentAt.size());
        QVERIFY2(sentAt.at(sequenceNumber - 1) >= RestartTimeMs - 20,
                 qPrintable(QStringLiteral("request %1 was asked %2 ms into the restart and answered")
                                .arg(sequenceNumber)
                                .arg(sentAt.at(sequenceNumber - 1))));
    }
    NetworkConfigBody expected = config;
    expected.macAddress = Version4Device;
    QCOMPARE(NetworkConfigBody::fromDatagram(after.constFirst()), expected);
    // The other devices did not restart.
    QVERIFY(repliesFrom(*replies, Version3Device, NetworkConfigReply).isEmpty());
}

// A silent device answers none of the requests the others answer.
void TestLabDevsim::silentDeviceAnswersNothing()
{
    transceiver->getDeviceInfo(Broadcast);
    transceiver->getNetworkConfig(Broadcast);
    transceiver->getNetworkConfig(SilentDevice);
    // Asked last, so that any answer of the silent device would be in by then.
    transceiver->getDeviceInfo(Version3Device);
    QVERIFY(QTest::qWaitFor([&] { return repliesFrom(*replies, Version3Device, DeviceInfoReply).size() == 2; },
                            WireTimeoutMs));
    QTRY_COMPARE_WITH_TIMEOUT(replies->count(), 7, WireTimeoutMs);
    for (const QList<QVariant> &arguments : std::as_const(*replies))
        QVERIFY(Lab::fieldText(arguments.at(0).toByteArray(), 74, 18) != SilentDevice.toLatin1());
}

// A device that sends its MAC text in lower case does so everywhere, and answers requests that
// name it the way it sends it.
void TestLabDevsim::lowerCaseMacDevice()
{
    transceiver->getDeviceInfo(Broadcast);
    const QByteArray info = awaitReply(LowerCaseDevice, DeviceInfoReply);
    QVERIFY(!info.isEmpty());
    transceiver->getNetworkConfig(LowerCaseDevice);
    const QByteArray config = awaitReply(LowerCaseDevice, NetworkConfigReply);
    QVERIFY(!config.isEmpty());
    QCOMPARE(Lab::fieldText(config, 124, 18), LowerCaseDevice.toLatin1());
    QCOMPARE(NetworkConfigBody::fromDatagram(config).hostName, QStringLiteral("lab-lower"));
}

QTEST_GUILESS_MAIN(TestLabDevsim)
#include "tst_lab_devsim.moc"
