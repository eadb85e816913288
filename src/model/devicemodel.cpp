// SPDX-License-Identifier: Apache-2.0
#include "model/devicemodel.h"

#include "model/devicestate.h"
#include "protocol/deviceinfobody.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"
#include "settings/credentialstore.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>

namespace {

const QString NotAvailable = QStringLiteral("N/A");
const QString AbsentAddress = QStringLiteral("0.0.0.0");

QString macKey(const QString &macAddress)
{
    return macAddress.toCaseFolded();
}

qint64 monotonicNow()
{
    static const QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return started.elapsed();
}

// A time stamp of the monotonic clock kept in a row, if there is one.
std::optional<qint64> stampOf(const QStandardItem *item, int role)
{
    const QVariant value = item->data(role);
    return value.isValid() ? std::optional<qint64>(value.toLongLong()) : std::nullopt;
}

// A cell that a reply filled holds a value even when the text is empty; only a cell that no reply
// reached has none.
bool hasValue(const QStandardItem *item)
{
    return item && item->data(Qt::DisplayRole).isValid();
}

bool hasText(const QStandardItem *item, const QString &text)
{
    return hasValue(item) && item->text() == text;
}

// Icons are made only under a GUI application: veltra-find runs the model under a core
// application, where an icon cannot be drawn and making one only prints warnings.
QIcon cellIcon(const QString &path)
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QIcon(path) : QIcon();
}

void setTextIfChanged(QStandardItem *item, const QString &text)
{
    if (!hasText(item, text))
        item->setText(text);
}

void setDataIfChanged(QStandardItem *item, const QVariant &value, int role)
{
    if (item->data(role) != value)
        item->setData(value, role);
}

} // namespace

DeviceModel::DeviceModel(QObject *parent)
    : QStandardItemModel(parent), timeoutTimer(new QTimer(this)), clock(&monotonicNow)
{
    setHorizontalHeaderLabels({tr("Device"), tr("Firmware"), tr("Hostname"), tr("IP Address"), tr("IP config."),
                               tr("MAC Address"), tr("Status")});
    timeoutTimer->setInterval(TimerInterval);
    connect(timeoutTimer, &QTimer::timeout, this, &DeviceModel::onTimeout);

    // Rows leave the table only all together when a scan clears it; keep the lookups in step.
    connect(this, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                if (!parent.isValid())
                    untrackRows(first, last);
            });
    connect(this, &QAbstractItemModel::modelAboutToBeReset, this, [this] { resetIndexes(); });
}

void DeviceModel::setClock(Clock newClock)
{
    clock = newClock ? std::move(newClock) : Clock(&monotonicNow);
}

int DeviceModel::findRowByMac(const QString &macAddress) const
{
    const QStandardItem *macItem = rowByMac.value(macKey(macAddress));
    return macItem ? macItem->row() : -1;
}

QStandardItem *DeviceModel::macItemExact(const QString &macAddress) const
{
    QStandardItem *macItem = rowByMac.value(macKey(macAddress));
    return macItem && macItem->text() == macAddress ? macItem : nullptr;
}

void DeviceModel::setDeviceState(const QString &macAddress, const DeviceState &state)
{
    const int row = findRowByMac(macAddress);
    if (row < 0)
        return;
    setDataIfChanged(item(row, MacAddressColumn), state.stateId(), StateIdRole);
    QStandardItem *status = item(row, StatusColumn);
    const QString text = state.statusText();
    // Every state has its own text, so an unchanged text means an unchanged icon.
    if (status->text() == text && status->data(Qt::DisplayRole).isValid())
        return;
    status->setText(text);
    // Without a GUI application there are no icons: the cell keeps no role for one.
    const QIcon icon = cellIcon(state.iconPath());
    if (!icon.isNull() || status->data(Qt::DecorationRole).isValid())
        status->setIcon(icon);
}

void DeviceModel::updateDevice(const QByteArray &datagram)
{
    updateDevice(MessageHeader::fromDatagram(datagram), datagram);
}

void DeviceModel::updateDevice(const MessageHeader &header, const QByteArray &datagram)
{
    const bool ok = header.resultCode == Protocol::ResultOk;
    const QString &mac = header.srcMacAddr;
    const quint32 messageId = header.messageId;

    const int row = findRowByMac(mac);
    if (row < 0 && rowCount() >= deviceLimit) {
        // Far more devices than any broadcast domain holds: a flood of made-up ones, which must not
        // take the memory of the host.
        if (!limitReported) {
            limitReported = true;
            qDebug() << "DeviceModel: more than" << deviceLimit << "devices answered; further devices are ignored";
            emit deviceLimitReached(deviceLimit);
        }
        return;
    }
    if (row >= 0 && !replyChangesRow(row, header, datagram)) {
        // The same reply again (a scan that asked twice): the row stays as it is, where it is,
        // without being taken out and put back, which costs the views and the window a lot with
        // thousands of rows. The stored configuration is the newest one all the same.
        if (messageId == NetworkConfigReply)
            setDataIfChanged(item(row, MacAddressColumn), datagram.left(Protocol::NetworkConfigDatagramSize),
                             ConfigDatagramRole);
        if (ok)
            setDeviceState(mac, NormalState());
        else
            setDeviceState(mac, RequestFailedState());
        return;
    }
    QList<QStandardItem *> items;
    int insertAt = row;
    if (row < 0) {
        for (int column = 0; column < columnCount(); ++column)
            items.append(new QStandardItem);
        insertAt = rowCount();
    } else {
        reinserting = true;
        items = takeRow(row);
        reinserting = false;
    }

    QStandardItem *macItem = items.at(MacAddressColumn);
    if (messageId == NetworkConfigReply) {
        // The reply's fields end within its first bytes; the rest of a longer datagram is kept by no one.
        setDataIfChanged(macItem, datagram.left(Protocol::NetworkConfigDatagramSize), ConfigDatagramRole);
        const NetworkConfigBody config = NetworkConfigBody::fromDatagram(datagram);
        setCellText(hostIndex, items.at(HostnameColumn), ok ? config.hostName : NotAvailable, true);
        setCellText(ipIndex, items.at(IpAddressColumn), ok ? config.ipAddress : NotAvailable, false);
        const QString ipConfig = config.isDhcp() ? QStringLiteral("DHCP") : QStringLiteral("static");
        setTextIfChanged(items.at(IpConfigColumn), ok ? ipConfig : NotAvailable);
    } else {
        const DeviceInfoBody info = DeviceInfoBody::fromDatagram(datagram);
        setTextIfChanged(items.at(DeviceColumn), ok ? info.deviceName : NotAvailable);
        setTextIfChanged(items.at(FirmwareColumn), ok ? info.firmware : NotAvailable);
        setDataIfChanged(macItem, ok ? info.productType() : 0, ProductTypeRole);
    }
    setTextIfChanged(macItem, mac);

    insertRow(insertAt, items);
    if (row < 0)
        rowByMac.insert(macKey(mac), macItem);

    if (ok)
        setDeviceState(mac, NormalState());
    else
        setDeviceState(mac, RequestFailedState());
    // A failed reply takes the row's texts out of their groups too: the marks follow at once.
    markConflicts();
}

bool DeviceModel::replyChangesRow(int row, const MessageHeader &header, const QByteArray &datagram) const
{
    const bool ok = header.resultCode == Protocol::ResultOk;
    if (item(row, MacAddressColumn)->text() != header.srcMacAddr)
        return true;
    if (header.messageId == NetworkConfigReply) {
        const NetworkConfigBody config = NetworkConfigBody::fromDatagram(datagram);
        const QString ipConfig = config.isDhcp() ? QStringLiteral("DHCP") : QStringLiteral("static");
        return !hasText(item(row, HostnameColumn), ok ? config.hostName : NotAvailable) ||
               !hasText(item(row, IpAddressColumn), ok ? config.ipAddress : NotAvailable) ||
               !hasText(item(row, IpConfigColumn), ok ? ipConfig : NotAvailable);
    }
    const DeviceInfoBody info = DeviceInfoBody::fromDatagram(datagram);
    return !hasText(item(row, DeviceColumn), ok ? info.deviceName : NotAvailable) ||
           !hasText(item(row, FirmwareColumn), ok ? info.firmware : NotAvailable) ||
           item(row, MacAddressColumn)->data(ProductTypeRole) != QVariant(ok ? info.productType() : 0);
}

// The marks come out as if every row's IP text were looked up exactly and every host name without
// regard to case, all marks cleared first and every group of two or more set again; only the
// groups whose members changed since the last run are looked at.
void DeviceModel::markConflicts()
{
    applyMarks(ipIndex, false, tr("IP conflict!"));
    applyMarks(hostIndex, true, tr("Hostname conflict!"));
}

const QIcon &DeviceModel::conflictIcon()
{
    if (warningIcon.isNull())
        warningIcon = cellIcon(QStringLiteral(":/warning"));
    return warningIcon;
}

bool DeviceModel::conflicting(const QString &key, const Group &group, bool caseFold)
{
    if (key.isEmpty() || group.members.size() < 2)
        return false;
    // "N/A" is never looked up itself, but a host name such as "n/a" finds it. "0.0.0.0" is no
    // address: devices still waiting for a DHCP lease all show it.
    return caseFold ? group.members.size() > group.notAvailable : key != NotAvailable && key != AbsentAddress;
}

bool DeviceModel::hasConflict(int row, int column) const
{
    const bool caseFold = column == HostnameColumn;
    const ConflictIndex &index = caseFold ? hostIndex : ipIndex;
    const auto key = index.keyOf.constFind(item(row, column));
    if (key == index.keyOf.cend())
        return false;
    const auto group = index.groups.constFind(*key);
    return group != index.groups.cend() && conflicting(*key, *group, caseFold);
}

void DeviceModel::applyMarks(ConflictIndex &index, bool caseFold, const QString &toolTip)
{
    const auto setMark = [this, &toolTip](QStandardItem *cell, bool marked) {
        if (!cell->toolTip().isEmpty() == marked)
            return;
        cell->setIcon(marked ? conflictIcon() : QIcon());
        cell->setToolTip(marked ? toolTip : QString());
        // Screen readers announce neither icons nor tool tips of cells; the description they do.
        cell->setData(marked ? QVariant(toolTip) : QVariant(), Qt::AccessibleDescriptionRole);
    };

    for (const QString &key : std::as_const(index.dirtyKeys)) {
        const auto group = index.groups.find(key);
        if (group == index.groups.end())
            continue;
        const bool marked = conflicting(key, *group, caseFold);
        if (marked == group->marked)
            continue;
        group->marked = marked;
        for (QStandardItem *cell : std::as_const(group->members))
            setMark(cell, marked);
    }
    for (QStandardItem *cell : std::as_const(index.dirtyCells)) {
        const auto key = index.keyOf.constFind(cell);
        const auto group = key != index.keyOf.cend() ? index.groups.constFind(*key) : index.groups.cend();
        setMark(cell, group != index.groups.cend() && group->marked);
    }
    index.dirtyKeys.clear();
    index.dirtyCells.clear();
}

void DeviceModel::setCellText(ConflictIndex &index, QStandardItem *cell, const QString &text, bool caseFold)
{
    if (hasText(cell, text) && (text.isEmpty() || index.keyOf.contains(cell)))
        return;
    untrackCell(index, cell);
    cell->setText(text);
    const QString key = caseFold ? text.toCaseFolded() : text;
    if (!key.isEmpty()) {
        Group &group = index.groups[key];
        group.members.append(cell);
        if (text == NotAvailable)
            ++group.notAvailable;
        index.keyOf.insert(cell, key);
        index.dirtyKeys.insert(key);
    }
    index.dirtyCells.insert(cell);
}

void DeviceModel::untrackCell(ConflictIndex &index, QStandardItem *cell)
{
    const auto key = index.keyOf.constFind(cell);
    if (key == index.keyOf.cend())
        return;
    const auto group = index.groups.find(*key);
    if (group != index.groups.end()) {
        group->members.removeOne(cell);
        if (cell->text() == NotAvailable)
            --group->notAvailable;
        if (group->members.isEmpty())
            index.groups.erase(group);
    }
    index.dirtyKeys.insert(*key);
    index.keyOf.erase(key);
}

void DeviceModel::untrackRows(int first, int last)
{
    if (reinserting)
        return;
    if (first == 0 && last == rowCount() - 1) {
        resetIndexes();
        return;
    }
    for (int row = first; row <= last; ++row) {
        if (QStandardItem *macItem = item(row, MacAddressColumn)) {
            const auto it = rowByMac.constFind(macKey(macItem->text()));
            if (it != rowByMac.cend() && *it == macItem)
                rowByMac.erase(it);
        }
        forgetCell(ipIndex, item(row, IpAddressColumn));
        forgetCell(hostIndex, item(row, HostnameColumn));
    }
}

void DeviceModel::forgetCell(ConflictIndex &index, QStandardItem *cell)
{
    if (!cell)
        return;
    untrackCell(index, cell);
    index.dirtyCells.remove(cell); // about to be deleted
}

void DeviceModel::resetIndexes()
{
    rowByMac.clear();
    limitReported = false;
    ipIndex = ConflictIndex();
    hostIndex = ConflictIndex();
}

bool DeviceModel::isComplete(int row) const
{
    // A cell is missing only when no reply filled it: a device may well have an empty host name.
    for (int column = DeviceColumn; column <= MacAddressColumn; ++column) {
        if (!hasValue(item(row, column)))
            return false;
    }
    return true;
}

bool DeviceModel::hasDeviceInfo(int row) const
{
    return hasValue(item(row, DeviceColumn)) && hasValue(item(row, FirmwareColumn));
}

bool DeviceModel::hasNetworkConfig(int row) const
{
    return hasValue(item(row, HostnameColumn)) && hasValue(item(row, IpAddressColumn)) &&
           hasValue(item(row, IpConfigColumn));
}

QVariantMap DeviceModel::rowValues(int row) const
{
    QVariantMap values;
    const auto addText = [&](const QString &key, int column) {
        if (const QStandardItem *cell = item(row, column); hasValue(cell))
            values.insert(key, cell->text());
    };
    addText(QStringLiteral("device"), DeviceColumn);
    addText(QStringLiteral("firmware"), FirmwareColumn);
    const QStandardItem *macItem = item(row, MacAddressColumn);
    // Set by the device-information reply only.
    if (const QVariant productType = macItem->data(ProductTypeRole); productType.isValid())
        values.insert(QStringLiteral("productType"), productType.toInt());
    addText(QStringLiteral("hostname"), HostnameColumn);
    addText(QStringLiteral("ipConfig"), IpConfigColumn);
    addText(QStringLiteral("ip"), IpAddressColumn);

    const QByteArray datagram = macItem->data(ConfigDatagramRole).toByteArray();
    if (!datagram.isEmpty()) {
        const MessageHeader header = MessageHeader::fromDatagram(datagram);
        // A failed reply's body is not read; the cells show "N/A" for it already.
        if (header.resultCode == Protocol::ResultOk) {
            const NetworkConfigBody config = NetworkConfigBody::fromDatagram(datagram);
            values.insert(QStringLiteral("mask"), config.subnetMask);
            values.insert(QStringLiteral("gateway"), config.gateway);
            values.insert(QStringLiteral("domain"), config.domain);
            values.insert(QStringLiteral("dns1"), config.primaryDns);
            values.insert(QStringLiteral("dns2"), config.secondaryDns);
        }
        values.insert(QStringLiteral("protocolVersion"), int(header.protocolVersion));
    }
    return values;
}

bool DeviceModel::isExportable(int row) const
{
    const QStandardItem *device = item(row, DeviceColumn);
    return hasValue(item(row, IpAddressColumn)) && hasValue(device) &&
           !device->text().startsWith(QLatin1String("Veltra"));
}

ConnectionExport::Entry DeviceModel::exportEntry(int row) const
{
    const QString hostName = item(row, HostnameColumn)->text();
    const bool dhcp = item(row, IpConfigColumn)->text() == QLatin1String("DHCP");
    return {dhcp ? hostName : item(row, IpAddressColumn)->text(),
            item(row, MacAddressColumn)->data(ProductTypeRole).toInt(), hostName};
}

void DeviceModel::saveLoginData()
{
    CredentialStore::saveLoginData(pendingLogin);
}

void DeviceModel::setTimeStamp(const QStringList &macAddresses, int role)
{
    const qint64 now = clock();
    for (const QString &mac : macAddresses) {
        if (QStandardItem *macItem = macItemExact(mac))
            macItem->setData(now, role);
    }
    timeoutTimer->start();
}

void DeviceModel::clearRequestTime(const QString &macAddress)
{
    QStandardItem *macItem = macItemExact(macAddress);
    if (macItem && macItem->data(RequestTimeRole).isValid())
        macItem->setData(QVariant(), RequestTimeRole);
}

void DeviceModel::onDeviceRequestSent(int messageId, const QString &macAddress)
{
    switch (messageId) {
    case RestartNetwork:
        setDeviceState(macAddress, NetRestartState());
        break;
    case GetNetworkConfig:
        setTimeStamp({macAddress}, RequestTimeRole);
        break;
    case SetNetworkConfig:
    case SetNetworkConfigAuth:
        pendingChanges.insert(macKey(macAddress), {quint32(messageId), clock(), {}});
        // An authenticated change shows its progress and times out like a plain one.
        setTimeStamp({macAddress}, RequestTimeRole);
        setDeviceState(macAddress, SettingState());
        break;
    default:
        break;
    }
}

std::optional<DeviceModel::PendingChange> DeviceModel::takePendingChange(const QString &macAddress, quint32 replyId)
{
    const auto pending = pendingChanges.constFind(macKey(macAddress));
    if (pending == pendingChanges.cend() || pending->messageId + 1 != replyId)
        return std::nullopt;
    const PendingChange change = *pending;
    pendingChanges.erase(pending);
    if (clock() - change.sent > ChangeAnswerWindow)
        return std::nullopt;
    return change;
}

void DeviceModel::noteCredentialsSent(const QString &macAddress, const QStringList &credentials)
{
    const auto pending = pendingChanges.find(macKey(macAddress));
    if (pending != pendingChanges.end())
        pending->credentials = credentials;
}

void DeviceModel::onDeviceReplyReceived(const QByteArray &datagram)
{
    const MessageHeader header = MessageHeader::fromDatagram(datagram);
    const QString &mac = header.srcMacAddr;
    std::optional<PendingChange> change;
    if (header.messageId == SetNetworkConfigReply || header.messageId == SetNetworkConfigAuthReply) {
        // Anyone on the network can send a configuration answer: one that answers no request of
        // ours must neither restart a device nor touch its stored credentials.
        change = takePendingChange(mac, header.messageId);
        if (!change) {
            qDebug() << "DeviceModel: dropped a configuration answer from" << mac << "that answers no request";
            return;
        }
    }
    clearRequestTime(mac); // any reply ends the device's answer time-out

    switch (header.messageId) {
    case NetworkConfigReply:
        if (QStandardItem *macItem = macItemExact(mac))
            macItem->setData(QVariant(), RereadsLeftRole);
        updateDevice(header, datagram);
        emit configurationRead(mac, datagram);
        return;
    case DeviceInfoReply:
        updateDevice(header, datagram);
        return;
    case SetNetworkConfigAuthReply:
        if (header.resultCode == Protocol::ResultOk && !pendingLogin.isEmpty() && pendingLogin.first() == mac)
            saveLoginData();
        pendingLogin.clear();
        onAnswer(header, *change);
        return;
    case SetNetworkConfigReply:
        onAnswer(header, *change);
        return;
    default:
        return;
    }
}

void DeviceModel::onAnswer(const MessageHeader &header, const PendingChange &change)
{
    const QString &mac = header.srcMacAddr;
    if (header.resultCode == Protocol::ResultOk) {
        emit sendRestartNetwork(mac);
        setTimeStamp({mac}, RestartTimeRole);
        if (QStandardItem *macItem = macItemExact(mac))
            macItem->setData(RereadRetries, RereadsLeftRole);
    } else if (header.resultCode == Protocol::AuthorizationFailed) {
        // Wrong stored credentials are used once and then forgotten; stored ones that were not
        // what the device refused stay.
        const QStringList stored = CredentialStore::loadLoginData(mac);
        const bool refusedStored = change.credentials.isEmpty() || stored.isEmpty() || stored == change.credentials;
        if (refusedStored && CredentialStore::remove(mac))
            setDeviceState(mac, SavedAuthorizationFailedState());
        else
            setDeviceState(mac, AuthorizationFailedState());
    } else {
        setDeviceState(mac, RequestFailedState());
    }
    emit configurationAnswered(mac, header.resultCode);
}

void DeviceModel::setInterfaceColumn(bool shown)
{
    if (shown == hasInterfaceColumn())
        return;
    if (!shown) {
        removeColumn(InterfaceColumn);
        return;
    }
    insertColumns(InterfaceColumn, 1);
    for (int row = 0; row < rowCount(); ++row)
        setItem(row, InterfaceColumn, new QStandardItem);
    setHorizontalHeaderItem(InterfaceColumn, new QStandardItem(tr("Interface")));
}

void DeviceModel::setDeviceInterface(const QString &macAddress, const QString &interfaceName)
{
    const int row = findRowByMac(macAddress);
    if (row >= 0 && hasInterfaceColumn())
        setTextIfChanged(item(row, InterfaceColumn), interfaceName);
}

void DeviceModel::onTimeout()
{
    const qint64 now = clock();
    bool pending = false;
    for (int row = 0; row < rowCount(); ++row) {
        QStandardItem *macItem = item(row, MacAddressColumn);
        if (!macItem)
            continue;
        if (const auto requestTime = stampOf(macItem, RequestTimeRole)) {
            pending = true;
            if (now - *requestTime > AnswerTimeout) {
                macItem->setData(QVariant(), RequestTimeRole);
                const int rereadsLeft = macItem->data(RereadsLeftRole).toInt();
                if (rereadsLeft > 0) {
                    // A reading after a restart went unanswered: the device may still be coming
                    // back. The next reading goes out RestartDelay after this one.
                    macItem->setData(rereadsLeft - 1, RereadsLeftRole);
                    macItem->setData(*requestTime, RestartTimeRole);
                } else {
                    setDeviceState(macItem->text(), NotRespondingState());
                    // Credentials waiting for a success that will not come are not kept for a later one.
                    if (!pendingLogin.isEmpty() && pendingLogin.first() == macItem->text())
                        pendingLogin.clear();
                    emit deviceNotResponding(macItem->text());
                }
            }
        }
        if (const auto restartTime = stampOf(macItem, RestartTimeRole)) {
            pending = true;
            if (now - *restartTime > RestartDelay) {
                macItem->setData(QVariant(), RestartTimeRole);
                emit sendGetEthConfiguration(macItem->text());
            }
        }
    }
    if (!pending)
        timeoutTimer->stop();
}
