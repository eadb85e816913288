// SPDX-License-Identifier: Apache-2.0
#include "devsim/devicesimulator.h"
#include "devsim/simulatoroptions.h"

#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <functional>

namespace {

const QString HostMac = QStringLiteral("AA:BB:CC:00:11:22");
const QString HostIp = QStringLiteral("192.168.77.2");
const QString Broadcast = QStringLiteral("FF:FF:FF:FF:FF:FF");

QByteArray request(quint32 messageId, const QString &dest, quint16 sequence = 4711, const QByteArray &body = {})
{
    return MessageHeader::request(messageId, dest, quint32(body.size()), HostMac, HostIp, sequence).toByteArray() +
           body;
}

NetworkConfigBody newConfig(const QString &mac)
{
    NetworkConfigBody config;
    config.macAddress = mac;
    config.hostName = QStringLiteral("renamed-device");
    config.ipConfig = QStringLiteral("0");
    config.ipAddress = QStringLiteral("192.168.50.9");
    config.subnetMask = QStringLiteral("255.255.0.0");
    config.domain = QStringLiteral("new.example");
    config.gateway = QStringLiteral("192.168.50.1");
    config.primaryDns = QStringLiteral("192.168.50.2");
    config.secondaryDns = QStringLiteral("192.168.50.3");
    return config;
}

DeviceProfile device(const QString &mac, int protocolVersion = 4)
{
    DeviceProfile profile;
    profile.mac = mac;
    profile.config.macAddress = mac;
    profile.config.hostName = QStringLiteral("cam-") + mac.right(2);
    profile.config.ipAddress = QStringLiteral("192.168.77.") + QString::number(mac.right(2).toInt(nullptr, 16));
    profile.protocolVersion = quint8(protocolVersion);
    profile.password = QStringLiteral("s\u00e9cret"); // Latin-1, as the program encodes it
    profile.jitterMs = 0;
    return profile;
}

// Raw field readers with the offsets written out, independent of the protocol structs.
QByteArray text(const QByteArray &datagram, int offset, int width)
{
    const QByteArray field = datagram.mid(offset, width);
    return field.left(field.indexOf('\0') < 0 ? field.size() : field.indexOf('\0'));
}
quint32 u32(const QByteArray &datagram, int offset)
{
    return qFromLittleEndian<quint32>(datagram.constData() + offset);
}
quint16 u16(const QByteArray &datagram, int offset)
{
    return qFromLittleEndian<quint16>(datagram.constData() + offset);
}

// The one reply the simulator gives, or an empty array.
QByteArray onlyReply(DeviceSimulator &simulator, const QByteArray &datagram, qint64 nowMs = 0)
{
    const QList<ScheduledReply> replies = simulator.handleDatagram(datagram, nowMs);
    return replies.size() == 1 ? replies.constFirst().datagram : QByteArray(replies.size() > 1 ? "many" : "");
}

} // namespace

class TestDeviceSimulator : public QObject
{
    Q_OBJECT

private slots:
    void addressing_data();
    void addressing();
    void ignoredDatagrams_data();
    void ignoredDatagrams();
    void replyFields_data();
    void replyFields();
    void configRequests_data();
    void configRequests();
    void restartAppliesConfigAfterSilence();
    void restartWithoutConfig_data();
    void restartWithoutConfig();
    void faults_data();
    void faults();
    void lowercaseMac();
    void delays();
    void dropsAShareOfReplies_data();
    void dropsAShareOfReplies();
    void droppedAnswerStillChangesTheDevice();
    void survivesAnyDatagram();
};

void TestDeviceSimulator::addressing_data()
{
    QTest::addColumn<QString>("dest");
    QTest::addColumn<QList<int>>("answering");

    QTest::newRow("exact MAC") << QStringLiteral("02:00:00:00:00:0A") << QList<int>{1};
    QTest::newRow("MAC in lower case") << QStringLiteral("02:00:00:00:00:0a") << QList<int>{1};
    QTest::newRow("device listed in lower case") << QStringLiteral("02:00:00:00:00:0B") << QList<int>{2};
    QTest::newRow("broadcast") << Broadcast << QList<int>{0, 1, 2};
    QTest::newRow("broadcast in lower case") << QStringLiteral("ff:ff:ff:ff:ff:ff") << QList<int>{0, 1, 2};
    QTest::newRow("unknown MAC") << QStringLiteral("02:00:00:00:00:0C") << QList<int>{};
    QTest::newRow("prefix of a MAC") << QStringLiteral("02:00:00:00:00") << QList<int>{};
    QTest::newRow("empty destination") << QString() << QList<int>{};
}

void TestDeviceSimulator::addressing()
{
    QFETCH(QString, dest);
    QFETCH(QList<int>, answering);
    DeviceSimulator simulator({device(QStringLiteral("02:00:00:00:00:01")), device(QStringLiteral("02:00:00:00:00:0A")),
                               device(QStringLiteral("02:00:00:00:00:0b"))});
    for (const quint32 messageId : {GetDeviceInfo, GetNetworkConfig}) {
        QList<int> answered;
        const auto replies = simulator.handleDatagram(request(messageId, dest), 0);
        for (const ScheduledReply &reply : replies) {
            answered.append(reply.deviceIndex);
            QCOMPARE(text(reply.datagram, 74, 18), simulator.device(reply.deviceIndex).profile().mac.toLatin1());
        }
        QCOMPARE(answered, answering);
    }
}

void TestDeviceSimulator::ignoredDatagrams_data()
{
    QTest::addColumn<QByteArray>("datagram");

    const QByteArray info = request(GetDeviceInfo, Broadcast);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte short of a header") << info.left(123);
    QTest::newRow("zeros") << QByteArray(124, '\0');
    QByteArray foreignKey = info;
    foreignKey[0] = '6';
    QTest::newRow("foreign key") << foreignKey;
    QByteArray longerKey = info;
    longerKey[36] = 'x'; // the key text must end where it does
    QTest::newRow("key without its end") << longerKey;
    for (const quint32 code : {0u, 2u, 8u, 10u, 12u, 14u, 15u, 0xffffffffu})
        QTest::addRow("messageId %u", code) << request(code, Broadcast);
    QTest::newRow("SetNetworkConfig without all of its body")
        << request(SetNetworkConfig, Broadcast, 1, newConfig(Broadcast).toByteArray()).chopped(1);
    QTest::newRow("SetNetworkConfigAuth without all of its body")
        << request(SetNetworkConfigAuth, Broadcast, 1,
                   newConfig(Broadcast).toAuthByteArray(QStringLiteral("admin"), QStringLiteral("s\u00e9cret")))
               .chopped(1);
}

void TestDeviceSimulator::ignoredDatagrams()
{
    QFETCH(QByteArray, datagram);
    DeviceSimulator simulator(
        {device(QStringLiteral("02:00:00:00:00:01"), 3), device(QStringLiteral("02:00:00:00:00:02"))});
    QVERIFY(simulator.handleDatagram(datagram, 0).isEmpty());
    QVERIFY(!simulator.device(0).pendingConfig());
    QVERIFY(!simulator.device(1).pendingConfig());
}

void TestDeviceSimulator::replyFields_data()
{
    using Texts = QList<QPair<int, QByteArray>>;
    QTest::addColumn<quint32>("messageId");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<int>("size");
    QTest::addColumn<Texts>("texts"); // offset, text that ends there with a NUL

    QTest::newRow("device info") << quint32(GetDeviceInfo) << QStringLiteral("02:00:00:00:00:21") << 124 + 24 + 11
                                 << Texts{{124, "47"}, {128, "1.4.0-rc2"}, {148, "Motilux M3"}};
    QTest::newRow("device info without a name")
        << quint32(GetDeviceInfo) << QStringLiteral("02:00:00:00:00:22") << 149 << Texts{{148, ""}};
    QTest::newRow("network config") << quint32(GetNetworkConfig) << QStringLiteral("02:00:00:00:00:21") << 329
                                    << Texts{
                                           {124, "02:00:00:00:00:21"}, {142, "renamed-device"}, {167, "1"},
                                           {169, "192.168.50.9"},      {185, "255.255.0.0"},    {201, "new.example"},
                                           {281, "192.168.50.1"},      {297, "192.168.50.2"},   {313, "192.168.50.3"}};
}

void TestDeviceSimulator::replyFields()
{
    using Texts = QList<QPair<int, QByteArray>>;
    QFETCH(quint32, messageId);
    QFETCH(QString, mac);
    QFETCH(int, size);
    QFETCH(Texts, texts);
    DeviceProfile named = device(QStringLiteral("02:00:00:00:00:21"), 3);
    named.deviceName = QStringLiteral("Motilux M3");
    named.firmware = QStringLiteral("1.4.0-rc2");
    named.productType = QStringLiteral("47");
    named.config = newConfig(QStringLiteral("not the device's MAC"));
    named.config.ipConfig = QStringLiteral("1");
    DeviceProfile unnamed = named;
    unnamed.mac = QStringLiteral("02:00:00:00:00:22");
    unnamed.deviceName.clear();
    DeviceSimulator simulator({named, unnamed});

    const QByteArray reply = onlyReply(simulator, request(messageId, mac, 65535));
    QCOMPARE(reply.size(), size);
    QCOMPARE(text(reply, 0, 37), QByteArray("5e7b9d21-4c8a-4f03-b6e2-91d0a7c3f458"));
    QCOMPARE(u32(reply, 40), messageId + 1);
    QCOMPARE(u32(reply, 44), 0u);
    QCOMPARE(u32(reply, 48), quint32(size - 124));
    QCOMPARE(int(reply.at(52)), 3);
    QCOMPARE(text(reply, 56, 18), HostMac.toLatin1());
    QCOMPARE(text(reply, 74, 18), mac.toLatin1());
    QCOMPARE(text(reply, 92, 16), QByteArray("192.168.50.9"));
    QCOMPARE(u16(reply, 108), quint16(65535));
    for (const auto &[offset, expected] : texts)
        QCOMPARE(reply.mid(offset, expected.size() + 1), expected + '\0');
}

void TestDeviceSimulator::configRequests_data()
{
    QTest::addColumn<int>("protocolVersion");
    QTest::addColumn<quint32>("messageId");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<quint32>("resultCode");

    const QString admin = QStringLiteral("admin");
    const QString secret = QStringLiteral("s\u00e9cret");
    const quint32 set = SetNetworkConfig;
    const quint32 auth = SetNetworkConfigAuth;
    const quint32 refused = Protocol::AuthorizationFailed;
    QTest::newRow("version 3, plain") << 3 << set << QString() << QString() << 0u;
    QTest::newRow("version 0, plain") << 0 << set << QString() << QString() << 0u;
    QTest::newRow("version 4, plain") << 4 << set << QString() << QString() << refused;
    QTest::newRow("version 255, plain") << 255 << set << QString() << QString() << refused;
    QTest::newRow("version 4, right credentials") << 4 << auth << admin << secret << 0u;
    QTest::newRow("version 3, right credentials") << 3 << auth << admin << secret << 0u;
    QTest::newRow("version 4, wrong password") << 4 << auth << admin << QStringLiteral("secret") << refused;
    QTest::newRow("version 4, wrong user") << 4 << auth << QStringLiteral("Admin") << secret << refused;
    QTest::newRow("version 4, no credentials") << 4 << auth << QString() << QString() << refused;
}

void TestDeviceSimulator::configRequests()
{
    QFETCH(int, protocolVersion);
    QFETCH(quint32, messageId);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(quint32, resultCode);
    const DeviceProfile profile = device(QStringLiteral("02:00:00:00:00:41"), protocolVersion);
    DeviceSimulator simulator({profile});
    const NetworkConfigBody config = newConfig(profile.mac);
    const QByteArray body =
        messageId == SetNetworkConfig ? config.toByteArray() : config.toAuthByteArray(user, password);

    const QByteArray reply = onlyReply(simulator, request(messageId, profile.mac, 17, body));
    QCOMPARE(reply.size(), 124);
    QCOMPARE(u32(reply, 40), messageId + 1);
    QCOMPARE(u32(reply, 44), resultCode);
    QCOMPARE(u32(reply, 48), 0u);
    QCOMPARE(int(quint8(reply.at(52))), protocolVersion);
    QCOMPARE(u16(reply, 108), quint16(17));
    QCOMPARE(bool(simulator.device(0).pendingConfig()), resultCode == 0);
    // Nothing changes before RestartNetwork.
    QCOMPARE(simulator.device(0).profile().config, profile.config);
}

void TestDeviceSimulator::restartAppliesConfigAfterSilence()
{
    DeviceProfile profile = device(QStringLiteral("02:00:00:00:00:51"), 3);
    profile.restartTimeMs = 1500;
    const DeviceProfile bystander = device(QStringLiteral("02:00:00:00:00:52"), 3);
    DeviceSimulator simulator({profile, bystander});
    // The request's MAC slot names another device; the device keeps its own MAC.
    const NetworkConfigBody config = newConfig(QStringLiteral("02:00:00:00:00:99"));
    QCOMPARE(u32(onlyReply(simulator, request(SetNetworkConfig, profile.mac, 1, config.toByteArray()), 100), 44), 0u);
    QCOMPARE(text(onlyReply(simulator, request(GetNetworkConfig, profile.mac), 200), 169, 16),
             QByteArray("192.168.77.81"));

    QVERIFY(simulator.handleDatagram(request(RestartNetwork, profile.mac), 1000).isEmpty());
    QCOMPARE(simulator.device(0).restartCount(), 1);
    QVERIFY(!simulator.device(0).pendingConfig());
    for (const qint64 now : {1000, 2499}) {
        const auto replies = simulator.handleDatagram(request(GetDeviceInfo, Broadcast), now);
        QCOMPARE(replies.size(), 1);
        QCOMPARE(replies.constFirst().deviceIndex, 1); // only the bystander answers
        QVERIFY(onlyReply(simulator, request(GetNetworkConfig, profile.mac), now).isEmpty());
    }

    const QByteArray reply = onlyReply(simulator, request(GetNetworkConfig, profile.mac), 2500);
    QCOMPARE(reply.size(), 329);
    QCOMPARE(text(reply, 92, 16), QByteArray("192.168.50.9"));
    QCOMPARE(text(reply, 124, 18), QByteArray("02:00:00:00:00:51"));
    QCOMPARE(text(reply, 142, 25), QByteArray("renamed-device"));
    QCOMPARE(text(reply, 313, 16), QByteArray("192.168.50.3"));
    QCOMPARE(simulator.device(1).profile().config, bystander.config);
}

void TestDeviceSimulator::restartWithoutConfig_data()
{
    QTest::addColumn<int>("restartTime");
    QTest::newRow("default restart time") << 2000;
    QTest::newRow("no restart time") << 0;
}

void TestDeviceSimulator::restartWithoutConfig()
{
    QFETCH(int, restartTime);
    DeviceProfile profile = device(QStringLiteral("02:00:00:00:00:61"));
    profile.restartTimeMs = restartTime;
    DeviceSimulator simulator({profile});
    QVERIFY(simulator.handleDatagram(request(RestartNetwork, Broadcast), 1000).isEmpty());
    QCOMPARE(onlyReply(simulator, request(GetDeviceInfo, profile.mac), 1000).isEmpty(), restartTime > 0);
    QCOMPARE(onlyReply(simulator, request(GetDeviceInfo, profile.mac), 1000 + restartTime).size(), 124 + 24 + 13 + 1);
    QCOMPARE(simulator.device(0).profile().config, profile.config);
}

void TestDeviceSimulator::faults_data()
{
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("answers");
    QTest::addColumn<quint32>("faultCode");
    QTest::addColumn<quint32>("messageId");
    QTest::addColumn<bool>("replies");

    const int all = int(AnswerScope::All);
    const int info = int(AnswerScope::InfoOnly);
    const int config = int(AnswerScope::ConfigOnly);
    for (const quint32 id : {GetDeviceInfo, GetNetworkConfig, SetNetworkConfig})
        QTest::addRow("silent, request %u", id) << true << all << 0u << id << false;
    QTest::newRow("info only, info") << false << info << 0u << quint32(GetDeviceInfo) << true;
    QTest::newRow("info only, config") << false << info << 0u << quint32(GetNetworkConfig) << false;
    QTest::newRow("info only, set") << false << info << 0u << quint32(SetNetworkConfig) << false;
    QTest::newRow("config only, info") << false << config << 0u << quint32(GetDeviceInfo) << false;
    QTest::newRow("config only, config") << false << config << 0u << quint32(GetNetworkConfig) << true;
    QTest::newRow("config only, set") << false << config << 0u << quint32(SetNetworkConfig) << true;
    for (const quint32 id : {GetDeviceInfo, GetNetworkConfig, SetNetworkConfig})
        QTest::addRow("result code 5, request %u", id) << false << all << 5u << id << true;
    QTest::newRow("result code 2147483651, set") << false << all << 2147483651u << quint32(SetNetworkConfig) << true;
}

void TestDeviceSimulator::faults()
{
    QFETCH(bool, silent);
    QFETCH(int, answers);
    QFETCH(quint32, faultCode);
    QFETCH(quint32, messageId);
    QFETCH(bool, replies);
    DeviceProfile profile = device(QStringLiteral("02:00:00:00:00:71"), 3);
    profile.silent = silent;
    profile.answers = AnswerScope(answers);
    profile.resultCode = faultCode;
    DeviceSimulator simulator({profile});
    const QByteArray body = messageId == SetNetworkConfig ? newConfig(profile.mac).toByteArray() : QByteArray();

    const QByteArray reply = onlyReply(simulator, request(messageId, profile.mac, 1, body));
    QCOMPARE(!reply.isEmpty(), replies);
    if (replies) {
        QCOMPARE(u32(reply, 40), messageId + 1);
        QCOMPARE(u32(reply, 44), faultCode);
    }
    // A device that refuses or does not hear a configuration keeps none.
    QCOMPARE(bool(simulator.device(0).pendingConfig()), replies && faultCode == 0 && messageId == SetNetworkConfig);
}

void TestDeviceSimulator::lowercaseMac()
{
    DeviceProfile profile = device(QStringLiteral("02:00:00:0A:BC:DE"));
    profile.lowercaseMac = true;
    DeviceSimulator simulator({profile});
    const QByteArray reply = onlyReply(simulator, request(GetNetworkConfig, QStringLiteral("02:00:00:0A:BC:DE")));
    QCOMPARE(text(reply, 74, 18), QByteArray("02:00:00:0a:bc:de"));
    QCOMPARE(text(reply, 124, 18), QByteArray("02:00:00:0a:bc:de"));
    QCOMPARE(onlyReply(simulator, request(GetNetworkConfig, QStringLiteral("02:00:00:0a:bc:de"))).size(), 329);
}

void TestDeviceSimulator::delays()
{
    QList<DeviceProfile> profiles;
    for (int i = 0; i < 50; ++i) {
        DeviceProfile profile = device(QStringLiteral("02:00:00:00:01:%1").arg(i, 2, 16, QLatin1Char('0')));
        profile.delayMs = 100;
        profile.jitterMs = i < 49 ? 20 : 0;
        profiles.append(profile);
    }
    auto delaysOf = [&profiles](quint32 randomStart) {
        DeviceSimulator simulator(profiles, randomStart);
        QList<qint64> delays;
        for (const ScheduledReply &reply : simulator.handleDatagram(request(GetDeviceInfo, Broadcast), 0))
            delays.append(reply.delayMs);
        return delays;
    };
    const QList<qint64> first = delaysOf(42);
    QCOMPARE(first.size(), 50);
    QCOMPARE(first.constLast(), qint64(100)); // no jitter: the delay exactly
    for (const qint64 delay : first)
        QVERIFY2(delay >= 100 && delay <= 120, qPrintable(QString::number(delay)));
    QVERIFY(std::adjacent_find(first.begin(), first.end() - 1, std::not_equal_to<>()) != first.end() - 1);
    QCOMPARE(delaysOf(42), first);
    QVERIFY(delaysOf(43) != first);
}

// A device's drop rate loses about that share of its replies, at random but repeatably for a starting value;
// the option gives every device the rate, a device's own key wins.
void TestDeviceSimulator::dropsAShareOfReplies_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("least"); // of 2000 replies lost
    QTest::addColumn<int>("most");
    QTest::newRow("none") << 0 << 0 << 0;
    QTest::newRow("thirty percent") << 30 << 480 << 720;
    QTest::newRow("all") << 100 << 2000 << 2000;
}

void TestDeviceSimulator::dropsAShareOfReplies()
{
    QFETCH(int, percent);
    QFETCH(int, least);
    QFETCH(int, most);
    QString error;
    const auto options =
        SimulatorOptions::parse({QStringLiteral("veltra-devsim"), QStringLiteral("--count"), QStringLiteral("1000"),
                                 QStringLiteral("--drop-rate"), QString::number(percent)},
                                &error);
    QVERIFY2(options, qPrintable(error));
    const auto profiles = options->devices(&error);
    QVERIFY2(profiles, qPrintable(error));

    auto lostWith = [&profiles](quint32 randomStart, QSet<int> *answered) {
        DeviceSimulator simulator(*profiles, randomStart);
        const auto replies = simulator.handleDatagram(request(GetDeviceInfo, Broadcast), 0) +
                             simulator.handleDatagram(request(GetNetworkConfig, Broadcast), 0);
        for (const ScheduledReply &reply : replies)
            answered->insert(reply.deviceIndex * 2 + (u32(reply.datagram, 40) == DeviceInfoReply ? 0 : 1));
        return int(simulator.lostReplies());
    };
    QSet<int> first;
    const int lost = lostWith(7, &first);
    QVERIFY2(lost >= least && lost <= most, qPrintable(QString::number(lost)));
    QCOMPARE(lost + first.size(), 2000);
    QSet<int> again;
    QCOMPARE(lostWith(7, &again), lost);
    QCOMPARE(again, first);
    if (percent > 0 && percent < 100) {
        QSet<int> other;
        lostWith(8, &other);
        QVERIFY(other != first);
    }
}

// A lost answer is lost on the way back: the device has taken the configuration all the same.
void TestDeviceSimulator::droppedAnswerStillChangesTheDevice()
{
    DeviceProfile profile = device(QStringLiteral("02:00:00:00:00:01"), 3);
    profile.dropPercent = 100;
    profile.restartTimeMs = 0;
    DeviceProfile steady = device(QStringLiteral("02:00:00:00:00:02"), 3);
    DeviceSimulator simulator({profile, steady});
    const NetworkConfigBody config = newConfig(profile.mac);
    QVERIFY(simulator.handleDatagram(request(SetNetworkConfig, profile.mac, 1, config.toByteArray()), 0).isEmpty());
    QVERIFY(simulator.device(0).pendingConfig().has_value());
    simulator.handleDatagram(request(RestartNetwork, profile.mac), 1);
    QCOMPARE(simulator.device(0).profile().config.hostName, config.hostName);
    // The other device's rate is its own.
    QCOMPARE(onlyReply(simulator, request(GetDeviceInfo, steady.mac)).size(), 149 + 13);
    QCOMPARE(simulator.lostReplies(), quint64(1));
}

// Any datagram, as a fuzzer would send it: nothing read beyond its end, no crash, and replies
// only to whole requests.
void TestDeviceSimulator::survivesAnyDatagram()
{
    DeviceProfile plain = device(QStringLiteral("02:00:00:00:00:01"), 3);
    plain.restartTimeMs = 0;
    DeviceSimulator simulator({plain, device(QStringLiteral("02:00:00:00:00:02"))});
    const QList<QByteArray> templates = {
        request(GetDeviceInfo, Broadcast), request(RestartNetwork, plain.mac),
        request(SetNetworkConfig, Broadcast, 1, newConfig(plain.mac).toByteArray()),
        request(SetNetworkConfigAuth, Broadcast, 1,
                newConfig(plain.mac).toAuthByteArray(QStringLiteral("admin"), QStringLiteral("s\u00e9cret")))};
    QRandomGenerator random(2024);
    for (int i = 0; i < 20000; ++i) {
        QByteArray datagram = templates.at(random.bounded(int(templates.size())));
        switch (random.bounded(4)) {
        case 0: // cut anywhere
            datagram.truncate(random.bounded(int(datagram.size()) + 1));
            break;
        case 1: // grow up to the largest datagram
            datagram.append(QByteArray(random.bounded(65507 - int(datagram.size()) + 1), char(random.bounded(256))));
            break;
        default: // flip bytes, in the header more often
            for (int flips = random.bounded(1, 8); flips > 0; --flips)
                datagram[random.bounded(random.bounded(2) ? 124 : int(datagram.size()))] = char(random.bounded(256));
        }
        const auto replies = simulator.handleDatagram(datagram, i);
        for (const ScheduledReply &reply : replies) {
            QVERIFY(datagram.size() >= 124);
            QVERIFY(reply.datagram.size() >= 124);
            QCOMPARE(u32(reply.datagram, 40), u32(datagram, 40) + 1);
        }
    }
}

QTEST_GUILESS_MAIN(TestDeviceSimulator)
#include "tst_devicesimulator.moc"
