// SPDX-License-Identifier: Apache-2.0
#include "devsim/devicesimulator.h"

DeviceSimulator::DeviceSimulator(const QList<DeviceProfile> &profiles, quint32 randomStart) : random(randomStart)
{
    devices.reserve(size_t(profiles.size()));
    byMac.reserve(profiles.size());
    for (const DeviceProfile &profile : profiles) {
        byMac.insert(profile.mac.toUpper(), int(devices.size()));
        devices.emplace_back(profile);
    }
}

bool DeviceSimulator::isRequest(quint32 messageId)
{
    switch (messageId) {
    case RestartNetwork:
    case GetNetworkConfig:
    case SetNetworkConfig:
    case GetDeviceInfo:
    case SetNetworkConfigAuth:
        return true;
    default:
        return false;
    }
}

QList<ScheduledReply> DeviceSimulator::handleDatagram(const QByteArray &datagram, qint64 nowMs)
{
    QList<ScheduledReply> replies;
    if (datagram.size() < Protocol::HeaderSize)
        return replies;
    const MessageHeader header = MessageHeader::fromDatagram(datagram);
    // Our own replies come back to us as broadcasts; their codes are no request codes.
    if (!header.hasValidKey() || !isRequest(header.messageId))
        return replies;

    if (header.destMacAddr.compare(QLatin1String(Protocol::BroadcastMac), Qt::CaseInsensitive) == 0) {
        replies.reserve(deviceCount());
        for (int i = 0; i < deviceCount(); ++i)
            collect(i, header, datagram, nowMs, &replies);
    } else {
        const int index = indexOf(header.destMacAddr);
        if (index >= 0)
            collect(index, header, datagram, nowMs, &replies);
    }
    return replies;
}

void DeviceSimulator::collect(int index, const MessageHeader &header, const QByteArray &datagram, qint64 nowMs,
                              QList<ScheduledReply> *replies)
{
    SimulatedDevice &device = devices[size_t(index)];
    QByteArray reply = device.handleRequest(header, datagram, nowMs);
    if (reply.isEmpty())
        return;
    const DeviceProfile &profile = device.profile();
    // Lost on the way: the device has still handled the request (an accepted configuration
    // waits for its restart), only its answer never arrives.
    if (profile.dropPercent > 0 &&
        std::uniform_int_distribution<int>(0, DeviceProfile::MaxDropPercent - 1)(random) < profile.dropPercent) {
        ++lost;
        return;
    }
    qint64 delay = profile.delayMs;
    if (profile.jitterMs > 0)
        delay += std::uniform_int_distribution<int>(0, profile.jitterMs)(random);
    replies->append(ScheduledReply{delay, std::move(reply), index});
}
