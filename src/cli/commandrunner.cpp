// SPDX-License-Identifier: Apache-2.0
#include "cli/commandrunner.h"

#include "cli/rowrecord.h"
#include "model/configurationchange.h"
#include "model/connectionexport.h"
#include "model/devicemodel.h"
#include "model/deviceplan.h"
#include "model/outputfile.h"
#include "model/plancheck.h"
#include "model/planmaker.h"
#include "model/planrun.h"
#include "protocol/configcheck.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"
#include "protocol/networkdiagnosis.h"
#include "protocol/packettransceiver.h"
#include "protocol/signalwatcher.h"
#include "settings/credentialstore.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTimer>
#include <QtGlobal>

#include <csignal>

#include <memory>
#include <vector>

namespace {

using Status = CommandLine::ExitStatus;

constexpr char PasswordVariableName[] = "VELTRA_PASSWORD";
const QString PasswordVariable = QString::fromLatin1(PasswordVariableName);
// "More than 5000 ms" after RestartNetwork, as the desktop program's tracking has it.
constexpr int RestartDelay = 5000;
constexpr int RereadDelay = RestartDelay + 100;

QString resultText(quint32 resultCode)
{
    return resultCode == Protocol::AuthorizationFailed ? QStringLiteral("authorization failed")
                                                       : QStringLiteral("result code %1").arg(resultCode);
}

// `set`'s status for a device's outcome; apply exits with that of its worst device.
int statusOf(PlanRun::Outcome outcome)
{
    switch (outcome) {
    case PlanRun::Outcome::Applied:
        return Status::Success;
    case PlanRun::Outcome::AuthorizationFailed:
        return Status::AuthFailed;
    case PlanRun::Outcome::NoAnswer:
        return Status::NoAnswer;
    case PlanRun::Outcome::Refused:
    case PlanRun::Outcome::Differs:
        return Status::Refused;
    }
    return Status::Refused;
}

// A store's reason as a message: "device history is off: ...", without the sentence's full stop.
QString historyMessage(const QString &text)
{
    QString message = text;
    if (!message.isEmpty())
        message[0] = message.at(0).toLower();
    if (message.endsWith(QLatin1Char('.')))
        message.chop(1);
    return message;
}

// History texts as output values: numbers as numbers, as a scan prints them; absent as no value.
QVariant historyValue(const QMap<QString, QString> &values, const QString &field)
{
    const auto found = values.constFind(field);
    if (found == values.cend())
        return QVariant();
    if (field == QLatin1String("productType") || field == QLatin1String("protocolVersion")) {
        bool ok = false;
        const int number = found->toInt(&ok);
        if (ok)
            return number;
    }
    return *found;
}

QVariant textOrNone(const QString &text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

QString timeText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QStringList knownDeviceKeys()
{
    return QStringList{QStringLiteral("mac"), QStringLiteral("firstSeen"), QStringLiteral("lastSeen"),
                       QStringLiteral("present"), QStringLiteral("interface")} +
           HistoryStore::fields();
}

QVariantList knownDeviceValues(const KnownDevice &device)
{
    QVariantList values{device.mac, timeText(device.firstSeen), timeText(device.lastSeen), device.presentInLastScan,
                        textOrNone(device.interfaceName)};
    for (const QString &field : HistoryStore::fields())
        values.append(historyValue(device.values, field));
    return values;
}

QVariantList eventValues(const HistoryEvent &event, bool withMac)
{
    const bool changed = event.kind == HistoryEvent::Kind::Changed;
    QVariantList values{timeText(event.time)};
    if (withMac)
        values.append(event.mac);
    values += {HistoryEvent::kindName(event.kind), changed ? QVariant(event.field) : QVariant(),
               changed ? QVariant(event.oldValue) : QVariant(), changed ? QVariant(event.newValue) : QVariant()};
    return values;
}

} // namespace

int CommandRunner::run(const CommandLine::Options &options)
{
    switch (options.command) {
    case CommandLine::Command::Interfaces:
        return interfaces(options);
    case CommandLine::Command::Scan:
        return scan(options);
    case CommandLine::Command::Show:
        return show(options);
    case CommandLine::Command::Set:
        return set(options);
    case CommandLine::Command::Forget:
        return forget(options);
    case CommandLine::Command::Export:
        return exportConnections(options);
    case CommandLine::Command::Plan:
        return plan(options);
    case CommandLine::Command::Apply:
        return apply(options);
    case CommandLine::Command::Diagnose:
        return diagnose(options);
    case CommandLine::Command::History:
        return history(options);
    case CommandLine::Command::None:
        break;
    }
    return fail(Status::BadInput, QStringLiteral("no command given"));
}

void CommandRunner::print(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

void CommandRunner::message(const QString &text)
{
    // Messages may quote device texts and typed values: no control character reaches the terminal.
    std::fprintf(err, "veltra-find: %s\n", RecordTable::printable(text).toLocal8Bit().constData());
    std::fflush(err);
}

int CommandRunner::fail(int status, const QString &text)
{
    message(text);
    return status;
}

QList<DeviceLink::Interface> CommandRunner::interfacesFor(const CommandLine::Options &options)
{
    const QList<DeviceLink::Interface> usable = DeviceLink::usableInterfaces();
    if (usable.isEmpty()) {
        message(QStringLiteral("no usable network interface (one that is up or running, not loopback, with an "
                               "IPv4 address)"));
        return {};
    }
    if (options.allInterfaces)
        return usable;
    const auto chosen = DeviceLink::choose(usable, options.interfaceName);
    if (!chosen) {
        QStringList names;
        for (const DeviceLink::Interface &candidate : usable)
            names.append(candidate.name + QStringLiteral(" (") + candidate.address + QLatin1Char(')'));
        message(QStringLiteral("no usable interface is named or has the address \"%1\"; usable: %2")
                    .arg(options.interfaceName, names.join(QStringLiteral(", "))));
        return {};
    }
    return {*chosen};
}

void CommandRunner::scanWith(DeviceLink *link, const CommandLine::Options &options, DeviceModel *model)
{
    // The model tells it once per table.
    QObject::connect(model, &DeviceModel::deviceLimitReached, model, [this, name = link->name()](int limit) {
        message(
            QStringLiteral("more than %1 devices answered on %2; further devices are ignored").arg(limit).arg(name));
    });
    link->scan(model, options.repeat, options.waitMs);
}

int CommandRunner::interfaces(const CommandLine::Options &options)
{
    const QList<DeviceLink::Interface> usable = DeviceLink::usableInterfaces();
    RecordTable table({QStringLiteral("name"), QStringLiteral("mac"), QStringLiteral("address")});
    for (const DeviceLink::Interface &interface : usable)
        table.addRow({interface.name, interface.hardwareAddress, interface.address});
    print(table.render(options.format));
    if (usable.isEmpty())
        return fail(Status::NoDevice, QStringLiteral("no usable network interface"));
    return Status::Success;
}

QList<DeviceSnapshot> CommandRunner::snapshotsOf(const DeviceLink &link, const DeviceModel &model)
{
    const PacketTransceiver *transceiver = link.transceiver();
    const bool several = transceiver->allInterfaces();
    QList<DeviceSnapshot> snapshots;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QString mac = model.item(row, DeviceModel::MacAddressColumn)->text();
        snapshots.append(DeviceSnapshot::fromRow(
            model, row, several ? transceiver->deviceInterface(mac).name : transceiver->currentEntry().name));
    }
    return snapshots;
}

std::unique_ptr<HistoryStore> CommandRunner::openHistory()
{
    auto store = std::make_unique<HistoryStore>();
    const bool opened = store->open();
    // Also when it opened: a damaged file was kept aside and a new one begun.
    if (!store->notice().isEmpty())
        message(historyMessage(store->notice()));
    return opened ? std::move(store) : nullptr;
}

void CommandRunner::recordHistory(const DeviceLink &link, const DeviceModel &model, const CommandLine::Options &options)
{
    if (options.noHistory)
        return;
    const std::unique_ptr<HistoryStore> store = openHistory();
    if (!store)
        return;
    store->recordScan(snapshotsOf(link, model), link.interfaceNames());
    if (!store->isOpen())
        message(historyMessage(store->errorString()));
}

int CommandRunner::scan(const CommandLine::Options &options)
{
    if (options.watch)
        return watch(options);
    const std::unique_ptr<DeviceLink> link = openLink(options);
    if (!link)
        return Status::BadInput;
    // One table, as the desktop program's: every interface at once still lists a device once.
    // Nothing is printed before the scan is done.
    DeviceModel model;
    scanWith(link.get(), options, &model);
    recordHistory(*link, model, options);
    const QStringList keys = RowRecord::keys(options.allInterfaces);
    // CSV goes out row by row: a large network's output need not be held whole beside its table.
    const bool streamed = options.format == RecordTable::Format::Csv;
    RecordTable output(keys);
    if (streamed)
        print(RecordTable::csvHeader(keys));
    const QList<int> rows = RowRecord::rowsByMac(model);
    for (const int row : rows) {
        QVariantList values = RowRecord::values(model, row);
        if (options.allInterfaces) {
            const QString mac = model.item(row, DeviceModel::MacAddressColumn)->text();
            values.prepend(link->transceiver()->deviceInterface(mac).name);
        }
        if (streamed)
            print(RecordTable::csvRow(values));
        else
            output.addRow(values);
    }
    const qsizetype listed = rows.size();
    if (!streamed)
        print(output.render(options.format));
    if (listed == 0) {
        message(QStringLiteral("no device answered"));
        // Whatever on this host keeps replies out is the likelier cause than that no device is there.
        tellHostProblems();
        return Status::NoDevice;
    }
    return Status::Success;
}

void CommandRunner::tellHostProblems()
{
    const QList<NetworkDiagnosis::Finding> findings = NetworkDiagnosis().run();
    for (const NetworkDiagnosis::Finding &finding : findings) {
        if (finding.severity != NetworkDiagnosis::Severity::Problem)
            continue;
        message(finding.cause);
        if (!finding.fix.isEmpty())
            message(QStringLiteral("  fix: ") + finding.fix);
    }
}

int CommandRunner::diagnose(const CommandLine::Options &options)
{
    const QList<NetworkDiagnosis::Finding> findings = NetworkDiagnosis().run();
    RecordTable output(
        {QStringLiteral("severity"), QStringLiteral("check"), QStringLiteral("cause"), QStringLiteral("fix")});
    for (const NetworkDiagnosis::Finding &finding : findings) {
        output.addRow({NetworkDiagnosis::severityName(finding.severity), finding.check, finding.cause,
                       finding.fix.isEmpty() ? QVariant() : QVariant(finding.fix)});
    }
    print(output.render(options.format));
    return NetworkDiagnosis::hasProblem(findings) ? Status::NoDevice : Status::Success;
}

int CommandRunner::show(const CommandLine::Options &options)
{
    const std::unique_ptr<DeviceLink> link = openLink(options);
    if (!link)
        return Status::BadInput;

    const QString mac = options.macs.constFirst().toUpper();
    PacketTransceiver *transceiver = link->transceiver();
    transceiver->getDeviceInfo(mac);
    link->idle(DeviceLink::BroadcastGap);
    transceiver->getNetworkConfig(mac);

    // Each request is asked again while its answer is missing, until both are in or time is up.
    std::optional<QByteArray> info;
    std::optional<QByteArray> config;
    const QDeadlineTimer deadline(options.waitMs, Qt::PreciseTimer);
    QDeadlineTimer resendAt(DeviceLink::ResendInterval, Qt::PreciseTimer);
    for (;;) {
        if (!info)
            info = link->takeReply(DeviceInfoReply, mac);
        if (!config)
            config = link->takeReply(NetworkConfigReply, mac);
        if ((info && config) || deadline.hasExpired())
            break;
        if (resendAt.hasExpired()) {
            if (!info)
                transceiver->getDeviceInfo(mac);
            if (!config)
                transceiver->getNetworkConfig(mac);
            resendAt.setRemainingTime(DeviceLink::ResendInterval, Qt::PreciseTimer);
        }
        link->waitForReply(qMin(deadline.remainingTime(), resendAt.remainingTime()));
    }
    if (!info && !config)
        return fail(Status::NoAnswer, QStringLiteral("the device %1 did not answer").arg(mac));
    DeviceModel model;
    for (const auto &reply : {info, config}) {
        if (reply)
            model.onDeviceReplyReceived(*reply);
    }
    // Whether another device shares the address or host name only a scan of all devices can tell:
    // show asks this one alone, so it leaves the two conflict fields out rather than deny them.
    QStringList keys = RowRecord::keys(false);
    QVariantList values = RowRecord::values(model, 0);
    for (const QString &conflict : {QStringLiteral("ipConflict"), QStringLiteral("hostnameConflict")}) {
        const qsizetype at = keys.indexOf(conflict);
        keys.removeAt(at);
        values.removeAt(at);
    }
    RecordTable output(keys);
    output.addRow(values);
    print(options.format == RecordTable::Format::Table ? output.toKeyValueText() : output.render(options.format));
    if (!info)
        message(QStringLiteral("the device did not send its information"));
    if (!config)
        message(QStringLiteral("the device did not send its configuration"));
    return Status::Success;
}

std::unique_ptr<DeviceLink> CommandRunner::openLink(const CommandLine::Options &options)
{
    const QList<DeviceLink::Interface> chosen = interfacesFor(options);
    if (chosen.isEmpty())
        return nullptr;
    auto link = options.allInterfaces ? std::make_unique<DeviceLink>(chosen)
                                      : std::make_unique<DeviceLink>(chosen.constFirst());
    QString error;
    if (!link->bind(&error)) {
        message(error);
        return nullptr;
    }
    return link;
}

QList<int> CommandRunner::chosenRows(const CommandLine::Options &options, const DeviceModel &model, bool *missing)
{
    if (options.all)
        return RowRecord::rowsByMac(model);
    QList<int> rows;
    for (const QString &mac : options.macs) {
        const int row = model.findRowByMac(mac);
        if (row < 0) {
            message(QStringLiteral("%1 did not answer").arg(mac));
            *missing = true;
        } else if (!rows.contains(row)) {
            rows.append(row);
        }
    }
    return rows;
}

bool CommandRunner::givenCredentials(const CommandLine::Options &options, Credentials *credentials)
{
    // Once read, the password has no business in the environment that anything started later
    // would inherit.
    std::optional<QString> fromEnvironment;
    if (qEnvironmentVariableIsSet(PasswordVariableName)) {
        fromEnvironment = qEnvironmentVariable(PasswordVariableName);
        qunsetenv(PasswordVariableName);
    }
    if (options.user.isEmpty()) {
        if (fromEnvironment)
            message(QStringLiteral("%1 is set but no --user is given; it is not used").arg(PasswordVariable));
        return true;
    }
    QString password;
    if (options.passwordStdin) {
        QString error;
        const std::optional<QString> line = readStdin ? readStdin(&error) : QString();
        if (!line) {
            message(error);
            return false;
        }
        password = *line;
    } else if (fromEnvironment) {
        password = *fromEnvironment;
    } else {
        message(QStringLiteral("--user needs the password on standard input (--password-stdin) or in %1")
                    .arg(PasswordVariable));
        return false;
    }
    const QString problem = ConfigCheck::credentials(options.user, password);
    if (!problem.isEmpty()) {
        message(QStringLiteral("credentials: ") + problem);
        return false;
    }
    // The store keeps the three texts joined with "|" and reads the user name up to the second
    // one: a password may hold "|", a user name may not.
    if (options.remember && options.user.contains(QLatin1Char('|'))) {
        message(QStringLiteral("--remember: the credential store cannot keep a user name with a \"|\""));
        return false;
    }
    *credentials = {Credentials::Source::CommandLine, options.user, password};
    return true;
}

int CommandRunner::set(const CommandLine::Options &options)
{
    const QStringList problems = options.change.check();
    if (!problems.isEmpty()) {
        for (const QString &problem : problems)
            message(problem);
        return fail(Status::BadInput, QStringLiteral("nothing was sent"));
    }
    Credentials credentials;
    if (!givenCredentials(options, &credentials))
        return fail(Status::BadInput, QStringLiteral("nothing was sent"));

    const std::unique_ptr<DeviceLink> link = openLink(options);
    if (!link)
        return Status::BadInput;
    PacketTransceiver *transceiver = link->transceiver();

    // The configuration the device runs with now: the base of the change, and its protocol
    // version decides the request.
    QString mac = options.macs.constFirst().toUpper();
    const auto readConfig = [transceiver, &mac] { transceiver->getNetworkConfig(mac); };
    readConfig();
    const auto reply = link->awaitReply(NetworkConfigReply, mac, options.waitMs, readConfig);
    if (!reply)
        return fail(Status::NoAnswer, QStringLiteral("the device %1 did not answer").arg(mac));
    // From here on the device is addressed, and its credentials kept, by its own MAC text.
    mac = MessageHeader::srcMacOf(*reply);
    const quint32 readResult = MessageHeader::resultCodeOf(*reply);
    if (readResult != Protocol::ResultOk)
        return fail(
            Status::Refused,
            QStringLiteral("the device %1 refused to report its configuration (%2)").arg(mac, resultText(readResult)));

    NetworkConfigBody config = options.change.applyTo(NetworkConfigBody::fromDatagram(*reply));
    config.macAddress = mac;
    const QStringList resultProblems = options.change.checkResult(config);
    if (!resultProblems.isEmpty()) {
        for (const QString &problem : resultProblems)
            message(problem);
        return fail(Status::BadInput, QStringLiteral("no change was sent"));
    }

    const bool needsCredentials = ConfigurationChange::needsCredentials(*reply);
    if (needsCredentials && credentials.source == Credentials::Source::None) {
        const QStringList stored = CredentialStore::loadLoginData(mac);
        if (stored.size() != 3)
            return fail(Status::BadInput,
                        QStringLiteral("the device %1 wants credentials and none are stored: give --user with "
                                       "--password-stdin or %2; no change was sent")
                            .arg(mac, PasswordVariable));
        credentials = {Credentials::Source::Store, stored.at(1), stored.at(2)};
    }
    if (!needsCredentials && credentials.source != Credentials::Source::None)
        message(QStringLiteral("the device %1 (protocol version %2) takes no credentials; they are not sent")
                    .arg(mac)
                    .arg(MessageHeader::protocolVersionOf(*reply)));

    // The change goes through the model's tracking, as the desktop program's does: the answer, the
    // restart of the device's network and the reading of its configuration afterwards.
    DeviceModel model;
    ConfigurationChange::connectTracking(transceiver, &model);
    model.onDeviceReplyReceived(*reply);

    ConfigurationChange change(transceiver, &model);
    change.setAnswerWait(options.waitMs);
    const bool remember =
        options.remember && needsCredentials && credentials.source == Credentials::Source::CommandLine;
    const QStringList sent =
        needsCredentials ? QStringList{mac, credentials.user, credentials.password} : QStringList();
    bool wasAccepted = false;
    QObject::connect(&change, &ConfigurationChange::accepted, &change, [&] {
        wasAccepted = true;
        if (remember && CredentialStore::loadLoginData(mac) == sent)
            message(QStringLiteral("credentials for %1 stored").arg(mac));
        message(QStringLiteral("the device %1 accepted the change and restarts its network; reading it again in %2 ms")
                    .arg(mac)
                    .arg(RereadDelay));
    });
    QEventLoop loop;
    ConfigurationChange::Outcome outcome = ConfigurationChange::Outcome::NoAnswer;
    QObject::connect(&change, &ConfigurationChange::finished, &loop, [&](ConfigurationChange::Outcome finished) {
        outcome = finished;
        loop.quit();
    });
    change.start(config, sent, remember);
    loop.exec();

    switch (outcome) {
    case ConfigurationChange::Outcome::AuthorizationFailed:
        // Stored credentials that the device refuses are forgotten, so that they are not tried
        // again; stored ones that were not what the device refused stay.
        if (change.credentialsForgotten())
            message(
                QStringLiteral("the stored credentials of %1 are not valid any more and have been forgotten").arg(mac));
        return fail(Status::AuthFailed, QStringLiteral("the device %1 refused the credentials").arg(mac));
    case ConfigurationChange::Outcome::NoAnswer:
        return fail(Status::NoAnswer, wasAccepted ? QStringLiteral("the device %1 did not answer after restarting its "
                                                                   "network")
                                                        .arg(mac)
                                                  : QStringLiteral("the device %1 did not answer the change").arg(mac));
    case ConfigurationChange::Outcome::Refused:
        if (!wasAccepted)
            return fail(
                Status::Refused,
                QStringLiteral("the device %1 refused the change (%2)").arg(mac, resultText(change.resultCode())));
        return fail(Status::Refused, QStringLiteral("the device %1 refused to report its new configuration (%2)")
                                         .arg(mac, resultText(MessageHeader::resultCodeOf(change.configuration()))));
    case ConfigurationChange::Outcome::Applied:
        break;
    }
    const QStringList differences =
        ConfigChange::differences(config, NetworkConfigBody::fromDatagram(change.configuration()));
    if (!differences.isEmpty()) {
        print(QStringLiteral("%1: not applied\n").arg(mac).toUtf8());
        for (const QString &difference : differences)
            message(difference);
        return fail(Status::Refused, QStringLiteral("the device %1 does not show the new values").arg(mac));
    }
    print(QStringLiteral("%1: applied\n").arg(mac).toUtf8());
    return Status::Success;
}

int CommandRunner::forget(const CommandLine::Options &options)
{
    const QString given = options.macs.constFirst();
    // Keys are the devices' own MAC texts; the user may type another letter case.
    QString key = given;
    if (!CredentialStore::contains(key)) {
        const QStringList keys = CredentialStore::storedKeys();
        for (const QString &stored : keys) {
            if (stored.compare(given, Qt::CaseInsensitive) == 0)
                key = stored;
        }
    }
    if (!CredentialStore::remove(key))
        return fail(Status::NoDevice, QStringLiteral("no credentials are stored for %1").arg(given));
    print(QStringLiteral("%1: stored credentials deleted\n").arg(key).toUtf8());
    return Status::Success;
}

int CommandRunner::exportConnections(const CommandLine::Options &options)
{
    const std::unique_ptr<DeviceLink> link = openLink(options);
    if (!link)
        return Status::BadInput;
    DeviceModel model;
    scanWith(link.get(), options, &model);
    recordHistory(*link, model, options);

    // The given order decides the order of the connections and which duplicate keeps its name,
    // as the selection order does in the desktop program.
    bool missing = false;
    QList<ConnectionExport::Entry> entries;
    for (const int row : chosenRows(options, model, &missing)) {
        if (model.isExportable(row)) {
            entries.append(model.exportEntry(row));
        } else if (!options.all) {
            message(QStringLiteral("%1 is not exportable (a Veltra device, or its information is missing)")
                        .arg(model.item(row, DeviceModel::MacAddressColumn)->text()));
            missing = true;
        }
    }
    if (entries.isEmpty())
        return fail(Status::NoDevice,
                    QStringLiteral("no device to export; %1 was not written").arg(options.outputFile));

    QString error;
    const int written = ConnectionExport::writeFile(options.outputFile, entries, &error);
    if (written < 0)
        return fail(Status::BadInput, QStringLiteral("cannot write %1: %2").arg(options.outputFile, error));
    print(QStringLiteral("%1 connection(s) exported to %2\n").arg(written).arg(options.outputFile).toUtf8());
    return missing ? Status::NoDevice : Status::Success;
}

int CommandRunner::plan(const CommandLine::Options &options)
{
    const std::unique_ptr<DeviceLink> link = openLink(options);
    if (!link)
        return Status::BadInput;
    DeviceModel model;
    scanWith(link.get(), options, &model);
    recordHistory(*link, model, options);

    // The given order decides the addresses and counters, as the selection order does for export.
    bool missing = false;
    const QList<int> rows = chosenRows(options, model, &missing);
    // A row names the device by its own MAC text. A device whose configuration was not read has
    // nothing that its empty cells could keep: it is left out, as the check would refuse it.
    QStringList macs;
    for (const int row : std::as_const(rows)) {
        const QString mac = model.item(row, DeviceModel::MacAddressColumn)->text();
        if (DevicePlan::currentConfig(model, mac)) {
            macs.append(mac);
        } else {
            message(QStringLiteral("the configuration of %1 was not read (scan again, or with --repeat); it is left "
                                   "out")
                        .arg(mac));
            missing = true;
        }
    }
    const QString notWritten =
        options.outputFile.isEmpty() ? QString() : QStringLiteral("; %1 was not written").arg(options.outputFile);
    if (macs.isEmpty())
        return fail(Status::NoDevice, QStringLiteral("no device to plan") + notWritten);

    const ConfigChange &change = options.change;
    PlanMaker::Settings settings;
    settings.dhcp = !change.ip;
    settings.firstAddress = change.ip.value_or(QString());
    settings.mask = change.mask.value_or(QString());
    settings.gateway = change.gateway.value_or(QString());
    settings.domain = change.domain.value_or(QString());
    settings.dns1 = change.dns1.value_or(QString());
    settings.dns2 = change.dns2.value_or(QString());
    settings.hostNameTemplate = change.hostName.value_or(QString());
    settings.firstNumber = options.firstNumber;
    QString error;
    DevicePlan plan = PlanMaker::make(macs, model, settings, &error);
    if (!error.isEmpty())
        return fail(Status::BadInput, QStringLiteral("no plan: ") + error + notWritten);
    if (!change.dhcp && !change.ip) {
        // Neither --dhcp nor --first-ip: every device keeps its DHCP or static setting.
        QList<DevicePlan::Row> planRows = plan.rows();
        for (DevicePlan::Row &row : planRows)
            row.config.clear();
        plan = DevicePlan(planRows);
    }

    // Checked as written, so that each problem names its line as a later reading of the file would.
    const QByteArray csv = plan.toCsv();
    QList<DevicePlan::Problem> problems;
    const DevicePlan written = DevicePlan::fromCsv(csv, &problems);
    problems += PlanCheck(written, model).problems();
    for (const DevicePlan::Problem &problem : std::as_const(problems))
        message(problem.toString());

    // A plan with problems is still written: it is a proposal to edit, and it is checked again
    // before it is applied.
    if (options.outputFile.isEmpty()) {
        print(csv);
    } else {
        if (!OutputFile::write(options.outputFile, csv, &error))
            return fail(Status::BadInput, QStringLiteral("cannot write %1: %2").arg(options.outputFile, error));
        print(QStringLiteral("%1 device(s) planned in %2\n").arg(macs.size()).arg(options.outputFile).toUtf8());
    }
    if (!problems.isEmpty())
        return fail(Status::BadInput,
                    QStringLiteral("the plan has %1 problem(s) and cannot be applied as it is; edit it or make it "
                                   "with other values")
                        .arg(problems.size()));
    return missing ? Status::NoDevice : Status::Success;
}

int CommandRunner::apply(const CommandLine::Options &options)
{
    // The plan first: a file that cannot be read, or has problems of its own, costs not even a scan.
    QFile file(options.planFile);
    if (!file.open(QIODevice::ReadOnly)) {
        if (options.planAfterPasswordFlag)
            return fail(Status::BadInput, QStringLiteral("cannot read the plan file given after --password-stdin "
                                                         "(which takes no value: the password is read from standard "
                                                         "input): %1")
                                              .arg(file.errorString()));
        return fail(Status::BadInput, QStringLiteral("cannot read %1: %2").arg(options.planFile, file.errorString()));
    }
    // One byte beyond the limit tells an overlong file from one that just fits, without reading it all.
    const QByteArray csv = file.read(DevicePlan::MaxCsvBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(Status::BadInput, QStringLiteral("cannot read %1: %2").arg(options.planFile, file.errorString()));
    QList<DevicePlan::Problem> problems;
    const DevicePlan plan = DevicePlan::fromCsv(csv, &problems);
    if (problems.isEmpty() && plan.rows().isEmpty())
        problems.append({0, 0, QString(), QStringLiteral("the plan names no device")});
    for (const DevicePlan::Problem &problem : std::as_const(problems))
        message(options.planFile + QStringLiteral(": ") + problem.toString());
    if (!problems.isEmpty())
        return fail(Status::BadInput, QStringLiteral("nothing was sent"));
    Credentials credentials;
    if (!givenCredentials(options, &credentials))
        return fail(Status::BadInput, QStringLiteral("nothing was sent"));

    const std::unique_ptr<DeviceLink> link = openLink(options);
    if (!link)
        return Status::BadInput;
    DeviceModel model;
    scanWith(link.get(), options, &model);
    recordHistory(*link, model, options);
    if (model.rowCount() == 0)
        return fail(Status::NoDevice, QStringLiteral("no device answered; nothing was sent"));

    problems = PlanCheck(plan, model).problems();
    for (const DevicePlan::Problem &problem : std::as_const(problems))
        message(options.planFile + QStringLiteral(": ") + problem.toString());
    if (!problems.isEmpty())
        return fail(Status::BadInput,
                    QStringLiteral("the plan has %1 problem(s); nothing was sent but the scan").arg(problems.size()));
    // Asked for before the first device rather than found missing halfway through the plan.
    const QStringList needing = PlanRun::needingCredentials(plan, model);
    if (!needing.isEmpty() && credentials.source == Credentials::Source::None)
        return fail(Status::BadInput, QStringLiteral("%1 take(s) changes only with credentials and none are stored: "
                                                     "give --user with --password-stdin or %2; nothing was sent but "
                                                     "the scan")
                                          .arg(needing.join(QLatin1String(", ")), PasswordVariable));
    if (needing.isEmpty() && credentials.source != Credentials::Source::None)
        message(QStringLiteral("no device of the plan needs the given credentials; they are not sent"));

    if (options.dryRun) {
        QStringList keys{QStringLiteral("mac"), QStringLiteral("request"), QStringLiteral("credentials")};
        keys += DevicePlan::fieldNames().mid(1);
        RecordTable output(keys);
        for (const DevicePlan::Row &row : plan.rows()) {
            const int at = model.findRowByMac(row.mac);
            const QString mac = model.item(at, DeviceModel::MacAddressColumn)->text();
            const QByteArray current =
                model.item(at, DeviceModel::MacAddressColumn)->data(DeviceModel::ConfigDatagramRole).toByteArray();
            const bool authenticated = ConfigurationChange::needsCredentials(current);
            const NetworkConfigBody sent = DevicePlan::valuesToSend(row, NetworkConfigBody::fromDatagram(current));
            QVariantList values{
                mac, authenticated ? QStringLiteral("SetNetworkConfigAuth") : QStringLiteral("SetNetworkConfig"),
                !authenticated                   ? QVariant()
                : CredentialStore::contains(mac) ? QStringLiteral("stored")
                                                 : QStringLiteral("given")};
            for (const QString &value :
                 {sent.hostName, sent.isDhcp() ? QStringLiteral("DHCP") : QStringLiteral("static"), sent.ipAddress,
                  sent.subnetMask, sent.gateway, sent.domain, sent.primaryDns, sent.secondaryDns})
                values.append(value);
            output.addRow(values);
        }
        print(output.render(options.format));
        return Status::Success;
    }

    // Each change goes through the model's tracking, as in the desktop program.
    PacketTransceiver *transceiver = link->transceiver();
    ConfigurationChange::connectTracking(transceiver, &model);
    PlanRun run(transceiver, &model);
    run.setAnswerWait(options.waitMs);
    run.setParallel(options.parallel);
    if (credentials.source == Credentials::Source::CommandLine)
        run.setCredentials(credentials.user, credentials.password, options.remember);
    QObject::connect(
        &run, &PlanRun::deviceFinished, &run,
        [this, &run](int, const QString &mac, PlanRun::Outcome, const QString &detail) {
            // Devices under way at once finish in any order: the count is of those done.
            message(QStringLiteral("[%1/%2] %3: %4").arg(run.results().size()).arg(run.deviceCount()).arg(mac, detail));
        });
    // A first Ctrl-C (or SIGTERM) lets the devices under way finish their change, so that none is
    // left halfway through its restart unwatched; a second one ends the program at once.
    int stopSignal = 0;
    SignalWatcher stopRequests;
    QObject::connect(&stopRequests, &SignalWatcher::terminationRequested, &run, [this, &run, &stopSignal](int number) {
        stopSignal = number;
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        run.cancel();
        message(QStringLiteral("stopping: no further device is started; those under way finish first (a second "
                               "signal ends at once)"));
    });
    QEventLoop loop;
    QObject::connect(&run, &PlanRun::finished, &loop, &QEventLoop::quit);
    run.start(plan);
    loop.exec();

    RecordTable output(PlanRun::resultKeys());
    for (const PlanRun::Result &result : run.results()) {
        const QStringList record = PlanRun::resultRecord(result);
        // The reported values are no values at all when nothing was read back; the config cell
        // is never empty in a configuration that was.
        const bool readBack = !record.at(4).isEmpty();
        QVariantList values;
        for (int i = 0; i < record.size(); ++i)
            values.append(i < 3 || readBack ? QVariant(record.at(i)) : QVariant());
        output.addRow(values);
    }
    print(output.render(options.format));
    if (run.wasCancelled()) {
        message(QStringLiteral("stopped: %1 of %2 devices were not taken up")
                    .arg(run.deviceCount() - run.results().size())
                    .arg(run.deviceCount()));
        // As a shell reports a program that a signal ended.
        return 128 + stopSignal;
    }
    return statusOf(PlanRun::worstOutcome(run.results()));
}

int CommandRunner::history(const CommandLine::Options &options)
{
    // Reading creates nothing: without a file there is no history yet.
    const QString path = HistoryStore::defaultPath();
    if (!QFile::exists(path))
        return fail(Status::NoDevice, QStringLiteral("no device history yet (%1): scan, export, plan and apply "
                                                     "record what they find")
                                          .arg(path));
    HistoryStore store(path);
    if (!store.open())
        return fail(Status::BadInput, historyMessage(store.errorString()));
    if (!store.setAsidePath().isEmpty())
        return fail(Status::BadInput, historyMessage(store.notice()));

    if (!options.macs.isEmpty()) {
        const QString mac = options.macs.constFirst();
        const std::optional<KnownDevice> device = store.device(mac);
        if (!device)
            return fail(Status::NoDevice, QStringLiteral("the device history does not know %1").arg(mac));
        RecordTable values(knownDeviceKeys());
        values.addRow(knownDeviceValues(*device));
        RecordTable events({QStringLiteral("time"), QStringLiteral("event"), QStringLiteral("field"),
                            QStringLiteral("old"), QStringLiteral("new")});
        for (const HistoryEvent &event : store.events(device->mac))
            events.addRow(eventValues(event, false));
        switch (options.format) {
        case RecordTable::Format::Table:
            print(values.toKeyValueText() + '\n' + events.toText());
            break;
        case RecordTable::Format::Csv:
            print(values.toCsv() + "\r\n" + events.toCsv());
            break;
        case RecordTable::Format::Json: {
            QJsonObject object = QJsonDocument::fromJson(values.toJson()).array().first().toObject();
            object.insert(QStringLiteral("events"), QJsonDocument::fromJson(events.toJson()).array());
            print(QJsonDocument(object).toJson(QJsonDocument::Indented));
            break;
        }
        }
        return Status::Success;
    }

    if (options.events) {
        const QList<HistoryEvent> events = store.events();
        RecordTable output({QStringLiteral("time"), QStringLiteral("mac"), QStringLiteral("event"),
                            QStringLiteral("field"), QStringLiteral("old"), QStringLiteral("new")});
        for (const HistoryEvent &event : events)
            output.addRow(eventValues(event, true));
        print(output.render(options.format));
        if (events.isEmpty())
            return fail(Status::NoDevice, QStringLiteral("the device history holds no event"));
        return Status::Success;
    }

    QList<KnownDevice> devices = store.devices();
    std::sort(devices.begin(), devices.end(),
              [](const KnownDevice &a, const KnownDevice &b) { return a.mac.compare(b.mac, Qt::CaseInsensitive) < 0; });
    RecordTable output(knownDeviceKeys());
    for (const KnownDevice &device : std::as_const(devices))
        output.addRow(knownDeviceValues(device));
    print(output.render(options.format));
    if (devices.isEmpty())
        return fail(Status::NoDevice, QStringLiteral("the device history knows no device"));
    return Status::Success;
}

int CommandRunner::watch(const CommandLine::Options &options)
{
    const std::unique_ptr<DeviceLink> link = openLink(options);
    if (!link)
        return Status::BadInput;
    // Without the file, the watch still needs a memory of the previous scan.
    std::unique_ptr<HistoryStore> store = options.noHistory ? nullptr : openHistory();
    const auto inMemory = [this] {
        auto memory = std::make_unique<HistoryStore>(QStringLiteral(":memory:"));
        if (!memory->open()) {
            message(historyMessage(memory->errorString()));
            return std::unique_ptr<HistoryStore>();
        }
        return memory;
    };
    if (!store)
        store = inMemory();
    if (!store)
        return Status::BadInput;

    // A stop request ends the scan under way or the pause at once; a scan cut short is not
    // recorded, as its missing devices have not gone.
    bool stopping = false;
    QEventLoop pause;
    QTimer nextScan;
    nextScan.setSingleShot(true);
    nextScan.setTimerType(Qt::PreciseTimer);
    QObject::connect(&nextScan, &QTimer::timeout, &pause, &QEventLoop::quit);
    SignalWatcher stopRequests;
    QObject::connect(&stopRequests, &SignalWatcher::terminationRequested, &pause, [&stopping, &link, &pause](int) {
        // A second one ends the program at once, should anything still hold it up.
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        stopping = true;
        link->abort();
        pause.quit();
    });

    const QStringList scanned = link->interfaceNames();
    QList<DeviceSnapshot> previous;
    QDateTime previousTime;
    const qint64 intervalMs = qint64(options.intervalSeconds.value_or(CommandLine::DefaultIntervalSeconds)) * 1000;
    while (!stopping) {
        const QDeadlineTimer next(intervalMs, Qt::PreciseTimer);
        DeviceModel model;
        scanWith(link.get(), options, &model);
        if (link->isAborted())
            break;
        const QList<DeviceSnapshot> snapshots = snapshotsOf(*link, model);
        const QDateTime time = QDateTime::currentDateTimeUtc();
        QList<HistoryEvent> events = store->recordScan(snapshots, scanned, time);
        if (!store->isOpen()) {
            // The file failed: the watch goes on in memory from the previous scan, reporting nothing twice.
            message(historyMessage(store->errorString()));
            store = inMemory();
            if (!store)
                return Status::BadInput;
            if (!previousTime.isNull())
                store->recordScan(previous, scanned, previousTime);
            events = store->recordScan(snapshots, scanned, time);
        }
        QHash<QString, QString> interfaces;
        for (const DeviceSnapshot &snapshot : snapshots)
            interfaces.insert(snapshot.mac.toUpper(), snapshot.interfaceName);
        for (const HistoryEvent &event : std::as_const(events)) {
            QString interfaceName = interfaces.value(event.mac.toUpper());
            if (event.kind == HistoryEvent::Kind::Disappeared) {
                if (const auto known = store->device(event.mac))
                    interfaceName = known->interfaceName;
            }
            QJsonObject line{
                {QStringLiteral("event"), HistoryEvent::kindName(event.kind)},
                {QStringLiteral("mac"), event.mac},
                {QStringLiteral("time"), timeText(event.time)},
                {QStringLiteral("interface"), interfaceName.isEmpty() ? QJsonValue() : QJsonValue(interfaceName)}};
            if (event.kind == HistoryEvent::Kind::Changed) {
                line.insert(QStringLiteral("field"), event.field);
                line.insert(QStringLiteral("old"), event.oldValue);
                line.insert(QStringLiteral("new"), event.newValue);
            }
            // One write per line: a stop between two lines never leaves half of one.
            print(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
        }
        previous = snapshots;
        previousTime = time;
        if (!stopping && !next.hasExpired()) {
            nextScan.start(int(next.remainingTime()));
            pause.exec();
        }
    }
    return Status::Success;
}
