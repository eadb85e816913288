// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "protocol/networkconfigbody.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class DeviceModel;

// The network configuration of many devices at once, one row per device. An empty cell keeps what
// the device has now, so a plan only says what changes. Plans travel as CSV with the header
// "mac,hostname,config,ip,mask,gateway,domain,dns1,dns2"; PlanMaker makes them, PlanCheck judges
// them before anything is sent.
class DevicePlan
{
    // The window shows the problems in its language; veltra-find loads no translation and stays English.
    Q_DECLARE_TR_FUNCTIONS(DevicePlan)

public:
    struct Row
    {
        QString mac; // matched without regard to letter case
        QString hostName;
        QString config; // "DHCP", "static" or empty
        QString ip;
        QString mask;
        QString gateway;
        QString domain;
        QString dns1;
        QString dns2;

        friend bool operator==(const Row &a, const Row &b);
    };

    // A refused value. `row` is the 1-based plan row, 0 for the file as a whole; `line` is the CSV
    // line the row starts on when the plan was read from CSV, else 0. `field` is a CSV column name.
    struct Problem
    {
        int row = 0;
        int line = 0;
        QString field;
        QString message;

        // "line 4 (row 3), ip: ..." : one line for a message box or a terminal.
        QString toString() const;
        friend bool operator==(const Problem &a, const Problem &b);
    };

    enum class Config { Keep, Dhcp, Static, Unknown };

    // Bounds of a plan read from CSV, so that a wrong file cannot take the host's memory.
    static constexpr int MaxRows = 65536;
    static constexpr int MaxCsvBytes = 4 * 1024 * 1024;

    DevicePlan() = default;
    explicit DevicePlan(const QList<Row> &rows) : planRows(rows) {}

    const QList<Row> &rows() const { return planRows; }
    // The CSV line row `row` (0-based) starts on; 0 when the plan was not read from CSV.
    int lineOf(int row) const { return row >= 0 && row < csvLines.size() ? csvLines.at(row) : 0; }

    // The CSV column names, in their order.
    static QStringList fieldNames();
    // The config cell's meaning; letter case does not matter.
    static Config configOf(const QString &text);

    // Reads a plan from UTF-8 CSV (RFC 4180, CRLF or LF, a leading BOM skipped, empty lines
    // skipped). A file with any problem gives an empty plan: half a plan is never sent.
    static DevicePlan fromCsv(const QByteArray &csv, QList<Problem> *problems);
    // RFC 4180 with CRLF line ends, the header first.
    QByteArray toCsv() const;

    // The device's configuration as its last reply reported it; nullopt when the table holds no
    // successful configuration reply of it. The values to send are built on it.
    static std::optional<NetworkConfigBody> currentConfig(const DeviceModel &model, const QString &mac);
    // The complete configuration to send for a checked row: `current` with the row's non-empty
    // cells put in. DHCP sends ipConfig "1", static "0"; an empty config keeps the device's mode,
    // a static one sent as "0" whatever flag the device reported.
    static NetworkConfigBody valuesToSend(const Row &row, const NetworkConfigBody &current);

private:
    QList<Row> planRows;
    QList<int> csvLines;
};
