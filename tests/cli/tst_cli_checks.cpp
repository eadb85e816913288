// SPDX-License-Identifier: Apache-2.0
// The checks a configuration change passes before anything is sent, the change applied to a
// device's configuration, and the comparison with what the device shows afterwards.

#include "cli/configchange.h"
#include "protocol/messageheader.h"

#include <QTest>

class TestCliChecks : public QObject
{
    Q_OBJECT

private slots:
    void changeRefusesEachBadField_data();
    void changeRefusesEachBadField();
    void resultChecksTheDevicesOwnValues_data();
    void resultChecksTheDevicesOwnValues();
    void applyKeepsWhatIsNotGiven();
    void differences_data();
    void differences();
};

void TestCliChecks::changeRefusesEachBadField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    const char *rows[][2] = {{"hostname", "1cam"},        {"ip", "192.168.1.256"}, {"mask", "255.0.255.0"},
                             {"gateway", "192.168.1"},    {"dns1", "dns.example"}, {"dns2", "8.8.8.08"},
                             {"domain", "\u0142.example"}};
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromUtf8(row[1]);
}

// One bad field among good ones: exactly that field is named.
void TestCliChecks::changeRefusesEachBadField()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    ConfigChange change;
    change.hostName = QStringLiteral("cam-east");
    change.ip = QStringLiteral("192.168.1.20");
    change.mask = QStringLiteral("255.255.255.0");
    change.gateway = QStringLiteral("192.168.1.1");
    change.dns1 = QStringLiteral("192.168.1.2");
    change.dns2 = QStringLiteral("0.0.0.0");
    change.domain = QStringLiteral("lab.example");
    QVERIFY(change.check().isEmpty());

    std::optional<QString> *target = field == QLatin1String("hostname")  ? &change.hostName
                                     : field == QLatin1String("ip")      ? &change.ip
                                     : field == QLatin1String("mask")    ? &change.mask
                                     : field == QLatin1String("gateway") ? &change.gateway
                                     : field == QLatin1String("dns1")    ? &change.dns1
                                     : field == QLatin1String("dns2")    ? &change.dns2
                                                                         : &change.domain;
    *target = value;
    const QStringList problems = change.check();
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems.constFirst().startsWith(field + QStringLiteral(": \"") + value + QLatin1Char('"')),
             qPrintable(problems.constFirst()));
}

void TestCliChecks::resultChecksTheDevicesOwnValues_data()
{
    QTest::addColumn<QString>("deviceIp");
    QTest::addColumn<QString>("deviceMask");
    QTest::addColumn<QString>("deviceIpConfig");
    QTest::addColumn<QStringList>("options"); // ip=, mask=, static, dhcp, hostname=
    QTest::addColumn<QString>("refusal");     // empty: may be sent
    const QString ip = QStringLiteral("192.168.1.20");
    const QString mask = QStringLiteral("255.255.255.0");
    QTest::newRow("new ip in the device's mask") << ip << mask << "0" << QStringList{"ip=192.168.1.30"} << QString();
    QTest::newRow("new ip is the broadcast of the device's mask")
        << ip << mask << "0" << QStringList{"ip=192.168.1.255"} << QStringLiteral("broadcast");
    QTest::newRow("new mask makes the device's ip the network")
        << QStringLiteral("192.168.1.64") << mask << "0" << QStringList{"mask=255.255.255.192"}
        << QStringLiteral("network address");
    QTest::newRow("static with the device's unusable ip")
        << QStringLiteral("0.0.0.0") << mask << "1" << QStringList{"static"} << QStringLiteral("network address");
    QTest::newRow("static with the device's partial ip")
        << QStringLiteral("192.168") << mask << "1" << QStringList{"static"}
        << QStringLiteral("(the device's own value)");
    QTest::newRow("dhcp does not look at addresses")
        << QStringLiteral("0.0.0.0") << QString() << "0" << QStringList{"dhcp"} << QString();
    QTest::newRow("host name only leaves the device's addresses alone")
        << QStringLiteral("0.0.0.0") << QString() << "0" << QStringList{"hostname=cam"} << QString();
}

void TestCliChecks::resultChecksTheDevicesOwnValues()
{
    QFETCH(QString, deviceIp);
    QFETCH(QString, deviceMask);
    QFETCH(QString, deviceIpConfig);
    QFETCH(QStringList, options);
    QFETCH(QString, refusal);
    NetworkConfigBody current;
    current.ipAddress = deviceIp;
    current.subnetMask = deviceMask;
    current.ipConfig = deviceIpConfig;
    ConfigChange change;
    for (const QString &option : options) {
        const QString value = option.section(QLatin1Char('='), 1);
        if (option.startsWith(QLatin1String("ip=")))
            change.ip = value;
        else if (option.startsWith(QLatin1String("mask=")))
            change.mask = value;
        else if (option.startsWith(QLatin1String("hostname=")))
            change.hostName = value;
        else
            change.dhcp = option == QLatin1String("dhcp");
    }
    QVERIFY(change.check().isEmpty());
    const QString problems = change.checkResult(change.applyTo(current)).join(QLatin1Char('\n'));
    QCOMPARE(problems.isEmpty(), refusal.isEmpty());
    QVERIFY2(problems.contains(refusal), qPrintable(problems));
}

void TestCliChecks::applyKeepsWhatIsNotGiven()
{
    NetworkConfigBody current;
    current.macAddress = QStringLiteral("02:5A:00:00:01:01");
    current.hostName = QStringLiteral("old-name");
    current.ipConfig = QStringLiteral("2"); // shown as static
    current.ipAddress = QStringLiteral("192.168.1.20");
    current.subnetMask = QStringLiteral("255.255.255.0");
    current.domain = QStringLiteral("old.example");
    current.gateway = QStringLiteral("192.168.1.1");
    current.primaryDns = QStringLiteral("192.168.1.2");
    current.secondaryDns = QStringLiteral("192.168.1.3");

    ConfigChange change;
    change.hostName = QStringLiteral("new-name");
    change.dns2 = QStringLiteral("0.0.0.0");
    NetworkConfigBody expected = current;
    expected.hostName = QStringLiteral("new-name");
    expected.secondaryDns = QStringLiteral("0.0.0.0");
    expected.ipConfig = QStringLiteral("0"); // the request says "0" for static
    QCOMPARE(change.applyTo(current), expected);

    change.dhcp = true;
    expected.ipConfig = QStringLiteral("1");
    QCOMPARE(change.applyTo(current), expected);
}

void TestCliChecks::differences_data()
{
    QTest::addColumn<bool>("dhcp");
    QTest::addColumn<QString>("seenHost");
    QTest::addColumn<QString>("seenIp");
    QTest::addColumn<QString>("seenDomain");
    QTest::addColumn<QStringList>("fields");
    const QString host = QStringLiteral("cam-east");
    const QString ip = QStringLiteral("192.168.1.20");
    const QString domain = QString(79, QLatin1Char('d'));
    QTest::newRow("static, all seen") << false << host << ip << domain << QStringList();
    QTest::newRow("static, old ip") << false << host << QStringLiteral("192.168.1.9") << domain << QStringList{"ip"};
    QTest::newRow("static, host and domain")
        << false << QStringLiteral("old") << ip << QStringLiteral("x") << QStringList{"hostname", "domain"};
    QTest::newRow("dhcp, address from the server")
        << true << host << QStringLiteral("192.168.1.77") << QStringLiteral("dhcp.example") << QStringList();
    QTest::newRow("dhcp, old host") << true << QStringLiteral("old") << ip << domain << QStringList{"hostname"};
}

void TestCliChecks::differences()
{
    QFETCH(bool, dhcp);
    QFETCH(QString, seenHost);
    QFETCH(QString, seenIp);
    QFETCH(QString, seenDomain);
    QFETCH(QStringList, fields);
    NetworkConfigBody sent;
    sent.hostName = QStringLiteral("cam-east");
    sent.ipConfig = NetworkConfigBody::ipConfigText(dhcp);
    sent.ipAddress = QStringLiteral("192.168.1.20");
    sent.domain = QString(79, QLatin1Char('d'));
    // What the device gives back is read from its datagram, so it is compared as such.
    NetworkConfigBody seen =
        NetworkConfigBody::fromDatagram(QByteArray(Protocol::HeaderSize, '\0') + sent.toByteArray());
    seen.hostName = seenHost;
    seen.ipAddress = seenIp;
    seen.domain = seenDomain;
    const QStringList found = ConfigChange::differences(sent, seen);
    QStringList foundFields;
    for (const QString &line : found)
        foundFields.append(line.section(QLatin1Char(':'), 0, 0));
    QCOMPARE(foundFields, fields);
}

QTEST_GUILESS_MAIN(TestCliChecks)
#include "tst_cli_checks.moc"
