// SPDX-License-Identifier: Apache-2.0
#include "settings/interfacechoice.h"

#include "settings/settingsplace.h"

#include <QSettings>

namespace {

using SettingsPlace::Application;
using SettingsPlace::Organization;
const QString Key = QStringLiteral("Network/interface");
const QString AllKey = QStringLiteral("Network/allInterfaces");

} // namespace

QString InterfaceChoice::load()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    return settings.value(Key).toString();
}

void InterfaceChoice::save(const QString &name)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    settings.setValue(Key, name);
    settings.remove(AllKey);
}

bool InterfaceChoice::allInterfaces()
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    return settings.value(AllKey).toBool();
}

void InterfaceChoice::saveAllInterfaces()
{
    // The interface chosen before stays stored: it is the one a scan on a single interface uses.
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    settings.setValue(AllKey, true);
}
