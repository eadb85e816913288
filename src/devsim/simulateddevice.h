// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "devsim/deviceprofile.h"

#include "protocol/messageheader.h"

#include <QByteArray>

#include <limits>
#include <optional>

// One simulated device: answers the requests addressed to it, keeps an accepted configuration
// until RestartNetwork applies it, and is deaf while its network restarts. It touches no socket:
// it turns a request into the datagram to send back, so it can be driven by tests and fuzzers.
class SimulatedDevice
{
public:
    explicit SimulatedDevice(const DeviceProfile &profile);

    // The reply to `request`, which arrived at `nowMs` (a monotonic clock in milliseconds) and
    // whose header has been read into `header`; the caller has checked the identification key
    // and that the request is addressed to this device. Empty when the device does not answer:
    // RestartNetwork, faults, restart silence, requests it does not know, or a configuration
    // request too short to hold its body.
    QByteArray handleRequest(const MessageHeader &header, const QByteArray &request, qint64 nowMs);

    const DeviceProfile &profile() const { return current; }
    // What a configuration request left for the next RestartNetwork, if anything.
    const std::optional<NetworkConfigBody> &pendingConfig() const { return pending; }
    bool isRestarting(qint64 nowMs) const { return nowMs < silentUntilMs; }
    int restartCount() const { return restarts; }

private:
    bool answers(quint32 messageId) const;
    QByteArray reply(const MessageHeader &request, quint32 resultCode, const QByteArray &body = QByteArray()) const;
    QByteArray setConfig(const MessageHeader &header, const QByteArray &request);
    QByteArray setConfigAuth(const MessageHeader &header, const QByteArray &request);
    void restart(qint64 nowMs);

    DeviceProfile current;
    std::optional<NetworkConfigBody> pending;
    qint64 silentUntilMs = std::numeric_limits<qint64>::min();
    int restarts = 0;
};
