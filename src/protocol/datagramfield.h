// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Reading and writing the fixed-offset fields of a datagram. Readers never look beyond the
// received bytes: what is missing reads as zero.
namespace DatagramField {

// Writes text as Latin-1 into a field of `width` bytes at `offset`: at most width - 1 bytes,
// then NUL; the rest of the field is left as it is (zero in a fresh datagram).
void writeText(QByteArray &datagram, int offset, int width, const QString &text);
void writeUInt16(QByteArray &datagram, int offset, quint16 value);
void writeUInt32(QByteArray &datagram, int offset, quint32 value);

// Text from `offset` up to the first NUL, the end of the field or the end of the datagram.
// A negative width means the field runs to the end of the datagram.
QString readText(const QByteArray &datagram, int offset, int width);
// The same text as the bytes it is made of, without a copy: for checks on every datagram received.
QByteArrayView textBytes(const QByteArray &datagram, int offset, int width);
quint8 readUInt8(const QByteArray &datagram, int offset);
quint16 readUInt16(const QByteArray &datagram, int offset);
quint32 readUInt32(const QByteArray &datagram, int offset);

} // namespace DatagramField
