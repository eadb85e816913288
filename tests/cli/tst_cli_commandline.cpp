// SPDX-License-Identifier: Apache-2.0
// The command line: what each command accepts, and every way of getting it wrong, the password
// on standard input and in the environment included.

#include "cli/commandline.h"
#include "cli/commandrunner.h"

#include "netguard.h"

#include <QProcess>
#include <QTest>

#include <cstdio>

namespace {

QStringList split(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class TestCliCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void errors_data();
    void errors();
    void scanOptions();
    void historyOptions_data();
    void historyOptions();
    void setOptions();
    void exportOptions();
    void planOptions_data();
    void planOptions();
    void applyOptions_data();
    void applyOptions();
    void helpAndVersion_data();
    void helpAndVersion();
    void passwordOnStandardInput_data();
    void passwordOnStandardInput();
    void passwordEnvironmentGoesOnceRead();
    void applyNeverQuotesAPasswordAsPlan();
    void rememberRefusesAUserNameWithBar_data();
    void rememberRefusesAUserNameWithBar();
};

void TestCliCommandLine::errors_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message"); // part of it
    QTest::newRow("nothing") << QString() << QStringLiteral("no command");
    QTest::newRow("unknown command") << QStringLiteral("discover") << QStringLiteral("unknown command \"discover\"");
    QTest::newRow("option before command")
        << QStringLiteral("--wait 10 scan") << QStringLiteral("the command comes first");
    QTest::newRow("option of another command")
        << QStringLiteral("scan --hostname x") << QStringLiteral("unknown option \"--hostname\" for scan");
    QTest::newRow("missing value") << QStringLiteral("scan --wait") << QStringLiteral("--wait needs a value");
    QTest::newRow("wait no number") << QStringLiteral("scan --wait soon") << QStringLiteral("--wait must be");
    QTest::newRow("wait zero") << QStringLiteral("scan --wait 0") << QStringLiteral("--wait must be");
    QTest::newRow("wait too long") << QStringLiteral("scan --wait 600001") << QStringLiteral("--wait must be");
    QTest::newRow("repeat zero") << QStringLiteral("scan --repeat 0") << QStringLiteral("--repeat must be");
    QTest::newRow("repeat too many") << QStringLiteral("scan --repeat=101") << QStringLiteral("--repeat must be");
    QTest::newRow("bad format") << QStringLiteral("scan --format xml") << QStringLiteral("table, json or csv");
    QTest::newRow("flag with value") << QStringLiteral("scan --all-interfaces=yes") << QStringLiteral("takes no value");
    QTest::newRow("interface twice") << QStringLiteral("scan --interface a --interface b")
                                     << QStringLiteral("more than once");
    QTest::newRow("interface and all") << QStringLiteral("scan --interface eth0 --all-interfaces")
                                       << QStringLiteral("exclude each other");
    QTest::newRow("interface and all, set")
        << QStringLiteral("set 02:00:00:00:00:01 --interface eth0 --all-interfaces --hostname a")
        << QStringLiteral("exclude each other");
    QTest::newRow("all interfaces for forget")
        << QStringLiteral("forget 02:00:00:00:00:01 --all-interfaces") << QStringLiteral("--all-interfaces");
    QTest::newRow("empty interface") << QStringLiteral("scan --interface=") << QStringLiteral("--interface needs");
    QTest::newRow("stray argument") << QStringLiteral("scan now") << QStringLiteral("unexpected argument \"now\"");
    QTest::newRow("diagnose sends nothing: no interface")
        << QStringLiteral("diagnose --interface eth0") << QStringLiteral("unknown option \"--interface\" for diagnose");
    QTest::newRow("diagnose takes no argument")
        << QStringLiteral("diagnose eth0") << QStringLiteral("unexpected argument \"eth0\"");
    QTest::newRow("show without MAC") << QStringLiteral("show") << QStringLiteral("exactly one MAC");
    QTest::newRow("show two MACs") << QStringLiteral("show 02:00:00:00:00:01 02:00:00:00:00:02")
                                   << QStringLiteral("exactly one MAC");
    QTest::newRow("short MAC") << QStringLiteral("show 02:00:00:00:01") << QStringLiteral("is no MAC address");
    QTest::newRow("MAC with dashes") << QStringLiteral("forget 02-00-00-00-00-01")
                                     << QStringLiteral("is no MAC address");
    QTest::newRow("broadcast MAC") << QStringLiteral("set ff:ff:ff:ff:ff:ff --hostname ab")
                                   << QStringLiteral("addresses every device");
    QTest::newRow("set nothing") << QStringLiteral("set 02:00:00:00:00:01") << QStringLiteral("at least one value");
    QTest::newRow("dhcp and static") << QStringLiteral("set 02:00:00:00:00:01 --dhcp --static")
                                     << QStringLiteral("exclude each other");
    QTest::newRow("password on the command line")
        << QStringLiteral("set 02:00:00:00:00:01 --hostname ab --user u --password secret")
        << QStringLiteral("never taken from the command line");
    QTest::newRow("password with equals") << QStringLiteral("set 02:00:00:00:00:01 --hostname ab --password=secret")
                                          << QStringLiteral("never taken from the command line");
    QTest::newRow("stdin without user") << QStringLiteral("set 02:00:00:00:00:01 --hostname ab --password-stdin")
                                        << QStringLiteral("--password-stdin needs --user");
    QTest::newRow("remember without user") << QStringLiteral("set 02:00:00:00:00:01 --hostname ab --remember")
                                           << QStringLiteral("--remember needs --user");
    QTest::newRow("export without file") << QStringLiteral("export --all") << QStringLiteral("-o FILE");
    QTest::newRow("export without devices") << QStringLiteral("export -o x.xml") << QStringLiteral("or --all");
    QTest::newRow("export MACs and all") << QStringLiteral("export 02:00:00:00:00:01 --all -o x.xml")
                                         << QStringLiteral("not both");
    QTest::newRow("export bad MAC") << QStringLiteral("export 02:00:00:00:00:01 cam -o x.xml")
                                    << QStringLiteral("\"cam\" is no MAC");
    QTest::newRow("plan without devices") << QStringLiteral("plan --dhcp") << QStringLiteral("MAC addresses or --all");
    QTest::newRow("plan MACs and all") << QStringLiteral("plan --all 02:00:00:00:00:01") << QStringLiteral("not both");
    QTest::newRow("plan dhcp and first ip")
        << QStringLiteral("plan --all --dhcp --first-ip 192.168.1.9 --mask 255.0.0.0")
        << QStringLiteral("--dhcp excludes");
    QTest::newRow("plan dhcp and mask") << QStringLiteral("plan --all --mask 255.0.0.0 --dhcp")
                                        << QStringLiteral("--dhcp excludes");
    QTest::newRow("plan first ip alone") << QStringLiteral("plan --all --first-ip 192.168.1.9")
                                         << QStringLiteral("--first-ip needs --mask");
    QTest::newRow("plan mask alone") << QStringLiteral("plan --all --mask 255.0.0.0") << QStringLiteral("goes with");
    QTest::newRow("plan static flag") << QStringLiteral("plan --all --static")
                                      << QStringLiteral("\"--static\" for plan");
    QTest::newRow("plan incomplete first ip") << QStringLiteral("plan --all --first-ip 192.168.1 --mask 255.0.0.0")
                                              << QStringLiteral("--first-ip: \"192.168.1\"");
    QTest::newRow("plan first ip is the network")
        << QStringLiteral("plan --all --first-ip 192.168.1.0 --mask 255.255.255.0")
        << QStringLiteral("network address");
    QTest::newRow("plan mask with a hole")
        << QStringLiteral("plan --all --first-ip 10.0.0.9 --mask 255.0.255.0") << QStringLiteral("--mask: ");
    QTest::newRow("plan gateway name") << QStringLiteral("plan --all --gateway router")
                                       << QStringLiteral("--gateway: ");
    QTest::newRow("plan empty dns2") << QStringLiteral("plan --all --dns2=") << QStringLiteral("--dns2 needs a value");
    QTest::newRow("plan template digit first")
        << QStringLiteral("plan --all --hostname {nn}-cam") << QStringLiteral("\"01-cam\" (made from \"{nn}-cam\")");
    QTest::newRow("plan template too long at the first number")
        << QStringLiteral("plan --all --hostname abcdefghijklmnopqrstuv{n} --first-number 100")
        << QStringLiteral("longer than 24");
    QTest::newRow("plan negative first number")
        << QStringLiteral("plan --all --first-number -1") << QStringLiteral("--first-number must be");
    QTest::newRow("apply without plan") << QStringLiteral("apply --dry-run") << QStringLiteral("apply needs the plan");
    QTest::newRow("apply two plans") << QStringLiteral("apply a.csv b.csv")
                                     << QStringLiteral("unexpected argument \"b.csv\"");
    QTest::newRow("apply stdin without user")
        << QStringLiteral("apply plan.csv --password-stdin") << QStringLiteral("--password-stdin needs --user");
    QTest::newRow("apply remember without user")
        << QStringLiteral("apply plan.csv --remember") << QStringLiteral("--remember needs --user");
    QTest::newRow("apply bad format") << QStringLiteral("apply plan.csv --format xml")
                                      << QStringLiteral("table, json or csv");
    QTest::newRow("forget takes no options") << QStringLiteral("forget 02:00:00:00:00:01 --wait 5")
                                             << QStringLiteral("unknown option \"--wait\" for forget");
    // A value that may be a secret is never quoted back.
    QTest::newRow("unknown option with value")
        << QStringLiteral("set 02:00:00:00:00:01 --pass=hunter2") << QStringLiteral("unknown option \"--pass\" for");
    QTest::newRow("unknown short option with value")
        << QStringLiteral("set 02:00:00:00:00:01 -phunter2") << QStringLiteral("unknown option \"-p\" for");
    QTest::newRow("flag given a value") << QStringLiteral("set 02:00:00:00:00:01 --user u --password-stdin=hunter2")
                                        << QStringLiteral("--password-stdin takes no value");
    QTest::newRow("word after the password flag")
        << QStringLiteral("set --hostname ab --user u --password-stdin hunter2")
        << QStringLiteral("--password-stdin takes no value");
    QTest::newRow("apply word after the password flag")
        << QStringLiteral("apply plan.csv --user u --password-stdin hunter2")
        << QStringLiteral("--password-stdin takes no value");
    QTest::newRow("apply password before the plan")
        << QStringLiteral("apply --user u --password-stdin hunter2 plan.csv")
        << QStringLiteral("--password-stdin takes no value");
    QTest::newRow("interval without watch") << QStringLiteral("scan --interval 10") << QStringLiteral("with --watch");
    QTest::newRow("interval too short") << QStringLiteral("scan --watch --interval 4")
                                        << QStringLiteral("--interval must be a whole number from 5 to 86400");
    QTest::newRow("watch with json") << QStringLiteral("scan --watch --format json") << QStringLiteral("no --format");
    QTest::newRow("watch for show") << QStringLiteral("show 02:00:00:00:00:01 --watch")
                                    << QStringLiteral("unknown option \"--watch\" for show");
    QTest::newRow("history two MACs") << QStringLiteral("history 02:00:00:00:00:01 02:00:00:00:00:02")
                                      << QStringLiteral("at most one MAC");
}

void TestCliCommandLine::errors()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    QString error;
    QVERIFY(!CommandLine::parse(split(line), &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY2(!error.contains(QLatin1String("hunter2")), qPrintable(error));
}

void TestCliCommandLine::scanOptions()
{
    QString error;
    auto options = CommandLine::parse(split(QStringLiteral("scan")), &error);
    QVERIFY2(options, qPrintable(error));
    QCOMPARE(options->command, CommandLine::Command::Scan);
    QCOMPARE(options->waitMs, 3000);
    QCOMPARE(options->repeat, 1);
    QCOMPARE(options->format, RecordTable::Format::Table);
    QVERIFY(options->interfaceName.isEmpty());

    options = CommandLine::parse(
        split(QStringLiteral("scan --interface=192.168.77.1 --wait 250 --repeat 4 --format csv")), &error);
    QVERIFY2(options, qPrintable(error));
    QCOMPARE(options->interfaceName, QStringLiteral("192.168.77.1"));
    QCOMPARE(options->waitMs, 250);
    QCOMPARE(options->repeat, 4);
    QCOMPARE(options->format, RecordTable::Format::Csv);

    options = CommandLine::parse(split(QStringLiteral("scan --all-interfaces --format json")), &error);
    QVERIFY2(options, qPrintable(error));
    QVERIFY(options->allInterfaces);
    QCOMPARE(options->format, RecordTable::Format::Json);
}

void TestCliCommandLine::historyOptions_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("noHistory");
    QTest::addColumn<bool>("watch");
    QTest::addColumn<int>("interval"); // 0: not given
    QTest::addColumn<bool>("events");
    QTest::newRow("watch, default interval")
        << QStringLiteral("scan --watch --format table") << false << true << 0 << false;
    QTest::newRow("watch without history")
        << QStringLiteral("scan --watch --interval 5 --no-history --wait 1000") << true << true << 5 << false;
    QTest::newRow("export without history")
        << QStringLiteral("export --all -o x.xml --no-history") << true << false << 0 << false;
    QTest::newRow("apply without history") << QStringLiteral("apply p.csv --no-history") << true << false << 0 << false;
    QTest::newRow("history events") << QStringLiteral("history --events --format csv") << false << false << 0 << true;
    QTest::newRow("history of a device") << QStringLiteral("history 02:5a:00:00:01:01") << false << false << 0 << false;
}

void TestCliCommandLine::historyOptions()
{
    QFETCH(QString, line);
    QString error;
    const auto options = CommandLine::parse(split(line), &error);
    QVERIFY2(options, qPrintable(error));
    QTEST(options->noHistory, "noHistory");
    QTEST(options->watch, "watch");
    QTEST(options->intervalSeconds.value_or(0), "interval");
    QTEST(options->events, "events");
}

void TestCliCommandLine::setOptions()
{
    QString error;
    const auto options = CommandLine::parse(
        split(QStringLiteral("set --hostname cam --static --ip 192.168.1.5 --mask 255.255.255.0 "
                             "--gateway 192.168.1.1 --domain= --dns1 1.1.1.1 --dns2 0.0.0.0 --user admin "
                             "--password-stdin 02:5a:00:00:01:01 --remember --wait 900")),
        &error);
    QVERIFY2(options, qPrintable(error));
    QCOMPARE(options->macs, QStringList{QStringLiteral("02:5a:00:00:01:01")});
    const ConfigChange &change = options->change;
    QCOMPARE(change.hostName, QStringLiteral("cam"));
    QCOMPARE(change.dhcp, false);
    QCOMPARE(change.ip, QStringLiteral("192.168.1.5"));
    QCOMPARE(change.mask, QStringLiteral("255.255.255.0"));
    QCOMPARE(change.gateway, QStringLiteral("192.168.1.1"));
    QCOMPARE(change.domain, QString()); // given, empty: clears the domain
    QCOMPARE(change.dns1, QStringLiteral("1.1.1.1"));
    QCOMPARE(change.dns2, QStringLiteral("0.0.0.0"));
    QCOMPARE(options->user, QStringLiteral("admin"));
    QVERIFY(options->passwordStdin);
    QVERIFY(options->remember);
    QCOMPARE(options->waitMs, 900);

    // Values are checked when the command runs, so that each refusal names its field.
    const auto unchecked = CommandLine::parse(split(QStringLiteral("set 02:00:00:00:00:01 --ip 300.1.1.1")), &error);
    QVERIFY2(unchecked, qPrintable(error));
    QCOMPARE(unchecked->change.ip, QStringLiteral("300.1.1.1"));
    QVERIFY(!unchecked->change.hostName);
    QVERIFY(!unchecked->change.dhcp);
}

void TestCliCommandLine::exportOptions()
{
    QString error;
    auto options = CommandLine::parse(
        split(QStringLiteral("export 02:00:00:00:00:02 02:00:00:00:00:01 -o out.xml --repeat 2")), &error);
    QVERIFY2(options, qPrintable(error));
    QCOMPARE(options->macs, (QStringList{QStringLiteral("02:00:00:00:00:02"), QStringLiteral("02:00:00:00:00:01")}));
    QCOMPARE(options->outputFile, QStringLiteral("out.xml"));
    QCOMPARE(options->repeat, 2);
    options = CommandLine::parse(split(QStringLiteral("export --all --output=-dash.xml")), &error);
    QVERIFY2(options, qPrintable(error));
    QVERIFY(options->all);
    QCOMPARE(options->outputFile, QStringLiteral("-dash.xml"));
    // After "--" a MAC-like or dash-led word is an argument.
    options = CommandLine::parse(split(QStringLiteral("export -o x.xml -- 02:00:00:00:00:03")), &error);
    QVERIFY2(options, qPrintable(error));
    QCOMPARE(options->macs, QStringList{QStringLiteral("02:00:00:00:00:03")});
}

void TestCliCommandLine::planOptions_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("addressing"); // the plan's config cells: DHCP, static or kept
    QTest::addColumn<QStringList>("macs");
    QTest::addColumn<int>("firstNumber");
    const QStringList none;
    QTest::newRow("DHCP for all") << QStringLiteral("plan --all --dhcp --hostname cam-{nn}") << QStringLiteral("DHCP")
                                  << none << 1;
    QTest::newRow("static for given devices")
        << QStringLiteral("plan 02:00:00:00:00:02 02:00:00:00:00:01 --first-ip 192.168.1.10 --mask 255.255.255.0 "
                          "--gateway 192.168.1.1 -o plan.csv")
        << QStringLiteral("static") << QStringList{"02:00:00:00:00:02", "02:00:00:00:00:01"} << 1;
    QTest::newRow("names only from 0") << QStringLiteral("plan --all --hostname=cam-{nnn} --first-number=0")
                                       << QStringLiteral("kept") << none << 0;
    QTest::newRow("name without counter")
        << QStringLiteral("plan 02:00:00:00:00:01 --hostname lobby --domain x.example") << QStringLiteral("kept")
        << QStringList{"02:00:00:00:00:01"} << 1;
}

void TestCliCommandLine::planOptions()
{
    QFETCH(QString, line);
    QFETCH(QStringList, macs);
    QString error;
    const auto options = CommandLine::parse(split(line), &error);
    QVERIFY2(options, qPrintable(error));
    QCOMPARE(options->all, macs.isEmpty());
    QCOMPARE(options->macs, macs);
    const ConfigChange &change = options->change;
    QTEST(change.dhcp ? QStringLiteral("DHCP")
          : change.ip ? QStringLiteral("static")
                      : QStringLiteral("kept"),
          "addressing");
    QTEST(options->firstNumber, "firstNumber");
}

void TestCliCommandLine::applyOptions_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("planFile");
    QTest::addColumn<bool>("dryRun");
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("format");
    QTest::newRow("every option")
        << QStringLiteral("apply --dry-run --user admin --password-stdin cams.csv --remember --format=json "
                          "--interface eth1 --wait 900 --repeat 2")
        << QStringLiteral("cams.csv") << true << QStringLiteral("admin") << int(RecordTable::Format::Json);
    // After "--" a dash-led word is the plan, not an option.
    QTest::newRow("plan after --") << QStringLiteral("apply --format csv -- -cams.csv") << QStringLiteral("-cams.csv")
                                   << false << QString() << int(RecordTable::Format::Csv);
}

void TestCliCommandLine::applyOptions()
{
    QFETCH(QString, line);
    QFETCH(QString, user);
    QString error;
    const auto options = CommandLine::parse(split(line), &error);
    QVERIFY2(options, qPrintable(error));
    QCOMPARE(options->command, CommandLine::Command::Apply);
    QTEST(options->planFile, "planFile");
    QTEST(options->dryRun, "dryRun");
    QCOMPARE(options->user, user);
    QCOMPARE(options->passwordStdin, !user.isEmpty());
    QCOMPARE(options->remember, !user.isEmpty());
    QTEST(int(options->format), "format");
    QVERIFY(options->macs.isEmpty());
}

void TestCliCommandLine::helpAndVersion_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("version");
    QTest::newRow("program help") << QStringLiteral("--help") << int(CommandLine::Command::None) << false;
    QTest::newRow("short help") << QStringLiteral("-h") << int(CommandLine::Command::None) << false;
    QTest::newRow("version") << QStringLiteral("--version") << int(CommandLine::Command::None) << true;
    QTest::newRow("command help") << QStringLiteral("set --help") << int(CommandLine::Command::Set) << false;
    QTest::newRow("plan help") << QStringLiteral("plan --help") << int(CommandLine::Command::Plan) << false;
    QTest::newRow("apply help") << QStringLiteral("apply --help") << int(CommandLine::Command::Apply) << false;
    QTest::newRow("history help") << QStringLiteral("history --help") << int(CommandLine::Command::History) << false;
    // Help wins over what would be an error, so that it can always be asked for.
    QTest::newRow("help despite missing MAC") << QStringLiteral("show -h") << int(CommandLine::Command::Show) << false;
}

void TestCliCommandLine::helpAndVersion()
{
    QFETCH(QString, line);
    QFETCH(int, command);
    QFETCH(bool, version);
    QString error;
    const auto options = CommandLine::parse(split(line), &error);
    QVERIFY2(options, qPrintable(error));
    QCOMPARE(int(options->command), command);
    QCOMPARE(options->version, version);
    QCOMPARE(options->help, !version);
    const QString help = CommandLine::helpText(options->command);
    QVERIFY(help.startsWith(QLatin1String("Usage: veltra-find")));
    if (options->command != CommandLine::Command::None)
        QVERIFY(help.contains(CommandLine::commandName(options->command)));
}

void TestCliCommandLine::passwordOnStandardInput_data()
{
    QTest::addColumn<QByteArray>("input"); // "/dev/zero": that file
    QTest::addColumn<QString>("message");
    QTest::newRow("endless") << QByteArray("/dev/zero") << QStringLiteral("longer than 1024 bytes");
    QTest::newRow("long line") << QByteArray("hunter2").repeated(200) << QStringLiteral("longer than 1024 bytes");
    // Taken whole, then refused for the user name "a:b".
    QTest::newRow("longest line") << QByteArray(1024, 'h') + "\nhunter2" << QStringLiteral("credentials: the user");
}

// The program itself refuses at once, before any socket exists, and shows nothing of the input.
void TestCliCommandLine::passwordOnStandardInput()
{
    REQUIRE_ISOLATED_NETWORK();
    QFETCH(QByteArray, input);
    QFETCH(QString, message);
    QProcess process;
    if (input == "/dev/zero")
        process.setStandardInputFile(QString::fromLatin1(input));
    process.start(QStringLiteral(VELTRA_FIND),
                  split("set 02:00:00:00:00:01 --hostname ab --password-stdin --user a:b"));
    if (process.waitForStarted() && process.isWritable())
        process.write(input);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), int(CommandLine::BadInput));
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(errors.contains(message) && !errors.contains(QLatin1String("hunter2")), qPrintable(errors));
}

// Out of the environment once read, also when the credentials are refused.
void TestCliCommandLine::passwordEnvironmentGoesOnceRead()
{
    QString error;
    const auto options = CommandLine::parse(split("set 02:00:00:00:00:01 --hostname ab --user a:b"), &error);
    qputenv("VELTRA_PASSWORD", "hunter2");
    FILE *err = std::tmpfile();
    QCOMPARE(CommandRunner(stdout, err).run(*options), int(CommandLine::BadInput));
    std::fclose(err);
    QVERIFY(!qEnvironmentVariableIsSet("VELTRA_PASSWORD"));
}

// The only word after --password-stdin is taken for the plan; if it is no file, it may have been the
// password, and the message leaves it out. Nothing is read, scanned or sent before the plan.
void TestCliCommandLine::applyNeverQuotesAPasswordAsPlan()
{
    QString error;
    const auto options = CommandLine::parse(split("apply --user u --password-stdin hunter2"), &error);
    QVERIFY2(options, qPrintable(error));
    FILE *err = std::tmpfile();
    QCOMPARE(CommandRunner(stdout, err).run(*options), int(CommandLine::BadInput));
    std::rewind(err);
    QByteArray errors(4096, '\0');
    errors.truncate(qsizetype(std::fread(errors.data(), 1, size_t(errors.size()), err)));
    std::fclose(err);
    QVERIFY2(errors.contains("given after --password-stdin") && !errors.contains("hunter2"), errors.constData());
}

void TestCliCommandLine::rememberRefusesAUserNameWithBar_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("refused");
    QTest::newRow("| in the password") << QStringLiteral("admin") << false;
    QTest::newRow("| in the user name") << QStringLiteral("ad|min") << true;
}

// The store reads the user name up to its record's second "|" and the rest as the password. The
// interface named exists nowhere: a run that gets past the credentials still sends nothing.
void TestCliCommandLine::rememberRefusesAUserNameWithBar()
{
    REQUIRE_ISOLATED_NETWORK();
    QFETCH(QString, user);
    QFETCH(bool, refused);
    QString error;
    const auto options = CommandLine::parse(
        split("set 02:00:00:00:00:01 --hostname ab --remember --interface none-such --user " + user), &error);
    QVERIFY2(options, qPrintable(error));
    qputenv("VELTRA_PASSWORD", "s3|cret");
    FILE *err = std::tmpfile();
    QCOMPARE(CommandRunner(stdout, err).run(*options), int(CommandLine::BadInput));
    std::rewind(err);
    QByteArray errors(4096, '\0');
    errors.truncate(qsizetype(std::fread(errors.data(), 1, size_t(errors.size()), err)));
    std::fclose(err);
    QVERIFY2(errors.contains("--remember: ") == refused, errors.constData());
}

QTEST_GUILESS_MAIN(TestCliCommandLine)
#include "tst_cli_commandline.moc"
