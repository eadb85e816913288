// SPDX-License-Identifier: Apache-2.0
#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installTranslators(QCoreApplication &app, const QLocale &locale)
{
    // Qt's texts (standard buttons, context menus) come from the system's Qt translations.
    auto *qtTranslator = new QTranslator(&app);
    if (qtTranslator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTranslator);
    else
        delete qtTranslator;

    auto *ownTranslator = new QTranslator(&app);
    if (ownTranslator->load(locale, QStringLiteral("veltra-device-finder"), QStringLiteral("_"),
                            QStringLiteral(":/i18n"))) {
        QCoreApplication::installTranslator(ownTranslator);
        return true;
    }
    delete ownTranslator;
    return false;
}
