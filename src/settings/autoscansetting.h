// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QList>

// How often the window scans by itself, in the per-user settings (group "Scan", key
// "autoInterval", seconds): off (0, the default) or one of the offered intervals.
class AutoScanSetting
{
public:
    static QList<int> intervals() { return {15, 30, 60, 300}; }
    // The stored interval in seconds, 0 when off or when the stored value is none of the offered ones.
    static int load();
    static void save(int seconds);
};
