// SPDX-License-Identifier: Apache-2.0
#include "cli/configchange.h"

#include "model/deviceplan.h"
#include "model/planrun.h"
#include "protocol/configcheck.h"

namespace {

void checkField(QStringList *problems, const char *field, const std::optional<QString> &value,
                QString (*check)(const QString &))
{
    if (!value)
        return;
    const QString problem = check(*value);
    if (!problem.isEmpty())
        problems->append(QLatin1String(field) + QStringLiteral(": \"") + *value + QStringLiteral("\" ") + problem);
}

} // namespace

bool ConfigChange::isEmpty() const
{
    return !hostName && !dhcp && !ip && !mask && !gateway && !domain && !dns1 && !dns2;
}

QStringList ConfigChange::check() const
{
    QStringList problems;
    checkField(&problems, "hostname", hostName, &ConfigCheck::hostName);
    checkField(&problems, "ip", ip, &ConfigCheck::address);
    checkField(&problems, "mask", mask, &ConfigCheck::mask);
    checkField(&problems, "gateway", gateway, &ConfigCheck::address);
    checkField(&problems, "domain", domain, &ConfigCheck::domain);
    checkField(&problems, "dns1", dns1, &ConfigCheck::address);
    checkField(&problems, "dns2", dns2, &ConfigCheck::address);
    // Both given: the pair is judged before anything is sent. With only one of them the
    // device's own value is needed first (checkResult).
    if (problems.isEmpty() && ip && mask && !dhcp.value_or(false)) {
        const QString problem = ConfigCheck::hostInNetwork(*ip, *mask);
        if (!problem.isEmpty())
            problems.append(QStringLiteral("ip: ") + problem);
    }
    return problems;
}

NetworkConfigBody ConfigChange::applyTo(const NetworkConfigBody &current) const
{
    NetworkConfigBody result = current;
    if (hostName)
        result.hostName = *hostName;
    if (dhcp)
        result.ipConfig = NetworkConfigBody::ipConfigText(*dhcp);
    else if (!result.isDhcp())
        result.ipConfig = NetworkConfigBody::ipConfigText(false); // "0", whatever static form it had
    if (ip)
        result.ipAddress = *ip;
    if (mask)
        result.subnetMask = *mask;
    if (gateway)
        result.gateway = *gateway;
    if (domain)
        result.domain = *domain;
    if (dns1)
        result.primaryDns = *dns1;
    if (dns2)
        result.secondaryDns = *dns2;
    return result;
}

QStringList ConfigChange::checkResult(const NetworkConfigBody &result) const
{
    QStringList problems;
    // Only a device that is (or becomes) static and whose addressing this change touches: the
    // rest of a configuration the device already runs with is not ours to judge.
    if (result.isDhcp() || (!ip && !mask && !dhcp))
        return problems;
    const auto origin = [](bool given) { return given ? QString() : QStringLiteral(" (the device's own value)"); };
    const QString ipProblem = ConfigCheck::address(result.ipAddress);
    if (!ipProblem.isEmpty())
        problems.append(QStringLiteral("ip: \"%1\"%2 %3").arg(result.ipAddress, origin(bool(ip)), ipProblem));
    const QString maskProblem = ConfigCheck::mask(result.subnetMask);
    if (!maskProblem.isEmpty())
        problems.append(QStringLiteral("mask: \"%1\"%2 %3").arg(result.subnetMask, origin(bool(mask)), maskProblem));
    if (problems.isEmpty()) {
        const QString problem = ConfigCheck::hostInNetwork(result.ipAddress, result.subnetMask);
        if (!problem.isEmpty())
            problems.append(QStringLiteral("ip: ") + problem);
    }
    return problems;
}

QStringList ConfigChange::differences(const NetworkConfigBody &sent, const NetworkConfigBody &seen)
{
    // A plan's devices are compared the same way; `set` names the mode as its scan rows do.
    const QStringList fields = DevicePlan::fieldNames().mid(1);
    const QStringList expected = PlanRun::reportedValues(sent, true);
    const QStringList shown = PlanRun::reportedValues(seen, false);
    QStringList found;
    for (const QString &field : PlanRun::differences(sent, seen)) {
        const qsizetype at = fields.indexOf(field);
        const QString name = field == QLatin1String("config") ? QStringLiteral("ipConfig") : field;
        found.append(QStringLiteral("%1: shows \"%2\", expected \"%3\"").arg(name, shown.at(at), expected.at(at)));
    }
    return found;
}
