// SPDX-License-Identifier: Apache-2.0
// A configuration change from its request to its outcome, with the model and transceiver wired as
// both programs wire them. The requests are captured on their way to the system and never sent.

#include "model/configurationchange.h"
#include "model/devicemodel.h"
#include "protocol/packettransceiver.h"
#include "replies.h"
#include "sendcapture.h"
#include "settings/credentialstore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Outcome = ConfigurationChange::Outcome;
const QString Mac = QStringLiteral("00:1A:2B:3C:4D:01");
const QStringList Sent = {Mac, QStringLiteral("admin"), QStringLiteral("typed")};

QList<quint32> capturedKinds()
{
    QList<quint32> kinds;
    for (const QByteArray &datagram : std::as_const(captured()))
        kinds.append(MessageHeader::messageIdOf(datagram));
    return kinds;
}

// A transceiver and a model wired as both programs wire them, on a clock of the test's own, with
// one device in the table.
struct Wired
{
    Wired()
    {
        model.setClock([this] { return now; });
        QObject::connect(&transceiver, &PacketTransceiver::requestSent, &model, &DeviceModel::onDeviceRequestSent);
        QObject::connect(&model, &DeviceModel::sendRestartNetwork, &transceiver, &PacketTransceiver::restartNetwork);
        QObject::connect(&model, &DeviceModel::sendGetEthConfiguration, &transceiver,
                         qOverload<const QString &>(&PacketTransceiver::getNetworkConfig));
        model.onDeviceReplyReceived(Replies::config(Mac, QStringLiteral("lobby"), QStringLiteral("10.0.0.5")));
        captured().clear();
    }

    PacketTransceiver transceiver{
        QList<PacketTransceiver::InterfaceInfo>{{QNetworkInterface::IsUp | QNetworkInterface::IsRunning,
                                                 QStringLiteral("02:00:5E:10:00:01"),
                                                 QStringLiteral("eth0"),
                                                 {QStringLiteral("192.168.1.20")}}}};
    DeviceModel model;
    qint64 now = 0;
    const NetworkConfigBody values =
        NetworkConfigBody::fromDatagram(Replies::config(Mac, QStringLiteral("lobby2"), QStringLiteral("10.0.0.9")));
};

} // namespace

class TestConfigurationChange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outcomes_data();
    void outcomes();
    void eachAttemptDecidesOnRemembering();

private:
    QTemporaryDir settingsDir;
};

void TestConfigurationChange::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

void TestConfigurationChange::outcomes_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QList<quint32>>("answers"); // result codes: the change's answer, then the re-read's
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("storedAfter");

    const QStringList none;
    const QStringList other = {Mac, QStringLiteral("admin"), QStringLiteral("older")};
    QTest::newRow("applied") << none << QList<quint32>{0, 0} << int(Outcome::Applied) << false;
    QTest::newRow("refused") << none << QList<quint32>{1} << int(Outcome::Refused) << false;
    QTest::newRow("configuration not reported") << none << QList<quint32>{0, 1} << int(Outcome::Refused) << false;
    QTest::newRow("refused credentials were the stored ones")
        << Sent << QList<quint32>{Protocol::AuthorizationFailed} << int(Outcome::AuthorizationFailed) << false;
    QTest::newRow("stored credentials that were not sent stay")
        << other << QList<quint32>{Protocol::AuthorizationFailed} << int(Outcome::AuthorizationFailed) << true;
    QTest::newRow("no answer") << none << QList<quint32>{} << int(Outcome::NoAnswer) << false;
    QTest::newRow("no answer after the restart") << none << QList<quint32>{0} << int(Outcome::NoAnswer) << false;
}

void TestConfigurationChange::outcomes()
{
    QFETCH(QStringList, stored);
    QFETCH(QList<quint32>, answers);
    QFETCH(int, outcome);
    QFETCH(bool, storedAfter);

    CredentialStore::remove(Mac);
    if (!stored.isEmpty())
        CredentialStore::saveLoginData(stored);
    Wired wired;
    DeviceModel &model = wired.model;
    qint64 &now = wired.now;
    ConfigurationChange change(&wired.transceiver, &model);
    QSignalSpy accepted(&change, &ConfigurationChange::accepted);
    QSignalSpy finished(&change, &ConfigurationChange::finished);
    change.start(wired.values, Sent, false);
    QCOMPARE(capturedKinds(), QList<quint32>{SetNetworkConfigAuth});

    if (!answers.isEmpty()) {
        now += 100;
        model.onDeviceReplyReceived(Replies::answer(SetNetworkConfigAuthReply, Mac, answers.at(0)));
    }
    if (answers.value(0, 1) == 0) {
        QCOMPARE(accepted.size(), 1);
        now += 5001; // the model reads the configuration again after the restart
        model.onTimeout();
        QCOMPARE(capturedKinds(), (QList<quint32>{SetNetworkConfigAuth, RestartNetwork, GetNetworkConfig}));
        if (answers.size() > 1) {
            model.onDeviceReplyReceived(Replies::config(Mac, QStringLiteral("lobby2"), QStringLiteral("10.0.0.9"),
                                                        QStringLiteral("0"), answers.at(1)));
        }
    }
    if (outcome == int(Outcome::NoAnswer)) {
        // The model's time-outs decide; after a restart it reads twice more, 5000 ms apart.
        const int readings = answers.value(0, 1) == 0 ? 1 + DeviceModel::RereadRetries : 1;
        for (int reading = 0; reading < readings; ++reading) {
            if (reading > 0) {
                now += 2000;
                model.onTimeout();
            }
            QCOMPARE(finished.size(), 0);
            now += 3001;
            model.onTimeout();
        }
        QCOMPARE(capturedKinds().count(GetNetworkConfig), readings - 1 + (answers.isEmpty() ? 0 : 1));
    }
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().value<Outcome>(), Outcome(outcome));
    QCOMPARE(CredentialStore::contains(Mac), storedAfter);
    QCOMPARE(change.credentialsForgotten(), !stored.isEmpty() && !storedAfter);
    if (answers.size() > 1) // what the device reported after its restart
        QCOMPARE(MessageHeader::resultCodeOf(change.configuration()), answers.at(1));
}

// Attempt 1 asks to remember its credentials and gets no answer; attempt 2 does not ask and
// succeeds: nothing is stored, neither after the time-out nor when attempt 2 comes first.
void TestConfigurationChange::eachAttemptDecidesOnRemembering()
{
    CredentialStore::remove(Mac);
    Wired wired;
    DeviceModel &model = wired.model;
    PacketTransceiver &transceiver = wired.transceiver;
    const NetworkConfigBody &values = wired.values;

    ConfigurationChange first(&transceiver, &model);
    first.start(values, Sent, true);
    QCOMPARE(model.pendingLogin, Sent);
    wired.now += 3001;
    model.onTimeout();
    QVERIFY(model.pendingLogin.isEmpty());

    first.start(values, Sent, true);
    ConfigurationChange second(&transceiver, &model);
    second.start(values, {Mac, QStringLiteral("admin"), QStringLiteral("right")}, false);
    QVERIFY(model.pendingLogin.isEmpty());
    model.onDeviceReplyReceived(Replies::answer(SetNetworkConfigAuthReply, Mac, 0));
    QVERIFY(!CredentialStore::contains(Mac));
}

QTEST_GUILESS_MAIN(TestConfigurationChange)

#include "tst_configurationchange.moc"
