// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "protocol/messageheader.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>

#include <queue>
#include <vector>

class DatagramLog;
class DeviceSimulator;
class QTimer;
class QUdpSocket;

// Where the simulator listens and where its replies go.
struct EndpointSettings
{
    QHostAddress interfaceAddress;       // replies leave from this address
    quint16 port = Protocol::DevicePort; // listening port; 0 takes any free one
    QHostAddress replyAddress = QHostAddress(QHostAddress::Broadcast);
    quint16 replyPort = 0; // 0: the listening port
};

// The simulator's network side: receives every datagram on the device port, hands it to the
// DeviceSimulator and sends the replies when they fall due, from a socket bound to the
// interface address. Replies wait in one time-ordered queue served by a single timer, so
// thousands of devices cost no timer each; a send refused for want of buffer space is tried
// again shortly after, not dropped.
class SimulatorEndpoint : public QObject
{
    Q_OBJECT

public:
    struct Statistics
    {
        quint64 received = 0;    // datagrams, own replies included
        quint64 ownReceived = 0; // own replies that came back
        quint64 repliesSent = 0;
        quint64 retries = 0; // sends tried again after a temporary failure
        quint64 dropped = 0; // replies given up on, each reported on stderr
    };

    // Sends that keep failing are given up after this many attempts (several seconds).
    static constexpr int MaxSendAttempts = 120;

    explicit SimulatorEndpoint(DeviceSimulator *simulator, const EndpointSettings &settings, QObject *parent = nullptr);

    // Binds both sockets; false with a message when either cannot be bound.
    bool start(QString *error);
    quint16 listeningPort() const;
    void setLog(DatagramLog *log) { this->log = log; }

    const Statistics &statistics() const { return stats; }
    int queuedReplies() const { return int(queue.size()); }

private:
    struct Pending
    {
        qint64 dueMs = 0;
        quint64 order = 0; // keeps replies due at the same time in the order they were made
        QByteArray datagram;
        int attempts = 0;

        bool operator>(const Pending &other) const
        {
            return dueMs != other.dueMs ? dueMs > other.dueMs : order > other.order;
        }
    };

    void readPendingDatagrams();
    void sendDueReplies();
    void enqueue(Pending pending);
    void armTimer();
    void dropReply(const QString &reason);

    DeviceSimulator *simulator;
    EndpointSettings settings;
    DatagramLog *log = nullptr;
    QUdpSocket *receiveSocket = nullptr;
    QUdpSocket *sendSocket = nullptr;
    QTimer *sendTimer = nullptr;
    QElapsedTimer clock;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> queue;
    quint64 nextOrder = 0;
    qint64 holdUntilMs = 0; // after a temporary send failure nothing is sent before this
    Statistics stats;
};
