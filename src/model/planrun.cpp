// SPDX-License-Identifier: Apache-2.0
#include "model/planrun.h"

#include "model/csvtext.h"
#include "model/devicemodel.h"
#include "protocol/messageheader.h"
#include "settings/credentialstore.h"

#include <QTimer>

#include <algorithm>

namespace {

// A text as the device's fixed-width field gives it back: Latin-1, cut to width - 1.
QString asStored(const QString &text, int width)
{
    return QString::fromLatin1(text.toLatin1().left(width - 1));
}

// The device's own MAC text as the table holds it: its credentials are stored under it.
QString tableMac(const DeviceModel &model, const QString &mac)
{
    const int row = model.findRowByMac(mac);
    return row < 0 ? mac : model.item(row, DeviceModel::MacAddressColumn)->text();
}

bool needsCredentials(const DeviceModel &model, const QString &mac)
{
    const int row = model.findRowByMac(mac);
    return row >= 0 &&
           ConfigurationChange::needsCredentials(
               model.item(row, DeviceModel::MacAddressColumn)->data(DeviceModel::ConfigDatagramRole).toByteArray());
}

// `ip shows "10.0.0.7", expected "10.0.0.9"; ...` for the differing fields.
QString describe(const QStringList &fields, const NetworkConfigBody &sent, const NetworkConfigBody &seen)
{
    const QStringList names = DevicePlan::fieldNames().mid(1);
    const QStringList expected = PlanRun::reportedValues(sent, true);
    const QStringList shown = PlanRun::reportedValues(seen, false);
    QStringList parts;
    for (const QString &field : fields) {
        const int at = int(names.indexOf(field));
        parts.append(PlanRun::tr("%1 shows \"%2\", expected \"%3\"").arg(field, shown.at(at), expected.at(at)));
    }
    return parts.join(QLatin1String("; "));
}

} // namespace

PlanRun::PlanRun(PacketTransceiver *transceiver, DeviceModel *model, QObject *parent)
    : QObject(parent), transceiver(transceiver), model(model), answerWait(DeviceModel::AnswerTimeout)
{}

void PlanRun::setCredentials(const QString &userName, const QString &password, bool remember)
{
    runCredentials = userName.isEmpty() && password.isEmpty() ? QStringList() : QStringList{userName, password};
    rememberCredentials = remember;
}

void PlanRun::setAnswerWait(int msecs)
{
    answerWait = msecs;
}

QStringList PlanRun::needingCredentials(const DevicePlan &plan, const DeviceModel &model)
{
    QStringList macs;
    for (const DevicePlan::Row &row : plan.rows()) {
        const QString mac = tableMac(model, row.mac);
        if (needsCredentials(model, mac) && !CredentialStore::contains(mac))
            macs.append(mac);
    }
    return macs;
}

void PlanRun::setParallel(int devices)
{
    parallel = std::clamp(devices, 1, int(MaxParallel));
}

void PlanRun::start(const DevicePlan &plan)
{
    if (running)
        return;
    planRows = plan.rows();
    done.clear();
    doneIndexes.clear();
    nextIndex = 0;
    starting = 0;
    running = true;
    cancelled = false;
    QTimer::singleShot(0, this, &PlanRun::startMore);
}

void PlanRun::cancel()
{
    if (running)
        cancelled = true;
}

void PlanRun::startMore()
{
    if (!running)
        return;
    while (!cancelled && starting < parallel && nextIndex < planRows.size())
        startDevice(nextIndex++);
    if (starting == 0 && (cancelled || nextIndex >= planRows.size())) {
        running = false;
        emit finished(cancelled);
    }
}

void PlanRun::startDevice(int index)
{
    const DevicePlan::Row &row = planRows.at(index);
    Underway device;
    device.index = index;
    device.result.mac = tableMac(*model, row.mac);
    const QString &mac = device.result.mac;
    ++starting;
    emit deviceStarted(index, int(planRows.size()), mac);

    const std::optional<NetworkConfigBody> config = DevicePlan::currentConfig(*model, mac);
    if (!config) {
        device.result.outcome = Outcome::Refused;
        device.result.detail = tr("not sent: the table holds no configuration of the device");
        finishDevice(index, device.result);
        return;
    }
    if (needsCredentials(*model, mac)) {
        device.credentials = CredentialStore::loadLoginData(mac);
        if (device.credentials.isEmpty() && !runCredentials.isEmpty()) {
            device.credentials = QStringList{mac} + runCredentials;
            device.usingRunCredentials = true;
        }
        if (device.credentials.isEmpty()) {
            device.result.outcome = Outcome::AuthorizationFailed;
            device.result.detail = tr("not sent: the device takes changes only with credentials, and none are "
                                      "stored or given");
            finishDevice(index, device.result);
            return;
        }
    }
    device.result.sent = DevicePlan::valuesToSend(row, *config);
    auto *change = new ConfigurationChange(transceiver, model, this);
    change->setAnswerWait(answerWait);
    connect(change, &ConfigurationChange::accepted, this, [this, change] { onAccepted(change); });
    connect(change, &ConfigurationChange::finished, this,
            [this, change](ConfigurationChange::Outcome outcome) { onChangeFinished(change, outcome); });
    const NetworkConfigBody sent = device.result.sent;
    const QStringList credentials = device.credentials;
    underway.insert(change, device);
    change->start(sent, credentials);
}

void PlanRun::onAccepted(ConfigurationChange *change)
{
    const auto device = underway.find(change);
    if (device == underway.end())
        return;
    device->accepted = true;
    if (device->usingRunCredentials && rememberCredentials)
        CredentialStore::saveLoginData(device->credentials);
}

void PlanRun::onChangeFinished(ConfigurationChange *change, ConfigurationChange::Outcome outcome)
{
    const Underway device = underway.take(change);
    Result result = device.result;
    result.readBack = change->configuration();
    result.credentialsForgotten = change->credentialsForgotten();
    const QString code = QString::number(change->resultCode());
    change->deleteLater();

    switch (outcome) {
    case ConfigurationChange::Outcome::Applied: {
        const NetworkConfigBody seen = NetworkConfigBody::fromDatagram(result.readBack);
        result.differences = differences(result.sent, seen);
        result.outcome = result.differences.isEmpty() ? Outcome::Applied : Outcome::Differs;
        result.detail =
            result.differences.isEmpty()
                ? tr("applied")
                : tr("accepted, but after its restart %1").arg(describe(result.differences, result.sent, seen));
        break;
    }
    case ConfigurationChange::Outcome::Refused:
        result.outcome = Outcome::Refused;
        result.detail = device.accepted
                            ? tr("accepted, but refused to report its configuration afterwards (result code %1)")
                                  .arg(MessageHeader::resultCodeOf(result.readBack))
                            : tr("refused the change (result code %1)").arg(code);
        break;
    case ConfigurationChange::Outcome::AuthorizationFailed:
        result.outcome = Outcome::AuthorizationFailed;
        result.detail = device.usingRunCredentials    ? tr("refused the credentials given for the run")
                        : result.credentialsForgotten ? tr("refused its stored credentials, which are forgotten now")
                                                      : tr("refused the stored credentials");
        break;
    case ConfigurationChange::Outcome::NoAnswer:
        result.outcome = Outcome::NoAnswer;
        result.detail = device.accepted ? tr("accepted, but did not answer after restarting its network")
                                        : tr("did not answer the change");
        break;
    }
    finishDevice(device.index, result);
}

void PlanRun::finishDevice(int index, const Result &result)
{
    const auto at = std::lower_bound(doneIndexes.begin(), doneIndexes.end(), index);
    const qsizetype position = at - doneIndexes.begin();
    doneIndexes.insert(position, index);
    done.insert(position, result);
    --starting;
    emit deviceFinished(index, result.mac, result.outcome, result.detail);
    // The next devices are taken up from the event loop: a long plan whose devices all finish
    // without sending does not nest one call in another.
    QTimer::singleShot(0, this, &PlanRun::startMore);
}

PlanRun::Outcome PlanRun::worstOutcome(const QList<Result> &results)
{
    Outcome worst = Outcome::Applied;
    for (const Result &result : results)
        worst = std::max(worst, result.outcome);
    return worst;
}

QStringList PlanRun::differences(const NetworkConfigBody &sent, const NetworkConfigBody &seen)
{
    QStringList fields;
    const QStringList expected = PlanRun::reportedValues(sent, true);
    const QStringList shown = PlanRun::reportedValues(seen, false);
    // A device on DHCP takes its addresses from its server: only its host name and mode count.
    const int compared = sent.isDhcp() ? 2 : int(expected.size());
    for (int field = 0; field < compared; ++field) {
        if (expected.at(field) != shown.at(field))
            fields.append(DevicePlan::fieldNames().at(field + 1));
    }
    return fields;
}

QStringList PlanRun::reportedValues(const NetworkConfigBody &body, bool sent)
{
    using Width = NetworkConfigBody::Width;
    return {sent ? asStored(body.hostName, Width::HostNameWidth) : body.hostName,
            body.isDhcp() ? QStringLiteral("DHCP") : QStringLiteral("static"),
            body.ipAddress,
            body.subnetMask,
            body.gateway,
            sent ? asStored(body.domain, Width::DomainWidth) : body.domain,
            body.primaryDns,
            body.secondaryDns};
}

QString PlanRun::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Applied:
        return QStringLiteral("applied");
    case Outcome::AuthorizationFailed:
        return QStringLiteral("authorization failed");
    case Outcome::NoAnswer:
        return QStringLiteral("no answer");
    case Outcome::Refused:
        return QStringLiteral("refused");
    case Outcome::Differs:
        return QStringLiteral("differs");
    }
    return QString();
}

QStringList PlanRun::resultKeys()
{
    return QStringList{QStringLiteral("mac"), QStringLiteral("outcome"), QStringLiteral("detail")} +
           DevicePlan::fieldNames().mid(1);
}

QStringList PlanRun::resultRecord(const Result &result)
{
    QStringList record{result.mac, outcomeName(result.outcome), result.detail};
    if (result.readBack.isEmpty() || MessageHeader::resultCodeOf(result.readBack) != Protocol::ResultOk) {
        for (int i = 1; i < DevicePlan::fieldNames().size(); ++i)
            record.append(QString());
    } else {
        record += PlanRun::reportedValues(NetworkConfigBody::fromDatagram(result.readBack), false);
    }
    return record;
}

QByteArray PlanRun::resultsToCsv(const QList<Result> &results)
{
    QString text = CsvText::line(resultKeys());
    for (const Result &result : results) {
        QStringList cells;
        for (const QString &value : resultRecord(result))
            cells.append(CsvText::textField(value));
        // Each cell is already quoted where it must be.
        text += cells.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return text.toUtf8();
}
