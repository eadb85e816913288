// SPDX-License-Identifier: Apache-2.0
#include "devsim/simulatoroptions.h"

#include "devsim/devicelistreader.h"
#include "protocol/packettransceiver.h"

#include <QCommandLineParser>
#include <QRandomGenerator>

#include <limits>

namespace {

constexpr qint64 MaxMilliseconds = 3600000;

QString description()
{
    return QStringLiteral(
        "Plays any number of Orvane devices on the device port for tests, demos and benchmarks.\n"
        "Devices come from a JSON device list (--devices) and/or are generated (--count).\n"
        "Device list: a JSON array of objects with the keys\n"
        "  mac (required), deviceName, firmware, productType, hostName, dhcp, ip, mask, domain,\n"
        "  gateway, dns1, dns2, protocolVersion, user, password,\n"
        "  silent, answers (\"all\", \"info\", \"config\", \"read\"), resultCode, delay, jitter, restartTime,\n"
        "  lowercaseMac, dropRate.\n"
        "The device options below give every device's default; a device's own key wins.\n"
        "When ready it prints one line to stdout:\n"
        "  veltra-devsim: ready, N devices on ADDRESS port PORT\n"
        "Exit status: 0 after SIGINT, SIGTERM or --duration; 2 on bad input or when it cannot start.");
}

struct Parser
{
    QCommandLineParser parser;

    const QCommandLineOption devices{QStringLiteral("devices"), QStringLiteral("Reads devices from a JSON list."),
                                     QStringLiteral("file")};
    const QCommandLineOption count{QStringLiteral("count"),
                                   QStringLiteral("Generates N devices with consecutive MACs and IP addresses."),
                                   QStringLiteral("n")};
    const QCommandLineOption macBase{QStringLiteral("mac-base"),
                                     QStringLiteral("First generated MAC (default 02:00:00:00:00:01)."),
                                     QStringLiteral("mac")};
    const QCommandLineOption ipBase{QStringLiteral("ip-base"),
                                    QStringLiteral("First generated IP address (default 192.168.77.100)."),
                                    QStringLiteral("address")};
    const QCommandLineOption protocolVersion{
        QStringLiteral("protocol-version"),
        QStringLiteral("Protocol version of every device (default: generated devices alternate 4 and 3, "
                       "listed devices 4)."),
        QStringLiteral("v")};
    const QCommandLineOption user{QStringLiteral("user"), QStringLiteral("User name of every device (default admin)."),
                                  QStringLiteral("name")};
    const QCommandLineOption password{QStringLiteral("password"),
                                      QStringLiteral("Password of every device (default admin)."),
                                      QStringLiteral("text")};
    const QCommandLineOption interfaceAddress{
        QStringLiteral("interface"),
        QStringLiteral("IPv4 address of this machine to reply from (default: the first usable one, as "
                       "veltra-find interfaces lists them)."),
        QStringLiteral("address")};
    const QCommandLineOption port{QStringLiteral("port"),
                                  QStringLiteral("Port to listen on (default 28244; 0: any free port)."),
                                  QStringLiteral("port")};
    const QCommandLineOption replyAddress{QStringLiteral("reply-address"),
                                          QStringLiteral("Address replies go to (default 255.255.255.255)."),
                                          QStringLiteral("address")};
    const QCommandLineOption replyPort{QStringLiteral("reply-port"),
                                       QStringLiteral("Port replies go to (default: the listening port)."),
                                       QStringLiteral("port")};
    const QCommandLineOption delay{QStringLiteral("delay"), QStringLiteral("Reply delay of every device (default 0)."),
                                   QStringLiteral("ms")};
    const QCommandLineOption jitter{QStringLiteral("jitter"),
                                    QStringLiteral("Random extra delay 0..MS of every reply (default 5)."),
                                    QStringLiteral("ms")};
    const QCommandLineOption restartTime{
        QStringLiteral("restart-time"),
        QStringLiteral("Time a device stays silent after RestartNetwork (default 2000)."), QStringLiteral("ms")};
    const QCommandLineOption resultCode{QStringLiteral("result-code"),
                                        QStringLiteral("Result code of every answer; non-zero refuses everything."),
                                        QStringLiteral("code")};
    const QCommandLineOption answers{QStringLiteral("answers"),
                                     QStringLiteral("Requests answered: all (default), info, config or read."),
                                     QStringLiteral("kind")};
    const QCommandLineOption lowercaseMac{QStringLiteral("lowercase-mac"),
                                          QStringLiteral("Devices send their MAC text in lower case.")};
    const QCommandLineOption dropRate{
        QStringLiteral("drop-rate"),
        QStringLiteral("Percentage of replies lost on the way, chosen at random per reply (default 0)."),
        QStringLiteral("percent")};
    const QCommandLineOption silent{QStringLiteral("silent"),
                                    QStringLiteral("Devices answer nothing (the log still records).")};
    const QCommandLineOption randomStart{
        QStringLiteral("random-start"),
        QStringLiteral("Starting value of the random numbers of jitter and drop rate (default: random)."),
        QStringLiteral("n")};
    const QCommandLineOption log{QStringLiteral("log"),
                                 QStringLiteral("Writes one JSON line per received datagram to FILE."),
                                 QStringLiteral("file")};
    const QCommandLineOption duration{QStringLiteral("duration"), QStringLiteral("Quits by itself after MS."),
                                      QStringLiteral("ms")};

    Parser()
    {
        parser.setApplicationDescription(description());
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({devices,   count,        macBase,          ipBase,      protocolVersion,
                           user,      password,     interfaceAddress, port,        replyAddress,
                           replyPort, delay,        jitter,           restartTime, resultCode,
                           answers,   lowercaseMac, silent,           dropRate,    randomStart,
                           log,       duration});
    }
};

// Reads a whole number option within [minimum, maximum]; leaves *target alone when absent.
template <typename T>
bool readNumber(const QCommandLineParser &parser, const QCommandLineOption &option, qint64 minimum, qint64 maximum,
                T *target, QString *error)
{
    if (!parser.isSet(option))
        return true;
    const QString text = parser.value(option);
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < minimum || value > maximum) {
        *error = QStringLiteral("--%1 must be a whole number from %2 to %3, not %4")
                     .arg(option.names().constFirst())
                     .arg(minimum)
                     .arg(maximum)
                     .arg(DeviceText::quoted(text));
        return false;
    }
    *target = T(value);
    return true;
}

bool readAddress(const QCommandLineParser &parser, const QCommandLineOption &option, QString *target, QString *error)
{
    if (!parser.isSet(option))
        return true;
    const QString text = parser.value(option);
    if (!DeviceText::isIpv4(text)) {
        *error = QStringLiteral("--%1 must be a dotted IPv4 address, not %2")
                     .arg(option.names().constFirst(), DeviceText::quoted(text));
        return false;
    }
    *target = text;
    return true;
}

} // namespace

std::optional<SimulatorOptions> SimulatorOptions::parse(const QStringList &arguments, QString *error)
{
    Parser p;
    QCommandLineParser &parser = p.parser;
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    SimulatorOptions options;
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        options.action = Action::ShowHelp;
        return options;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        options.action = Action::ShowVersion;
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error =
            QStringLiteral("unexpected argument %1").arg(DeviceText::quoted(parser.positionalArguments().constFirst()));
        return std::nullopt;
    }

    DeviceProfile &device = options.deviceTemplate;
    if (!readNumber(parser, p.count, 0, DeviceGenerator::MaxCount, &options.generator.count, error) ||
        !readNumber(parser, p.protocolVersion, 0, 255, &options.generator.protocolVersion, error) ||
        !readNumber(parser, p.port, 0, 65535, &options.port, error) ||
        !readNumber(parser, p.replyPort, 1, 65535, &options.replyPort, error) ||
        !readNumber(parser, p.delay, 0, MaxMilliseconds, &device.delayMs, error) ||
        !readNumber(parser, p.jitter, 0, MaxMilliseconds, &device.jitterMs, error) ||
        !readNumber(parser, p.restartTime, 0, MaxMilliseconds, &device.restartTimeMs, error) ||
        !readNumber(parser, p.resultCode, 0, 0xffffffffLL, &device.resultCode, error) ||
        !readNumber(parser, p.dropRate, 0, DeviceProfile::MaxDropPercent, &device.dropPercent, error) ||
        !readNumber(parser, p.duration, 1, std::numeric_limits<int>::max(), &options.durationMs, error) ||
        !readNumber(parser, p.randomStart, 0, 0xffffffffLL, &options.randomStart, error) ||
        !readAddress(parser, p.interfaceAddress, &options.interfaceAddress, error) ||
        !readAddress(parser, p.replyAddress, &options.replyAddress, error) ||
        !readAddress(parser, p.ipBase, &options.generator.ipBase, error))
        return std::nullopt;
    if (!parser.isSet(p.randomStart))
        options.randomStart = QRandomGenerator::global()->generate();
    if (parser.isSet(p.protocolVersion))
        device.protocolVersion = quint8(options.generator.protocolVersion);

    if (parser.isSet(p.macBase)) {
        options.generator.macBase = parser.value(p.macBase);
        if (!DeviceText::isMac(options.generator.macBase)) {
            *error = QStringLiteral("--mac-base must be a MAC text like 02:00:00:00:00:01, not %1")
                         .arg(DeviceText::quoted(options.generator.macBase));
            return std::nullopt;
        }
    }
    if (parser.isSet(p.answers)) {
        const QString scope = parser.value(p.answers);
        if (scope == QLatin1String("all")) {
            device.answers = AnswerScope::All;
        } else if (scope == QLatin1String("info")) {
            device.answers = AnswerScope::InfoOnly;
        } else if (scope == QLatin1String("config")) {
            device.answers = AnswerScope::ConfigOnly;
        } else if (scope == QLatin1String("read")) {
            device.answers = AnswerScope::ReadOnly;
        } else {
            *error =
                QStringLiteral("--answers must be all, info, config or read, not %1").arg(DeviceText::quoted(scope));
            return std::nullopt;
        }
    }
    if (parser.isSet(p.user))
        device.user = parser.value(p.user);
    if (parser.isSet(p.password))
        device.password = parser.value(p.password);
    device.lowercaseMac = parser.isSet(p.lowercaseMac);
    device.silent = parser.isSet(p.silent);
    options.devicesFile = parser.value(p.devices);
    options.logFile = parser.value(p.log);

    if (options.devicesFile.isEmpty() && options.generator.count == 0) {
        *error = QStringLiteral("no devices to simulate: give --devices FILE and/or --count N");
        return std::nullopt;
    }
    return options;
}

QString SimulatorOptions::helpText()
{
    return Parser().parser.helpText();
}

std::optional<QList<DeviceProfile>> SimulatorOptions::devices(QString *error) const
{
    // Credentials from the command line are checked like those of a listed device.
    DeviceProfile check = deviceTemplate;
    check.mac = QStringLiteral("02:00:00:00:00:00");
    QString message;
    if (!DeviceListReader::checkDevice(check, &message)) {
        *error = QStringLiteral("the device options are not usable: %1").arg(message);
        return std::nullopt;
    }

    QList<DeviceProfile> all;
    if (!devicesFile.isEmpty()) {
        const auto listed = DeviceListReader::fromFile(devicesFile, deviceTemplate, error);
        if (!listed)
            return std::nullopt;
        all = *listed;
    }
    const auto generated = generator.generate(deviceTemplate, error);
    if (!generated)
        return std::nullopt;
    all.append(*generated);
    if (!DeviceListReader::checkList(all, error))
        return std::nullopt;
    return all;
}

QString SimulatorOptions::defaultInterfaceAddress()
{
    // The programs' own rule, so that the simulator answers from the address they would use.
    const QList<PacketTransceiver::InterfaceEntry> usable =
        PacketTransceiver::usableInterfaces(PacketTransceiver::systemInterfaces());
    return usable.isEmpty() ? QString() : usable.constFirst().address;
}
