// SPDX-License-Identifier: Apache-2.0
#include "devsim/devicegenerator.h"

#include "devsim/devicelistreader.h"

namespace {

struct Family
{
    const char *deviceName;
    const char *productType;
    const char *firmware;
};

// A mix of the maker's families, so that tables and exports show more than one kind.
constexpr Family Families[] = {
    {"VeltraNET 200", "12", "3.2.1"}, {"Panoryx P40", "31", "2.0.7"}, {"Motilux M3", "47", "1.4.0"},
    {"VeltraNET 500", "15", "4.1.0"}, {"Panoryx P80", "33", "2.2.0"},
};

} // namespace

std::optional<QList<DeviceProfile>> DeviceGenerator::generate(const DeviceProfile &deviceTemplate, QString *error) const
{
    if (count < 0 || count > MaxCount) {
        *error = QStringLiteral("--count must be from 0 to %1, not %2").arg(MaxCount).arg(count);
        return std::nullopt;
    }
    if (!DeviceText::isMac(macBase)) {
        *error = QStringLiteral("--mac-base must be a MAC text like 02:00:00:00:00:01, not %1")
                     .arg(DeviceText::quoted(macBase));
        return std::nullopt;
    }
    if (!DeviceText::isIpv4(ipBase)) {
        *error = QStringLiteral("--ip-base must be a dotted IPv4 address, not %1").arg(DeviceText::quoted(ipBase));
        return std::nullopt;
    }
    if (protocolVersion > 255) {
        *error = QStringLiteral("--protocol-version must be from 0 to 255, not %1").arg(protocolVersion);
        return std::nullopt;
    }
    const quint64 firstMac = DeviceText::macToNumber(macBase);
    const quint64 firstIp = DeviceText::ipv4ToNumber(ipBase);
    if (count > 0 && firstMac + quint64(count) - 1 > 0xffffffffffffULL) {
        *error = QStringLiteral("%1 devices from the MAC %2 on run past FF:FF:FF:FF:FF:FF").arg(count).arg(macBase);
        return std::nullopt;
    }
    if (count > 0 && firstIp + quint64(count) - 1 > 0xffffffffULL) {
        *error = QStringLiteral("%1 devices from the IP address %2 on run past 255.255.255.255").arg(count).arg(ipBase);
        return std::nullopt;
    }

    QList<DeviceProfile> devices;
    devices.reserve(count);
    for (int i = 0; i < count; ++i) {
        DeviceProfile device = deviceTemplate;
        const Family &family = Families[i % std::size(Families)];
        device.mac = DeviceText::macFromNumber(firstMac + quint64(i));
        device.deviceName = QLatin1String(family.deviceName);
        device.productType = QLatin1String(family.productType);
        device.firmware = QLatin1String(family.firmware);
        device.protocolVersion = quint8(protocolVersion >= 0 ? protocolVersion : (i % 2 == 0 ? 4 : 3));

        const quint32 ip = quint32(firstIp + quint64(i));
        NetworkConfigBody &config = device.config;
        config.macAddress = device.mac;
        config.hostName = QStringLiteral("dsim-%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        config.ipConfig = NetworkConfigBody::ipConfigText(i % 3 == 2); // every third device uses DHCP
        config.ipAddress = DeviceText::ipv4FromNumber(ip);
        config.subnetMask = QStringLiteral("255.255.255.0");
        config.domain = QStringLiteral("lab.example");
        config.gateway = DeviceText::ipv4FromNumber((ip & 0xffffff00u) | 1u);
        config.primaryDns = config.gateway;
        config.secondaryDns = QStringLiteral("0.0.0.0");

        QString message;
        if (!DeviceListReader::checkDevice(device, &message)) {
            *error = QStringLiteral("generated device %1: %2").arg(i + 1).arg(message);
            return std::nullopt;
        }
        devices.append(device);
    }
    return devices;
}
