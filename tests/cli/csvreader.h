// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A small RFC 4180 reader for the tests: records end with CRLF, quoted fields may hold commas,
// doubled quotes and line breaks. Returns no records when the text breaks the rules.
inline QList<QStringList> readCsv(const QString &text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            if (!field.isEmpty() || wasQuoted)
                return {};
            quoted = wasQuoted = true;
        } else if (c == QLatin1Char(',')) {
            record.append(field);
            field.clear();
            wasQuoted = false;
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) {
            record.append(field);
            records.append(record);
            record.clear();
            field.clear();
            wasQuoted = false;
            ++i;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || wasQuoted) {
            return {}; // a bare line break, or text after a closing quote
        } else {
            field += c;
        }
    }
    if (quoted || !record.isEmpty() || !field.isEmpty())
        return {}; // the last record must end with CRLF
    return records;
}
