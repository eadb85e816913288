// SPDX-License-Identifier: Apache-2.0
#include "cli/recordtable.h"

#include "model/csvtext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>

namespace {

const QString NoValue = QStringLiteral("-");
const QString ColumnGap = QStringLiteral("  ");

QJsonValue jsonValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
        return value.toInt();
    case QMetaType::QString:
        return value.toString();
    default:
        return QJsonValue(QJsonValue::Null);
    }
}

// Trailing blanks of the last column are left off.
QString joinPadded(const QStringList &cells, const QList<qsizetype> &widths)
{
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            line += ColumnGap;
        line += i + 1 < cells.size() ? cells.at(i).leftJustified(widths.at(i)) : cells.at(i);
    }
    return line;
}

} // namespace

bool RecordTable::parseFormat(const QString &text, Format *format)
{
    if (text == QLatin1String("table"))
        *format = Format::Table;
    else if (text == QLatin1String("json"))
        *format = Format::Json;
    else if (text == QLatin1String("csv"))
        *format = Format::Csv;
    else
        return false;
    return true;
}

QString RecordTable::textCell(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    const QString text = value.isValid() ? value.toString() : QString();
    // An empty cell would leave a gap that reads as a shifted column.
    if (text.isEmpty())
        return NoValue;
    // Line breaks and tabs would break the alignment, escape sequences would reach the terminal.
    return printable(text);
}

QString RecordTable::printable(const QString &text)
{
    const auto isControl = [](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f); };
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString shown;
    shown.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (isControl(c))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString RecordTable::csvCell(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.typeId() == QMetaType::QString)
        return CsvText::textField(value.toString());
    return csvField(value.isValid() ? value.toString() : QString());
}

QString RecordTable::csvField(const QString &text)
{
    return CsvText::field(text);
}

QByteArray RecordTable::toText() const
{
    QList<QStringList> lines;
    QStringList header;
    for (const QString &key : keys)
        header.append(key.toUpper());
    lines.append(header);
    for (const QVariantList &row : rows) {
        QStringList cells;
        for (qsizetype i = 0; i < keys.size(); ++i)
            cells.append(textCell(row.value(i)));
        lines.append(cells);
    }
    QList<qsizetype> widths(keys.size(), 0);
    for (const QStringList &cells : std::as_const(lines)) {
        for (qsizetype i = 0; i < cells.size(); ++i)
            widths[i] = qMax(widths.at(i), cells.at(i).size());
    }
    QString out;
    for (const QStringList &cells : std::as_const(lines))
        out += joinPadded(cells, widths) + QLatin1Char('\n');
    return out.toUtf8();
}

QByteArray RecordTable::toKeyValueText() const
{
    qsizetype width = 0;
    for (const QString &key : keys)
        width = qMax(width, key.size());
    QString out;
    for (const QVariantList &row : rows) {
        if (!out.isEmpty())
            out += QLatin1Char('\n');
        for (qsizetype i = 0; i < keys.size(); ++i)
            out += keys.at(i).leftJustified(width) + ColumnGap + textCell(row.value(i)) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray RecordTable::csvHeader(const QStringList &keys)
{
    // RFC 4180: CRLF after every record, the header included.
    QStringList header;
    for (const QString &key : keys)
        header.append(csvField(key));
    return (header.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
}

QByteArray RecordTable::csvRow(const QVariantList &values)
{
    QStringList cells;
    for (const QVariant &value : values)
        cells.append(csvCell(value));
    return (cells.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
}

QByteArray RecordTable::toCsv() const
{
    QByteArray out = csvHeader(keys);
    for (const QVariantList &row : rows) {
        QVariantList values = row;
        values.resize(keys.size());
        out += csvRow(values);
    }
    return out;
}

QByteArray RecordTable::toJson() const
{
    QJsonArray array;
    for (const QVariantList &row : rows) {
        QJsonObject object;
        for (qsizetype i = 0; i < keys.size(); ++i)
            object.insert(keys.at(i), jsonValue(row.value(i)));
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QByteArray RecordTable::render(Format format) const
{
    switch (format) {
    case Format::Json:
        return toJson();
    case Format::Csv:
        return toCsv();
    case Format::Table:
        break;
    }
    return toText();
}
