// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "model/configurationchange.h"
#include "model/deviceplan.h"
#include "protocol/networkconfigbody.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class DeviceModel;
class PacketTransceiver;

// Applies a plan that PlanCheck has accepted, a few devices at a time, each through a
// ConfigurationChange (request, restart, reading after the restart). Devices are taken up in plan
// order; a device's restart is seen through before its place goes to the next one. It runs on the
// event loop only; the caller wires the model and the transceiver as for a single change and
// connects before start().
//
// The values to send are built when a device's turn comes, on the configuration the table shows
// then. A device that takes changes only with credentials gets its stored ones, else the ones
// given to the run; with neither, nothing is sent to it. Stored credentials that a device refuses
// are forgotten by the model and not followed by the run's: the next run tries those.
//
// Each change spends most of its time waiting for the device's restart (5000 ms and more), so
// devices in parallel cut a plan's time nearly by their number; each device hears only the requests
// addressed to its own MAC. Credentials to remember are stored by the run itself when a device
// accepts them: the model's slot for them holds one device only.
class PlanRun : public QObject
{
    Q_OBJECT

public:
    // In rising order of gravity, so that a run's worst outcome is the greatest. veltra-find maps
    // them as `set` does: Applied 0, AuthorizationFailed 3, NoAnswer 4, Refused and Differs 5; a
    // plan's exit status is that of its worst outcome, which keeps the order of the statuses.
    // Differs ranks above Refused: that device took values it does not show, a refusing one kept
    // what it had.
    enum class Outcome {
        Applied,             // the configuration read after the restart shows what was sent
        AuthorizationFailed, // the device refused the credentials, or none were there to send
        NoAnswer,            // no answer to the request, or none to the reading after the restart
        Refused,             // refused the change, would not report its configuration afterwards, or
                             // nothing sent: the table held no configuration of it
        Differs,             // accepted, but the configuration read after the restart differs
    };
    Q_ENUM(Outcome)

    struct Result
    {
        QString mac; // as the table shows it
        Outcome outcome = Outcome::NoAnswer;
        QString detail;                    // one line for a dialog or a terminal
        QStringList differences;           // Differs: the fields, by their CSV column names
        NetworkConfigBody sent;            // empty when nothing was sent
        QByteArray readBack;               // the configuration reply read after the restart, if any
        bool credentialsForgotten = false; // refused stored credentials, forgotten by the model
    };

    static constexpr int DefaultParallel = 4;
    static constexpr int MaxParallel = 16;

    explicit PlanRun(PacketTransceiver *transceiver, DeviceModel *model, QObject *parent = nullptr);

    // The credentials for devices that need them and have none stored; `remember` stores them per
    // device once it accepts them.
    void setCredentials(const QString &userName, const QString &password, bool remember = false);
    // How long each answer may take; see ConfigurationChange::setAnswerWait.
    void setAnswerWait(int msecs);
    // How many devices are under way at most at a time, 1 to MaxParallel.
    void setParallel(int devices);

    // The devices of a plan (as the table shows their MACs) that need credentials and have none
    // stored: without credentials given to the run, nothing would be sent to them. For asking once
    // before the run starts.
    static QStringList needingCredentials(const DevicePlan &plan, const DeviceModel &model);

    // Starts the run; the first device is taken up once the event loop runs. Ignored while running.
    void start(const DevicePlan &plan);
    // No further device is started; those under way go on to their outcomes, then finished().
    void cancel();

    bool isRunning() const { return running; }
    bool wasCancelled() const { return cancelled; }
    int deviceCount() const { return int(planRows.size()); }
    // One per finished device, in plan order; a cancelled run has fewer than deviceCount().
    // Devices under way at once may finish in another order than they started.
    const QList<Result> &results() const { return done; }

    // The outcome's word in veltra-find's output and in saved outcomes: "applied", "refused",
    // "authorization failed", "no answer" or "differs".
    static QString outcomeName(Outcome outcome);
    // The columns of an outcome record: "mac", "outcome", "detail", then the plan's columns after
    // the MAC with the values the device reported after its restart.
    static QStringList resultKeys();
    // A result under resultKeys(); the reported values are empty when nothing was read back.
    static QStringList resultRecord(const Result &result);
    // The outcomes as CSV with resultKeys() as header; device texts kept from being taken for
    // formulas.
    static QByteArray resultsToCsv(const QList<Result> &results);

    // The greatest outcome of `results`; Applied for none.
    static Outcome worstOutcome(const QList<Result> &results);
    // The values in the order of the plan's columns after the MAC, as the device reports them;
    // `sent` ones cut as the device's fixed-width fields store them.
    static QStringList reportedValues(const NetworkConfigBody &body, bool sent);
    // The fields, by their CSV column names, in which `seen` does not show what was `sent`. A
    // device on DHCP takes its addresses from its server: only its host name and mode count.
    static QStringList differences(const NetworkConfigBody &sent, const NetworkConfigBody &seen);

signals:
    // Device `index` (0-based, in plan order) of `count` is taken up.
    void deviceStarted(int index, int count, const QString &mac);
    // Device `index` has its outcome; results() holds it now.
    void deviceFinished(int index, const QString &mac, PlanRun::Outcome outcome, const QString &detail);
    // Once per run: all devices done, or the run cancelled.
    void finished(bool cancelled);

private:
    // A device whose change is under way.
    struct Underway
    {
        int index = 0;
        Result result;
        QStringList credentials; // as sent: MAC, user name, password; empty for none
        bool usingRunCredentials = false;
        bool accepted = false;
    };

    // Takes up devices while there is room; finished() once none is left or under way.
    void startMore();
    void startDevice(int index);
    void onAccepted(ConfigurationChange *change);
    void onChangeFinished(ConfigurationChange *change, ConfigurationChange::Outcome outcome);
    void finishDevice(int index, const Result &result);

    PacketTransceiver *transceiver = nullptr;
    DeviceModel *model = nullptr;
    QHash<ConfigurationChange *, Underway> underway;
    QList<DevicePlan::Row> planRows;
    QList<Result> done;
    QList<int> doneIndexes; // the plan index of each of `done`
    int nextIndex = 0;
    int starting = 0;           // devices taken up whose outcome is still to come, changes under way included
    QStringList runCredentials; // user name and password; empty for none
    bool rememberCredentials = false;
    int answerWait = 0;
    int parallel = DefaultParallel;
    bool running = false;
    bool cancelled = false;
};
