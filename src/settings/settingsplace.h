// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// Where the desktop program keeps what it stores for the user: its settings (QSettings by these
// names) and its data folder ("Organization/Application" in the user's data folder). veltra-find
// uses the same, so that both programs share them.
namespace SettingsPlace {

inline const QString Organization = QStringLiteral("Orvane");
inline const QString Application = QStringLiteral("Veltra Device Finder");

} // namespace SettingsPlace
