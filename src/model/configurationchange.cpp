// SPDX-License-Identifier: Apache-2.0
#include "model/configurationchange.h"

#include "model/devicemodel.h"
#include "protocol/messageheader.h"
#include "protocol/packettransceiver.h"
#include "settings/credentialstore.h"

#include <QTimer>
#include <QtDebug>

ConfigurationChange::ConfigurationChange(PacketTransceiver *transceiver, DeviceModel *model, QObject *parent)
    : QObject(parent), transceiver(transceiver), model(model), deadlineTimer(new QTimer(this)),
      answerWait(DeviceModel::AnswerTimeout)
{
    deadlineTimer->setSingleShot(true);
    connect(deadlineTimer, &QTimer::timeout, this, [this] { finish(Outcome::NoAnswer); });
    connect(model, &DeviceModel::configurationAnswered, this, &ConfigurationChange::onAnswered);
    connect(model, &DeviceModel::configurationRead, this, &ConfigurationChange::onConfigurationRead);
    connect(model, &DeviceModel::deviceNotResponding, this, &ConfigurationChange::onNotResponding);
    connect(transceiver, &PacketTransceiver::requestSent, this, &ConfigurationChange::onRequestSent);
}

void ConfigurationChange::connectTracking(PacketTransceiver *transceiver, DeviceModel *model)
{
    connect(transceiver, &PacketTransceiver::requestSent, model, &DeviceModel::onDeviceRequestSent);
    connect(transceiver, &PacketTransceiver::replyReceived, model, &DeviceModel::onDeviceReplyReceived);
    connect(model, &DeviceModel::sendRestartNetwork, transceiver, &PacketTransceiver::restartNetwork);
    connect(model, &DeviceModel::sendGetEthConfiguration, transceiver,
            qOverload<const QString &>(&PacketTransceiver::getNetworkConfig));
}

bool ConfigurationChange::needsCredentials(const QByteArray &configDatagram)
{
    return MessageHeader::protocolVersionOf(configDatagram) >= Protocol::AuthProtocolVersion;
}

void ConfigurationChange::setAnswerWait(int msecs)
{
    answerWait = qMax(msecs, int(DeviceModel::AnswerTimeout));
}

void ConfigurationChange::start(const NetworkConfigBody &values, const QStringList &credentials, bool remember)
{
    mac = values.macAddress;
    stage = Stage::Sent;
    hadStoredCredentials = CredentialStore::contains(mac);
    waitForAnswer();
    if (credentials.size() != 3) {
        transceiver->sendRequest(SetNetworkConfig, mac, values.toByteArray());
        return;
    }
    // The credentials themselves stay out of the log.
    qDebug().noquote() << "Sending an authenticated configuration request to" << mac;
    transceiver->sendRequest(SetNetworkConfigAuth, mac, values.toAuthByteArray(credentials.at(1), credentials.at(2)));
    model->noteCredentialsSent(mac, credentials);
    // Each authenticated request decides by its own check box: credentials of an earlier attempt
    // that got no answer are not stored by this one's success.
    if (remember)
        model->pendingLogin = credentials;
    else if (!model->pendingLogin.isEmpty() && model->pendingLogin.first() == mac)
        model->pendingLogin.clear();
}

bool ConfigurationChange::concerns(const QString &macAddress) const
{
    return macAddress.compare(mac, Qt::CaseInsensitive) == 0;
}

void ConfigurationChange::waitForAnswer(int beyondModel)
{
    // The model's time-out says "not responding" after its own 3000 ms; a longer wait outlasts
    // it, since the model still acts on a late answer. A tick's length later, the model has had
    // its say either way.
    deadline = QDeadlineTimer(answerWait);
    deadlineTimer->start(answerWait + beyondModel + DeviceModel::TimerInterval);
}

void ConfigurationChange::onAnswered(const QString &macAddress, quint32 resultCode)
{
    if (stage != Stage::Sent || !concerns(macAddress))
        return;
    answerResult = resultCode;
    if (resultCode == Protocol::ResultOk) {
        // The model has asked for the restart and reads the configuration more than 5000 ms later.
        stage = Stage::Restarting;
        deadlineTimer->stop();
        emit accepted();
    } else if (resultCode == Protocol::AuthorizationFailed) {
        forgotten = hadStoredCredentials && !CredentialStore::contains(mac);
        finish(Outcome::AuthorizationFailed);
    } else {
        finish(Outcome::Refused);
    }
}

void ConfigurationChange::onRequestSent(int messageId, const QString &macAddress)
{
    if ((stage == Stage::Restarting || stage == Stage::Reading) && messageId == GetNetworkConfig &&
        concerns(macAddress)) {
        stage = Stage::Reading;
        // The model asks again before it says "not responding"; the wait covers the readings left.
        waitForAnswer(DeviceModel::RereadRetries * DeviceModel::RestartDelay);
    }
}

void ConfigurationChange::onConfigurationRead(const QString &macAddress, const QByteArray &datagram)
{
    if (stage != Stage::Reading || !concerns(macAddress))
        return;
    readBack = datagram;
    finish(MessageHeader::resultCodeOf(datagram) == Protocol::ResultOk ? Outcome::Applied : Outcome::Refused);
}

void ConfigurationChange::onNotResponding(const QString &macAddress)
{
    // The model's time-out is the whole wait unless a longer one was asked for.
    if ((stage == Stage::Sent || stage == Stage::Reading) && concerns(macAddress) &&
        (answerWait <= DeviceModel::AnswerTimeout || deadline.hasExpired()))
        finish(Outcome::NoAnswer);
}

void ConfigurationChange::finish(Outcome outcome)
{
    if (stage == Stage::Done)
        return;
    stage = Stage::Done;
    deadlineTimer->stop();
    emit finished(outcome);
}
