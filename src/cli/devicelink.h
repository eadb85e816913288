// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "model/devicescan.h"
#include "protocol/packettransceiver.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

class DeviceModel;

// veltra-find's way to the devices over one network interface, or over several at once: a
// PacketTransceiver that knows only those, and a waiting room for the replies that arrive while
// the command waits.
class DeviceLink : public QObject
{
    Q_OBJECT

public:
    using Interface = PacketTransceiver::InterfaceEntry;

    static constexpr int BroadcastGap = DeviceScan::BroadcastGap; // between the two requests of a scan
    static constexpr int RepeatGap = 250;                         // between two pairs of requests of a repeated scan
    static constexpr int ResendInterval = 1000;
    // Replies that wait to be taken; beyond it the oldest go. Those awaited are taken as they come.
    static constexpr int MaxWaitingReplies = 1024;

    // The usable interfaces by the desktop program's rule, the current one first.
    static QList<Interface> usableInterfaces()
    {
        return PacketTransceiver::usableInterfaces(PacketTransceiver::systemInterfaces());
    }
    // The interface whose name or IPv4 address is `nameOrAddress` (the first one for an empty
    // text), or nullopt.
    static std::optional<Interface> choose(const QList<Interface> &interfaces, const QString &nameOrAddress);

    explicit DeviceLink(const Interface &interface, QObject *parent = nullptr);
    // Over every one of `interfaces` at once: a request to every device goes out on each, one to a
    // single device where it answered.
    explicit DeviceLink(const QList<Interface> &interfaces, QObject *parent = nullptr);

    // The interface's name, or "every interface".
    QString name() const;
    // The names of the interfaces the link works on, each once.
    QStringList interfaceNames() const { return names; }
    PacketTransceiver *transceiver() const { return link; }

    // Binds the receiving socket; false with the reason when the port cannot be had.
    bool bind(QString *error);

    // Sends GetDeviceInfo and, 100 ms later, GetNetworkConfig to every device, `repeat` times,
    // and hands every reply that arrives until `waitMs` after the last pair to `model` as it
    // arrives, so that nothing but the model grows however much arrives.
    void scan(DeviceModel *model, int repeat, int waitMs);
    // Ends a scan under way at once and every later one before it sends: the scan's replies are
    // then incomplete. For a stop request that must not wait out --wait.
    void abort();
    bool isAborted() const { return aborted; }

    // Waits up to `waitMs` for a reply with `messageId` from `mac` (any letter case) and takes
    // it out of the waiting room. `resend`, when given, is called every ResendInterval while
    // nothing has come.
    std::optional<QByteArray> awaitReply(quint32 messageId, const QString &mac, int waitMs,
                                         const std::function<void()> &resend = {});
    // Takes a reply with `messageId` from `mac` that has already arrived, if there is one.
    std::optional<QByteArray> takeReply(quint32 messageId, const QString &mac);
    // Lets replies arrive until one does or `msecs` have passed.
    void waitForReply(qint64 msecs);
    // Forgets the replies that arrived so far.
    void clearReplies() { inbox.clear(); }
    // Lets replies arrive for `msecs` without waiting for any.
    void idle(int msecs);

signals:
    void abortRequested();

private:
    // Runs the event loop until `msecs` have passed, the link is aborted or, with `stopOnReply`,
    // a reply has arrived.
    void runFor(qint64 msecs, bool stopOnReply);

    // A reply that waits to be taken, with the header fields it is looked for by.
    struct Waiting
    {
        quint32 messageId = 0;
        QString mac;
        QByteArray datagram;
    };

    PacketTransceiver *link = nullptr;
    QList<Waiting> inbox;
    DeviceModel *scanModel = nullptr; // while scanning, replies go straight to it
    QStringList names;
    bool aborted = false;
};
