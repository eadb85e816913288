// SPDX-License-Identifier: Apache-2.0
#include "model/devicemodel.h"
#include "model/deviceplan.h"
#include "model/plancheck.h"
#include "model/planmaker.h"
#include "replies.h"

#include <QtTest>

namespace {

const QString Header = QStringLiteral("mac,hostname,config,ip,mask,gateway,domain,dns1,dns2\n");

// A, C and E static (E with a name the rule refuses), B and F on DHCP (F named as A), D not read.
void fillTable(DeviceModel *model)
{
    const auto add = [model](const char *mac, const char *host, const char *ip, const char *ipConfig) {
        model->onDeviceReplyReceived(
            Replies::config(QLatin1String(mac), QLatin1String(host), QLatin1String(ip), QLatin1String(ipConfig)));
    };
    add("00:1A:2B:3C:4D:0A", "cam-a", "192.168.1.10", "0");
    add("00:1A:2B:3C:4D:0B", "cam-b", "192.168.1.11", "1");
    add("00:1A:2B:3C:4D:0C", "cam-c", "192.168.1.12", "0");
    model->onDeviceReplyReceived(Replies::info(QStringLiteral("00:1A:2B:3C:4D:0D"), QStringLiteral("Cam D")));
    add("00:1A:2B:3C:4D:0E", "x", "192.168.1.14", "0");
    add("00:1A:2B:3C:4D:0F", "cam-a", "0.0.0.0", "1"); // waiting for its lease
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
    void init() { fillTable(&model); }
    void cleanup() { model.removeRows(0, model.rowCount()); }

    void hostNameCounter_data();
    void hostNameCounter();
    void makeStatic_data();
    void makeStatic();
    void makeSharedValues();
    void check_data();
    void check();
    void csvRoundTrip();
    void malformedCsv_data();
    void malformedCsv();
    void valuesToSend();

private:
    DeviceModel model;
};

void TestDevicePlan::hostNameCounter_data()
{
    QTest::addColumn<QString>("nameTemplate");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("n") << QStringLiteral("cam-{n}") << 7 << QStringLiteral("cam-7");
    QTest::newRow("nn padded") << QStringLiteral("cam-{nn}") << 1 << QStringLiteral("cam-01");
    QTest::newRow("nnn padded") << QStringLiteral("cam-{nnn}") << 12 << QStringLiteral("cam-012");
    QTest::newRow("nn wider than two") << QStringLiteral("cam-{nn}") << 123 << QStringLiteral("cam-123");
    QTest::newRow("two counters") << QStringLiteral("r{n}-{nnn}") << 5 << QStringLiteral("r5-005");
    QTest::newRow("no counter") << QStringLiteral("cam") << 3 << QStringLiteral("cam");
    QTest::newRow("not a counter") << QStringLiteral("c{nnnn}{x}") << 3 << QStringLiteral("c{nnnn}{x}");
}

void TestDevicePlan::hostNameCounter()
{
    QFETCH(QString, nameTemplate);
    QFETCH(int, number);
    QTEST(PlanMaker::hostName(nameTemplate, number), "name");
}

void TestDevicePlan::makeStatic_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("devices");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("error");
    const QString m24 = QStringLiteral("255.255.255.0");
    QTest::newRow("skips the table's addresses")
        << QStringLiteral("192.168.1.9") << m24 << 3 << QStringList{"192.168.1.9", "192.168.1.13", "192.168.1.15"}
        << QString();
    QTest::newRow("up to the last host") << QStringLiteral("192.168.1.253") << m24 << 2
                                         << QStringList{"192.168.1.253", "192.168.1.254"} << QString();
    QTest::newRow("never the broadcast")
        << QStringLiteral("192.168.1.253") << m24 << 3 << QStringList()
        << QStringLiteral("the free addresses from 192.168.1.253 to 192.168.1.254 are not enough: 1 of 3 devices got "
                          "none");
    QTest::newRow("used addresses run out the subnet")
        << QStringLiteral("192.168.1.10") << QStringLiteral("255.255.255.248") << 3 << QStringList()
        << QStringLiteral("the free addresses from 192.168.1.10 to 192.168.1.14 are not enough: 2 of 3 devices got "
                          "none");
    QTest::newRow("crosses no octet beyond the mask")
        << QStringLiteral("10.0.0.254") << QStringLiteral("255.255.254.0") << 3
        << QStringList{"10.0.0.254", "10.0.0.255", "10.0.1.0"} << QString();
    QTest::newRow("first is the broadcast") << QStringLiteral("192.168.1.255") << m24 << 1 << QStringList()
                                            << QStringLiteral("first address: 192.168.1.255 is the broadcast "
                                                              "address of mask 255.255.255.0");
    QTest::newRow("mask refused") << QStringLiteral("192.168.1.20") << QStringLiteral("255.0.255.0") << 1
                                  << QStringList()
                                  << QStringLiteral("mask: \"255.0.255.0\" must be a subnet mask of contiguous bits "
                                                    "such as 255.255.255.0");
}

void TestDevicePlan::makeStatic()
{
    QFETCH(QString, first);
    QFETCH(QString, mask);
    QFETCH(int, devices);
    QFETCH(QStringList, addresses);
    QStringList macs;
    for (int i = 0; i < devices; ++i)
        macs.append(QStringLiteral("02:00:00:00:00:%1").arg(i, 2, 10, QLatin1Char('0')));
    PlanMaker::Settings settings;
    settings.dhcp = false;
    settings.firstAddress = first;
    settings.mask = mask;
    QString error;
    const DevicePlan plan = PlanMaker::make(macs, model, settings, &error);
    QTEST(error, "error");
    QStringList made;
    for (const DevicePlan::Row &row : plan.rows())
        made.append(row.ip);
    QCOMPARE(made, addresses);
}

void TestDevicePlan::makeSharedValues()
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
             (QStringList{"1 hostname", "2 hostname"}));
}

void TestDevicePlan::check_data()
{
    QTest::addColumn<QString>("csv");
    QTest::addColumn<QStringList>("problems");
    const auto row = [](const QString &rest, const char *mac = "0A") {
        return QStringLiteral("00:1a:2b:3c:4d:%1,%2\n").arg(QLatin1String(mac), rest);
    };
    QTest::newRow("good, MAC in lower case") << row("cam-x,static,192.168.1.50,,,,,") << QStringList();
    QTest::newRow("own refused name kept") << row("x,,,,,,,", "0E") << QStringList();
    QTest::newRow("addresses swapped") << row(",,192.168.1.12,,,,,") + row(",,192.168.1.10,,,,,", "0C")
                                       << QStringList();
    QTest::newRow("kept conflicts are not the plan's")
        << row(",DHCP,,,,,,") + row(",DHCP,,,,,,", "0F") << QStringList();
    QTest::newRow("address left for DHCP") << row(",,192.168.1.12,,,,,") + row(",DHCP,,,,,,", "0C") << QStringList();
    QTest::newRow("empty mac") << QStringLiteral(",,,,,,,,\n") << QStringList{"1 mac"};
    QTest::newRow("unknown mac") << row(",,,,,,,", "99") << QStringList{"1 mac"};
    QTest::newRow("mac twice") << row(",,,,,,,") + row(",,,,,,,").toUpper() << QStringList{"2 mac"};
    QTest::newRow("configuration not read") << row(",,,,,,,", "0D") << QStringList{"1 mac"};
    QTest::newRow("hostname rule") << row("1cam,,,,,,,") << QStringList{"1 hostname"};
    QTest::newRow("ip rule") << row(",,192.168.1.256,,,,,") << QStringList{"1 ip"};
    QTest::newRow("mask rule") << row(",,,255.0.255.0,,,,") << QStringList{"1 mask"};
    QTest::newRow("gateway rule") << row(",,,,192.168.1,,,") << QStringList{"1 gateway"};
    QTest::newRow("domain rule") << row(",,,,," + QString(80, QLatin1Char('d')) + ",,") << QStringList{"1 domain"};
    QTest::newRow("dns rules") << row(",,,,,,1.2.3.04,x") << QStringList{"1 dns1", "1 dns2"};
    QTest::newRow("DHCP to static needs ip and mask") << row(",static,,,,,,", "0B") << QStringList{"1 ip", "1 mask"};
    QTest::newRow("kept ip, network address of new mask") << row(",,,255.255.255.254,,,,") << QStringList{"1 ip"};
    QTest::newRow("broadcast address") << row(",,192.168.1.255,,,,,") << QStringList{"1 ip"};
    QTest::newRow("address twice") << row(",,192.168.1.50,,,,,") + row(",,192.168.1.50,,,,,", "0C")
                                   << QStringList{"1 ip", "2 ip"};
    QTest::newRow("address of a device outside") << row(",,192.168.1.12,,,,,") << QStringList{"1 ip"};
    QTest::newRow("lease of a device staying on DHCP")
        << row(",,192.168.1.11,,,,,") + row(",,,,,,,", "0B") << QStringList{"1 ip"};
    QTest::newRow("host name twice, any case")
        << row("Cam,,,,,,,") + row("cAM,,,,,,,", "0C") << QStringList{"1 hostname", "2 hostname"};
    QTest::newRow("host name of a device outside") << row("CAM-C,,,,,,,") << QStringList{"1 hostname"};
    QTest::newRow("kept host name of a planned device")
        << row("cam-b,,,,,,,") + row(",,,,,,,", "0B") << QStringList{"1 hostname"};
}

void TestDevicePlan::check()
{
    QFETCH(QString, csv);
    QList<DevicePlan::Problem> problems;
    const DevicePlan plan = DevicePlan::fromCsv((Header + csv).toUtf8(), &problems);
    QVERIFY(problems.isEmpty());
    const PlanCheck check(plan, model);
    QTEST(places(check.problems()), "problems");
    QCOMPARE(check.ok(), check.problems().isEmpty());
    for (const DevicePlan::Problem &problem : check.problems())
        QCOMPARE(problem.line, problem.row + 1); // one line per row here
}

void TestDevicePlan::csvRoundTrip()
{
    const DevicePlan plan({{"00:1A:2B:3C:4D:0A", "cam", "static", "10.0.0.2", "255.0.0.0", "", "a,b", "", ""},
                           {"00:1A:2B:3C:4D:0B", "", "", "", "", "", "say \"hi\"\r\nthere\nÄ", "", ""}});
    const QByteArray csv = plan.toCsv();
    QVERIFY(csv.startsWith("mac,hostname,config,ip,mask,gateway,domain,dns1,dns2\r\n"
                           "00:1A:2B:3C:4D:0A,cam,static,10.0.0.2,255.0.0.0,,\"a,b\",,\r\n"));
    QList<DevicePlan::Problem> problems;
    const DevicePlan read = DevicePlan::fromCsv(csv, &problems);
    QCOMPARE(problems, {});
    QCOMPARE(read.rows(), plan.rows());
    QCOMPARE(read.lineOf(1), 3);
    // LF line ends, a byte order mark, empty lines and the config in any letter case.
    const DevicePlan loose = DevicePlan::fromCsv("\xEF\xBB\xBF" + Header.toUtf8() + "\na,,dhcp,,,,,,\n\n", &problems);
    QCOMPARE(problems, {});
    QCOMPARE(loose.rows().value(0).config, QStringLiteral("DHCP"));
    QCOMPARE(loose.lineOf(0), 3);
}

void TestDevicePlan::malformedCsv_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("problem");
    const QByteArray header = Header.toUtf8();
    const QByteArray good = "a,,,,,,,,\r\n";
    QTest::newRow("empty") << QByteArray() << QStringLiteral("line 1: no header line");
    QTest::newRow("wrong header") << QByteArray("mac,hostname\n")
                                  << QStringLiteral("line 1: the first line must be \"") + Header.trimmed() + '"';
    QTest::newRow("too few fields") << header + good + "a,b\n"
                                    << QStringLiteral("line 3 (row 2): 2 fields, expected 9");
    QTest::newRow("too many fields") << header + "a,,,,,,,,,\n"
                                     << QStringLiteral("line 2 (row 1): 10 fields, expected 9");
    QTest::newRow("unknown config") << header + "a,,Static IP,,,,,,\n"
                                    << QStringLiteral(
                                           "line 2 (row 1), config: \"Static IP\" is neither DHCP nor static");
    QTest::newRow("unterminated quote") << header + good + "a,\"cam\n,,,,,,,\n"
                                        << QStringLiteral("line 3: a quoted field is not closed");
    QTest::newRow("text after a quote") << header + "a,\"cam\"x,,,,,,,\n"
                                        << QStringLiteral("line 2: text after the closing quote of a field");
    QTest::newRow("quote within a field")
        << header + "a,ca\"m,,,,,,,\n"
        << QStringLiteral("line 2: a quote within a field that does not start with one");
    QTest::newRow("not UTF-8") << header + good + "a,\xff,,,,,,,\n" << QStringLiteral("line 3: not UTF-8 text");
    QTest::newRow("too many rows") << header + good.repeated(DevicePlan::MaxRows + 1)
                                   << QStringLiteral("line 65538: more than 65536 rows");
    QTest::newRow("too large") << header + QByteArray(DevicePlan::MaxCsvBytes, ',')
                               << QStringLiteral("larger than 4 MiB");
}

void TestDevicePlan::malformedCsv()
{
    QFETCH(QByteArray, csv);
    QList<DevicePlan::Problem> problems;
    const DevicePlan plan = DevicePlan::fromCsv(csv, &problems);
    QCOMPARE(problems.size(), 1);
    QTEST(problems.first().toString(), "problem");
    QVERIFY(plan.rows().isEmpty());
}

void TestDevicePlan::valuesToSend()
{
    const NetworkConfigBody current = *DevicePlan::currentConfig(model, QStringLiteral("00:1a:2b:3c:4d:0b"));
    NetworkConfigBody expected = current;
    expected.hostName = QStringLiteral("gate");
    expected.ipConfig = QStringLiteral("0");
    expected.ipAddress = QStringLiteral("192.168.1.60");
    expected.secondaryDns = QStringLiteral("192.168.1.2");
    QCOMPARE(DevicePlan::valuesToSend({"x", "gate", "static", "192.168.1.60", "", "", "", "", "192.168.1.2"}, current),
             expected);
    QCOMPARE(DevicePlan::valuesToSend({}, current), current); // DHCP kept
    NetworkConfigBody otherForm = current;
    otherForm.ipConfig = QStringLiteral("2"); // static too
    QCOMPARE(DevicePlan::valuesToSend({}, otherForm).ipConfig, QStringLiteral("0"));
    QCOMPARE(DevicePlan::valuesToSend({"x", "", "dhcp", "", "", "", "", "", ""}, otherForm).ipConfig,
             QStringLiteral("1"));
}

QTEST_MAIN(TestDevicePlan)

#include "tst_deviceplan.moc"
