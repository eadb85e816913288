// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QString>

// A device's network configuration as the datagrams carry it: the body of NetworkConfigReply and
// SetNetworkConfig (with a MAC slot) and of SetNetworkConfigAuth (without it, credentials at the end).
struct NetworkConfigBody
{
    // Offsets within the body; add Protocol::HeaderSize for the datagram offset.
    enum Offset {
        MacOffset = 0,
        HostNameOffset = 18,
        IpConfigOffset = 43,
        IpAddressOffset = 45,
        SubnetMaskOffset = 61,
        DomainOffset = 77,
        GatewayOffset = 157,
        PrimaryDnsOffset = 173,
        SecondaryDnsOffset = 189,
    };
    // The authenticated body has the same fields without the MAC slot, then the credentials.
    enum AuthOffset { CredentialsOffset = 187 };
    enum Width {
        MacWidth = 18,
        HostNameWidth = 25,
        IpConfigWidth = 2,
        AddressWidth = 16,
        DomainWidth = 80,
        CredentialsWidth = 128
    };

    QString macAddress;
    QString hostName;
    QString ipConfig; // "1" is DHCP; anything else is static addressing
    QString ipAddress;
    QString subnetMask;
    QString domain;
    QString gateway;
    QString primaryDns;
    QString secondaryDns;

    static QString ipConfigText(bool dhcp) { return dhcp ? QStringLiteral("1") : QStringLiteral("0"); }
    bool isDhcp() const { return ipConfig == QLatin1String("1"); }

    // The 205-byte body of SetNetworkConfig.
    QByteArray toByteArray() const;
    // The 315-byte body of SetNetworkConfigAuth; macAddress is not part of it.
    QByteArray toAuthByteArray(const QString &userName, const QString &password) const;

    // Reads the body of a NetworkConfigReply or SetNetworkConfig datagram (header included).
    static NetworkConfigBody fromDatagram(const QByteArray &datagram);
    // Reads the body of a SetNetworkConfigAuth datagram; its Base64 credential text goes to *credentials.
    static NetworkConfigBody fromAuthDatagram(const QByteArray &datagram, QString *credentials = nullptr);

    // Base64 of the Latin-1 text "user:password", as the authenticated request carries it (before cutting).
    static QByteArray credentialsText(const QString &userName, const QString &password);

    friend bool operator==(const NetworkConfigBody &a, const NetworkConfigBody &b);
};
