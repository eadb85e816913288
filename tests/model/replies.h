// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "protocol/deviceinfobody.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"

// Reply datagrams as devices send them.
namespace Replies {

inline MessageHeader header(quint32 messageId, const QString &mac, quint32 resultCode)
{
    MessageHeader header;
    header.packetIdentificationKey = QString::fromLatin1(Protocol::PacketIdentificationKey);
    header.messageId = messageId;
    header.resultCode = resultCode;
    header.protocolVersion = 3;
    header.destMacAddr = QStringLiteral("02:00:5E:10:00:01");
    header.srcMacAddr = mac;
    return header;
}

inline QByteArray config(const QString &mac, const QString &host, const QString &ip,
                         const QString &ipConfig = QStringLiteral("0"), quint32 resultCode = 0)
{
    NetworkConfigBody body;
    body.macAddress = mac;
    body.hostName = host;
    body.ipConfig = ipConfig;
    body.ipAddress = ip;
    body.subnetMask = QStringLiteral("255.255.255.0");
    body.gateway = QStringLiteral("192.168.1.1");
    MessageHeader head = header(NetworkConfigReply, mac, resultCode);
    head.payloadLength = Protocol::NetworkConfigBodySize;
    return head.toByteArray() + body.toByteArray();
}

inline QByteArray info(const QString &mac, const QString &name, const QString &firmware = QStringLiteral("1.8.0"),
                       const QString &productType = QStringLiteral("12"), quint32 resultCode = 0)
{
    DeviceInfoBody body;
    body.productTypeText = productType;
    body.firmware = firmware;
    body.deviceName = name;
    return header(DeviceInfoReply, mac, resultCode).toByteArray() + body.toByteArray();
}

inline QByteArray answer(quint32 messageId, const QString &mac, quint32 resultCode)
{
    return header(messageId, mac, resultCode).toByteArray();
}

} // namespace Replies
