// SPDX-License-Identifier: Apache-2.0
#include "protocol/messageheader.h"
#include "protocol/networkdiagnosis.h"

#include <QFile>
#include <QUdpSocket>
#include <QtTest>

using Result = NetworkDiagnosis::ToolResult;
using Info = PacketTransceiver::InterfaceInfo;
// Canned outputs by "program arguments"; a command not in it is missing from the host.
using Tools = QHash<QString, Result>;

Q_DECLARE_METATYPE(Tools)

namespace {

const QString NftList = QStringLiteral("nft -j list ruleset");

Result ran(const QByteArray &output, int exitCode = 0, const QByteArray &errorOutput = {})
{
    return {true, true, exitCode, output, errorOutput};
}

// An nftables ruleset of one table "inet filter" with an input chain of the given policy and rules
// (each a JSON array of expressions).
QByteArray nftRuleset(const char *policy, const QList<QByteArray> &rules, const QByteArray &extra = {})
{
    QByteArray json = R"({"nftables": [{"table": {"family": "inet", "name": "filter", "handle": 1}},
        {"chain": {"family": "inet", "table": "filter", "name": "input", "handle": 1, "type": "filter",
                   "hook": "input", "prio": 0, "policy": ")" +
                      QByteArray(policy) + R"("}},
        {"chain": {"family": "inet", "table": "filter", "name": "allowed", "handle": 9}})" +
                      extra;
    int handle = 2;
    for (const QByteArray &rule : rules) {
        json += R"(, {"rule": {"family": "inet", "table": "filter", "chain": "input", "handle": )" +
                QByteArray::number(handle++) + R"(, "expr": )" + rule + "}}";
    }
    return json + "]}";
}

QByteArray udpDport(const QByteArray &right, const char *verdict)
{
    return R"([{"match": {"op": "==", "left": {"payload": {"protocol": "udp", "field": "dport"}}, "right": )" + right +
           "}}, " + verdict + "]";
}

const QByteArray Established =
    R"([{"match": {"op": "in", "left": {"ct": {"key": "state"}}, "right": ["established", "related"]}}, {"accept": null}])";

Tools nft(const QByteArray &json)
{
    return {{NftList, ran(json)}};
}

const QString NftFix = QStringLiteral("sudo nft insert rule inet filter input udp dport 28244 accept");

const QByteArray UfwHeader = "Status: active\nLogging: on (low)\nDefault: deny (incoming), allow (outgoing), disabled "
                             "(routed)\nNew profiles: skip\n\nTo                         Action      From\n"
                             "--                         ------      ----\n";

} // namespace

class TestNetworkDiagnosis : public QObject
{
    Q_OBJECT

private slots:
    void firewall_data();
    void firewall();
    void interfaces_data();
    void interfaces();
    void portHolder_data();
    void portHolder();
};

void TestNetworkDiagnosis::firewall_data()
{
    QTest::addColumn<Tools>("tools");
    QTest::addColumn<QString>("fix");   // of the one problem; empty: no problem
    QTest::addColumn<QString>("cause"); // a part of the problem's (or note's) cause

    QTest::newRow("nft drop rule") << nft(nftRuleset("accept", {Established, udpDport("28244", R"({"drop": null})")}))
                                   << NftFix << QStringLiteral("(handle 3) in chain input of table inet filter");
    QTest::newRow("nft drop of a named set holding the port")
        << nft(nftRuleset(
               "accept", {udpDport(R"("@blocked")", R"({"drop": null})")},
               R"(, {"set": {"family": "inet", "table": "filter", "name": "blocked", "elem": [53, {"range": [28240, 28250]}]}})"))
        << NftFix << QStringLiteral("(handle 2)");
    QTest::newRow("nft policy drop without accept")
        << nft(nftRuleset("drop", {Established, udpDport("22", R"({"accept": null})")})) << NftFix
        << QStringLiteral("drop policy of the nftables input chain input of table inet filter");
    QTest::newRow("nft policy drop, accept present")
        << nft(nftRuleset("drop", {udpDport(R"({"set": [53, 28244]})", R"({"accept": null})")})) << QString()
        << QString();
    QTest::newRow("nft policy drop, accept in a jumped-to chain")
        << nft(nftRuleset(
               "drop", {R"([{"jump": {"target": "allowed"}}])"},
               R"(, {"rule": {"family": "inet", "table": "filter", "chain": "allowed", "handle": 10, "expr": )" +
                   udpDport("28244", R"({"accept": null})") + "}}"))
        << QString() << QString();
    QTest::newRow("nft drop of other ports and of TCP")
        << nft(nftRuleset(
               "accept",
               {udpDport("28245", R"({"drop": null})"),
                R"([{"match": {"op": "==", "left": {"payload": {"protocol": "tcp", "field": "dport"}}, "right": 28244}}, {"drop": null}])"}))
        << QString() << QString();
    QTest::newRow("nft not readable as a user")
        << Tools{{NftList, ran({}, 1, "Error: Operation not permitted (you must be root)\n")}} << QString()
        << QStringLiteral("Operation not permitted");

    const QString iptablesFix = QStringLiteral("sudo iptables -I INPUT -p udp --dport 28244 -j ACCEPT");
    QTest::newRow("iptables DROP")
        << Tools{{QStringLiteral("iptables-save "),
                  ran("*filter\n:INPUT ACCEPT [0:0]\n:OUTPUT ACCEPT [0:0]\n-A INPUT -i lo -j ACCEPT\n"
                      "-A INPUT -p udp -m udp --dport 28244 -m comment --comment \"no devices\" -j DROP\nCOMMIT\n")}}
        << iptablesFix << QStringLiteral("the iptables rule \"-A INPUT -p udp -m udp --dport 28244");
    QTest::newRow("iptables policy DROP with a multiport ACCEPT")
        << Tools{{QStringLiteral("iptables-save "),
                  ran("*filter\n:INPUT DROP [0:0]\n-A INPUT -p udp -m multiport --dports 53,28000:28300 -j ACCEPT\n"
                      "COMMIT\n")}}
        << QString() << QString();

    const QString ufwStatus = QStringLiteral("ufw status verbose");
    QTest::newRow("ufw active without the rule")
        << Tools{{ufwStatus, ran(UfwHeader + "22/tcp                     ALLOW IN    Anywhere\n")}}
        << QStringLiteral("sudo ufw allow \"Veltra Device Finder\"   (without the package's profile: sudo ufw allow "
                          "28244/udp)")
        << QStringLiteral("ufw is active");
    QTest::newRow("ufw active with the profile")
        << Tools{{ufwStatus, ran(UfwHeader + "Veltra Device Finder       ALLOW IN    Anywhere\n")}} << QString()
        << QString();

    // firewalld's own table is its check's: it is not told twice.
    QTest::newRow("firewalld without the service")
        << Tools{{QStringLiteral("firewall-cmd --state"), ran("running\n")},
                 {QStringLiteral("firewall-cmd --query-service=veltra-device-finder"), ran("no\n", 1)},
                 {QStringLiteral("firewall-cmd --query-port=28244/udp"), ran("no\n", 1)},
                 {NftList,
                  ran(R"({"nftables": [{"chain": {"family": "inet", "table": "firewalld", "name": "filter_INPUT",
                      "hook": "input", "policy": "accept"}}, {"rule": {"family": "inet", "table": "firewalld",
                      "chain": "filter_INPUT", "handle": 5, "expr": [{"reject": null}]}}]})")}}
        << QStringLiteral(
               "sudo firewall-cmd --permanent --add-service=veltra-device-finder && sudo firewall-cmd --reload")
        << QStringLiteral("firewalld is running");
    QTest::newRow("nothing wrong") << Tools{{NftList, ran({})}, {ufwStatus, ran("Status: inactive\n")}} << QString()
                                   << QString();
}

void TestNetworkDiagnosis::firewall()
{
    QFETCH(Tools, tools);
    QFETCH(QString, fix);
    QFETCH(QString, cause);

    const NetworkDiagnosis diagnosis([&tools](const QString &program, const QStringList &arguments) {
        return tools.value(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
    });
    const QList<NetworkDiagnosis::Finding> findings = diagnosis.checkFirewall();
    QCOMPARE(NetworkDiagnosis::hasProblem(findings), !fix.isEmpty());
    QCOMPARE(findings.size(), cause.isEmpty() ? 0 : 1);
    if (cause.isEmpty())
        return;
    QVERIFY2(findings.first().cause.contains(cause), qPrintable(findings.first().cause));
    if (!fix.isEmpty())
        QCOMPARE(findings.first().fix, fix);
}

void TestNetworkDiagnosis::interfaces_data()
{
    QTest::addColumn<QList<Info>>("interfaces");
    QTest::addColumn<QStringList>("fixes");

    const Info loopback{QNetworkInterface::IsUp | QNetworkInterface::IsLoopBack,
                        {},
                        QStringLiteral("lo"),
                        {QStringLiteral("127.0.0.1")}};
    const Info up{QNetworkInterface::IsUp | QNetworkInterface::IsRunning,
                  {},
                  QStringLiteral("eth0"),
                  {QStringLiteral("10.1.2.3")}};
    const Info down{{}, {}, QStringLiteral("eth1"), {QStringLiteral("fe80::1"), QStringLiteral("192.168.5.9")}};
    const Info downWithoutIpv4{{}, {}, QStringLiteral("wlan0"), {QStringLiteral("fe80::2")}};
    QTest::newRow("one up") << QList<Info>{loopback, up, downWithoutIpv4} << QStringList();
    QTest::newRow("another one down") << QList<Info>{loopback, up, down}
                                      << QStringList{QStringLiteral("sudo ip link set eth1 up")};
    QTest::newRow("only loopback") << QList<Info>{loopback}
                                   << QStringList{
                                          QStringLiteral("connect this host to the devices' network and give it "
                                                         "an IPv4 address (DHCP or static); ip -4 addr shows "
                                                         "what it has")};
}

void TestNetworkDiagnosis::interfaces()
{
    QFETCH(QList<Info>, interfaces);
    QFETCH(QStringList, fixes);

    const NetworkDiagnosis diagnosis({}, [&interfaces] { return interfaces; });
    QStringList found;
    const QList<NetworkDiagnosis::Finding> findings = diagnosis.checkInterfaces();
    for (const NetworkDiagnosis::Finding &finding : findings) {
        QCOMPARE(finding.severity, NetworkDiagnosis::Severity::Problem);
        found.append(finding.fix);
    }
    QCOMPARE(found, fixes);
}

void TestNetworkDiagnosis::portHolder_data()
{
    QTest::addColumn<QAbstractSocket::BindMode>("mode");
    QTest::addColumn<bool>("problem");

    QTest::newRow("held without sharing") << QAbstractSocket::BindMode(QAbstractSocket::DontShareAddress) << true;
    QTest::newRow("shared, as the programs hold it")
        << QAbstractSocket::BindMode(QAbstractSocket::ShareAddress) << false;
}

void TestNetworkDiagnosis::portHolder()
{
    QFETCH(QAbstractSocket::BindMode, mode);
    QFETCH(bool, problem);

    QUdpSocket holder;
    QVERIFY2(holder.bind(QHostAddress::AnyIPv4, Protocol::DevicePort, mode), qPrintable(holder.errorString()));
    const QList<NetworkDiagnosis::Finding> findings = NetworkDiagnosis().checkPort();
    QCOMPARE(findings.size(), problem ? 1 : 0);
    if (!problem)
        return;
    QFile comm(QStringLiteral("/proc/self/comm"));
    QVERIFY(comm.open(QIODevice::ReadOnly));
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString named =
        QStringLiteral("held by %1 (pid %2)").arg(QString::fromLocal8Bit(comm.readAll().trimmed()), pid);
    QVERIFY2(findings.first().cause.contains(named), qPrintable(findings.first().cause));
    QCOMPARE(findings.first().fix, QStringLiteral("stop it: kill ") + pid);
}

QTEST_GUILESS_MAIN(TestNetworkDiagnosis)
#include "tst_networkdiagnosis.moc"
