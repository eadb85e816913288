// SPDX-License-Identifier: Apache-2.0
// A plan applied device by device, with the model and transceiver wired as both programs wire them.
// The requests are captured on their way to the system and never sent.

#include "model/devicemodel.h"
#include "model/planrun.h"
#include "protocol/packettransceiver.h"
#include "replies.h"
#include "sendcapture.h"
#include "settings/credentialstore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Outcome = PlanRun::Outcome;
const QString Plain = QStringLiteral("00:1A:2B:3C:4D:01");  // protocol 3
const QString Stored = QStringLiteral("00:1A:2B:3C:4D:02"); // protocol 4, credentials stored
const QString Given = QStringLiteral("00:1A:2B:3C:4D:03");  // protocol 4, the run's credentials
const QString Silent = QStringLiteral("00:1A:2B:3C:4D:04"); // protocol 3, never answers

QList<quint32> capturedKinds()
{
    QList<quint32> kinds;
    for (const QByteArray &datagram : std::as_const(captured()))
        kinds.append(MessageHeader::messageIdOf(datagram));
    return kinds;
}

QByteArray config(const QString &mac, const QString &host, const QString &ip, quint8 version = 3, quint32 result = 0)
{
    MessageHeader head = Replies::header(NetworkConfigReply, mac, result);
    head.protocolVersion = version;
    head.payloadLength = Protocol::NetworkConfigBodySize;
    return head.toByteArray() + NetworkConfigBody::fromDatagram(Replies::config(mac, host, ip)).toByteArray();
}

struct Wired
{
    Wired()
    {
        model.setClock([this] { return now; });
        QObject::connect(&transceiver, &PacketTransceiver::requestSent, &model, &DeviceModel::onDeviceRequestSent);
        QObject::connect(&model, &DeviceModel::sendRestartNetwork, &transceiver, &PacketTransceiver::restartNetwork);
        QObject::connect(&model, &DeviceModel::sendGetEthConfiguration, &transceiver,
                         qOverload<const QString &>(&PacketTransceiver::getNetworkConfig));
        model.onDeviceReplyReceived(config(Plain, QStringLiteral("a"), QStringLiteral("10.0.0.1")));
        model.onDeviceReplyReceived(config(Stored, QStringLiteral("b"), QStringLiteral("10.0.0.2"), 4));
        model.onDeviceReplyReceived(config(Given, QStringLiteral("c"), QStringLiteral("10.0.0.3"), 4));
        model.onDeviceReplyReceived(config(Silent, QStringLiteral("d"), QStringLiteral("10.0.0.4")));
        captured().clear();
        QObject::connect(&run, &PlanRun::deviceStarted, &run, [this] { ++started; });
    }

    // The device under way answers `answer`; on acceptance it restarts and, after the restart delay,
    // reports `readBack` (nothing when empty). A negative answer: it stays silent.
    void answer(const QString &mac, qint64 answer, const QByteArray &readBack = {})
    {
        if (answer < 0) {
            now += 3001; // the model's answer time-out
            model.onTimeout();
            return;
        }
        const quint32 kind = MessageHeader::messageIdOf(captured().constLast()) + 1;
        now += 100;
        model.onDeviceReplyReceived(Replies::answer(kind, mac, quint32(answer)));
        if (answer != 0)
            return;
        now += 5001;
        model.onTimeout();
        if (!readBack.isEmpty())
            model.onDeviceReplyReceived(readBack);
    }

    PacketTransceiver transceiver{
        QList<PacketTransceiver::InterfaceInfo>{{QNetworkInterface::IsUp | QNetworkInterface::IsRunning,
                                                 QStringLiteral("02:00:5E:10:00:01"),
                                                 QStringLiteral("eth0"),
                                                 {QStringLiteral("192.168.1.20")}}}};
    DeviceModel model;
    PlanRun run{&transceiver, &model};
    qint64 now = 0;
    int started = 0;
};

DevicePlan::Row row(const QString &mac, const QString &host, const QString &ip = {})
{
    DevicePlan::Row planRow;
    planRow.mac = mac.toLower(); // the plan's letter case does not matter
    planRow.hostName = host;
    planRow.ip = ip;
    return planRow;
}

QString credentialsOf(const QByteArray &datagram)
{
    QString text;
    NetworkConfigBody::fromAuthDatagram(datagram, &text);
    return text;
}

} // namespace

class TestPlanRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void devicesInTurn();
    void outcomes_data();
    void outcomes();
    void cancelStopsBeforeNextDevice();
    void worstOutcome_data();
    void worstOutcome();

private:
    QTemporaryDir settingsDir;
};

void TestPlanRun::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

void TestPlanRun::init()
{
    for (const QString &mac : CredentialStore::storedKeys())
        CredentialStore::remove(mac);
    CredentialStore::saveLoginData({Stored, QStringLiteral("admin"), QStringLiteral("kept")});
}

// Each device is seen through to its reading after the restart before the next is sent anything.
void TestPlanRun::devicesInTurn()
{
    Wired wired;
    QSignalSpy finishedDevices(&wired.run, &PlanRun::deviceFinished);
    QSignalSpy finished(&wired.run, &PlanRun::finished);
    QCOMPARE(PlanRun::needingCredentials(DevicePlan({row(Plain, {}), row(Given, {})}), wired.model),
             QStringList{Given});
    wired.run.setCredentials(QStringLiteral("admin"), QStringLiteral("typed"), true);
    wired.run.start(DevicePlan({row(Plain, QStringLiteral("a2")), row(Stored, QStringLiteral("b2")),
                                row(Given, {}, QStringLiteral("10.0.0.13")), row(Silent, QStringLiteral("d2"))}));
    QVERIFY(captured().isEmpty()); // nothing before the event loop runs

    QTRY_COMPARE(wired.started, 1);
    wired.answer(Plain, 0, config(Plain, QStringLiteral("a2"), QStringLiteral("10.0.0.1")));
    QTRY_COMPARE(wired.started, 2);
    wired.answer(Stored, 0, config(Stored, QStringLiteral("b2"), QStringLiteral("10.0.0.2"), 4));
    QTRY_COMPARE(wired.started, 3);
    QVERIFY(!CredentialStore::contains(Given));
    wired.answer(Given, 0, config(Given, QStringLiteral("c"), QStringLiteral("10.0.0.13"), 4));
    QTRY_COMPARE(wired.started, 4);
    wired.answer(Silent, -1);
    QTRY_COMPARE(finished.size(), 1);

    const QList<quint32> kinds = {SetNetworkConfig, RestartNetwork,   GetNetworkConfig,     SetNetworkConfigAuth,
                                  RestartNetwork,   GetNetworkConfig, SetNetworkConfigAuth, RestartNetwork,
                                  GetNetworkConfig, SetNetworkConfig};
    QCOMPARE(capturedKinds(), kinds);
    QCOMPARE(credentialsOf(captured().at(3)),
             NetworkConfigBody::credentialsText(QStringLiteral("admin"), QStringLiteral("kept")));
    QCOMPARE(credentialsOf(captured().at(6)),
             NetworkConfigBody::credentialsText(QStringLiteral("admin"), QStringLiteral("typed")));
    QCOMPARE(CredentialStore::loadLoginData(Given),
             (QStringList{Given, QStringLiteral("admin"), QStringLiteral("typed")}));

    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(finishedDevices.size(), 4);
    const QList<Outcome> outcomes = {Outcome::Applied, Outcome::Applied, Outcome::Applied, Outcome::NoAnswer};
    for (int index = 0; index < outcomes.size(); ++index) {
        QCOMPARE(finishedDevices.at(index).at(0).toInt(), index);
        QCOMPARE(finishedDevices.at(index).at(2).value<Outcome>(), outcomes.at(index));
        QCOMPARE(wired.run.results().at(index).outcome, outcomes.at(index));
    }
    QCOMPARE(finishedDevices.at(2).at(1).toString(), Given); // the table's letter case
    QCOMPARE(NetworkConfigBody::fromDatagram(wired.run.results().at(2).readBack).ipAddress,
             QStringLiteral("10.0.0.13"));
    QCOMPARE(PlanRun::worstOutcome(wired.run.results()), Outcome::NoAnswer);
}

// One device each; `answer` as Wired::answer takes it, the read-back's host name and address.
void TestPlanRun::outcomes_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<qint64>("answer"); // a result code; -1 silent, -2 nothing sent
    QTest::addColumn<QString>("hostShown");
    QTest::addColumn<QString>("ipShown");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QStringList>("differences");

    const QString host = QStringLiteral("new");
    const QString ip = QStringLiteral("10.0.0.9");
    QTest::newRow("applied") << Plain << qint64(0) << host << ip << int(Outcome::Applied) << QStringList();
    QTest::newRow("other address shown") << Plain << qint64(0) << host << QStringLiteral("10.0.0.1")
                                         << int(Outcome::Differs) << QStringList{QStringLiteral("ip")};
    QTest::newRow("other host name and address shown")
        << Plain << qint64(0) << QStringLiteral("a") << QStringLiteral("10.0.0.1") << int(Outcome::Differs)
        << QStringList{QStringLiteral("hostname"), QStringLiteral("ip")};
    QTest::newRow("refused") << Plain << qint64(1) << host << ip << int(Outcome::Refused) << QStringList();
    QTest::newRow("stored credentials refused") << Stored << qint64(Protocol::AuthorizationFailed) << host << ip
                                                << int(Outcome::AuthorizationFailed) << QStringList();
    QTest::newRow("no credentials, nothing sent")
        << Given << qint64(-2) << host << ip << int(Outcome::AuthorizationFailed) << QStringList();
    QTest::newRow("no answer") << Plain << qint64(-1) << host << ip << int(Outcome::NoAnswer) << QStringList();
}

void TestPlanRun::outcomes()
{
    QFETCH(QString, mac);
    QFETCH(qint64, answer);
    QFETCH(QString, hostShown);
    QFETCH(QString, ipShown);
    QFETCH(int, outcome);
    QFETCH(QStringList, differences);

    Wired wired;
    QSignalSpy finished(&wired.run, &PlanRun::finished);
    const quint8 version = mac == Plain ? 3 : 4;
    wired.run.start(DevicePlan({row(mac, QStringLiteral("new"), QStringLiteral("10.0.0.9"))}));
    QTRY_COMPARE(wired.started, 1);
    if (answer > -2)
        wired.answer(mac, answer, config(mac, hostShown, ipShown, version));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(captured().isEmpty(), answer == -2);
    const PlanRun::Result &result = wired.run.results().constFirst();
    QCOMPARE(result.outcome, Outcome(outcome));
    QCOMPARE(result.differences, differences);
    for (const QString &field : differences)
        QVERIFY2(result.detail.contains(field), qPrintable(result.detail));
    QCOMPARE(result.credentialsForgotten, answer == qint64(Protocol::AuthorizationFailed));
}

void TestPlanRun::cancelStopsBeforeNextDevice()
{
    Wired wired;
    QSignalSpy finishedDevices(&wired.run, &PlanRun::deviceFinished);
    QSignalSpy finished(&wired.run, &PlanRun::finished);
    wired.run.start(DevicePlan({row(Plain, QStringLiteral("a2")), row(Silent, QStringLiteral("d2"))}));
    QTRY_COMPARE(wired.started, 1);
    wired.run.cancel();
    QCOMPARE(finished.size(), 0); // the device under way goes on
    wired.answer(Plain, 0, config(Plain, QStringLiteral("a2"), QStringLiteral("10.0.0.1")));
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(finishedDevices.size(), 1);
    QCOMPARE(wired.run.results().constFirst().outcome, Outcome::Applied);
    QCOMPARE(wired.started, 1);
    QCOMPARE(capturedKinds(), (QList<quint32>{SetNetworkConfig, RestartNetwork, GetNetworkConfig}));
    QVERIFY(!wired.run.isRunning());
}

void TestPlanRun::worstOutcome_data()
{
    QTest::addColumn<QList<int>>("outcomes");
    QTest::addColumn<int>("worst");
    QTest::newRow("none") << QList<int>{} << int(Outcome::Applied);
    QTest::newRow("no answer over authorization")
        << QList<int>{int(Outcome::AuthorizationFailed), int(Outcome::NoAnswer), int(Outcome::Applied)}
        << int(Outcome::NoAnswer);
    QTest::newRow("differs over refused")
        << QList<int>{int(Outcome::Differs), int(Outcome::Refused), int(Outcome::NoAnswer)} << int(Outcome::Differs);
}

void TestPlanRun::worstOutcome()
{
    QFETCH(QList<int>, outcomes);
    QFETCH(int, worst);
    QList<PlanRun::Result> results;
    for (const int outcome : std::as_const(outcomes)) {
        results.append(PlanRun::Result());
        results.last().outcome = Outcome(outcome);
    }
    QCOMPARE(PlanRun::worstOutcome(results), Outcome(worst));
}

QTEST_GUILESS_MAIN(TestPlanRun)

#include "tst_planrun.moc"
