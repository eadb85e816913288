// SPDX-License-Identifier: Apache-2.0
#include "protocol/datagramfield.h"

#include <QtEndian>

#include <cstring>

namespace DatagramField {

namespace {

// Copies `size` bytes at `offset` into `out`, zero where the datagram is shorter.
void readBytes(const QByteArray &datagram, int offset, int size, uchar *out)
{
    std::memset(out, 0, size_t(size));
    if (offset < 0 || offset >= datagram.size())
        return;
    const int available = std::min(size, int(datagram.size()) - offset);
    std::memcpy(out, datagram.constData() + offset, size_t(available));
}

} // namespace

void writeText(QByteArray &datagram, int offset, int width, const QString &text)
{
    Q_ASSERT(width > 0 && offset + width <= datagram.size());
    const QByteArray bytes = text.toLatin1().left(width - 1);
    std::memcpy(datagram.data() + offset, bytes.constData(), size_t(bytes.size()));
    datagram[offset + bytes.size()] = '\0';
}

void writeUInt16(QByteArray &datagram, int offset, quint16 value)
{
    Q_ASSERT(offset + 2 <= datagram.size());
    qToLittleEndian(value, datagram.data() + offset);
}

void writeUInt32(QByteArray &datagram, int offset, quint32 value)
{
    Q_ASSERT(offset + 4 <= datagram.size());
    qToLittleEndian(value, datagram.data() + offset);
}

QString readText(const QByteArray &datagram, int offset, int width)
{
    const QByteArrayView bytes = textBytes(datagram, offset, width);
    return QString::fromLatin1(bytes.data(), bytes.size());
}

QByteArrayView textBytes(const QByteArray &datagram, int offset, int width)
{
    if (offset < 0 || offset >= datagram.size())
        return {};
    qsizetype end = datagram.size();
    if (width >= 0)
        end = std::min<qsizetype>(end, qsizetype(offset) + width);
    const char *begin = datagram.constData() + offset;
    const void *nul = std::memchr(begin, '\0', size_t(end - offset));
    const qsizetype length = nul ? static_cast<const char *>(nul) - begin : end - offset;
    return QByteArrayView(begin, length);
}

quint8 readUInt8(const QByteArray &datagram, int offset)
{
    uchar value = 0;
    readBytes(datagram, offset, 1, &value);
    return value;
}

quint16 readUInt16(const QByteArray &datagram, int offset)
{
    uchar bytes[2];
    readBytes(datagram, offset, 2, bytes);
    return qFromLittleEndian<quint16>(bytes);
}

quint32 readUInt32(const QByteArray &datagram, int offset)
{
    uchar bytes[4];
    readBytes(datagram, offset, 4, bytes);
    return qFromLittleEndian<quint32>(bytes);
}

} // namespace DatagramField
