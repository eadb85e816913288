// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QHostAddress>
#include <QNetworkInterface>
#include <QString>

// Tests that make the program send (broadcasts included) call this first. It names the first
// interface that could carry a datagram onto a real network: anything up that is not loopback and
// not one of the lab's own 192.168.77.x links. An empty answer means sending is safe here.
inline QString realNetworkInterface()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        if (!(iface.flags() & QNetworkInterface::IsUp) || (iface.flags() & QNetworkInterface::IsLoopBack))
            continue;
        bool labOnly = true;
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress ip = entry.ip();
            const bool labAddress = ip.protocol() == QAbstractSocket::IPv4Protocol
                                        ? ip.toString().startsWith(QLatin1String("192.168.77."))
                                        : ip.isLinkLocal();
            if (!labAddress)
                labOnly = false;
        }
        if (!labOnly || entries.isEmpty())
            return iface.name();
    }
    return QString();
}

// Skips the calling test function when it would send onto a real network.
#define REQUIRE_ISOLATED_NETWORK()                                                                                     \
    do {                                                                                                               \
        const QString realInterface = realNetworkInterface();                                                          \
        if (!realInterface.isEmpty())                                                                                  \
            QSKIP(qPrintable(QStringLiteral("would send on the real interface %1; run the suite with 'make test'")     \
                                 .arg(realInterface)));                                                                \
    } while (false)
