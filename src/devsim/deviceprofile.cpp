// SPDX-License-Identifier: Apache-2.0
#include "devsim/deviceprofile.h"

#include <QStringList>

NetworkConfigBody DeviceProfile::defaultConfig()
{
    NetworkConfigBody config;
    config.hostName = QStringLiteral("veltra-device");
    config.ipConfig = NetworkConfigBody::ipConfigText(false);
    config.ipAddress = QStringLiteral("0.0.0.0");
    config.subnetMask = QStringLiteral("255.255.255.0");
    config.gateway = QStringLiteral("0.0.0.0");
    config.primaryDns = QStringLiteral("0.0.0.0");
    config.secondaryDns = QStringLiteral("0.0.0.0");
    return config;
}

namespace DeviceText {

namespace {

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

} // namespace

bool isMac(const QString &text)
{
    if (text.size() != 17)
        return false;
    for (int i = 0; i < 17; ++i) {
        const bool ok = (i % 3 == 2) ? text.at(i) == QLatin1Char(':') : isHexDigit(text.at(i));
        if (!ok)
            return false;
    }
    return true;
}

bool isIpv4(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        if (part.toInt() > 255)
            return false;
    }
    return true;
}

bool isLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return false;
    }
    return true;
}

QString shortened(const QString &text)
{
    return text.size() <= MaxQuotedLength ? text : text.left(MaxQuotedLength) + QStringLiteral("...");
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + shortened(text) + QLatin1Char('"');
}

quint64 macToNumber(const QString &mac)
{
    QString digits = mac;
    digits.remove(QLatin1Char(':'));
    return digits.toULongLong(nullptr, 16);
}

QString macFromNumber(quint64 value)
{
    QStringList groups;
    for (int shift = 40; shift >= 0; shift -= 8)
        groups.append(QStringLiteral("%1").arg((value >> shift) & 0xff, 2, 16, QLatin1Char('0')).toUpper());
    return groups.join(QLatin1Char(':'));
}

quint32 ipv4ToNumber(const QString &ip)
{
    quint32 value = 0;
    const QStringList parts = ip.split(QLatin1Char('.'));
    for (const QString &part : parts)
        value = (value << 8) | quint32(part.toUInt() & 0xff);
    return value;
}

QString ipv4FromNumber(quint32 value)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24)
        .arg((value >> 16) & 0xff)
        .arg((value >> 8) & 0xff)
        .arg(value & 0xff);
}

} // namespace DeviceText
