#include "cli/devicetable.h"

#include "protocol/deviceinfobody.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"

#include <QHash>

namespace {

const QString NotAvailable = QStringLiteral("N/A");

bool filled(const std::optional<QString> &cell)
{
    return cell && !cell->isEmpty();
}

} // namespace

void DeviceTable::addReply(const QByteArray &datagram)
{
    const quint32 messageId = MessageHeader::messageIdOf(datagram);
    if (messageId != NetworkConfigReply && messageId != DeviceInfoReply)
        return;
    const bool ok = MessageHeader::resultCodeOf(datagram) == Protocol::ResultOk;
    const QString mac = MessageHeader::srcMacOf(datagram);
    int index = findRow(mac);
    if (index < 0) {
        if (rowCount() >= maxRows) {
            turnedAway = true;
            return;
        }
        table.append(Row());
        index = rowCount() - 1;
        rowByMac.insert(mac.toCaseFolded(), index);
    }
    Row &entry = table[index];
    if (messageId == NetworkConfigReply) {
        // The body ends there; what a device sends beyond it is never read.
        entry.configDatagram = datagram.left(Protocol::NetworkConfigDatagramSize);
        const NetworkConfigBody config = NetworkConfigBody::fromDatagram(datagram);
        entry.hostName = ok ? config.hostName : NotAvailable;
        entry.ip = ok ? config.ipAddress : NotAvailable;
        entry.ipConfig = !ok ? NotAvailable : config.isDhcp() ? QStringLiteral("DHCP") : QStringLiteral("static");
    } else {
        const DeviceInfoBody info = DeviceInfoBody::fromDatagram(datagram);
        entry.device = ok ? info.deviceName.left(MaxDeviceNameLength) : NotAvailable;
        entry.firmware = ok ? info.firmware : NotAvailable;
        entry.productType = ok ? info.productType() : 0;
    }
    entry.mac = mac;
    marksValid = false;
}

int DeviceTable::findRow(const QString &mac) const
{
    return rowByMac.value(mac.toCaseFolded(), -1);
}

QList<bool> DeviceTable::conflicts(const QStringList &texts, bool caseFold)
{
    // Per key: how many texts share it, and how many of them are exactly "N/A".
    QHash<QString, std::pair<int, int>> groups;
    const auto keyOf = [caseFold](const QString &text) { return caseFold ? text.toCaseFolded() : text; };
    for (const QString &text : texts) {
        if (text.isEmpty())
            continue;
        auto &group = groups[keyOf(text)];
        ++group.first;
        if (text == NotAvailable)
            ++group.second;
    }
    QList<bool> marks;
    marks.reserve(texts.size());
    for (const QString &text : texts) {
        if (text.isEmpty()) {
            marks.append(false);
            continue;
        }
        const auto group = groups.value(keyOf(text));
        // "N/A" is never looked up itself; a group is marked when one of its other texts finds it.
        marks.append(group.first > 1 && group.first > group.second);
    }
    return marks;
}

void DeviceTable::markConflicts() const
{
    if (marksValid)
        return;
    QStringList ips;
    QStringList hosts;
    for (const Row &entry : table) {
        ips.append(entry.ip.value_or(QString()));
        hosts.append(entry.hostName.value_or(QString()));
    }
    ipMarks = conflicts(ips, false);
    hostMarks = conflicts(hosts, true);
    marksValid = true;
}

bool DeviceTable::ipConflict(int index) const
{
    markConflicts();
    return ipMarks.value(index);
}

bool DeviceTable::hostNameConflict(int index) const
{
    markConflicts();
    return hostMarks.value(index);
}

bool DeviceTable::isComplete(int index) const
{
    const Row &entry = table.at(index);
    return filled(entry.device) && filled(entry.firmware) && filled(entry.hostName) && filled(entry.ip) &&
           filled(entry.ipConfig) && !entry.mac.isEmpty();
}

bool DeviceTable::isExportable(int index) const
{
    const Row &entry = table.at(index);
    return entry.ip && entry.device && !entry.device->startsWith(QLatin1String("Veltra"));
}

ConnectionExport::Entry DeviceTable::exportEntry(int index) const
{
    const Row &entry = table.at(index);
    const QString hostName = entry.hostName.value_or(QString());
    ConnectionExport::Entry result;
    result.host = entry.ipConfig == QLatin1String("DHCP") ? hostName : entry.ip.value_or(QString());
    result.productType = entry.productType.value_or(0);
    result.baseName = hostName;
    return result;
}
