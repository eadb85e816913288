// SPDX-License-Identifier: Apache-2.0
#include "cli/commandline.h"

#include "model/planmaker.h"
#include "model/planrun.h"
#include "protocol/configcheck.h"
#include "protocol/messageheader.h"

#include <QRegularExpression>

namespace {

// An option as one command accepts it.
struct AcceptedOption
{
    const char *name; // without the leading dashes
    bool takesValue;
};

const QList<std::pair<CommandLine::Command, const char *>> CommandNames = {
    {CommandLine::Command::Interfaces, "interfaces"},
    {CommandLine::Command::Scan, "scan"},
    {CommandLine::Command::Show, "show"},
    {CommandLine::Command::Set, "set"},
    {CommandLine::Command::Forget, "forget"},
    {CommandLine::Command::Export, "export"},
    {CommandLine::Command::Plan, "plan"},
    {CommandLine::Command::Apply, "apply"},
    {CommandLine::Command::Diagnose, "diagnose"},
    {CommandLine::Command::History, "history"},
};

const QLatin1String CommandList("interfaces, scan, show, set, forget, export, plan, apply, diagnose, history");

QList<AcceptedOption> optionsOf(CommandLine::Command command)
{
    using C = CommandLine::Command;
    QList<AcceptedOption> accepted{{"help", false}};
    switch (command) {
    case C::Interfaces:
    case C::Diagnose:
        accepted += {{"format", true}};
        break;
    case C::Scan:
        accepted += {{"interface", true}, {"all-interfaces", false}, {"wait", true},   {"repeat", true},
                     {"format", true},    {"no-history", false},     {"watch", false}, {"interval", true}};
        break;
    case C::Show:
        accepted += {{"interface", true}, {"all-interfaces", false}, {"wait", true}, {"format", true}};
        break;
    case C::Set:
        accepted += {{"interface", true},
                     {"all-interfaces", false},
                     {"hostname", true},
                     {"dhcp", false},
                     {"static", false},
                     {"ip", true},
                     {"mask", true},
                     {"gateway", true},
                     {"domain", true},
                     {"dns1", true},
                     {"dns2", true},
                     {"user", true},
                     {"password-stdin", false},
                     {"remember", false},
                     {"wait", true}};
        break;
    case C::Forget:
        break;
    case C::Export:
        accepted += {{"all", false}, {"output", true}, {"interface", true},  {"all-interfaces", false},
                     {"wait", true}, {"repeat", true}, {"no-history", false}};
        break;
    case C::Plan:
        accepted += {{"dhcp", false},           {"first-ip", true}, {"mask", true},   {"gateway", true},
                     {"domain", true},          {"dns1", true},     {"dns2", true},   {"hostname", true},
                     {"first-number", true},    {"all", false},     {"output", true}, {"interface", true},
                     {"all-interfaces", false}, {"wait", true},     {"repeat", true}, {"no-history", false}};
        break;
    case C::Apply:
        accepted += {{"dry-run", false}, {"user", true},      {"password-stdin", false}, {"remember", false},
                     {"format", true},   {"interface", true}, {"all-interfaces", false}, {"wait", true},
                     {"repeat", true},   {"parallel", true},  {"no-history", false}};
        break;
    case C::History:
        accepted += {{"format", true}, {"events", false}};
        break;
    case C::None:
        accepted += {{"version", false}};
        break;
    }
    return accepted;
}

const AcceptedOption *findOption(const QList<AcceptedOption> &accepted, const QString &name)
{
    for (const AcceptedOption &option : accepted) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

bool readNumber(const QString &option, const QString &text, int minimum, int maximum, int *target, QString *error)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < minimum || value > maximum) {
        *error = QStringLiteral("--%1 must be a whole number from %2 to %3, not \"%4\"")
                     .arg(option)
                     .arg(minimum)
                     .arg(maximum)
                     .arg(text);
        return false;
    }
    *target = value;
    return true;
}

// Stores one option's value; false with a message when it is not usable.
bool apply(CommandLine::Options *options, const QString &name, const QString &value, QString *error)
{
    ConfigChange &change = options->change;
    if (name == QLatin1String("help")) {
        options->help = true;
    } else if (name == QLatin1String("version")) {
        options->version = true;
    } else if (name == QLatin1String("format")) {
        if (!RecordTable::parseFormat(value, &options->format)) {
            *error = QStringLiteral("--format must be table, json or csv, not \"%1\"").arg(value);
            return false;
        }
    } else if (name == QLatin1String("interface")) {
        if (value.isEmpty()) {
            *error = QStringLiteral("--interface needs an interface name or IPv4 address");
            return false;
        }
        options->interfaceName = value;
    } else if (name == QLatin1String("all-interfaces")) {
        options->allInterfaces = true;
    } else if (name == QLatin1String("wait")) {
        return readNumber(name, value, 1, CommandLine::MaxWaitMs, &options->waitMs, error);
    } else if (name == QLatin1String("repeat")) {
        return readNumber(name, value, 1, CommandLine::MaxRepeat, &options->repeat, error);
    } else if (name == QLatin1String("all")) {
        options->all = true;
    } else if (name == QLatin1String("output")) {
        if (value.isEmpty()) {
            *error = QStringLiteral("-o/--output needs a file name");
            return false;
        }
        options->outputFile = value;
    } else if (name == QLatin1String("hostname")) {
        change.hostName = value;
    } else if (name == QLatin1String("dhcp") || name == QLatin1String("static")) {
        const bool dhcp = name == QLatin1String("dhcp");
        if (change.dhcp && *change.dhcp != dhcp) {
            *error = QStringLiteral("--dhcp and --static exclude each other");
            return false;
        }
        change.dhcp = dhcp;
    } else if (name == QLatin1String("ip") || name == QLatin1String("first-ip")) {
        change.ip = value;
    } else if (name == QLatin1String("first-number")) {
        return readNumber(name, value, 0, CommandLine::MaxFirstNumber, &options->firstNumber, error);
    } else if (name == QLatin1String("mask")) {
        change.mask = value;
    } else if (name == QLatin1String("gateway")) {
        change.gateway = value;
    } else if (name == QLatin1String("domain")) {
        change.domain = value;
    } else if (name == QLatin1String("dns1")) {
        change.dns1 = value;
    } else if (name == QLatin1String("dns2")) {
        change.dns2 = value;
    } else if (name == QLatin1String("user")) {
        options->user = value;
    } else if (name == QLatin1String("password-stdin")) {
        options->passwordStdin = true;
    } else if (name == QLatin1String("remember")) {
        options->remember = true;
    } else if (name == QLatin1String("parallel")) {
        return readNumber(name, value, 1, PlanRun::MaxParallel, &options->parallel, error);
    } else if (name == QLatin1String("dry-run")) {
        options->dryRun = true;
    } else if (name == QLatin1String("no-history")) {
        options->noHistory = true;
    } else if (name == QLatin1String("watch")) {
        options->watch = true;
    } else if (name == QLatin1String("interval")) {
        int seconds = 0;
        if (!readNumber(name, value, CommandLine::MinIntervalSeconds, CommandLine::MaxIntervalSeconds, &seconds, error))
            return false;
        options->intervalSeconds = seconds;
    } else if (name == QLatin1String("events")) {
        options->events = true;
    }
    return true;
}

// `argument` may carry a value ("--pass=hunter2", "-phunter2"): only the option's name is quoted.
QString unknownOption(const QString &argument, CommandLine::Command command)
{
    const QString option =
        argument.startsWith(QLatin1String("--")) ? argument.section(QLatin1Char('='), 0, 0) : argument.left(2);
    if (option == QLatin1String("--password")) {
        // A password on the command line is visible to every user of the machine.
        return QStringLiteral("a password is never taken from the command line: give it on standard input with "
                              "--password-stdin or in the environment variable VELTRA_PASSWORD");
    }
    if (command == CommandLine::Command::None)
        return QStringLiteral("unknown option \"%1\" (the command comes first)").arg(option);
    return QStringLiteral("unknown option \"%1\" for %2").arg(option, CommandLine::commandName(command));
}

// A plan's values, each by the settings dialog's rule, the first address within its network, and
// the host-name template by the first name it makes. A plan's empty cell keeps the device's value,
// so an empty value could not clear a field: it is refused rather than ignored.
bool checkPlanValues(const CommandLine::Options &options, QString *error)
{
    const ConfigChange &change = options.change;
    std::optional<QString> firstName;
    if (change.hostName)
        firstName = PlanMaker::hostName(*change.hostName, options.firstNumber);
    const struct
    {
        const char *option;
        const std::optional<QString> &value;
        QString (*rule)(const QString &);
    } values[] = {{"first-ip", change.ip, &ConfigCheck::address},     {"mask", change.mask, &ConfigCheck::mask},
                  {"gateway", change.gateway, &ConfigCheck::address}, {"domain", change.domain, &ConfigCheck::domain},
                  {"dns1", change.dns1, &ConfigCheck::address},       {"dns2", change.dns2, &ConfigCheck::address},
                  {"hostname", firstName, &ConfigCheck::hostName}};
    for (const auto &[option, value, rule] : values) {
        if (!value)
            continue;
        const QString name = QLatin1String(option);
        if (value->isEmpty()) {
            *error = QStringLiteral("--%1 needs a value: a plan's empty cell keeps the device's own").arg(name);
            return false;
        }
        const QString problem = rule(*value);
        if (!problem.isEmpty()) {
            const QString made = name == QLatin1String("hostname") && *value != *change.hostName
                                     ? QStringLiteral(" (made from \"%1\")").arg(*change.hostName)
                                     : QString();
            *error = QStringLiteral("--%1: \"%2\"%3 %4").arg(name, *value, made, problem);
            return false;
        }
    }
    if (change.ip) {
        const QString problem = ConfigCheck::hostInNetwork(*change.ip, *change.mask);
        if (!problem.isEmpty()) {
            *error = QStringLiteral("--first-ip: ") + problem;
            return false;
        }
    }
    return true;
}

// Rules between options that no single option can check.
bool checkCombination(const CommandLine::Options &options, QString *error)
{
    using C = CommandLine::Command;
    const auto fail = [error](const QString &message) {
        *error = message;
        return false;
    };
    if (options.allInterfaces && !options.interfaceName.isEmpty())
        return fail(QStringLiteral("--interface and --all-interfaces exclude each other"));
    switch (options.command) {
    case C::Scan:
        if (options.intervalSeconds && !options.watch)
            return fail(QStringLiteral("--interval goes with --watch"));
        if (options.watch && options.format != RecordTable::Format::Table)
            return fail(QStringLiteral("--watch prints one JSON object per event and line; it takes no --format"));
        break;
    case C::History:
        if (options.macs.size() > 1)
            return fail(QStringLiteral("history takes at most one MAC address"));
        break;
    case C::Show:
    case C::Forget:
    case C::Set:
        if (options.macs.size() != 1)
            return fail(
                QStringLiteral("%1 needs exactly one MAC address").arg(CommandLine::commandName(options.command)));
        break;
    case C::Export:
        if (options.all && !options.macs.isEmpty())
            return fail(QStringLiteral("give MAC addresses or --all, not both"));
        if (!options.all && options.macs.isEmpty())
            return fail(QStringLiteral("export needs MAC addresses or --all"));
        if (options.outputFile.isEmpty())
            return fail(QStringLiteral("export needs the file to write: -o FILE"));
        break;
    case C::Plan:
        if (options.all && !options.macs.isEmpty())
            return fail(QStringLiteral("give MAC addresses or --all, not both"));
        if (!options.all && options.macs.isEmpty())
            return fail(QStringLiteral("plan needs MAC addresses or --all"));
        if (options.change.dhcp && (options.change.ip || options.change.mask))
            return fail(QStringLiteral("--dhcp excludes --first-ip and --mask"));
        if (options.change.ip && !options.change.mask)
            return fail(QStringLiteral("--first-ip needs --mask"));
        if (options.change.mask && !options.change.ip)
            return fail(QStringLiteral("--mask goes with --first-ip"));
        break;
    case C::Apply:
        if (options.planFile.isEmpty())
            return fail(QStringLiteral("apply needs the plan to apply: veltra-find apply PLAN.csv"));
        break;
    case C::Interfaces:
    case C::Diagnose:
    case C::None:
        break;
    }
    for (const QString &mac : options.macs) {
        const QString problem = CommandLine::checkMac(mac);
        if (!problem.isEmpty())
            return fail(problem);
    }
    if (options.command == C::Plan)
        return checkPlanValues(options, error);
    if (options.command == C::Set && options.change.isEmpty())
        return fail(QStringLiteral("set needs at least one value to change (see veltra-find set --help)"));
    if (options.command == C::Set || options.command == C::Apply) {
        if (options.passwordStdin && options.user.isEmpty())
            return fail(QStringLiteral("--password-stdin needs --user"));
        if (options.remember && options.user.isEmpty())
            return fail(QStringLiteral("--remember needs --user with a password"));
    }
    return true;
}

} // namespace

QString CommandLine::commandName(Command command)
{
    for (const auto &[value, name] : CommandNames) {
        if (value == command)
            return QLatin1String(name);
    }
    return QStringLiteral("veltra-find");
}

QString CommandLine::checkMac(const QString &text)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}")));
    if (!pattern.match(text).hasMatch())
        return QStringLiteral("\"%1\" is no MAC address (six two-digit hexadecimal groups joined by colons, such as "
                              "02:5A:00:00:01:01)")
            .arg(text);
    if (text.compare(QLatin1String(Protocol::BroadcastMac), Qt::CaseInsensitive) == 0)
        return QStringLiteral("%1 addresses every device; name one device").arg(text);
    return QString();
}

std::optional<CommandLine::Options> CommandLine::parse(const QStringList &arguments, QString *error)
{
    Options options;
    QList<AcceptedOption> accepted = optionsOf(Command::None);
    QStringList seen;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const bool afterPasswordFlag = i > 0 && arguments.at(i - 1) == QLatin1String("--password-stdin");
        const bool isOption = !optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1;
        if (!isOption) {
            if (options.command == Command::None) {
                for (const auto &[value, name] : CommandNames) {
                    if (argument == QLatin1String(name))
                        options.command = value;
                }
                if (options.command == Command::None) {
                    *error = QStringLiteral("unknown command \"%1\" (commands: %2)").arg(argument, CommandList);
                    return std::nullopt;
                }
                accepted = optionsOf(options.command);
                continue;
            }
            if (options.command == Command::Apply && options.planFile.isEmpty()) {
                options.planFile = argument;
                options.planAfterPasswordFlag = afterPasswordFlag;
                continue;
            }
            // The first word was a password, then, and is not quoted.
            if (options.command == Command::Apply && options.planAfterPasswordFlag) {
                *error = QStringLiteral("--password-stdin takes no value: the password is read from standard input");
                return std::nullopt;
            }
            // A password typed after the flag would otherwise be quoted as a bad MAC address.
            if (afterPasswordFlag && (options.command == Command::Apply || !checkMac(argument).isEmpty())) {
                *error = QStringLiteral("--password-stdin takes no value: the password is read from standard input");
                return std::nullopt;
            }
            const bool takesMacs = options.command == Command::Show || options.command == Command::Set ||
                                   options.command == Command::Forget || options.command == Command::Export ||
                                   options.command == Command::Plan || options.command == Command::History;
            if (!takesMacs) {
                *error = QStringLiteral("unexpected argument \"%1\"").arg(argument);
                return std::nullopt;
            }
            options.macs.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }

        QString name;
        std::optional<QString> inlineValue;
        if (argument == QLatin1String("-h")) {
            name = QStringLiteral("help");
        } else if (argument == QLatin1String("-o")) {
            name = QStringLiteral("output");
        } else if (argument.startsWith(QLatin1String("--"))) {
            name = argument.mid(2);
            const qsizetype equals = name.indexOf(QLatin1Char('='));
            if (equals >= 0) {
                inlineValue = name.mid(equals + 1);
                name.truncate(equals);
            }
        }
        const AcceptedOption *option = name.isEmpty() ? nullptr : findOption(accepted, name);
        if (!option) {
            *error = unknownOption(argument, options.command);
            return std::nullopt;
        }
        QString value;
        if (option->takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                value = arguments.at(++i);
            } else {
                *error = QStringLiteral("%1 needs a value").arg(argument);
                return std::nullopt;
            }
        } else if (inlineValue) {
            *error = QStringLiteral("--%1 takes no value").arg(name);
            return std::nullopt;
        }
        // A value given twice is more likely a slip than a wish for the second one.
        if (option->takesValue && seen.contains(name)) {
            *error = QStringLiteral("--%1 is given more than once").arg(name);
            return std::nullopt;
        }
        seen.append(name);
        if (!apply(&options, name, value, error))
            return std::nullopt;
    }
    if (options.help || options.version)
        return options;
    if (options.command == Command::None) {
        *error = QStringLiteral("no command given (commands: %1)").arg(CommandList);
        return std::nullopt;
    }
    if (!checkCombination(options, error))
        return std::nullopt;
    return options;
}

QString CommandLine::helpText(Command command)
{
    switch (command) {
    case Command::None:
        return QStringLiteral(
            "Usage: veltra-find COMMAND [OPTIONS]\n"
            "Finds and configures Orvane network devices on the local network, like Veltra Device Finder.\n"
            "\n"
            "Commands:\n"
            "  interfaces   lists the usable network interfaces, the current one first\n"
            "  scan         finds the devices and prints everything their replies carry\n"
            "  show MAC     reads one device's information and configuration\n"
            "  set MAC      changes one device's network configuration\n"
            "  forget MAC   deletes the stored credentials of a device\n"
            "  export       writes the Quillo connection file for found devices\n"
            "  plan         writes a network configuration plan (CSV) for found devices\n"
            "  apply PLAN   checks a plan and applies it, a few devices at a time\n"
            "  diagnose     tells what on this host keeps replies from arriving, and the fix\n"
            "  history      lists every device ever found, and what appeared, disappeared or changed\n"
            "\n"
            "Options:\n"
            "  -h, --help   this text; 'veltra-find COMMAND --help' describes a command\n"
            "  --version    the program's version\n"
            "\n"
            "Commands that talk to devices take --interface NAME|ADDRESS (default: the current interface)\n"
            "or --all-interfaces: the requests to every device go out on each usable interface, those to\n"
            "one device on the interface it answered on first.\n"
            "scan, export, plan and apply record what their scan found in the device history (see\n"
            "'veltra-find history --help') unless --no-history is given.\n"
            "\n"
            "Results go to standard output, messages to standard error.\n"
            "Exit status: 0 success, 1 no device answered (or nothing to export, plan or forget), 2 bad\n"
            "input or no usable network, 3 authorization failed, 4 the device did not answer, 5 the device\n"
            "refused the request or does not show the new values (apply: the worst of its devices);\n"
            "diagnose: 0 nothing wrong found, 1 a problem found, 2 on an error.\n");
    case Command::Interfaces:
        return QStringLiteral("Usage: veltra-find interfaces [--format table|json|csv]\n"
                              "Lists the usable network interfaces (up or running, not loopback, with an\n"
                              "IPv4 address; one line per address, 192.168.x.x first, link-local 169.254.x.x\n"
                              "last): name, MAC address and IPv4 address, the current one first.\n"
                              "Exit status 0, or 1 when there is none.\n");
    case Command::Scan:
        return QStringLiteral(
            "Usage: veltra-find scan [--interface NAME|ADDRESS] [--all-interfaces] [--wait MS] [--repeat N]\n"
            "                        [--format table|json|csv] [--no-history]\n"
            "       veltra-find scan --watch [--interval SECONDS] [--interface NAME|ADDRESS] [--all-interfaces]\n"
            "                        [--wait MS] [--repeat N] [--no-history]\n"
            "Broadcasts GetDeviceInfo and, 100 ms later, GetNetworkConfig, and prints one row per device\n"
            "that answered within --wait ms after the last request: device, firmware, product type, host\n"
            "name, DHCP or static, IP address, mask, gateway, domain, both DNS servers, MAC address,\n"
            "protocol version, IP and host-name conflicts, and whether the information is complete.\n"
            "Replies that this host's kernel dropped are asked for again within the wait. When no device\n"
            "answered, the problems that 'veltra-find diagnose' finds on this host go to standard error.\n"
            "\n"
            "  --interface NAME|ADDRESS  scan on this interface (default: the current one)\n"
            "  --all-interfaces          scan every usable interface at once: one row per device, which\n"
            "                            names the interface it answered on first\n"
            "  --wait MS                 how long replies are collected (default 3000)\n"
            "  --repeat N                send the pair of requests N times (default 1), for lossy networks;\n"
            "                            replies are merged by MAC address\n"
            "  --format FORMAT           table (default), json (one array of objects) or csv (RFC 4180)\n"
            "  --no-history              leave the device history alone\n"
            "  --watch                   scan again and again and print each device that appeared,\n"
            "                            disappeared or changed as one JSON object per line: event, mac,\n"
            "                            time (UTC), interface, and for a change field, old and new. The\n"
            "                            first scan reports the devices the history does not know yet\n"
            "                            (with --no-history: every device). Ctrl-C or SIGTERM ends it.\n"
            "  --interval SECONDS        with --watch: from the start of one scan to the next, 5 to\n"
            "                            86400 (default 30)\n"
            "\n"
            "Exit status: 0 when a device answered (--watch: when stopped by a signal), 1 when none did,\n"
            "2 on an error.\n");
    case Command::Show:
        return QStringLiteral("Usage: veltra-find show MAC [--interface NAME|ADDRESS | --all-interfaces] [--wait MS] "
                              "[--format table|json|csv]\n"
                              "Asks the device with this MAC address for its information and configuration and\n"
                              "prints them with the fields of a scan row, less ipConflict and hostnameConflict:\n"
                              "whether another device shares its address or host name only a scan can tell.\n"
                              "Exit status: 0 when the device answered, 4 when it did not, 2 on an error.\n");
    case Command::Set:
        return QStringLiteral(
            "Usage: veltra-find set MAC [--hostname H] [--dhcp | --static] [--ip A] [--mask M] [--gateway G]\n"
            "                           [--domain D] [--dns1 A] [--dns2 A] [--user U] [--password-stdin]\n"
            "                           [--remember] [--interface NAME|ADDRESS | --all-interfaces] [--wait MS]\n"
            "Reads the device's configuration, changes the given fields, sends the change, has the device\n"
            "restart its network and reads the configuration again more than 5000 ms later.\n"
            "Every value is checked before anything is sent: the host name as in the settings dialog (a\n"
            "letter, then letters, digits and \"-\", ending with a letter or digit, at most 24), addresses\n"
            "as complete dotted IPv4 addresses, the mask as contiguous bits, and a static address must be\n"
            "neither the network nor the broadcast address of its mask.\n"
            "\n"
            "Devices of protocol version 4 or more want credentials: --user with the password on standard\n"
            "input (--password-stdin: one line of at most 1024 bytes, not echoed on a terminal) or in the\n"
            "environment variable VELTRA_PASSWORD, or else the stored ones of the desktop program.\n"
            "--remember stores given credentials once the device accepted them; stored credentials that\n"
            "the device refuses are forgotten.\n"
            "  --wait MS   how long an answer is awaited (default 3000)\n"
            "\n"
            "Exit status: 0 applied and seen, 2 bad input, 3 authorization failed, 4 the device did not\n"
            "answer, 5 the device refused the change or does not show the new values.\n");
    case Command::Forget:
        return QStringLiteral("Usage: veltra-find forget MAC\n"
                              "Deletes the stored credentials of the device with this MAC address.\n"
                              "Exit status: 0 deleted, 1 none were stored, 2 on an error.\n");
    case Command::Export:
        return QStringLiteral(
            "Usage: veltra-find export [MAC ...] [--all] -o FILE [--interface NAME|ADDRESS | --all-interfaces]\n"
            "                          [--wait MS] [--repeat N] [--no-history]\n"
            "Scans, then writes the Quillo connection file for the given devices (in the given order) or\n"
            "for all exportable ones (--all), exactly as the desktop program's export does: devices whose\n"
            "type starts with \"Veltra\" and devices without an IP address or device type are left out.\n"
            "  -o, --output FILE   the file to write; it is replaced only once it is written whole\n"
            "  --no-history        leave the device history alone\n"
            "\n"
            "Exit status: 0 written, 1 a given device was not found or is not exportable (the others are\n"
            "written) or nothing is exportable, 2 on an error.\n");
    case Command::Plan:
        return QStringLiteral(
            "Usage: veltra-find plan [--dhcp | --first-ip A --mask M] [--gateway G] [--domain D] [--dns1 A]\n"
            "                        [--dns2 A] [--hostname TEMPLATE] [--first-number N] (--all | MAC ...)\n"
            "                        [-o FILE] [--interface NAME|ADDRESS | --all-interfaces] [--wait MS]\n"
            "                        [--repeat N] [--no-history]\n"
            "Scans, then writes a plan of the network configuration of the given devices (in the given\n"
            "order) or of all found ones (--all, in MAC order) as CSV with the columns\n"
            "mac,hostname,config,ip,mask,gateway,domain,dns1,dns2, one row per device. An empty cell keeps\n"
            "what the device has; the plan may be edited before it is applied. Nothing but the scan is sent.\n"
            "\n"
            "  --dhcp                    every device on DHCP\n"
            "  --first-ip A --mask M     every device static, with addresses counted up from A within its\n"
            "                            network; addresses that any found device shows are skipped\n"
            "                            (without either, each device keeps its DHCP or static setting)\n"
            "  --gateway, --domain, --dns1, --dns2   the same value for every device\n"
            "  --hostname TEMPLATE       host names in which {n}, {nn} and {nnn} become a counter padded to\n"
            "                            1, 2 and 3 digits, such as cam-{nn}\n"
            "  --first-number N          the counter of the first device (default 1)\n"
            "  -o, --output FILE         the file to write instead of standard output; it is replaced only\n"
            "                            once it is written whole\n"
            "  --no-history              leave the device history alone\n"
            "Values are checked as in the settings dialog before the scan. Devices whose configuration the\n"
            "scan did not read are left out. The plan is then checked as it would be before it is applied\n"
            "(addresses and host names given twice or held by another device); each problem is told with\n"
            "its line, and the plan is written all the same, for editing.\n"
            "\n"
            "Exit status: 0 written, 1 a given device was not found or its configuration not read (the\n"
            "others are written) or no device to plan, 2 on an error or when the plan has problems.\n");
    case Command::Apply:
        return QStringLiteral(
            "Usage: veltra-find apply PLAN.csv [--dry-run] [--user U (--password-stdin | VELTRA_PASSWORD)]\n"
            "                         [--remember] [--format table|json|csv]\n"
            "                         [--interface NAME|ADDRESS | --all-interfaces] [--wait MS] [--repeat N]\n"
            "                         [--parallel N] [--no-history]\n"
            "Reads a plan (CSV with the columns mac,hostname,config,ip,mask,gateway,domain,dns1,dns2, as\n"
            "'veltra-find plan' writes it; an empty cell keeps what the device has), scans, and checks the\n"
            "plan against the devices found: every value as in the settings dialog, every device found and\n"
            "named once, no address or host name given to two devices or held by one outside the plan, a\n"
            "static device with an address and a mask. Any problem is told with its line and nothing but\n"
            "the scan is sent.\n"
            "The plan is then applied a few devices at a time, each as 'set' does it: the change, the\n"
            "restart of the device's network, and the configuration read again more than 5000 ms later.\n"
            "Progress goes to standard error; one row per device to standard output: mac, outcome\n"
            "(applied, refused, authorization failed, no answer or differs), detail, and the values the\n"
            "device reported after its restart.\n"
            "\n"
            "Devices of protocol version 4 or more take changes only with credentials: their stored ones,\n"
            "else those given with --user and the password on standard input (--password-stdin) or in\n"
            "VELTRA_PASSWORD. --remember stores given credentials for each device that accepts them;\n"
            "stored credentials that a device refuses are forgotten.\n"
            "Ctrl-C (or SIGTERM) stops the run: the devices under way finish, no further one is started,\n"
            "the outcomes so far are printed and the exit status is 130 (143); a second one ends at once.\n"
            "  --dry-run        checks the plan and prints what would be sent to each device, and which\n"
            "                   request and credentials; nothing but the scan is sent\n"
            "  --parallel N     devices changed at the same time, 1 to 16 (default 4)\n"
            "  --wait MS        how long the scan collects replies and each answer is awaited (default 3000)\n"
            "  --format FORMAT  table (default), json or csv\n"
            "  --no-history     leave the device history alone\n"
            "\n"
            "Exit status: 0 every device applied (or the dry run found no problem), 1 no device answered\n"
            "the scan, 2 on an error or when the plan has problems, otherwise that of the worst outcome:\n"
            "3 authorization failed, 4 no answer, 5 refused or differs.\n");
    case Command::Diagnose:
        return QStringLiteral(
            "Usage: veltra-find diagnose [--format table|json|csv]\n"
            "Looks at this host for what keeps the devices' replies from arriving, without sending\n"
            "anything: no usable network interface or one that is down, UDP port 28244 held by a program\n"
            "that does not share it, and firewall rules (nftables, else iptables; firewalld, ufw) that drop\n"
            "UDP to port 28244. Prints one row per finding: severity (problem or note), check, cause and\n"
            "the fix, a command where there is one. Firewall rules are read in full only as root; what\n"
            "cannot be read is a note. When nothing is wrong, one row says so: then no device answered\n"
            "because none could (devices off, on another segment behind a router, or a cable).\n"
            "  --format FORMAT  table (default), json or csv\n"
            "\n"
            "Exit status: 0 nothing wrong found, 1 a problem found, 2 on an error.\n");
    case Command::History:
        return QStringLiteral(
            "Usage: veltra-find history [MAC] [--events] [--format table|json|csv]\n"
            "Prints the device history that scan, export, plan and apply keep (history.sqlite in the\n"
            "user's data folder, shared with the desktop program: ~/.local/share/Orvane/Veltra Device\n"
            "Finder), without sending anything:\n"
            "every device ever found, by MAC address: mac, firstSeen, lastSeen (UTC), present (found by\n"
            "the last scan of its interface), interface, and the last values it reported.\n"
            "  MAC              that device's values, then its events (json: one object with\n"
            "                   \"events\"; csv: two tables with an empty line between)\n"
            "  --events         the events of every device instead, oldest first: time, mac, event\n"
            "                   (appeared, disappeared or changed), field, old and new\n"
            "  --format FORMAT  table (default), json or csv\n"
            "\n"
            "Exit status: 0, 1 when there is no history yet or it does not know the device, 2 on an\n"
            "error or when the history cannot be read.\n");
    }
    return QString();
}
