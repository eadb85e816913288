// SPDX-License-Identifier: Apache-2.0
#include "cli/rowrecord.h"

#include "model/devicemodel.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"

#include <algorithm>

QStringList RowRecord::keys(bool withInterface)
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

QVariantList RowRecord::values(const DeviceModel &model, int row)
{
    const auto text = [&model, row](int column) { return model.item(row, column)->text(); };
    const QStandardItem *macItem = model.item(row, DeviceModel::MacAddressColumn);
    // Set by the device-information reply only.
    const QVariant productType = macItem->data(DeviceModel::ProductTypeRole);

    QVariant protocolVersion;
    NetworkConfigBody config;
    const QByteArray datagram = macItem->data(DeviceModel::ConfigDatagramRole).toByteArray();
    if (!datagram.isEmpty()) {
        const MessageHeader header = MessageHeader::fromDatagram(datagram);
        protocolVersion = int(header.protocolVersion);
        // A failed reply's body is not read; the table shows "N/A" for it already.
        if (header.resultCode == Protocol::ResultOk)
            config = NetworkConfigBody::fromDatagram(datagram);
    }
    return {text(DeviceModel::DeviceColumn),
            text(DeviceModel::FirmwareColumn),
            productType.isValid() ? QVariant(productType.toInt()) : QVariant(),
            text(DeviceModel::HostnameColumn),
            text(DeviceModel::IpConfigColumn),
            text(DeviceModel::IpAddressColumn),
            config.subnetMask,
            config.gateway,
            config.domain,
            config.primaryDns,
            config.secondaryDns,
            text(DeviceModel::MacAddressColumn),
            protocolVersion,
            model.hasConflict(row, DeviceModel::IpAddressColumn),
            model.hasConflict(row, DeviceModel::HostnameColumn),
            model.isComplete(row)};
}

QList<int> RowRecord::rowsByMac(const DeviceModel &model)
{
    QList<int> rows;
    for (int row = 0; row < model.rowCount(); ++row)
        rows.append(row);
    const auto mac = [&model](int row) { return model.item(row, DeviceModel::MacAddressColumn)->text(); };
    std::stable_sort(rows.begin(), rows.end(),
                     [&mac](int a, int b) { return mac(a).compare(mac(b), Qt::CaseInsensitive) < 0; });
    return rows;
}
