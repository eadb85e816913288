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

// The values in the order of the plan's columns after the MAC, as the device reports them; `sent`
// ones cut as the device's fixed-width fields store them.
QStringList reported(const NetworkConfigBody &body, bool sent)
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

// `ip shows "10.0.0.7", expected "10.0.0.9"; ...` for the differing fields.
QString describe(const QStringList &fields, const NetworkConfigBody &sent, const NetworkConfigBody &seen)
{
    const QStringList names = DevicePlan::fieldNames().mid(1);
    const QStringList expected = reported(sent, true);
    const QStringList shown = reported(seen, false);
    QStringList parts;
    for (const QString &field : fields) {
        const int at = int(names.indexOf(field));
        parts.append(QStringLiteral("%1 shows \"%2\", expected \"%3\"").arg(field, shown.at(at), expected.at(at)));
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

void PlanRun::start(const DevicePlan &plan)
{
    if (running)
        return;
    planRows = plan.rows();
    done.clear();
    running = true;
    cancelled = false;
    QTimer::singleShot(0, this, &PlanRun::startNext);
}

void PlanRun::cancel()
{
    if (running)
        cancelled = true;
}

void PlanRun::startNext()
{
    const int index = int(done.size());
    if (cancelled || index >= planRows.size()) {
        running = false;
        emit finished(cancelled);
        return;
    }
    const DevicePlan::Row &row = planRows.at(index);
    current = Result();
    current.mac = tableMac(*model, row.mac);
    accepted = false;
    usingRunCredentials = false;
    emit deviceStarted(index, int(planRows.size()), current.mac);

    const std::optional<NetworkConfigBody> config = DevicePlan::currentConfig(*model, current.mac);
    if (!config) {
        current.outcome = Outcome::Refused;
        current.detail = tr("not sent: the table holds no configuration of the device");
        finishDevice(current);
        return;
    }
    QStringList credentials;
    if (needsCredentials(*model, current.mac)) {
        credentials = CredentialStore::loadLoginData(current.mac);
        if (credentials.isEmpty() && !runCredentials.isEmpty()) {
            credentials = QStringList{current.mac} + runCredentials;
            usingRunCredentials = true;
        }
        if (credentials.isEmpty()) {
            current.outcome = Outcome::AuthorizationFailed;
            current.detail = tr("not sent: the device takes changes only with credentials, and none are stored or "
                                "given");
            finishDevice(current);
            return;
        }
    }
    current.sent = DevicePlan::valuesToSend(row, *config);
    change = new ConfigurationChange(transceiver, model, this);
    change->setAnswerWait(answerWait);
    connect(change, &ConfigurationChange::accepted, this, [this] { accepted = true; });
    connect(change, &ConfigurationChange::finished, this, &PlanRun::onChangeFinished);
    change->start(current.sent, credentials, usingRunCredentials && rememberCredentials);
}

void PlanRun::onChangeFinished(ConfigurationChange::Outcome outcome)
{
    Result result = current;
    result.readBack = change->configuration();
    result.credentialsForgotten = change->credentialsForgotten();
    const QString code = QString::number(change->resultCode());
    change->deleteLater();
    change = nullptr;

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
        result.detail = accepted ? tr("accepted, but refused to report its configuration afterwards (result code %1)")
                                       .arg(MessageHeader::resultCodeOf(result.readBack))
                                 : tr("refused the change (result code %1)").arg(code);
        break;
    case ConfigurationChange::Outcome::AuthorizationFailed:
        result.outcome = Outcome::AuthorizationFailed;
        result.detail = usingRunCredentials           ? tr("refused the credentials given for the run")
                        : result.credentialsForgotten ? tr("refused its stored credentials, which are forgotten now")
                                                      : tr("refused the stored credentials");
        break;
    case ConfigurationChange::Outcome::NoAnswer:
        result.outcome = Outcome::NoAnswer;
        result.detail = accepted ? tr("accepted, but did not answer after restarting its network")
                                 : tr("did not answer the change");
        break;
    }
    finishDevice(result);
}

void PlanRun::finishDevice(Result result)
{
    done.append(result);
    emit deviceFinished(int(done.size()) - 1, result.mac, result.outcome, result.detail);
    // The next device is taken up from the event loop: a long plan whose devices all finish
    // without sending does not nest one call in another.
    QTimer::singleShot(0, this, &PlanRun::startNext);
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
    const QStringList expected = reported(sent, true);
    const QStringList shown = reported(seen, false);
    // A device on DHCP takes its addresses from its server: only its host name and mode count.
    const int compared = sent.isDhcp() ? 2 : int(expected.size());
    for (int field = 0; field < compared; ++field) {
        if (expected.at(field) != shown.at(field))
            fields.append(DevicePlan::fieldNames().at(field + 1));
    }
    return fields;
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
        record += reported(NetworkConfigBody::fromDatagram(result.readBack), false);
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
