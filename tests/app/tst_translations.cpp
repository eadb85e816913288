// SPDX-License-Identifier: Apache-2.0
// The German translation: complete, true to each source's placeholders, and embedded so that the
// desktop program's translator finds it by locale.

#include "app/translations.h"
#include "model/devicemodel.h"
#include "model/devicestate.h"

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

class TranslationsTest : public QObject
{
    Q_OBJECT

private slots:
    void germanEntriesAreComplete();
    void embeddedGermanLoads();
    void otherLanguagesStayEnglish();
};

namespace {

struct Entry {
    QString source;
    QStringList translations; // one per plural form
    QString type;
};

QList<Entry> readEntries(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Entry> entries;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("source")) {
            entries.append({xml.readElementText(), {}, {}});
        } else if (xml.name() == QLatin1String("translation") && !entries.isEmpty()) {
            entries.last().type = xml.attributes().value(QLatin1String("type")).toString();
            // A plural translation holds its forms in numerusform elements; a plain one its text.
            QString text;
            while (!xml.atEnd()) {
                xml.readNext();
                if (xml.isCharacters())
                    text += xml.text();
                else if (xml.isStartElement() && xml.name() == QLatin1String("numerusform"))
                    entries.last().translations.append(xml.readElementText());
                else if (xml.isEndElement() && xml.name() == QLatin1String("translation"))
                    break;
            }
            if (entries.last().translations.isEmpty())
                entries.last().translations.append(text);
        }
    }
    return xml.hasError() ? QList<Entry>() : entries;
}

QStringList placeholders(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("%[1-9]"));
    QStringList found;
    for (auto it = pattern.globalMatch(text); it.hasNext();)
        found.append(it.next().captured());
    found.sort();
    found.removeDuplicates();
    return found;
}

} // namespace

void TranslationsTest::germanEntriesAreComplete()
{
    const QList<Entry> entries = readEntries(QStringLiteral(GERMAN_TS));
    QVERIFY(entries.size() > 100);
    for (const Entry &entry : entries) {
        QVERIFY2(entry.type.isEmpty(), qPrintable(entry.type + QStringLiteral(": ") + entry.source));
        QVERIFY2(!entry.translations.isEmpty(), qPrintable(entry.source));
        for (const QString &translation : entry.translations) {
            QVERIFY2(!translation.trimmed().isEmpty(), qPrintable(entry.source));
            QVERIFY2(placeholders(translation) == placeholders(entry.source), qPrintable(entry.source));
        }
    }
}

void TranslationsTest::embeddedGermanLoads()
{
    QTranslator translator;
    QVERIFY(translator.load(QLocale(QStringLiteral("de_DE")), QStringLiteral("veltra-device-finder"),
                            QStringLiteral("_"), QStringLiteral(":/i18n")));
    QCOMPARE(translator.translate("MainWindow", "Scan / Refresh"), QStringLiteral("Suchen / Aktualisieren"));

    QVERIFY(installTranslators(*qApp, QLocale(QStringLiteral("de_DE"))));
    const DeviceModel model;
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Gerät"));
    QCOMPARE(NotRespondingState().statusText(), QStringLiteral("Gerät antwortet nicht"));
    QCOMPARE(QCoreApplication::translate("PlanDialog", "Set up %n devices", nullptr, 3),
             QStringLiteral("3 Geräte einrichten"));
}

void TranslationsTest::otherLanguagesStayEnglish()
{
    QTranslator translator;
    QVERIFY(!translator.load(QLocale(QStringLiteral("en_US")), QStringLiteral("veltra-device-finder"),
                             QStringLiteral("_"), QStringLiteral(":/i18n")));
    QVERIFY(!translator.load(QLocale(QStringLiteral("fr_FR")), QStringLiteral("veltra-device-finder"),
                             QStringLiteral("_"), QStringLiteral(":/i18n")));
}

QTEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
