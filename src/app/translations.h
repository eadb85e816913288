// SPDX-License-Identifier: Apache-2.0
#pragma once

class QCoreApplication;
class QLocale;

// Installs on app the desktop program's translation embedded under :/i18n and Qt's own (qtbase)
// for locale; the texts stay English when no translation fits. Returns whether the program's own
// translation was found.
bool installTranslators(QCoreApplication &app, const QLocale &locale);
