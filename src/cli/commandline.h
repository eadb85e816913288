// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "cli/configchange.h"
#include "cli/recordtable.h"
#include "model/deviceplan.h"
#include "model/planrun.h"

#include <QString>
#include <QStringList>

#include <limits>
#include <optional>

// veltra-find's command line: a command word, then that command's options and arguments.
class CommandLine
{
public:
    enum class Command { None, Interfaces, Scan, Show, Set, Forget, Export, Plan, Apply, Diagnose, History };

    // Exit statuses of every command.
    enum ExitStatus {
        Success = 0,
        // nobody answered a scan; nothing to export, plan or forget; diagnose found a problem; no
        // device history
        NoDevice = 1,
        BadInput = 2, // bad option or value, socket not bound, no usable interface, a plan's problems
        // set, and apply for its worst device:
        AuthFailed = 3, // the device refused the credentials
        NoAnswer = 4,   // the device did not answer
        Refused = 5,    // the device refused the request or does not show the new values
    };

    static constexpr int DefaultWaitMs = 3000;
    static constexpr int MaxWaitMs = 600000;
    static constexpr int MaxRepeat = 100;
    static constexpr int DefaultIntervalSeconds = 30; // scan --watch: between the starts of two scans
    static constexpr int MinIntervalSeconds = 5;
    static constexpr int MaxIntervalSeconds = 86400;
    // So that no counter of a plan's host names can pass the largest int, whatever the scan finds.
    static constexpr int MaxFirstNumber = std::numeric_limits<int>::max() - DevicePlan::MaxRows;

    struct Options
    {
        Command command = Command::None;
        bool help = false; // for the program when command is None, else for the command
        bool version = false;

        QString interfaceName; // name or IPv4 address; empty: the current interface
        bool allInterfaces = false;
        int waitMs = DefaultWaitMs;
        int repeat = 1;
        RecordTable::Format format = RecordTable::Format::Table;
        bool noHistory = false; // commands that scan: the device history is neither read nor written

        bool watch = false; // scan: again and again, one JSON line per event
        std::optional<int> intervalSeconds;
        bool events = false; // history: the event log instead of the devices

        QStringList macs; // show, set and forget: exactly one; history: at most one; export and plan: any number
        bool all = false;
        QString outputFile;
        QString planFile; // apply: the plan to apply
        // apply: the plan file was the word after --password-stdin, where a mistyped password would
        // stand: its name is not repeated in messages.
        bool planAfterPasswordFlag = false;
        bool dryRun = false;
        int parallel = PlanRun::DefaultParallel; // apply: devices changed at the same time

        // set: the values to change. plan: the values to give every device, `hostName` as the
        // template of the host names and `ip` as the first address to hand out.
        ConfigChange change;
        int firstNumber = 1; // plan: the counter of the first device's host name
        QString user;
        bool passwordStdin = false;
        bool remember = false;
    };

    // `arguments` without the program name. nullopt with a message on bad input.
    static std::optional<Options> parse(const QStringList &arguments, QString *error);

    static QString helpText(Command command);
    static QString commandName(Command command);

    // Six two-digit hexadecimal groups joined by colons, either case; not the broadcast address.
    static QString checkMac(const QString &text);
};
