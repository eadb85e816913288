// SPDX-License-Identifier: Apache-2.0
// veltra-find's output: the aligned table, CSV as RFC 4180 wants it, JSON with stable keys, and
// the record of a device as its replies fill the device table.

#include "cli/recordtable.h"
#include "cli/rowrecord.h"
#include "model/devicemodel.h"
#include "model/outputfile.h"

#include "csvreader.h"
#include "replies.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestCliOutput : public QObject
{
    Q_OBJECT

private slots:
    void csvQuoting_data();
    void csvQuoting();
    void deviceTextsStayText_data();
    void deviceTextsStayText();
    void tableAlignsColumns();
    void jsonKeysAndTypes();
    void keyValueTextForOneDevice();
    void recordOfAScannedDevice();
    void outputFileRefusesPipeAtOnce();
};

void TestCliOutput::csvQuoting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << QStringLiteral("lab-cam") << QStringLiteral("lab-cam");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("comma") << QStringLiteral("a,b") << QStringLiteral("\"a,b\"");
    QTest::newRow("quote") << QStringLiteral("say \"hi\"") << QStringLiteral("\"say \"\"hi\"\"\"");
    QTest::newRow("line feed") << QStringLiteral("two\nlines") << QStringLiteral("\"two\nlines\"");
    QTest::newRow("carriage return") << QStringLiteral("a\rb") << QStringLiteral("\"a\rb\"");
    QTest::newRow("blanks kept as they are") << QStringLiteral(" padded ") << QStringLiteral(" padded ");
    QTest::newRow("semicolon is no separator") << QStringLiteral("a;b") << QStringLiteral("a;b");
}

// Each field on its own, and a whole document read back by an RFC 4180 reader.
void TestCliOutput::csvQuoting()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(RecordTable::csvField(text), field);

    RecordTable table({QStringLiteral("name"), QStringLiteral("count"), QStringLiteral("ok"), QStringLiteral("none")});
    table.addRow({text, 7, true, QVariant()});
    table.addRow({QStringLiteral("x"), -1, false, QVariant()});
    const QString csv = QString::fromUtf8(table.toCsv());
    QVERIFY(csv.endsWith(QLatin1String("\r\n")));
    const QList<QStringList> records = readCsv(csv);
    QCOMPARE(records.size(), 3);
    QCOMPARE(records.at(0), (QStringList{"name", "count", "ok", "none"}));
    QCOMPARE(records.at(1), (QStringList{text, "7", "true", ""}));
    QCOMPARE(records.at(2), (QStringList{"x", "-1", "false", ""}));
}

void TestCliOutput::deviceTextsStayText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown"); // in the table and the one-device text
    QTest::addColumn<QString>("cell");  // in CSV, as a spreadsheet reads it
    QTest::newRow("title, bell") << QStringLiteral("\x1b]0;x\x07!") << QStringLiteral("\\x1b]0;x\\x07!")
                                 << QStringLiteral("\x1b]0;x\x07!");
    QTest::newRow("backspace, DEL") << QStringLiteral("a\b\x7f") << QStringLiteral("a\\x08\\x7f")
                                    << QStringLiteral("a\b\x7f");
    QTest::newRow("C1, not beyond") << QStringLiteral("\u009b2J\u00a0") << QStringLiteral("\\x9b2J\u00a0")
                                    << QStringLiteral("\u009b2J\u00a0");
    for (const char *formula : {"=1+2", "+1", "-1", "@SUM(A1)", "=a,b"})
        QTest::newRow(formula) << QString::fromLatin1(formula) << QString::fromLatin1(formula)
                               << QLatin1Char('\'') + QString::fromLatin1(formula);
    QTest::newRow("= inside") << QStringLiteral("a=b") << QStringLiteral("a=b") << QStringLiteral("a=b");
}

// No control character reaches a terminal and no cell starts a formula; JSON keeps the text.
void TestCliOutput::deviceTextsStayText()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(QString, cell);
    RecordTable table({QStringLiteral("device")});
    table.addRow({text});
    QCOMPARE(QString::fromUtf8(table.toText()), QStringLiteral("DEVICE\n") + shown + QLatin1Char('\n'));
    QCOMPARE(QString::fromUtf8(table.toKeyValueText()), QStringLiteral("device  ") + shown + QLatin1Char('\n'));
    QCOMPARE(readCsv(QString::fromUtf8(table.toCsv())).value(1), QStringList{cell});
    QCOMPARE(QJsonDocument::fromJson(table.toJson()).array().at(0)[QLatin1String("device")].toString(), text);
}

void TestCliOutput::tableAlignsColumns()
{
    RecordTable table({QStringLiteral("device"), QStringLiteral("ip"), QStringLiteral("complete")});
    table.addRow({QStringLiteral("Panoryx P7 with a long type name"), QStringLiteral("192.168.77.32"), true});
    table.addRow({QString(), QStringLiteral("N/A"), false});
    table.addRow({QStringLiteral("M\u00f6tilux"), QVariant(), true});
    table.addRow({QStringLiteral("tab\there"), QStringLiteral("two\nlines"), false});
    const QStringList lines = QString::fromUtf8(table.toText()).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 6); // header, four rows, nothing after the last line end
    QVERIFY(lines.last().isEmpty());
    QVERIFY(lines.at(0).startsWith(QLatin1String("DEVICE")));

    // Every column starts at the same position on every line; empty cells show "-".
    const qsizetype ipColumn = lines.at(0).indexOf(QLatin1String("IP"));
    const qsizetype completeColumn = lines.at(0).indexOf(QLatin1String("COMPLETE"));
    QCOMPARE(ipColumn, qsizetype(QStringLiteral("Panoryx P7 with a long type name").size() + 2));
    const QStringList ips = {"192.168.77.32", "N/A", "-", "two\\x0alines"};
    const QStringList completes = {"yes", "no", "yes", "no"};
    for (int row = 0; row < 4; ++row) {
        const QString &line = lines.at(row + 1);
        QVERIFY2(line.mid(ipColumn).startsWith(ips.at(row)), qPrintable(line));
        QVERIFY2(line.mid(completeColumn) == completes.at(row), qPrintable(line));
        QVERIFY2(line.at(ipColumn - 1) == QLatin1Char(' '), qPrintable(line));
    }
    QVERIFY(lines.at(2).startsWith(QLatin1String("- ")));
    QVERIFY(lines.at(4).startsWith(QLatin1String("tab\\x09here")));
}

void TestCliOutput::jsonKeysAndTypes()
{
    QCOMPARE(RowRecord::keys(false), (QStringList{"device", "firmware", "productType", "hostname", "ipConfig", "ip",
                                                  "mask", "gateway", "domain", "dns1", "dns2", "mac", "protocolVersion",
                                                  "ipConflict", "hostnameConflict", "complete"}));
    QCOMPARE(RowRecord::keys(true).constFirst(), QStringLiteral("interface"));

    RecordTable table(
        {QStringLiteral("text"), QStringLiteral("number"), QStringLiteral("flag"), QStringLiteral("missing")});
    table.addRow({QStringLiteral("a \"quoted\" \u00e9"), 42, false, QVariant()});
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(table.toJson(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(document.isArray());
    const QJsonObject object = document.array().at(0).toObject();
    QCOMPARE(object.keys(), (QStringList{"flag", "missing", "number", "text"}));
    QCOMPARE(object.value(QLatin1String("text")).toString(), QStringLiteral("a \"quoted\" \u00e9"));
    QCOMPARE(object.value(QLatin1String("number")).toInt(), 42);
    QVERIFY(object.value(QLatin1String("flag")).isBool());
    QVERIFY(object.value(QLatin1String("missing")).isNull());
    // No rows: still one array.
    QCOMPARE(QJsonDocument::fromJson(RecordTable({QStringLiteral("a")}).toJson()).array().size(), 0);
}

void TestCliOutput::keyValueTextForOneDevice()
{
    RecordTable table({QStringLiteral("device"), QStringLiteral("protocolVersion"), QStringLiteral("ok")});
    table.addRow({QStringLiteral("Motilux M3"), 4, true});
    QCOMPARE(QString::fromUtf8(table.toKeyValueText()), QStringLiteral("device           Motilux M3\n"
                                                                       "protocolVersion  4\n"
                                                                       "ok               yes\n"));
}

// Every field the replies carry reaches the record; a device that answered only one request is
// incomplete and its missing values are no values. veltra-find runs the table under a core
// application, where it must not try to make icons, which would only print warnings.
void TestCliOutput::recordOfAScannedDevice()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    const QString mac = QStringLiteral("02:5A:00:00:01:01");
    const QString infoOnly = QStringLiteral("02:5A:00:00:01:02");
    NetworkConfigBody body;
    body.hostName = QStringLiteral("lab-cam");
    body.ipConfig = QStringLiteral("1");
    body.ipAddress = QStringLiteral("192.168.77.31");
    body.subnetMask = QStringLiteral("255.255.0.0");
    body.domain = QStringLiteral("lab.example");
    body.gateway = QStringLiteral("192.168.77.254");
    body.primaryDns = QStringLiteral("192.168.77.253");
    body.secondaryDns = QStringLiteral("192.168.77.252");
    MessageHeader header = Replies::header(NetworkConfigReply, mac, 0);
    header.protocolVersion = 4;
    DeviceModel model;
    model.onDeviceReplyReceived(header.toByteArray() + body.toByteArray());
    model.onDeviceReplyReceived(
        Replies::info(infoOnly, QStringLiteral("Panoryx P7"), QStringLiteral("0.9"), QStringLiteral("7")));

    const QStringList keys = RowRecord::keys(false);
    const auto record = [&model, &keys](const QString &mac) {
        const QVariantList values = RowRecord::values(model, model.findRowByMac(mac));
        QVariantMap byKey;
        for (qsizetype i = 0; i < keys.size(); ++i)
            byKey.insert(keys.at(i), values.value(i));
        return byKey;
    };
    const QVariantMap configOnly = record(mac);
    QCOMPARE(configOnly.value(QStringLiteral("complete")), QVariant(false));
    QVERIFY(!configOnly.value(QStringLiteral("productType")).isValid());
    QCOMPARE(configOnly.value(QStringLiteral("device")), QVariant(QString()));

    model.onDeviceReplyReceived(
        Replies::info(mac, QStringLiteral("Motilux M3"), QStringLiteral("1.4.0"), QStringLiteral("47")));
    const QVariantList expected = {QStringLiteral("Motilux M3"),
                                   QStringLiteral("1.4.0"),
                                   47,
                                   QStringLiteral("lab-cam"),
                                   QStringLiteral("DHCP"),
                                   QStringLiteral("192.168.77.31"),
                                   QStringLiteral("255.255.0.0"),
                                   QStringLiteral("192.168.77.254"),
                                   QStringLiteral("lab.example"),
                                   QStringLiteral("192.168.77.253"),
                                   QStringLiteral("192.168.77.252"),
                                   mac,
                                   4,
                                   false,
                                   false,
                                   true};
    QCOMPARE(RowRecord::values(model, model.findRowByMac(mac)), expected);

    const QVariantMap partial = record(infoOnly);
    QCOMPARE(partial.value(QStringLiteral("complete")), QVariant(false));
    QVERIFY(!partial.value(QStringLiteral("protocolVersion")).isValid());
    QCOMPARE(partial.value(QStringLiteral("productType")), QVariant(7));

    // Conflicts as the texts stand at the end of the scan, also when the last reply failed: "n/a"
    // finds the "N/A" of the failed reply, and an address taken twice marks both rows.
    const QString twin = QStringLiteral("02:5A:00:00:01:03");
    const QString failing = QStringLiteral("02:5A:00:00:01:04");
    model.onDeviceReplyReceived(Replies::config(twin, QStringLiteral("n/a"), QStringLiteral("192.168.77.31")));
    model.onDeviceReplyReceived(
        Replies::config(failing, QStringLiteral("x"), QStringLiteral("192.168.77.9"), QStringLiteral("0"), 5));
    const auto marks = [&record](const QString &mac) {
        const QVariantMap values = record(mac);
        return QList<bool>{values.value(QStringLiteral("ipConflict")).toBool(),
                           values.value(QStringLiteral("hostnameConflict")).toBool()};
    };
    QCOMPARE(marks(mac), (QList<bool>{true, false}));
    QCOMPARE(marks(twin), (QList<bool>{true, true}));
    QCOMPARE(marks(failing), (QList<bool>{false, true}));
    QCOMPARE(marks(infoOnly), (QList<bool>{false, false}));
}

// A plan written to a pipe without a reader would otherwise wait for one for ever.
void TestCliOutput::outputFileRefusesPipeAtOnce()
{
    const QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("plan.csv"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QString error;
    QVERIFY(!OutputFile::write(pipe, "mac\r\n", &error));
    QVERIFY2(error.contains(QLatin1String("is a pipe or socket")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestCliOutput)
#include "tst_cli_output.moc"
