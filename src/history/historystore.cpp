// SPDX-License-Identifier: Apache-2.0
#include "history/historystore.h"

#include "model/devicemodel.h"
#include "settings/settingsplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>

namespace {

const QString MemoryPath = QStringLiteral(":memory:");
// The table shows this for a value a device refused to give: not a value to keep.
const QString NotAvailable = QStringLiteral("N/A");

// SQLite's result codes as Qt reports them in QSqlError::nativeErrorCode().
const QString SqliteBusy = QStringLiteral("5");
const QString SqliteLocked = QStringLiteral("6");
const QString SqliteCorrupt = QStringLiteral("11");
const QString SqliteNotADatabase = QStringLiteral("26");

// Schema steps: step i takes the database from user_version i to i + 1.
const QList<QStringList> &migrations()
{
    static const QList<QStringList> steps{
        {QStringLiteral("CREATE TABLE devices (mac TEXT PRIMARY KEY, shown_mac TEXT NOT NULL, "
                        "first_seen TEXT NOT NULL, last_seen TEXT NOT NULL, interface TEXT NOT NULL, "
                        "present INTEGER NOT NULL, values_json TEXT NOT NULL)"),
         QStringLiteral("CREATE TABLE events (id INTEGER PRIMARY KEY, mac TEXT NOT NULL, time TEXT NOT NULL, "
                        "kind TEXT NOT NULL, field TEXT, old TEXT, new TEXT)"),
         QStringLiteral("CREATE INDEX events_mac ON events(mac)")},
    };
    return steps;
}

// A text for a NOT NULL column: Qt binds a null QString as NULL.
QVariant notNull(const QString &text)
{
    return text.isNull() ? QVariant(QLatin1String("")) : QVariant(text);
}

QString timeText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime timeFrom(const QString &text)
{
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

QString valuesText(const QMap<QString, QString> &values)
{
    QJsonObject object;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        object.insert(it.key(), it.value());
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QMap<QString, QString> valuesFrom(const QString &text)
{
    QMap<QString, QString> values;
    const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        values.insert(it.key(), it.value().toString());
    return values;
}

HistoryEvent::Kind kindFrom(const QString &name)
{
    if (name == QLatin1String("disappeared"))
        return HistoryEvent::Kind::Disappeared;
    if (name == QLatin1String("changed"))
        return HistoryEvent::Kind::Changed;
    return HistoryEvent::Kind::Appeared;
}

// What went wrong, for the user: SQLite's own words, which Qt's add nothing to.
QString reason(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    if (code == SqliteBusy || code == SqliteLocked)
        return HistoryStore::tr("the history file is in use by another program");
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

// A statement failed, with SQLite's error.
struct Failure
{
    QSqlError error;
};

void run(QSqlQuery &query)
{
    if (!query.exec())
        throw Failure{query.lastError()};
}

void run(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw Failure{query.lastError()};
}

} // namespace

struct HistoryStore::Private
{
    struct Stored
    {
        QString shownMac;
        QDateTime firstSeen;
        QDateTime lastSeen;
        QString interfaceName;
        bool present = false;
        QMap<QString, QString> values;
    };

    QString path;
    QString connection;
    QString error;
    QString notice;
    QString setAside;
    bool open = false;
    bool wasEmpty = true;

    // Statements prepared once per connection: a scan runs them for thousands of devices.
    std::optional<QSqlQuery> insertQuery, updateQuery, seenQuery;

    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }
    QSqlQuery &statement(std::optional<QSqlQuery> &query, const QString &text);
    bool connect();
    void disconnect();
    // The file opened, checked and migrated; false with `error` set. `damaged` tells whether the
    // file is not a usable database (as opposed to locked, unreadable or too new).
    bool prepare(bool &damaged);
    bool moveAside();
    void turnOff(const QSqlError &failure);
    QHash<QString, Stored> load(const QString &mac = QString()) const;
    // Brings one device up to date with a snapshot, adding its events.
    void apply(const DeviceSnapshot &device, const Stored *stored, const QDateTime &time, QList<HistoryEvent> &events);
    void write(const QList<HistoryEvent> &events);
};

bool HistoryStore::Private::connect()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    if (!db.isValid()) {
        error = HistoryStore::tr("Device history is off: Qt's SQLite driver is missing (package libqt6sql6-sqlite).");
        return false;
    }
    db.setDatabaseName(path);
    // Another program writing the same file is waited for this long, no longer.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (!db.open()) {
        error = HistoryStore::tr("Device history is off: %1.").arg(reason(db.lastError()));
        return false;
    }
    return true;
}

QSqlQuery &HistoryStore::Private::statement(std::optional<QSqlQuery> &query, const QString &text)
{
    if (!query) {
        query.emplace(db());
        if (!query->prepare(text)) {
            const QSqlError error = query->lastError();
            query.reset();
            throw Failure{error};
        }
    }
    return *query;
}

void HistoryStore::Private::disconnect()
{
    insertQuery.reset();
    updateQuery.reset();
    seenQuery.reset();
    {
        QSqlDatabase database = db();
        database.close();
    }
    QSqlDatabase::removeDatabase(connection);
    open = false;
}

bool HistoryStore::Private::prepare(bool &damaged)
{
    damaged = false;
    QSqlDatabase database = db();
    try {
        QSqlQuery check(database);
        if (!check.exec(QStringLiteral("PRAGMA quick_check")))
            throw Failure{check.lastError()};
        if (!check.next() || check.value(0).toString() != QLatin1String("ok")) {
            damaged = true;
            return false;
        }
        check.finish();

        QSqlQuery version(database);
        if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next())
            throw Failure{version.lastError()};
        const int current = version.value(0).toInt();
        version.finish();
        const int known = int(migrations().size());
        if (current > known) {
            error = HistoryStore::tr("Device history is off: %1 was written by a newer version of this program "
                                     "(history version %2, this one knows up to %3); the file is left as it is.")
                        .arg(QDir::toNativeSeparators(path))
                        .arg(current)
                        .arg(known);
            return false;
        }
        if (current < known) {
            if (!database.transaction())
                throw Failure{database.lastError()};
            try {
                for (int step = current; step < known; ++step) {
                    for (const QString &statement : migrations().at(step))
                        run(database, statement);
                }
                run(database, QStringLiteral("PRAGMA user_version = %1").arg(known));
                if (!database.commit())
                    throw Failure{database.lastError()};
            } catch (const Failure &) {
                database.rollback();
                throw;
            }
        }
    } catch (const Failure &failure) {
        const QString code = failure.error.nativeErrorCode();
        damaged = code == SqliteNotADatabase || code == SqliteCorrupt;
        error = HistoryStore::tr("Device history is off: %1.").arg(reason(failure.error));
        return false;
    }
    return true;
}

bool HistoryStore::Private::moveAside()
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = QStringLiteral("%1.damaged-%2").arg(path, stamp);
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = QStringLiteral("%1.damaged-%2-%3").arg(path, stamp).arg(n);
    if (!QFile::rename(path, target)) {
        error = HistoryStore::tr("Device history is off: the history file %1 is damaged and could not be moved aside.")
                    .arg(QDir::toNativeSeparators(path));
        return false;
    }
    // A journal left by the damaged file must not be played into the new one.
    for (const QLatin1String suffix : {QLatin1String("-journal"), QLatin1String("-wal"), QLatin1String("-shm")}) {
        if (QFileInfo::exists(path + suffix))
            QFile::rename(path + suffix, target + suffix);
    }
    setAside = target;
    notice = HistoryStore::tr("The device history file was damaged; it was kept as %1 and a new history begun.")
                 .arg(QDir::toNativeSeparators(target));
    return true;
}

void HistoryStore::Private::turnOff(const QSqlError &failure)
{
    error = HistoryStore::tr("Device history is off: %1.").arg(reason(failure));
    notice = error;
    disconnect();
}

QHash<QString, HistoryStore::Private::Stored> HistoryStore::Private::load(const QString &mac) const
{
    QHash<QString, Stored> stored;
    QSqlQuery query(db());
    query.setForwardOnly(true);
    const QString select =
        QStringLiteral("SELECT mac, shown_mac, first_seen, last_seen, interface, present, values_json FROM devices");
    if (mac.isNull()) {
        query.prepare(select);
    } else {
        query.prepare(select + QStringLiteral(" WHERE mac = ?"));
        query.addBindValue(mac.toUpper());
    }
    run(query);
    while (query.next()) {
        stored.insert(query.value(0).toString(),
                      Stored{query.value(1).toString(), timeFrom(query.value(2).toString()),
                             timeFrom(query.value(3).toString()), query.value(4).toString(), query.value(5).toBool(),
                             valuesFrom(query.value(6).toString())});
    }
    return stored;
}

void HistoryStore::Private::apply(const DeviceSnapshot &device, const Stored *stored, const QDateTime &time,
                                  QList<HistoryEvent> &events)
{
    const QString mac = device.mac.toUpper();
    if (!stored) {
        events.append({HistoryEvent::Kind::Appeared, device.mac, time, {}, {}, {}});
        QSqlQuery &query = statement(insertQuery, QStringLiteral("INSERT INTO devices VALUES (?, ?, ?, ?, ?, 1, ?)"));
        for (const QVariant &value :
             {QVariant(mac), QVariant(device.mac), QVariant(timeText(time)), QVariant(timeText(time)),
              notNull(device.interfaceName), QVariant(valuesText(device.values))})
            query.addBindValue(value);
        run(query);
        return;
    }
    // Back after a scan that missed it: it appears again, so that a watcher's "disappeared" is not the last word.
    if (!stored->present)
        events.append({HistoryEvent::Kind::Appeared, device.mac, time, {}, {}, {}});
    QMap<QString, QString> values = stored->values;
    for (const QString &field : HistoryStore::fields()) {
        const auto now = device.values.constFind(field);
        if (now == device.values.cend())
            continue; // not read this time: the kept value stays
        const auto before = values.constFind(field);
        // A value seen for the first time is learnt, not changed.
        if (before != values.cend() && *before != *now)
            events.append({HistoryEvent::Kind::Changed, device.mac, time, field, *before, *now});
        values.insert(field, *now);
    }
    QString interfaceName = stored->interfaceName;
    if (!device.interfaceName.isEmpty()) {
        if (!interfaceName.isEmpty() && interfaceName != device.interfaceName)
            events.append({HistoryEvent::Kind::Changed, device.mac, time, QStringLiteral("interface"), interfaceName,
                           device.interfaceName});
        interfaceName = device.interfaceName;
    }
    if (values == stored->values && interfaceName == stored->interfaceName && device.mac == stored->shownMac) {
        QSqlQuery &seen =
            statement(seenQuery, QStringLiteral("UPDATE devices SET last_seen = ?, present = 1 WHERE mac = ?"));
        seen.addBindValue(timeText(time));
        seen.addBindValue(mac);
        run(seen);
        return;
    }
    QSqlQuery &query =
        statement(updateQuery, QStringLiteral("UPDATE devices SET shown_mac = ?, last_seen = ?, interface = ?, present "
                                              "= 1, values_json = ? WHERE mac = ?"));
    for (const QVariant &value : {QVariant(device.mac), QVariant(timeText(time)), notNull(interfaceName),
                                  QVariant(valuesText(values)), QVariant(mac)})
        query.addBindValue(value);
    run(query);
}

void HistoryStore::Private::write(const QList<HistoryEvent> &events)
{
    QSqlQuery query(db());
    query.prepare(QStringLiteral("INSERT INTO events (mac, time, kind, field, old, new) VALUES (?, ?, ?, ?, ?, ?)"));
    for (const HistoryEvent &event : events) {
        const bool changed = event.kind == HistoryEvent::Kind::Changed;
        for (const QVariant &value :
             {QVariant(event.mac.toUpper()), QVariant(timeText(event.time)),
              QVariant(HistoryEvent::kindName(event.kind)), changed ? QVariant(event.field) : QVariant(),
              changed ? QVariant(event.oldValue) : QVariant(), changed ? QVariant(event.newValue) : QVariant()})
            query.addBindValue(value);
        run(query);
    }
}

DeviceSnapshot DeviceSnapshot::fromRow(const DeviceModel &model, int row, const QString &interfaceName)
{
    DeviceSnapshot snapshot;
    snapshot.mac = model.item(row, DeviceModel::MacAddressColumn)->text();
    snapshot.interfaceName = interfaceName;
    const QVariantMap values = model.rowValues(row);
    // A refused reply gives no values: its "N/A" texts, and the product type 0 it leaves, are skipped.
    const bool infoRefused = values.value(QStringLiteral("device")).toString() == NotAvailable;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString text = it.value().toString();
        if (text == NotAvailable || (infoRefused && it.key() == QLatin1String("productType")))
            continue;
        snapshot.values.insert(it.key(), text);
    }
    return snapshot;
}

QString HistoryEvent::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Appeared:
        return QStringLiteral("appeared");
    case Kind::Disappeared:
        return QStringLiteral("disappeared");
    case Kind::Changed:
        return QStringLiteral("changed");
    }
    return QString();
}

QString HistoryStore::defaultPath()
{
    // The desktop program's data folder by its organisation and name, as its settings are kept, and
    // not by the name of whichever program asks: the window and veltra-find share one history.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/') +
           SettingsPlace::Organization + QLatin1Char('/') + SettingsPlace::Application +
           QStringLiteral("/history.sqlite");
}

QStringList HistoryStore::fields()
{
    static const QStringList names{
        QStringLiteral("device"),   QStringLiteral("firmware"), QStringLiteral("productType"),
        QStringLiteral("hostname"), QStringLiteral("ipConfig"), QStringLiteral("ip"),
        QStringLiteral("mask"),     QStringLiteral("gateway"),  QStringLiteral("domain"),
        QStringLiteral("dns1"),     QStringLiteral("dns2"),     QStringLiteral("protocolVersion")};
    return names;
}

HistoryStore::HistoryStore(const QString &path) : d(std::make_unique<Private>())
{
    static std::atomic<int> instances{0};
    d->path = path;
    d->connection = QStringLiteral("veltra-history-%1").arg(++instances);
}

HistoryStore::~HistoryStore()
{
    if (d->open)
        d->disconnect();
}

bool HistoryStore::open()
{
    if (d->open)
        return true;
    d->error.clear();
    d->notice.clear();
    if (d->path != MemoryPath) {
        const QFileInfo file(d->path);
        const QString folder = file.absolutePath();
        if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable()) {
            d->error = HistoryStore::tr("Device history is off: the folder %1 cannot be written to.")
                           .arg(QDir::toNativeSeparators(folder));
            d->notice = d->error;
            return false;
        }
    }
    bool damaged = false;
    bool ready = d->connect() && d->prepare(damaged);
    if (!ready && damaged && d->path != MemoryPath) {
        d->disconnect();
        ready = d->moveAside() && d->connect() && d->prepare(damaged);
    }
    if (!ready) {
        if (d->error.isEmpty())
            d->error = HistoryStore::tr("Device history is off: the history file %1 is damaged.")
                           .arg(QDir::toNativeSeparators(d->path));
        d->notice = d->error;
        d->disconnect();
        return false;
    }
    d->open = true;
    return true;
}

bool HistoryStore::isOpen() const
{
    return d->open;
}

QString HistoryStore::errorString() const
{
    return d->error;
}

QString HistoryStore::notice() const
{
    return d->notice;
}

QString HistoryStore::setAsidePath() const
{
    return d->setAside;
}

QString HistoryStore::path() const
{
    return d->path;
}

bool HistoryStore::wasEmptyBeforeLastScan() const
{
    return d->wasEmpty;
}

QList<HistoryEvent> HistoryStore::recordScan(const QList<DeviceSnapshot> &devices, const QStringList &scanned,
                                             const QDateTime &time)
{
    if (!d->open)
        return {};
    QSqlDatabase db = d->db();
    QList<HistoryEvent> events;
    try {
        // The write lock from the start: waiting for another writer happens here, within the timeout.
        run(db, QStringLiteral("BEGIN IMMEDIATE"));
        try {
            const QHash<QString, Private::Stored> stored = d->load();
            d->wasEmpty = stored.isEmpty();
            QSet<QString> seen;
            for (const DeviceSnapshot &device : devices) {
                const QString mac = device.mac.toUpper();
                if (mac.isEmpty() || seen.contains(mac))
                    continue; // a device twice in one scan counts where it answered first
                seen.insert(mac);
                const auto known = stored.constFind(mac);
                d->apply(device, known == stored.cend() ? nullptr : &*known, time, events);
            }
            QStringList gone;
            for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
                if (it->present && !seen.contains(it.key()) &&
                    (scanned.isEmpty() || scanned.contains(it->interfaceName)))
                    gone.append(it.key());
            }
            std::sort(gone.begin(), gone.end());
            QSqlQuery absent(db);
            absent.prepare(QStringLiteral("UPDATE devices SET present = 0 WHERE mac = ?"));
            for (const QString &mac : std::as_const(gone)) {
                events.append({HistoryEvent::Kind::Disappeared, stored.value(mac).shownMac, time, {}, {}, {}});
                absent.addBindValue(mac);
                run(absent);
            }
            d->write(events);
            run(db, QStringLiteral("COMMIT"));
        } catch (const Failure &) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
    } catch (const Failure &failure) {
        db = QSqlDatabase();
        d->turnOff(failure.error);
        return {};
    }
    return events;
}

QList<HistoryEvent> HistoryStore::recordDevice(const DeviceSnapshot &device, const QDateTime &time)
{
    if (!d->open || device.mac.isEmpty())
        return {};
    QSqlDatabase db = d->db();
    QList<HistoryEvent> events;
    try {
        // The write lock from the start: waiting for another writer happens here, within the timeout.
        run(db, QStringLiteral("BEGIN IMMEDIATE"));
        try {
            const QHash<QString, Private::Stored> stored = d->load(device.mac);
            d->apply(device, stored.isEmpty() ? nullptr : &*stored.cbegin(), time, events);
            d->write(events);
            run(db, QStringLiteral("COMMIT"));
        } catch (const Failure &) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
    } catch (const Failure &failure) {
        db = QSqlDatabase();
        d->turnOff(failure.error);
        return {};
    }
    return events;
}

QList<KnownDevice> HistoryStore::devices() const
{
    QList<KnownDevice> known;
    if (!d->open)
        return known;
    try {
        const QHash<QString, Private::Stored> stored = d->load();
        QStringList macs = stored.keys();
        std::sort(macs.begin(), macs.end());
        for (const QString &mac : std::as_const(macs)) {
            const Private::Stored &s = stored[mac];
            known.append({s.shownMac, s.firstSeen, s.lastSeen, s.interfaceName, s.values, s.present});
        }
    } catch (const Failure &) {
        return {};
    }
    return known;
}

std::optional<KnownDevice> HistoryStore::device(const QString &mac) const
{
    if (!d->open || mac.isEmpty())
        return std::nullopt;
    try {
        const QHash<QString, Private::Stored> stored = d->load(mac);
        if (stored.isEmpty())
            return std::nullopt;
        const Private::Stored &s = *stored.cbegin();
        return KnownDevice{s.shownMac, s.firstSeen, s.lastSeen, s.interfaceName, s.values, s.present};
    } catch (const Failure &) {
        return std::nullopt;
    }
}

QList<HistoryEvent> HistoryStore::events(const QString &mac) const
{
    QList<HistoryEvent> events;
    if (!d->open)
        return events;
    QSqlQuery query(d->db());
    query.setForwardOnly(true);
    QString select = QStringLiteral("SELECT events.kind, COALESCE(devices.shown_mac, events.mac), events.time, "
                                    "events.field, events.old, events.new FROM events "
                                    "LEFT JOIN devices ON devices.mac = events.mac");
    if (!mac.isEmpty())
        select += QStringLiteral(" WHERE events.mac = ?");
    query.prepare(select + QStringLiteral(" ORDER BY events.id"));
    if (!mac.isEmpty())
        query.addBindValue(mac.toUpper());
    if (!query.exec())
        return events;
    while (query.next()) {
        events.append({kindFrom(query.value(0).toString()), query.value(1).toString(),
                       timeFrom(query.value(2).toString()), query.value(3).toString(), query.value(4).toString(),
                       query.value(5).toString()});
    }
    return events;
}
