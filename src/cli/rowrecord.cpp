// SPDX-License-Identifier: Apache-2.0
#include "cli/rowrecord.h"

#include "model/devicemodel.h"

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
    const QVariantMap found = model.rowValues(row);
    // Texts are always printed, empty where no reply came; numbers only when a reply gave them.
    const auto text = [&found](const char *key) { return QVariant(found.value(QLatin1String(key)).toString()); };
    const auto number = [&found](const char *key) { return found.value(QLatin1String(key)); };
    return {text("device"),
            text("firmware"),
            number("productType"),
            text("hostname"),
            text("ipConfig"),
            text("ip"),
            text("mask"),
            text("gateway"),
            text("domain"),
            text("dns1"),
            text("dns2"),
            model.item(row, DeviceModel::MacAddressColumn)->text(),
            number("protocolVersion"),
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
