// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QHash>
#include <QIcon>
#include <QSet>
#include <QStandardItemModel>
#include <QStringList>

#include "model/connectionexport.h"
#include "protocol/messageheader.h"

#include <functional>
#include <optional>

class DeviceState;
class QTimer;

// The table of discovered devices, one row per MAC address. Turns the devices' replies into rows,
// marks IP-address and host-name conflicts, shows each device's status and follows the requests
// sent to the devices with their time-outs and follow-up requests.
class DeviceModel : public QStandardItemModel
{
    Q_OBJECT

public:
    enum Column {
        DeviceColumn,
        FirmwareColumn,
        HostnameColumn,
        IpAddressColumn,
        IpConfigColumn,
        MacAddressColumn,
        StatusColumn,
        ColumnCount
    };
    // The network interface a device answered on: after the others, and only while the table lists
    // the devices of every interface at once.
    static constexpr int InterfaceColumn = ColumnCount;
    // Hidden per-device values, all on the MAC Address item.
    enum Role {
        ConfigDatagramRole = Qt::UserRole + 1,
        RequestTimeRole = Qt::UserRole + 2,
        RestartTimeRole = Qt::UserRole + 3,
        StateIdRole = Qt::UserRole + 4,
        ProductTypeRole = Qt::UserRole + 5,
        // How many more times the configuration is read after a restart when a reading gets no
        // answer.
        RereadsLeftRole = Qt::UserRole + 6,
    };

    static constexpr int TimerInterval = 500;
    static constexpr int AnswerTimeout = 3000;
    static constexpr int RestartDelay = 5000;
    // A device that needs longer than usual to come back after its restart is asked this many
    // more times, RestartDelay apart, before it counts as not responding.
    static constexpr int RereadRetries = 2;
    // An answer to a configuration request is acted on only this long after the request: a late
    // answer of a slow device still counts, an answer nobody asked for never does.
    static constexpr int ChangeAnswerWindow = 30000;

    explicit DeviceModel(QObject *parent = nullptr);

    int findRowByMac(const QString &macAddress) const;
    void setDeviceState(const QString &macAddress, const DeviceState &state);
    void updateDevice(const QByteArray &datagram);
    // The credentials that the configuration request just sent to the device carried: a refusal
    // then forgets the stored ones only if they are what was refused.
    void noteCredentialsSent(const QString &macAddress, const QStringList &credentials);
    void markConflicts();
    void saveLoginData();

    // Whether a reply filled every cell of `row` from Device to MAC Address (an empty text counts);
    // a row without one has missed a reply.
    bool isComplete(int row) const;
    // Whether a device information reply, or a configuration reply, has filled the row's cells.
    bool hasDeviceInfo(int row) const;
    bool hasNetworkConfig(int row) const;
    // Whether `row` goes into the connection export: its IP address and device type hold a value
    // (also an empty text that a reply carried) and the type does not start with "Veltra".
    bool isExportable(int row) const;
    // The export entry of `row`: the host is the host name for "DHCP" rows, the IP address otherwise.
    ConnectionExport::Entry exportEntry(int row) const;
    // Whether the text of `row` in `column` (IpAddressColumn or HostnameColumn) conflicts with another
    // row's, by the texts the rows hold now, as the marks show it.
    bool hasConflict(int row, int column) const;
    // The values of `row` under the keys device, firmware, productType, hostname, ipConfig, ip, mask,
    // gateway, domain, dns1, dns2 and protocolVersion: texts as the cells hold them ("N/A" after a
    // failed reply), the hidden addresses from the kept configuration reply, numbers as int. A value
    // no reply gave is absent.
    QVariantMap rowValues(int row) const;

    // Adds the Interface column, or takes it out with its texts.
    void setInterfaceColumn(bool shown);
    bool hasInterfaceColumn() const { return columnCount() > ColumnCount; }
    // The Interface text of the device's row, while there is the column and the row.
    void setDeviceInterface(const QString &macAddress, const QString &interfaceName);

    // Milliseconds on a monotonic clock, which the time-outs are counted in: a change of the
    // time of day (daylight saving, NTP, the user) moves no time-out. Tests put a clock of their
    // own here.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);
    QTimer *timer() const { return timeoutTimer; }
    // At most this many rows are made from one scan's replies; tests use a small number.
    void setDeviceLimit(int limit) { deviceLimit = limit; }
    int maximumDevices() const { return deviceLimit; }

    QStringList pendingLogin;

signals:
    void sendRestartNetwork(const QString &macAddress);
    void sendGetEthConfiguration(const QString &macAddress);
    // Replies of a device that would be a row beyond the limit were dropped; once per table.
    void deviceLimitReached(int limit);
    // The course of a configuration change, for whoever follows it: the device's answer to the
    // request (after the model has acted on it), a configuration reply, and a request of the
    // device's left unanswered.
    void configurationAnswered(const QString &macAddress, quint32 resultCode);
    void configurationRead(const QString &macAddress, const QByteArray &datagram);
    void deviceNotResponding(const QString &macAddress);

public slots:
    void onDeviceRequestSent(int messageId, const QString &macAddress);
    void onDeviceReplyReceived(const QByteArray &datagram);
    void onTimeout();

private:
    // Rows whose Hostname or IP Address texts agree; conflict marks are kept per group, so that a
    // reply costs the same however large the table is.
    struct Group
    {
        QList<QStandardItem *> members; // a few at most, mostly one: a list costs far less than a set
        int notAvailable = 0;           // members whose text is exactly "N/A"
        bool marked = false;            // the mark last applied to the members
    };
    struct ConflictIndex
    {
        QHash<QString, Group> groups;
        QHash<QStandardItem *, QString> keyOf;
        QSet<QString> dirtyKeys;
        QSet<QStandardItem *> dirtyCells;
    };

    // A configuration request sent and not yet answered.
    struct PendingChange
    {
        quint32 messageId = 0;
        qint64 sent = 0;
        QStringList credentials; // as sent; empty when not known
    };

    // The outstanding request that a configuration answer answers, taken out; nullopt for an
    // answer nobody asked for.
    std::optional<PendingChange> takePendingChange(const QString &macAddress, quint32 replyId);
    void updateDevice(const MessageHeader &header, const QByteArray &datagram);
    // Whether applying the reply would change any cell of the row, or the values kept with it.
    bool replyChangesRow(int row, const MessageHeader &header, const QByteArray &datagram) const;
    void onAnswer(const MessageHeader &header, const PendingChange &change);
    void setTimeStamp(const QStringList &macAddresses, int role);
    void clearRequestTime(const QString &macAddress);
    QStandardItem *macItemExact(const QString &macAddress) const;

    void track(QStandardItem *macItem);
    void untrackRows(int first, int last);
    void resetIndexes();
    void setCellText(ConflictIndex &index, QStandardItem *cell, const QString &text, bool caseFold);
    void untrackCell(ConflictIndex &index, QStandardItem *cell);
    void forgetCell(ConflictIndex &index, QStandardItem *cell);
    void applyMarks(ConflictIndex &index, bool caseFold, const QString &toolTip);
    const QIcon &conflictIcon();
    // Whether the members of the group of `key` are marked; host names compare with `caseFold`.
    static bool conflicting(const QString &key, const Group &group, bool caseFold);

    QTimer *timeoutTimer = nullptr;
    Clock clock;

    // The MAC Address item of every row, by case-folded MAC text: MAC texts are unique ignoring case.
    QHash<QString, QStandardItem *> rowByMac;
    ConflictIndex ipIndex;
    ConflictIndex hostIndex;
    bool reinserting = false;                     // updateDevice takes a row out to put it back at once
    QHash<QString, PendingChange> pendingChanges; // by case-folded MAC text
    int deviceLimit = Protocol::MaxDevicesPerScan;
    bool limitReported = false;
    QIcon warningIcon; // made at its first use, and only under a GUI application
};
