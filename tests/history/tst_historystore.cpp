// SPDX-License-Identifier: Apache-2.0
#include "history/historystore.h"
#include "model/devicemodel.h"
#include "replies.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString MacA = QStringLiteral("00:1A:2B:3C:4D:01");
const QString MacB = QStringLiteral("00:1A:2B:3C:4D:02");
const QDateTime FirstScan = QDateTime(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC);
const QDateTime SecondScan = FirstScan.addSecs(60);

DeviceSnapshot snap(const QString &mac, const QString &interfaceName, const QMap<QString, QString> &values = {})
{
    return DeviceSnapshot{mac, interfaceName, values};
}

// "kind mac [field old new]", to compare events as one readable list.
QStringList describe(const QList<HistoryEvent> &events)
{
    QStringList lines;
    for (const HistoryEvent &e : events) {
        QString line = HistoryEvent::kindName(e.kind) + QLatin1Char(' ') + e.mac;
        if (e.kind == HistoryEvent::Kind::Changed)
            line += QStringLiteral(" %1 %2 %3").arg(e.field, e.oldValue, e.newValue);
        lines.append(line);
    }
    return lines;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs `statements` on the file through a connection of the test's own, which stays open while
// `keep` holds it.
void execOn(const QString &path, const QStringList &statements, QSqlDatabase *keep = nullptr)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("test"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        for (const QString &statement : statements)
            QVERIFY2(QSqlQuery(db).exec(statement), qPrintable(statement));
        if (keep) {
            *keep = db;
            return;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("test"));
}

} // namespace

class HistoryStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void fromRow_data();
    void fromRow();
    void scanEvents_data();
    void scanEvents();
    void keptAcrossReopen();
    void damagedFileKeptAside();
    void lockedDatabaseTurnsHistoryOff();
    void newerVersionLeftUntouched();
    void emptyFileMigrated();

private:
    QTemporaryDir dir;
};

using Scan = QList<DeviceSnapshot>;

void HistoryStoreTest::fromRow_data()
{
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QStringList>("keys");

    const QStringList config{QStringLiteral("dns1"),     QStringLiteral("dns2"),     QStringLiteral("domain"),
                             QStringLiteral("gateway"),  QStringLiteral("hostname"), QStringLiteral("ip"),
                             QStringLiteral("ipConfig"), QStringLiteral("mask"),     QStringLiteral("protocolVersion")};
    const QStringList info{QStringLiteral("device"), QStringLiteral("firmware"), QStringLiteral("productType")};
    const QByteArray okConfig = Replies::config(MacA, QStringLiteral("cam"), QStringLiteral("10.0.0.1"));
    QTest::newRow("both replies") << QList<QByteArray>{Replies::info(MacA, QStringLiteral("Cam")), okConfig}
                                  << QStringList(info + config);
    QTest::newRow("configuration only") << QList<QByteArray>{okConfig} << config;
    QTest::newRow("information refused") << QList<QByteArray>{Replies::info(MacA, QStringLiteral("Cam"), {}, {}, 1),
                                                              okConfig}
                                         << config;
    QTest::newRow("configuration refused")
        << QList<QByteArray>{Replies::config(MacA, QString(), QString(), QStringLiteral("0"), 1)}
        << QStringList{QStringLiteral("protocolVersion")};
}

void HistoryStoreTest::fromRow()
{
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QStringList, keys);
    DeviceModel model;
    for (const QByteArray &reply : replies)
        model.updateDevice(reply);
    const DeviceSnapshot snapshot = DeviceSnapshot::fromRow(model, 0, QStringLiteral("eth0"));
    QCOMPARE(snapshot.mac, MacA);
    const QStringList found = snapshot.values.keys();
    std::sort(keys.begin(), keys.end());
    QCOMPARE(found, keys);
}

void HistoryStoreTest::scanEvents_data()
{
    QTest::addColumn<Scan>("first");
    QTest::addColumn<Scan>("second");
    QTest::addColumn<QStringList>("scanned");
    QTest::addColumn<QStringList>("expected");

    const QString eth0 = QStringLiteral("eth0");
    const QString eth1 = QStringLiteral("eth1");
    const QMap<QString, QString> ip1{{QStringLiteral("ip"), QStringLiteral("10.0.0.1")},
                                     {QStringLiteral("hostname"), QStringLiteral("cam")}};
    const QMap<QString, QString> ip2{{QStringLiteral("ip"), QStringLiteral("10.0.0.2")},
                                     {QStringLiteral("hostname"), QStringLiteral("cam")}};
    const QMap<QString, QString> hostOnly{{QStringLiteral("hostname"), QStringLiteral("cam")}};

    QTest::newRow("new device appears") << Scan{snap(MacA, eth0)} << Scan{snap(MacA, eth0), snap(MacB, eth0)}
                                        << QStringList() << QStringList{QStringLiteral("appeared ") + MacB};
    QTest::newRow("value changes") << Scan{snap(MacA, eth0, ip1)} << Scan{snap(MacA, eth0, ip2)} << QStringList()
                                   << QStringList{QStringLiteral("changed %1 ip 10.0.0.1 10.0.0.2").arg(MacA)};
    QTest::newRow("lost reply is no change")
        << Scan{snap(MacA, eth0, ip1)} << Scan{snap(MacA, eth0, hostOnly)} << QStringList() << QStringList();
    QTest::newRow("first value learnt") << Scan{snap(MacA, eth0, hostOnly)} << Scan{snap(MacA, eth0, ip1)}
                                        << QStringList() << QStringList();
    QTest::newRow("MAC case ignored") << Scan{snap(MacA.toLower(), eth0, ip1)} << Scan{snap(MacA, eth0, ip1)}
                                      << QStringList() << QStringList();
    QTest::newRow("interface changes") << Scan{snap(MacA, eth0)} << Scan{snap(MacA, eth1)} << QStringList()
                                       << QStringList{QStringLiteral("changed %1 interface eth0 eth1").arg(MacA)};
    QTest::newRow("unknown interface is no change")
        << Scan{snap(MacA, eth0)} << Scan{snap(MacA, QString())} << QStringList() << QStringList();
    QTest::newRow("missing device disappears")
        << Scan{snap(MacA, eth0), snap(MacB, eth0)} << Scan{snap(MacA, eth0)} << QStringList{eth0}
        << QStringList{QStringLiteral("disappeared ") + MacB};
    QTest::newRow("other interface not scanned")
        << Scan{snap(MacA, eth0), snap(MacB, eth1)} << Scan{snap(MacA, eth0)} << QStringList{eth0} << QStringList();
    QTest::newRow("gone device disappears once")
        << Scan{snap(MacA, eth0)} << Scan{} << QStringList() << QStringList{QStringLiteral("disappeared ") + MacA};
}

void HistoryStoreTest::scanEvents()
{
    QFETCH(Scan, first);
    QFETCH(Scan, second);
    QFETCH(QStringList, scanned);
    QFETCH(QStringList, expected);

    HistoryStore store(QStringLiteral(":memory:"));
    QVERIFY(store.open());
    QStringList appeared;
    for (const DeviceSnapshot &device : first)
        appeared.append(QStringLiteral("appeared ") + device.mac);
    QCOMPARE(describe(store.recordScan(first, {}, FirstScan)), appeared);
    QCOMPARE(describe(store.recordScan(second, scanned, SecondScan)), expected);
    QCOMPARE(describe(store.recordScan(second, scanned, SecondScan.addSecs(60))), QStringList());
    // What a lost reply did not bring is kept.
    if (QTest::currentDataTag() == QByteArray("lost reply is no change"))
        QCOMPARE(store.device(MacA)->values.value(QStringLiteral("ip")), QStringLiteral("10.0.0.1"));
}

void HistoryStoreTest::keptAcrossReopen()
{
    const QString path = dir.filePath(QStringLiteral("new/folder/history.sqlite"));
    const QMap<QString, QString> values{{QStringLiteral("device"), QStringLiteral("Cam 1")}};
    {
        HistoryStore store(path);
        QVERIFY2(store.open(), qPrintable(store.errorString()));
        store.recordScan({snap(MacA, QStringLiteral("eth0"), values)}, {}, FirstScan);
        QVERIFY(store.wasEmptyBeforeLastScan());
    }
    HistoryStore store(path);
    QVERIFY(store.open());
    QCOMPARE(store.notice(), QString());
    store.recordScan({}, {}, SecondScan);
    QVERIFY(!store.wasEmptyBeforeLastScan());
    const std::optional<KnownDevice> known = store.device(MacA.toLower());
    QVERIFY(known);
    QCOMPARE(known->mac, MacA);
    QCOMPARE(known->firstSeen, FirstScan);
    QCOMPARE(known->lastSeen, FirstScan);
    QCOMPARE(known->values, values);
    QVERIFY(!known->presentInLastScan);
    QCOMPARE(describe(store.events()),
             (QStringList{QStringLiteral("appeared ") + MacA, QStringLiteral("disappeared ") + MacA}));
    QCOMPARE(store.events(MacA).last().time, SecondScan);
    // Back again: it appears again, once, and keeps when it was first seen.
    QCOMPARE(describe(store.recordScan({snap(MacA, QStringLiteral("eth0"), values)}, {}, SecondScan.addSecs(60))),
             QStringList{QStringLiteral("appeared ") + MacA});
    QCOMPARE(describe(store.recordScan({snap(MacA, QStringLiteral("eth0"), values)}, {}, SecondScan.addSecs(120))),
             QStringList());
    QCOMPARE(store.device(MacA)->firstSeen, FirstScan);
}

void HistoryStoreTest::damagedFileKeptAside()
{
    const QString path = dir.filePath(QStringLiteral("damaged.sqlite"));
    const QByteArray garbage = QByteArray("not a database at all ").repeated(200);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(garbage);
    file.close();

    HistoryStore store(path);
    QVERIFY2(store.open(), qPrintable(store.errorString()));
    QVERIFY(store.setAsidePath().startsWith(path + QStringLiteral(".damaged-")));
    QCOMPARE(contents(store.setAsidePath()), garbage);
    QVERIFY(store.notice().contains(store.setAsidePath()));
    QCOMPARE(store.recordScan({snap(MacA, QString())}, {}).size(), 1);
}

void HistoryStoreTest::lockedDatabaseTurnsHistoryOff()
{
    const QString path = dir.filePath(QStringLiteral("locked.sqlite"));
    HistoryStore store(path);
    QVERIFY(store.open());
    {
        QSqlDatabase other;
        execOn(path, {QStringLiteral("BEGIN EXCLUSIVE")}, &other);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(store.recordScan({snap(MacA, QString())}, {}).isEmpty());
        QVERIFY(timer.elapsed() < 5000);
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("test"));
    QVERIFY(!store.isOpen());
    QVERIFY(store.errorString().startsWith(QStringLiteral("Device history is off: ")));
    QCOMPARE(store.notice(), store.errorString());
    QVERIFY(store.recordScan({snap(MacA, QString())}, {}).isEmpty());
}

void HistoryStoreTest::newerVersionLeftUntouched()
{
    const QString path = dir.filePath(QStringLiteral("newer.sqlite"));
    execOn(path, {QStringLiteral("CREATE TABLE later (x)"), QStringLiteral("PRAGMA user_version = 99")});
    const QByteArray before = contents(path);

    HistoryStore store(path);
    QVERIFY(!store.open());
    QVERIFY(store.errorString().contains(QStringLiteral("newer version")));
    QCOMPARE(contents(path), before);
    QCOMPARE(store.setAsidePath(), QString());
}

void HistoryStoreTest::emptyFileMigrated()
{
    const QString path = dir.filePath(QStringLiteral("empty.sqlite"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    {
        HistoryStore store(path);
        QVERIFY2(store.open(), qPrintable(store.errorString()));
        QCOMPARE(store.notice(), QString());
        QCOMPARE(store.recordScan({snap(MacA, QString())}, {}).size(), 1);
    }
    execOn(path, {QStringLiteral("SELECT 1 FROM devices")});
}

QTEST_GUILESS_MAIN(HistoryStoreTest)
#include "tst_historystore.moc"
