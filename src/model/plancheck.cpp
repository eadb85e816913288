// SPDX-License-Identifier: Apache-2.0
#include "model/plancheck.h"

#include "model/devicemodel.h"
#include "protocol/configcheck.h"

#include <QHash>

#include <algorithm>

namespace {

using Problem = DevicePlan::Problem;
using Row = DevicePlan::Row;

// A device that holds a value: a plan row (0-based) or a device of the table outside the plan.
struct Holder
{
    int row = -1;
    QString mac;
};

// What a plan row leaves a device with, for the conflicts.
struct Effective
{
    QString ipKey;   // empty: no address of ours
    QString nameKey; // case-folded
    bool ipGiven = false;
    bool nameGiven = false;
};

QString valueKey(const QString &text, bool caseFold)
{
    // "N/A" is a failed reply, "0.0.0.0" a device still waiting for its lease: neither is a value.
    if (text == QLatin1String("N/A") || text == QLatin1String("0.0.0.0"))
        return QString();
    return caseFold ? text.toCaseFolded() : text;
}

} // namespace

PlanCheck::PlanCheck(const DevicePlan &plan, const DeviceModel &model)
{
    const QList<Row> &rows = plan.rows();
    const auto report = [this, &plan](int index, const char *field, const QString &message) {
        found.append({index + 1, plan.lineOf(index), QLatin1String(field), message});
    };
    const auto checkCell = [&report](int index, const char *field, const QString &cell,
                                     QString (*rule)(const QString &)) {
        const QString problem = cell.isEmpty() ? QString() : rule(cell);
        if (!problem.isEmpty())
            report(index, field, QStringLiteral("\"%1\" %2").arg(cell, problem));
    };

    QHash<QString, int> rowOfMac; // case-folded MAC to its first plan row
    QList<Effective> effective(rows.size());
    QHash<QString, QList<Holder>> addresses;
    QHash<QString, QList<Holder>> names;
    for (int i = 0; i < rows.size(); ++i) {
        const Row &row = rows.at(i);
        std::optional<NetworkConfigBody> current;
        const QString macKey = row.mac.toCaseFolded();
        const auto earlier = rowOfMac.constFind(macKey);
        if (row.mac.isEmpty()) {
            report(i, "mac", tr("empty"));
        } else if (earlier != rowOfMac.cend()) {
            report(i, "mac", tr("\"%1\" is in row %2 already").arg(row.mac).arg(*earlier + 1));
        } else {
            rowOfMac.insert(macKey, i);
            if (model.findRowByMac(row.mac) < 0)
                report(i, "mac", tr("\"%1\" is not among the devices the scan found").arg(row.mac));
            else if (!(current = DevicePlan::currentConfig(model, row.mac)))
                report(i, "mac", tr("the configuration of %1 has not been read; scan again").arg(row.mac));
        }

        // The device's own host name goes back unchanged even where the rule would refuse it.
        if (!current || row.hostName != current->hostName)
            checkCell(i, "hostname", row.hostName, &ConfigCheck::hostName);
        const DevicePlan::Config config = DevicePlan::configOf(row.config);
        if (config == DevicePlan::Config::Unknown)
            report(i, "config", tr("\"%1\" is neither DHCP nor static").arg(row.config));
        checkCell(i, "ip", row.ip, &ConfigCheck::address);
        checkCell(i, "mask", row.mask, &ConfigCheck::mask);
        checkCell(i, "gateway", row.gateway, &ConfigCheck::address);
        checkCell(i, "domain", row.domain, &ConfigCheck::domain);
        checkCell(i, "dns1", row.dns1, &ConfigCheck::address);
        checkCell(i, "dns2", row.dns2, &ConfigCheck::address);
        if (!current || config == DevicePlan::Config::Unknown)
            continue;

        Effective &values = effective[i];
        const bool dhcp =
            config == DevicePlan::Config::Dhcp || (config == DevicePlan::Config::Keep && current->isDhcp());
        if (dhcp && current->isDhcp()) {
            values.ipKey = valueKey(current->ipAddress, false); // the lease it will renew
        } else if (!dhcp) {
            const QString ip = row.ip.isEmpty() ? current->ipAddress : row.ip;
            const QString mask = row.mask.isEmpty() ? current->subnetMask : row.mask;
            if (current->isDhcp()) {
                // The address a device on DHCP shows is its server's lease, not one to fix for good.
                const QString why = tr("needed to go from DHCP to static");
                if (row.ip.isEmpty())
                    report(i, "ip", why);
                if (row.mask.isEmpty())
                    report(i, "mask", why);
            } else {
                // A static device keeps its address and mask where the cells are empty: the pair
                // that results must still make a host address.
                if (row.ip.isEmpty() && !ConfigCheck::address(ip).isEmpty())
                    report(i, "ip", tr("\"%1\" (the device's own value) %2").arg(ip, ConfigCheck::address(ip)));
                if (row.mask.isEmpty() && !ConfigCheck::mask(mask).isEmpty())
                    report(i, "mask", tr("\"%1\" (the device's own value) %2").arg(mask, ConfigCheck::mask(mask)));
            }
            if (!current->isDhcp() || (!row.ip.isEmpty() && !row.mask.isEmpty())) {
                // Says nothing while the address or the mask is refused on its own.
                const QString problem = ConfigCheck::hostInNetwork(ip, mask);
                if (!problem.isEmpty())
                    report(i, "ip", problem);
                values.ipKey = valueKey(ip, false);
            }
        }
        values.ipGiven = !dhcp && !row.ip.isEmpty();
        values.nameKey = valueKey(row.hostName.isEmpty() ? current->hostName : row.hostName, true);
        values.nameGiven = !row.hostName.isEmpty();
        if (!values.ipKey.isEmpty())
            addresses[values.ipKey].append({i, row.mac});
        if (!values.nameKey.isEmpty())
            names[values.nameKey].append({i, row.mac});
    }

    for (int row = 0; row < model.rowCount(); ++row) {
        const QString mac = model.item(row, DeviceModel::MacAddressColumn)->text();
        if (rowOfMac.contains(mac.toCaseFolded()))
            continue;
        const QString ip = valueKey(model.item(row, DeviceModel::IpAddressColumn)->text(), false);
        const QString name = valueKey(model.item(row, DeviceModel::HostnameColumn)->text(), true);
        if (!ip.isEmpty())
            addresses[ip].append({-1, mac});
        if (!name.isEmpty())
            names[name].append({-1, mac});
    }

    // Whole sentences for each kind of value, as a translation needs them.
    const auto reportConflict = [&report, &rows](int index, const char *field, bool isAddress, const QString &value,
                                                 const QList<Holder> &holders) {
        const auto other = std::find_if(holders.cbegin(), holders.cend(),
                                        [index](const Holder &holder) { return holder.row != index; });
        if (other == holders.cend())
            return;
        if (other->row >= 0) {
            const QString text = isAddress ? tr("\"%1\" is also the address of row %2 (%3)")
                                           : tr("\"%1\" is also the host name of row %2 (%3)");
            report(index, field, text.arg(value).arg(other->row + 1).arg(rows.at(other->row).mac));
        } else {
            const QString text = isAddress ? tr("\"%1\" is the address of %2, a device outside the plan")
                                           : tr("\"%1\" is the host name of %2, a device outside the plan");
            report(index, field, text.arg(value, other->mac));
        }
    };
    for (int i = 0; i < rows.size(); ++i) {
        const Effective &values = effective.at(i);
        if (values.ipGiven)
            reportConflict(i, "ip", true, rows.at(i).ip, addresses.value(values.ipKey));
        if (values.nameGiven)
            reportConflict(i, "hostname", false, rows.at(i).hostName, names.value(values.nameKey));
    }
    std::stable_sort(found.begin(), found.end(), [](const Problem &a, const Problem &b) { return a.row < b.row; });
}
