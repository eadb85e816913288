// SPDX-License-Identifier: Apache-2.0
#include "protocol/datagramfield.h"
#include "protocol/deviceinfobody.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"

#include <QtTest>

namespace {

NetworkConfigBody sampleConfig()
{
    NetworkConfigBody config;
    config.macAddress = QStringLiteral("00:1A:2B:3C:4D:5E");
    config.hostName = QStringLiteral("lobby-cam");
    config.ipConfig = NetworkConfigBody::ipConfigText(false);
    config.ipAddress = QStringLiteral("192.168.1.10");
    config.subnetMask = QStringLiteral("255.255.255.0");
    config.domain = QStringLiteral("example.org");
    config.gateway = QStringLiteral("192.168.1.1");
    config.primaryDns = QStringLiteral("192.168.1.2");
    config.secondaryDns = QStringLiteral("8.8.8.8");
    return config;
}

// The bytes of a field: its text followed by zeros up to its width.
QByteArray fieldBytes(const QByteArray &text, int width)
{
    return text + QByteArray(width - text.size(), '\0');
}

} // namespace

class TestPacket : public QObject
{
    Q_OBJECT

private slots:
    void requestHeaderLayout();
    void textFieldsAreCut_data();
    void textFieldsAreCut();
    void setNetworkConfigBodyLayout();
    void authBodyLayout();
    void credentials_data();
    void credentials();
    void replyRoundTrip();
    void shortDatagramsReadAsZero_data();
    void shortDatagramsReadAsZero();
    void textWithoutNulEndsAtField();
    void deviceInfo_data();
    void deviceInfo();
    void protocolVersionIsUnsigned();
};

void TestPacket::requestHeaderLayout()
{
    const QByteArray bytes =
        MessageHeader::request(GetDeviceInfo, QStringLiteral("FF:FF:FF:FF:FF:FF"), 0,
                               QStringLiteral("AA:BB:CC:DD:EE:01"), QStringLiteral("192.168.77.1"), 0x1234)
            .toByteArray();
    QCOMPARE(bytes.size(), 124);
    QByteArray expected(124, '\0');
    expected.replace(0, 37, QByteArray("5e7b9d21-4c8a-4f03-b6e2-91d0a7c3f458") + '\0');
    expected[40] = 11;
    expected[52] = 4;
    expected.replace(56, 18, fieldBytes("FF:FF:FF:FF:FF:FF", 18));
    expected.replace(74, 18, fieldBytes("AA:BB:CC:DD:EE:01", 18));
    expected.replace(92, 16, fieldBytes("192.168.77.1", 16));
    expected[108] = 0x34;
    expected[109] = 0x12;
    QCOMPARE(bytes.toHex(' '), expected.toHex(' '));

    // Multi-byte integers are little-endian.
    MessageHeader header;
    header.messageId = 0x01020304;
    header.resultCode = Protocol::AuthorizationFailed;
    header.payloadLength = 315;
    const QByteArray written = header.toByteArray();
    QCOMPARE(written.mid(40, 4), QByteArray::fromHex("04030201"));
    QCOMPARE(written.mid(44, 4), QByteArray::fromHex("03000080"));
    QCOMPARE(written.mid(48, 4), QByteArray::fromHex("3b010000"));

    const MessageHeader read = MessageHeader::fromDatagram(bytes);
    QVERIFY(read.hasValidKey());
    QCOMPARE(read.messageId, quint32(GetDeviceInfo));
    QCOMPARE(read.destMacAddr, QStringLiteral("FF:FF:FF:FF:FF:FF"));
    QCOMPARE(read.srcMacAddr, QStringLiteral("AA:BB:CC:DD:EE:01"));
    QCOMPARE(read.srcIpAddr, QStringLiteral("192.168.77.1"));
    QCOMPARE(read.sequenceNumber, quint16(0x1234));
    QCOMPARE(read.protocolVersion, quint8(4));
}

void TestPacket::textFieldsAreCut_data()
{
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QByteArray>("hostBytes");
    QTest::addColumn<QByteArray>("domainBytes");

    const QString thirty = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123");
    QTest::newRow("host name of 30 keeps 24") << thirty << QString() << thirty.left(24).toLatin1() << QByteArray();
    QTest::newRow("host name of 24 fits") << thirty.left(24) << QString() << thirty.left(24).toLatin1() << QByteArray();
    QTest::newRow("domain of 100 keeps 79")
        << QString() << QString(100, QLatin1Char('d')) << QByteArray() << QByteArray(79, 'd');
    QTest::newRow("latin-1 kept as one byte")
        << QString::fromUtf8("caf\u00e9") << QString() << QByteArray("caf\xe9") << QByteArray();
    QTest::newRow("above latin-1 becomes ?")
        << QString::fromUtf8("a\u0100b\u20ac") << QString() << QByteArray("a?b?") << QByteArray();
}

void TestPacket::textFieldsAreCut()
{
    QFETCH(QString, hostName);
    QFETCH(QString, domain);
    QFETCH(QByteArray, hostBytes);
    QFETCH(QByteArray, domainBytes);

    NetworkConfigBody config = sampleConfig();
    config.hostName = hostName;
    config.domain = domain;
    const QByteArray body = config.toByteArray();
    QCOMPARE(body.mid(18, 25), fieldBytes(hostBytes, 25));
    QCOMPARE(body.mid(77, 80), fieldBytes(domainBytes, 80));
    QCOMPARE(body.at(42), '\0'); // the last byte of the host name field is always its NUL
    QCOMPARE(body.at(156), '\0');

    // The authenticated body cuts the same way, its fields 18 bytes earlier.
    const QByteArray auth = config.toAuthByteArray(QStringLiteral("u"), QStringLiteral("p"));
    QCOMPARE(auth.mid(0, 25), fieldBytes(hostBytes, 25));
    QCOMPARE(auth.mid(59, 80), fieldBytes(domainBytes, 80));
}

void TestPacket::setNetworkConfigBodyLayout()
{
    NetworkConfigBody config = sampleConfig();
    config.ipConfig = NetworkConfigBody::ipConfigText(true);
    const QByteArray body = config.toByteArray();
    QCOMPARE(body.size(), 205);

    QByteArray expected(205, '\0');
    expected.replace(0, 18, fieldBytes("00:1A:2B:3C:4D:5E", 18));
    expected.replace(18, 25, fieldBytes("lobby-cam", 25));
    expected.replace(43, 2, fieldBytes("1", 2));
    expected.replace(45, 16, fieldBytes("192.168.1.10", 16)); // addresses go out also under DHCP
    expected.replace(61, 16, fieldBytes("255.255.255.0", 16));
    expected.replace(77, 80, fieldBytes("example.org", 80));
    expected.replace(157, 16, fieldBytes("192.168.1.1", 16));
    expected.replace(173, 16, fieldBytes("192.168.1.2", 16));
    expected.replace(189, 16, fieldBytes("8.8.8.8", 16));
    QCOMPARE(body.toHex(' '), expected.toHex(' '));
}

void TestPacket::authBodyLayout()
{
    const QByteArray body = sampleConfig().toAuthByteArray(QStringLiteral("admin"), QStringLiteral("secret"));
    QCOMPARE(body.size(), 315);

    QByteArray expected(315, '\0');
    expected.replace(0, 25, fieldBytes("lobby-cam", 25));
    expected.replace(25, 2, fieldBytes("0", 2));
    expected.replace(27, 16, fieldBytes("192.168.1.10", 16));
    expected.replace(43, 16, fieldBytes("255.255.255.0", 16));
    expected.replace(59, 80, fieldBytes("example.org", 80));
    expected.replace(139, 16, fieldBytes("192.168.1.1", 16));
    expected.replace(155, 16, fieldBytes("192.168.1.2", 16));
    expected.replace(171, 16, fieldBytes("8.8.8.8", 16));
    expected.replace(187, 128, fieldBytes("YWRtaW46c2VjcmV0", 128));
    QCOMPARE(body.toHex(' '), expected.toHex(' '));

    // Read back as the device reads it.
    QString credentials;
    const NetworkConfigBody read =
        NetworkConfigBody::fromAuthDatagram(QByteArray(Protocol::HeaderSize, '\0') + body, &credentials);
    NetworkConfigBody withoutMac = sampleConfig();
    withoutMac.macAddress.clear();
    QCOMPARE(read, withoutMac);
    QCOMPARE(credentials, QStringLiteral("YWRtaW46c2VjcmV0"));
}

void TestPacket::credentials_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("user and password") << QStringLiteral("admin") << QStringLiteral("secret")
                                       << QByteArray("admin:secret").toBase64();
    QTest::newRow("empty password keeps the colon") << QStringLiteral("admin") << QString() << QByteArray("YWRtaW46");
    QTest::newRow("both empty") << QString() << QString() << QByteArray("Og==");
    QTest::newRow("latin-1 and beyond") << QString::fromUtf8("j\u00f6rg") << QString::fromUtf8("\u20ac")
                                        << QByteArray("j\xf6rg:?").toBase64();
    // 93 bytes encode to 124 Base64 characters and fit; longer credentials are cut to 127 characters.
    QTest::newRow("93 bytes fit whole") << QString(46, QLatin1Char('u')) << QString(46, QLatin1Char('p'))
                                        << (QByteArray(46, 'u') + ':' + QByteArray(46, 'p')).toBase64();
    QTest::newRow("longer credentials are cut")
        << QString(80, QLatin1Char('u')) << QString(80, QLatin1Char('p'))
        << (QByteArray(80, 'u') + ':' + QByteArray(80, 'p')).toBase64().left(127);
}

void TestPacket::credentials()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QByteArray, written);

    const QByteArray body = sampleConfig().toAuthByteArray(user, password);
    QCOMPARE(body.size(), 315);
    QCOMPARE(body.mid(187, 128), fieldBytes(written, 128));
}

void TestPacket::replyRoundTrip()
{
    MessageHeader header;
    header.packetIdentificationKey = QString::fromLatin1(Protocol::PacketIdentificationKey);
    header.messageId = NetworkConfigReply;
    header.srcMacAddr = QStringLiteral("00:1a:2b:3c:4d:5e");
    const QByteArray datagram = header.toByteArray() + sampleConfig().toByteArray();
    QCOMPARE(datagram.size(), Protocol::NetworkConfigDatagramSize);
    QCOMPARE(NetworkConfigBody::fromDatagram(datagram), sampleConfig());
    QCOMPARE(MessageHeader::srcMacOf(datagram), QStringLiteral("00:1a:2b:3c:4d:5e"));
}

void TestPacket::shortDatagramsReadAsZero_data()
{
    QTest::addColumn<int>("length");
    for (int length : {0, 1, 40, 50, 123, 124, 150, 200, 328})
        QTest::addRow("%d bytes", length) << length;
}

void TestPacket::shortDatagramsReadAsZero()
{
    QFETCH(int, length);
    MessageHeader header;
    header.packetIdentificationKey = QString::fromLatin1(Protocol::PacketIdentificationKey);
    header.messageId = NetworkConfigReply;
    header.resultCode = 7;
    header.srcMacAddr = QStringLiteral("00:1A:2B:3C:4D:5E");
    const QByteArray full = header.toByteArray() + sampleConfig().toByteArray();
    // A detached copy: anything read past its end would show up under a sanitizer.
    const QByteArray datagram(full.constData(), length);

    const MessageHeader read = MessageHeader::fromDatagram(datagram);
    QCOMPARE(read.messageId, length >= 44 ? quint32(NetworkConfigReply) : 0u);
    QCOMPARE(read.resultCode, length >= 48 ? 7u : 0u);
    QCOMPARE(read.srcMacAddr, QString::fromLatin1(QByteArray("00:1A:2B:3C:4D:5E").left(qMax(0, length - 74))));

    const NetworkConfigBody config = NetworkConfigBody::fromDatagram(datagram);
    QCOMPARE(config.hostName, QString::fromLatin1(QByteArray("lobby-cam").left(qBound(0, length - 142, 9))));
    QCOMPARE(config.secondaryDns.isEmpty(), length < 314);
    // The device name runs to the end of the datagram: never past it.
    const DeviceInfoBody info = DeviceInfoBody::fromDatagram(datagram);
    QVERIFY(info.deviceName.size() <= qMax(0, length - 148));
}

void TestPacket::textWithoutNulEndsAtField()
{
    QByteArray datagram(Protocol::NetworkConfigDatagramSize, 'x');
    const NetworkConfigBody config = NetworkConfigBody::fromDatagram(datagram);
    QCOMPARE(config.hostName, QString(25, QLatin1Char('x')));
    QCOMPARE(config.ipConfig, QStringLiteral("xx"));
    QCOMPARE(config.secondaryDns, QString(16, QLatin1Char('x')));
    QCOMPARE(MessageHeader::keyOf(datagram), QString(37, QLatin1Char('x')));
    QCOMPARE(MessageHeader::destMacOf(datagram), QString(18, QLatin1Char('x')));
}

void TestPacket::deviceInfo_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("productType");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("deviceName");

    const auto body = [](const QByteArray &type, const QByteArray &firmware, const QByteArray &name) {
        return fieldBytes(type, 4) + fieldBytes(firmware, 20) + name;
    };
    QTest::newRow("digits 1 and 2 read 12") << body("12", "1.8.0", QByteArray("VeltraNET-4.3") + '\0') << 12
                                            << QStringLiteral("1.8.0") << QStringLiteral("VeltraNET-4.3");
    QTest::newRow("three digits") << body("255", "5.6.0", QByteArray("Panoryx-III") + '\0') << 255
                                  << QStringLiteral("5.6.0") << QStringLiteral("Panoryx-III");
    QTest::newRow("a letter reads 0") << body("1a", "2.2.0", QByteArray("Motilux-II") + '\0') << 0
                                      << QStringLiteral("2.2.0") << QStringLiteral("Motilux-II");
    QTest::newRow("empty reads 0") << body("", "", QByteArray("X") + '\0') << 0 << QString() << QStringLiteral("X");
    QTest::newRow("name without NUL ends with the datagram")
        << body("3", "1.0.0", "Motilux-III") << 3 << QStringLiteral("1.0.0") << QStringLiteral("Motilux-III");
    QTest::newRow("name of the largest datagram is kept as 255 characters")
        << body("3", "1.0.0", QByteArray(65507 - 148, 'n')) << 3 << QStringLiteral("1.0.0")
        << QString(255, QLatin1Char('n'));
    QTest::newRow("body missing entirely") << QByteArray() << 0 << QString() << QString();
    QTest::newRow("firmware cut short") << QByteArray("7\0\0\0"
                                                      "1.2",
                                                      7)
                                        << 7 << QStringLiteral("1.2") << QString();
}

void TestPacket::deviceInfo()
{
    QFETCH(QByteArray, body);
    QFETCH(int, productType);
    QFETCH(QString, firmware);
    QFETCH(QString, deviceName);

    const QByteArray datagram = MessageHeader().toByteArray() + body;
    const DeviceInfoBody info = DeviceInfoBody::fromDatagram(datagram);
    QCOMPARE(info.productType(), productType);
    QCOMPARE(info.firmware, firmware);
    QCOMPARE(info.deviceName, deviceName);

    // What the device writes reads back the same.
    if (!deviceName.isEmpty()) {
        const QByteArray written = MessageHeader().toByteArray() + info.toByteArray();
        QVERIFY(written.size() >= Protocol::DeviceInfoMinimumSize);
        const DeviceInfoBody again = DeviceInfoBody::fromDatagram(written);
        QCOMPARE(again.productType(), productType);
        QCOMPARE(again.deviceName, deviceName);
    }
}

void TestPacket::protocolVersionIsUnsigned()
{
    QByteArray datagram(Protocol::NetworkConfigDatagramSize, '\0');
    for (const quint8 version : {quint8(3), quint8(4), quint8(255)}) {
        datagram[52] = char(version);
        QCOMPARE(MessageHeader::protocolVersionOf(datagram), version);
        QCOMPARE(MessageHeader::protocolVersionOf(datagram) >= Protocol::AuthProtocolVersion, version >= 4);
    }
}

QTEST_APPLESS_MAIN(TestPacket)

#include "tst_packet.moc"
