// SPDX-License-Identifier: Apache-2.0
// The set-up dialog without a network: the preview follows the form and the table, Apply waits for
// a plan without problems, and a saved plan loads back and is shown until a field changes.

#include "modalanswerer.h"
#include "model/devicemodel.h"
#include "replies.h"
#include "ui/plandialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList Macs{"02:5A:00:00:20:01", "02:5A:00:00:20:02", "02:5A:00:00:20:03"};

QLineEdit *field(const QWidget *dialog, const QString &label)
{
    for (const QLabel *candidate : dialog->findChildren<QLabel *>()) {
        if (candidate->text() == label)
            return qobject_cast<QLineEdit *>(candidate->buddy());
    }
    return nullptr;
}

QPushButton *button(const QWidget *dialog, const QString &text)
{
    for (QPushButton *candidate : dialog->findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

QStringList column(const QWidget *dialog, int column)
{
    const auto *table = dialog->findChild<QTableWidget *>();
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts.append(table->item(row, column)->text());
    return texts;
}

// Fills the form as a user would; an empty template keeps the host names.
void fill(QWidget *dialog, int config, const QString &first, const QString &nameTemplate)
{
    dialog->findChild<QComboBox *>()->setCurrentIndex(config);
    field(dialog, QStringLiteral("&First IP address:"))->setText(first);
    field(dialog, QStringLiteral("Subnet mas&k:"))->setText(QStringLiteral("255.255.255.0"));
    field(dialog, QStringLiteral("&Host name template:"))->setText(nameTemplate);
}

} // namespace

class TestPlanDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void previewFollowsForm_data();
    void previewFollowsForm();
    void savedPlanLoadsBack();

private:
    QTemporaryDir dir;
    DeviceModel model;
};

void TestPlanDialog::initTestCase()
{
    QVERIFY(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QStringList addresses{"192.168.1.11", "192.168.1.20", "192.168.1.12"};
    for (int i = 0; i < Macs.size(); ++i) {
        model.onDeviceReplyReceived(Replies::info(Macs.at(i), QStringLiteral("Panoryx-III")));
        model.onDeviceReplyReceived(Replies::config(Macs.at(i), QStringLiteral("old-%1").arg(i), addresses.at(i)));
    }
}

void TestPlanDialog::previewFollowsForm_data()
{
    QTest::addColumn<int>("config");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("nameTemplate");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QList<bool>>("problems"); // per row
    QTest::addColumn<bool>("general");         // a problem of the plan as a whole, shown above the table

    const QStringList kept{"old-0", "old-1", "old-2"};
    QTest::newRow("static: addresses in use skipped, names counted")
        << 0 << "192.168.1.10"
        << "cam-{nn}" << QStringList{"cam-01", "cam-02", "cam-03"}
        << QStringList{"192.168.1.10", "192.168.1.13", "192.168.1.14"} << QList<bool>{false, false, false} << false;
    QTest::newRow("static: one name for all, every row marked")
        << 0 << "192.168.1.10"
        << "cam" << QStringList{"cam", "cam", "cam"} << QStringList{"192.168.1.10", "192.168.1.13", "192.168.1.14"}
        << QList<bool>{true, true, true} << false;
    QTest::newRow("DHCP: names kept, address fields left out")
        << 1 << "not used"
        << "" << kept << QStringList{"DHCP", "DHCP", "DHCP"} << QList<bool>{false, false, false} << false;
    QTest::newRow("static without a first address: no plan")
        << 0 << ""
        << "" << QStringList() << QStringList() << QList<bool>() << true;
}

void TestPlanDialog::previewFollowsForm()
{
    QFETCH(int, config);
    QFETCH(QString, first);
    QFETCH(QString, nameTemplate);
    QFETCH(QStringList, names);
    QFETCH(QStringList, addresses);
    QFETCH(QList<bool>, problems);
    QFETCH(bool, general);

    PlanDialog dialog(Macs, &model, nullptr);
    fill(&dialog, config, first, nameTemplate);
    QTRY_COMPARE(column(&dialog, PlanDialog::NewHostNameColumn), names);
    QCOMPARE(column(&dialog, PlanDialog::NewAddressColumn), addresses);
    QList<bool> marked;
    for (const QString &status : column(&dialog, PlanDialog::StatusColumn))
        marked.append(!status.isEmpty());
    QCOMPARE(marked, problems);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("problemLabel"))->isVisibleTo(&dialog), general);
    QCOMPARE(button(&dialog, QStringLiteral("&Apply"))->isEnabled(), !general && !problems.contains(true));
}

void TestPlanDialog::savedPlanLoadsBack()
{
    PlanDialog dialog(Macs, &model, nullptr);
    fill(&dialog, 0, QStringLiteral("192.168.1.10"), QStringLiteral("cam-{nn}"));
    QTRY_COMPARE(dialog.plan().rows().size(), Macs.size());
    const DevicePlan made = dialog.plan();
    const QString path = dir.filePath(QStringLiteral("plan.csv"));
    ModalAnswerer answerer([&path](QWidget *widget) {
        if (auto *files = qobject_cast<QFileDialog *>(widget)) {
            files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            QTimer::singleShot(0, files, &QDialog::accept);
        } else {
            ModalAnswerer::press(widget, QMessageBox::Ok);
        }
    });
    button(&dialog, QStringLiteral("&Save plan…"))->click();
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), made.toCsv());
    saved.close();

    // Loaded over another plan of the form, it is shown until a field changes.
    field(&dialog, QStringLiteral("&Host name template:"))->setText(QStringLiteral("door-{n}"));
    QTRY_COMPARE(dialog.plan().rows().constFirst().hostName, QStringLiteral("door-1"));
    button(&dialog, QStringLiteral("&Load plan…"))->click();
    QCOMPARE(dialog.plan().rows(), made.rows());
    QTest::qWait(300);
    QCOMPARE(column(&dialog, PlanDialog::NewHostNameColumn), (QStringList{"cam-01", "cam-02", "cam-03"}));
    dialog.findChild<QSpinBox *>()->setValue(5);
    QTRY_COMPARE(dialog.plan().rows().constFirst().hostName, QStringLiteral("door-5"));

    // A file that is no plan: a warning naming it, and the plan shown stays.
    QVERIFY(saved.open(QIODevice::WriteOnly | QIODevice::Truncate) && saved.write("no,plan\n") > 0);
    saved.close();
    button(&dialog, QStringLiteral("&Load plan…"))->click();
    QTRY_COMPARE(answerer.seen.size(), 4);
    QCOMPARE(answerer.seen.last().title, QStringLiteral("Load plan"));
    QVERIFY(answerer.seen.last().text.contains(path));
    QCOMPARE(dialog.plan().rows().constFirst().hostName, QStringLiteral("door-5"));
}

QTEST_MAIN(TestPlanDialog)
#include "tst_plandialog.moc"
