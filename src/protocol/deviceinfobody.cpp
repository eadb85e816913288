// SPDX-License-Identifier: Apache-2.0
#include "protocol/deviceinfobody.h"

#include "protocol/datagramfield.h"
#include "protocol/messageheader.h"

using namespace DatagramField;

int DeviceInfoBody::productType() const
{
    bool ok = false;
    const int value = productTypeText.toInt(&ok, 10);
    return ok ? value : 0;
}

QByteArray DeviceInfoBody::toByteArray() const
{
    const QByteArray name = deviceName.toLatin1();
    QByteArray body(DeviceNameOffset + name.size() + 1, '\0');
    writeText(body, ProductTypeOffset, ProductTypeWidth, productTypeText);
    writeText(body, FirmwareOffset, FirmwareWidth, firmware);
    writeText(body, DeviceNameOffset, int(name.size()) + 1, deviceName);
    return body;
}

DeviceInfoBody DeviceInfoBody::fromDatagram(const QByteArray &datagram)
{
    constexpr int base = Protocol::HeaderSize;
    DeviceInfoBody info;
    info.productTypeText = readText(datagram, base + ProductTypeOffset, ProductTypeWidth);
    info.firmware = readText(datagram, base + FirmwareOffset, FirmwareWidth);
    info.deviceName = readText(datagram, base + DeviceNameOffset, DeviceNameMaxLength);
    return info;
}
