// SPDX-License-Identifier: Apache-2.0
#include "protocol/networkdiagnosis.h"

#include "protocol/configcheck.h"
#include "protocol/datagramreceiver.h"
#include "protocol/messageheader.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

namespace {

using Finding = NetworkDiagnosis::Finding;
using Severity = NetworkDiagnosis::Severity;

constexpr quint16 Port = Protocol::DevicePort;
const QString PortText = QString::number(Port);
// Chains that jump to each other deeper than this are not followed further.
constexpr int MaxChainDepth = 16;

Finding problem(const QString &check, const QString &cause, const QString &fix)
{
    return {Severity::Problem, check, cause, fix};
}

Finding note(const QString &check, const QString &cause, const QString &fix = QString())
{
    return {Severity::Note, check, cause, fix};
}

QString firstLine(const QByteArray &text)
{
    return QString::fromLocal8Bit(text).trimmed().section(QLatin1Char('\n'), 0, 0);
}

QString unreadable(const QString &what, const NetworkDiagnosis::ToolResult &result)
{
    const QString reason = !result.finished
                               ? NetworkDiagnosis::tr("no answer within %1 s").arg(NetworkDiagnosis::ToolTimeout / 1000)
                               : firstLine(result.errorOutput + result.output);
    return NetworkDiagnosis::tr("%1 could not be read (%2)")
        .arg(what, reason.isEmpty() ? NetworkDiagnosis::tr("no reason given") : reason);
}

QString asRoot()
{
    return NetworkDiagnosis::tr("run the check as root: sudo veltra-find diagnose");
}

// --- Firewall rules, from nftables or iptables, as far as UDP to the device port goes -----------

// How a rule's conditions relate to a broadcast to UDP port 28244, strongest first.
enum class Reach {
    Any,      // no condition that tells: the rule applies
    Other,    // conditions on something else (connection state, addresses, loopback): not counted
    Names,    // names the port (or a set or range holding it)
    Excludes, // cannot apply: another protocol or other ports
};

Reach combine(Reach a, Reach b)
{
    return std::max(a, b);
}

enum class Verdict { None, Accept, Drop, Jump, Goto, Return };

struct Rule
{
    Reach reach = Reach::Any;
    Verdict verdict = Verdict::None;
    QString target; // of a jump or goto
    QString text;   // how a message names the rule
};

struct Chain
{
    QString family;
    QString table;
    QString name;
    bool inputHook = false;
    bool policyDrop = false;
    QList<Rule> rules;
};

struct Outcome
{
    Verdict verdict = Verdict::None; // Accept, Drop or None (falls through)
    QString where;                   // the dropping rule
};

class Ruleset
{
public:
    QList<Chain> chains;

    const Chain *find(const Chain &from, const QString &name) const
    {
        for (const Chain &chain : chains) {
            if (chain.family == from.family && chain.table == from.table && chain.name == name)
                return &chain;
        }
        return nullptr;
    }

    // What `chain` does with a broadcast to the device port. Rules with conditions on something
    // else than the port are passed over: whether they apply cannot be told from here.
    Outcome evaluate(const Chain &chain, int depth = 0) const
    {
        for (const Rule &rule : chain.rules) {
            if (rule.reach == Reach::Other || rule.reach == Reach::Excludes)
                continue;
            switch (rule.verdict) {
            case Verdict::Accept:
                return {Verdict::Accept, QString()};
            case Verdict::Drop:
                return {Verdict::Drop, rule.text};
            case Verdict::Return:
                return {};
            case Verdict::Jump:
            case Verdict::Goto: {
                const Chain *target = find(chain, rule.target);
                if (!target || depth >= MaxChainDepth)
                    break;
                const Outcome outcome = evaluate(*target, depth + 1);
                // Falling off the end of a goto's chain returns to the caller of this one.
                if (outcome.verdict != Verdict::None || rule.verdict == Verdict::Goto)
                    return outcome;
                break;
            }
            case Verdict::None:
                break;
            }
        }
        return {};
    }
};

bool inRange(qint64 low, qint64 high)
{
    return low <= Port && Port <= high;
}

// --- nftables' JSON ---

bool nftHolds(const QJsonValue &value, const QHash<QString, QJsonArray> &sets);

bool nftElementsHold(const QJsonArray &elements, const QHash<QString, QJsonArray> &sets)
{
    for (const QJsonValue &element : elements) {
        if (nftHolds(element, sets))
            return true;
    }
    return false;
}

// Whether the right-hand side of a port match holds the device port.
bool nftHolds(const QJsonValue &value, const QHash<QString, QJsonArray> &sets)
{
    if (value.isDouble())
        return value.toInteger() == Port;
    if (value.isString()) {
        const QString text = value.toString();
        if (text.startsWith(QLatin1Char('@')))
            return nftElementsHold(sets.value(text.mid(1)), sets);
        return text == PortText;
    }
    if (value.isArray())
        return nftElementsHold(value.toArray(), sets);
    const QJsonObject object = value.toObject();
    if (object.contains(QLatin1String("range"))) {
        const QJsonArray range = object.value(QLatin1String("range")).toArray();
        return inRange(range.at(0).toInteger(), range.at(1).toInteger());
    }
    if (object.contains(QLatin1String("set")))
        return nftElementsHold(object.value(QLatin1String("set")).toArray(), sets);
    if (object.contains(QLatin1String("elem")))
        return nftHolds(object.value(QLatin1String("elem")).toObject().value(QLatin1String("val")), sets);
    return false;
}

bool nftNames(const QJsonValue &value, const QString &word)
{
    if (value.isString())
        return value.toString() == word;
    const QJsonArray set = value.toObject().value(QLatin1String("set")).toArray();
    return std::any_of(set.begin(), set.end(), [&word](const QJsonValue &item) { return item.toString() == word; });
}

Reach nftMatch(const QJsonObject &match, const QHash<QString, QJsonArray> &sets)
{
    const bool negated = match.value(QLatin1String("op")).toString() == QLatin1String("!=");
    const QJsonObject left = match.value(QLatin1String("left")).toObject();
    const QJsonValue right = match.value(QLatin1String("right"));
    const auto either = [negated](bool holds, Reach yes, Reach no) { return holds != negated ? yes : no; };
    if (left.contains(QLatin1String("payload"))) {
        const QJsonObject payload = left.value(QLatin1String("payload")).toObject();
        const QString protocol = payload.value(QLatin1String("protocol")).toString();
        const QString field = payload.value(QLatin1String("field")).toString();
        if (protocol == QLatin1String("udp") || protocol == QLatin1String("th")) {
            if (field == QLatin1String("dport"))
                return either(nftHolds(right, sets), Reach::Names, Reach::Excludes);
            return Reach::Other;
        }
        if ((protocol == QLatin1String("ip") && field == QLatin1String("protocol")))
            return either(nftNames(right, QStringLiteral("udp")), Reach::Any, Reach::Excludes);
        if (protocol == QLatin1String("ip") || protocol == QLatin1String("ether") || protocol == QLatin1String("vlan"))
            return Reach::Other;
        return Reach::Excludes; // tcp, sctp, icmp, ip6...: not a UDP broadcast over IPv4
    }
    if (left.contains(QLatin1String("meta"))) {
        const QString key = left.value(QLatin1String("meta")).toObject().value(QLatin1String("key")).toString();
        if (key == QLatin1String("l4proto"))
            return either(nftNames(right, QStringLiteral("udp")), Reach::Any, Reach::Excludes);
        if (key == QLatin1String("nfproto"))
            return either(nftNames(right, QStringLiteral("ipv4")), Reach::Any, Reach::Excludes);
        // A rule for the interfaces the replies may arrive on applies; one for loopback does not.
        if (key == QLatin1String("iifname") || key == QLatin1String("iif"))
            return either(nftNames(right, QStringLiteral("lo")), Reach::Other, Reach::Any);
    }
    return Reach::Other;
}

Rule nftRule(const QJsonObject &object, const QHash<QString, QJsonArray> &sets)
{
    Rule rule;
    rule.text =
        NetworkDiagnosis::tr("the nftables rule (handle %1) in chain %2 of table %3 %4")
            .arg(object.value(QLatin1String("handle")).toInteger())
            .arg(object.value(QLatin1String("chain")).toString(), object.value(QLatin1String("family")).toString(),
                 object.value(QLatin1String("table")).toString());
    const QJsonArray expressions = object.value(QLatin1String("expr")).toArray();
    for (const QJsonValue &value : expressions) {
        const QJsonObject expression = value.toObject();
        if (expression.contains(QLatin1String("match"))) {
            rule.reach = combine(rule.reach, nftMatch(expression.value(QLatin1String("match")).toObject(), sets));
        } else if (expression.contains(QLatin1String("accept"))) {
            rule.verdict = Verdict::Accept;
        } else if (expression.contains(QLatin1String("drop")) || expression.contains(QLatin1String("reject"))) {
            rule.verdict = Verdict::Drop;
        } else if (expression.contains(QLatin1String("return"))) {
            rule.verdict = Verdict::Return;
        } else if (expression.contains(QLatin1String("jump")) || expression.contains(QLatin1String("goto"))) {
            const bool jump = expression.contains(QLatin1String("jump"));
            rule.verdict = jump ? Verdict::Jump : Verdict::Goto;
            rule.target = expression.value(QLatin1String(jump ? "jump" : "goto"))
                              .toObject()
                              .value(QLatin1String("target"))
                              .toString();
        } else if (expression.contains(QLatin1String("xt"))) {
            // A match or target of iptables-nft that nft cannot show.
            const QJsonObject xt = expression.value(QLatin1String("xt")).toObject();
            if (xt.value(QLatin1String("type")).toString() == QLatin1String("target") &&
                xt.value(QLatin1String("name")).toString() == QLatin1String("REJECT"))
                rule.verdict = Verdict::Drop;
            else
                rule.reach = combine(rule.reach, Reach::Other);
        }
    }
    return rule;
}

std::optional<Ruleset> parseNft(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonArray items = document.object().value(QLatin1String("nftables")).toArray();
    // Named sets first: rules refer to them as @name within their table.
    QHash<QString, QHash<QString, QJsonArray>> setsByTable;
    const auto tableKey = [](const QJsonObject &object) {
        return object.value(QLatin1String("family")).toString() + QLatin1Char(' ') +
               object.value(QLatin1String("table")).toString();
    };
    for (const QJsonValue &item : items) {
        const QJsonObject set = item.toObject().value(QLatin1String("set")).toObject();
        if (!set.isEmpty())
            setsByTable[tableKey(set)].insert(set.value(QLatin1String("name")).toString(),
                                              set.value(QLatin1String("elem")).toArray());
    }
    Ruleset ruleset;
    for (const QJsonValue &item : items) {
        const QJsonObject object = item.toObject();
        if (object.contains(QLatin1String("chain"))) {
            const QJsonObject chain = object.value(QLatin1String("chain")).toObject();
            ruleset.chains.append({chain.value(QLatin1String("family")).toString(),
                                   chain.value(QLatin1String("table")).toString(),
                                   chain.value(QLatin1String("name")).toString(),
                                   chain.value(QLatin1String("hook")).toString() == QLatin1String("input"),
                                   chain.value(QLatin1String("policy")).toString() == QLatin1String("drop"),
                                   {}});
        } else if (object.contains(QLatin1String("rule"))) {
            const QJsonObject rule = object.value(QLatin1String("rule")).toObject();
            const QString table = rule.value(QLatin1String("table")).toString();
            const QString family = rule.value(QLatin1String("family")).toString();
            const QString chain = rule.value(QLatin1String("chain")).toString();
            for (Chain &candidate : ruleset.chains) {
                if (candidate.family == family && candidate.table == table && candidate.name == chain)
                    candidate.rules.append(nftRule(rule, setsByTable.value(tableKey(rule))));
            }
        }
    }
    return ruleset;
}

// --- iptables-save's text ---

Reach iptablesPorts(const QString &list)
{
    const QStringList parts = list.split(QLatin1Char(','));
    for (const QString &part : parts) {
        const QString low = part.section(QLatin1Char(':'), 0, 0);
        const QString high = part.contains(QLatin1Char(':')) ? part.section(QLatin1Char(':'), 1, 1) : low;
        if (inRange(low.isEmpty() ? 0 : low.toLongLong(), high.isEmpty() ? 65535 : high.toLongLong()))
            return Reach::Names;
    }
    return Reach::Excludes;
}

Rule iptablesRule(const QString &line)
{
    Rule rule;
    const QStringList words = QProcess::splitCommand(line);
    rule.text = NetworkDiagnosis::tr("the iptables rule \"%1\"").arg(line);
    bool negated = false;
    for (qsizetype i = 2; i < words.size(); ++i) { // after "-A CHAIN"
        const QString &word = words.at(i);
        const QString value = i + 1 < words.size() ? words.at(i + 1) : QString();
        Reach reach = Reach::Any;
        if (word == QLatin1String("!")) {
            negated = true;
            continue;
        }
        if (word == QLatin1String("-p") || word == QLatin1String("--protocol")) {
            reach = (value == QLatin1String("udp") || value == QLatin1String("all")) != negated ? Reach::Any
                                                                                                : Reach::Excludes;
            ++i;
        } else if (word == QLatin1String("--dport") || word == QLatin1String("--dports") ||
                   word == QLatin1String("--destination-port") || word == QLatin1String("--destination-ports")) {
            reach = iptablesPorts(value);
            if (negated)
                reach = reach == Reach::Names ? Reach::Excludes : Reach::Names;
            ++i;
        } else if (word == QLatin1String("-i") || word == QLatin1String("--in-interface")) {
            reach = (value == QLatin1String("lo")) != negated ? Reach::Other : Reach::Any;
            ++i;
        } else if (word == QLatin1String("-m") || word == QLatin1String("--match") ||
                   word == QLatin1String("--comment")) {
            ++i;
        } else if (word == QLatin1String("-j") || word == QLatin1String("--jump") || word == QLatin1String("-g") ||
                   word == QLatin1String("--goto")) {
            if (value == QLatin1String("ACCEPT"))
                rule.verdict = Verdict::Accept;
            else if (value == QLatin1String("DROP") || value == QLatin1String("REJECT"))
                rule.verdict = Verdict::Drop;
            else if (value == QLatin1String("RETURN"))
                rule.verdict = Verdict::Return;
            else if (value.startsWith(QLatin1Char('-')) || value == value.toUpper())
                rule.verdict = Verdict::None; // LOG, MARK and other targets that let the packet on
            else
                rule.verdict = word.startsWith(QLatin1String("-g")) || word == QLatin1String("--goto") ? Verdict::Goto
                                                                                                       : Verdict::Jump;
            rule.target = value;
            ++i;
        } else if (word.startsWith(QLatin1Char('-'))) {
            reach = Reach::Other;
            if (!value.startsWith(QLatin1Char('-')) && value != QLatin1String("!"))
                ++i;
        }
        negated = false;
        rule.reach = combine(rule.reach, reach);
    }
    return rule;
}

Ruleset parseIptables(const QByteArray &text)
{
    Ruleset ruleset;
    QString table;
    const QStringList lines = QString::fromLocal8Bit(text).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('*'))) {
            table = line.mid(1);
        } else if (table == QLatin1String("filter") && line.startsWith(QLatin1Char(':'))) {
            const QString name = line.mid(1).section(QLatin1Char(' '), 0, 0);
            const QString policy = line.section(QLatin1Char(' '), 1, 1);
            ruleset.chains.append({QStringLiteral("ip"),
                                   table,
                                   name,
                                   name == QLatin1String("INPUT"),
                                   policy == QLatin1String("DROP"),
                                   {}});
        } else if (table == QLatin1String("filter") && line.startsWith(QLatin1String("-A "))) {
            const QString name = line.section(QLatin1Char(' '), 1, 1);
            for (Chain &chain : ruleset.chains) {
                if (chain.name == name)
                    chain.rules.append(iptablesRule(line));
            }
        }
    }
    return ruleset;
}

// --- The port's holders, from /proc ---

struct PortSocket
{
    quint64 inode = 0;
    uint uid = 0;
};

QList<PortSocket> portSockets()
{
    QList<PortSocket> sockets;
    for (const QString &table : {QStringLiteral("/proc/net/udp"), QStringLiteral("/proc/net/udp6")}) {
        QFile file(table);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        file.readLine(); // the header
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine().simplified().split(' ');
            if (fields.size() < 10)
                continue;
            bool ok = false;
            const uint port = fields.at(1).split(':').value(1).toUInt(&ok, 16);
            if (ok && port == Port)
                sockets.append({fields.at(9).toULongLong(), fields.at(7).toUInt()});
        }
    }
    return sockets;
}

// "nc (pid 1234)" for each process with a descriptor of the socket that this user may look into.
QStringList socketOwners(quint64 inode, QStringList *pids)
{
    const QByteArray link = "socket:[" + QByteArray::number(inode) + ']';
    QStringList owners;
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : processes) {
        bool numeric = false;
        pid.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
        const QStringList descriptors = QDir(fdDir).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &descriptor : descriptors) {
            char target[64] = {};
            const QByteArray path = QFile::encodeName(fdDir + QLatin1Char('/') + descriptor);
            const ssize_t length = ::readlink(path.constData(), target, sizeof target - 1);
            if (length <= 0 || QByteArray(target, int(length)) != link)
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            const QString name =
                comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
            owners.append(NetworkDiagnosis::tr("%1 (pid %2)")
                              .arg(name.isEmpty() ? NetworkDiagnosis::tr("a process") : name, pid));
            pids->append(pid);
            break;
        }
    }
    return owners;
}

QString userName(uint uid)
{
    const passwd *entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QStringLiteral("uid %1").arg(uid);
}

} // namespace

NetworkDiagnosis::NetworkDiagnosis(ToolRunner runner, PacketTransceiver::InterfaceSource interfaces)
    : runner(std::move(runner)), interfaceSource(std::move(interfaces))
{}

QList<NetworkDiagnosis::Finding> NetworkDiagnosis::run() const
{
    QList<Finding> findings = checkInterfaces() + checkPort() + checkFirewall();
    if (!hasProblem(findings)) {
        // Whole sentences, as a translation needs them.
        const QString cause = findings.isEmpty()
                                  ? tr("nothing on this host stops the replies: when no device answered, most likely "
                                       "none could (devices off, on another segment behind a router, or a cable)")
                                  : tr("nothing on this host stops the replies that the checks could see: when no "
                                       "device answered, most likely none could (devices off, on another segment "
                                       "behind a router, or a cable)");
        findings.append(note(QStringLiteral("summary"), cause,
                             tr("check that the devices are powered and cabled to this host's network "
                                "segment, with no router in between")));
    }
    return findings;
}

bool NetworkDiagnosis::hasProblem(const QList<Finding> &findings)
{
    return std::any_of(findings.cbegin(), findings.cend(),
                       [](const Finding &finding) { return finding.severity == Severity::Problem; });
}

QString NetworkDiagnosis::severityName(Severity severity)
{
    return severity == Severity::Problem ? QStringLiteral("problem") : QStringLiteral("note");
}

QList<NetworkDiagnosis::Finding> NetworkDiagnosis::checkInterfaces() const
{
    const QString check = QStringLiteral("interface");
    const QList<PacketTransceiver::InterfaceInfo> interfaces = interfaceSource();
    QList<Finding> findings;
    QStringList down;
    for (const PacketTransceiver::InterfaceInfo &info : interfaces) {
        const bool active = info.flags.testAnyFlags(QNetworkInterface::IsUp | QNetworkInterface::IsRunning);
        if (active || info.flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QString &address : info.addresses) {
            if (!ConfigCheck::address(address).isEmpty())
                continue;
            findings.append(problem(check,
                                    tr("the network interface %1 has the IPv4 address %2 but is down: "
                                       "nothing is sent or received on it")
                                        .arg(info.name, address),
                                    QStringLiteral("sudo ip link set %1 up").arg(info.name)));
            down.append(info.name);
            break;
        }
    }
    if (PacketTransceiver::usableInterfaces(interfaces).isEmpty()) {
        findings.prepend(problem(check,
                                 tr("no usable network interface: none is up with an IPv4 address (other "
                                    "than loopback)"),
                                 down.isEmpty() ? tr("connect this host to the devices' network and give "
                                                     "it an IPv4 address (DHCP or static); ip -4 addr "
                                                     "shows what it has")
                                                : QStringLiteral("sudo ip link set %1 up").arg(down.constFirst())));
    }
    return findings;
}

QList<NetworkDiagnosis::Finding> NetworkDiagnosis::checkPort() const
{
    QString error;
    const int descriptor = DatagramReceiver::bindShared(Port, &error);
    if (descriptor >= 0) {
        ::close(descriptor);
        return {};
    }
    const QString check = QStringLiteral("port");
    QStringList owners;
    QStringList pids;
    QStringList hidden;
    const QList<PortSocket> sockets = portSockets();
    for (const PortSocket &socket : sockets) {
        const QStringList found = socketOwners(socket.inode, &pids);
        if (found.isEmpty())
            hidden.append(tr("a process of %1").arg(userName(socket.uid)));
        owners += found;
    }
    owners.removeDuplicates();
    hidden.removeDuplicates();
    pids.removeDuplicates();
    if (owners.isEmpty() && hidden.isEmpty()) {
        return {problem(check, tr("UDP port %1 cannot be had (%2): replies cannot be received").arg(PortText, error),
                        tr("sudo ss -uapn 'sport = :%1' shows what holds it").arg(PortText))};
    }
    if (!owners.isEmpty()) {
        const QString holders =
            hidden.isEmpty()
                ? owners.join(QStringLiteral(", "))
                : tr("%1 and %2").arg(owners.join(QStringLiteral(", ")), hidden.join(QStringLiteral(", ")));
        return {problem(check,
                        tr("UDP port %1 is held by %2, which does not share it: the replies cannot be "
                           "received")
                            .arg(PortText, holders),
                        tr("stop it: kill %1").arg(pids.join(QLatin1Char(' '))))};
    }
    return {problem(check,
                    tr("UDP port %1 is held by %2 that does not share it; which program it is could not "
                       "be told as this user: the replies cannot be received")
                        .arg(PortText, hidden.join(QStringLiteral(", "))),
                    tr("sudo ss -uapn 'sport = :%1' names it; then stop it").arg(PortText))};
}

QList<NetworkDiagnosis::Finding> NetworkDiagnosis::checkFirewall() const
{
    bool firewalld = false;
    bool ufw = false;
    QList<Finding> findings = checkFirewalld(&firewalld);
    findings += checkUfw(&ufw);
    // firewalld and ufw keep their rules in nftables (or iptables) too: their tables are left to
    // their own checks, whose advice goes through them.
    findings += checkRules(firewalld, ufw);
    return findings;
}

QList<NetworkDiagnosis::Finding> NetworkDiagnosis::checkFirewalld(bool *running) const
{
    const QString check = QStringLiteral("firewall");
    const QString program = QStringLiteral("firewall-cmd");
    const ToolResult state = runner(program, {QStringLiteral("--state")});
    *running = state.started && state.finished && state.exitCode == 0 &&
               QString::fromLocal8Bit(state.output).trimmed() == QLatin1String("running");
    if (!*running)
        return {};
    const ToolResult service =
        runner(program, {QStringLiteral("--query-service=%1").arg(QLatin1String(FirewalldService))});
    const ToolResult port = runner(program, {QStringLiteral("--query-port=%1/udp").arg(PortText)});
    const auto says = [](const ToolResult &result, const char *answer) {
        return result.finished && QString::fromLocal8Bit(result.output).trimmed() == QLatin1String(answer);
    };
    if (says(service, "yes") || says(port, "yes"))
        return {};
    if (!says(port, "no"))
        return {note(check, unreadable(tr("firewalld's zone"), port), asRoot())};
    // Without the package's service definition, firewalld knows no service of that name.
    const QString fix = says(service, "no")
                            ? QStringLiteral("sudo firewall-cmd --permanent --add-service=%1 && sudo firewall-cmd "
                                             "--reload")
                                  .arg(QLatin1String(FirewalldService))
                            : QStringLiteral("sudo firewall-cmd --permanent --add-port=%1/udp && sudo firewall-cmd "
                                             "--reload")
                                  .arg(PortText);
    return {problem(check,
                    tr("firewalld is running and its default zone does not open UDP port %1: it rejects "
                       "the replies")
                        .arg(PortText),
                    fix)};
}

QList<NetworkDiagnosis::Finding> NetworkDiagnosis::checkUfw(bool *active) const
{
    const QString check = QStringLiteral("firewall");
    const ToolResult status = runner(QStringLiteral("ufw"), {QStringLiteral("status"), QStringLiteral("verbose")});
    *active = false;
    if (!status.started)
        return {};
    const QString text = QString::fromLocal8Bit(status.output);
    if (!status.finished || status.exitCode != 0 || !text.contains(QLatin1String("Status:")))
        return {note(check, unreadable(tr("ufw's state"), status), asRoot())};
    if (!text.contains(QLatin1String("Status: active")))
        return {};
    *active = true;

    static const QRegularExpression columns(QStringLiteral("\\s{2,}"));
    static const QRegularExpression portRange(QStringLiteral("^(\\d+)(?::(\\d+))?(?:/(udp|tcp))?$"));
    const QString profile = QLatin1String(UfwProfile);
    bool rules = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("--"))) {
            rules = true;
            continue;
        }
        if (!rules || line.contains(QLatin1String("(v6)")) || line.trimmed().isEmpty())
            continue;
        // To, Action, From: the first rule for the port, or for all of it from anywhere, decides.
        const QStringList cells = line.trimmed().split(columns);
        if (cells.size() < 3 || cells.at(1).contains(QLatin1String("OUT")))
            continue;
        const QString &to = cells.at(0);
        const QRegularExpressionMatch ports = portRange.match(to);
        const bool names =
            to == profile ||
            (ports.hasMatch() && ports.captured(3) != QLatin1String("tcp") &&
             inRange(ports.captured(1).toLongLong(),
                     ports.captured(2).isEmpty() ? ports.captured(1).toLongLong() : ports.captured(2).toLongLong()));
        const bool everything = to == QLatin1String("Anywhere") && cells.at(2) == QLatin1String("Anywhere");
        if (!names && !everything)
            continue;
        if (cells.at(1).startsWith(QLatin1String("ALLOW")))
            return {};
        if (cells.at(1).startsWith(QLatin1String("DENY")) || cells.at(1).startsWith(QLatin1String("REJECT"))) {
            return {problem(
                check,
                tr("ufw's rule \"%1\" blocks UDP port %2: the replies do not arrive").arg(line.simplified(), PortText),
                tr("sudo ufw insert 1 allow \"%1\"   (without the package's profile: sudo ufw "
                   "insert 1 allow %2/udp)")
                    .arg(profile, PortText))};
        }
    }
    static const QRegularExpression incoming(QStringLiteral("Default: (\\w+) \\(incoming\\)"));
    if (incoming.match(text).captured(1) == QLatin1String("allow"))
        return {};
    return {problem(
        check, tr("ufw is active and no rule of it allows UDP port %1: it blocks the replies").arg(PortText),
        tr("sudo ufw allow \"%1\"   (without the package's profile: sudo ufw allow %2/udp)").arg(profile, PortText))};
}

QList<NetworkDiagnosis::Finding> NetworkDiagnosis::checkRules(bool skipFirewalld, bool skipUfw) const
{
    const QString check = QStringLiteral("firewall");
    std::optional<Ruleset> ruleset;
    bool nft = true;
    const ToolResult listed =
        runner(QStringLiteral("nft"), {QStringLiteral("-j"), QStringLiteral("list"), QStringLiteral("ruleset")});
    if (listed.started) {
        if (!listed.finished || listed.exitCode != 0)
            return {note(check, unreadable(tr("the nftables rules"), listed), asRoot())};
        // An empty ruleset prints nothing at all.
        ruleset = listed.output.trimmed().isEmpty() ? Ruleset() : parseNft(listed.output);
        if (!ruleset)
            return {note(check, tr("the nftables rules could not be understood (nft -j list ruleset)"))};
    } else {
        nft = false;
        const ToolResult saved = runner(QStringLiteral("iptables-save"), {});
        if (!saved.started)
            return {};
        if (!saved.finished || saved.exitCode != 0)
            return {note(check, unreadable(tr("the iptables rules"), saved), asRoot())};
        ruleset = parseIptables(saved.output);
    }

    QList<Finding> findings;
    for (const Chain &chain : std::as_const(ruleset->chains)) {
        if (!chain.inputHook || (chain.family != QLatin1String("ip") && chain.family != QLatin1String("inet")))
            continue;
        if (skipFirewalld && chain.table == QLatin1String("firewalld"))
            continue;
        if (skipUfw && chain.table == QLatin1String("filter"))
            continue;
        const Outcome outcome = ruleset->evaluate(chain);
        QString where = outcome.where;
        if (outcome.verdict == Verdict::None && chain.policyDrop)
            where = nft ? tr("the drop policy of the nftables input chain %1 of table %2 %3 (no rule "
                             "accepts UDP port %4)")
                              .arg(chain.name, chain.family, chain.table, PortText)
                        : tr("the DROP policy of the iptables INPUT chain (no rule accepts UDP port %1)").arg(PortText);
        else if (outcome.verdict != Verdict::Drop)
            continue;
        const QString fix = nft ? QStringLiteral("sudo nft insert rule %1 %2 %3 udp dport %4 accept")
                                      .arg(chain.family, chain.table, chain.name, PortText)
                                : QStringLiteral("sudo iptables -I INPUT -p udp --dport %1 -j ACCEPT").arg(PortText);
        findings.append(
            problem(check, tr("%1 drops UDP to port %2: the replies do not arrive").arg(where, PortText), fix));
    }
    return findings;
}

NetworkDiagnosis::ToolResult NetworkDiagnosis::runTool(const QString &program, const QStringList &arguments)
{
    ToolResult result;
    // Firewall tools live in sbin, which a user's PATH often leaves out.
    QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(program, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (path.isEmpty())
        return result;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(path, arguments);
    if (!process.waitForStarted(ToolTimeout))
        return result;
    result.started = true;
    if (!process.waitForFinished(ToolTimeout)) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.finished = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = process.readAllStandardOutput();
    result.errorOutput = process.readAllStandardError();
    return result;
}
