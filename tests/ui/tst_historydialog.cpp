// SPDX-License-Identifier: Apache-2.0
#include "history/historystore.h"
#include "ui/historydialog.h"

#include <QComboBox>
#include <QTableWidget>
#include <QtTest>

namespace {

DeviceSnapshot snapshot(const QString &mac, const QString &ip, const QString &host = QStringLiteral("cam"))
{
    return {mac, QStringLiteral("eth0"), {{QStringLiteral("ip"), ip}, {QStringLiteral("hostname"), host}}};
}

const QString MacA = QStringLiteral("02:00:5E:AA:00:01");
const QString MacB = QStringLiteral("02:00:5E:BB:00:02");
const QString MacC = QStringLiteral("02:00:5E:CC:00:03");

} // namespace

class TestHistoryDialog : public QObject
{
    Q_OBJECT

private slots:
    void showsDevicesByKindWithTheirEvents_data();
    void showsDevicesByKindWithTheirEvents();
    void csvGuardsDeviceTexts();
};

void TestHistoryDialog::showsDevicesByKindWithTheirEvents_data()
{
    QTest::addColumn<int>("show");
    QTest::addColumn<QStringList>("macs");
    QTest::newRow("all") << int(HistoryDialog::AllDevices) << QStringList{MacA, MacB, MacC};
    QTest::newRow("new") << int(HistoryDialog::NewDevices) << QStringList{MacC};
    QTest::newRow("missing") << int(HistoryDialog::MissingDevices) << QStringList{MacA};
    QTest::newRow("changed") << int(HistoryDialog::ChangedDevices) << QStringList{MacB};
}

void TestHistoryDialog::showsDevicesByKindWithTheirEvents()
{
    QFETCH(int, show);
    QFETCH(QStringList, macs);
    HistoryStore store(QStringLiteral(":memory:"));
    QVERIFY(store.open());
    const QDateTime first = QDateTime::currentDateTimeUtc().addSecs(-60);
    store.recordScan({snapshot(MacA, u"10.0.0.1"_qs), snapshot(MacB, u"10.0.0.2"_qs)}, {}, first);
    store.recordScan({snapshot(MacB, u"10.0.0.9"_qs), snapshot(MacC, u"10.0.0.3"_qs)}, {}, first.addSecs(30));

    HistoryDialog dialog(&store);
    dialog.findChild<QComboBox *>(QStringLiteral("showBox"))->setCurrentIndex(show);
    auto *devices = dialog.findChild<QTableWidget *>(QStringLiteral("Known devices"));
    QStringList shown;
    for (int row = 0; row < devices->rowCount(); ++row)
        shown.append(devices->item(row, 0)->text());
    QCOMPARE(shown, macs);

    // The selected device's events, newest first.
    devices->selectRow(int(shown.indexOf(macs.constLast())));
    auto *events = dialog.findChild<QTableWidget *>(QStringLiteral("Events of the device"));
    QVERIFY(events->rowCount() > 0);
    if (macs == QStringList{MacB})
        QCOMPARE(QStringList({events->item(0, 1)->text(), events->item(0, 2)->text(), events->item(0, 3)->text(),
                              events->item(0, 4)->text()}),
                 QStringList({u"Changed"_qs, u"IP Address"_qs, u"10.0.0.2"_qs, u"10.0.0.9"_qs}));
}

void TestHistoryDialog::csvGuardsDeviceTexts()
{
    KnownDevice device;
    device.mac = MacA;
    device.values = {{QStringLiteral("hostname"), QStringLiteral("=HYPERLINK(\"x\")")}};
    const QStringList lines = HistoryDialog::toCsv({device}).split(QStringLiteral("\r\n"));
    QVERIFY(lines.at(0).startsWith(QStringLiteral("mac,firstSeen,lastSeen,present,interface,")));
    QVERIFY2(lines.at(1).contains(QStringLiteral(",\"'=HYPERLINK(\"\"x\"\")\",")), qPrintable(lines.at(1)));
}

QTEST_MAIN(TestHistoryDialog)
#include "tst_historydialog.moc"
