// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class DeviceModel;
class PacketTransceiver;

// One scan of a network, as both programs run it: the pair of broadcast requests, and the recovery
// of replies that the kernel dropped on the receiving socket. On most hosts that buffer holds a few
// hundred replies, and a network of thousands of devices answers faster than any reader is sure to
// keep up with. When the kernel dropped datagrams during the scan, the pair is sent again once the
// burst has settled (a few rounds at most, all before the count check), and rows that still lack one
// kind of reply get that request addressed to their device. When nothing was dropped, nothing more
// is sent.
class DeviceScan : public QObject
{
    Q_OBJECT

public:
    static constexpr int BroadcastGap = 100; // between the two requests of a pair
    static constexpr int MaxRounds = 3;      // pairs sent again after drops
    // At most this many requests addressed to single devices per scan: a flood of made-up devices
    // must not make the program send thousands of requests.
    static constexpr int MaxAddressedRequests = 512;
    // The replies to a request have settled when none waits to be handled and at least AnswerTime
    // ms have passed since it with none for QuietTime ms, or at the latest SettleLimit ms after it
    // (replies that keep coming, a flood, a slow machine). Devices take a while to answer, the more
    // so on a busy network. Addressed requests wait until nothing waits to be handled.
    static constexpr int AnswerTime = 250;
    static constexpr int QuietTime = 100;
    static constexpr int SettleLimit = 700;
    // What a round, and a set of addressed requests, needs before the count check: the requests'
    // gap, the devices' answers and the handling of them.
    static constexpr int RoundTime = 700;
    static constexpr int AddressedTime = 300;

    DeviceScan(PacketTransceiver *transceiver, DeviceModel *model, QObject *parent = nullptr);

    // Begins a scan: notes the kernel's drop count and sends the pair, blocking for the gap between
    // the two requests. A scan still running is given up.
    void start();
    // Sends the pair once more, as a repeated scan does.
    void sendPair();
    // Watches for dropped replies until the count check, `checkInMs` from now, and recovers them.
    void watch(int checkInMs);
    // Ends the watch; nothing more is sent.
    void stop();

    bool isWatching() const { return settleTimer.isActive() || gapTimer.isActive(); }
    int rounds() const { return roundsSent; }
    int addressedRequests() const { return addressedSent; }
    // Datagrams the kernel dropped on the receiving socket since start().
    quint64 drops() const;

private:
    void settleCheck();
    void sendRound();
    void sendAddressed();
    void requestsSent();
    void finish();

    PacketTransceiver *transceiver = nullptr;
    DeviceModel *model = nullptr;
    QTimer settleTimer;
    QTimer gapTimer; // the second request of a round
    QDeadlineTimer checkDeadline;
    QElapsedTimer sinceRequest;
    QElapsedTimer sinceReply;
    quint64 dropsAtStart = 0;
    quint64 dropsSeen = 0;
    int roundsSent = 0;
    int addressedSent = 0;
    bool addressedDone = false;
};
