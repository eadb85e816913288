// SPDX-License-Identifier: Apache-2.0
#include "devsim/simulateddevice.h"

#include "protocol/deviceinfobody.h"

SimulatedDevice::SimulatedDevice(const DeviceProfile &profile) : current(profile)
{
    current.config.macAddress = current.mac;
}

QByteArray SimulatedDevice::handleRequest(const MessageHeader &header, const QByteArray &request, qint64 nowMs)
{
    if (current.silent || isRestarting(nowMs) || !answers(header.messageId))
        return QByteArray();

    switch (header.messageId) {
    case GetDeviceInfo: {
        DeviceInfoBody info;
        info.productTypeText = current.productType;
        info.firmware = current.firmware;
        info.deviceName = current.deviceName;
        return reply(header, current.resultCode, info.toByteArray());
    }
    case GetNetworkConfig: {
        NetworkConfigBody config = current.config;
        config.macAddress = current.sentMac();
        return reply(header, current.resultCode, config.toByteArray());
    }
    case SetNetworkConfig:
        return setConfig(header, request);
    case SetNetworkConfigAuth:
        return setConfigAuth(header, request);
    case RestartNetwork:
        restart(nowMs);
        return QByteArray(); // a restarting device has no time to answer
    default:
        return QByteArray();
    }
}

bool SimulatedDevice::answers(quint32 messageId) const
{
    switch (current.answers) {
    case AnswerScope::All:
        return true;
    case AnswerScope::InfoOnly:
        return messageId == GetDeviceInfo;
    case AnswerScope::ConfigOnly:
        return messageId != GetDeviceInfo;
    case AnswerScope::ReadOnly:
        return messageId == GetDeviceInfo || messageId == GetNetworkConfig;
    }
    return true;
}

QByteArray SimulatedDevice::reply(const MessageHeader &request, quint32 resultCode, const QByteArray &body) const
{
    MessageHeader header;
    header.packetIdentificationKey = QLatin1String(Protocol::PacketIdentificationKey);
    header.messageId = request.messageId + 1;
    header.resultCode = resultCode;
    header.payloadLength = quint32(body.size());
    header.protocolVersion = current.protocolVersion;
    header.destMacAddr = request.srcMacAddr;
    header.srcMacAddr = current.sentMac();
    header.srcIpAddr = current.config.ipAddress;
    header.sequenceNumber = request.sequenceNumber;
    return header.toByteArray() + body;
}

QByteArray SimulatedDevice::setConfig(const MessageHeader &header, const QByteArray &request)
{
    // A body cut short cannot be taken as a configuration; a real device would not answer either.
    if (request.size() < Protocol::NetworkConfigDatagramSize)
        return QByteArray();
    if (current.resultCode != 0)
        return reply(header, current.resultCode);
    if (current.needsCredentials())
        return reply(header, Protocol::AuthorizationFailed);
    pending = NetworkConfigBody::fromDatagram(request);
    return reply(header, Protocol::ResultOk);
}

QByteArray SimulatedDevice::setConfigAuth(const MessageHeader &header, const QByteArray &request)
{
    if (request.size() < Protocol::AuthNetworkConfigDatagramSize)
        return QByteArray();
    if (current.resultCode != 0)
        return reply(header, current.resultCode);
    QString credentials;
    const NetworkConfigBody config = NetworkConfigBody::fromAuthDatagram(request, &credentials);
    if (credentials != QLatin1String(NetworkConfigBody::credentialsText(current.user, current.password)))
        return reply(header, Protocol::AuthorizationFailed);
    pending = config;
    return reply(header, Protocol::ResultOk);
}

void SimulatedDevice::restart(qint64 nowMs)
{
    if (pending) {
        // The device keeps its own MAC whatever the request's MAC slot held.
        current.config = *pending;
        current.config.macAddress = current.mac;
        pending.reset();
    }
    silentUntilMs = nowMs + current.restartTimeMs;
    ++restarts;
}
