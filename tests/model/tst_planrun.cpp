// SPDX-License-Identifier: Apache-2.0
// Plans applied on the model and transceiver wired as both programs wire them; requests are captured.
#include "model/configurationchange.h"
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
using Outcomes = QList<PlanRun::Outcome>;
using Kinds = QList<quint32>;
const Kinds Plain = {SetNetworkConfig, RestartNetwork, GetNetworkConfig};
const Kinds Auth = {SetNetworkConfigAuth, RestartNetwork, GetNetworkConfig};
const qint64 Silent = -1, ShowsOld = -2; // besides result codes: no answer; accepts, shows its old address
// Protocol 3; 4 with credentials stored ("kept"); 4 without; 3.
const QStringList Macs = {QStringLiteral("00:1A:2B:3C:4D:01"), QStringLiteral("00:1A:2B:3C:4D:02"),
                          QStringLiteral("00:1A:2B:3C:4D:03"), QStringLiteral("00:1A:2B:3C:4D:04")};

QByteArray config(const QString &mac, const QString &ip)
{
    MessageHeader head = Replies::header(NetworkConfigReply, mac, 0);
    head.protocolVersion = mac == Macs[1] || mac == Macs[2] ? 4 : 3;
    head.payloadLength = Protocol::NetworkConfigBodySize;
    return head.toByteArray() + NetworkConfigBody::fromDatagram(Replies::config(mac, {}, ip)).toByteArray();
}

// A model and a transceiver wired as both programs wire them, on a clock of the test's.
struct Wired
{
    Wired()
    {
        model.setClock([this] { return now; });
        ConfigurationChange::connectTracking(&transceiver, &model);
    }

    PacketTransceiver transceiver{
        QList<PacketTransceiver::InterfaceInfo>{{QNetworkInterface::IsUp | QNetworkInterface::IsRunning,
                                                 QStringLiteral("02:00:5E:10:00:01"),
                                                 QStringLiteral("eth0"),
                                                 {QStringLiteral("192.168.1.20")}}}};
    DeviceModel model;
    qint64 now = 0;
};
} // namespace

class TestPlanRun : public QObject
{
    Q_OBJECT
    QTemporaryDir settingsDir;

private slots:
    void run_data()
    {
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QTest::addColumn<QList<int>>("plan");       // indexes into Macs
        QTest::addColumn<QList<qint64>>("answers"); // of each device sent to
        QTest::addColumn<bool>("given");            // the run has credentials ("typed", to be remembered)
        QTest::addColumn<bool>("cancel");           // once the first device is under way
        QTest::addColumn<Kinds>("kinds");
        QTest::addColumn<Outcomes>("outcomes");
        const Outcome applied = Outcome::Applied, authFailed = Outcome::AuthorizationFailed;
        QTest::newRow("one after another")
            << QList<int>{0, 1, 2, 3} << QList<qint64>{0, 0, 0, Silent} << true << false
            << Plain + Auth + Auth + Kinds{SetNetworkConfig} << Outcomes{applied, applied, applied, Outcome::NoAnswer};
        QTest::newRow("refused, differs")
            << QList<int>{0, 1} << QList<qint64>{1, ShowsOld} << true << false << Kinds{SetNetworkConfig} + Auth
            << Outcomes{Outcome::Refused, Outcome::Differs};
        QTest::newRow("credentials refused") << QList<int>{1} << QList<qint64>{Protocol::AuthorizationFailed} << true
                                             << false << Kinds{SetNetworkConfigAuth} << Outcomes{authFailed};
        QTest::newRow("no credentials, nothing sent")
            << QList<int>{2} << QList<qint64>{} << false << false << Kinds{} << Outcomes{authFailed};
        QTest::newRow("cancelled") << QList<int>{0, 3} << QList<qint64>{0} << true << true << Plain
                                   << Outcomes{applied};
    }

    void run()
    {
        QFETCH(QList<int>, plan);
        QFETCH(QList<qint64>, answers);
        QFETCH(Outcomes, outcomes);
        for (const QString &mac : CredentialStore::storedKeys())
            CredentialStore::remove(mac);
        CredentialStore::saveLoginData({Macs[1], QStringLiteral("admin"), QStringLiteral("kept")});
        Wired wired;
        auto &[transceiver, model, now] = wired;
        for (const QString &mac : Macs)
            model.onDeviceReplyReceived(config(mac, QStringLiteral("10.0.0.1")));
        QList<DevicePlan::Row> rows; // the plan's letter case does not matter
        for (const int device : std::as_const(plan))
            rows.append({Macs[device].toLower(), {}, {}, QStringLiteral("10.0.1.%1").arg(device), {}, {}, {}, {}, {}});
        QCOMPARE(PlanRun::needingCredentials(DevicePlan(rows), model),
                 plan.contains(2) ? Macs.mid(2, 1) : QStringList());
        captured().clear();

        PlanRun run(&transceiver, &model);
        run.setParallel(1);
        QSignalSpy started(&run, &PlanRun::deviceStarted), devices(&run, &PlanRun::deviceFinished);
        QSignalSpy finished(&run, &PlanRun::finished);
        QFETCH(bool, given);
        if (given)
            run.setCredentials(QStringLiteral("admin"), QStringLiteral("typed"), true);
        run.start(DevicePlan(rows));
        QFETCH(bool, cancel);
        for (int index = 0; index < answers.size(); ++index) {
            QTRY_COMPARE(started.size(), index + 1);
            QCOMPARE(devices.size(), index); // each device only after the one before it
            if (cancel)
                run.cancel();
            const QString mac = Macs[plan[index]];
            now += 100;
            if (answers[index] != Silent)
                model.onDeviceReplyReceived(Replies::answer(MessageHeader::messageIdOf(captured().last()) + 1, mac,
                                                            quint32(qMax(answers[index], qint64(0)))));
            now += 5001; // past the answer time-out, or the restart delay after an acceptance
            model.onTimeout();
            if (answers[index] <= 0 && answers[index] != Silent)
                model.onDeviceReplyReceived(config(mac, answers[index] ? QStringLiteral("10.0.0.1") : rows[index].ip));
        }
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toBool(), cancel);
        Kinds kinds;
        for (const QByteArray &datagram : std::as_const(captured())) {
            kinds.append(MessageHeader::messageIdOf(datagram));
            QString text;
            NetworkConfigBody::fromAuthDatagram(datagram, &text);
            if (kinds.last() == SetNetworkConfigAuth) // the stored credentials where there are, else the run's
                QCOMPARE(QByteArray::fromBase64(text.toLatin1()),
                         QByteArray(MessageHeader::destMacOf(datagram) == Macs[1] ? "admin:kept" : "admin:typed"));
        }
        QTEST(kinds, "kinds");
        QCOMPARE(started.size(), outcomes.size());
        QCOMPARE(devices.size(), outcomes.size());
        for (int index = 0; index < outcomes.size(); ++index) {
            QCOMPARE(devices[index][1].toString(), Macs[plan[index]]);
            QCOMPARE(devices[index][2].value<Outcome>(), outcomes[index]);
            const bool differs = outcomes[index] == Outcome::Differs;
            QCOMPARE(run.results()[index].differences, differs ? QStringList{QStringLiteral("ip")} : QStringList());
            if (differs)
                QCOMPARE(devices[index][3].toString(), QStringLiteral("accepted, but after its restart ip shows "
                                                                      "\"10.0.0.1\", expected \"10.0.1.1\""));
        }
        QCOMPARE(PlanRun::worstOutcome(run.results()), *std::max_element(outcomes.begin(), outcomes.end()));
        // The run's credentials are stored once accepted, as asked.
        QCOMPARE(CredentialStore::contains(Macs[2]), plan.contains(2) && outcomes[plan.indexOf(2)] == Outcome::Applied);
    }

    // Two at a time: the third device waits for a place, results keep plan order whatever order the
    // devices finish in, and a cancel lets those under way finish.
    void severalAtOnce()
    {
        Wired wired;
        auto &[transceiver, model, now] = wired;
        QList<DevicePlan::Row> rows;
        for (const QString &mac : {Macs[0], Macs[3], QStringLiteral("00:1A:2B:3C:4D:05")}) {
            model.onDeviceReplyReceived(config(mac, QStringLiteral("10.0.0.1")));
            rows.append({mac, {}, {}, QStringLiteral("10.0.2.%1").arg(rows.size() + 1), {}, {}, {}, {}, {}});
        }
        captured().clear();
        PlanRun run(&transceiver, &model);
        run.setParallel(2);
        QSignalSpy started(&run, &PlanRun::deviceStarted), finished(&run, &PlanRun::finished);
        run.start(DevicePlan(rows));
        QTRY_COMPARE(started.size(), 2);
        QCOMPARE(captured().size(), 2);
        // The second device refuses first; its place goes to the third, then the run is cancelled.
        const auto answer = [&](int request, const QString &mac, quint32 code) {
            model.onDeviceReplyReceived(
                Replies::answer(MessageHeader::messageIdOf(captured().at(request)) + 1, mac, code));
        };
        answer(1, Macs[3], 1);
        QTRY_COMPARE(started.size(), 3);
        run.cancel();
        answer(0, Macs[0], 1);
        answer(2, rows[2].mac, 1);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toBool(), true);
        QCOMPARE(run.results().size(), 3);
        for (int index = 0; index < 3; ++index)
            QCOMPARE(run.results()[index].mac, rows[index].mac);
    }
};

QTEST_GUILESS_MAIN(TestPlanRun)
#include "tst_planrun.moc"
