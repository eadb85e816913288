// SPDX-License-Identifier: Apache-2.0
#include "model/devicemodel.h"
#include "model/deviceplan.h"
#include "model/plancheck.h"
#include "model/planmaker.h"
#include "replies.h"

#include <QtTest>

namespace {

const QString Header = QStringLiteral("mac,hostname,config,ip,mask,gateway,domain,dns1,dns2\n");

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QStringList places(const QList<DevicePlan::Problem> &problems)
{
    QStringList found;
    for (const DevicePlan::Problem &problem : problems)
        found.append(QStringLiteral("%1 %2").arg(problem.row).arg(problem.field));
    return found;
}

} // namespace

class TestDevicePlan : public QObject
{
    Q_OBJECT

private slots:
    // A, C and E static (E with a name the rule refuses), B and F on DHCP (F named as A), D not read.
    void initTestCase()
    {
        const auto add = [this](const char *mac, const char *host, const char *ip, const char *ipConfig) {
            model.onDeviceReplyReceived(
                Replies::config(QLatin1String(mac), QLatin1String(host), QLatin1String(ip), QLatin1String(ipConfig)));
        };
        add("00:1A:2B:3C:4D:0A", "cam-a", "192.168.1.10", "0");
        add("00:1A:2B:3C:4D:0B", "cam-b", "192.168.1.11", "1");
        add("00:1A:2B:3C:4D:0C", "cam-c", "192.168.1.12", "0");
        model.onDeviceReplyReceived(Replies::info(QStringLiteral("00:1A:2B:3C:4D:0D"), QStringLiteral("Cam D")));
        add("00:1A:2B:3C:4D:0E", "x", "192.168.1.14", "0");
        add("00:1A:2B:3C:4D:0F", "cam-a", "0.0.0.0", "1"); // waiting for its lease
    }

    void hostNameCounter_data()
    {
        QTest::addColumn<QString>("nameTemplate");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("name");
        QTest::newRow("n") << text("cam-{n}") << 7 << text("cam-7");
        QTest::newRow("nn padded") << text("cam-{nn}") << 1 << text("cam-01");
        QTest::newRow("nnn padded") << text("cam-{nnn}") << 12 << text("cam-012");
        QTest::newRow("nn wider than two") << text("cam-{nn}") << 123 << text("cam-123");
        QTest::newRow("two counters") << text("r{n}-{nnn}") << 5 << text("r5-005");
        QTest::newRow("not counters") << text("c{nnnn}{x}") << 3 << text("c{nnnn}{x}");
    }
    void hostNameCounter()
    {
        QFETCH(QString, nameTemplate);
        QFETCH(int, number);
        QTEST(PlanMaker::hostName(nameTemplate, number), "name");
    }

    // The addresses made, or the end of the error.
    void makeStatic_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<int>("devices");
        QTest::addColumn<QString>("made");
        const auto add = [](const char *name, const char *first, const char *mask, int devices, const char *made) {
            QTest::newRow(name) << text(first) << text(mask) << devices << text(made);
        };
        add("skips used", "192.168.1.9", "255.255.255.0", 3, "192.168.1.9 192.168.1.13 192.168.1.15");
        add("to the last host", "192.168.1.253", "255.255.255.0", 2, "192.168.1.253 192.168.1.254");
        add("not the broadcast", "192.168.1.253", "255.255.255.0", 3, ".254 are not enough: 1 of 3 devices got none");
        add("used run out", "192.168.1.10", "255.255.255.248", 3, ".14 are not enough: 2 of 3 devices got none");
        add("over .255 in the subnet", "10.0.0.254", "255.255.254.0", 3, "10.0.0.254 10.0.0.255 10.0.1.0");
        add("first is broadcast", "192.168.1.255", "255.255.255.0", 1, "broadcast address of mask 255.255.255.0");
        add("mask refused", "192.168.1.20", "255.0.255.0", 1, "contiguous bits such as 255.255.255.0");
    }
    void makeStatic()
    {
        QFETCH(QString, first);
        QFETCH(QString, mask);
        QFETCH(int, devices);
        QFETCH(QString, made);
        const QStringList macs(devices, QStringLiteral("02:00:00:00:00:01")); // the maker looks at none
        QString error;
        const DevicePlan plan = PlanMaker::make(macs, model, {false, first, mask, {}, {}, {}, {}, {}, 1}, &error);
        QStringList addresses;
        for (const DevicePlan::Row &row : plan.rows())
            addresses.append(row.ip);
        QCOMPARE(error.isEmpty() ? addresses.join(QLatin1Char(' ')) : error.right(made.size()), made);
    }

    void makeSharedValues()
    {
        const QStringList macs{QStringLiteral("00:1A:2B:3C:4D:0A"), QStringLiteral("00:1A:2B:3C:4D:0C")};
        PlanMaker::Settings settings;
        settings.hostNameTemplate = QStringLiteral("cam-{nn}");
        settings.firstNumber = 9;
        settings.gateway = QStringLiteral("192.168.1.1");
        QString error;
        const DevicePlan dhcp = PlanMaker::make(macs, model, settings, &error);
        QCOMPARE(dhcp.rows(), (QList<DevicePlan::Row>{{macs[0], "cam-09", "DHCP", "", "", "192.168.1.1", "", "", ""},
                                                      {macs[1], "cam-10", "DHCP", "", "", "192.168.1.1", "", "", ""}}));
        QVERIFY(PlanCheck(dhcp, model).ok());
        // A name without a counter is made as given; the check refuses it.
        settings.hostNameTemplate = QStringLiteral("cam");
        QCOMPARE(places(PlanCheck(PlanMaker::make(macs, model, settings, &error), model).problems()),
                 (QStringList({"1 hostname", "2 hostname"})));
    }

    void check_data()
    {
        QTest::addColumn<QString>("csv");
        QTest::addColumn<QString>("problems"); // "row field", ";" between
        const auto row = [](const QString &rest, const char *mac = "0A") {
            return QStringLiteral("00:1a:2b:3c:4d:%1,%2\n").arg(QLatin1String(mac), rest);
        };
        const auto add = [](const char *name, const QString &csv, const char *problems) {
            QTest::newRow(name) << csv << text(problems);
        };
        add("good, MAC in lower case", row("cam-x,static,192.168.1.50,,,,,"), "");
        add("own refused name kept", row("x,,,,,,,", "0E"), "");
        add("addresses swapped", row(",,192.168.1.12,,,,,") + row(",,192.168.1.10,,,,,", "0C"), "");
        add("kept conflicts are not the plan's", row(",DHCP,,,,,,") + row(",DHCP,,,,,,", "0F"), "");
        add("address left for DHCP", row(",,192.168.1.12,,,,,") + row(",DHCP,,,,,,", "0C"), "");
        add("empty mac", QStringLiteral(",,,,,,,,\n"), "1 mac");
        add("unknown mac", row(",,,,,,,", "99"), "1 mac");
        add("mac twice", row(",,,,,,,") + row(",,,,,,,").toUpper(), "2 mac");
        add("configuration not read", row(",,,,,,,", "0D"), "1 mac");
        add("hostname rule", row("1cam,,,,,,,"), "1 hostname");
        add("ip rule", row(",,192.168.1.256,,,,,"), "1 ip");
        add("mask rule", row(",,,255.0.255.0,,,,"), "1 mask");
        add("gateway rule", row(",,,,192.168.1,,,"), "1 gateway");
        add("domain rule", row(",,,,," + QString(80, QLatin1Char('d')) + ",,"), "1 domain");
        add("dns rules", row(",,,,,,1.2.3.04,x"), "1 dns1;1 dns2");
        add("DHCP to static needs ip and mask", row(",static,,,,,,", "0B"), "1 ip;1 mask");
        add("kept ip, network address of new mask", row(",,,255.255.255.254,,,,"), "1 ip");
        add("broadcast address", row(",,192.168.1.255,,,,,"), "1 ip");
        add("address twice", row(",,192.168.1.50,,,,,") + row(",,192.168.1.50,,,,,", "0C"), "1 ip;2 ip");
        add("address of a device outside", row(",,192.168.1.12,,,,,"), "1 ip");
        add("lease of a device staying on DHCP", row(",,192.168.1.11,,,,,") + row(",,,,,,,", "0B"), "1 ip");
        add("host name twice, any case", row("Cam,,,,,,,") + row("cAM,,,,,,,", "0C"), "1 hostname;2 hostname");
        add("host name of a device outside", row("CAM-C,,,,,,,"), "1 hostname");
        add("kept host name of a planned device", row("cam-b,,,,,,,") + row(",,,,,,,", "0B"), "1 hostname");
    }
    void check()
    {
        QFETCH(QString, csv);
        QList<DevicePlan::Problem> problems;
        const DevicePlan plan = DevicePlan::fromCsv((Header + csv).toUtf8(), &problems);
        QVERIFY(problems.isEmpty());
        QTEST(places(PlanCheck(plan, model).problems()).join(QLatin1Char(';')), "problems");
    }
    void csvRoundTrip()
    {
        const DevicePlan plan({{"00:1A:2B:3C:4D:0B", "", "", "", "", "", "say \"hi\"\r\nthere\nÄ", "", ""},
                               {"00:1A:2B:3C:4D:0A", "cam", "static", "10.0.0.2", "255.0.0.0", "", "a,b", "", ""}});
        const QByteArray csv = plan.toCsv();
        QVERIFY(csv.endsWith("\r\n00:1A:2B:3C:4D:0A,cam,static,10.0.0.2,255.0.0.0,,\"a,b\",,\r\n"));
        QList<DevicePlan::Problem> problems;
        const DevicePlan read = DevicePlan::fromCsv(csv, &problems);
        QCOMPARE(problems, {});
        QCOMPARE(read.rows(), plan.rows());
        QCOMPARE(read.lineOf(1), 5); // after the line ends within quotes
        // LF line ends, a byte order mark, empty lines and the config in any letter case.
        const DevicePlan loose =
            DevicePlan::fromCsv("\xEF\xBB\xBF" + Header.toUtf8() + "\na,,dhcp,,,,,,\n\n", &problems);
        QCOMPARE(problems, {});
        QCOMPARE(loose.rows().value(0).config, QStringLiteral("DHCP"));
        QCOMPARE(loose.lineOf(0), 3);
    }

    void malformedCsv_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("problem"); // where
        const QByteArray header = Header.toUtf8();
        const QByteArray good = "a,,,,,,,,\r\n";
        QTest::newRow("empty") << QByteArray() << text("line 1");
        QTest::newRow("wrong header") << QByteArray("mac,hostname\n") << text("line 1");
        QTest::newRow("too few fields") << header + good + "a,b\n" << text("line 3 (row 2)");
        QTest::newRow("too many fields") << header + "a,,,,,,,,,\n" << text("line 2 (row 1)");
        QTest::newRow("unknown config") << header + "a,,Static IP,,,,,,\n" << text("line 2 (row 1), config");
        QTest::newRow("unterminated quote") << header + good + "a,\"cam\n,,,,,,,\n" << text("line 3");
        QTest::newRow("text after a quote") << header + "a,\"cam\"x,,,,,,,\n" << text("line 2");
        QTest::newRow("quote within a field") << header + "a,ca\"m\",,,,,,,\n" << text("line 2");
        QTest::newRow("not UTF-8") << header + good + "a,\xff,,,,,,,\n" << text("line 3");
        QTest::newRow("too many rows") << header + good.repeated(DevicePlan::MaxRows + 1) << text("line 65538");
        QTest::newRow("too large") << header + QByteArray(DevicePlan::MaxCsvBytes, ',') << text("larger than 4 MiB");
    }
    void malformedCsv()
    {
        QFETCH(QByteArray, csv);
        QList<DevicePlan::Problem> problems;
        QVERIFY(DevicePlan::fromCsv(csv, &problems).rows().isEmpty()); // half a plan is none
        QTEST(problems.value(0).toString().section(QLatin1Char(':'), 0, 0) + problems.value(1).toString(), "problem");
    }
    void valuesToSend()
    {
        const NetworkConfigBody current = *DevicePlan::currentConfig(model, QStringLiteral("00:1a:2b:3c:4d:0b"));
        const NetworkConfigBody sent =
            DevicePlan::valuesToSend({"x", "gate", "static", "192.168.1.60", "", "", "", "", "192.168.1.2"}, current);
        QCOMPARE(QStringList({sent.hostName, sent.ipConfig, sent.ipAddress, sent.subnetMask, sent.secondaryDns}),
                 QStringList({"gate", "0", "192.168.1.60", "255.255.255.0", "192.168.1.2"}));
        QCOMPARE(DevicePlan::valuesToSend({}, current), current); // DHCP kept
        NetworkConfigBody otherForm = current;
        otherForm.ipConfig = QStringLiteral("2"); // static too
        QCOMPARE(DevicePlan::valuesToSend({}, otherForm).ipConfig, QStringLiteral("0"));
        QCOMPARE(DevicePlan::valuesToSend({"x", "", "dhcp", "", "", "", "", "", ""}, otherForm).ipConfig,
                 QStringLiteral("1"));
    }

private:
    DeviceModel model;
};

QTEST_MAIN(TestDevicePlan)

#include "tst_deviceplan.moc"
