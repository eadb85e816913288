#pragma once

#include <QByteArray>
#include <QString>

// The body of a DeviceInfoReply: product type, firmware and the device's type name.
struct DeviceInfoBody
{
    enum Offset { ProductTypeOffset = 0, FirmwareOffset = 4, DeviceNameOffset = 24 };
    enum Width { ProductTypeWidth = 4, FirmwareWidth = 20 };

    QString productTypeText; // decimal digits
    QString firmware;
    QString deviceName;

    // The product type as a decimal number; 0 when the text is no number.
    int productType() const;

    // Body bytes; the device name runs to its NUL, which ends the body.
    QByteArray toByteArray() const;
    // Reads a DeviceInfoReply datagram (header included); the device name ends at its NUL or at
    // the end of the datagram.
    static DeviceInfoBody fromDatagram(const QByteArray &datagram);
};
