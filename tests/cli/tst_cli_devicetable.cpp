// veltra-find's device table and the desktop program's DeviceModel, fed the same replies, must
// agree on every row: texts, conflict marks, completeness and what the export takes. The model
// runs here under a GUI application (offscreen), where its icons work.

#include "cli/devicetable.h"
#include "model/devicemodel.h"

#include "replies.h"

#include <QTest>

namespace {

using ::Replies::config;
using ::Replies::info;

const QString A = QStringLiteral("02:00:00:00:00:0A");
const QString B = QStringLiteral("02:00:00:00:00:0B");
const QString C = QStringLiteral("02:00:00:00:00:0C");
const QString D = QStringLiteral("02:00:00:00:00:0D");
const QString Ip1 = QStringLiteral("192.168.1.10");
const QString Ip2 = QStringLiteral("192.168.1.11");
constexpr quint32 Failed = 7;

using Datagrams = QList<QByteArray>;

Datagrams complete(const QString &mac, const QString &host, const QString &ip, const QString &type = "Panoryx P40")
{
    return {info(mac, type), config(mac, host, ip)};
}

} // namespace

class TestCliDeviceTable : public QObject
{
    Q_OBJECT

private slots:
    void agreesWithTheDesktopTable_data();
    void agreesWithTheDesktopTable();
    void conflictRules_data();
    void conflictRules();
    void boundedWhateverArrives();
};

void TestCliDeviceTable::agreesWithTheDesktopTable_data()
{
    QTest::addColumn<Datagrams>("replies");
    QTest::newRow("one complete device") << complete(A, "cam", Ip1);
    QTest::newRow("configuration only") << Datagrams{config(A, "cam", Ip1)};
    QTest::newRow("information only") << Datagrams{info(A, "Motilux M3")};
    QTest::newRow("same IP") << complete(A, "cam-a", Ip1) + complete(B, "cam-b", Ip1);
    QTest::newRow("IP conflict resolved")
        << complete(A, "cam-a", Ip1) + complete(B, "cam-b", Ip1) + Datagrams{config(B, "cam-b", Ip2)};
    QTest::newRow("host names differ in case") << complete(A, "Lobby", Ip1) + complete(B, "LOBBY", Ip2);
    QTest::newRow("zero addresses conflict") << complete(A, "a1", "0.0.0.0") + complete(B, "b1", "0.0.0.0");
    QTest::newRow("failed replies first")
        << Datagrams{config(A, "x", Ip1, "0", Failed), config(B, "y", Ip2, "0", Failed),
                     info(A, "z", "1", "12", Failed)} +
               complete(C, "n/a", Ip1);
    QTest::newRow("empty host names") << complete(A, "", Ip1) + complete(B, "", Ip2);
    QTest::newRow("empty device name") << complete(A, "cam", Ip1, "");
    QTest::newRow("DHCP and static forms")
        << Datagrams{info(A, "Motilux M3"), config(A, "m3", Ip1, "1"), info(B, "Panoryx"), config(B, "p", Ip2, "2")};
    QTest::newRow("Veltra devices") << complete(A, "v", Ip1, "VeltraNET 200") + complete(B, "w", Ip2, "Veltra Mini") +
                                           complete(C, "x", "192.168.1.12", "veltranet lower");
    QTest::newRow("lower-case MAC merges") << Datagrams{config(A, "cam", Ip1), info(A.toLower(), "Motilux M3")};
    QTest::newRow("product type no number") << Datagrams{info(A, "Motilux", "1", "x1"), config(A, "m", Ip1)};
    QTest::newRow("many") << complete(A, "a", Ip1) + complete(B, "A", Ip2) + complete(C, "c", Ip1) +
                                 complete(D, "d", "192.168.1.13");
}

void TestCliDeviceTable::agreesWithTheDesktopTable()
{
    QFETCH(Datagrams, replies);
    DeviceModel model;
    DeviceTable table;
    for (const QByteArray &reply : replies) {
        model.onDeviceReplyReceived(reply);
        table.addReply(reply);
    }
    QCOMPARE(table.rowCount(), model.rowCount());
    for (int row = 0; row < model.rowCount(); ++row) {
        const auto cell = [&model, row](int column) { return model.index(row, column); };
        const DeviceTable::Row &entry = table.row(row);
        const QString where = QStringLiteral("row %1").arg(row);
        QCOMPARE(entry.mac, cell(DeviceModel::MacAddressColumn).data().toString());
        QCOMPARE(entry.device.value_or(QString()), cell(DeviceModel::DeviceColumn).data().toString());
        QCOMPARE(entry.firmware.value_or(QString()), cell(DeviceModel::FirmwareColumn).data().toString());
        QCOMPARE(entry.hostName.value_or(QString()), cell(DeviceModel::HostnameColumn).data().toString());
        QCOMPARE(entry.ip.value_or(QString()), cell(DeviceModel::IpAddressColumn).data().toString());
        QCOMPARE(entry.ipConfig.value_or(QString()), cell(DeviceModel::IpConfigColumn).data().toString());
        QCOMPARE(entry.configDatagram,
                 cell(DeviceModel::MacAddressColumn).data(DeviceModel::ConfigDatagramRole).toByteArray());
        QCOMPARE(table.ipConflict(row), !cell(DeviceModel::IpAddressColumn).data(Qt::ToolTipRole).toString().isEmpty());
        QCOMPARE(table.hostNameConflict(row),
                 !cell(DeviceModel::HostnameColumn).data(Qt::ToolTipRole).toString().isEmpty());

        // The scan's count check: an empty cell among Device to MAC Address.
        bool complete = true;
        for (int column = DeviceModel::DeviceColumn; column <= DeviceModel::MacAddressColumn; ++column)
            complete = complete && !cell(column).data().toString().isEmpty();
        QVERIFY2(table.isComplete(row) == complete, qPrintable(where));

        // The export's filter and entry, as the main window reads them from the model.
        const QVariant device = cell(DeviceModel::DeviceColumn).data();
        const bool exportable = !cell(DeviceModel::IpAddressColumn).data().isNull() && !device.isNull() &&
                                !device.toString().startsWith(QLatin1String("Veltra"));
        QVERIFY2(table.isExportable(row) == exportable, qPrintable(where));
        if (exportable) {
            const ConnectionExport::Entry entry = table.exportEntry(row);
            const QString hostName = cell(DeviceModel::HostnameColumn).data().toString();
            const bool dhcp = cell(DeviceModel::IpConfigColumn).data().toString() == QLatin1String("DHCP");
            QCOMPARE(entry.host, dhcp ? hostName : cell(DeviceModel::IpAddressColumn).data().toString());
            QCOMPARE(entry.baseName, hostName);
            QCOMPARE(entry.productType, cell(DeviceModel::MacAddressColumn).data(DeviceModel::ProductTypeRole).toInt());
        }
    }
}

void TestCliDeviceTable::conflictRules_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("caseFold");
    QTest::addColumn<QList<bool>>("marks");
    QTest::newRow("ip exact") << QStringList{"10.0.0.5", "10.0.0.5", "10.0.0.6"} << false
                              << QList<bool>{true, true, false};
    QTest::newRow("ip N/A never") << QStringList{"N/A", "N/A", "n/a"} << false << QList<bool>{false, false, false};
    QTest::newRow("ip empty never") << QStringList{"", "", "1.2.3.4"} << false << QList<bool>{false, false, false};
    QTest::newRow("host case") << QStringList{"Lobby", "LOBBY", "lobby2"} << true << QList<bool>{true, true, false};
    QTest::newRow("host N/A alone") << QStringList{"N/A", "N/A"} << true << QList<bool>{false, false};
    QTest::newRow("host n/a finds N/A") << QStringList{"N/A", "n/a", "N/A", "cam"} << true
                                        << QList<bool>{true, true, true, false};
    QTest::newRow("host empty never") << QStringList{"", ""} << true << QList<bool>{false, false};
    QTest::newRow("host Latin-1 case") << QStringList{"K\u00fcche", "K\u00dcCHE"} << true << QList<bool>{true, true};
}

// The rules on their own; the desktop's table agrees on them through the test above.
void TestCliDeviceTable::conflictRules()
{
    QFETCH(QStringList, texts);
    QFETCH(bool, caseFold);
    QFETCH(QList<bool>, marks);
    QCOMPARE(DeviceTable::conflicts(texts, caseFold), marks);

    // The same texts through replies into both tables.
    DeviceModel model;
    DeviceTable table;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const QString mac = QStringLiteral("02:00:00:00:01:%1").arg(i, 2, 10, QLatin1Char('0'));
        const QString &text = texts.at(i);
        const bool failed = text == QLatin1String("N/A"); // how a device row comes to show "N/A"
        const QByteArray reply = caseFold ? config(mac, text, QStringLiteral("10.1.1.%1").arg(i), "0", failed ? 1 : 0)
                                          : config(mac, QStringLiteral("h%1").arg(i), text, "0", failed ? 1 : 0);
        model.onDeviceReplyReceived(reply);
        table.addReply(reply);
    }
    // A last successful reply has the desktop table mark everything anew.
    const QByteArray settle =
        config(QStringLiteral("02:00:00:00:02:00"), QStringLiteral("settle"), QStringLiteral("10.9.9.9"));
    model.onDeviceReplyReceived(settle);
    table.addReply(settle);
    const int column = caseFold ? DeviceModel::HostnameColumn : DeviceModel::IpAddressColumn;
    for (int row = 0; row < int(texts.size()); ++row) {
        const bool modelMark = !model.index(row, column).data(Qt::ToolTipRole).toString().isEmpty();
        QCOMPARE(modelMark, marks.at(row));
        QCOMPARE(caseFold ? table.hostNameConflict(row) : table.ipConflict(row), marks.at(row));
    }
}

// A flood: new devices stop at the row limit (listed ones are still updated), and of each reply
// only what is read is kept.
void TestCliDeviceTable::boundedWhateverArrives()
{
    DeviceTable table(2);
    table.addReply(config(A, "cam", Ip1) + QByteArray(65000, 'x'));
    table.addReply(info(B, QString(1000, QLatin1Char('n'))));
    QVERIFY(!table.turnedAwayDevices());
    table.addReply(config(C, "c", Ip2));
    table.addReply(info(A, "Motilux M3"));
    QCOMPARE(table.rowCount(), 2);
    QVERIFY(table.turnedAwayDevices());
    QCOMPARE(table.row(0).device, QStringLiteral("Motilux M3"));
    QCOMPARE(table.row(0).configDatagram, config(A, "cam", Ip1));
    QCOMPARE(table.row(1).device, QString(255, QLatin1Char('n')));
    QCOMPARE(DeviceTable().rowLimit(), 65536);
}

QTEST_MAIN(TestCliDeviceTable)
#include "tst_cli_devicetable.moc"
