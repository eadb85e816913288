// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "protocol/packettransceiver.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Looks at this host for what keeps the devices' replies from reaching the programs: no usable
// interface, the device port held by a socket that does not share it, a firewall that drops UDP to
// it. Sends nothing. Each finding tells its cause in one line and the fix, a command where there
// is one.
class NetworkDiagnosis
{
    // The window shows the findings in its language; veltra-find loads no translation and stays English.
    Q_DECLARE_TR_FUNCTIONS(NetworkDiagnosis)

public:
    enum class Severity { Problem, Note };

    struct Finding
    {
        Severity severity = Severity::Note;
        QString check; // interface, port, firewall or summary
        QString cause;
        QString fix; // empty where there is nothing to do
    };

    // What one external command did. `started` is false when the program is missing or could not
    // be run; `finished` false when it was stopped after its time was up.
    struct ToolResult
    {
        bool started = false;
        bool finished = false;
        int exitCode = -1;
        QByteArray output;
        QByteArray errorOutput;
    };
    using ToolRunner = std::function<ToolResult(const QString &program, const QStringList &arguments)>;

    // How long one external command may take (milliseconds).
    static constexpr int ToolTimeout = 5000;
    // The service firewalld and ufw know from the files the package installs.
    static constexpr char FirewalldService[] = "veltra-device-finder";
    static constexpr char UfwProfile[] = "Veltra Device Finder";

    explicit NetworkDiagnosis(ToolRunner runner = &runTool,
                              PacketTransceiver::InterfaceSource interfaces = &PacketTransceiver::systemInterfaces);

    // Every check; when none found a problem, the last finding says so.
    QList<Finding> run() const;
    QList<Finding> checkInterfaces() const;
    QList<Finding> checkPort() const;
    QList<Finding> checkFirewall() const;

    static bool hasProblem(const QList<Finding> &findings);
    static QString severityName(Severity severity);
    // Runs `program` (looked for in PATH and the sbin folders) without a shell, in the C locale,
    // for at most ToolTimeout milliseconds.
    static ToolResult runTool(const QString &program, const QStringList &arguments);

private:
    QList<Finding> checkFirewalld(bool *running) const;
    QList<Finding> checkUfw(bool *active) const;
    QList<Finding> checkRules(bool skipFirewalld, bool skipUfw) const;

    ToolRunner runner;
    PacketTransceiver::InterfaceSource interfaceSource;
};
