// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "devsim/deviceprofile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Reads the simulated devices from a JSON file: a list of objects, one per device. Every device
// starts from a template (the defaults and the command line's fault options) and takes what its
// object gives. Anything doubtful is refused with a message that names the device and the key,
// rather than guessed at.
class DeviceListReader
{
public:
    // Far above any list a person writes (some 10,000 devices); longer input is refused unread.
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

    // The key names of a device object, in the order the documentation lists them.
    static QStringList keys();

    static std::optional<QList<DeviceProfile>> fromFile(const QString &path, const DeviceProfile &deviceTemplate,
                                                        QString *error);
    static std::optional<QList<DeviceProfile>> fromJson(const QByteArray &json, const DeviceProfile &deviceTemplate,
                                                        QString *error);

    // Checks the rules that a whole device list must keep: at least one device, MAC texts
    // unique whatever their case.
    static bool checkList(const QList<DeviceProfile> &devices, QString *error);

    // Checks one device's values (also for generated devices); the message names the key.
    static bool checkDevice(const DeviceProfile &device, QString *error);
};
