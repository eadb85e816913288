// SPDX-License-Identifier: Apache-2.0
// veltra-find against simulated devices: every command as a user runs it, its output read back
// in each format, its exit statuses, and what it put on the wire as the simulator logged it;
// diagnose against a firewall of the lab's host and a held port.
// Runs inside the lab (tests/lab/netlab); the program's settings live in a directory of the test.

#include "labsupport.h"

#include "csvreader.h"
#include "model/connectionexport.h"
#include "protocol/messageheader.h"
#include "settings/credentialstore.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

namespace {

const QString DeviceList = QStringLiteral(LAB_DATA_DIR "/cli-devices.json");
const QString Cam = QStringLiteral("02:5A:00:00:02:01");      // version 4, admin / s3cret
const QString Dhcp = QStringLiteral("02:5A:00:00:02:02");     // version 3, DHCP
const QString Veltra = QStringLiteral("02:5A:00:00:02:03");   // a Veltra device
const QString P80 = QStringLiteral("02:5A:00:00:02:04");      // version 3, host name "n/a"
const QString Failing = QStringLiteral("02:5a:00:00:02:05");  // answers everything with result 5
const QString InfoOnly = QStringLiteral("02:5A:00:00:02:06"); // answers GetDeviceInfo only
const QString Silent = QStringLiteral("02:5A:00:00:02:07");
const QString Twin = QStringLiteral("02:5A:00:00:02:08"); // same host name as Cam

struct Run
{
    int status = -1;
    QByteArray out;
    QString err;
    qint64 elapsedMs = 0;
};

// What the scan must report for each answering device of cli-devices.json, in MAC order.
QList<QJsonObject> expectedScan()
{
    const auto device = [](const QString &mac, const QJsonValue &name, const QJsonValue &firmware,
                           const QJsonValue &productType, const QJsonValue &host, const QJsonValue &ipConfig,
                           const QJsonValue &ip, const QStringList &addresses, const QJsonValue &version,
                           bool ipConflict, bool hostConflict, bool complete) {
        QJsonObject object{{"mac", mac},
                           {"device", name},
                           {"firmware", firmware},
                           {"productType", productType},
                           {"hostname", host},
                           {"ipConfig", ipConfig},
                           {"ip", ip},
                           {"protocolVersion", version},
                           {"ipConflict", ipConflict},
                           {"hostnameConflict", hostConflict},
                           {"complete", complete}};
        const QStringList keys = {"mask", "gateway", "domain", "dns1", "dns2"};
        for (int i = 0; i < keys.size(); ++i)
            object.insert(keys.at(i), addresses.value(i));
        return object;
    };
    const QStringList camAddresses = {"255.255.255.0", "192.168.77.254", "lab.example", "192.168.77.253", "0.0.0.0"};
    return {
        device(Cam, "Panoryx P40", "2.0.7", 31, "cli-cam", "static", "192.168.77.41", camAddresses, 4, false, true,
               true),
        device(Dhcp, "Motilux M3", "1.4.0", 47, "CLI-CAM", "DHCP", "192.168.77.42",
               {"255.255.0.0", "192.168.77.1", "", "192.168.77.1", "192.168.77.2"}, 3, true, true, true),
        device(Veltra, "VeltraNET 200", "3.2.1", 12, "veltra-one", "static", "192.168.77.42",
               {"255.255.255.0", "0.0.0.0", "", "0.0.0.0", "0.0.0.0"}, 4, true, false, true),
        device(P80, "Panoryx P80", "2.2.0", 33, "n/a", "static", "192.168.77.44",
               {"255.255.255.0", "192.168.77.254", "lab,\"quoted\".example", "192.168.77.253", "192.168.77.252"}, 3,
               false, true, true),
        // Failed replies: "N/A" cells, the body not read; "n/a" above finds this "N/A".
        device(Failing, "N/A", "N/A", 0, "N/A", "N/A", "N/A", {"", "", "", "", ""}, 3, false, true, true),
        device(InfoOnly, "Panoryx P7", "0.9.17", 7, "", "", "", {"", "", "", "", ""}, QJsonValue(), false, false,
               false),
        device(Twin, "Motilux M3", "1.4.1", 47, "cli-cam", "static", "192.168.77.48", camAddresses, 3, false, true,
               true),
    };
}

// The connection entries of the desktop program's export for the given devices of cli-devices.json.
ConnectionExport::Entry exportEntry(const QString &mac)
{
    if (mac == Cam)
        return {QStringLiteral("192.168.77.41"), 31, QStringLiteral("cli-cam")};
    if (mac == Dhcp)
        return {QStringLiteral("CLI-CAM"), 47, QStringLiteral("CLI-CAM")}; // DHCP: the host name
    if (mac == P80)
        return {QStringLiteral("192.168.77.44"), 33, QStringLiteral("n/a")};
    if (mac == Failing)
        return {QStringLiteral("N/A"), 0, QStringLiteral("N/A")}; // "N/A" rows are kept
    return {QStringLiteral("192.168.77.48"), 47, QStringLiteral("cli-cam")};
}

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Message ids of the program's requests in the simulator's log, in arrival order.
QList<int> requestIds(const QList<QJsonObject> &entries)
{
    QList<int> ids;
    for (const QJsonObject &entry : entries)
        ids.append(entry.value(QLatin1String("messageId")).toInt());
    return ids;
}

QList<QJsonObject> requestsWithId(const QList<QJsonObject> &entries, int messageId)
{
    QList<QJsonObject> found;
    for (const QJsonObject &entry : entries) {
        if (entry.value(QLatin1String("messageId")).toInt() == messageId)
            found.append(entry);
    }
    return found;
}

QByteArray fieldOf(const QJsonObject &entry, int offset, int width)
{
    return Lab::fieldText(QByteArray::fromHex(entry.value(QLatin1String("hex")).toString().toLatin1()), offset, width);
}

} // namespace

class TestLabCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void interfacesListsTheLabLink();
    void scanFromAHostOnATenNetwork();

    void scanFormats_data();
    void scanFormats();
    void scanTableLinesUp();
    void scanAllInterfacesNamesTheInterface();
    void everyInterfaceAtOnce();
    void scanWithoutAnswers();
    void scanErrorsSendNothing_data();
    void scanErrorsSendNothing();
    void repeatFindsEveryDeviceDespiteLoss();

    void showReadsOneDevice();
    void showSilentDevice();

    void setVersion3Device();
    void setVersion4DeviceRemembersCredentials();
    void setWithStoredCredentials();
    void setStoredCredentialsRefusedAreForgotten();
    void setGivenCredentialsRefusedKeepStoredOnes();
    void setSilentAndRefusingDevices_data();
    void setSilentAndRefusingDevices();
    void setBadValuesSendNothing_data();
    void setBadValuesSendNothing();
    void setBadCombinationWithTheDevicesMask();

    void exportAllAsTheDesktopDoes();
    void exportGivenDevicesInTheirOrder();
    void exportNothingExportable();

    void planCountsAddressesAndNamesUp();
    void applySetsUpADozenDevices();
    void applyStopsOnRequest();

    void forgetDeletesStoredCredentials();

    void historyKeepsWhatScansFound();
    void watchReportsAppearedGoneAndChanged();

    void diagnoseNamesAFirewallThatDropsReplies();
    void diagnoseNamesThePortHolder();

private:
    Run find(const QStringList &arguments, const QByteArray &input = QByteArray(),
             const QProcessEnvironment &extra = QProcessEnvironment());
    bool startSimulator(Lab::Simulator *simulator, QString *error);
    QList<QJsonObject> scanJson(const QStringList &extra = {});

    Lab::Environment lab = Lab::Environment::fromProcess();
    QTemporaryDir configDir;
    QTemporaryDir workDir;
    QTemporaryDir dataDir; // the program's device history
    QProcessEnvironment environment;
};

void TestLabCli::initTestCase()
{
    REQUIRE_LAB(lab);
    QVERIFY2(QFile::exists(QStringLiteral(VELTRA_FIND)), VELTRA_FIND);
    QVERIFY(configDir.isValid() && workDir.isValid() && dataDir.isValid());
    // The program and the test's own CredentialStore calls share a settings place of their own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configDir.path()));
    environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("VELTRA_PASSWORD"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataDir.path());
}

void TestLabCli::init()
{
    for (const QString &key : CredentialStore::storedKeys())
        CredentialStore::remove(key);
}

Run TestLabCli::find(const QStringList &arguments, const QByteArray &input, const QProcessEnvironment &extra)
{
    QProcess process;
    QProcessEnvironment env = environment;
    env.insert(extra);
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(VELTRA_FIND), arguments);
    Run run;
    if (!process.waitForStarted(10000))
        return run;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.elapsedMs = clock.elapsed();
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

bool TestLabCli::startSimulator(Lab::Simulator *simulator, QString *error)
{
    return simulator->start(error);
}

QList<QJsonObject> TestLabCli::scanJson(const QStringList &extra)
{
    const Run run = find(QStringList{"scan", "--format", "json", "--wait", "1000"} + extra);
    QList<QJsonObject> objects;
    const QJsonArray array = QJsonDocument::fromJson(run.out).array();
    for (const QJsonValue &value : array)
        objects.append(value.toObject());
    return objects;
}

void TestLabCli::interfacesListsTheLabLink()
{
    const Run run = find({"interfaces", "--format", "json"});
    QCOMPARE(run.status, 0);
    const QJsonArray interfaces = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(interfaces.size(), 1);
    const QJsonObject only = interfaces.at(0).toObject();
    QCOMPARE(only.value(QLatin1String("name")).toString(), lab.hostInterface);
    QCOMPARE(only.value(QLatin1String("address")).toString(), lab.hostIp);
    QVERIFY(only.value(QLatin1String("mac")).toString().contains(QLatin1Char(':')));
}

// A host whose only address is 10.x: it lists that interface and finds the devices, whose own
// addresses are 192.168.77.x, by broadcast all the same.
void TestLabCli::scanFromAHostOnATenNetwork()
{
    const auto ip = [this](const QStringList &arguments) {
        return QProcess::execute(QStringLiteral("ip"), arguments) == 0;
    };
    const QString prefixed = lab.hostIp + QStringLiteral("/24");
    QVERIFY(ip({"address", "add", "10.77.0.1/24", "dev", lab.hostInterface}));
    QVERIFY(ip({"address", "del", prefixed, "dev", lab.hostInterface}));
    QVERIFY(ip({"route", "replace", "default", "dev", lab.hostInterface}));
    const auto restore = qScopeGuard([&] {
        ip({"address", "add", prefixed, "dev", lab.hostInterface});
        ip({"address", "del", "10.77.0.1/24", "dev", lab.hostInterface});
        ip({"route", "replace", "default", "dev", lab.hostInterface});
    });
    Lab::Simulator simulator(lab, {"--count", "3"});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const Run run = find({"interfaces", "--format", "csv"});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.contains(lab.hostInterface.toUtf8()) && run.out.contains(",10.77.0.1"), run.out.constData());
    QCOMPARE(scanJson().size(), 3);
    for (const QJsonObject &request : simulator.received())
        QCOMPARE(request.value(QLatin1String("srcIpAddr")).toString(), QStringLiteral("10.77.0.1"));
}

void TestLabCli::scanFormats_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("json") << QStringLiteral("json");
    QTest::newRow("csv") << QStringLiteral("csv");
}

// Every field of every answering device, as the JSON array and as CSV with its header.
void TestLabCli::scanFormats()
{
    QFETCH(QString, format);
    Lab::Simulator simulator(lab, {"--devices", DeviceList, "--random-start", "3"});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const Run run = find({"scan", "--format", format, "--wait", "1500"});
    QCOMPARE(run.status, 0);
    // Nothing on standard error: the table has failed replies and conflicts, whose icons it must
    // not try to make without a GUI application, which would print warnings.
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));

    QList<QJsonObject> rows;
    if (format == QLatin1String("json")) {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(run.out, &parseError);
        QCOMPARE(parseError.error, QJsonParseError::NoError);
        QVERIFY(document.isArray());
        for (const QJsonValue &value : document.array())
            rows.append(value.toObject());
    } else {
        const QList<QStringList> records = readCsv(QString::fromUtf8(run.out));
        QVERIFY2(!records.isEmpty(), run.out.constData());
        const QStringList header = records.constFirst();
        QCOMPARE(header, (QStringList{"device", "firmware", "productType", "hostname", "ipConfig", "ip", "mask",
                                      "gateway", "domain", "dns1", "dns2", "mac", "protocolVersion", "ipConflict",
                                      "hostnameConflict", "complete"}));
        // CSV has texts only: numbers and flags are compared as JSON would write them.
        for (const QStringList &record : records.mid(1)) {
            QJsonObject object;
            for (int i = 0; i < header.size(); ++i) {
                const QString &text = record.value(i);
                QJsonValue value = text;
                if (text == QLatin1String("true") || text == QLatin1String("false"))
                    value = text == QLatin1String("true");
                else if ((header.at(i) == QLatin1String("productType") ||
                          header.at(i) == QLatin1String("protocolVersion")))
                    value = text.isEmpty() ? QJsonValue() : QJsonValue(text.toInt());
                object.insert(header.at(i), value);
            }
            rows.append(object);
        }
    }
    const QList<QJsonObject> expected = expectedScan();
    QCOMPARE(rows.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QString mac = expected.at(i).value(QLatin1String("mac")).toString();
        for (auto it = expected.at(i).begin(); it != expected.at(i).end(); ++it)
            QVERIFY2(rows.at(i).value(it.key()) == it.value(),
                     qPrintable(QStringLiteral("%1 %2: %3")
                                    .arg(mac, it.key(), QString::fromUtf8(QJsonDocument(rows.at(i)).toJson()))));
        QCOMPARE(rows.at(i).keys().size(), expected.at(i).keys().size());
    }
}

void TestLabCli::scanTableLinesUp()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList, "--random-start", "3"});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const Run run = find({"scan", "--wait", "1000"});
    QCOMPARE(run.status, 0);
    const QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 8); // header and seven devices
    const QString &header = lines.constFirst();
    const qsizetype macColumn = header.indexOf(QLatin1String("MAC "));
    const qsizetype completeColumn = header.indexOf(QLatin1String("COMPLETE"));
    QVERIFY(macColumn > 0 && completeColumn > macColumn);
    const QList<QJsonObject> expected = expectedScan();
    for (int i = 0; i < expected.size(); ++i) {
        const QString &line = lines.at(i + 1);
        QVERIFY2(line.mid(macColumn).startsWith(expected.at(i).value(QLatin1String("mac")).toString()),
                 qPrintable(line));
        QCOMPARE(line.mid(completeColumn), expected.at(i).value(QLatin1String("complete")).toBool()
                                               ? QStringLiteral("yes")
                                               : QStringLiteral("no"));
    }
}

void TestLabCli::scanAllInterfacesNamesTheInterface()
{
    Lab::Simulator simulator(lab, {"--count", "3", "--random-start", "3"});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const QList<QJsonObject> rows = scanJson({"--all-interfaces"});
    QCOMPARE(rows.size(), 3);
    for (const QJsonObject &row : rows)
        QCOMPARE(row.value(QLatin1String("interface")).toString(), lab.hostInterface);
    // Chosen by name or by address, the lab link is the one scanned.
    QCOMPARE(scanJson({"--interface", lab.hostInterface}).size(), 3);
    QCOMPARE(scanJson({"--interface", lab.hostIp}).size(), 3);
    QVERIFY(!scanJson().constFirst().contains(QLatin1String("interface")));
}

// Three links from this host, one of them on 10.x and named like a VLAN sub-interface, with
// devices on each: one scan finds them all, and a change reaches a device through its own link.
void TestLabCli::everyInterfaceAtOnce()
{
    const Lab::ExtraLink vlan(lab, QStringLiteral("eth1.14"), QStringLiteral("10.14.0.1/24"),
                              QStringLiteral("10.14.0.2/24"));
    QVERIFY2(vlan.errorString().isEmpty(), qPrintable(vlan.errorString()));
    // As a VLAN sub-interface does, it shares its MAC with another interface: the replies to both
    // are told apart by the interface they arrive on.
    const QString sharedMac = QNetworkInterface::interfaceFromName(lab.hostInterface).hardwareAddress();
    QCOMPARE(QProcess::execute(QStringLiteral("ip"), {"link", "set", "eth1.14", "address", sharedMac}), 0);
    const Lab::ExtraLink other(lab, QStringLiteral("vdfc0"), QStringLiteral("172.20.0.1/24"),
                               QStringLiteral("172.20.0.2/24"));
    QVERIFY2(other.errorString().isEmpty(), qPrintable(other.errorString()));
    const QList<std::pair<const Lab::Environment *, QString>> links = {
        {&lab, QStringLiteral("02:0A:00:00:00:0")},
        {&vlan.environment(), QStringLiteral("02:0B:00:00:00:0")},
        {&other.environment(), QStringLiteral("02:0C:00:00:00:0")}};
    std::vector<std::unique_ptr<Lab::Simulator>> simulators;
    for (const auto &[link, macs] : links) {
        simulators.push_back(std::make_unique<Lab::Simulator>(
            *link, QStringList{"--count", "2", "--protocol-version", "3", "--mac-base", macs + QLatin1Char('1'),
                               "--ip-base", link->lanIp.section(QLatin1Char('.'), 0, 2) + QStringLiteral(".100")}));
        QString error;
        QVERIFY2(startSimulator(simulators.back().get(), &error), qPrintable(error));
    }

    const QList<QJsonObject> rows = scanJson({"--all-interfaces"});
    QCOMPARE(rows.size(), 6);
    for (const QJsonObject &row : rows) {
        const QString mac = row.value(QLatin1String("mac")).toString();
        const auto link =
            std::find_if(links.cbegin(), links.cend(), [&mac](const auto &l) { return mac.startsWith(l.second); });
        QVERIFY2(link != links.cend(), qPrintable(mac));
        QCOMPARE(row.value(QLatin1String("interface")).toString(), link->first->hostInterface);
    }
    QCOMPARE(scanJson({"--interface", "eth1.14"}).size(), 2);

    // The change goes out on eth1.14 alone, from its address, once the device answered there.
    const Run run = find({"set", "02:0B:00:00:00:02", "--all-interfaces", "--hostname", "vlan-cam"});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(requestsWithId(simulators.at(0)->received(), SetNetworkConfig).size(), 0);
    QCOMPARE(requestsWithId(simulators.at(2)->received(), SetNetworkConfig).size(), 0);
    const QList<QJsonObject> sets = requestsWithId(simulators.at(1)->received(), SetNetworkConfig);
    QCOMPARE(sets.size(), 1);
    QCOMPARE(sets.constFirst().value(QLatin1String("srcIpAddr")).toString(), QStringLiteral("10.14.0.1"));
}

void TestLabCli::scanWithoutAnswers()
{
    Lab::Simulator simulator(lab, {"--count", "2", "--silent"});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const Run run = find({"scan", "--format", "json", "--wait", "500"});
    QCOMPARE(run.status, 1);
    QCOMPARE(QJsonDocument::fromJson(run.out).array().size(), 0);
    QVERIFY2(run.err.contains(QLatin1String("no device answered")), qPrintable(run.err));
    // The pair went out all the same.
    QTRY_COMPARE(requestIds(simulator.received()), (QList<int>{11, 7}));
}

void TestLabCli::scanErrorsSendNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown interface") << QStringList{"scan", "--interface", "eth9"} << QStringLiteral("eth9");
    QTest::newRow("address of no interface")
        << QStringList{"scan", "--interface", "192.168.77.2"} << QStringLiteral("no usable interface");
    QTest::newRow("bad option") << QStringList{"scan", "--colour"} << QStringLiteral("--colour");
    QTest::newRow("bad wait") << QStringList{"scan", "--wait", "-5"} << QStringLiteral("--wait");
    QTest::newRow("port held") << QStringList{"scan"} << QStringLiteral("cannot receive on UDP port 28244");
}

// Exit status 2, a message, and not one datagram.
void TestLabCli::scanErrorsSendNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    Lab::Simulator simulator(lab, {"--count", "2"});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    // Another program holding the port without sharing it.
    QUdpSocket holder;
    if (QByteArray(QTest::currentDataTag()) == "port held")
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 28244, QUdpSocket::DontShareAddress));
    const Run run = find(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QTest::qWait(300);
    QCOMPARE(simulator.received().size(), 0);
}

// Replies lost on the way: one pair leaves devices out or incomplete, repeated pairs find them
// all, merged into one row per device.
void TestLabCli::repeatFindsEveryDeviceDespiteLoss()
{
    constexpr int Devices = 40;
    Lab::Simulator simulator(
        lab, {"--count", QString::number(Devices), "--drop-rate", "30", "--jitter", "20", "--random-start", "11"});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const auto completeCount = [](const QList<QJsonObject> &rows) {
        return int(std::count_if(rows.begin(), rows.end(),
                                 [](const QJsonObject &row) { return row.value(QLatin1String("complete")).toBool(); }));
    };
    const QList<QJsonObject> once = scanJson();
    QVERIFY2(completeCount(once) < Devices, "a 30 % loss should leave devices incomplete after one pair");

    QElapsedTimer clock;
    clock.start();
    const QList<QJsonObject> repeated = scanJson({"--repeat", "8"});
    qInfo("--repeat 8: %d of %d devices complete in %lld ms (one pair: %d)", completeCount(repeated), Devices,
          clock.elapsed(), completeCount(once));
    QCOMPARE(repeated.size(), Devices);
    QCOMPARE(completeCount(repeated), Devices);
    QSet<QString> macs;
    for (const QJsonObject &row : repeated)
        macs.insert(row.value(QLatin1String("mac")).toString().toUpper());
    QCOMPARE(int(macs.size()), Devices);
    // One pair, then eight pairs, each GetDeviceInfo before its GetNetworkConfig.
    QList<int> ids = requestIds(simulator.received());
    QCOMPARE(ids.size(), 18);
    for (int i = 0; i < ids.size(); i += 2)
        QCOMPARE((QList<int>{ids.at(i), ids.at(i + 1)}), (QList<int>{11, 7}));
}

void TestLabCli::showReadsOneDevice()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    // Typed in lower case; the device sends its own text.
    const Run run = find({"show", P80.toLower(), "--format", "json"});
    QCOMPARE(run.status, 0);
    const QJsonArray array = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(array.size(), 1);
    // The fields of a scan row, less the two conflicts, which asking one device cannot tell.
    QJsonObject expected = expectedScan().at(3);
    expected.remove(QStringLiteral("ipConflict"));
    expected.remove(QStringLiteral("hostnameConflict"));
    QCOMPARE(array.at(0).toObject(), expected);
    // Requests addressed to the device, not to all.
    const QList<QJsonObject> requests = simulator.received();
    QCOMPARE(requestIds(requests), (QList<int>{11, 7}));
    for (const QJsonObject &request : requests)
        QCOMPARE(request.value(QLatin1String("destMacAddr")).toString(), P80);

    const Run table = find({"show", InfoOnly, "--wait", "1200"});
    QCOMPARE(table.status, 0); // it answered, if only in part
    QVERIFY2(QString::fromUtf8(table.out).contains(QRegularExpression(QStringLiteral("\ncomplete +no\n"))),
             table.out.constData());
    QVERIFY2(table.err.contains(QLatin1String("did not send its configuration")), qPrintable(table.err));
}

void TestLabCli::showSilentDevice()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const Run run = find({"show", Silent, "--wait", "1500"});
    QCOMPARE(run.status, 4);
    QVERIFY(run.out.isEmpty());
    // Asked again while silent.
    QVERIFY(requestsWithId(simulator.received(), 7).size() >= 2);
}

void TestLabCli::setVersion3Device()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const Run run = find({"set", P80, "--hostname", "p80-renamed", "--ip", "192.168.77.54", "--dns2", "0.0.0.0"});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(run.out, QByteArray("02:5A:00:00:02:04: applied\n"));

    const QList<QJsonObject> requests = simulator.received();
    QCOMPARE(requestIds(requests), (QList<int>{7, 9, 1, 7}));
    const QJsonObject set = requests.at(1);
    QCOMPARE(set.value(QLatin1String("length")).toInt(), 329);
    QCOMPARE(fieldOf(set, 124, 18), P80.toLatin1());
    QCOMPARE(fieldOf(set, 142, 25), QByteArray("p80-renamed"));
    QCOMPARE(fieldOf(set, 167, 2), QByteArray("0"));
    QCOMPARE(fieldOf(set, 169, 16), QByteArray("192.168.77.54"));
    QCOMPARE(fieldOf(set, 185, 16), QByteArray("255.255.255.0")); // kept from the device
    QCOMPARE(fieldOf(set, 201, 80), QByteArray("lab,\"quoted\".example"));
    QCOMPARE(fieldOf(set, 313, 16), QByteArray("0.0.0.0"));
    // The configuration is read again more than 5000 ms after the restart.
    const qint64 restartAt = requests.at(2).value(QLatin1String("msecsSinceEpoch")).toInteger();
    QVERIFY(requests.at(3).value(QLatin1String("msecsSinceEpoch")).toInteger() - restartAt > 5000);

    QJsonObject expected = expectedScan().at(3);
    expected.insert(QStringLiteral("hostname"), QStringLiteral("p80-renamed"));
    expected.insert(QStringLiteral("ip"), QStringLiteral("192.168.77.54"));
    expected.insert(QStringLiteral("dns2"), QStringLiteral("0.0.0.0"));
    expected.insert(QStringLiteral("hostnameConflict"), false); // with "N/A" of the failing device no longer
    const QList<QJsonObject> rows = scanJson();
    QCOMPARE(rows.at(3), expected);
}

void TestLabCli::setVersion4DeviceRemembersCredentials()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const Run run =
        find({"set", Cam, "--dhcp", "--hostname", "cam-dhcp", "--user", "admin", "--password-stdin", "--remember"},
             "s3cret\n");
    QVERIFY2(run.status == 0, qPrintable(run.err));
    const QList<QJsonObject> requests = simulator.received();
    QCOMPARE(requestIds(requests), (QList<int>{7, 13, 1, 7}));
    const QJsonObject set = requests.at(1);
    QCOMPARE(set.value(QLatin1String("length")).toInt(), 439);
    QCOMPARE(fieldOf(set, 124, 25), QByteArray("cam-dhcp"));
    QCOMPARE(fieldOf(set, 149, 2), QByteArray("1"));
    QCOMPARE(fieldOf(set, 151, 16), QByteArray("192.168.77.41")); // sent as the device had it
    QCOMPARE(fieldOf(set, 311, 128), QByteArray("admin:s3cret").toBase64());
    // The password was nowhere on the command line, and is now stored under the device's key.
    QCOMPARE(CredentialStore::loadLoginData(Cam), (QStringList{Cam, "admin", "s3cret"}));
    QVERIFY(!run.err.contains(QLatin1String("s3cret")));
}

void TestLabCli::setWithStoredCredentials()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    CredentialStore::saveLoginData({Cam, "admin", "s3cret"});
    // VELTRA_PASSWORD without --user is not used; the stored credentials are.
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("VELTRA_PASSWORD"), QStringLiteral("wrong"));
    const Run run = find({"set", Cam, "--domain", "new.example"}, QByteArray(), extra);
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(fieldOf(requestsWithId(simulator.received(), 13).constFirst(), 311, 128),
             QByteArray("admin:s3cret").toBase64());
    QCOMPARE(CredentialStore::loadLoginData(Cam).size(), 3);
}

void TestLabCli::setStoredCredentialsRefusedAreForgotten()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    CredentialStore::saveLoginData({Cam, "admin", "old-password"});
    const Run run = find({"set", Cam, "--hostname", "never-applied"});
    QCOMPARE(run.status, 3);
    QVERIFY2(run.err.contains(QLatin1String("forgotten")), qPrintable(run.err));
    QVERIFY(!CredentialStore::contains(Cam));
    // Refused: no restart follows.
    QCOMPARE(requestIds(simulator.received()), (QList<int>{7, 13}));
}

void TestLabCli::setGivenCredentialsRefusedKeepStoredOnes()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    CredentialStore::saveLoginData({Cam, "admin", "s3cret"});
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("VELTRA_PASSWORD"), QStringLiteral("typo"));
    const Run run =
        find({"set", Cam, "--hostname", "never-applied", "--user", "admin", "--remember"}, QByteArray(), extra);
    QCOMPARE(run.status, 3);
    QCOMPARE(fieldOf(requestsWithId(simulator.received(), 13).constFirst(), 311, 128),
             QByteArray("admin:typo").toBase64());
    // What was refused was not what is stored: the stored credentials stay, unchanged.
    QCOMPARE(CredentialStore::loadLoginData(Cam), (QStringList{Cam, "admin", "s3cret"}));
}

void TestLabCli::setSilentAndRefusingDevices_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QStringList>("simulatorOptions");
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<int>>("requests");
    QTest::newRow("silent device") << Silent << QStringList() << 4 << QList<int>{7, 7};
    QTest::newRow("refuses to report") << Failing << QStringList() << 5 << QList<int>{7};
    QTest::newRow("version 4 without credentials") << Cam << QStringList() << 2 << QList<int>{7};
    // The change is accepted, but the device stays silent after its restart: its configuration is
    // read three times, 5000 ms apart, as the desktop program reads it.
    QTest::newRow("silent after restart")
        << P80 << QStringList{"--restart-time", "30000"} << 4 << QList<int>{7, 9, 1, 7, 7, 7};
}

void TestLabCli::setSilentAndRefusingDevices()
{
    QFETCH(QString, mac);
    QFETCH(QStringList, simulatorOptions);
    QFETCH(int, status);
    QFETCH(QList<int>, requests);
    // The listed restart time wins over the option: a list of one device without its own.
    QString devices = DeviceList;
    if (!simulatorOptions.isEmpty()) {
        devices = workDir.filePath(QStringLiteral("p80.json"));
        QFile file(devices);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"([{"mac": "02:5A:00:00:02:04", "ip": "192.168.77.44", "protocolVersion": 3}])");
    }
    Lab::Simulator simulator(lab, QStringList{"--devices", devices} + simulatorOptions);
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const Run run = find({"set", mac, "--hostname", "never-seen", "--wait", "1500"});
    QCOMPARE(run.status, status);
    QVERIFY(!run.err.isEmpty());
    QCOMPARE(requestIds(simulator.received()), requests);
}

void TestLabCli::setBadValuesSendNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("message");
    const QStringList set = {"set", P80};
    QTest::newRow("hostname digit first")
        << set + QStringList{"--hostname", "9lives"} << QByteArray() << QStringLiteral("hostname: \"9lives\"");
    QTest::newRow("hostname too long") << set + QStringList{"--hostname", "abcdefghijklmnopqrstuvwxy"} << QByteArray()
                                       << QStringLiteral("hostname: ");
    QTest::newRow("ip incomplete") << set + QStringList{"--ip", "192.168.77"} << QByteArray()
                                   << QStringLiteral("ip: \"192.168.77\"");
    QTest::newRow("ip group too big") << set + QStringList{"--ip", "192.168.77.300"} << QByteArray()
                                      << QStringLiteral("ip: ");
    QTest::newRow("mask with a hole") << set + QStringList{"--mask", "255.0.255.0"} << QByteArray()
                                      << QStringLiteral("mask: ");
    QTest::newRow("gateway name") << set + QStringList{"--gateway", "router"} << QByteArray()
                                  << QStringLiteral("gateway: ");
    QTest::newRow("dns1 empty") << set + QStringList{"--dns1", ""} << QByteArray() << QStringLiteral("dns1: ");
    QTest::newRow("dns2 leading zero") << set + QStringList{"--dns2", "8.8.8.08"} << QByteArray()
                                       << QStringLiteral("dns2: ");
    QTest::newRow("domain too long") << set + QStringList{"--domain", QString(80, QLatin1Char('d'))} << QByteArray()
                                     << QStringLiteral("domain: ");
    QTest::newRow("network address") << set + QStringList{"--static", "--ip", "192.168.77.0", "--mask", "255.255.255.0"}
                                     << QByteArray() << QStringLiteral("network address");
    QTest::newRow("broadcast address") << set + QStringList{"--ip", "192.168.77.127", "--mask", "255.255.255.128"}
                                       << QByteArray() << QStringLiteral("broadcast address");
    QTest::newRow("credentials too long")
        << set + QStringList{"--hostname", "ok", "--user", "admin", "--password-stdin"} << QByteArray(100, 'p')
        << QStringLiteral("credentials: ");
    QTest::newRow("user without password") << set + QStringList{"--hostname", "ok", "--user", "admin"} << QByteArray()
                                           << QStringLiteral("--user needs the password");
    QTest::newRow("password on the command line")
        << set + QStringList{"--hostname", "ok", "--password", "x"} << QByteArray() << QStringLiteral("never taken");
    QTest::newRow("broadcast MAC") << QStringList{"set", "FF:FF:FF:FF:FF:FF", "--hostname", "all"} << QByteArray()
                                   << QStringLiteral("every device");
}

// Each kind of bad value: exit status 2, the field named, and nothing on the wire.
void TestLabCli::setBadValuesSendNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QString, message);
    Lab::Simulator simulator(lab, {"--devices", DeviceList});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const Run run = find(arguments, input);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QTest::qWait(300);
    QCOMPARE(simulator.received().size(), 0);
}

// An address that is bad only with the device's own mask: the configuration is read, no change
// is sent.
void TestLabCli::setBadCombinationWithTheDevicesMask()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const Run run = find({"set", P80, "--ip", "192.168.77.255"});
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(QLatin1String("broadcast address of mask 255.255.255.0")), qPrintable(run.err));
    QTest::qWait(300);
    QCOMPARE(requestIds(simulator.received()), QList<int>{7});
}

// The file is the desktop's document for the same devices, byte for byte.
void TestLabCli::exportAllAsTheDesktopDoes()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList, "--random-start", "5"});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const QString path = workDir.filePath(QStringLiteral("all.xml"));
    const Run run = find({"export", "--all", "-o", path, "--wait", "1000"});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(run.out, ("5 connection(s) exported to " + path + "\n").toUtf8());
    // Veltra and the device without IP address are left out; the twin of cli-cam becomes cli-cam2.
    const QList<ConnectionExport::Entry> entries = {exportEntry(Cam), exportEntry(Dhcp), exportEntry(P80),
                                                    exportEntry(Failing), exportEntry(Twin)};
    QCOMPARE(fileContent(path), ConnectionExport::document(entries));
    QVERIFY(fileContent(path).contains(">cli-cam2</connection>"));
}

void TestLabCli::exportGivenDevicesInTheirOrder()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList, "--random-start", "5"});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const QString path = workDir.filePath(QStringLiteral("given.xml"));
    // The given order decides which duplicate keeps the plain name; the Veltra device and the one
    // without an address are named as left out, the rest is written.
    const Run run = find({"export", Twin, Veltra, Dhcp.toLower(), InfoOnly, Cam, "-o", path, "--wait", "1000"});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(Veltra) && run.err.contains(InfoOnly), qPrintable(run.err));
    QCOMPARE(fileContent(path), ConnectionExport::document({exportEntry(Twin), exportEntry(Dhcp), exportEntry(Cam)}));
}

void TestLabCli::exportNothingExportable()
{
    Lab::Simulator simulator(lab, {"--devices", DeviceList});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const QString path = workDir.filePath(QStringLiteral("none.xml"));
    const Run run = find({"export", Veltra, Silent, "-o", path, "--wait", "800"});
    QCOMPARE(run.status, 1);
    QVERIFY(!QFile::exists(path));
}

// Addresses counted up past every one in use (the DHCP device's lease too), names counted, rows in
// MAC order or in the given one; a device that did not answer is named and left out; a plan with a
// problem is written all the same. Nothing is sent but each run's scan.
void TestLabCli::planCountsAddressesAndNamesUp()
{
    const QString devices = workDir.filePath(QStringLiteral("plan.json"));
    QFile list(devices);
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write(R"([{"mac": "02:5A:00:00:03:03", "hostName": "old-c", "dhcp": false, "ip": "192.168.77.50"},
                   {"mac": "02:5A:00:00:03:01", "hostName": "old-a", "dhcp": false, "ip": "192.168.77.52"},
                   {"mac": "02:5A:00:00:03:02", "hostName": "old-b", "dhcp": true, "ip": "192.168.77.51"},
                   {"mac": "02:5A:00:00:03:04", "hostName": "old-d", "dhcp": false, "ip": "192.168.77.55"}])");
    list.close();
    Lab::Simulator simulator(lab, {"--devices", devices});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const QByteArray header = "mac,hostname,config,ip,mask,gateway,domain,dns1,dns2\r\n";

    Run run = find({"plan", "--first-ip", "192.168.77.50", "--mask", "255.255.255.0", "--gateway", "192.168.77.1",
                    "--hostname", "cam-{nn}", "--all", "--wait", "1000"});
    QVERIFY2(run.status == 0 && run.err.isEmpty(), qPrintable(run.err));
    QCOMPARE(run.out, header + "02:5A:00:00:03:01,cam-01,static,192.168.77.53,255.255.255.0,192.168.77.1,,,\r\n"
                               "02:5A:00:00:03:02,cam-02,static,192.168.77.54,255.255.255.0,192.168.77.1,,,\r\n"
                               "02:5A:00:00:03:03,cam-03,static,192.168.77.56,255.255.255.0,192.168.77.1,,,\r\n"
                               "02:5A:00:00:03:04,cam-04,static,192.168.77.57,255.255.255.0,192.168.77.1,,,\r\n");

    const QString path = workDir.filePath(QStringLiteral("plan.csv"));
    run = find({"plan", "02:5A:00:00:03:04", "02:5A:00:00:03:09", "02:5a:00:00:03:01", "--dhcp", "--hostname",
                "cam-{n}", "--first-number", "7", "-o", path, "--wait", "1000"});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(QLatin1String("02:5A:00:00:03:09 did not answer")), qPrintable(run.err));
    QCOMPARE(run.out, ("2 device(s) planned in " + path + "\n").toUtf8());
    QCOMPARE(fileContent(path),
             header + "02:5A:00:00:03:04,cam-7,DHCP,,,,,,\r\n02:5A:00:00:03:01,cam-8,DHCP,,,,,,\r\n");

    // Without --dhcp and --first-ip each device keeps its setting; the name is another device's.
    run = find({"plan", "02:5A:00:00:03:03", "--hostname", "OLD-A", "--wait", "1000"});
    QCOMPARE(run.status, 2);
    QCOMPARE(run.out, header + "02:5A:00:00:03:03,OLD-A,,,,,,,\r\n");
    QVERIFY2(run.err.contains(QLatin1String("line 2 (row 1), hostname: \"OLD-A\" is the host name of "
                                            "02:5A:00:00:03:01, a device outside the plan")),
             qPrintable(run.err));

    QCOMPARE(requestIds(simulator.received()), (QList<int>{11, 7, 11, 7, 11, 7}));
}

// A plan for a dozen devices of protocol versions 3 and 4: refused with a problem (only the scan
// goes out), tried dry, then applied. Version 3 devices get SetNetworkConfig, version 4 ones
// SetNetworkConfigAuth with their stored credentials or else the given ones; one device ignores
// changes, one refuses its stored password.
void TestLabCli::applySetsUpADozenDevices()
{
    Lab::Simulator simulator(lab, {"--devices", QStringLiteral(LAB_DATA_DIR "/plan-devices.json")});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const auto mac = [](int n) {
        return QStringLiteral("02:5A:00:00:05:%1").arg(n, 2, 16, QLatin1Char('0')).toUpper();
    };
    const QString deaf = mac(6), wrongStored = mac(11);
    CredentialStore::saveLoginData({mac(7), "admin", "s3cret"});
    CredentialStore::saveLoginData({wrongStored, "admin", "s3cret"});

    QByteArray csv = "mac,hostname,config,ip,mask,gateway,domain,dns1,dns2\n";
    for (int n = 1; n <= 12; ++n)
        csv += QStringLiteral("%1,cam-%2,static,192.168.77.%3,255.255.255.0,192.168.77.1,,,\n")
                   .arg(mac(n).toLower())
                   .arg(n, 2, 10, QLatin1Char('0'))
                   .arg(49 + n)
                   .toUtf8();
    const QString path = workDir.filePath(QStringLiteral("dozen.csv"));
    QFile bad(path);
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(csv).replace("192.168.77.52,", "192.168.77.50,"));
    bad.close();
    QProcessEnvironment password;
    password.insert(QStringLiteral("VELTRA_PASSWORD"), QStringLiteral("s3cret"));
    Run run = find({"apply", path, "--user", "admin", "--wait", "1000"}, QByteArray(), password);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(QLatin1String("line 4 (row 3), ip:")), qPrintable(run.err));

    QFile good(path);
    QVERIFY(good.open(QIODevice::WriteOnly));
    good.write(csv);
    good.close();
    run = find({"apply", path, "--dry-run", "--format", "csv", "--wait", "1000"}, "admin\n");
    QCOMPARE(run.status, 2); // four version 4 devices have no stored credentials and none are given
    run = find({"apply", path, "--dry-run", "--user", "admin", "--format", "csv", "--wait", "1000"}, QByteArray(),
               password);
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QVERIFY(run.out.contains("02:5A:00:00:05:07,SetNetworkConfigAuth,stored,cam-07,static,192.168.77.56,"));
    QVERIFY(run.out.contains("02:5A:00:00:05:08,SetNetworkConfigAuth,given,cam-08,"));
    QVERIFY(run.out.contains("02:5a:00:00:05:03,SetNetworkConfig,,cam-03,static,192.168.77.52,"));
    QCOMPARE(requestIds(simulator.received()), (QList<int>{11, 7, 11, 7, 11, 7}));

    run = find({"apply", path, "--user", "admin", "--format", "json", "--wait", "1000"}, QByteArray(), password);
    QCOMPARE(run.status, 4); // the worst: the device that ignored its change
    const QJsonArray rows = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(rows.size(), 12);
    for (int n = 1; n <= 12; ++n) {
        const QJsonObject row = rows.at(n - 1).toObject();
        const QString outcome = row.value(QLatin1String("outcome")).toString();
        QCOMPARE(row.value(QLatin1String("mac")).toString().toUpper(), mac(n));
        if (mac(n) == deaf) {
            QCOMPARE(outcome, QStringLiteral("no answer"));
        } else if (mac(n) == wrongStored) {
            QCOMPARE(outcome, QStringLiteral("authorization failed"));
            QVERIFY(row.value(QLatin1String("hostname")).isNull());
        } else {
            QCOMPARE(outcome, QStringLiteral("applied"));
            QCOMPARE(row.value(QLatin1String("hostname")).toString(),
                     QStringLiteral("cam-%1").arg(n, 2, 10, QLatin1Char('0')));
            QCOMPARE(row.value(QLatin1String("ip")).toString(), QStringLiteral("192.168.77.%1").arg(49 + n));
        }
    }
    QVERIFY2(run.err.contains(QLatin1String("/12] 02:5A:00:00:05:0C: applied")), qPrintable(run.err));
    QVERIFY(!CredentialStore::contains(wrongStored));

    // On the wire after the scan: one change per device, by its protocol version, with the stored
    // credentials where there are some and the given ones elsewhere.
    QList<QJsonObject> changes;
    for (const QJsonObject &entry : simulator.received()) {
        const int id = entry.value(QLatin1String("messageId")).toInt();
        if (id == SetNetworkConfig || id == SetNetworkConfigAuth)
            changes.append(entry);
    }
    QCOMPARE(changes.size(), 12);
    for (int n = 1; n <= 12; ++n) {
        const QJsonObject &change = changes.at(n - 1);
        QCOMPARE(change.value(QLatin1String("destMacAddr")).toString().toUpper(), mac(n));
        QCOMPARE(change.value(QLatin1String("messageId")).toInt(),
                 n <= 6 ? int(SetNetworkConfig) : int(SetNetworkConfigAuth));
        // The plain request's body starts with the MAC; the authenticated one's does not.
        const int body = n <= 6 ? 18 : 0;
        QCOMPARE(fieldOf(change, 124 + body, 25), QStringLiteral("cam-%1").arg(n, 2, 10, QLatin1Char('0')).toUtf8());
        QCOMPARE(fieldOf(change, 151 + body, 16), QStringLiteral("192.168.77.%1").arg(49 + n).toUtf8());
        if (n > 6)
            QCOMPARE(fieldOf(change, 311, 128), QByteArray("admin:s3cret").toBase64());
    }
    // The devices that took their change were restarted; the deaf one and the refusing one were not.
    QCOMPARE(requestsWithId(simulator.received(), RestartNetwork).size(), 10);
}

// SIGTERM during a run: the device under way finishes, no further one is started, the outcomes so
// far are printed and the status says how the run ended.
void TestLabCli::applyStopsOnRequest()
{
    Lab::Simulator simulator(lab, {"--devices", QStringLiteral(LAB_DATA_DIR "/plan-devices.json")});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));
    const QString path = workDir.filePath(QStringLiteral("three.csv"));
    QFile plan(path);
    QVERIFY(plan.open(QIODevice::WriteOnly));
    plan.write("mac,hostname,config,ip,mask,gateway,domain,dns1,dns2\n02:5A:00:00:05:01,one,,,,,,,\n"
               "02:5A:00:00:05:02,two,,,,,,,\n02:5A:00:00:05:04,four,,,,,,,\n");
    plan.close();
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VELTRA_FIND), {"apply", path, "--parallel", "1", "--wait", "1000", "--format", "csv"});
    QVERIFY(process.waitForStarted(10000));
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("[1/3]"), 30000);
    process.terminate();
    QVERIFY(process.waitForFinished(30000));
    err += process.readAllStandardError();
    QCOMPARE(process.exitCode(), 128 + SIGTERM);
    const QList<QByteArray> lines = process.readAllStandardOutput().trimmed().split('\n');
    QVERIFY2(lines.size() == 2 || lines.size() == 3, err.constData()); // the header, the first, perhaps the second
    QVERIFY2(err.contains("stopped: ") && err.contains(" of 3 devices were not taken up"), err.constData());
    QCOMPARE(requestsWithId(simulator.received(), SetNetworkConfig).size(), lines.size() - 1);
}

void TestLabCli::forgetDeletesStoredCredentials()
{
    CredentialStore::saveLoginData({Cam, "admin", "s3cret"});
    CredentialStore::saveLoginData({Dhcp, "admin", "other"});
    // Typed in another case, the stored key is found.
    const Run run = find({"forget", Cam.toLower()});
    QCOMPARE(run.status, 0);
    QVERIFY(!CredentialStore::contains(Cam));
    QVERIFY(CredentialStore::contains(Dhcp));
    QCOMPARE(find({"forget", Cam}).status, 1);
    QCOMPARE(find({"forget", "02:5A"}).status, 2);
}

// The lab's host drops every datagram to the device port, the devices' replies too: scan and
// diagnose name the nftables rule with its fix; without the table the devices are found.
void TestLabCli::diagnoseNamesAFirewallThatDropsReplies()
{
    if (QStandardPaths::findExecutable(QStringLiteral("nft"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
            .isEmpty())
        QSKIP("nft is not installed (scripts/install-deps.sh installs nftables)");
    const auto nft = [](const QString &commands) {
        QProcess process;
        process.start(QStringLiteral("nft"), {commands});
        return process.waitForFinished(10000) && process.exitCode() == 0;
    };
    const QString removal = QStringLiteral("delete table inet lab_block");
    QVERIFY(nft(QStringLiteral("add table inet lab_block; add chain inet lab_block input { type filter hook input "
                               "priority 0; }; add rule inet lab_block input udp dport 28244 drop")));
    auto unblock = qScopeGuard([&] { nft(removal); });
    Lab::Simulator simulator(lab, {"--count", "2"});
    QString error;
    QVERIFY2(startSimulator(&simulator, &error), qPrintable(error));

    const QString fix = QStringLiteral("sudo nft insert rule inet lab_block input udp dport 28244 accept");
    const Run scan = find({"scan", "--wait", "500"});
    QCOMPARE(scan.status, 1);
    for (const QString &told : {QStringLiteral("no device answered"), QStringLiteral("fix: ") + fix,
                                QStringLiteral("in chain input of table inet lab_block drops UDP to port 28244")})
        QVERIFY2(scan.err.contains(told), qPrintable(scan.err));
    QTRY_VERIFY(!simulator.received().isEmpty()); // the devices did answer

    Run run = find({"diagnose", "--format", "json"});
    QCOMPARE(run.status, 1);
    QJsonArray findings = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(findings.size(), 1);
    const QJsonObject finding = findings.at(0).toObject();
    QCOMPARE(finding.value(QLatin1String("check")).toString(), QStringLiteral("firewall"));
    QVERIFY(finding.value(QLatin1String("cause")).toString().startsWith(QLatin1String("the nftables rule")));
    QCOMPARE(finding.value(QLatin1String("fix")).toString(), fix);

    unblock.dismiss();
    QVERIFY(nft(removal));
    run = find({"diagnose", "--format", "json"});
    QCOMPARE(run.status, 0);
    findings = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(findings.size(), 1);
    QCOMPARE(findings.at(0).toObject().value(QLatin1String("check")).toString(), QStringLiteral("summary"));
    QCOMPARE(scanJson().size(), 2);
}

// A socket without SO_REUSEADDR keeps the programs off the port: diagnose names it and its pid.
void TestLabCli::diagnoseNamesThePortHolder()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, Protocol::DevicePort, QAbstractSocket::DontShareAddress));
    QFile comm(QStringLiteral("/proc/self/comm"));
    QVERIFY(comm.open(QIODevice::ReadOnly));
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const Run run = find({"diagnose", "--format", "json"});
    QCOMPARE(run.status, 1);
    const QJsonArray findings = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(findings.size(), 1);
    const QJsonObject finding = findings.at(0).toObject();
    QCOMPARE(finding.value(QLatin1String("check")).toString(), QStringLiteral("port"));
    const QString cause = finding.value(QLatin1String("cause")).toString();
    QVERIFY2(cause.contains(
                 QStringLiteral("held by %1 (pid %2)").arg(QString::fromLocal8Bit(comm.readAll().trimmed()), pid)),
             qPrintable(cause));
    QCOMPARE(finding.value(QLatin1String("fix")).toString(), QStringLiteral("stop it: kill ") + pid);
}

QTEST_GUILESS_MAIN(TestLabCli)
#include "tst_lab_cli.moc"

// A history of its own: none before the first scan, then the devices and their events, and a
// history that cannot be read changes nothing for the scan.
void TestLabCli::historyKeepsWhatScansFound()
{
    QTemporaryDir data;
    QVERIFY(data.isValid());
    QProcessEnvironment own;
    own.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    QCOMPARE(find({"history"}, {}, own).status, 1);
    const QList<QJsonObject> found = [&] {
        Lab::Simulator simulator(lab, {"--count", "3"});
        QString error;
        if (!startSimulator(&simulator, &error))
            qWarning("%s", qPrintable(error));
        const Run run = find({"scan", "--format", "json", "--wait", "1000"}, {}, own);
        QList<QJsonObject> rows;
        for (const QJsonValue &value : QJsonDocument::fromJson(run.out).array())
            rows.append(value.toObject());
        return rows;
    }();
    QCOMPARE(found.size(), 3);
    const QString mac = found.first().value(QLatin1String("mac")).toString();
    Run run = find({"history", "--format", "json"}, {}, own);
    QCOMPARE(run.status, 0);
    const QJsonArray known = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(known.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject device = known.at(i).toObject();
        QCOMPARE(device.value(QLatin1String("mac")), found.at(i).value(QLatin1String("mac")));
        QCOMPARE(device.value(QLatin1String("ip")), found.at(i).value(QLatin1String("ip")));
        QCOMPARE(device.value(QLatin1String("interface")).toString(), lab.hostInterface);
        QVERIFY(device.value(QLatin1String("present")).toBool());
    }
    // Nobody answers now: the devices went, and --no-history leaves that unrecorded.
    QCOMPARE(find({"scan", "--wait", "500", "--no-history"}, {}, own).status, 1);
    QCOMPARE(find({"scan", "--wait", "500"}, {}, own).status, 1);
    run = find({"history", mac.toLower(), "--format", "json"}, {}, own);
    QCOMPARE(run.status, 0);
    const QJsonObject device = QJsonDocument::fromJson(run.out).object();
    QVERIFY(!device.value(QLatin1String("present")).toBool());
    QStringList kinds;
    for (const QJsonValue &event : device.value(QLatin1String("events")).toArray())
        kinds.append(event.toObject().value(QLatin1String("event")).toString());
    QCOMPARE(kinds, (QStringList{"appeared", "disappeared"}));
    QCOMPARE(find({"history", "02:00:00:00:99:99"}, {}, own).status, 1);
    run = find({"history", "--events", "--format", "csv"}, {}, own);
    QCOMPARE(run.status, 0);
    QCOMPARE(readCsv(QString::fromUtf8(run.out)).size(), 1 + 6);

    // A history file that is no database: history fails, a scan goes on and says so once.
    QVERIFY(QDir(data.path()).mkpath(QStringLiteral("blocked/Orvane/Veltra Device Finder/history.sqlite")));
    own.insert(QStringLiteral("XDG_DATA_HOME"), data.filePath(QStringLiteral("blocked")));
    QCOMPARE(find({"history"}, {}, own).status, 2);
    run = find({"scan", "--wait", "500"}, {}, own);
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err.count(QLatin1String("device history is off")), 1);
}

// scan --watch against one set of devices, then another: each event once, as one JSON line, and
// a stop signal ends it at once with status 0.
void TestLabCli::watchReportsAppearedGoneAndChanged()
{
    const auto writeDevices = [this](const QString &name, const QJsonArray &devices) {
        const QString path = workDir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(QJsonDocument(devices).toJson());
        return path;
    };
    const auto device = [](const char *mac, const char *ip) {
        return QJsonObject{{"mac", mac}, {"deviceName", "Panoryx P40"}, {"hostName", "watched"}, {"dhcp", false},
                           {"ip", ip},   {"mask", "255.255.255.0"},     {"protocolVersion", 3}};
    };
    const QString before = writeDevices(QStringLiteral("before.json"), {device("02:5A:00:00:09:01", "192.168.77.91"),
                                                                        device("02:5A:00:00:09:02", "192.168.77.92"),
                                                                        device("02:5A:00:00:09:03", "192.168.77.93")});
    const QString after = writeDevices(QStringLiteral("after.json"), {device("02:5A:00:00:09:01", "192.168.77.91"),
                                                                      device("02:5A:00:00:09:03", "192.168.77.99")});
    auto simulator = std::make_unique<Lab::Simulator>(lab, QStringList{"--devices", before});
    QString error;
    QVERIFY2(startSimulator(simulator.get(), &error), qPrintable(error));

    QProcess watch;
    watch.setProcessEnvironment(environment);
    watch.start(QStringLiteral(VELTRA_FIND), {"scan", "--watch", "--interval", "5", "--wait", "1000", "--no-history"});
    const auto cleanup = qScopeGuard([&watch] {
        watch.kill();
        watch.waitForFinished(5000);
    });
    QVERIFY(watch.waitForStarted(10000));
    QMap<QString, QList<QJsonObject>> events; // by kind
    const auto readUntil = [&](int appeared, int disappeared, int changed) {
        const QDeadlineTimer deadline(20000);
        for (;;) {
            while (watch.canReadLine()) {
                const QByteArray line = watch.readLine();
                const QJsonObject event = QJsonDocument::fromJson(line).object();
                events[event.value(QLatin1String("event")).toString(QString::fromUtf8(line))].append(event);
            }
            if (events.value(QStringLiteral("appeared")).size() >= appeared &&
                events.value(QStringLiteral("disappeared")).size() >= disappeared &&
                events.value(QStringLiteral("changed")).size() >= changed)
                return true;
            if (deadline.hasExpired() || watch.state() == QProcess::NotRunning)
                return false;
            watch.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        }
    };
    QVERIFY2(readUntil(3, 0, 0), watch.readAllStandardError().constData());
    // Swapped right after a scan, well within the pause before the next one.
    simulator = std::make_unique<Lab::Simulator>(lab, QStringList{"--devices", after});
    QVERIFY2(startSimulator(simulator.get(), &error), qPrintable(error));
    QVERIFY2(readUntil(3, 1, 1), watch.readAllStandardError().constData());
    QElapsedTimer stopping;
    stopping.start();
    watch.terminate();
    QVERIFY(watch.waitForFinished(5000));
    QVERIFY2(stopping.elapsed() < 2000, QByteArray::number(stopping.elapsed()).constData());
    QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watch.exitCode(), 0);
    const QByteArray rest = watch.readAllStandardOutput();
    QVERIFY2(rest.isEmpty() || rest.endsWith('\n'), rest.constData());
    // Stopped in the middle of a long scan: at once, and nothing of that scan is reported.
    QProcess longScan;
    longScan.setProcessEnvironment(environment);
    longScan.start(QStringLiteral(VELTRA_FIND), {"scan", "--watch", "--wait", "600000", "--no-history"});
    QVERIFY(longScan.waitForStarted(10000));
    QTest::qWait(1000);
    stopping.restart();
    longScan.terminate();
    QVERIFY(longScan.waitForFinished(5000));
    QVERIFY2(stopping.elapsed() < 2000, QByteArray::number(stopping.elapsed()).constData());
    QCOMPARE(longScan.exitCode(), 0);
    QCOMPARE(longScan.readAllStandardOutput(), QByteArray());

    QCOMPARE(events.keys(), (QStringList{"appeared", "changed", "disappeared"}));
    QStringList appeared;
    for (const QJsonObject &event : events.value(QStringLiteral("appeared"))) {
        appeared.append(event.value(QLatin1String("mac")).toString());
        QCOMPARE(event.value(QLatin1String("interface")).toString(), lab.hostInterface);
        const QString time = event.value(QLatin1String("time")).toString();
        QVERIFY2(QDateTime::fromString(time, Qt::ISODateWithMs).isValid() && time.endsWith(QLatin1Char('Z')),
                 qPrintable(time));
    }
    appeared.sort();
    QCOMPARE(appeared, (QStringList{"02:5A:00:00:09:01", "02:5A:00:00:09:02", "02:5A:00:00:09:03"}));
    const QList<QJsonObject> gone = events.value(QStringLiteral("disappeared"));
    QCOMPARE(gone.size(), 1);
    QCOMPARE(gone.first().value(QLatin1String("mac")).toString(), QStringLiteral("02:5A:00:00:09:02"));
    QCOMPARE(gone.first().value(QLatin1String("interface")).toString(), lab.hostInterface);
    const QList<QJsonObject> changed = events.value(QStringLiteral("changed"));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first(), (QJsonObject{{"event", "changed"},
                                           {"mac", "02:5A:00:00:09:03"},
                                           {"time", changed.first().value(QLatin1String("time"))},
                                           {"interface", lab.hostInterface},
                                           {"field", "ip"},
                                           {"old", "192.168.77.93"},
                                           {"new", "192.168.77.99"}}));
}
