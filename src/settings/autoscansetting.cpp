// SPDX-License-Identifier: Apache-2.0
#include "settings/autoscansetting.h"

#include "settings/settingsplace.h"

#include <QSettings>

namespace {

using SettingsPlace::Application;
using SettingsPlace::Organization;
const QString Key = QStringLiteral("Scan/autoInterval");

} // namespace

int AutoScanSetting::load()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    const int seconds = settings.value(Key).toInt();
    // A hand-edited value such as 1 would flood the network: only the offered intervals count.
    return intervals().contains(seconds) ? seconds : 0;
}

void AutoScanSetting::save(int seconds)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    settings.setValue(Key, intervals().contains(seconds) ? seconds : 0);
}
