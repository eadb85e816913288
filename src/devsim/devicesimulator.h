// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "devsim/simulateddevice.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <random>
#include <vector>

// A reply that is due `delayMs` after the request arrived.
struct ScheduledReply
{
    qint64 delayMs = 0;
    QByteArray datagram;
    int deviceIndex = -1;
};

// The set of simulated devices behind one port: decides which devices a received datagram is
// for and collects their replies with the delay each device takes. No sockets, no clock of its
// own, and a random source with a given starting value, so a run can be repeated exactly.
class DeviceSimulator
{
public:
    explicit DeviceSimulator(const QList<DeviceProfile> &profiles, quint32 randomStart = 1);

    // Handles any received datagram (any length, any content) that arrived at `nowMs` on a
    // monotonic millisecond clock. Requests that carry the identification key and a request
    // code are answered by the device their destMacAddr names (case-insensitively) or by every
    // device for FF:FF:FF:FF:FF:FF; everything else, replies included, yields nothing.
    QList<ScheduledReply> handleDatagram(const QByteArray &datagram, qint64 nowMs);

    static bool isRequest(quint32 messageId);

    int deviceCount() const { return int(devices.size()); }
    // Replies made but thrown away by a device's drop rate.
    quint64 lostReplies() const { return lost; }
    const SimulatedDevice &device(int index) const { return devices.at(size_t(index)); }
    // The index of the device with this MAC text in any case, or -1.
    int indexOf(const QString &mac) const { return byMac.value(mac.toUpper(), -1); }

private:
    void collect(int index, const MessageHeader &header, const QByteArray &datagram, qint64 nowMs,
                 QList<ScheduledReply> *replies);

    std::vector<SimulatedDevice> devices;
    QHash<QString, int> byMac; // upper-case MAC text -> index
    std::mt19937 random;
    quint64 lost = 0;
};
