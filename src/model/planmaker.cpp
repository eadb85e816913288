// SPDX-License-Identifier: Apache-2.0
#include "model/planmaker.h"

#include "model/devicemodel.h"
#include "protocol/configcheck.h"

#include <QSet>

#include <limits>

namespace {

QString addressText(quint32 value)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24)
        .arg((value >> 16) & 0xff)
        .arg((value >> 8) & 0xff)
        .arg(value & 0xff);
}

} // namespace

QString PlanMaker::hostName(const QString &nameTemplate, int number)
{
    QString name = nameTemplate;
    for (int width = 1; width <= 3; ++width) {
        const QString counter = QLatin1Char('{') + QString(width, QLatin1Char('n')) + QLatin1Char('}');
        name.replace(counter, QStringLiteral("%1").arg(number, width, 10, QLatin1Char('0')));
    }
    return name;
}

DevicePlan PlanMaker::make(const QStringList &macs, const DeviceModel &model, const Settings &settings, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return DevicePlan();
    };
    if (error)
        error->clear();
    if (settings.firstNumber < 0 || settings.firstNumber > std::numeric_limits<int>::max() - macs.size())
        return fail(tr("the first number must be from 0 to %1").arg(std::numeric_limits<int>::max() - macs.size()));

    QList<DevicePlan::Row> rows;
    rows.reserve(macs.size());
    for (int i = 0; i < macs.size(); ++i) {
        const QString name = settings.hostNameTemplate.isEmpty()
                                 ? QString()
                                 : hostName(settings.hostNameTemplate, settings.firstNumber + i);
        rows.append({macs.at(i), name, settings.dhcp ? QStringLiteral("DHCP") : QStringLiteral("static"), QString(),
                     settings.mask, settings.gateway, settings.domain, settings.dns1, settings.dns2});
    }
    if (settings.dhcp)
        return DevicePlan(rows);

    const QString first = settings.firstAddress;
    QString problem = ConfigCheck::address(first);
    if (!problem.isEmpty())
        return fail(tr("first address: \"%1\" %2").arg(first, problem));
    problem = ConfigCheck::mask(settings.mask);
    if (!problem.isEmpty())
        return fail(tr("mask: \"%1\" %2").arg(settings.mask, problem));
    problem = ConfigCheck::hostInNetwork(first, settings.mask);
    if (!problem.isEmpty())
        return fail(tr("first address: %1").arg(problem));

    // Every address the table shows is taken, also those of the devices being planned: a device
    // keeps its address until its own change, and the plan is sent one device after another.
    QSet<quint32> used;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (const quint32 value = ConfigCheck::addressValue(model.item(row, DeviceModel::IpAddressColumn)->text()))
            used.insert(value);
    }
    const quint32 broadcast = ConfigCheck::addressValue(first) | ~ConfigCheck::addressValue(settings.mask);
    quint32 next = ConfigCheck::addressValue(first);
    int given = 0;
    for (DevicePlan::Row &row : rows) {
        while (next < broadcast && used.contains(next))
            ++next;
        if (next == broadcast)
            break;
        row.ip = addressText(next++);
        ++given;
    }
    if (given < rows.size())
        return fail(tr("the free addresses from %1 to %2 are not enough: %3 of %4 devices got none")
                        .arg(first, addressText(broadcast - 1))
                        .arg(rows.size() - given)
                        .arg(rows.size()));
    return DevicePlan(rows);
}
