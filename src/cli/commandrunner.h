// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "cli/commandline.h"
#include "cli/devicelink.h"
#include "history/historystore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

class DeviceModel;

// Carries out one veltra-find command: results to `out`, messages to `err`; returns the exit
// status. Nothing is sent before every given value has been checked.
class CommandRunner
{
public:
    // Reads the password of --password-stdin; nullopt with a message when there is no usable one.
    using PasswordReader = std::function<std::optional<QString>(QString *error)>;

    explicit CommandRunner(FILE *out = stdout, FILE *err = stderr) : out(out), err(err) {}

    int run(const CommandLine::Options &options);

    void setStdinReader(PasswordReader reader) { readStdin = std::move(reader); }

private:
    struct Credentials
    {
        enum class Source { None, CommandLine, Store };
        Source source = Source::None;
        QString user;
        QString password;
    };

    int interfaces(const CommandLine::Options &options);
    int scan(const CommandLine::Options &options);
    int show(const CommandLine::Options &options);
    int set(const CommandLine::Options &options);
    int forget(const CommandLine::Options &options);
    int exportConnections(const CommandLine::Options &options);
    int plan(const CommandLine::Options &options);
    int apply(const CommandLine::Options &options);
    int diagnose(const CommandLine::Options &options);
    int history(const CommandLine::Options &options);
    // scan --watch: scans until a stop signal, one JSON line per event.
    int watch(const CommandLine::Options &options);

    // What a scan over `link` found, each device with the interface it answered on.
    static QList<DeviceSnapshot> snapshotsOf(const DeviceLink &link, const DeviceModel &model);
    // The device history at its usual place, open; nullptr, told once, when it is off.
    std::unique_ptr<HistoryStore> openHistory();
    // Records a finished scan in the device history unless --no-history; a history that is off
    // is told and changes nothing else.
    void recordHistory(const DeviceLink &link, const DeviceModel &model, const CommandLine::Options &options);

    // The interfaces a command works on; empty with a message when none fits.
    QList<DeviceLink::Interface> interfacesFor(const CommandLine::Options &options);
    // Scans over a bound link into `model`, telling once when the model's device limit is reached.
    void scanWith(DeviceLink *link, const CommandLine::Options &options, DeviceModel *model);
    // The link over the interface a command works on, bound; nullptr with a message when there is
    // no such interface or the port cannot be had.
    std::unique_ptr<DeviceLink> openLink(const CommandLine::Options &options);
    // The rows of the devices that --all or the given MACs name, once each, in the given order (by
    // MAC for --all); a MAC that did not answer is told and sets `*missing`.
    QList<int> chosenRows(const CommandLine::Options &options, const DeviceModel &model, bool *missing);
    // The credentials the command line gives; false with a message when they are unusable.
    // VELTRA_PASSWORD leaves the environment here, used or not.
    bool givenCredentials(const CommandLine::Options &options, Credentials *credentials);

    // The problems the network diagnosis finds on this host, each with its fix, as messages.
    void tellHostProblems();

    void print(const QByteArray &bytes);
    void message(const QString &text);
    int fail(int status, const QString &text);

    FILE *out;
    FILE *err;
    PasswordReader readStdin;
};
