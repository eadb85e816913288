// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class DeviceModel;

// What one scan knew of one device: the values of its row and the interface it answered on.
struct DeviceSnapshot
{
    QString mac;           // as the device sends it; the history compares MACs ignoring case
    QString interfaceName; // empty when not known
    // Field name to text, by the keys of HistoryStore::fields(); a value the scan did not get is absent.
    QMap<QString, QString> values;

    // The row's values as the table holds them (the hidden ones too).
    static DeviceSnapshot fromRow(const DeviceModel &model, int row, const QString &interfaceName = QString());
};

struct HistoryEvent
{
    enum class Kind { Appeared, Disappeared, Changed };

    Kind kind = Kind::Appeared;
    QString mac;
    QDateTime time; // UTC
    QString field;  // Changed only
    QString oldValue;
    QString newValue;

    static QString kindName(Kind kind); // "appeared", "disappeared", "changed"
};

struct KnownDevice
{
    QString mac;
    QDateTime firstSeen; // UTC
    QDateTime lastSeen;  // UTC
    QString interfaceName;
    QMap<QString, QString> values;
    bool presentInLastScan = false;
};

// Every device ever seen, in an SQLite database of the user's: first and last seen, the last values,
// and a log of what appeared, disappeared and changed. A database that cannot be used never stops a
// scan: the store is then closed and says why once; a damaged file is kept aside, never deleted.
class HistoryStore
{
    // The window tells the store's notices in its language; veltra-find stays English.
    Q_DECLARE_TR_FUNCTIONS(HistoryStore)

public:
    // history.sqlite in the desktop program's data folder ("Orvane/Veltra Device Finder" in the
    // user's data folder), for both programs.
    static QString defaultPath();
    // The value fields in their order: device, firmware, productType, hostname, ipConfig, ip, mask,
    // gateway, domain, dns1, dns2, protocolVersion.
    static QStringList fields();

    // ":memory:" keeps the history in memory only, for a run that writes no file.
    explicit HistoryStore(const QString &path = defaultPath());
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // Opens the database, creating or migrating it; false with the reason in errorString() when
    // there is no history this time (unwritable folder, locked beyond the wait). A damaged file is
    // moved aside (setAsidePath()) and a new one begun: open() then succeeds, and notice() says where.
    bool open();
    bool isOpen() const;
    QString errorString() const;
    // What the user should be told once, if anything: why there is no history, or where a damaged
    // file was kept. Empty when all is well.
    QString notice() const;
    QString setAsidePath() const;
    QString path() const;

    // Whether no device was known before the last recordScan() (also true before any scan).
    bool wasEmptyBeforeLastScan() const;

    // Records a finished scan of the `scanned` interfaces (empty: every one) in one transaction and
    // returns its events: appeared for devices not known before, changed (one per field) for known
    // ones whose values or interface differ, disappeared for devices present in the previous scan of
    // those interfaces and absent from this one. On a write failure the store closes, errorString()
    // says why, and the result is empty.
    QList<HistoryEvent> recordScan(const QList<DeviceSnapshot> &devices, const QStringList &scanned,
                                   const QDateTime &time = QDateTime::currentDateTimeUtc());
    // One device's values read again outside a scan (after a change): its changed events.
    QList<HistoryEvent> recordDevice(const DeviceSnapshot &device,
                                     const QDateTime &time = QDateTime::currentDateTimeUtc());

    QList<KnownDevice> devices() const;
    std::optional<KnownDevice> device(const QString &mac) const;
    // The events of one device (every device for an empty MAC), oldest first.
    QList<HistoryEvent> events(const QString &mac = QString()) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
