#pragma once

#include "model/connectionexport.h"
#include "protocol/messageheader.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The devices of one scan, built from their replies by the desktop table's rules (DeviceModel)
// without its item model, whose status icons want a GUI application. One row per MAC address
// (letter case ignored); a failed reply fills the cells of its kind with "N/A". Bounded whatever
// answers: at most `maxRows` devices, each with a configuration reply of at most
// Protocol::NetworkConfigDatagramSize bytes and a device name of at most MaxDeviceNameLength.
class DeviceTable
{
public:
    static constexpr int MaxDeviceNameLength = 255;

    explicit DeviceTable(int maxRows = Protocol::MaxDevicesPerScan) : maxRows(maxRows) {}

    struct Row
    {
        // A cell holds a value once a reply filled it, also when the reply's text was empty.
        std::optional<QString> device;
        std::optional<QString> firmware;
        std::optional<QString> hostName;
        std::optional<QString> ip;
        std::optional<QString> ipConfig; // "DHCP", "static" or "N/A"
        std::optional<int> productType;  // 0 after a failed information reply
        QString mac;                     // as the last reply wrote it
        // The first NetworkConfigDatagramSize bytes of the last NetworkConfigReply, whatever its
        // result.
        QByteArray configDatagram;
    };

    // NetworkConfigReply (8) and DeviceInfoReply (12) fill their cells; other datagrams are
    // ignored, and so are new devices once the table is full.
    void addReply(const QByteArray &datagram);
    // Whether a device was turned away because the table was full.
    bool turnedAwayDevices() const { return turnedAway; }

    int rowCount() const { return int(table.size()); }
    int rowLimit() const { return maxRows; }
    const Row &row(int index) const { return table.at(index); }
    // The row of `mac` in any letter case, or -1.
    int findRow(const QString &mac) const;

    // Conflict marks as the table sets them: IP texts compared exactly, host names without
    // regard to case; empty cells and "N/A" never conflict with each other, but a host name
    // "n/a" finds "N/A".
    bool ipConflict(int index) const;
    bool hostNameConflict(int index) const;
    // Every cell from Device to MAC Address filled, as the scan's count check wants.
    bool isComplete(int index) const;

    // The desktop's export rule: IP address and device type hold a value and the type does not
    // start with "Veltra".
    bool isExportable(int index) const;
    // Host is the host name for "DHCP" rows, the IP address text otherwise.
    ConnectionExport::Entry exportEntry(int index) const;

    // For each text, whether another text of the list is the same: exactly, or without regard
    // to case with `caseFold`. Empty texts never conflict; "N/A" never finds "N/A".
    static QList<bool> conflicts(const QStringList &texts, bool caseFold);

private:
    void markConflicts() const;

    int maxRows;
    bool turnedAway = false;
    QList<Row> table;
    QHash<QString, int> rowByMac; // case-folded MAC text -> row
    mutable QList<bool> ipMarks;
    mutable QList<bool> hostMarks;
    mutable bool marksValid = false;
};
