// SPDX-License-Identifier: Apache-2.0
#include "model/deviceplan.h"

#include "model/csvtext.h"
#include "model/devicemodel.h"
#include "protocol/messageheader.h"

#include <QStringDecoder>

namespace {

const QLatin1String DhcpText("DHCP");
const QLatin1String StaticText("static");

enum class Read { Record, End, Malformed };

// Reads the CSV record at *pos and moves *pos past its line end; *line counts the line ends passed,
// those within quoted fields too. A quote out of place makes the rest of the text unreadable.
Read readRecord(const QString &text, qsizetype *pos, int *line, QStringList *fields, QString *error)
{
    fields->clear();
    if (*pos >= text.size())
        return Read::End;
    QString field;
    bool quoted = false; // within a quoted field
    bool closed = false; // after a quoted field's closing quote
    const qsizetype size = text.size();
    for (qsizetype i = *pos; i < size; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < size && text.at(i + 1) == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
                closed = true;
            } else {
                if (c == QLatin1Char('\n'))
                    ++*line;
                field += c;
            }
        } else if (c == QLatin1Char(',')) {
            fields->append(field);
            field.clear();
            closed = false;
        } else if (c == QLatin1Char('\n') ||
                   (c == QLatin1Char('\r') && (i + 1 == size || text.at(i + 1) == QLatin1Char('\n')))) {
            fields->append(field);
            *pos = c == QLatin1Char('\n') ? i + 1 : i + 2; // past the end for a last lone CR
            ++*line;
            return Read::Record;
        } else if (closed) {
            *error = DevicePlan::tr("text after the closing quote of a field");
            return Read::Malformed;
        } else if (c == QLatin1Char('"')) {
            if (!field.isEmpty()) {
                *error = DevicePlan::tr("a quote within a field that does not start with one");
                return Read::Malformed;
            }
            quoted = true;
        } else {
            field += c;
        }
    }
    if (quoted) {
        *error = DevicePlan::tr("a quoted field is not closed");
        return Read::Malformed;
    }
    fields->append(field);
    *pos = size;
    return Read::Record;
}

// The line of the first byte that is not UTF-8, for the message.
int firstUndecodableLine(const QByteArray &csv)
{
    const QList<QByteArray> lines = csv.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString decoded = decoder(lines.at(i));
        if (decoder.hasError())
            return i + 1;
    }
    return 1;
}

} // namespace

bool operator==(const DevicePlan::Row &a, const DevicePlan::Row &b)
{
    return a.mac == b.mac && a.hostName == b.hostName && a.config == b.config && a.ip == b.ip && a.mask == b.mask &&
           a.gateway == b.gateway && a.domain == b.domain && a.dns1 == b.dns1 && a.dns2 == b.dns2;
}

bool operator==(const DevicePlan::Problem &a, const DevicePlan::Problem &b)
{
    return a.row == b.row && a.line == b.line && a.field == b.field && a.message == b.message;
}

QString DevicePlan::Problem::toString() const
{
    QString place;
    if (line > 0 && row > 0)
        place = DevicePlan::tr("line %1 (row %2)").arg(line).arg(row);
    else if (line > 0)
        place = DevicePlan::tr("line %1").arg(line);
    else if (row > 0)
        place = DevicePlan::tr("row %1").arg(row);
    if (!field.isEmpty())
        place += (place.isEmpty() ? QString() : QStringLiteral(", ")) + field;
    return place.isEmpty() ? message : place + QStringLiteral(": ") + message;
}

QStringList DevicePlan::fieldNames()
{
    return {QStringLiteral("mac"),    QStringLiteral("hostname"), QStringLiteral("config"),
            QStringLiteral("ip"),     QStringLiteral("mask"),     QStringLiteral("gateway"),
            QStringLiteral("domain"), QStringLiteral("dns1"),     QStringLiteral("dns2")};
}

DevicePlan::Config DevicePlan::configOf(const QString &text)
{
    if (text.isEmpty())
        return Config::Keep;
    if (text.compare(DhcpText, Qt::CaseInsensitive) == 0)
        return Config::Dhcp;
    if (text.compare(StaticText, Qt::CaseInsensitive) == 0)
        return Config::Static;
    return Config::Unknown;
}

DevicePlan DevicePlan::fromCsv(const QByteArray &csv, QList<Problem> *problems)
{
    QList<Problem> found;
    const auto done = [&found, problems](DevicePlan plan) {
        if (problems)
            *problems = found;
        return found.isEmpty() ? plan : DevicePlan();
    };
    if (csv.size() > MaxCsvBytes) {
        found.append({0, 0, QString(), DevicePlan::tr("larger than %1 MiB").arg(MaxCsvBytes / (1024 * 1024))});
        return done({});
    }
    QStringDecoder decoder(QStringDecoder::Utf8); // skips a leading byte order mark
    const QString text = decoder(csv);
    if (decoder.hasError()) {
        found.append({0, firstUndecodableLine(csv), QString(), DevicePlan::tr("not UTF-8 text")});
        return done({});
    }

    DevicePlan plan;
    const QStringList names = fieldNames();
    qsizetype pos = 0;
    int line = 1;
    bool header = true;
    int records = 0; // rows read, the refused ones too
    QStringList fields;
    QString error;
    for (;;) {
        const int start = line;
        const Read read = readRecord(text, &pos, &line, &fields, &error);
        if (read == Read::End)
            break;
        if (read == Read::Malformed) {
            found.append({0, start, QString(), error});
            break;
        }
        if (fields.size() == 1 && fields.first().isEmpty())
            continue; // an empty line
        if (header) {
            header = false;
            if (fields != names) {
                found.append({0, start, QString(),
                              DevicePlan::tr("the first line must be \"%1\"").arg(names.join(QLatin1Char(',')))});
                break;
            }
            continue;
        }
        if (records == MaxRows) {
            found.append({0, start, QString(), DevicePlan::tr("more than %1 rows").arg(MaxRows)});
            break;
        }
        const int row = ++records;
        if (fields.size() != names.size()) {
            found.append(
                {row, start, QString(), DevicePlan::tr("%1 fields, expected %2").arg(fields.size()).arg(names.size())});
            continue;
        }
        Row planRow{fields.at(0), fields.at(1), fields.at(2), fields.at(3), fields.at(4),
                    fields.at(5), fields.at(6), fields.at(7), fields.at(8)};
        switch (configOf(planRow.config)) {
        case Config::Dhcp:
            planRow.config = DhcpText;
            break;
        case Config::Static:
            planRow.config = StaticText;
            break;
        case Config::Unknown:
            found.append({row, start, QStringLiteral("config"),
                          DevicePlan::tr("\"%1\" is neither DHCP nor static").arg(planRow.config)});
            break;
        case Config::Keep:
            break;
        }
        plan.planRows.append(planRow);
        plan.csvLines.append(start);
    }
    if (header && found.isEmpty())
        found.append({0, 1, QString(), DevicePlan::tr("no header line")});
    return done(plan);
}

QByteArray DevicePlan::toCsv() const
{
    QString text = CsvText::line(fieldNames());
    for (const Row &row : planRows)
        text += CsvText::line(
            {row.mac, row.hostName, row.config, row.ip, row.mask, row.gateway, row.domain, row.dns1, row.dns2});
    return text.toUtf8();
}

std::optional<NetworkConfigBody> DevicePlan::currentConfig(const DeviceModel &model, const QString &mac)
{
    const int row = model.findRowByMac(mac);
    if (row < 0)
        return std::nullopt;
    const QByteArray datagram =
        model.item(row, DeviceModel::MacAddressColumn)->data(DeviceModel::ConfigDatagramRole).toByteArray();
    // A refused reading carries no configuration worth keeping.
    if (datagram.isEmpty() || MessageHeader::resultCodeOf(datagram) != Protocol::ResultOk)
        return std::nullopt;
    return NetworkConfigBody::fromDatagram(datagram);
}

NetworkConfigBody DevicePlan::valuesToSend(const Row &row, const NetworkConfigBody &current)
{
    NetworkConfigBody values = current;
    const auto put = [](QString *value, const QString &cell) {
        if (!cell.isEmpty())
            *value = cell;
    };
    put(&values.hostName, row.hostName);
    put(&values.ipAddress, row.ip);
    put(&values.subnetMask, row.mask);
    put(&values.gateway, row.gateway);
    put(&values.domain, row.domain);
    put(&values.primaryDns, row.dns1);
    put(&values.secondaryDns, row.dns2);
    const Config config = configOf(row.config);
    // Any flag other than "1" is static; the request carries the one the dialog sends.
    values.ipConfig =
        NetworkConfigBody::ipConfigText(config == Config::Dhcp || (config != Config::Static && current.isDhcp()));
    return values;
}
