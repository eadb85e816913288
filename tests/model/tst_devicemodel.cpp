// SPDX-License-Identifier: Apache-2.0
#include "model/devicemodel.h"
#include "model/devicestate.h"
#include "replies.h"
#include "settings/credentialstore.h"

#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(std::shared_ptr<DeviceState>)

namespace {

const QString MacA = QStringLiteral("00:1A:2B:3C:4D:01");
const QString MacB = QStringLiteral("00:1A:2B:3C:4D:02");
const QString MacC = QStringLiteral("00:1A:2B:3C:4D:03");

struct Cell
{
    QString text;
    bool marked = false;
};

// The conflict marking exactly as a plain reading of the rules does it: every mark cleared, then
// every row's IP text looked up exactly and its host name without regard to case.
class ReferenceTable
{
public:
    void reply(const QString &mac, bool configReply, bool ok, const QString &host, const QString &ip)
    {
        int row = -1;
        for (int i = 0; i < rows.size() && row < 0; ++i) {
            if (rows.at(i).mac.compare(mac, Qt::CaseInsensitive) == 0)
                row = i;
        }
        if (row < 0) {
            rows.append(Row{});
            row = int(rows.size()) - 1;
        }
        rows[row].mac = mac;
        if (configReply) {
            rows[row].host.text = ok ? host : QStringLiteral("N/A");
            rows[row].ip.text = ok ? ip : QStringLiteral("N/A");
        }
        mark(rows);
    }

    void clear() { rows.clear(); }

    struct Row
    {
        QString mac;
        Cell host;
        Cell ip;
    };
    QList<Row> rows;

    // The rows with the marks that their texts call for now, whatever the last reply was.
    QList<Row> marksOfTheTexts() const
    {
        QList<Row> copy = rows;
        mark(copy);
        return copy;
    }

private:
    static void mark(QList<Row> &rows)
    {
        for (Row &row : rows)
            row.host.marked = row.ip.marked = false;
        for (const Row &row : std::as_const(rows)) {
            const QString ip = row.ip.text;
            if (!ip.isEmpty() && ip != QLatin1String("N/A") && ip != QLatin1String("0.0.0.0")) {
                QList<Row *> found;
                for (Row &other : rows) {
                    if (other.ip.text == ip)
                        found.append(&other);
                }
                if (found.size() > 1) {
                    for (Row *other : found)
                        other->ip.marked = true;
                }
            }
            const QString host = row.host.text;
            if (!host.isEmpty() && host != QLatin1String("N/A")) {
                QList<Row *> found;
                for (Row &other : rows) {
                    if (other.host.text.compare(host, Qt::CaseInsensitive) == 0)
                        found.append(&other);
                }
                if (found.size() > 1) {
                    for (Row *other : found)
                        other->host.marked = true;
                }
            }
        }
    }
};

QString text(const DeviceModel &model, int row, int column)
{
    return model.item(row, column)->text();
}

// The model wired to itself the way the transceiver completes the loop: a model signal sends a
// request, and the request is reported back at once.
void loopBackRequests(DeviceModel &model, QStringList *requests)
{
    QObject::connect(&model, &DeviceModel::sendRestartNetwork, &model, [&model, requests](const QString &mac) {
        requests->append(QStringLiteral("restart ") + mac);
        model.onDeviceRequestSent(RestartNetwork, mac);
    });
    QObject::connect(&model, &DeviceModel::sendGetEthConfiguration, &model, [&model, requests](const QString &mac) {
        requests->append(QStringLiteral("get ") + mac);
        model.onDeviceRequestSent(GetNetworkConfig, mac);
    });
}

} // namespace

class TestDeviceModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void construction();
    void states_data();
    void states();
    void stateLookupIgnoresCase();
    void rowsFromReplies();
    void failedReplies();
    void ipConfigText_data();
    void ipConfigText();
    void shortRepliesReadAsZero();
    void rowRules_data();
    void rowRules();
    void conflictMarks();
    void conflictMarksMatchPlainAlgorithm();
    void answerTimeout();
    void broadcastStampsNoRow();
    void restartThenReread();
    void slowDeviceReadAgain();
    void realTimerDrivesTicks();
    void authenticatedRequestShowsProgress();
    void configurationAnswers();
    void rememberedCredentials();
    void unrequestedAnswers_data();
    void unrequestedAnswers();
    void deviceLimit();

private:
    QTemporaryDir settingsDir;
    std::unique_ptr<DeviceModel> model;
    qint64 now = 0;
};

void TestDeviceModel::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
}

void TestDeviceModel::init()
{
    for (const QString &key : CredentialStore::storedKeys())
        CredentialStore::remove(key);
    model = std::make_unique<DeviceModel>();
    now = 43200000; // any point of the monotonic clock
    model->setClock([this] { return now; });
}

void TestDeviceModel::construction()
{
    QCOMPARE(model->columnCount(), 7);
    QCOMPARE(model->rowCount(), 0);
    QStringList headers;
    for (int column = 0; column < 7; ++column)
        headers << model->horizontalHeaderItem(column)->text();
    QCOMPARE(headers, (QStringList{QStringLiteral("Device"), QStringLiteral("Firmware"), QStringLiteral("Hostname"),
                                   QStringLiteral("IP Address"), QStringLiteral("IP config."),
                                   QStringLiteral("MAC Address"), QStringLiteral("Status")}));
    QCOMPARE(model->timer()->interval(), 500);
    QVERIFY(!model->timer()->isSingleShot());
    QVERIFY(!model->timer()->isActive());
}

void TestDeviceModel::states_data()
{
    QTest::addColumn<std::shared_ptr<DeviceState>>("state");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("icon");

    QTest::newRow("normal") << std::shared_ptr<DeviceState>(new NormalState) << 0 << QString() << false;
    QTest::newRow("setting") << std::shared_ptr<DeviceState>(new SettingState) << 1
                             << QStringLiteral("Setting new parameters...") << true;
    QTest::newRow("restart") << std::shared_ptr<DeviceState>(new NetRestartState) << 2
                             << QStringLiteral("Applying new parameters...") << true;
    QTest::newRow("not responding") << std::shared_ptr<DeviceState>(new NotRespondingState) << 3
                                    << QStringLiteral("Device not responding") << true;
    QTest::newRow("request failed") << std::shared_ptr<DeviceState>(new RequestFailedState) << 4
                                    << QStringLiteral("Request failed") << true;
    QTest::newRow("packet lost") << std::shared_ptr<DeviceState>(new PacketLostState) << 5
                                 << QStringLiteral("Device information incomplete. Please scan network again!") << true;
    QTest::newRow("saved authorization failed")
        << std::shared_ptr<DeviceState>(new SavedAuthorizationFailedState) << 5
        << QStringLiteral("Stored password is not valid any more, please try again!") << true;
    QTest::newRow("authorization failed") << std::shared_ptr<DeviceState>(new AuthorizationFailedState) << 5
                                          << QStringLiteral("Authorization failed") << true;
}

void TestDeviceModel::states()
{
    QFETCH(std::shared_ptr<DeviceState>, state);
    QFETCH(int, id);
    QFETCH(QString, status);
    QFETCH(bool, icon);

    model->updateDevice(Replies::info(MacA, QStringLiteral("Panoryx-III")));
    // From a failure state with its icon to the state under test, and back to normal.
    model->setDeviceState(MacA, RequestFailedState());
    model->setDeviceState(MacA, *state);
    QCOMPARE(model->item(0, 5)->data(DeviceModel::StateIdRole).toInt(), id);
    QCOMPARE(text(*model, 0, 6), status);
    QCOMPARE(!model->item(0, 6)->icon().isNull(), icon);
    model->setDeviceState(MacA, NormalState());
    QCOMPARE(model->item(0, 5)->data(DeviceModel::StateIdRole), QVariant(0));
    QCOMPARE(text(*model, 0, 6), QString());
    QVERIFY(model->item(0, 6)->icon().isNull());
}

void TestDeviceModel::stateLookupIgnoresCase()
{
    model->updateDevice(Replies::info(MacA, QStringLiteral("Panoryx-III")));
    model->setDeviceState(MacA.toLower(), AuthorizationFailedState());
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Authorization failed"));
    model->setDeviceState(MacA, PacketLostState());
    QCOMPARE(model->item(0, 5)->data(DeviceModel::StateIdRole), QVariant(5));
    QCOMPARE(text(*model, 0, 6), PacketLostState().statusText());

    // A device without a row (the table was cleared meanwhile) is ignored.
    model->setDeviceState(MacB, NotRespondingState());
    QCOMPARE(model->rowCount(), 1);
}

void TestDeviceModel::rowsFromReplies()
{
    QSignalSpy inserted(model.get(), &QAbstractItemModel::rowsInserted);
    const QByteArray configA = Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("192.168.1.10"));
    model->onDeviceReplyReceived(configA);
    model->onDeviceReplyReceived(Replies::info(MacB, QStringLiteral("Motilux-II"), QStringLiteral("2.2.0")));
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(inserted.size(), 2);

    // A configuration reply first: Device and Firmware wait for the other reply.
    QCOMPARE(text(*model, 0, 0), QString());
    QVERIFY(model->item(0, 0)->data(Qt::DisplayRole).isNull());
    QCOMPARE(text(*model, 0, 2), QStringLiteral("lobby"));
    QCOMPARE(text(*model, 0, 3), QStringLiteral("192.168.1.10"));
    QCOMPARE(text(*model, 0, 4), QStringLiteral("static"));
    QCOMPARE(text(*model, 0, 5), MacA);
    QCOMPARE(text(*model, 0, 6), QString());
    QVERIFY(model->item(0, 6)->icon().isNull());
    QCOMPARE(model->item(0, 5)->data(DeviceModel::ConfigDatagramRole).toByteArray(), configA);

    // The other reply, its MAC text in lower case, fills the same row and rewrites the MAC cell.
    model->onDeviceReplyReceived(
        Replies::info(MacA.toLower(), QStringLiteral("VeltraNET-4.3"), QStringLiteral("1.8.0"), QStringLiteral("12")));
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(inserted.size(), 3); // an update re-inserts the row
    QCOMPARE(inserted.last().at(1).toInt(), 0);
    QCOMPARE(text(*model, 0, 0), QStringLiteral("VeltraNET-4.3"));
    QCOMPARE(text(*model, 0, 1), QStringLiteral("1.8.0"));
    QCOMPARE(text(*model, 0, 2), QStringLiteral("lobby"));
    QCOMPARE(text(*model, 0, 5), MacA.toLower());
    QCOMPARE(model->item(0, 5)->data(DeviceModel::ProductTypeRole), QVariant(12));
    QCOMPARE(model->findRowByMac(MacA), 0);
    QCOMPARE(model->findRowByMac(MacB.toLower()), 1);
    QCOMPARE(model->findRowByMac(MacC), -1);

    // After the view sorts the rows, lookups follow them.
    model->sort(0, Qt::AscendingOrder); // Motilux before VeltraNET
    QCOMPARE(model->findRowByMac(MacA), 1);
    QCOMPARE(model->findRowByMac(MacB), 0);
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("hall"), QStringLiteral("192.168.1.11")));
    QCOMPARE(text(*model, 1, 2), QStringLiteral("hall"));
    QCOMPARE(model->rowCount(), 2);

    // The same reply again, as a scan that asked twice gets it: the row stays in place, and only
    // the stored configuration follows the newest datagram (another sequence number).
    QSignalSpy removed(model.get(), &QAbstractItemModel::rowsRemoved);
    QByteArray again = Replies::config(MacA, QStringLiteral("hall"), QStringLiteral("192.168.1.11"));
    again[108] = char(0x42);
    model->onDeviceReplyReceived(again);
    model->onDeviceReplyReceived(
        Replies::info(MacA, QStringLiteral("VeltraNET-4.3"), QStringLiteral("1.8.0"), QStringLiteral("12")));
    QCOMPARE(removed.size(), 0);
    QCOMPARE(model->item(1, 5)->data(DeviceModel::ConfigDatagramRole).toByteArray(), again);
    // Another product type is a change.
    model->onDeviceReplyReceived(
        Replies::info(MacA, QStringLiteral("VeltraNET-4.3"), QStringLiteral("1.8.0"), QStringLiteral("13")));
    QCOMPARE(removed.size(), 1);
    QCOMPARE(model->item(1, 5)->data(DeviceModel::ProductTypeRole), QVariant(13));

    // A new scan clears the table; devices then come back as new rows.
    model->setRowCount(0);
    QCOMPARE(model->findRowByMac(MacA), -1);
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("lobby"), QStringLiteral("192.168.1.10")));
    QCOMPARE(model->findRowByMac(MacB), 0);
    QVERIFY(model->item(0, 3)->toolTip().isEmpty()); // no conflict with the cleared row
}

void TestDeviceModel::failedReplies()
{
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("hall"), QStringLiteral("10.0.0.5")));
    model->onDeviceReplyReceived(Replies::info(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("1.8.0")));
    QVERIFY(!model->item(0, 3)->toolTip().isEmpty());

    const QByteArray failedConfig =
        Replies::config(MacA, QStringLiteral("x"), QStringLiteral("1.2.3.4"), QStringLiteral("1"), 5);
    model->onDeviceReplyReceived(failedConfig);
    model->onDeviceReplyReceived(Replies::info(MacA, QStringLiteral("y"), QStringLiteral("z"), QStringLiteral("7"),
                                               Protocol::AuthorizationFailed));
    QCOMPARE(model->rowCount(), 2); // a failure never removes a row
    for (int column = 0; column < 5; ++column)
        QCOMPARE(text(*model, 0, column), QStringLiteral("N/A"));
    QCOMPARE(model->item(0, 5)->data(DeviceModel::ProductTypeRole), QVariant(0));
    QCOMPARE(model->item(0, 5)->data(DeviceModel::ConfigDatagramRole).toByteArray(), failedConfig);
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Request failed"));
    // A's address is no longer known: neither A nor B is left marked without a partner.
    QVERIFY(model->item(0, 3)->toolTip().isEmpty());
    QVERIFY(model->item(1, 3)->toolTip().isEmpty());

    // A failed reply from an unknown device still makes a row.
    model->onDeviceReplyReceived(Replies::info(MacC, QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("1"), 9));
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(text(*model, 2, 0), QStringLiteral("N/A"));
    QCOMPARE(text(*model, 2, 2), QString());
    QCOMPARE(text(*model, 2, 6), QStringLiteral("Request failed"));

    // The next successful reply re-marks: "N/A" addresses never conflict.
    model->onDeviceReplyReceived(Replies::info(MacC, QStringLiteral("Motilux-II")));
    QVERIFY(model->item(0, 3)->toolTip().isEmpty());
    QVERIFY(model->item(1, 3)->toolTip().isEmpty());
}

void TestDeviceModel::ipConfigText_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("shown");
    QTest::newRow("1 is DHCP") << QStringLiteral("1") << QStringLiteral("DHCP");
    QTest::newRow("0 is static") << QStringLiteral("0") << QStringLiteral("static");
    QTest::newRow("empty is static") << QString() << QStringLiteral("static");
    QTest::newRow("2 is static") << QStringLiteral("2") << QStringLiteral("static");
}

void TestDeviceModel::ipConfigText()
{
    QFETCH(QString, flag);
    QFETCH(QString, shown);
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.1"), flag));
    QCOMPARE(text(*model, 0, 4), shown);
}

void TestDeviceModel::shortRepliesReadAsZero()
{
    const QByteArray full = Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("192.168.1.10"));
    model->onDeviceReplyReceived(QByteArray(full.constData(), 175)); // cut inside the IP address
    QCOMPARE(text(*model, 0, 2), QStringLiteral("lobby"));
    QCOMPARE(text(*model, 0, 3), QStringLiteral("192.16"));
    const QByteArray info = Replies::info(MacB, QStringLiteral("Panoryx-III"));
    model->onDeviceReplyReceived(QByteArray(info.constData(), 140));
    QCOMPARE(text(*model, 1, 1), QStringLiteral("1.8.0"));
    QCOMPARE(text(*model, 1, 0), QString());
    // An empty text that a reply carried is a value: the row has had its device-information reply.
    QVERIFY(!model->item(1, 0)->data(Qt::DisplayRole).isNull());
    QVERIFY(model->item(1, 2)->data(Qt::DisplayRole).isNull());
    model->onDeviceReplyReceived(Replies::config(MacB, QString(), QString()));
    QVERIFY(!model->item(1, 2)->data(Qt::DisplayRole).isNull());
    QVERIFY(!model->item(1, 3)->data(Qt::DisplayRole).isNull());
}

// Which rows are complete, and which go into the connection export with what: the rules of the
// window's count check and export and of veltra-find.
void TestDeviceModel::rowRules_data()
{
    QTest::addColumn<QByteArrayList>("replies"); // of MacA
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("exportable");
    QTest::addColumn<QString>("host"); // of the export entry
    QTest::addColumn<int>("productType");

    using Replies::config;
    using Replies::info;
    const QString ip = QStringLiteral("192.168.1.10");
    const QString lobby = QStringLiteral("lobby");
    const QString panoryx = QStringLiteral("Panoryx-III");
    const QByteArray plainConfig = config(MacA, lobby, ip);
    const QByteArray plainInfo = info(MacA, panoryx);
    constexpr quint32 Failed = 7;

    QTest::newRow("both replies") << QByteArrayList{plainInfo, plainConfig} << true << true << ip << 12;
    QTest::newRow("configuration only") << QByteArrayList{plainConfig} << false << false << QString() << 0;
    QTest::newRow("information only") << QByteArrayList{plainInfo} << false << false << QString() << 0;
    // A cell that a reply filled counts, also with an empty text: a device may have no host name.
    QTest::newRow("empty host name") << QByteArrayList{plainInfo, config(MacA, QString(), ip)} << true << true << ip
                                     << 12;
    QTest::newRow("empty device name") << QByteArrayList{info(MacA, QString()), plainConfig} << true << true << ip
                                       << 12;
    QTest::newRow("empty address") << QByteArrayList{plainInfo, config(MacA, lobby, QString())} << true << true
                                   << QString() << 12;
    QTest::newRow("DHCP exports the host name")
        << QByteArrayList{plainInfo, config(MacA, lobby, ip, QStringLiteral("1"))} << true << true << lobby << 12;
    QTest::newRow("failed replies fill with N/A")
        << QByteArrayList{info(MacA, panoryx, QStringLiteral("1.0"), QStringLiteral("12"), Failed),
                          config(MacA, lobby, ip, QStringLiteral("1"), Failed)}
        << true << true << QStringLiteral("N/A") << 0;
    QTest::newRow("VeltraNET left out") << QByteArrayList{info(MacA, QStringLiteral("VeltraNET-4.3")), plainConfig}
                                        << true << false << QString() << 0;
    QTest::newRow("other Veltra left out")
        << QByteArrayList{info(MacA, QStringLiteral("Veltra Mini")), plainConfig} << true << false << QString() << 0;
    QTest::newRow("veltra in lower case kept")
        << QByteArrayList{info(MacA, QStringLiteral("veltranet-x")), plainConfig} << true << true << ip << 12;
    QTest::newRow("MAC in lower case, same row")
        << QByteArrayList{plainConfig, info(MacA.toLower(), panoryx)} << true << true << ip << 12;
    QTest::newRow("product type no number")
        << QByteArrayList{info(MacA, panoryx, QStringLiteral("1.8.0"), QStringLiteral("x1")), plainConfig} << true
        << true << ip << 0;
}

void TestDeviceModel::rowRules()
{
    QFETCH(QByteArrayList, replies);
    QFETCH(bool, complete);
    QFETCH(bool, exportable);
    QFETCH(QString, host);
    QFETCH(int, productType);

    // An incomplete device first: the rules read the row they are asked about.
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("hall"), QString()));
    for (const QByteArray &reply : std::as_const(replies))
        model->onDeviceReplyReceived(reply);
    QCOMPARE(model->rowCount(), 2);
    const int row = model->findRowByMac(MacA);
    QCOMPARE(row, 1);
    QCOMPARE(model->isComplete(row), complete);
    QCOMPARE(model->isExportable(row), exportable);
    if (exportable) {
        const ConnectionExport::Entry entry = model->exportEntry(row);
        QCOMPARE(entry.host, host);
        QCOMPARE(entry.productType, productType);
        QCOMPARE(entry.baseName, text(*model, row, DeviceModel::HostnameColumn));
    }
}

void TestDeviceModel::conflictMarks()
{
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("Lobby"), QStringLiteral("10.0.0.5")));
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("LOBBY"), QStringLiteral("10.0.0.5")));
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(model->item(row, 3)->toolTip(), QStringLiteral("IP conflict!"));
        QVERIFY(!model->item(row, 3)->icon().isNull());
        QCOMPARE(model->item(row, 2)->toolTip(), QStringLiteral("Hostname conflict!"));
        QVERIFY(!model->item(row, 2)->icon().isNull());
        QVERIFY(model->item(row, 6)->icon().isNull()); // the Status cell is never marked
    }

    // IP texts compare exactly; the conflict ends when one device reports another address.
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("hall"), QStringLiteral("10.0.0.50")));
    for (int row = 0; row < 2; ++row) {
        QVERIFY(model->item(row, 3)->toolTip().isEmpty());
        QVERIFY(model->item(row, 3)->icon().isNull());
        QVERIFY(model->item(row, 2)->toolTip().isEmpty());
    }

    // "0.0.0.0" is no address (devices waiting for a DHCP lease show it) and conflicts with
    // nothing; a host name "n/a" finds the "N/A" cells of failed rows.
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("n/a"), QStringLiteral("0.0.0.0")));
    model->onDeviceReplyReceived(Replies::config(MacB, QString(), QString(), QStringLiteral("0"), 3));
    model->onDeviceReplyReceived(Replies::config(MacC, QStringLiteral("x"), QStringLiteral("0.0.0.0")));
    for (int row = 0; row < 3; ++row)
        QVERIFY(model->item(row, 3)->toolTip().isEmpty());
    QCOMPARE(model->item(0, 2)->toolTip(), QStringLiteral("Hostname conflict!"));
    QCOMPARE(model->item(1, 2)->toolTip(), QStringLiteral("Hostname conflict!"));
}

void TestDeviceModel::conflictMarksMatchPlainAlgorithm()
{
    const QStringList hosts = {QString(),
                               QStringLiteral("N/A"),
                               QStringLiteral("n/a"),
                               QStringLiteral("Lobby"),
                               QStringLiteral("LOBBY"),
                               QStringLiteral("lobby"),
                               QStringLiteral("hall"),
                               QStringLiteral("Stra\u00dfe"),
                               QStringLiteral("STRASSE"),
                               QStringLiteral("K\u00fcche"),
                               QStringLiteral("K\u00dcCHE"),
                               QStringLiteral("cam-1")};
    const QStringList ips = {QString(),
                             QStringLiteral("N/A"),
                             QStringLiteral("0.0.0.0"),
                             QStringLiteral("10.0.0.5"),
                             QStringLiteral("10.0.0.50"),
                             QStringLiteral("192.168.1.1"),
                             QStringLiteral("n/a")};
    QRandomGenerator random(20261207);
    for (int round = 0; round < 40; ++round) {
        ReferenceTable reference;
        model = std::make_unique<DeviceModel>();
        const int devices = 2 + int(random.bounded(12));
        for (int step = 0; step < 120; ++step) {
            QString mac = QStringLiteral("00:00:00:00:00:%1").arg(random.bounded(devices), 2, 10, QLatin1Char('0'));
            if (random.bounded(4) == 0)
                mac = mac.toLower();
            const bool configReply = random.bounded(3) != 0;
            const bool ok = random.bounded(5) != 0;
            const QString host = hosts.at(random.bounded(hosts.size()));
            const QString ip = ips.at(random.bounded(ips.size()));
            model->onDeviceReplyReceived(configReply ? Replies::config(mac, host, ip, QStringLiteral("0"), ok ? 0 : 1)
                                                     : Replies::info(mac, QStringLiteral("dev"), QStringLiteral("1"),
                                                                     QStringLiteral("1"), ok ? 0 : 1));
            reference.reply(mac, configReply, ok, host, ip);
            if (random.bounded(10) == 0)
                model->sort(int(random.bounded(7)), random.bounded(2) ? Qt::AscendingOrder : Qt::DescendingOrder);
            if (random.bounded(60) == 0) {
                model->setRowCount(0);
                reference.clear();
            }

            QCOMPARE(model->rowCount(), reference.rows.size());
            for (const ReferenceTable::Row &expected : std::as_const(reference.rows)) {
                const int row = model->findRowByMac(expected.mac);
                QVERIFY(row >= 0);
                QCOMPARE(text(*model, row, 5), expected.mac);
                QCOMPARE(text(*model, row, 2), expected.host.text);
                QCOMPARE(text(*model, row, 3), expected.ip.text);
                QCOMPARE(model->item(row, 2)->toolTip(),
                         expected.host.marked ? QStringLiteral("Hostname conflict!") : QString());
                QCOMPARE(model->item(row, 3)->toolTip(),
                         expected.ip.marked ? QStringLiteral("IP conflict!") : QString());
                QCOMPARE(model->item(row, 2)->icon().isNull(), !expected.host.marked);
                QCOMPARE(model->item(row, 3)->icon().isNull(), !expected.ip.marked);
            }
            // Asked for, a conflict follows the texts at once, also after a failed reply.
            const QList<ReferenceTable::Row> now = reference.marksOfTheTexts();
            for (const ReferenceTable::Row &expected : now) {
                const int row = model->findRowByMac(expected.mac);
                QCOMPARE(model->hasConflict(row, DeviceModel::HostnameColumn), expected.host.marked);
                QCOMPARE(model->hasConflict(row, DeviceModel::IpAddressColumn), expected.ip.marked);
            }
        }
    }
}

void TestDeviceModel::answerTimeout()
{
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("hall"), QStringLiteral("10.0.0.6")));

    model->onDeviceRequestSent(GetNetworkConfig, MacA);
    model->onDeviceRequestSent(GetNetworkConfig, MacB);
    QVERIFY(model->timer()->isActive());
    QCOMPARE(model->item(0, 5)->data(DeviceModel::RequestTimeRole).toLongLong(), now);

    // B answers after 2900 ms; A does not answer at all.
    now += 2900;
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("hall"), QStringLiteral("10.0.0.6")));
    QVERIFY(!model->item(1, 5)->data(DeviceModel::RequestTimeRole).isValid());
    now += 100; // exactly 3000 ms: not yet expired
    model->onTimeout();
    QCOMPARE(text(*model, 0, 6), QString());
    now += 1;
    model->onTimeout();
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Device not responding"));
    QCOMPARE(text(*model, 1, 6), QString());
    QVERIFY(!model->item(0, 5)->data(DeviceModel::RequestTimeRole).isValid());
    QVERIFY(model->timer()->isActive()); // the stamp that expired still counted for this tick
    model->onTimeout();
    QVERIFY(!model->timer()->isActive());

    // A second request restarts the count; a reply of any kind ends it.
    model->onDeviceRequestSent(GetNetworkConfig, MacA);
    now += 2000;
    model->onDeviceRequestSent(GetNetworkConfig, MacA);
    now += 2000;
    model->onTimeout();
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Device not responding"));
    QVERIFY(model->item(0, 5)->data(DeviceModel::RequestTimeRole).isValid());
    model->onDeviceReplyReceived(Replies::answer(RestartNetwork + 1, MacA, 0));
    QVERIFY(!model->item(0, 5)->data(DeviceModel::RequestTimeRole).isValid());

    // Stamps match the MAC text exactly.
    model->onDeviceRequestSent(GetNetworkConfig, MacA.toLower());
    QVERIFY(!model->item(0, 5)->data(DeviceModel::RequestTimeRole).isValid());
}

void TestDeviceModel::broadcastStampsNoRow()
{
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));
    model->onDeviceRequestSent(GetNetworkConfig, QStringLiteral("FF:FF:FF:FF:FF:FF"));
    model->onDeviceRequestSent(GetDeviceInfo, QStringLiteral("FF:FF:FF:FF:FF:FF"));
    QVERIFY(model->timer()->isActive());
    QVERIFY(!model->item(0, 5)->data(DeviceModel::RequestTimeRole).isValid());
    model->onTimeout();
    QVERIFY(!model->timer()->isActive());
    QCOMPARE(text(*model, 0, 6), QString());
}

void TestDeviceModel::restartThenReread()
{
    QStringList requests;
    loopBackRequests(*model, &requests);
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));

    model->onDeviceRequestSent(SetNetworkConfig, MacA);
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Setting new parameters..."));
    now += 200;
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigReply, MacA, 0));
    QCOMPARE(requests, QStringList{QStringLiteral("restart ") + MacA});
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Applying new parameters..."));
    QCOMPARE(model->item(0, 5)->data(DeviceModel::RestartTimeRole).toLongLong(), now);

    for (int tick = 1; tick <= 10; ++tick) { // 5000 ms: not yet
        now += 500;
        model->onTimeout();
    }
    QCOMPARE(requests.size(), 1);
    now += 1;
    model->onTimeout();
    QCOMPARE(requests, (QStringList{QStringLiteral("restart ") + MacA, QStringLiteral("get ") + MacA}));
    QVERIFY(!model->item(0, 5)->data(DeviceModel::RestartTimeRole).isValid());
    QCOMPARE(model->item(0, 5)->data(DeviceModel::RequestTimeRole).toLongLong(), now);

    // The configuration comes back with the new values and a normal state.
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby2"), QStringLiteral("10.0.0.9")));
    QCOMPARE(text(*model, 0, 2), QStringLiteral("lobby2"));
    QCOMPARE(text(*model, 0, 6), QString());
    QVERIFY(model->timer()->isActive());
    model->onTimeout(); // no stamp left: the timer stops
    QVERIFY(!model->timer()->isActive());
    QCOMPARE(requests.size(), 2);
}

// A device that needs longer to come back after its restart is asked twice more, 5 s apart, and
// shows "Device not responding" only when all three readings went unanswered.
void TestDeviceModel::slowDeviceReadAgain()
{
    QStringList requests;
    loopBackRequests(*model, &requests);
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));
    model->onDeviceRequestSent(SetNetworkConfig, MacA);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigReply, MacA, 0));
    QList<qint64> readings;
    for (int tick = 0; tick < 60 && text(*model, 0, 6) != QStringLiteral("Device not responding"); ++tick) {
        now += 500;
        const qsizetype before = requests.size();
        model->onTimeout();
        if (requests.size() > before)
            readings.append(now);
    }
    QCOMPARE(readings.size(), 3);
    QVERIFY2(readings.at(1) - readings.at(0) > 5000 && readings.at(1) - readings.at(0) <= 5500,
             qPrintable(QString::number(readings.at(1) - readings.at(0))));
    QVERIFY(readings.at(2) - readings.at(1) > 5000 && readings.at(2) - readings.at(1) <= 5500);
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Device not responding"));

    // The second reading answered: the change is done, and nothing more is sent.
    model->setRowCount(0);
    requests.clear();
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));
    model->onDeviceRequestSent(SetNetworkConfig, MacA);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigReply, MacA, 0));
    for (int tick = 0; tick < 60; ++tick) {
        now += 500;
        model->onTimeout();
        if (requests.size() == 3 && text(*model, 0, 2) == QStringLiteral("lobby"))
            model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby2"), QStringLiteral("10.0.0.9")));
    }
    QCOMPARE(requests.size(), 3);
    QCOMPARE(text(*model, 0, 6), QString());
}

void TestDeviceModel::realTimerDrivesTicks()
{
    model->setClock(nullptr);
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));
    // Made 2.8 s ago: the timer's first ticks find it expired.
    model->onDeviceRequestSent(GetNetworkConfig, MacA);
    const qint64 stamp = model->item(0, 5)->data(DeviceModel::RequestTimeRole).toLongLong();
    model->item(0, 5)->setData(stamp - 2800, DeviceModel::RequestTimeRole);
    QTRY_COMPARE_WITH_TIMEOUT(text(*model, 0, 6), QStringLiteral("Device not responding"), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!model->timer()->isActive(), 2000);
}

void TestDeviceModel::authenticatedRequestShowsProgress()
{
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));
    model->onDeviceRequestSent(SetNetworkConfigAuth, MacA);
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Setting new parameters..."));
    QCOMPARE(model->item(0, 5)->data(DeviceModel::StateIdRole), QVariant(1));
    now += 3001;
    model->onTimeout();
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Device not responding"));
}

void TestDeviceModel::configurationAnswers()
{
    QStringList requests;
    loopBackRequests(*model, &requests);
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));

    // Refused credentials that were stored are forgotten, and the user is told so once.
    CredentialStore::saveLoginData({MacA, QStringLiteral("admin"), QStringLiteral("old")});
    model->onDeviceRequestSent(SetNetworkConfigAuth, MacA);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigAuthReply, MacA, Protocol::AuthorizationFailed));
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Stored password is not valid any more, please try again!"));
    QVERIFY(!CredentialStore::contains(MacA));
    model->onDeviceRequestSent(SetNetworkConfig, MacA);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigReply, MacA, Protocol::AuthorizationFailed));
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Authorization failed"));

    // The stored key must match the MAC text exactly.
    CredentialStore::saveLoginData({MacA.toLower(), QStringLiteral("admin"), QStringLiteral("pw")});
    model->onDeviceRequestSent(SetNetworkConfig, MacA);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigReply, MacA, Protocol::AuthorizationFailed));
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Authorization failed"));
    QVERIFY(CredentialStore::contains(MacA.toLower()));

    model->onDeviceRequestSent(SetNetworkConfigAuth, MacA);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigAuthReply, MacA, 1));
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Request failed"));
    QVERIFY(requests.isEmpty()); // failures are never retried

    // An answer from a device without a row still has the restart request sent.
    model->onDeviceRequestSent(SetNetworkConfig, MacC);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigReply, MacC, 0));
    QCOMPARE(requests, QStringList{QStringLiteral("restart ") + MacC});
    QVERIFY(model->timer()->isActive());
    QCOMPARE(model->rowCount(), 1);
}

void TestDeviceModel::rememberedCredentials()
{
    QStringList requests;
    loopBackRequests(*model, &requests);
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));
    const QStringList login = {MacA, QStringLiteral("admin"), QStringLiteral("secret")};

    // Stored only when the device named in the pending login accepts.
    model->pendingLogin = login;
    model->onDeviceRequestSent(SetNetworkConfigAuth, MacB);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigAuthReply, MacB, 0));
    QVERIFY(model->pendingLogin.isEmpty());
    QVERIFY(!CredentialStore::contains(MacA));

    model->pendingLogin = login;
    model->onDeviceRequestSent(SetNetworkConfigAuth, MacA);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigAuthReply, MacA, 7));
    QVERIFY(model->pendingLogin.isEmpty());
    QVERIFY(!CredentialStore::contains(MacA));

    model->pendingLogin = login;
    model->onDeviceRequestSent(SetNetworkConfig, MacA);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigReply, MacA, 0)); // not an authenticated answer
    QCOMPARE(model->pendingLogin, login);
    QVERIFY(!CredentialStore::contains(MacA));

    model->onDeviceRequestSent(SetNetworkConfigAuth, MacA);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigAuthReply, MacA, 0));
    QVERIFY(model->pendingLogin.isEmpty());
    QCOMPARE(CredentialStore::loadLoginData(MacA), login);
    QCOMPARE(text(*model, 0, 6), QStringLiteral("Applying new parameters..."));
}

// A configuration answer counts only as the answer to a configuration request of the same kind,
// sent to that device and not answered yet, within the answer window.
void TestDeviceModel::unrequestedAnswers_data()
{
    QTest::addColumn<int>("request"); // sent to MacA before the answers; 0 for none
    QTest::addColumn<QString>("requestTo");
    QTest::addColumn<int>("answeredAfter"); // milliseconds
    QTest::addColumn<bool>("answeredTwice");
    QTest::addColumn<bool>("actedOn");

    QTest::newRow("no request") << 0 << MacA << 100 << false << false;
    QTest::newRow("request to another device") << int(SetNetworkConfigAuth) << MacB << 100 << false << false;
    QTest::newRow("request of the other kind") << int(SetNetworkConfig) << MacA << 100 << false << false;
    QTest::newRow("reading a configuration is no change") << int(GetNetworkConfig) << MacA << 100 << false << false;
    QTest::newRow("answered already") << int(SetNetworkConfigAuth) << MacA << 100 << true << false;
    QTest::newRow("after the answer window") << int(SetNetworkConfigAuth) << MacA << 30001 << false << false;
    QTest::newRow("late, after the time-out") << int(SetNetworkConfigAuth) << MacA << 10000 << false << true;
    QTest::newRow("request in other letter case")
        << int(SetNetworkConfigAuth) << MacA.toLower() << 100 << false << true;
}

void TestDeviceModel::unrequestedAnswers()
{
    QFETCH(int, request);
    QFETCH(QString, requestTo);
    QFETCH(int, answeredAfter);
    QFETCH(bool, answeredTwice);
    QFETCH(bool, actedOn);

    QStringList requests;
    loopBackRequests(*model, &requests);
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));
    const QStringList stored = {MacA, QStringLiteral("admin"), QStringLiteral("secret")};
    CredentialStore::saveLoginData(stored);
    if (request != 0)
        model->onDeviceRequestSent(request, requestTo);
    now += answeredAfter;
    if (answeredTwice) {
        model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigAuthReply, MacA, 7));
        QCOMPARE(text(*model, 0, 6), QStringLiteral("Request failed"));
    }
    const QString stateBefore = text(*model, 0, 6);

    // Success would restart the device's network; a refusal would forget its stored credentials.
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigAuthReply, MacA, Protocol::AuthorizationFailed));
    QCOMPARE(CredentialStore::contains(MacA), !actedOn);
    if (!actedOn)
        QCOMPARE(text(*model, 0, 6), stateBefore);
    model->onDeviceReplyReceived(Replies::answer(SetNetworkConfigAuthReply, MacA, 0));
    QVERIFY(requests.isEmpty());
}

// Beyond the limit no row is made; the devices already listed still get their replies, and the
// limit is reported once per table.
void TestDeviceModel::deviceLimit()
{
    model->setDeviceLimit(2);
    QSignalSpy reached(model.get(), &DeviceModel::deviceLimitReached);
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("a"), QStringLiteral("10.0.0.5")));
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("b"), QStringLiteral("10.0.0.6")));
    model->onDeviceReplyReceived(Replies::config(MacC, QStringLiteral("c"), QStringLiteral("10.0.0.7")));
    model->onDeviceReplyReceived(Replies::info(MacC, QStringLiteral("Panoryx-III")));
    model->onDeviceReplyReceived(Replies::info(MacB, QStringLiteral("Panoryx-III")));
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(text(*model, 1, 0), QStringLiteral("Panoryx-III"));
    QCOMPARE(reached.size(), 1);
    QCOMPARE(reached.first().first().toInt(), 2);
    QCOMPARE(DeviceModel().maximumDevices(), 65536);

    model->setRowCount(0); // a new scan
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("a"), QStringLiteral("10.0.0.5")));
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("b"), QStringLiteral("10.0.0.6")));
    model->onDeviceReplyReceived(Replies::config(MacC, QStringLiteral("c"), QStringLiteral("10.0.0.7")));
    QCOMPARE(reached.size(), 2);

    // What is kept of a configuration reply is its fields, not the rest of a 64 KiB datagram.
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("a"), QStringLiteral("10.0.0.5")) +
                                 QByteArray(65000, 'x'));
    const QByteArray kept = model->item(0, 5)->data(DeviceModel::ConfigDatagramRole).toByteArray();
    QCOMPARE(kept, Replies::config(MacA, QStringLiteral("a"), QStringLiteral("10.0.0.5")));
}

QTEST_MAIN(TestDeviceModel)

#include "tst_devicemodel.moc"
