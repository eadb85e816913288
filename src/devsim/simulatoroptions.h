// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "devsim/devicegenerator.h"
#include "devsim/deviceprofile.h"

#include "protocol/messageheader.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The simulator's command line. Options that describe devices (--delay, --jitter, --answers...)
// set the template every device starts from; a device's own key in the device list wins.
struct SimulatorOptions
{
    enum class Action { Run, ShowHelp, ShowVersion };

    Action action = Action::Run;
    QString devicesFile;
    DeviceGenerator generator;
    DeviceProfile deviceTemplate;
    QString interfaceAddress; // empty: found by defaultInterfaceAddress()
    quint16 port = Protocol::DevicePort;
    QString replyAddress = QStringLiteral("255.255.255.255");
    quint16 replyPort = 0; // 0: the listening port
    quint32 randomStart = 0;
    QString logFile;
    int durationMs = 0; // 0: until SIGINT or SIGTERM

    // `arguments` include the program name first, as QCoreApplication::arguments() gives them.
    static std::optional<SimulatorOptions> parse(const QStringList &arguments, QString *error);
    static QString helpText();

    // The devices of the device list and the generated ones, checked as a whole.
    std::optional<QList<DeviceProfile>> devices(QString *error) const;

    // The first IPv4 address in 192.168.0.0/16 of an interface that is up and not loopback;
    // empty when there is none.
    static QString defaultInterfaceAddress();
};
