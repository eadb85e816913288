// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// The network interface the user chose in the window's tool bar, by name, in the per-user
// settings (group "Network", key "interface"). Only a name: the address may change from one
// start to the next, the interface stays. Or every interface at once (key "allInterfaces").
class InterfaceChoice
{
public:
    // The stored name, or an empty text when none is stored.
    static QString load();
    // Stores the name; the scans are on that interface alone from then on.
    static void save(const QString &name);
    // Whether the scans are on every interface at once.
    static bool allInterfaces();
    static void saveAllInterfaces();
};
