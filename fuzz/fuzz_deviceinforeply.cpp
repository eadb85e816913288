// SPDX-License-Identifier: Apache-2.0
// The DeviceInfoReply reader: any datagram of 0 to 65,507 bytes; the device name runs to its NUL
// or to the datagram's end, whatever the datagram's length.

#include "fuzzsupport.h"

#include "protocol/deviceinfobody.h"
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

    const DeviceInfoBody info = DeviceInfoBody::fromDatagram(datagram);
    FUZZ_CHECK(info.productTypeText == Fuzz::text(datagram, 124, 4));
    FUZZ_CHECK(info.firmware == Fuzz::text(datagram, 128, 20));
    // The name ends at its NUL, at the datagram's end or after 255 characters.
    FUZZ_CHECK(info.deviceName == Fuzz::text(datagram, 148, -1).left(255));

    // The product type: a decimal number of at most four characters, else 0.
    bool number = false;
    const int value = info.productTypeText.toInt(&number, 10);
    FUZZ_CHECK(info.productType() == (number ? value : 0));
    FUZZ_CHECK(info.productType() > -1000 && info.productType() < 10000);

    // Written again, the body ends with the name's NUL and reads back the same.
    const QByteArray body = info.toByteArray();
    FUZZ_CHECK(body.size() == DeviceInfoBody::DeviceNameOffset + info.deviceName.size() + 1);
    const DeviceInfoBody again = DeviceInfoBody::fromDatagram(QByteArray(Protocol::HeaderSize, '\0') + body);
    FUZZ_CHECK(again.productTypeText == info.productTypeText.left(3));
    FUZZ_CHECK(again.firmware == info.firmware.left(19));
    FUZZ_CHECK(again.deviceName == info.deviceName);
    return 0;
}
