#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

class DeviceTable;

// Everything the replies of one device told, as veltra-find prints it. Texts are as the device
// table shows them ("N/A" after a failed reply); fields the replies have not filled are empty.
struct DeviceRecord
{
    QString interfaceName; // with --all-interfaces only
    QString device;
    QString firmware;
    std::optional<int> productType; // from the information reply
    QString hostName;
    QString ipConfig; // "DHCP", "static", "N/A" or empty
    QString ip;
    QString mask;
    QString gateway;
    QString domain;
    QString dns1;
    QString dns2;
    QString mac;
    std::optional<int> protocolVersion; // from the configuration reply
    bool ipConflict = false;
    bool hostNameConflict = false;
    bool complete = false;

    // The record of one row: texts, conflict marks and completeness by the device table's rules;
    // the addresses the table does not show come from the kept configuration reply.
    static DeviceRecord fromTable(const DeviceTable &table, int row);

    // Column keys in output order, as JSON keys and CSV header; "interface" leads when asked for.
    static QStringList keys(bool withInterface);
    // The value under `key`: QString, int, bool, or an invalid QVariant for "no value".
    QVariant value(const QString &key) const;
};
