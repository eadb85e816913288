#include "protocol/messageheader.h"

#include "protocol/datagramfield.h"

using namespace DatagramField;

MessageHeader MessageHeader::request(quint32 messageId, const QString &destMacAddr, quint32 payloadLength,
                                     const QString &srcMacAddr, const QString &srcIpAddr, quint16 sequenceNumber)
{
    MessageHeader header;
    header.packetIdentificationKey = QString::fromLatin1(Protocol::PacketIdentificationKey);
    header.messageId = messageId;
    header.payloadLength = payloadLength;
    header.protocolVersion = Protocol::RequestProtocolVersion;
    header.destMacAddr = destMacAddr;
    header.srcMacAddr = srcMacAddr;
    header.srcIpAddr = srcIpAddr;
    header.sequenceNumber = sequenceNumber;
    return header;
}

MessageHeader MessageHeader::fromDatagram(const QByteArray &datagram)
{
    MessageHeader header;
    header.packetIdentificationKey = keyOf(datagram);
    header.messageId = messageIdOf(datagram);
    header.resultCode = resultCodeOf(datagram);
    header.payloadLength = readUInt32(datagram, PayloadLengthOffset);
    header.protocolVersion = protocolVersionOf(datagram);
    header.destMacAddr = destMacOf(datagram);
    header.srcMacAddr = srcMacOf(datagram);
    header.srcIpAddr = readText(datagram, SrcIpOffset, IpWidth);
    header.sequenceNumber = readUInt16(datagram, SequenceNumberOffset);
    return header;
}

QByteArray MessageHeader::toByteArray() const
{
    QByteArray bytes(Protocol::HeaderSize, '\0');
    writeText(bytes, KeyOffset, KeyWidth, packetIdentificationKey);
    writeUInt32(bytes, MessageIdOffset, messageId);
    writeUInt32(bytes, ResultCodeOffset, resultCode);
    writeUInt32(bytes, PayloadLengthOffset, payloadLength);
    bytes[ProtocolVersionOffset] = char(protocolVersion);
    writeText(bytes, DestMacOffset, MacWidth, destMacAddr);
    writeText(bytes, SrcMacOffset, MacWidth, srcMacAddr);
    writeText(bytes, SrcIpOffset, IpWidth, srcIpAddr);
    writeUInt16(bytes, SequenceNumberOffset, sequenceNumber);
    return bytes;
}

bool MessageHeader::hasValidKey() const
{
    return packetIdentificationKey == QLatin1String(Protocol::PacketIdentificationKey);
}

QString MessageHeader::keyOf(const QByteArray &datagram)
{
    return readText(datagram, KeyOffset, KeyWidth);
}

QString MessageHeader::destMacOf(const QByteArray &datagram)
{
    return readText(datagram, DestMacOffset, MacWidth);
}

QString MessageHeader::srcMacOf(const QByteArray &datagram)
{
    return readText(datagram, SrcMacOffset, MacWidth);
}

quint32 MessageHeader::messageIdOf(const QByteArray &datagram)
{
    return readUInt32(datagram, MessageIdOffset);
}

quint32 MessageHeader::resultCodeOf(const QByteArray &datagram)
{
    return readUInt32(datagram, ResultCodeOffset);
}

quint8 MessageHeader::protocolVersionOf(const QByteArray &datagram)
{
    return readUInt8(datagram, ProtocolVersionOffset);
}

bool MessageHeader::isMacAddressText(const QString &text)
{
    constexpr int Length = 17; // "00:11:22:33:44:55"
    if (text.size() != Length)
        return false;
    for (int i = 0; i < Length; ++i) {
        const char16_t c = text.at(i).unicode();
        if (i % 3 == 2) {
            if (c != u':')
                return false;
        } else if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) {
            return false;
        }
    }
    return true;
}
