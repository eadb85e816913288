// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "devsim/deviceprofile.h"

#include <QList>
#include <QString>

#include <optional>

// Makes any number of devices with consecutive MAC texts and IP addresses, and varied but
// predictable names, firmware, product types and addressing, so that a large simulated network
// looks like a real mixed one. Device i (from 0) gets base MAC + i and base IP + i.
class DeviceGenerator
{
public:
    static constexpr int MaxCount = 100000;

    int count = 0;
    QString macBase = QStringLiteral("02:00:00:00:00:01");
    QString ipBase = QStringLiteral("192.168.77.100");
    // Fixed protocol version; negative: devices alternate between 4 (even i) and 3 (odd i).
    int protocolVersion = -1;

    // The devices, each starting from the template's faults and credentials.
    std::optional<QList<DeviceProfile>> generate(const DeviceProfile &deviceTemplate, QString *error) const;
};
