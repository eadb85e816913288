// SPDX-License-Identifier: Apache-2.0
#include "protocol/networkconfigbody.h"

#include "protocol/datagramfield.h"
#include "protocol/messageheader.h"

using namespace DatagramField;

namespace {

// Writes the fields that both body forms share, starting with the host name at `shift`.
void writeCommonFields(QByteArray &body, const NetworkConfigBody &config, int shift)
{
    using B = NetworkConfigBody;
    const int base = shift - B::HostNameOffset;
    writeText(body, base + B::HostNameOffset, B::HostNameWidth, config.hostName);
    writeText(body, base + B::IpConfigOffset, B::IpConfigWidth, config.ipConfig);
    writeText(body, base + B::IpAddressOffset, B::AddressWidth, config.ipAddress);
    writeText(body, base + B::SubnetMaskOffset, B::AddressWidth, config.subnetMask);
    writeText(body, base + B::DomainOffset, B::DomainWidth, config.domain);
    writeText(body, base + B::GatewayOffset, B::AddressWidth, config.gateway);
    writeText(body, base + B::PrimaryDnsOffset, B::AddressWidth, config.primaryDns);
    writeText(body, base + B::SecondaryDnsOffset, B::AddressWidth, config.secondaryDns);
}

void readCommonFields(const QByteArray &datagram, NetworkConfigBody &config, int shift)
{
    using B = NetworkConfigBody;
    const int base = Protocol::HeaderSize + shift - B::HostNameOffset;
    config.hostName = readText(datagram, base + B::HostNameOffset, B::HostNameWidth);
    config.ipConfig = readText(datagram, base + B::IpConfigOffset, B::IpConfigWidth);
    config.ipAddress = readText(datagram, base + B::IpAddressOffset, B::AddressWidth);
    config.subnetMask = readText(datagram, base + B::SubnetMaskOffset, B::AddressWidth);
    config.domain = readText(datagram, base + B::DomainOffset, B::DomainWidth);
    config.gateway = readText(datagram, base + B::GatewayOffset, B::AddressWidth);
    config.primaryDns = readText(datagram, base + B::PrimaryDnsOffset, B::AddressWidth);
    config.secondaryDns = readText(datagram, base + B::SecondaryDnsOffset, B::AddressWidth);
}

} // namespace

QByteArray NetworkConfigBody::toByteArray() const
{
    QByteArray body(Protocol::NetworkConfigBodySize, '\0');
    writeText(body, MacOffset, MacWidth, macAddress);
    writeCommonFields(body, *this, HostNameOffset);
    return body;
}

QByteArray NetworkConfigBody::toAuthByteArray(const QString &userName, const QString &password) const
{
    QByteArray body(Protocol::AuthNetworkConfigBodySize, '\0');
    writeCommonFields(body, *this, 0);
    writeText(body, CredentialsOffset, CredentialsWidth, QString::fromLatin1(credentialsText(userName, password)));
    return body;
}

NetworkConfigBody NetworkConfigBody::fromDatagram(const QByteArray &datagram)
{
    NetworkConfigBody config;
    config.macAddress = readText(datagram, Protocol::HeaderSize + MacOffset, MacWidth);
    readCommonFields(datagram, config, HostNameOffset);
    return config;
}

NetworkConfigBody NetworkConfigBody::fromAuthDatagram(const QByteArray &datagram, QString *credentials)
{
    NetworkConfigBody config;
    readCommonFields(datagram, config, 0);
    if (credentials)
        *credentials = readText(datagram, Protocol::HeaderSize + CredentialsOffset, CredentialsWidth);
    return config;
}

QByteArray NetworkConfigBody::credentialsText(const QString &userName, const QString &password)
{
    return (userName + QLatin1Char(':') + password).toLatin1().toBase64();
}

bool operator==(const NetworkConfigBody &a, const NetworkConfigBody &b)
{
    return a.macAddress == b.macAddress && a.hostName == b.hostName && a.ipConfig == b.ipConfig &&
           a.ipAddress == b.ipAddress && a.subnetMask == b.subnetMask && a.domain == b.domain &&
           a.gateway == b.gateway && a.primaryDns == b.primaryDns && a.secondaryDns == b.secondaryDns;
}
