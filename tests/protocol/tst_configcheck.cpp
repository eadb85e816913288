// SPDX-License-Identifier: Apache-2.0
// The value rules of a device's configuration, shared by the settings dialog and veltra-find.

#include "protocol/configcheck.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTest>

class TestConfigCheck : public QObject
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
};

void TestConfigCheck::hostNames_data()
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

// The host-name rule; its pattern, as a validator of whole input, agrees with it within the length.
void TestConfigCheck::hostNames()
{
    QFETCH(QString, text);
    QFETCH(bool, good);
    QCOMPARE(ConfigCheck::hostName(text).isEmpty(), good);

    QRegularExpressionValidator inputRule(QRegularExpression(ConfigCheck::hostNamePattern()));
    QString input = text;
    int position = 0;
    const bool accepted =
        inputRule.validate(input, position) == QValidator::Acceptable && text.size() <= ConfigCheck::HostNameMaxLength;
    QCOMPARE(accepted, good);
}

void TestConfigCheck::addresses_data()
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

void TestConfigCheck::addresses()
{
    QFETCH(QString, text);
    QFETCH(bool, good);
    QCOMPARE(ConfigCheck::address(text).isEmpty(), good);
}

void TestConfigCheck::masks_data()
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

void TestConfigCheck::masks()
{
    QFETCH(QString, text);
    QFETCH(bool, good);
    QCOMPARE(ConfigCheck::mask(text).isEmpty(), good);
}

void TestConfigCheck::hostInNetwork_data()
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

void TestConfigCheck::hostInNetwork()
{
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, refusal);
    const QString problem = ConfigCheck::hostInNetwork(ip, mask);
    QCOMPARE(problem.isEmpty(), refusal.isEmpty());
    QVERIFY2(problem.contains(refusal), qPrintable(problem));
}

void TestConfigCheck::domainsAndCredentials_data()
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

void TestConfigCheck::domainsAndCredentials()
{
    QFETCH(QString, domain);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, refusal);
    const QString problem = ConfigCheck::domain(domain) + ConfigCheck::credentials(user, password);
    QCOMPARE(problem.isEmpty(), refusal.isEmpty());
    QVERIFY2(problem.contains(refusal), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestConfigCheck)
#include "tst_configcheck.moc"
