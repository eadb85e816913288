// SPDX-License-Identifier: Apache-2.0
// The device model's reply handling: a sequence of datagrams, requests and time-outs of the
// input's choice. After every step the table is held against a plain reading of the replies: one
// row per MAC address (compared without regard to case) in order of first appearance, each cell as
// the device's last reply of its kind set it, and the conflict marks as a full search of the table
// gives them after every reply with result 0 (and unchanged after any other step).
//
// Datagrams are either raw bytes or built from a reply template whose fields the input chooses
// from small pools, so that rows are updated, conflict groups form and break up, and failed
// replies meet marked rows.

#include "fuzzsupport.h"

#include "model/devicemodel.h"
#include "model/devicestate.h"
#include "protocol/messageheader.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QGuiApplication>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>

namespace {

const QString NotAvailable = QStringLiteral("N/A");
const QString IpConflict = QStringLiteral("IP conflict!");
const QString HostConflict = QStringLiteral("Hostname conflict!");

// A device's row as its replies so far must have made it; unset cells never received a value.
struct ExpectedRow
{
    QString mac;
    std::optional<QString> device;
    std::optional<QString> firmware;
    std::optional<QString> host;
    std::optional<QString> ip;
    std::optional<QString> ipConfig;
    int productType = 0;
    std::optional<QByteArray> configDatagram;
    bool hostMarked = false;
    bool ipMarked = false;
};

class Expectation
{
public:
    void reply(const QByteArray &datagram)
    {
        const quint32 id = Fuzz::uint32(datagram, 40);
        if (id != NetworkConfigReply && id != DeviceInfoReply)
            return;
        const bool ok = Fuzz::uint32(datagram, 44) == 0;
        const QString mac = Fuzz::text(datagram, 74, 18);
        int index = indexOf(mac);
        if (index < 0) {
            rows.append(ExpectedRow());
            index = int(rows.size()) - 1;
        }
        ExpectedRow &row = rows[index];
        row.mac = mac;
        if (id == NetworkConfigReply) {
            row.configDatagram = datagram.left(Protocol::NetworkConfigDatagramSize);
            row.host = ok ? Fuzz::text(datagram, 142, 25) : NotAvailable;
            row.ip = ok ? Fuzz::text(datagram, 169, 16) : NotAvailable;
            const bool dhcp = Fuzz::text(datagram, 167, 2) == QLatin1String("1");
            row.ipConfig = ok ? (dhcp ? QStringLiteral("DHCP") : QStringLiteral("static")) : NotAvailable;
        } else {
            row.device = ok ? Fuzz::text(datagram, 148, -1).left(255) : NotAvailable;
            row.firmware = ok ? Fuzz::text(datagram, 128, 20) : NotAvailable;
            bool number = false;
            const int type = Fuzz::text(datagram, 124, 4).toInt(&number, 10);
            row.productType = ok && number ? type : 0;
        }
        markAll();
    }

    void clear() { rows.clear(); }

    // The marks a search of the whole table gives: IP texts compared exactly, host names without
    // regard to case; empty texts and "N/A" are never looked up themselves.
    void markAll()
    {
        QHash<QString, int> ips;
        QHash<QString, int> hosts;
        for (const ExpectedRow &row : std::as_const(rows)) {
            if (row.ip && !row.ip->isEmpty())
                ++ips[*row.ip];
            if (row.host && !row.host->isEmpty())
                ++hosts[row.host->toCaseFolded()];
        }
        // A host name that is looked up marks every row it finds, "N/A" rows among them.
        QSet<QString> lookedUp;
        for (const ExpectedRow &row : std::as_const(rows)) {
            if (row.host && !row.host->isEmpty() && *row.host != NotAvailable)
                lookedUp.insert(row.host->toCaseFolded());
        }
        for (ExpectedRow &row : rows) {
            row.ipMarked = row.ip && *row.ip != NotAvailable && *row.ip != QLatin1String("0.0.0.0") &&
                           !row.ip->isEmpty() && ips.value(*row.ip) > 1;
            const QString host = row.host ? row.host->toCaseFolded() : QString();
            row.hostMarked = !host.isEmpty() && lookedUp.contains(host) && hosts.value(host) > 1;
        }
    }

    int indexOf(const QString &mac) const
    {
        for (int i = 0; i < rows.size(); ++i) {
            if (rows.at(i).mac.compare(mac, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }

    QList<ExpectedRow> rows;
};

void checkCell(const QStandardItem *item, const std::optional<QString> &expected)
{
    FUZZ_CHECK(item);
    if (expected)
        FUZZ_CHECK(item->data(Qt::DisplayRole).isValid() && item->text() == *expected);
    else
        FUZZ_CHECK(!item->data(Qt::DisplayRole).isValid());
}

void checkMark(const QStandardItem *item, bool marked, const QString &toolTip)
{
    FUZZ_CHECK(item->toolTip() == (marked ? toolTip : QString()));
    FUZZ_CHECK(item->icon().isNull() == !marked);
}

void check(const DeviceModel &model, const Expectation &expected)
{
    FUZZ_CHECK(model.rowCount() == expected.rows.size());
    FUZZ_CHECK(model.columnCount() == DeviceModel::ColumnCount);
    const QStringList states{NormalState().statusText(),
                             SettingState().statusText(),
                             NetRestartState().statusText(),
                             NotRespondingState().statusText(),
                             RequestFailedState().statusText(),
                             SavedAuthorizationFailedState().statusText(),
                             AuthorizationFailedState().statusText()};
    for (int row = 0; row < model.rowCount(); ++row) {
        const ExpectedRow &e = expected.rows.at(row);
        const QStandardItem *mac = model.item(row, DeviceModel::MacAddressColumn);
        checkCell(mac, e.mac);
        FUZZ_CHECK(model.findRowByMac(e.mac) == row);
        FUZZ_CHECK(model.findRowByMac(e.mac.toUpper()) == expected.indexOf(e.mac.toUpper()));
        checkCell(model.item(row, DeviceModel::DeviceColumn), e.device);
        checkCell(model.item(row, DeviceModel::FirmwareColumn), e.firmware);
        checkCell(model.item(row, DeviceModel::HostnameColumn), e.host);
        checkCell(model.item(row, DeviceModel::IpAddressColumn), e.ip);
        checkCell(model.item(row, DeviceModel::IpConfigColumn), e.ipConfig);
        FUZZ_CHECK(mac->data(DeviceModel::ProductTypeRole).toInt() == e.productType);
        if (e.configDatagram)
            FUZZ_CHECK(mac->data(DeviceModel::ConfigDatagramRole).toByteArray() == *e.configDatagram);
        else
            FUZZ_CHECK(!mac->data(DeviceModel::ConfigDatagramRole).isValid());
        checkMark(model.item(row, DeviceModel::HostnameColumn), e.hostMarked, HostConflict);
        checkMark(model.item(row, DeviceModel::IpAddressColumn), e.ipMarked, IpConflict);
        const QStandardItem *status = model.item(row, DeviceModel::StatusColumn);
        FUZZ_CHECK(status && states.contains(status->text()));
    }
}

// Picks from a small pool (so that rows, names and addresses meet again) or makes up a text.
QByteArray pick(FuzzedDataProvider &input, const QList<QByteArray> &pool)
{
    const int choice = input.ConsumeIntegralInRange<int>(0, int(pool.size()));
    if (choice < pool.size())
        return pool.at(choice);
    const std::string text = input.ConsumeRandomLengthString(30);
    return QByteArray(text.data(), qsizetype(text.size()));
}

QByteArray withRandomCase(FuzzedDataProvider &input, QByteArray text)
{
    const quint32 flips = input.ConsumeIntegral<quint32>();
    for (int i = 0; i < text.size() && i < 32; ++i) {
        if (flips & (1u << i))
            text[i] = char(QChar::fromLatin1(text.at(i)).toLower().toLatin1());
    }
    return text;
}

const QList<QByteArray> Macs = {"02:00:00:00:00:01", "02:00:00:00:00:02", "02:00:00:00:00:0A",
                                "02:00:00:00:00:0B", "AA:BB:CC:DD:EE:FF", ""};
const QList<QByteArray> Hosts = {"", "Lobby", "LOBBY", "lobby", "N/A", "n/a", "cam-1", "\xb5-cam", "\xce\xbc-cam"};
const QList<QByteArray> Ips = {"", "10.0.0.5", "10.0.0.6", "0.0.0.0", "N/A", "n/a"};
const QList<QByteArray> Flags = {"1", "0", "", "2", "11"};
const QList<QByteArray> Names = {"", "VeltraNET 200", "Panoryx X1", "N/A"};
const QList<QByteArray> Types = {"12", "007", "", "abc", "-5", "9999"};

QByteArray templateReply(FuzzedDataProvider &input)
{
    static const quint32 ids[] = {NetworkConfigReply, NetworkConfigReply,    DeviceInfoReply,
                                  DeviceInfoReply,    SetNetworkConfigReply, SetNetworkConfigAuthReply};
    static const quint32 results[] = {0, 0, 0, 0, 1, 0x80000003u};
    const quint32 id =
        input.ConsumeIntegralInRange(0, 7) ? input.PickValueInArray(ids) : input.ConsumeIntegral<quint32>();
    const quint32 result =
        input.ConsumeIntegralInRange(0, 7) ? input.PickValueInArray(results) : input.ConsumeIntegral<quint32>();
    QByteArray datagram(Protocol::HeaderSize, '\0');
    Fuzz::putText(datagram, 0, 37, Fuzz::Key);
    Fuzz::putUInt32(datagram, 40, id);
    Fuzz::putUInt32(datagram, 44, result);
    datagram[52] = char(input.ConsumeIntegral<quint8>());
    Fuzz::putText(datagram, 74, 18, withRandomCase(input, pick(input, Macs)));
    if (id == NetworkConfigReply) {
        datagram.append(QByteArray(Protocol::NetworkConfigBodySize, '\0'));
        Fuzz::putText(datagram, 142, 25, pick(input, Hosts));
        Fuzz::putText(datagram, 167, 2, pick(input, Flags));
        Fuzz::putText(datagram, 169, 16, pick(input, Ips));
    } else if (id == DeviceInfoReply) {
        const QByteArray name = pick(input, Names);
        datagram.append(QByteArray(24 + name.size() + 1, '\0'));
        Fuzz::putText(datagram, 124, 4, pick(input, Types));
        Fuzz::putText(datagram, 128, 20, pick(input, Names));
        Fuzz::putText(datagram, 148, int(name.size()) + 1, name);
    }
    if (input.ConsumeIntegralInRange(0, 7) == 0)
        datagram.truncate(input.ConsumeIntegralInRange<int>(0, int(datagram.size())));
    return datagram;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::quietMessages();
    Fuzz::makeApplication<QGuiApplication>();
    // Failed authorizations make the model look into the stored credentials: never the user's.
    static QTemporaryDir settingsDir;
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    DeviceModel model;
    qint64 nowMs = 0;
    model.setClock([&nowMs] { return nowMs; });
    Expectation expected;

    while (input.remaining_bytes() > 0) {
        const int step = input.ConsumeIntegralInRange(0, 15);
        if (step <= 11) {
            QByteArray datagram;
            if (step <= 8) {
                datagram = templateReply(input);
            } else {
                const std::string raw = input.ConsumeRandomLengthString(Fuzz::MaxDatagramSize);
                datagram = QByteArray(raw.data(), qsizetype(raw.size()));
            }
            model.onDeviceReplyReceived(datagram);
            expected.reply(datagram);
        } else if (step <= 13) {
            static const int ids[] = {RestartNetwork, GetNetworkConfig, SetNetworkConfig, SetNetworkConfigAuth, 0};
            const QByteArray mac = withRandomCase(input, pick(input, Macs));
            model.onDeviceRequestSent(input.PickValueInArray(ids), QString::fromLatin1(mac));
        } else if (step == 14) {
            nowMs += input.ConsumeIntegralInRange(0, 8000);
            model.onTimeout();
        } else {
            model.setRowCount(0);
            expected.clear();
        }
        check(model, expected);
    }
    return 0;
}
