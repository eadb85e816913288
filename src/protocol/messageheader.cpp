// SPDX-License-Identifier: Apache-2.0
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

QByteArrayView MessageHeader::keyBytesOf(const QByteArray &datagram)
{
    return textBytes(datagram, KeyOffset, KeyWidth);
}

QByteArrayView MessageHeader::destMacBytesOf(const QByteArray &datagram)
{
    return textBytes(datagram, DestMacOffset, MacWidth);
}

QByteArrayView MessageHeader::srcMacBytesOf(const QByteArray &datagram)
{
    return textBytes(datagram, SrcMacOffset, MacWidth);
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

namespace {

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

char16_t codeUnit(QChar c)
{
    return c.unicode();
}

char16_t codeUnit(char c)
{
    return char16_t(uchar(c)); // Latin-1
}

template <typename Text> bool isMacText(const Text &text)
{
    constexpr int Length = 17; // "00:11:22:33:44:55"
    if (text.size() != Length)
        return false;
    for (int i = 0; i < Length; i += 3) {
        if (!isHexDigit(codeUnit(text[i])) || !isHexDigit(codeUnit(text[i + 1])))
            return false;
        if (i + 2 < Length && codeUnit(text[i + 2]) != u':')
            return false;
    }
    return true;
}

} // namespace

bool MessageHeader::isMacAddressText(const QString &text)
{
    return isMacText(text);
}

bool MessageHeader::isMacAddressText(QByteArrayView text)
{
    return isMacText(text);
}
