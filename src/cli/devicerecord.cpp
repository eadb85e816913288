#include "cli/devicerecord.h"

#include "cli/devicetable.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"

DeviceRecord DeviceRecord::fromTable(const DeviceTable &table, int row)
{
    const DeviceTable::Row &entry = table.row(row);
    DeviceRecord record;
    record.device = entry.device.value_or(QString());
    record.firmware = entry.firmware.value_or(QString());
    record.productType = entry.productType;
    record.hostName = entry.hostName.value_or(QString());
    record.ipConfig = entry.ipConfig.value_or(QString());
    record.ip = entry.ip.value_or(QString());
    record.mac = entry.mac;
    record.ipConflict = table.ipConflict(row);
    record.hostNameConflict = table.hostNameConflict(row);
    record.complete = table.isComplete(row);

    const QByteArray &datagram = entry.configDatagram;
    if (!datagram.isEmpty()) {
        record.protocolVersion = MessageHeader::protocolVersionOf(datagram);
        // A failed reply's body is not read; the table shows "N/A" for it already.
        if (MessageHeader::resultCodeOf(datagram) == Protocol::ResultOk) {
            const NetworkConfigBody config = NetworkConfigBody::fromDatagram(datagram);
            record.mask = config.subnetMask;
            record.gateway = config.gateway;
            record.domain = config.domain;
            record.dns1 = config.primaryDns;
            record.dns2 = config.secondaryDns;
        }
    }
    return record;
}

QStringList DeviceRecord::keys(bool withInterface)
{
    QStringList keys{QStringLiteral("device"),
                     QStringLiteral("firmware"),
                     QStringLiteral("productType"),
                     QStringLiteral("hostname"),
                     QStringLiteral("ipConfig"),
                     QStringLiteral("ip"),
                     QStringLiteral("mask"),
                     QStringLiteral("gateway"),
                     QStringLiteral("domain"),
                     QStringLiteral("dns1"),
                     QStringLiteral("dns2"),
                     QStringLiteral("mac"),
                     QStringLiteral("protocolVersion"),
                     QStringLiteral("ipConflict"),
                     QStringLiteral("hostnameConflict"),
                     QStringLiteral("complete")};
    if (withInterface)
        keys.prepend(QStringLiteral("interface"));
    return keys;
}

QVariant DeviceRecord::value(const QString &key) const
{
    if (key == QLatin1String("interface"))
        return interfaceName;
    if (key == QLatin1String("device"))
        return device;
    if (key == QLatin1String("firmware"))
        return firmware;
    if (key == QLatin1String("productType"))
        return productType ? QVariant(*productType) : QVariant();
    if (key == QLatin1String("hostname"))
        return hostName;
    if (key == QLatin1String("ipConfig"))
        return ipConfig;
    if (key == QLatin1String("ip"))
        return ip;
    if (key == QLatin1String("mask"))
        return mask;
    if (key == QLatin1String("gateway"))
        return gateway;
    if (key == QLatin1String("domain"))
        return domain;
    if (key == QLatin1String("dns1"))
        return dns1;
    if (key == QLatin1String("dns2"))
        return dns2;
    if (key == QLatin1String("mac"))
        return mac;
    if (key == QLatin1String("protocolVersion"))
        return protocolVersion ? QVariant(*protocolVersion) : QVariant();
    if (key == QLatin1String("ipConflict"))
        return ipConflict;
    if (key == QLatin1String("hostnameConflict"))
        return hostNameConflict;
    if (key == QLatin1String("complete"))
        return complete;
    return QVariant();
}
