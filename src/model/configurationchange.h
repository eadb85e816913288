// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "protocol/networkconfigbody.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QStringList>

class DeviceModel;
class PacketTransceiver;
class QTimer;

// One change of a device's network configuration, from the request to its outcome. It builds
// SetNetworkConfig, or SetNetworkConfigAuth with the credentials, from the values to send, has the
// transceiver send it, and follows the model's tracking of the device: its answer, the restart of
// its network that the model then asks for, and the reading of its configuration afterwards. The
// desktop program and veltra-find both change devices through it.
class ConfigurationChange : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Applied,             // accepted, and the configuration read again after the restart
        Refused,             // a result code other than 0, or the configuration not reported
        AuthorizationFailed, // the device refused the credentials
        NoAnswer,            // no answer to the request, or none to the reading after the restart
    };
    Q_ENUM(Outcome)

    ConfigurationChange(PacketTransceiver *transceiver, DeviceModel *model, QObject *parent = nullptr);

    // The wiring every change relies on: the model tracks the requests the transceiver sends and
    // the replies it receives, and has the transceiver restart and read devices.
    static void connectTracking(PacketTransceiver *transceiver, DeviceModel *model);

    // Whether the device whose configuration reply this is takes changes only with credentials.
    static bool needsCredentials(const QByteArray &configDatagram);

    // How long an answer may take before the change counts as unanswered; the model's answer
    // time-out at least. veltra-find gives its --wait here.
    void setAnswerWait(int msecs);

    // Sends `values` (macAddress names the device) to the device: with `credentials` (MAC, user
    // name, password) as SetNetworkConfigAuth, without as SetNetworkConfig. Credentials the user
    // asked to `remember` are stored once the device accepts them.
    void start(const NetworkConfigBody &values, const QStringList &credentials = {}, bool remember = false);

    QString macAddress() const { return mac; }
    quint32 resultCode() const { return answerResult; }
    // The configuration reply read after the restart (Applied, or Refused when the device would
    // not report it); empty otherwise.
    QByteArray configuration() const { return readBack; }
    // Whether the refusal made the model forget stored credentials.
    bool credentialsForgotten() const { return forgotten; }

signals:
    // The device accepted the change and restarts its network; its configuration is read again
    // more than 5000 ms later.
    void accepted();
    // Once, at the end.
    void finished(ConfigurationChange::Outcome outcome);

private:
    enum class Stage { Idle, Sent, Restarting, Reading, Done };

    bool concerns(const QString &macAddress) const;
    void onAnswered(const QString &macAddress, quint32 resultCode);
    void onRequestSent(int messageId, const QString &macAddress);
    void onConfigurationRead(const QString &macAddress, const QByteArray &datagram);
    void onNotResponding(const QString &macAddress);
    // Counts the answer wait from now; the change gives up by itself `beyondModel` ms after it if
    // the model never says (a device without a row).
    void waitForAnswer(int beyondModel = 0);
    void finish(Outcome outcome);

    PacketTransceiver *transceiver = nullptr;
    DeviceModel *model = nullptr;
    QTimer *deadlineTimer = nullptr;
    QDeadlineTimer deadline;
    int answerWait = 0;
    Stage stage = Stage::Idle;
    QString mac;
    quint32 answerResult = 0;
    QByteArray readBack;
    bool hadStoredCredentials = false;
    bool forgotten = false;
};
