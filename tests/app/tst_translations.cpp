// SPDX-License-Identifier: Apache-2.0
// The German translation: complete, true to each source's placeholders, and embedded so that the
// desktop program's translator finds it by locale.

#include "app/translations.h"
#include "model/devicemodel.h"
#include "model/devicestate.h"
#include "protocol/configcheck.h"

#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTest>
#include <QTranslator>

class TranslationsTest : public QObject
{
    Q_OBJECT

private slots:
    void germanEntriesAreComplete();
    void embeddedGermanLoads();
};

static QStringList matches(const QString &pattern, const QString &text)
{
    QStringList found;
    const QRegularExpression expression(pattern, QRegularExpression::DotMatchesEverythingOption);
    for (auto it = expression.globalMatch(text); it.hasNext();)
        found.append(it.next().captured(1));
    return found;
}

void TranslationsTest::germanEntriesAreComplete()
{
    QFile file(QStringLiteral(GERMAN_TS));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList messages =
        matches(QStringLiteral("<message[^>]*>(.*?)</message>"), QString::fromUtf8(file.readAll()));
    QVERIFY(messages.size() > 100);
    for (const QString &message : messages) {
        const QString source = matches(QStringLiteral("<source>(.*?)</source>"), message).value(0);
        // A plain translation element, no "unfinished", "vanished" or "obsolete" type; plurals hold forms.
        QStringList translations = matches(QStringLiteral("<translation>(.*?)</translation>"), message);
        QVERIFY2(translations.size() == 1, qPrintable(source));
        if (translations.first().contains(QLatin1String("<numerusform>")))
            translations = matches(QStringLiteral("<numerusform>(.*?)</numerusform>"), translations.first());
        for (const QString &translation : std::as_const(translations)) {
            QVERIFY2(!translation.trimmed().isEmpty(), qPrintable(source));
            QStringList wanted = matches(QStringLiteral("(%[1-9])"), source);
            QStringList given = matches(QStringLiteral("(%[1-9])"), translation);
            wanted.sort();
            given.sort();
            wanted.removeDuplicates();
            given.removeDuplicates();
            QVERIFY2(given == wanted, qPrintable(source));
        }
    }
}

void TranslationsTest::embeddedGermanLoads()
{
    QTranslator translator;
    QVERIFY(!translator.load(QLocale(QStringLiteral("fr_FR")), QStringLiteral("veltra-device-finder"),
                             QStringLiteral("_"), QStringLiteral(":/i18n")));
    QVERIFY(!installTranslators(*qApp, QLocale(QStringLiteral("en_US"))));
    QCOMPARE(NotRespondingState().statusText(), QStringLiteral("Device not responding"));

    QVERIFY(installTranslators(*qApp, QLocale(QStringLiteral("de_DE"))));
    QCOMPARE(DeviceModel().headerData(0, Qt::Horizontal).toString(), QStringLiteral("Gerät"));
    QCOMPARE(NotRespondingState().statusText(), QStringLiteral("Gerät antwortet nicht"));
    QCOMPARE(QCoreApplication::translate("PlanDialog", "Set up %n devices", nullptr, 3),
             QStringLiteral("3 Geräte einrichten"));
    // Texts of the libraries below the window, which it shows in its boxes.
    QCOMPARE(ConfigCheck::address(QStringLiteral("1.2.3")),
             QStringLiteral("muss eine vollständige IPv4-Adresse sein, etwa 192.168.1.20"));
    // Qt's own texts, where the system has Qt's translations (qt6-translations-l10n).
    if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_de.qm")))
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
}

QTEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
