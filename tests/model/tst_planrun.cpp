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
using Codes = QList<qint64>;
using Kinds = QList<quint32>;
using Outcomes = QList<PlanRun::Outcome>;
// Protocol 3; protocol 4 with credentials stored ("kept"); protocol 4 without; protocol 3.
const QStringList Macs = {QStringLiteral("00:1A:2B:3C:4D:01"), QStringLiteral("00:1A:2B:3C:4D:02"),
                          QStringLiteral("00:1A:2B:3C:4D:03"), QStringLiteral("00:1A:2B:3C:4D:04")};

QByteArray config(const QString &mac, const QString &ip)
{
    MessageHeader head = Replies::header(NetworkConfigReply, mac, 0);
    head.protocolVersion = mac == Macs[1] || mac == Macs[2] ? 4 : 3;
    head.payloadLength = Protocol::NetworkConfigBodySize;
    return head.toByteArray() + NetworkConfigBody::fromDatagram(Replies::config(mac, {}, ip)).toByteArray();
}

} // namespace

class TestPlanRun : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();

private:
    QTemporaryDir settingsDir;
};

void TestPlanRun::run_data()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QTest::addColumn<QList<int>>("plan");         // indexes into Macs
    QTest::addColumn<Codes>("answers");           // per device sent to: its result code, -1 for none
    QTest::addColumn<QString>("shownIp");         // reported after the restart; empty: the planned one
    QTest::addColumn<bool>("given");              // the run has credentials ("typed", to be remembered)
    QTest::addColumn<bool>("cancel");             // cancelled once the first device is under way
    QTest::addColumn<Kinds>("kinds");             // the requests sent
    QTest::addColumn<Outcomes>("outcomes");       // per device finished
    QTest::addColumn<QStringList>("differences"); // of the first device

    const Kinds plain = {SetNetworkConfig, RestartNetwork, GetNetworkConfig};
    const Kinds auth = {SetNetworkConfigAuth, RestartNetwork, GetNetworkConfig};
    const Outcome applied = Outcome::Applied;
    QTest::newRow("one after another") << QList<int>{0, 1, 2, 3} << Codes{0, 0, 0, -1} << QString() << true << false
                                       << plain + auth + auth + Kinds{SetNetworkConfig}
                                       << Outcomes{applied, applied, applied, Outcome::NoAnswer} << QStringList();
    QTest::newRow("read back differs") << QList<int>{0} << Codes{0} << QStringLiteral("10.0.0.1") << true << false
                                       << plain << Outcomes{Outcome::Differs} << QStringList{QStringLiteral("ip")};
    QTest::newRow("refused") << QList<int>{0} << Codes{1} << QString() << true << false << Kinds{SetNetworkConfig}
                             << Outcomes{Outcome::Refused} << QStringList();
    QTest::newRow("stored credentials refused")
        << QList<int>{1} << Codes{Protocol::AuthorizationFailed} << QString() << true << false
        << Kinds{SetNetworkConfigAuth} << Outcomes{Outcome::AuthorizationFailed} << QStringList();
    QTest::newRow("no credentials, nothing sent") << QList<int>{2} << Codes{} << QString() << false << false << Kinds{}
                                                  << Outcomes{Outcome::AuthorizationFailed} << QStringList();
    QTest::newRow("cancelled") << QList<int>{0, 3} << Codes{0} << QString() << true << true << plain
                               << Outcomes{applied} << QStringList();
}

void TestPlanRun::run()
{
    QFETCH(QList<int>, plan);
    QFETCH(Codes, answers);
    QFETCH(QString, shownIp);
    QFETCH(bool, given);
    QFETCH(bool, cancel);
    QFETCH(Outcomes, outcomes);

    for (const QString &mac : CredentialStore::storedKeys())
        CredentialStore::remove(mac);
    CredentialStore::saveLoginData({Macs[1], QStringLiteral("admin"), QStringLiteral("kept")});
    PacketTransceiver transceiver{
        QList<PacketTransceiver::InterfaceInfo>{{QNetworkInterface::IsUp | QNetworkInterface::IsRunning,
                                                 QStringLiteral("02:00:5E:10:00:01"),
                                                 QStringLiteral("eth0"),
                                                 {QStringLiteral("192.168.1.20")}}}};
    DeviceModel model;
    qint64 now = 0;
    model.setClock([&now] { return now; });
    connect(&transceiver, &PacketTransceiver::requestSent, &model, &DeviceModel::onDeviceRequestSent);
    connect(&model, &DeviceModel::sendRestartNetwork, &transceiver, &PacketTransceiver::restartNetwork);
    connect(&model, &DeviceModel::sendGetEthConfiguration, &transceiver,
            qOverload<const QString &>(&PacketTransceiver::getNetworkConfig));
    for (const QString &mac : Macs)
        model.onDeviceReplyReceived(config(mac, QStringLiteral("10.0.0.1")));
    QList<DevicePlan::Row> rows; // the plan's letter case does not matter
    for (const int device : std::as_const(plan))
        rows.append({Macs[device].toLower(), {}, {}, QStringLiteral("10.0.1.%1").arg(device), {}, {}, {}, {}, {}});
    QCOMPARE(PlanRun::needingCredentials(DevicePlan(rows), model), plan.contains(2) ? Macs.mid(2, 1) : QStringList());
    captured().clear();

    PlanRun run(&transceiver, &model);
    QSignalSpy started(&run, &PlanRun::deviceStarted), devices(&run, &PlanRun::deviceFinished);
    QSignalSpy finished(&run, &PlanRun::finished);
    if (given)
        run.setCredentials(QStringLiteral("admin"), QStringLiteral("typed"), true);
    run.start(DevicePlan(rows));
    for (int index = 0; index < answers.size(); ++index) {
        QTRY_COMPARE(started.size(), index + 1);
        QCOMPARE(devices.size(), index); // each device only after the one before it
        if (cancel)
            run.cancel();
        now += 100;
        const QString mac = Macs[plan[index]];
        if (answers[index] >= 0)
            model.onDeviceReplyReceived(
                Replies::answer(MessageHeader::messageIdOf(captured().last()) + 1, mac, quint32(answers[index])));
        now += 5001; // past the model's answer time-out, or the restart delay after an acceptance
        model.onTimeout();
        if (answers[index] == 0)
            model.onDeviceReplyReceived(config(mac, shownIp.isEmpty() ? rows[index].ip : shownIp));
    }
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toBool(), cancel);
    Kinds kinds;
    for (const QByteArray &datagram : std::as_const(captured())) {
        kinds.append(MessageHeader::messageIdOf(datagram));
        QString text; // the stored credentials where there are, else the run's
        NetworkConfigBody::fromAuthDatagram(datagram, &text);
        if (kinds.last() == SetNetworkConfigAuth)
            QCOMPARE(text, QString::fromLatin1(NetworkConfigBody::credentialsText(
                               QStringLiteral("admin"), MessageHeader::destMacOf(datagram) == Macs[1]
                                                            ? QStringLiteral("kept")
                                                            : QStringLiteral("typed"))));
    }
    QTEST(kinds, "kinds");
    QCOMPARE(started.size(), outcomes.size());
    QCOMPARE(devices.size(), outcomes.size());
    for (int index = 0; index < outcomes.size(); ++index) {
        QCOMPARE(devices[index][1].toString(), Macs[plan[index]]);
        QCOMPARE(devices[index][2].value<Outcome>(), outcomes[index]);
    }
    QTEST(run.results()[0].differences, "differences");
    QCOMPARE(PlanRun::worstOutcome(run.results()), *std::max_element(outcomes.begin(), outcomes.end()));
    // The run's credentials are stored for the device that accepted them, as asked.
    QCOMPARE(CredentialStore::contains(Macs[2]), plan.contains(2) && outcomes[plan.indexOf(2)] == Outcome::Applied);
}

QTEST_GUILESS_MAIN(TestPlanRun)

#include "tst_planrun.moc"
