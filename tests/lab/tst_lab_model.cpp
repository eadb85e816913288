// SPDX-License-Identifier: Apache-2.0
// The device model fed by a real transceiver, wired as the main window wires them, with simulated
// devices answering from the lab's lan namespace: the rows, hidden values and conflict marks the
// replies make, a configuration change through restart and re-reading, and the answer time-out.

#include "labsupport.h"

#include "model/devicemodel.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"
#include "protocol/packettransceiver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QString Broadcast = QStringLiteral("FF:FF:FF:FF:FF:FF");
const QString DevicesFile = QStringLiteral(LAB_DATA_DIR "/model-devices.json");
constexpr int WireTimeoutMs = 10000;

// Devices of the list with a part to play, by the MAC text they send.
const QString IpConflictA = QStringLiteral("02:5A:00:01:00:04"); // protocol version 3, restarts in 500 ms
const QString IpConflictB = QStringLiteral("02:5A:00:01:00:05");
const QString HostConflictA = QStringLiteral("02:5A:00:01:00:06"); // "Lobby"
const QString HostConflictB = QStringLiteral("02:5A:00:01:00:07"); // "LOBBY"
const QString InfoOnly = QStringLiteral("02:5A:00:01:00:08");
const QString LowerCase = QStringLiteral("02:5a:00:01:00:0a");
const QString Slow = QStringLiteral("02:5A:00:01:00:0E"); // answers after 2000 ms

const QString SettingText = QStringLiteral("Setting new parameters...");
const QString RestartText = QStringLiteral("Applying new parameters...");
const QString NotRespondingText = QStringLiteral("Device not responding");
const QString RequestFailedText = QStringLiteral("Request failed");
const QString IpConflictTip = QStringLiteral("IP conflict!");
const QString HostConflictTip = QStringLiteral("Hostname conflict!");

// A device of the list as its row must show it once both requests of a scan are answered.
struct ExpectedRow
{
    QString mac; // as the device sends it
    bool info = true;
    bool config = true;
    bool failed = false;
    QString deviceName;
    QString firmware;
    QString hostName;
    QString ip;
    QString ipConfig;
    int productType = 0;
};

QList<ExpectedRow> expectedRows()
{
    QFile file(DevicesFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<ExpectedRow> rows;
    const QJsonArray list = QJsonDocument::fromJson(file.readAll()).array();
    for (const QJsonValue &value : list) {
        const QJsonObject device = value.toObject();
        const auto text = [&device](const char *key) { return device.value(QLatin1String(key)).toString(); };
        ExpectedRow row;
        row.mac = text("mac");
        if (device.value(QLatin1String("lowercaseMac")).toBool())
            row.mac = row.mac.toLower();
        const QString answers = device.value(QLatin1String("answers")).toString(QStringLiteral("all"));
        row.info = answers != QLatin1String("config");
        row.config = answers != QLatin1String("info");
        row.failed = device.value(QLatin1String("resultCode")).toDouble() != 0;
        const QString notAvailable = QStringLiteral("N/A");
        if (row.info) {
            row.deviceName = row.failed ? notAvailable : text("deviceName");
            row.firmware = row.failed ? notAvailable : text("firmware");
            bool number = false;
            const int type = text("productType").toInt(&number);
            row.productType = row.failed || !number ? 0 : type;
        }
        if (row.config) {
            const bool dhcp = device.value(QLatin1String("dhcp")).toBool();
            row.hostName = row.failed ? notAvailable : text("hostName");
            row.ip = row.failed ? notAvailable : text("ip");
            row.ipConfig = row.failed ? notAvailable : dhcp ? QStringLiteral("DHCP") : QStringLiteral("static");
        }
        rows.append(row);
    }
    return rows;
}

// Every status text a device's row shows, in order, each with the time it appeared.
class StatusRecorder : public QObject
{
public:
    StatusRecorder(const DeviceModel *model, const QString &mac) : model(model), mac(mac)
    {
        connect(model, &QAbstractItemModel::dataChanged, this, [this] { look(); });
        connect(model, &QAbstractItemModel::rowsInserted, this, [this] { look(); });
        clock.start();
        look();
    }

    QStringList texts() const
    {
        QStringList all;
        for (const auto &seen : history)
            all.append(seen.second);
        return all;
    }
    // Milliseconds from the recorder's start to the first time the text was shown, or -1.
    qint64 firstAt(const QString &text) const
    {
        for (const auto &seen : history) {
            if (seen.second == text)
                return seen.first;
        }
        return -1;
    }

private:
    void look()
    {
        const int row = model->findRowByMac(mac);
        if (row < 0)
            return;
        const QString text = model->item(row, DeviceModel::StatusColumn)->text();
        if (history.isEmpty() || history.constLast().second != text)
            history.append({clock.elapsed(), text});
    }

    const DeviceModel *model;
    QString mac;
    QElapsedTimer clock;
    QList<QPair<qint64, QString>> history;
};

// The simulator's log entries of requests to one device, in arrival order.
QList<QJsonObject> requestsTo(const Lab::Simulator &simulator, const QString &mac)
{
    QList<QJsonObject> requests;
    const auto received = simulator.received();
    for (const QJsonObject &entry : received) {
        if (entry.value(QLatin1String("destMacAddr")).toString() == mac)
            requests.append(entry);
    }
    return requests;
}

QList<int> kindsOf(const QList<QJsonObject> &entries)
{
    QList<int> kinds;
    for (const QJsonObject &entry : entries)
        kinds.append(entry.value(QLatin1String("messageId")).toInt());
    return kinds;
}

} // namespace

class TestLabModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void scanFillsEveryRow();
    void configurationChangeGoesThroughRestartAndRereading();
    void unansweredRequestTimesOut();

private:
    // Both requests of a scan, as the main window sends them, and every device's replies handled.
    void scan();
    QString cellText(const QString &mac, int column) const;
    QVariant macData(const QString &mac, int role) const;
    // The last NetworkConfigReply from the device that reached the host, as it arrived.
    QByteArray lastConfigReplySeen(const QString &mac) const;

    Lab::Environment lab = Lab::Environment::fromProcess();
    QTemporaryDir settingsDir;
    QList<ExpectedRow> expected;
    std::unique_ptr<Lab::Witness> witness;
    std::unique_ptr<Lab::Simulator> simulator;
    std::unique_ptr<PacketTransceiver> transceiver;
    std::unique_ptr<DeviceModel> model;
};

void TestLabModel::initTestCase()
{
    REQUIRE_LAB(lab);
    QVERIFY(settingsDir.isValid());
    // An authorization failure makes the model look for stored credentials: never the user's own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    expected = expectedRows();
    QCOMPARE(expected.size(), 13);
}

void TestLabModel::init()
{
    // Every test meets the devices as the list describes them.
    witness = std::make_unique<Lab::Witness>();
    QVERIFY2(witness->isValid(), qPrintable(witness->errorString()));
    simulator = std::make_unique<Lab::Simulator>(lab, QStringList{QStringLiteral("--devices"), DevicesFile});
    QString error;
    QVERIFY2(simulator->start(&error), qPrintable(error));

    transceiver = std::make_unique<PacketTransceiver>();
    model = std::make_unique<DeviceModel>();
    connect(transceiver.get(), &PacketTransceiver::replyReceived, model.get(), &DeviceModel::onDeviceReplyReceived);
    connect(transceiver.get(), &PacketTransceiver::requestSent, model.get(), &DeviceModel::onDeviceRequestSent);
    connect(model.get(), &DeviceModel::sendGetEthConfiguration, transceiver.get(),
            qOverload<const QString &>(&PacketTransceiver::getNetworkConfig));
    connect(model.get(), &DeviceModel::sendRestartNetwork, transceiver.get(), &PacketTransceiver::restartNetwork);
    QVERIFY(transceiver->bindSocket());
    scan();
}

void TestLabModel::cleanup()
{
    model.reset();
    transceiver.reset();
    simulator.reset();
    witness.reset();
}

void TestLabModel::scan()
{
    transceiver->getDeviceInfo(Broadcast);
    transceiver->pause(100);
    // The replies that came during the pause wait until the second request is out.
    QCOMPARE(model->rowCount(), 0);
    transceiver->getNetworkConfig(Broadcast);

    // What is still missing: empty when every device's replies are in.
    const auto missing = [this] {
        QStringList gaps;
        if (model->rowCount() != expected.size())
            gaps.append(QStringLiteral("%1 rows").arg(model->rowCount()));
        for (const ExpectedRow &row : std::as_const(expected)) {
            if (row.info && cellText(row.mac, DeviceModel::FirmwareColumn).isEmpty())
                gaps.append(row.mac + QStringLiteral(" information"));
            if (row.config && cellText(row.mac, DeviceModel::IpAddressColumn).isEmpty())
                gaps.append(row.mac + QStringLiteral(" configuration"));
        }
        return gaps.join(QStringLiteral(", "));
    };
    QTRY_VERIFY2_WITH_TIMEOUT(missing().isEmpty(), qPrintable(missing()), WireTimeoutMs);
}

QString TestLabModel::cellText(const QString &mac, int column) const
{
    const int row = model->findRowByMac(mac);
    return row < 0 ? QString() : model->index(row, column).data().toString();
}

QVariant TestLabModel::macData(const QString &mac, int role) const
{
    const int row = model->findRowByMac(mac);
    return row < 0 ? QVariant() : model->index(row, DeviceModel::MacAddressColumn).data(role);
}

QByteArray TestLabModel::lastConfigReplySeen(const QString &mac) const
{
    QByteArray last;
    const auto arrivals = witness->arrivals();
    for (const Lab::Witness::Arrival &arrival : arrivals) {
        if (Lab::readUInt32(arrival.datagram, 40) == NetworkConfigReply &&
            Lab::fieldText(arrival.datagram, 74, 18) == mac.toLatin1())
            last = arrival.datagram;
    }
    return last;
}

// One row per device with the texts of both replies (or "N/A" where the device failed them), the
// MAC text as the device sends it, the hidden values, and conflict marks exactly on the IP
// Address cells of the two devices that share an address and the Hostname cells of the two whose
// names differ only in case. A device that answers one kind of request has only that half.
void TestLabModel::scanFillsEveryRow()
{
    QCOMPARE(model->columnCount(), 7);
    QSet<QString> macs;
    for (int row = 0; row < model->rowCount(); ++row)
        macs.insert(model->index(row, DeviceModel::MacAddressColumn).data().toString());
    QCOMPARE(int(macs.size()), int(expected.size()));

    for (const ExpectedRow &device : std::as_const(expected)) {
        const QByteArray where = device.mac.toLatin1();
        const int row = model->findRowByMac(device.mac);
        QVERIFY2(row >= 0, where.constData());
        const auto text = [&](int column) { return model->index(row, column).data().toString(); };
        QCOMPARE(text(DeviceModel::DeviceColumn), device.deviceName);
        QCOMPARE(text(DeviceModel::FirmwareColumn), device.firmware);
        QCOMPARE(text(DeviceModel::HostnameColumn), device.hostName);
        QCOMPARE(text(DeviceModel::IpAddressColumn), device.ip);
        QCOMPARE(text(DeviceModel::IpConfigColumn), device.ipConfig);
        QCOMPARE(text(DeviceModel::MacAddressColumn), device.mac);
        QCOMPARE(text(DeviceModel::StatusColumn), device.failed ? RequestFailedText : QString());
        QCOMPARE(model->item(row, DeviceModel::StatusColumn)->icon().isNull(), !device.failed);
        QCOMPARE(macData(device.mac, DeviceModel::StateIdRole).toInt(), device.failed ? 4 : 0);
        QCOMPARE(macData(device.mac, DeviceModel::ProductTypeRole).toInt(), device.productType);
        // A broadcast request stamps no row.
        QVERIFY2(!macData(device.mac, DeviceModel::RequestTimeRole).isValid(), where.constData());
        QVERIFY2(!macData(device.mac, DeviceModel::RestartTimeRole).isValid(), where.constData());

        const QByteArray stored = macData(device.mac, DeviceModel::ConfigDatagramRole).toByteArray();
        if (device.config) {
            QTRY_VERIFY_WITH_TIMEOUT(!lastConfigReplySeen(device.mac).isEmpty(), WireTimeoutMs);
            QCOMPARE(stored.size(), 329);
            QCOMPARE(stored, lastConfigReplySeen(device.mac));
        } else {
            QVERIFY2(stored.isEmpty(), where.constData());
        }

        const bool ipMarked = device.mac == IpConflictA || device.mac == IpConflictB;
        const bool hostMarked = device.mac == HostConflictA || device.mac == HostConflictB;
        const QStandardItem *ipCell = model->item(row, DeviceModel::IpAddressColumn);
        const QStandardItem *hostCell = model->item(row, DeviceModel::HostnameColumn);
        QCOMPARE(ipCell->toolTip(), ipMarked ? IpConflictTip : QString());
        QCOMPARE(ipCell->icon().isNull(), !ipMarked);
        QCOMPARE(hostCell->toolTip(), hostMarked ? HostConflictTip : QString());
        QCOMPARE(hostCell->icon().isNull(), !hostMarked);
    }

    // The broadcasts started the time-out timer; with nothing stamped it stops by itself.
    QTRY_VERIFY_WITH_TIMEOUT(!model->timer()->isActive(), 3000);
}

// SetNetworkConfig to a version-3 device: "Setting new parameters..." at once, "Applying new
// parameters..." when the device accepts (the model has it restart at once), the device's
// configuration read again more than 5000 ms after the restart, and then the new values with an
// empty status; the conflict marks follow the new address and host name.
void TestLabModel::configurationChangeGoesThroughRestartAndRereading()
{
    const int row = model->findRowByMac(IpConflictA);
    QVERIFY(row >= 0);
    const int requestsBefore = int(requestsTo(*simulator, IpConflictA).size());
    StatusRecorder status(model.get(), IpConflictA);
    // When the transceiver sent each request to the device, by kind.
    QElapsedTimer clock;
    clock.start();
    QMap<int, qint64> sentAt;
    connect(transceiver.get(), &PacketTransceiver::requestSent, this, [&](int kind, const QString &mac) {
        if (mac == IpConflictA)
            sentAt.insert(kind, clock.elapsed());
    });

    NetworkConfigBody config;
    config.macAddress = IpConflictA;
    config.hostName = QStringLiteral("lobby"); // a third name that differs from "Lobby" only in case
    config.ipConfig = NetworkConfigBody::ipConfigText(true);
    config.ipAddress = QStringLiteral("192.168.77.50"); // no longer shared
    config.subnetMask = QStringLiteral("255.255.255.128");
    config.domain = QStringLiteral("changed.example");
    config.gateway = QStringLiteral("192.168.77.126");
    config.primaryDns = QStringLiteral("192.168.77.125");
    config.secondaryDns = QStringLiteral("0.0.0.0");
    transceiver->sendRequest(SetNetworkConfig, IpConflictA, config.toByteArray());

    QCOMPARE(cellText(IpConflictA, DeviceModel::StatusColumn), SettingText);
    QCOMPARE(macData(IpConflictA, DeviceModel::StateIdRole).toInt(), 1);
    QVERIFY(macData(IpConflictA, DeviceModel::RequestTimeRole).isValid());
    QVERIFY(model->timer()->isActive());

    QTRY_COMPARE_WITH_TIMEOUT(cellText(IpConflictA, DeviceModel::StatusColumn), RestartText, WireTimeoutMs);
    QCOMPARE(macData(IpConflictA, DeviceModel::StateIdRole).toInt(), 2);
    QVERIFY(!macData(IpConflictA, DeviceModel::RequestTimeRole).isValid());
    QVERIFY(macData(IpConflictA, DeviceModel::RestartTimeRole).isValid());

    QTRY_COMPARE_WITH_TIMEOUT(cellText(IpConflictA, DeviceModel::HostnameColumn), config.hostName,
                              DeviceModel::RestartDelay + WireTimeoutMs);
    QCOMPARE(cellText(IpConflictA, DeviceModel::StatusColumn), QString());
    QCOMPARE(macData(IpConflictA, DeviceModel::StateIdRole).toInt(), 0);
    QCOMPARE(status.texts(), (QStringList{QString(), SettingText, RestartText, QString()}));
    QCOMPARE(model->findRowByMac(IpConflictA), row);
    QCOMPARE(cellText(IpConflictA, DeviceModel::IpAddressColumn), config.ipAddress);
    QCOMPARE(cellText(IpConflictA, DeviceModel::IpConfigColumn), QStringLiteral("DHCP"));
    QCOMPARE(cellText(IpConflictA, DeviceModel::DeviceColumn), QStringLiteral("VeltraNET 200"));
    const QByteArray stored = macData(IpConflictA, DeviceModel::ConfigDatagramRole).toByteArray();
    QCOMPARE(stored, lastConfigReplySeen(IpConflictA));
    QCOMPARE(NetworkConfigBody::fromDatagram(stored), config);

    // The IP conflict is gone from both rows; the host name now clashes three ways.
    for (const QString &mac : {IpConflictA, IpConflictB}) {
        const QStandardItem *cell = model->item(model->findRowByMac(mac), DeviceModel::IpAddressColumn);
        QVERIFY2(cell->toolTip().isEmpty() && cell->icon().isNull(), qPrintable(mac));
    }
    for (const QString &mac : {IpConflictA, HostConflictA, HostConflictB}) {
        const QStandardItem *cell = model->item(model->findRowByMac(mac), DeviceModel::HostnameColumn);
        QVERIFY2(cell->toolTip() == HostConflictTip && !cell->icon().isNull(), qPrintable(mac));
    }

    // On the wire: the change, the restart right after the device accepted, and one reading of the
    // configuration more than 5000 ms after the restart.
    const QList<QJsonObject> requests = requestsTo(*simulator, IpConflictA).mid(requestsBefore);
    QCOMPARE(kindsOf(requests), (QList<int>{SetNetworkConfig, RestartNetwork, GetNetworkConfig}));
    const qint64 restartAfterSet = sentAt.value(RestartNetwork) - sentAt.value(SetNetworkConfig);
    const qint64 rereadAfterRestart = sentAt.value(GetNetworkConfig) - sentAt.value(RestartNetwork);
    qInfo("restart %lld ms after the change, configuration read again %lld ms after the restart", restartAfterSet,
          rereadAfterRestart);
    QVERIFY2(restartAfterSet < 2000, qPrintable(QString::number(restartAfterSet)));
    QVERIFY2(rereadAfterRestart >= DeviceModel::RestartDelay, qPrintable(QString::number(rereadAfterRestart)));
    QVERIFY2(rereadAfterRestart < DeviceModel::RestartDelay + 2500, qPrintable(QString::number(rereadAfterRestart)));

    // Both stamps are gone; the timer stops on a following tick.
    QVERIFY(!macData(IpConflictA, DeviceModel::RestartTimeRole).isValid());
    QVERIFY(!macData(IpConflictA, DeviceModel::RequestTimeRole).isValid());
    QTRY_VERIFY_WITH_TIMEOUT(!model->timer()->isActive(), 3000);
}

// GetNetworkConfig to three devices at once: the one that answers only device-information
// requests shows "Device not responding" at the first tick more than 3000 ms later; the one that
// answers after 2000 ms and the one addressed by its lower-case MAC text never do.
void TestLabModel::unansweredRequestTimesOut()
{
    StatusRecorder silent(model.get(), InfoOnly);
    StatusRecorder slow(model.get(), Slow);
    StatusRecorder lower(model.get(), LowerCase);
    for (const QString &mac : {InfoOnly, Slow, LowerCase})
        transceiver->getNetworkConfig(mac);
    for (const QString &mac : {InfoOnly, Slow, LowerCase})
        QVERIFY2(macData(mac, DeviceModel::RequestTimeRole).isValid(), qPrintable(mac));

    QTRY_COMPARE_WITH_TIMEOUT(cellText(InfoOnly, DeviceModel::StatusColumn), NotRespondingText, WireTimeoutMs);
    const qint64 timedOutAfter = silent.firstAt(NotRespondingText);
    qInfo("\"Device not responding\" %lld ms after the request", timedOutAfter);
    QVERIFY2(timedOutAfter >= DeviceModel::AnswerTimeout, qPrintable(QString::number(timedOutAfter)));
    QVERIFY2(timedOutAfter < DeviceModel::AnswerTimeout + 2 * DeviceModel::TimerInterval + 1000,
             qPrintable(QString::number(timedOutAfter)));
    QCOMPARE(macData(InfoOnly, DeviceModel::StateIdRole).toInt(), 3);
    QVERIFY(!model->item(model->findRowByMac(InfoOnly), DeviceModel::StatusColumn)->icon().isNull());
    QVERIFY(!macData(InfoOnly, DeviceModel::RequestTimeRole).isValid());
    // The row keeps what the device did report.
    QCOMPARE(cellText(InfoOnly, DeviceModel::DeviceColumn), QStringLiteral("Motilux M3"));

    QCOMPARE(silent.texts(), (QStringList{QString(), NotRespondingText}));
    QCOMPARE(slow.texts(), QStringList{QString()});
    QCOMPARE(lower.texts(), QStringList{QString()});
    for (const QString &mac : {Slow, LowerCase})
        QVERIFY2(!macData(mac, DeviceModel::RequestTimeRole).isValid(), qPrintable(mac));
    QTRY_VERIFY_WITH_TIMEOUT(!model->timer()->isActive(), 3000);
}

QTEST_MAIN(TestLabModel)
#include "tst_lab_model.moc"
