// SPDX-License-Identifier: Apache-2.0
#include "devsim/devicelistreader.h"
#include "devsim/simulatoroptions.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList arguments(const QString &line)
{
    return QStringList{QStringLiteral("veltra-devsim")} + line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class TestDeviceList : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryKey();
    void appliesTemplateAndDefaults();
    void badLists_data();
    void badLists();
    void fileErrorsNameTheFile();
    void generates_data();
    void generates();
    void badOptions_data();
    void badOptions();
    void combinesListAndGenerated();
};

void TestDeviceList::readsEveryKey()
{
    const QByteArray json = R"([{"mac": "02:5a:00:00:01:01", "deviceName": "Panoryx P7", "firmware": "0.9.17-rc3",
        "productType": "7", "hostName": "lab-gate", "dhcp": true, "ip": "192.168.77.32", "mask": "255.255.0.0",
        "domain": "lab.example", "gateway": "192.168.77.254", "dns1": "192.168.77.253", "dns2": "192.168.77.252",
        "protocolVersion": 3, "user": "service", "password": "p\u00e4ss", "silent": true, "answers": "config",
        "resultCode": 2147483651, "delay": 250, "jitter": 0, "restartTime": 4000, "lowercaseMac": true, "dropRate": 35}])";
    QString error;
    const auto devices = DeviceListReader::fromJson(json, DeviceProfile(), &error);
    QVERIFY2(devices, qPrintable(error));
    QCOMPARE(devices->size(), 1);
    const DeviceProfile &d = devices->constFirst();
    QCOMPARE(d.mac, QStringLiteral("02:5a:00:00:01:01"));
    QCOMPARE(d.deviceName, QStringLiteral("Panoryx P7"));
    QCOMPARE(d.firmware, QStringLiteral("0.9.17-rc3"));
    QCOMPARE(d.productType, QStringLiteral("7"));
    QCOMPARE(d.config.hostName, QStringLiteral("lab-gate"));
    QCOMPARE(d.config.ipConfig, QStringLiteral("1"));
    QCOMPARE(d.config.ipAddress, QStringLiteral("192.168.77.32"));
    QCOMPARE(d.config.subnetMask, QStringLiteral("255.255.0.0"));
    QCOMPARE(d.config.domain, QStringLiteral("lab.example"));
    QCOMPARE(d.config.gateway, QStringLiteral("192.168.77.254"));
    QCOMPARE(d.config.primaryDns, QStringLiteral("192.168.77.253"));
    QCOMPARE(d.config.secondaryDns, QStringLiteral("192.168.77.252"));
    QCOMPARE(int(d.protocolVersion), 3);
    QCOMPARE(d.user, QStringLiteral("service"));
    QCOMPARE(d.password, QStringLiteral("p\u00e4ss"));
    QVERIFY(d.silent);
    QCOMPARE(d.answers, AnswerScope::ConfigOnly);
    QCOMPARE(d.resultCode, 2147483651u);
    QCOMPARE(d.delayMs, 250);
    QCOMPARE(d.jitterMs, 0);
    QCOMPARE(d.restartTimeMs, 4000);
    QVERIFY(d.lowercaseMac);
    QCOMPARE(d.dropPercent, 35);
}

void TestDeviceList::appliesTemplateAndDefaults()
{
    DeviceProfile deviceTemplate;
    deviceTemplate.jitterMs = 9;
    deviceTemplate.user = QStringLiteral("root");
    const QByteArray json = R"([{"mac": "02:00:00:00:00:0a"},
                                {"mac": "02:00:00:00:00:0B", "jitter": 0, "user": "x", "productType": 120}])";
    QString error;
    const auto devices = DeviceListReader::fromJson(json, deviceTemplate, &error);
    QVERIFY2(devices, qPrintable(error));
    const DeviceProfile &first = devices->at(0);
    QCOMPARE(first.jitterMs, 9);
    QCOMPARE(first.user, QStringLiteral("root"));
    QCOMPARE(first.config.hostName, QStringLiteral("veltra-00000a"));
    QCOMPARE(first.config.ipAddress, QStringLiteral("0.0.0.0"));
    QVERIFY(!first.config.isDhcp());
    QCOMPARE(int(first.protocolVersion), 4);
    QCOMPARE(devices->at(1).jitterMs, 0);
    QCOMPARE(devices->at(1).user, QStringLiteral("x"));
    QCOMPARE(devices->at(1).productType, QStringLiteral("120"));
}

void TestDeviceList::badLists_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("message");

    QTest::newRow("no JSON") << QByteArray("[{\"mac\": \"02:00:00:00:00:01\",]") << QStringLiteral("line 1, column");
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("not valid JSON");
    QTest::newRow("object instead of list")
        << QByteArray(R"({"mac": "02:00:00:00:00:01"})") << QStringLiteral("must be a JSON array");
    QTest::newRow("empty list") << QByteArray("[]") << QStringLiteral("empty");
    QTest::newRow("entry no object") << QByteArray(R"(["02:00:00:00:00:01"])")
                                     << QStringLiteral("device 1: must be a JSON object");
    QTest::newRow("no mac") << QByteArray(R"([{"ip": "192.168.1.1"}])") << QStringLiteral("\"mac\" is missing");
    QTest::newRow("mac no text") << QByteArray(R"([{"mac": 2}])") << QStringLiteral("\"mac\" must be a text");
    const char *badMacs[] = {"02:00:00:00:00", "02-00-00-00-00-01", "02:00:00:00:00:0G", "2:00:00:00:00:01a", ""};
    for (const char *mac : badMacs)
        QTest::addRow("mac \"%s\"", mac) << QByteArray(R"([{"mac": ")") + mac + R"("}])"
                                         << QStringLiteral("\"mac\" must be six two-digit");
    QTest::newRow("mac broadcast") << QByteArray(R"([{"mac": "ff:ff:ff:ff:ff:ff"}])")
                                   << QStringLiteral("must not be the broadcast");
    QTest::newRow("second device named") << QByteArray(R"([{"mac": "02:00:00:00:00:01"}, {"mac": "02:00:00:00:00:02",
                                                           "ip": "192.168.1"}])")
                                         << QStringLiteral("device 2 (02:00:00:00:00:02): \"ip\" must be a dotted");
    QTest::newRow("unknown key") << QByteArray(R"([{"mac": "02:00:00:00:00:01", "lowerCaseMac": true}])")
                                 << QStringLiteral("unknown key \"lowerCaseMac\"");
    const char *badAddresses[][2] = {
        {"ip", "192.168.1.256"}, {"mask", ""}, {"gateway", "gw"}, {"dns1", "1.2.3.4.5"}, {"dns2", "1..2.3"}};
    for (const auto &address : badAddresses)
        QTest::addRow("%s \"%s\"", address[0], address[1])
            << QByteArray(R"([{"mac": "02:00:00:00:00:01", ")") + address[0] + R"(": ")" + address[1] + R"("}])"
            << QStringLiteral("\"%1\" must be a dotted IPv4").arg(QLatin1String(address[0]));
    const char *badValues[][3] = {
        {"dhcp", "\"yes\"", "true or false"},
        {"protocolVersion", "256", "from 0 to 255"},
        {"protocolVersion", "3.5", "whole number"},
        {"delay", "-1", "from 0 to 3600000"},
        {"jitter", "\"5\"", "whole number"},
        {"resultCode", "4294967296", "from 0 to 4294967295"},
        {"answers", "\"none\"", "\"all\", \"info\", \"config\" or \"read\""},
        {"productType", "1000", "from 0 to 999"},
        {"dropRate", "101", "from 0 to 100"},
        {"dropRate", "12.5", "whole number"},
        {"productType", "\"1234\"", "longer than 3"},
        {"firmware", "\"12345678901234567890\"", "longer than 19"},
        {"hostName", "\"a-host-name-of-25-letters\"", "longer than 24"},
        {"user", "\"\\u0141ukasz\"", "outside Latin-1"},
        {"password", "\"a\\u0000b\"", "NUL"},
    };
    for (const auto &value : badValues)
        QTest::addRow("%s %s", value[0], value[1])
            << QByteArray(R"([{"mac": "02:00:00:00:00:01", ")") + value[0] + "\": " + value[1] + "}]"
            << QString::fromLatin1(value[2]);
    QTest::newRow("credentials too long")
        << QByteArray(R"([{"mac": "02:00:00:00:00:01", "password": ")") + QByteArray(92, 'p') + R"("}])"
        << QStringLiteral("together are longer");
}

void TestDeviceList::badLists()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, message);
    QString error;
    QVERIFY(!DeviceListReader::fromJson(json, DeviceProfile(), &error));
    QVERIFY2(error.contains(message), qPrintable(error));
}

void TestDeviceList::fileErrorsNameTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("devices.json"));
    QString error;
    QVERIFY(!DeviceListReader::fromFile(path, DeviceProfile(), &error));
    QVERIFY2(error.contains(path) && error.contains(QLatin1String("cannot read")), qPrintable(error));

    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[\n  {\"mac\": \"02:00:00:00:00:01\"}\n  {\"mac\": \"02:00:00:00:00:02\"}\n]\n");
    file.close();
    QVERIFY(!DeviceListReader::fromFile(path, DeviceProfile(), &error));
    QVERIFY2(error.startsWith(path + QLatin1String(": not valid JSON at line 3")), qPrintable(error));
}

void TestDeviceList::generates_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("lastMac");
    QTest::addColumn<QString>("lastIp");
    QTest::addColumn<int>("lastVersion");

    QTest::newRow("defaults") << QStringLiteral("--count 3") << QStringLiteral("02:00:00:00:00:03")
                              << QStringLiteral("192.168.77.102") << 4;
    QTest::newRow("carry into the next byte")
        << QStringLiteral("--count 2 --mac-base 0a:00:00:00:00:ff --ip-base 192.168.77.255")
        << QStringLiteral("0A:00:00:00:01:00") << QStringLiteral("192.168.78.0") << 3;
    QTest::newRow("fixed version") << QStringLiteral("--count 4 --protocol-version 7")
                                   << QStringLiteral("02:00:00:00:00:04") << QStringLiteral("192.168.77.103") << 7;
    QTest::newRow("five thousand") << QStringLiteral("--count 5000") << QStringLiteral("02:00:00:00:13:88")
                                   << QStringLiteral("192.168.96.235") << 3;
}

void TestDeviceList::generates()
{
    QFETCH(QString, options);
    QFETCH(QString, lastMac);
    QFETCH(QString, lastIp);
    QFETCH(int, lastVersion);
    QString error;
    const auto parsed = SimulatorOptions::parse(arguments(options), &error);
    QVERIFY2(parsed, qPrintable(error));
    const auto devices = parsed->devices(&error);
    QVERIFY2(devices, qPrintable(error));
    const DeviceProfile &last = devices->constLast();
    QCOMPARE(last.mac, lastMac);
    QCOMPARE(last.config.ipAddress, lastIp);
    QCOMPARE(int(last.protocolVersion), lastVersion);
    QCOMPARE(last.config.gateway, lastIp.left(lastIp.lastIndexOf(QLatin1Char('.'))) + QLatin1String(".1"));
    QCOMPARE(last.config.macAddress, last.mac);
    // A mixed network: more than one family, and DHCP next to static addressing.
    QCOMPARE(devices->at(0).config.isDhcp(), false);
    if (devices->size() > 2) {
        QVERIFY(devices->at(0).deviceName != devices->at(1).deviceName);
        QCOMPARE(devices->at(2).config.isDhcp(), true);
        QVERIFY(devices->at(0).config.hostName != devices->at(1).config.hostName);
    }
}

void TestDeviceList::badOptions_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("message");

    QTest::newRow("no devices") << QString() << QStringLiteral("no devices");
    QTest::newRow("unknown option") << QStringLiteral("--count 1 --colour") << QStringLiteral("Unknown option");
    QTest::newRow("missing value") << QStringLiteral("--count") << QStringLiteral("Missing value");
    QTest::newRow("stray argument") << QStringLiteral("--count 1 devices.json") << QStringLiteral("unexpected");
    QTest::newRow("count no number") << QStringLiteral("--count ten") << QStringLiteral("--count must be");
    QTest::newRow("count negative") << QStringLiteral("--count -1") << QStringLiteral("--count must be");
    QTest::newRow("port too large") << QStringLiteral("--count 1 --port 65536") << QStringLiteral("--port must be");
    QTest::newRow("reply port zero") << QStringLiteral("--count 1 --reply-port 0") << QStringLiteral("--reply-port");
    QTest::newRow("jitter fraction") << QStringLiteral("--count 1 --jitter 2.5") << QStringLiteral("--jitter must");
    QTest::newRow("duration zero") << QStringLiteral("--count 1 --duration 0") << QStringLiteral("--duration must");
    QTest::newRow("interface name") << QStringLiteral("--count 1 --interface eth0") << QStringLiteral("--interface");
    QTest::newRow("bad MAC base") << QStringLiteral("--count 1 --mac-base 02:00") << QStringLiteral("--mac-base");
    QTest::newRow("bad IP base") << QStringLiteral("--count 1 --ip-base 10.0.0") << QStringLiteral("--ip-base");
    QTest::newRow("bad answers") << QStringLiteral("--count 1 --answers some") << QStringLiteral("--answers");
    QTest::newRow("version too big") << QStringLiteral("--count 1 --protocol-version 300")
                                     << QStringLiteral("--protocol-version");
    QTest::newRow("past the last MAC") << QStringLiteral("--count 3 --mac-base FF:FF:FF:FF:FF:FE")
                                       << QStringLiteral("run past FF:FF:FF:FF:FF:FF");
    QTest::newRow("reaching the broadcast MAC")
        << QStringLiteral("--count 2 --mac-base ff:ff:ff:ff:ff:fe") << QStringLiteral("broadcast");
    QTest::newRow("past the last address")
        << QStringLiteral("--count 2 --ip-base 255.255.255.255") << QStringLiteral("run past 255.255.255.255");
    QTest::newRow("too many") << QStringLiteral("--count 100001") << QStringLiteral("--count must be");
    QTest::newRow("drop rate over 100") << QStringLiteral("--count 1 --drop-rate 101")
                                        << QStringLiteral("--drop-rate must be");
    QTest::newRow("credentials too long")
        << QStringLiteral("--count 1 --user ") + QString(93, QLatin1Char('u')) << QStringLiteral("not usable");
}

void TestDeviceList::badOptions()
{
    QFETCH(QString, options);
    QFETCH(QString, message);
    QString error;
    const auto parsed = SimulatorOptions::parse(arguments(options), &error);
    QVERIFY(!parsed || !parsed->devices(&error));
    QVERIFY2(error.contains(message), qPrintable(error));
}

void TestDeviceList::combinesListAndGenerated()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("devices.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"([{"mac": "0A:00:00:00:00:01", "jitter": 1}, {"mac": "02:00:00:00:00:0b"}])");
    file.close();

    QString error;
    auto options =
        SimulatorOptions::parse(arguments(QStringLiteral("--count 11 --jitter 30 --devices ") + path), &error);
    QVERIFY2(options, qPrintable(error));
    QVERIFY(!options->devices(&error));
    QVERIFY2(error.contains(QLatin1String("02:00:00:00:00:0B")) && error.contains(QLatin1String("more than one")),
             qPrintable(error));

    options->generator.count = 5;
    const auto devices = options->devices(&error);
    QVERIFY2(devices, qPrintable(error));
    QCOMPARE(devices->size(), 7);
    QCOMPARE(devices->at(0).jitterMs, 1);
    QCOMPARE(devices->at(1).jitterMs, 30);
    QCOMPARE(devices->at(2).mac, QStringLiteral("02:00:00:00:00:01"));
    QCOMPARE(devices->at(6).jitterMs, 30);
}

QTEST_GUILESS_MAIN(TestDeviceList)
#include "tst_devicelist.moc"
