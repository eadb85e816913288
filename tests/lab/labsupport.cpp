// SPDX-License-Identifier: Apache-2.0
#include "labsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QProcessEnvironment>
#include <QtEndian>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace Lab {

namespace {

constexpr quint16 ProtocolPort = 28244;
constexpr int ReadyTimeoutMs = 10000;
constexpr int WitnessBufferSize = 4 * 1024 * 1024;
constexpr char KeyText[] = "5e7b9d21-4c8a-4f03-b6e2-91d0a7c3f458";

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

void putText(QByteArray &datagram, int offset, int width, const QByteArray &text)
{
    const QByteArray cut = text.left(width - 1);
    std::memcpy(datagram.data() + offset, cut.constData(), size_t(cut.size()));
}

} // namespace

Environment Environment::fromProcess()
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    Environment lab;
    lab.hostNamespace = env.value(QStringLiteral("NETLAB_HOST"));
    lab.lanNamespace = env.value(QStringLiteral("NETLAB_LAN"));
    lab.hostIp = env.value(QStringLiteral("NETLAB_HOST_IP"));
    lab.lanIp = env.value(QStringLiteral("NETLAB_LAN_IP"));
    lab.hostInterface = env.value(QStringLiteral("NETLAB_HOST_IF"));
    lab.lanInterface = env.value(QStringLiteral("NETLAB_LAN_IF"));
    lab.lanExec = env.value(QStringLiteral("NETLAB_LAN_EXEC")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    lab.lanNetns = env.value(QStringLiteral("NETLAB_LAN_NETNS"));
    lab.simulator = env.value(QStringLiteral("VELTRA_DEVSIM"));
    return lab;
}

QString Environment::missing() const
{
    QStringList gaps;
    if (hostNamespace.isEmpty() || lanNamespace.isEmpty() || hostIp.isEmpty() || lanIp.isEmpty() ||
        hostInterface.isEmpty() || lanExec.isEmpty() || lanNetns.isEmpty())
        gaps.append(QStringLiteral("no NETLAB_* variables"));
    if (simulator.isEmpty() || !QFile::exists(simulator))
        gaps.append(QStringLiteral("no simulator at VELTRA_DEVSIM='%1'").arg(simulator));
    return gaps.join(QStringLiteral("; "));
}

ExtraLink::ExtraLink(const Environment &lab, const QString &hostInterface, const QString &hostCidr,
                     const QString &lanCidr)
    : linked(lab)
{
    const QString space = QStringLiteral("vdf-%1-%2").arg(hostInterface).arg(QCoreApplication::applicationPid());
    linked.lanNamespace = space;
    linked.lanExec = {QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"), space};
    linked.lanNetns = QStringLiteral("/run/netns/") + space;
    linked.hostInterface = hostInterface;
    linked.hostIp = hostCidr.section(QLatin1Char('/'), 0, 0);
    linked.lanInterface = QStringLiteral("lan0");
    linked.lanIp = lanCidr.section(QLatin1Char('/'), 0, 0);
    const QList<QStringList> steps = {
        {"netns", "add", space},
        {"link", "add", hostInterface, "type", "veth", "peer", "name", "lan0", "netns", space},
        {"address", "add", hostCidr, "dev", hostInterface},
        {"link", "set", hostInterface, "up"},
        {"-n", space, "address", "add", lanCidr, "dev", "lan0"},
        {"-n", space, "link", "set", "lan0", "up"},
        {"-n", space, "link", "set", "lo", "up"},
        {"-n", space, "route", "add", "default", "dev", "lan0"},
    };
    for (const QStringList &step : steps) {
        if (QProcess::execute(QStringLiteral("ip"), step) != 0) {
            error = QStringLiteral("ip %1 failed").arg(step.join(QLatin1Char(' ')));
            return;
        }
    }
}

ExtraLink::~ExtraLink()
{
    // The veth pair goes with the namespace that holds one of its ends.
    QProcess::execute(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("delete"), linked.lanNamespace});
}

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// --- Simulator --------------------------------------------------------------------------------

Simulator::Simulator(const Environment &lab, const QStringList &arguments) : lab(lab), arguments(arguments)
{
    logPath = dir.filePath(QStringLiteral("devsim.log"));
}

Simulator::~Simulator()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

bool Simulator::start(QString *error)
{
    if (!dir.isValid()) {
        *error = QStringLiteral("no temporary directory for the simulator's log");
        return false;
    }
    QStringList command = lab.lanExec.mid(1);
    command << lab.simulator << arguments << QStringLiteral("--log") << logPath;
    process.start(lab.lanExec.constFirst(), command);
    if (!process.waitForStarted(ReadyTimeoutMs)) {
        *error = QStringLiteral("cannot start %1: %2").arg(command.join(QLatin1Char(' ')), process.errorString());
        return false;
    }
    QDeadlineTimer deadline(ReadyTimeoutMs);
    while (!process.canReadLine()) {
        if (process.state() == QProcess::NotRunning || deadline.hasExpired() ||
            !process.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)))) {
            if (process.canReadLine())
                break;
            *error = QStringLiteral("the simulator (%1) did not get ready (exit code %2): %3")
                         .arg(arguments.join(QLatin1Char(' ')))
                         .arg(process.exitCode())
                         .arg(errorOutput());
            return false;
        }
    }
    ready = QString::fromLocal8Bit(process.readLine()).trimmed();
    return true;
}

QString Simulator::errorOutput()
{
    errors += process.readAllStandardError();
    return QString::fromLocal8Bit(errors).trimmed();
}

QList<QJsonObject> Simulator::received() const
{
    QList<QJsonObject> entries;
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        // The last line may still be half written.
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject())
            continue;
        const QJsonObject entry = document.object();
        if (!entry.value(QLatin1String("own")).toBool())
            entries.append(entry);
    }
    return entries;
}

// --- LanSocket --------------------------------------------------------------------------------

LanSocket::LanSocket(const Environment &lab)
{
    // A socket belongs to the namespace its thread is in when it is made: visit lan, make the
    // socket, come back.
    const int home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int lan = ::open(QFile::encodeName(lab.lanNetns).constData(), O_RDONLY | O_CLOEXEC);
    if (home < 0 || lan < 0) {
        error = systemError("cannot open the network namespaces");
    } else if (::setns(lan, CLONE_NEWNET) != 0) {
        error = systemError("cannot enter the lan namespace");
    } else {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            error = systemError("cannot make a socket in lan");
        if (::setns(home, CLONE_NEWNET) != 0)
            qFatal("cannot return to the host namespace: %s", std::strerror(errno));
    }
    if (home >= 0)
        ::close(home);
    if (lan >= 0)
        ::close(lan);
    if (fd < 0)
        return;

    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    ::inet_pton(AF_INET, lab.lanIp.toLatin1().constData(), &address.sin_addr);
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        error = systemError("cannot prepare the lan socket");
        ::close(fd);
        fd = -1;
    }
}

LanSocket::~LanSocket()
{
    if (fd >= 0)
        ::close(fd);
}

bool LanSocket::broadcast(const QByteArray &datagram)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(ProtocolPort);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    const ssize_t sent = ::sendto(fd, datagram.constData(), size_t(datagram.size()), 0,
                                  reinterpret_cast<const sockaddr *>(&to), sizeof to);
    if (sent != datagram.size()) {
        error = systemError("sending from lan failed");
        return false;
    }
    return true;
}

// --- Witness ----------------------------------------------------------------------------------

Witness::Witness()
{
    fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = systemError("cannot make the witness socket");
        return;
    }
    const int on = 1;
    const int buffer = WitnessBufferSize;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(ProtocolPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        error = systemError("cannot bind the witness socket to the protocol port");
        ::close(fd);
        fd = -1;
        return;
    }
    reader = std::thread(&Witness::run, this);
}

Witness::~Witness()
{
    stopping = true;
    if (reader.joinable())
        reader.join();
    if (fd >= 0)
        ::close(fd);
}

void Witness::run()
{
    QByteArray buffer(65536, '\0');
    pollfd waiting{fd, POLLIN, 0};
    while (!stopping) {
        if (::poll(&waiting, 1, 20) <= 0)
            continue;
        const ssize_t size = ::recv(fd, buffer.data(), size_t(buffer.size()), MSG_DONTWAIT);
        if (size < 0)
            continue;
        const Arrival arrival{nowMs(), buffer.left(int(size))};
        QMutexLocker locker(&mutex);
        seen.append(arrival);
    }
}

QList<Witness::Arrival> Witness::arrivals() const
{
    QMutexLocker locker(&mutex);
    return seen;
}

int Witness::count() const
{
    QMutexLocker locker(&mutex);
    return int(seen.size());
}

// --- Datagrams --------------------------------------------------------------------------------

QByteArray key()
{
    return QByteArray(KeyText);
}

QByteArray replyDatagram(quint32 messageId, const QString &destMac, const QString &srcMac, quint32 resultCode,
                         const QByteArray &body)
{
    QByteArray datagram(124, '\0');
    putText(datagram, 0, 37, key());
    qToLittleEndian(messageId, datagram.data() + 40);
    qToLittleEndian(resultCode, datagram.data() + 44);
    qToLittleEndian(quint32(body.size()), datagram.data() + 48);
    datagram[52] = char(4);
    putText(datagram, 56, 18, destMac.toLatin1());
    putText(datagram, 74, 18, srcMac.toLatin1());
    putText(datagram, 92, 16, QByteArray("192.168.77.2"));
    return datagram + body;
}

QByteArray fieldText(const QByteArray &datagram, int offset, int width)
{
    const QByteArray field = datagram.mid(offset, width);
    const int end = int(field.indexOf('\0'));
    return end < 0 ? field : field.left(end);
}

quint32 readUInt32(const QByteArray &datagram, int offset)
{
    if (datagram.size() < offset + 4)
        return 0;
    return qFromLittleEndian<quint32>(datagram.constData() + offset);
}

} // namespace Lab
