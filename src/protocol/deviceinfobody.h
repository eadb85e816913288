// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QString>

// The body of a DeviceInfoReply: product type, firmware and the device's type name.
struct DeviceInfoBody
{
    enum Offset { ProductTypeOffset = 0, FirmwareOffset = 4, DeviceNameOffset = 24 };
    enum Width { ProductTypeWidth = 4, FirmwareWidth = 20 };
    // What is read of the device name: real names are a few dozen characters, and a datagram of
    // 64 KiB must not make a row that large.
    static constexpr int DeviceNameMaxLength = 255;

    QString productTypeText; // decimal digits
    QString firmware;
    QString deviceName;

    // The product type as a decimal number; 0 when the text is no number.
    int productType() const;

    // Body bytes; the device name runs to its NUL, which ends the body.
    QByteArray toByteArray() const;
    // Reads a DeviceInfoReply datagram (header included); the device name ends at its NUL, at the
    // end of the datagram or after DeviceNameMaxLength characters.
    static DeviceInfoBody fromDatagram(const QByteArray &datagram);
};
