// SPDX-License-Identifier: Apache-2.0
#include "baselinemodel.h"

#include "model/devicemodel.h"
#include "model/devicestate.h"
#include "protocol/deviceinfobody.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"

#include <QHash>
#include <QIcon>
#include <QTime>

namespace {

const QString NotAvailable = QStringLiteral("N/A");

void setMark(QStandardItem *cell, const QString &toolTip)
{
    cell->setIcon(QIcon(QStringLiteral(":/warning")));
    cell->setToolTip(toolTip);
}

void clearMark(QStandardItem *cell)
{
    cell->setIcon(QIcon());
    cell->setToolTip(QString());
}

} // namespace

BaselineModel::BaselineModel(QObject *parent) : QStandardItemModel(parent)
{
    setHorizontalHeaderLabels({tr("Device"), tr("Firmware"), tr("Hostname"), tr("IP Address"), tr("IP config."),
                               tr("MAC Address"), tr("Status")});
}

int BaselineModel::findRowByMac(const QString &macAddress) const
{
    const QList<QStandardItem *> found = findItems(macAddress, Qt::MatchFixedString, DeviceModel::MacAddressColumn);
    return found.isEmpty() ? -1 : found.first()->row();
}

void BaselineModel::setDeviceState(const QString &macAddress, const DeviceState &state)
{
    const int row = findRowByMac(macAddress);
    if (row < 0)
        return;
    item(row, DeviceModel::MacAddressColumn)->setData(state.stateId(), DeviceModel::StateIdRole);
    QStandardItem *status = item(row, DeviceModel::StatusColumn);
    status->setText(state.statusText());
    status->setIcon(QIcon(state.iconPath()));
}

void BaselineModel::applyReply(QList<QStandardItem *> &items, const QByteArray &datagram)
{
    const bool ok = MessageHeader::resultCodeOf(datagram) == Protocol::ResultOk;
    QStandardItem *macItem = items.at(DeviceModel::MacAddressColumn);
    if (MessageHeader::messageIdOf(datagram) == NetworkConfigReply) {
        macItem->setData(datagram, DeviceModel::ConfigDatagramRole);
        const NetworkConfigBody config = NetworkConfigBody::fromDatagram(datagram);
        items.at(DeviceModel::HostnameColumn)->setText(ok ? config.hostName : NotAvailable);
        items.at(DeviceModel::IpAddressColumn)->setText(ok ? config.ipAddress : NotAvailable);
        const QString ipConfig = config.isDhcp() ? QStringLiteral("DHCP") : QStringLiteral("static");
        items.at(DeviceModel::IpConfigColumn)->setText(ok ? ipConfig : NotAvailable);
    } else {
        const DeviceInfoBody info = DeviceInfoBody::fromDatagram(datagram);
        items.at(DeviceModel::DeviceColumn)->setText(ok ? info.deviceName : NotAvailable);
        items.at(DeviceModel::FirmwareColumn)->setText(ok ? info.firmware : NotAvailable);
        macItem->setData(ok ? info.productType() : 0, DeviceModel::ProductTypeRole);
    }
    macItem->setText(MessageHeader::srcMacOf(datagram));
}

void BaselineModel::updateDevice(const QByteArray &datagram)
{
    const bool ok = MessageHeader::resultCodeOf(datagram) == Protocol::ResultOk;
    const QString mac = MessageHeader::srcMacOf(datagram);

    const int row = findRowByMac(mac);
    QList<QStandardItem *> items;
    int insertAt = row;
    if (row < 0) {
        for (int column = 0; column < DeviceModel::ColumnCount; ++column)
            items.append(new QStandardItem);
        insertAt = rowCount();
    } else {
        items = takeRow(row);
    }
    applyReply(items, datagram);
    insertRow(insertAt, items);

    if (ok) {
        setDeviceState(mac, NormalState());
        markConflicts();
    } else {
        setDeviceState(mac, RequestFailedState());
    }
}

void BaselineModel::markConflicts()
{
    for (int row = 0; row < rowCount(); ++row) {
        clearMark(item(row, DeviceModel::HostnameColumn));
        clearMark(item(row, DeviceModel::IpAddressColumn));
    }
    for (int row = 0; row < rowCount(); ++row) {
        const QString ip = item(row, DeviceModel::IpAddressColumn)->text();
        if (!ip.isEmpty() && ip != NotAvailable) {
            const QList<QStandardItem *> found = findItems(ip, Qt::MatchExactly, DeviceModel::IpAddressColumn);
            if (found.size() > 1) {
                for (QStandardItem *cell : found)
                    setMark(cell, tr("IP conflict!"));
            }
        }
        const QString host = item(row, DeviceModel::HostnameColumn)->text();
        if (!host.isEmpty() && host != NotAvailable) {
            const QList<QStandardItem *> found = findItems(host, Qt::MatchFixedString, DeviceModel::HostnameColumn);
            if (found.size() > 1) {
                for (QStandardItem *cell : found)
                    setMark(cell, tr("Hostname conflict!"));
            }
        }
    }
}

void BaselineModel::clearRequestTime(const QString &macAddress)
{
    for (int row = 0; row < rowCount(); ++row) {
        QStandardItem *macItem = item(row, DeviceModel::MacAddressColumn);
        if (macItem->text() == macAddress) {
            macItem->setData(QTime(), DeviceModel::RequestTimeRole);
            return;
        }
    }
}

void BaselineModel::onDeviceReplyReceived(const QByteArray &datagram)
{
    clearRequestTime(MessageHeader::srcMacOf(datagram));
    const quint32 messageId = MessageHeader::messageIdOf(datagram);
    if (messageId == NetworkConfigReply || messageId == DeviceInfoReply)
        updateDevice(datagram);
}

void BaselineModel::preload(const QList<QByteArray> &replies)
{
    QHash<QString, int> rowOf; // case-folded MAC text
    QList<QList<QStandardItem *>> rows;
    QList<bool> lastOk;
    for (const QByteArray &datagram : replies) {
        const QString key = MessageHeader::srcMacOf(datagram).toCaseFolded();
        auto found = rowOf.constFind(key);
        if (found == rowOf.cend()) {
            QList<QStandardItem *> items;
            for (int column = 0; column < DeviceModel::ColumnCount; ++column)
                items.append(new QStandardItem);
            found = rowOf.insert(key, int(rows.size()));
            rows.append(items);
            lastOk.append(true);
        }
        applyReply(rows[*found], datagram);
        lastOk[*found] = MessageHeader::resultCodeOf(datagram) == Protocol::ResultOk;
    }

    // The marks that the last markConflicts run leaves: every mark cleared (which leaves its empty
    // values in every item, as the searches later find them), then groups of two or more equal
    // texts marked.
    for (const QList<QStandardItem *> &items : std::as_const(rows)) {
        clearMark(items.at(DeviceModel::HostnameColumn));
        clearMark(items.at(DeviceModel::IpAddressColumn));
    }
    QHash<QString, QList<QStandardItem *>> byIp;
    QHash<QString, QList<QStandardItem *>> byHost;
    for (const QList<QStandardItem *> &items : std::as_const(rows)) {
        byIp[items.at(DeviceModel::IpAddressColumn)->text()].append(items.at(DeviceModel::IpAddressColumn));
        byHost[items.at(DeviceModel::HostnameColumn)->text().toCaseFolded()].append(
            items.at(DeviceModel::HostnameColumn));
    }
    for (auto it = byIp.cbegin(); it != byIp.cend(); ++it) {
        if (!it.key().isEmpty() && it.key() != NotAvailable && it->size() > 1) {
            for (QStandardItem *cell : *it)
                setMark(cell, tr("IP conflict!"));
        }
    }
    for (auto it = byHost.cbegin(); it != byHost.cend(); ++it) {
        int looked = 0; // members whose own text is searched for
        for (const QStandardItem *cell : *it)
            looked += cell->text() != NotAvailable ? 1 : 0;
        if (!it.key().isEmpty() && looked > 0 && it->size() > 1) {
            for (QStandardItem *cell : *it)
                setMark(cell, tr("Hostname conflict!"));
        }
    }

    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QList<QStandardItem *> &items = rows.at(i);
        const bool ok = lastOk.at(i);
        const NormalState normal;
        const RequestFailedState failed;
        const DeviceState &state = ok ? static_cast<const DeviceState &>(normal) : failed;
        items.at(DeviceModel::MacAddressColumn)->setData(state.stateId(), DeviceModel::StateIdRole);
        items.at(DeviceModel::StatusColumn)->setText(state.statusText());
        items.at(DeviceModel::StatusColumn)->setIcon(QIcon(state.iconPath()));
        appendRow(items);
    }
}
