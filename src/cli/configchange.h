// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "protocol/networkconfigbody.h"

#include <QString>
#include <QStringList>

#include <optional>

// The fields of a device's network configuration that one `set` changes; the others keep what
// the device reported.
struct ConfigChange
{
    std::optional<QString> hostName;
    std::optional<bool> dhcp;
    std::optional<QString> ip;
    std::optional<QString> mask;
    std::optional<QString> gateway;
    std::optional<QString> domain;
    std::optional<QString> dns1;
    std::optional<QString> dns2;

    bool isEmpty() const;

    // Checks every given value on its own, and a given static address against a given mask.
    // Empty when all are good; otherwise "FIELD: reason" lines, one per refused field.
    QStringList check() const;

    // `current` with the given fields replaced.
    NetworkConfigBody applyTo(const NetworkConfigBody &current) const;

    // Checks the configuration that would be sent: a static device's address and mask must make
    // a usable host address, whichever of them the device already had. `current` tells which
    // values the device reported, so that a refusal can say where a value came from.
    QStringList checkResult(const NetworkConfigBody &result) const;

    // The fields in which `seen` (the device's configuration after its restart) does not show
    // what was sent, as "FIELD: shows X, expected Y". A device on DHCP gets its addresses from
    // its DHCP server, so only its host name and its DHCP setting are compared.
    static QStringList differences(const NetworkConfigBody &sent, const NetworkConfigBody &seen);
};
