// SPDX-License-Identifier: Apache-2.0
// The header reader: any datagram of 0 to 65,507 bytes is read without looking beyond its end, and
// every field reads as the layout says, a short datagram's missing bytes as zero.

#include "fuzzsupport.h"

#include "protocol/datagramfield.h"
#include "protocol/messageheader.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::quietMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(Fuzz::MaxDatagramSize))
        return 0;
    const QByteArray datagram = Fuzz::bytes(data, size);
    const MessageHeader header = MessageHeader::fromDatagram(datagram);

    FUZZ_CHECK(header.packetIdentificationKey == Fuzz::text(datagram, 0, 37));
    FUZZ_CHECK(header.messageId == Fuzz::uint32(datagram, 40));
    FUZZ_CHECK(header.resultCode == Fuzz::uint32(datagram, 44));
    FUZZ_CHECK(header.payloadLength == Fuzz::uint32(datagram, 48));
    FUZZ_CHECK(header.protocolVersion == Fuzz::uint8(datagram, 52));
    FUZZ_CHECK(header.destMacAddr == Fuzz::text(datagram, 56, 18));
    FUZZ_CHECK(header.srcMacAddr == Fuzz::text(datagram, 74, 18));
    FUZZ_CHECK(header.srcIpAddr == Fuzz::text(datagram, 92, 16));
    FUZZ_CHECK(header.sequenceNumber == quint16(Fuzz::uint32(datagram, 108) & 0xffff));
    FUZZ_CHECK(header.hasValidKey() == (header.packetIdentificationKey == QLatin1String(Fuzz::Key)));

    // The single-field readers agree with the whole-header one.
    FUZZ_CHECK(MessageHeader::keyOf(datagram) == header.packetIdentificationKey);
    FUZZ_CHECK(MessageHeader::destMacOf(datagram) == header.destMacAddr);
    FUZZ_CHECK(MessageHeader::srcMacOf(datagram) == header.srcMacAddr);
    FUZZ_CHECK(MessageHeader::messageIdOf(datagram) == header.messageId);
    FUZZ_CHECK(MessageHeader::resultCodeOf(datagram) == header.resultCode);
    FUZZ_CHECK(MessageHeader::protocolVersionOf(datagram) == header.protocolVersion);

    // Written again, the header is 124 bytes and reads back with each text cut to its width - 1.
    const QByteArray written = header.toByteArray();
    FUZZ_CHECK(written.size() == Protocol::HeaderSize);
    const MessageHeader again = MessageHeader::fromDatagram(written);
    FUZZ_CHECK(again.packetIdentificationKey == header.packetIdentificationKey.left(36));
    FUZZ_CHECK(again.destMacAddr == header.destMacAddr.left(17));
    FUZZ_CHECK(again.srcMacAddr == header.srcMacAddr.left(17));
    FUZZ_CHECK(again.srcIpAddr == header.srcIpAddr.left(15));
    FUZZ_CHECK(again.messageId == header.messageId && again.resultCode == header.resultCode);
    FUZZ_CHECK(again.payloadLength == header.payloadLength && again.protocolVersion == header.protocolVersion);
    FUZZ_CHECK(again.sequenceNumber == header.sequenceNumber);

    // The field reader at any offset, also outside the datagram, with any width.
    if (size >= 8) {
        const int offset = int(qFromLittleEndian<qint32>(data)) % (Fuzz::MaxDatagramSize + 16);
        const int width = int(qFromLittleEndian<qint32>(data + 4)) % 256;
        const QString text = DatagramField::readText(datagram, offset, width);
        FUZZ_CHECK(text == (offset < 0 ? QString() : Fuzz::text(datagram, offset, width)));
        DatagramField::readUInt32(datagram, offset);
        DatagramField::readUInt16(datagram, offset);
        DatagramField::readUInt8(datagram, offset);
    }
    return 0;
}
