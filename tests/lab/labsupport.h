// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "netguard.h"

#include <atomic>
#include <thread>

// What the lab tests need around the program under test: the lab's names and addresses, the
// device simulator in the lan namespace, a socket that sends from the lan side, and a witness
// that records every datagram reaching the host's protocol port.
namespace Lab {

// The lab that tests/lab/netlab made for this run, read from the environment it exports.
struct Environment
{
    QString hostNamespace;
    QString lanNamespace;
    QString hostIp;
    QString lanIp;
    QString hostInterface;
    QString lanInterface;
    QStringList lanExec; // program and arguments that start a program in lan
    QString lanNetns;    // the lan namespace's file, for setns(2)
    QString simulator;   // the veltra-devsim executable

    static Environment fromProcess();
    // Empty when the lab is complete; otherwise what is missing.
    QString missing() const;
};

// Milliseconds on the monotonic clock that Witness and the tests share.
qint64 nowMs();

// One veltra-devsim started in lan; stopped when the object goes.
class Simulator
{
public:
    explicit Simulator(const Environment &lab, const QStringList &arguments);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Starts the simulator with its log and waits for its ready line. False with a message
    // (the simulator's own output included) when it fails to start or to get ready.
    bool start(QString *error);
    // The received datagrams logged so far, the simulator's own looped-back replies left out.
    QList<QJsonObject> received() const;
    QString readyLine() const { return ready; }
    // Standard error so far, for failure messages.
    QString errorOutput();

private:
    Environment lab;
    QStringList arguments;
    QTemporaryDir dir;
    QString logPath;
    QProcess process;
    QString ready;
    QByteArray errors;
};

// One more link from the host namespace, for hosts with several interfaces: a namespace of its own
// joined to host by a veth pair whose host end is `hostInterface` with `hostCidr`, and whose other
// end, lan0, has `lanCidr` and the default route. Gone with the object.
class ExtraLink
{
public:
    ExtraLink(const Environment &lab, const QString &hostInterface, const QString &hostCidr, const QString &lanCidr);
    ~ExtraLink();
    ExtraLink(const ExtraLink &) = delete;
    ExtraLink &operator=(const ExtraLink &) = delete;

    QString errorString() const { return error; }
    // The lab as seen from this link, for a Simulator there.
    const Environment &environment() const { return linked; }

private:
    Environment linked;
    QString error;
};

// A UDP socket that lives in the lan namespace while the test runs in host: crafted datagrams
// come from the device side, through the veth pair, as a device's would.
class LanSocket
{
public:
    explicit LanSocket(const Environment &lab);
    ~LanSocket();
    LanSocket(const LanSocket &) = delete;
    LanSocket &operator=(const LanSocket &) = delete;

    bool isValid() const { return fd >= 0; }
    QString errorString() const { return error; }
    // Broadcasts to 255.255.255.255 on the protocol port; false when the send fails.
    bool broadcast(const QByteArray &datagram);

private:
    int fd = -1;
    QString error;
};

// Receives every datagram that reaches the protocol port in the host namespace, on a thread of
// its own, so that it keeps reading while the test's thread is blocked. The port is shared with
// the program's receiving socket; both get every broadcast.
class Witness
{
public:
    struct Arrival
    {
        qint64 atMs = 0; // nowMs() when read
        QByteArray datagram;
    };

    Witness();
    ~Witness();
    Witness(const Witness &) = delete;
    Witness &operator=(const Witness &) = delete;

    bool isValid() const { return fd >= 0; }
    QString errorString() const { return error; }
    QList<Arrival> arrivals() const;
    int count() const;

private:
    void run();

    int fd = -1;
    QString error;
    std::atomic<bool> stopping{false};
    mutable QMutex mutex;
    QList<Arrival> seen;
    std::thread reader;
};

// The identification key as it opens every datagram of the protocol.
QByteArray key();

// A reply as a device would send it: header fields at their offsets, body behind the header.
QByteArray replyDatagram(quint32 messageId, const QString &destMac, const QString &srcMac, quint32 resultCode = 0,
                         const QByteArray &body = QByteArray());

// The text of a fixed-width field up to its first NUL.
QByteArray fieldText(const QByteArray &datagram, int offset, int width);
quint32 readUInt32(const QByteArray &datagram, int offset);

} // namespace Lab

// Skips the calling test function outside a complete lab, and wherever a send could reach a real
// network interface. With CI=true these fail instead: nothing may be skipped silently there.
#define REQUIRE_LAB(lab)                                                                                               \
    do {                                                                                                               \
        QString labProblem = (lab).missing();                                                                          \
        if (labProblem.isEmpty() && !realNetworkInterface().isEmpty())                                                 \
            labProblem = QStringLiteral("the real interface %1 is visible").arg(realNetworkInterface());               \
        if (!labProblem.isEmpty()) {                                                                                   \
            const QString labMessage =                                                                                 \
                QStringLiteral("not in the network lab (%1); run through tests/lab/netlab").arg(labProblem);           \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                                                   \
                QFAIL(qPrintable(labMessage));                                                                         \
            QSKIP(qPrintable(labMessage));                                                                             \
        }                                                                                                              \
    } while (false)
