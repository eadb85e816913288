// The checks a configuration change passes before anything is sent, the change applied to a
// device's configuration, and the comparison with what the device shows afterwards.

#include "cli/configchange.h"
#include "cli/configcheck.h"
#include "protocol/messageheader.h"
#include "ui/connectiondialog.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTest>

class TestCliChecks : public QObject
{
    Q_OBJECT

private slots:
    void hostNames_data();
    void hostNames();
    void addresses_data();
    void addresses();
    void masks_data();
    void masks();
    void hostInNetwork_data();
    void hostInNetwork();
    void domainsAndCredentials_data();
    void domainsAndCredentials();
    void changeRefusesEachBadField_data();
    void changeRefusesEachBadField();
    void resultChecksTheDevicesOwnValues_data();
    void resultChecksTheDevicesOwnValues();
    void applyKeepsWhatIsNotGiven();
    void differences_data();
    void differences();
};

void TestCliChecks::hostNames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("good");
    QTest::newRow("two letters") << QStringLiteral("ab") << true;
    QTest::newRow("letters digits hyphen") << QStringLiteral("Cam-01-east") << true;
    QTest::newRow("24 characters") << QStringLiteral("a23456789012345678901234") << true;
    QTest::newRow("25 characters") << QStringLiteral("a234567890123456789012345") << false;
    QTest::newRow("one letter") << QStringLiteral("a") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("digit first") << QStringLiteral("1cam") << false;
    QTest::newRow("hyphen first") << QStringLiteral("-cam") << false;
    QTest::newRow("hyphen last") << QStringLiteral("cam-") << false;
    QTest::newRow("underscore") << QStringLiteral("cam_1") << false;
    QTest::newRow("dot") << QStringLiteral("cam.lab") << false;
    QTest::newRow("blank") << QStringLiteral("cam 1") << false;
    QTest::newRow("umlaut") << QStringLiteral("k\u00fcche") << false;
    QTest::newRow("trailing newline") << QStringLiteral("cam\n") << false;
}

// The settings dialog's rule, pattern and length alike: the dialog's own validator must agree.
void TestCliChecks::hostNames()
{
    QFETCH(QString, text);
    QFETCH(bool, good);
    QCOMPARE(ConfigCheck::hostName(text).isEmpty(), good);

    QRegularExpressionValidator dialogRule(QRegularExpression(ConnectionDialog::hostnamePattern()));
    QString input = text;
    int position = 0;
    const bool dialogAccepts = dialogRule.validate(input, position) == QValidator::Acceptable &&
                               text.size() <= ConnectionDialog::HostnameMaxLength;
    QCOMPARE(dialogAccepts, good);
}

void TestCliChecks::addresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("good");
    QTest::newRow("usual") << QStringLiteral("192.168.1.20") << true;
    QTest::newRow("zeros") << QStringLiteral("0.0.0.0") << true;
    QTest::newRow("all 255") << QStringLiteral("255.255.255.255") << true;
    QTest::newRow("group 256") << QStringLiteral("192.168.1.256") << false;
    QTest::newRow("three groups") << QStringLiteral("192.168.1") << false;
    QTest::newRow("five groups") << QStringLiteral("1.2.3.4.5") << false;
    QTest::newRow("empty group") << QStringLiteral("192.168..1") << false;
    QTest::newRow("only dots") << QStringLiteral("...") << false;
    QTest::newRow("leading zero") << QStringLiteral("192.168.01.1") << false;
    QTest::newRow("four digits") << QStringLiteral("1000.1.1.1") << false;
    QTest::newRow("blank") << QStringLiteral(" 192.168.1.1") << false;
    QTest::newRow("sign") << QStringLiteral("+1.2.3.4") << false;
    QTest::newRow("host name") << QStringLiteral("gateway") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("arabic-indic digits") << QStringLiteral("\u0661.2.3.4") << false;
}

void TestCliChecks::addresses()
{
    QFETCH(QString, text);
    QFETCH(bool, good);
    QCOMPARE(ConfigCheck::address(text).isEmpty(), good);
}

void TestCliChecks::masks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("good");
    QTest::newRow("/24") << QStringLiteral("255.255.255.0") << true;
    QTest::newRow("/1") << QStringLiteral("128.0.0.0") << true;
    QTest::newRow("/17") << QStringLiteral("255.255.128.0") << true;
    QTest::newRow("/30") << QStringLiteral("255.255.255.252") << true;
    QTest::newRow("/32") << QStringLiteral("255.255.255.255") << true;
    QTest::newRow("no bits") << QStringLiteral("0.0.0.0") << false;
    QTest::newRow("hole") << QStringLiteral("255.0.255.0") << false;
    QTest::newRow("reversed") << QStringLiteral("0.0.0.255") << false;
    QTest::newRow("one stray bit") << QStringLiteral("255.255.255.1") << false;
    QTest::newRow("incomplete") << QStringLiteral("255.255.255") << false;
}

void TestCliChecks::masks()
{
    QFETCH(QString, text);
    QFETCH(bool, good);
    QCOMPARE(ConfigCheck::mask(text).isEmpty(), good);
}

void TestCliChecks::hostInNetwork_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("refusal"); // part of the message, empty for a usable address
    QTest::newRow("host") << QStringLiteral("192.168.1.20") << QStringLiteral("255.255.255.0") << QString();
    QTest::newRow("network") << QStringLiteral("192.168.1.0") << QStringLiteral("255.255.255.0")
                             << QStringLiteral("network address");
    QTest::newRow("broadcast") << QStringLiteral("192.168.1.255") << QStringLiteral("255.255.255.0")
                               << QStringLiteral("broadcast address");
    QTest::newRow(".0 inside a /16") << QStringLiteral("192.168.1.0") << QStringLiteral("255.255.0.0") << QString();
    QTest::newRow(".255 inside a /16") << QStringLiteral("192.168.1.255") << QStringLiteral("255.255.0.0") << QString();
    QTest::newRow("/30 first host") << QStringLiteral("10.0.0.5") << QStringLiteral("255.255.255.252") << QString();
    QTest::newRow("/30 broadcast") << QStringLiteral("10.0.0.7") << QStringLiteral("255.255.255.252")
                                   << QStringLiteral("broadcast");
    QTest::newRow("/32 has no host") << QStringLiteral("10.0.0.7") << QStringLiteral("255.255.255.255")
                                     << QStringLiteral("network address");
    QTest::newRow("zero address") << QStringLiteral("0.0.0.0") << QStringLiteral("255.255.255.0")
                                  << QStringLiteral("network address");
}

void TestCliChecks::hostInNetwork()
{
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, refusal);
    const QString problem = ConfigCheck::hostInNetwork(ip, mask);
    QCOMPARE(problem.isEmpty(), refusal.isEmpty());
    QVERIFY2(problem.contains(refusal), qPrintable(problem));
}

void TestCliChecks::domainsAndCredentials_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("refusal"); // empty: all good
    QTest::newRow("usual") << QStringLiteral("lab.example") << QStringLiteral("admin") << QStringLiteral("s3cret")
                           << QString();
    QTest::newRow("empty domain and password") << QString() << QStringLiteral("admin") << QString() << QString();
    QTest::newRow("domain of 79") << QString(79, QLatin1Char('d')) << QStringLiteral("a") << QStringLiteral("p")
                                  << QString();
    QTest::newRow("domain of 80") << QString(80, QLatin1Char('d')) << QStringLiteral("a") << QStringLiteral("p")
                                  << QStringLiteral("longer than 79");
    QTest::newRow("domain beyond Latin-1") << QStringLiteral("\u0142odz.example") << QStringLiteral("a")
                                           << QStringLiteral("p") << QStringLiteral("outside Latin-1");
    QTest::newRow("Latin-1 password") << QString() << QStringLiteral("admin") << QStringLiteral("s\u00e9cret")
                                      << QString();
    QTest::newRow("password beyond Latin-1")
        << QString() << QStringLiteral("admin") << QStringLiteral("\u20ac") << QStringLiteral("outside Latin-1");
    QTest::newRow("colon in user") << QString() << QStringLiteral("ad:min") << QStringLiteral("p")
                                   << QStringLiteral("\":\"");
    QTest::newRow("colon in password") << QString() << QStringLiteral("admin") << QStringLiteral("p:w") << QString();
    QTest::newRow("93 bytes fit") << QString() << QString(46, QLatin1Char('u')) << QString(46, QLatin1Char('p'))
                                  << QString();
    QTest::newRow("94 bytes are cut") << QString() << QString(46, QLatin1Char('u')) << QString(47, QLatin1Char('p'))
                                      << QStringLiteral("longer than 92");
}

void TestCliChecks::domainsAndCredentials()
{
    QFETCH(QString, domain);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, refusal);
    const QString problem = ConfigCheck::domain(domain) + ConfigCheck::credentials(user, password);
    QCOMPARE(problem.isEmpty(), refusal.isEmpty());
    QVERIFY2(problem.contains(refusal), qPrintable(problem));
}

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
