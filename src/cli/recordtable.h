// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// Rows of typed values under fixed keys, written as an aligned text table, CSV or JSON. Values
// are QString, int, bool or an invalid QVariant for "no value".
class RecordTable
{
public:
    enum class Format { Table, Json, Csv };

    explicit RecordTable(const QStringList &keys) : keys(keys) {}

    // Parses "table", "json" or "csv".
    static bool parseFormat(const QString &text, Format *format);

    void addRow(const QVariantList &values) { rows.append(values); }
    int rowCount() const { return int(rows.size()); }

    QByteArray toText() const;
    QByteArray toCsv() const;
    // The CSV lines of toCsv() one at a time, for output that goes out row by row.
    static QByteArray csvHeader(const QStringList &keys);
    static QByteArray csvRow(const QVariantList &values);
    QByteArray toJson() const;
    QByteArray render(Format format) const;

    // One record as "key  value" lines, keys aligned: the table form for a single device.
    QByteArray toKeyValueText() const;

    // A CSV field as RFC 4180 wants it: quoted when it holds a comma, a quote or a line break,
    // quotes doubled.
    static QString csvField(const QString &text);

    // A text fit for a terminal: every C0 and C1 control character and DEL written as \xNN, so
    // that a device's text can neither move the cursor nor talk to the terminal.
    static QString printable(const QString &text);

private:
    static QString textCell(const QVariant &value);
    static QString csvCell(const QVariant &value);

    QStringList keys;
    QList<QVariantList> rows;
};
