// SPDX-License-Identifier: Apache-2.0
#include "cli/devicelink.h"

#include "model/devicemodel.h"
#include "model/devicescan.h"
#include "protocol/messageheader.h"
#include "protocol/packettransceiver.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

void DeviceLink::runFor(qint64 msecs, bool stopOnReply)
{
    if (msecs <= 0 || aborted)
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(this, &DeviceLink::abortRequested, &loop, &QEventLoop::quit);
    if (stopOnReply)
        QObject::connect(link, &PacketTransceiver::replyReceived, &loop, &QEventLoop::quit);
    timer.start(int(msecs));
    loop.exec();
}

void DeviceLink::abort()
{
    aborted = true;
    emit abortRequested();
}

std::optional<DeviceLink::Interface> DeviceLink::choose(const QList<Interface> &interfaces,
                                                        const QString &nameOrAddress)
{
    for (const Interface &candidate : interfaces) {
        if (nameOrAddress.isEmpty() || candidate.name == nameOrAddress || candidate.address == nameOrAddress)
            return candidate;
    }
    return std::nullopt;
}

DeviceLink::DeviceLink(const Interface &interface, QObject *parent) : DeviceLink(QList<Interface>{interface}, parent)
{
    link->setAllInterfaces(false);
}

DeviceLink::DeviceLink(const QList<Interface> &interfaces, QObject *parent) : QObject(parent)
{
    // The transceiver sees these interfaces and addresses only, so it sends from them and takes
    // replies addressed to their MACs.
    QList<PacketTransceiver::InterfaceInfo> infos;
    for (const Interface &entry : interfaces) {
        if (!names.contains(entry.name))
            names.append(entry.name);
        infos.append({QNetworkInterface::IsUp | QNetworkInterface::IsRunning,
                      entry.hardwareAddress,
                      entry.name,
                      {entry.address}});
    }
    link = new PacketTransceiver(infos, this);
    link->setAllInterfaces(true);
    connect(link, &PacketTransceiver::replyReceived, this, [this](const QByteArray &datagram) {
        if (scanModel) {
            scanModel->onDeviceReplyReceived(datagram);
            return;
        }
        if (inbox.size() >= MaxWaitingReplies)
            inbox.removeFirst();
        inbox.append({MessageHeader::messageIdOf(datagram), MessageHeader::srcMacOf(datagram), datagram});
    });
}

QString DeviceLink::name() const
{
    return link->allInterfaces() ? QStringLiteral("every interface") : link->currentEntry().name;
}

bool DeviceLink::bind(QString *error)
{
    if (link->bindSocket())
        return true;
    *error = QStringLiteral("cannot receive on UDP port %1 (another program holds it without sharing)")
                 .arg(Protocol::DevicePort);
    return false;
}

void DeviceLink::scan(DeviceModel *model, int repeat, int waitMs)
{
    if (aborted)
        return;
    scanModel = model;
    // The desktop program's scan, with its recovery of replies the kernel dropped.
    DeviceScan deviceScan(link, model);
    deviceScan.start();
    for (int round = 1; round < repeat && !aborted; ++round) {
        runFor(RepeatGap, false);
        if (!aborted)
            deviceScan.sendPair();
    }
    deviceScan.watch(waitMs);
    runFor(waitMs, false);
    deviceScan.stop();
    link->handleReceived();
    scanModel = nullptr;
}

std::optional<QByteArray> DeviceLink::takeReply(quint32 messageId, const QString &mac)
{
    for (qsizetype i = 0; i < inbox.size(); ++i) {
        const Waiting &waiting = inbox.at(i);
        if (waiting.messageId == messageId && waiting.mac.compare(mac, Qt::CaseInsensitive) == 0)
            return inbox.takeAt(i).datagram;
    }
    return std::nullopt;
}

std::optional<QByteArray> DeviceLink::awaitReply(quint32 messageId, const QString &mac, int waitMs,
                                                 const std::function<void()> &resend)
{
    const QDeadlineTimer deadline(waitMs, Qt::PreciseTimer);
    QDeadlineTimer nextResend(ResendInterval, Qt::PreciseTimer);
    for (;;) {
        if (auto reply = takeReply(messageId, mac))
            return reply;
        if (deadline.hasExpired() || aborted)
            return std::nullopt;
        qint64 remaining = deadline.remainingTime();
        if (resend) {
            if (nextResend.hasExpired()) {
                resend();
                nextResend.setRemainingTime(ResendInterval, Qt::PreciseTimer);
            }
            remaining = qMin(remaining, nextResend.remainingTime());
        }
        runFor(qMax<qint64>(remaining, 1), true);
    }
}

void DeviceLink::waitForReply(qint64 msecs)
{
    runFor(qMax<qint64>(msecs, 1), true);
}

void DeviceLink::idle(int msecs)
{
    runFor(msecs, false);
}
