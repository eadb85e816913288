// SPDX-License-Identifier: Apache-2.0
#include "protocol/configcheck.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

// The refusals are translated: the window shows them in its language, while veltra-find loads no
// translation and stays English.
namespace ConfigCheck {

namespace {

bool isLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return false;
    }
    return true;
}

} // namespace

QString addressInputPattern()
{
    return QStringLiteral("((1{0,1}[0-9]{0,2}|2[0-4]{1,1}[0-9]{1,1}|25[0-5]{1,1})\\.){3,3}"
                          "(1{0,1}[0-9]{0,2}|2[0-4]{1,1}[0-9]{1,1}|25[0-5]{1,1})");
}

QString hostNamePattern()
{
    return QStringLiteral("[a-zA-Z][a-zA-Z0-9-]*[a-zA-Z0-9]");
}

QString hostName(const QString &text)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(hostNamePattern()));
    if (text.size() > HostNameMaxLength)
        return QCoreApplication::translate("ConfigCheck", "longer than %1 characters").arg(HostNameMaxLength);
    if (!pattern.match(text).hasMatch())
        return QCoreApplication::translate(
            "ConfigCheck", "must start with a letter, hold only letters, digits and \"-\", end with a letter or "
                           "digit and be at least two characters long");
    return QString();
}

QString address(const QString &text)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("(0|[1-9][0-9]{0,2})(\\.(0|[1-9][0-9]{0,2})){3}")));
    bool valid = pattern.match(text).hasMatch();
    const QStringList groups = valid ? text.split(QLatin1Char('.')) : QStringList();
    for (const QString &group : groups)
        valid = valid && group.toInt() <= 255;
    return valid ? QString()
                 : QCoreApplication::translate("ConfigCheck", "must be a complete IPv4 address such as 192.168.1.20");
}

quint32 addressValue(const QString &text)
{
    if (!address(text).isEmpty())
        return 0;
    quint32 value = 0;
    const QStringList groups = text.split(QLatin1Char('.'));
    for (const QString &group : groups)
        value = (value << 8) | quint32(group.toUInt());
    return value;
}

QString mask(const QString &text)
{
    const QString problem = address(text);
    if (!problem.isEmpty())
        return problem;
    const quint32 value = addressValue(text);
    // Contiguous ones from the top: the complement is one less than a power of two.
    const quint32 inverted = ~value;
    if (value == 0 || (inverted & (inverted + 1)) != 0)
        return QCoreApplication::translate("ConfigCheck",
                                           "must be a subnet mask of contiguous bits such as 255.255.255.0");
    return QString();
}

QString hostInNetwork(const QString &ip, const QString &maskText)
{
    if (!address(ip).isEmpty() || !mask(maskText).isEmpty())
        return QString(); // refused on their own already
    const quint32 value = addressValue(ip);
    const quint32 netmask = addressValue(maskText);
    if ((value & ~netmask) == 0)
        return QCoreApplication::translate("ConfigCheck", "%1 is the network address of mask %2").arg(ip, maskText);
    if ((value | netmask) == 0xffffffffu)
        return QCoreApplication::translate("ConfigCheck", "%1 is the broadcast address of mask %2").arg(ip, maskText);
    return QString();
}

QString domain(const QString &text)
{
    if (text.size() > DomainMaxLength)
        return QCoreApplication::translate("ConfigCheck", "longer than %1 characters").arg(DomainMaxLength);
    if (!isLatin1(text))
        return QCoreApplication::translate("ConfigCheck", "holds characters outside Latin-1");
    if (text.contains(QChar(0)))
        return QCoreApplication::translate("ConfigCheck", "holds a NUL character");
    return QString();
}

QString credentials(const QString &user, const QString &password)
{
    if (!isLatin1(user) || !isLatin1(password))
        return QCoreApplication::translate("ConfigCheck", "hold characters outside Latin-1");
    if (user.contains(QChar(0)) || password.contains(QChar(0)))
        return QCoreApplication::translate("ConfigCheck", "hold a NUL character");
    if (user.contains(QLatin1Char(':')))
        return QCoreApplication::translate("ConfigCheck",
                                           "the user name holds a \":\", which ends it on the device's side");
    if (user.size() + 1 + password.size() > CredentialsMaxBytes)
        return QCoreApplication::translate("ConfigCheck",
                                           "user name and password together are longer than %1 characters")
            .arg(CredentialsMaxBytes - 1);
    return QString();
}

} // namespace ConfigCheck
