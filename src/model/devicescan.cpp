// SPDX-License-Identifier: Apache-2.0
#include "model/devicescan.h"

#include "model/devicemodel.h"
#include "protocol/messageheader.h"
#include "protocol/packettransceiver.h"

#include <QtDebug>

namespace {

const QString AllDevices = QString::fromLatin1(Protocol::BroadcastMac);
// How often the watch looks whether the replies have settled (milliseconds).
constexpr int SettleInterval = 20;

} // namespace

DeviceScan::DeviceScan(PacketTransceiver *transceiver, DeviceModel *model, QObject *parent)
    : QObject(parent), transceiver(transceiver), model(model)
{
    settleTimer.setInterval(SettleInterval);
    connect(&settleTimer, &QTimer::timeout, this, &DeviceScan::settleCheck);
    gapTimer.setSingleShot(true);
    gapTimer.setTimerType(Qt::PreciseTimer);
    gapTimer.setInterval(BroadcastGap);
    connect(&gapTimer, &QTimer::timeout, this, [this] {
        this->transceiver->getNetworkConfig(AllDevices);
        requestsSent();
    });
    connect(transceiver, &PacketTransceiver::replyReceived, this, [this] { sinceReply.start(); });
}

void DeviceScan::start()
{
    stop();
    roundsSent = 0;
    addressedSent = 0;
    addressedDone = false;
    dropsAtStart = transceiver->kernelDrops();
    dropsSeen = dropsAtStart;
    // Scanning every interface at once, a device's interface is where it answers this scan first.
    transceiver->forgetDeviceInterfaces();
    sendPair();
}

void DeviceScan::sendPair()
{
    transceiver->getDeviceInfo(AllDevices);
    // The replies to the first request are read meanwhile and handled once the second is out.
    transceiver->pause(BroadcastGap);
    transceiver->getNetworkConfig(AllDevices);
    requestsSent();
}

void DeviceScan::watch(int checkInMs)
{
    checkDeadline.setRemainingTime(checkInMs, Qt::PreciseTimer);
    settleTimer.start();
}

void DeviceScan::stop()
{
    settleTimer.stop();
    gapTimer.stop();
}

quint64 DeviceScan::drops() const
{
    return transceiver->kernelDrops() - dropsAtStart;
}

void DeviceScan::requestsSent()
{
    sinceRequest.start();
    sinceReply.invalidate();
}

void DeviceScan::settleCheck()
{
    if (gapTimer.isActive())
        return; // a round is half sent
    const qint64 remaining = checkDeadline.remainingTime();
    if (remaining <= 0) {
        finish();
        return;
    }
    const bool unhandled = transceiver->hasUnhandled();
    const qint64 quietFor = sinceReply.isValid() ? sinceReply.elapsed() : sinceRequest.elapsed();
    const bool settled = !unhandled && sinceRequest.elapsed() >= AnswerTime && quietFor >= QuietTime;
    if (!settled && sinceRequest.elapsed() < SettleLimit)
        return;

    const quint64 dropped = transceiver->kernelDrops();
    const bool newDrops = dropped > dropsSeen;
    dropsSeen = dropped;
    if (newDrops && roundsSent < MaxRounds && remaining >= RoundTime) {
        sendRound();
        return;
    }
    // Which rows lack a reply is known only once what was received is handled; addressed requests
    // sent earlier would ask for replies that are waiting, and their answers be dropped behind them.
    if (unhandled)
        return;
    // Addressed requests once after the rounds, and again while their own answers were dropped.
    if (dropped > dropsAtStart && (!addressedDone || newDrops) && addressedSent < MaxAddressedRequests &&
        remaining >= AddressedTime) {
        const int before = addressedSent;
        sendAddressed();
        if (addressedSent > before)
            return;
    }
    finish();
}

void DeviceScan::sendRound()
{
    ++roundsSent;
    qDebug() << "DeviceScan: the kernel dropped" << drops() << "datagrams so far; sending the requests again, round"
             << roundsSent << "of" << MaxRounds;
    transceiver->getDeviceInfo(AllDevices);
    // Unlike the first pair, the gap does not block: the replies are handled meanwhile.
    gapTimer.start();
    sinceRequest.start();
}

void DeviceScan::sendAddressed()
{
    addressedDone = true;
    const int sentBefore = addressedSent;
    // The MACs first: the requests' answers may change the rows while they go out.
    QStringList lackInfo;
    QStringList lackConfig;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString mac = model->item(row, DeviceModel::MacAddressColumn)->text();
        if (!model->hasDeviceInfo(row))
            lackInfo.append(mac);
        if (!model->hasNetworkConfig(row))
            lackConfig.append(mac);
    }
    const qsizetype lacking = lackInfo.size() + lackConfig.size();
    if (lacking > MaxAddressedRequests)
        qDebug() << "DeviceScan:" << lacking << "replies are missing; asking for the first" << MaxAddressedRequests;
    for (const QString &mac : std::as_const(lackInfo)) {
        if (addressedSent >= MaxAddressedRequests)
            break;
        transceiver->getDeviceInfo(mac);
        ++addressedSent;
    }
    for (const QString &mac : std::as_const(lackConfig)) {
        if (addressedSent >= MaxAddressedRequests)
            break;
        transceiver->getNetworkConfig(mac);
        ++addressedSent;
    }
    if (addressedSent > sentBefore) {
        qDebug() << "DeviceScan: asked" << addressedSent - sentBefore << "devices again for a reply that is missing";
        requestsSent();
    }
}

void DeviceScan::finish()
{
    stop();
    if (drops() > 0)
        qDebug() << "DeviceScan: the kernel dropped" << drops() << "datagrams during the scan;" << roundsSent
                 << "rounds and" << addressedSent << "addressed requests were sent again";
}
