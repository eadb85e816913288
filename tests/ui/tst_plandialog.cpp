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

template <typename T> T *child(const QObject *dialog, const char *name)
{
    return dialog->findChild<T *>(QLatin1String(name));
}

// Each preview row as "new host name, new address", with " !" when the row shows a problem.
QStringList preview(const QWidget *dialog)
{
    const auto *table = dialog->findChild<QTableWidget *>();
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        const auto text = [table, row](int column) { return table->item(row, column)->text(); };
        rows.append(text(PlanDialog::NewHostNameColumn) + QLatin1Char(' ') + text(PlanDialog::NewAddressColumn) +
                    (text(PlanDialog::StatusColumn).isEmpty() ? QString() : QStringLiteral(" !")));
    }
    return rows;
}

void fill(QWidget *dialog, int config, const QString &first, const QString &nameTemplate)
{
    dialog->findChild<QComboBox *>()->setCurrentIndex(config);
    child<QLineEdit>(dialog, "firstAddressEdit")->setText(first);
    child<QLineEdit>(dialog, "maskEdit")->setText(QStringLiteral("255.255.255.0"));
    child<QLineEdit>(dialog, "templateEdit")->setText(nameTemplate);
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
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("static: addresses in use skipped, names counted")
        << 0 << "192.168.1.10"
        << "cam-{nn}" << QStringList{"cam-01 192.168.1.10", "cam-02 192.168.1.13", "cam-03 192.168.1.14"};
    QTest::newRow("static: one name for all, every row marked")
        << 0 << "192.168.1.10"
        << "cam" << QStringList{"cam 192.168.1.10 !", "cam 192.168.1.13 !", "cam 192.168.1.14 !"};
    QTest::newRow("DHCP: names kept, address fields left out")
        << 1 << "not used"
        << "" << QStringList{"old-0 DHCP", "old-1 DHCP", "old-2 DHCP"};
    QTest::newRow("static without a first address: no plan") << 0 << ""
                                                             << "" << QStringList();
}

void TestPlanDialog::previewFollowsForm()
{
    QFETCH(int, config);
    QFETCH(QString, first);
    QFETCH(QString, nameTemplate);
    QFETCH(QStringList, rows);

    PlanDialog dialog(Macs, &model, nullptr);
    fill(&dialog, config, first, nameTemplate);
    QTRY_COMPARE(preview(&dialog), rows);
    // The greyed-out address fields stay out of a plan for DHCP.
    QCOMPARE(dialog.plan().rows().value(0).mask.isEmpty(), config == PlanDialog::DhcpIndex || rows.isEmpty());
    // Without a plan, or with problems at rows, the reason shows above the table; Apply only for a
    // plan without problems.
    const bool marked = rows.join(QString()).contains(QLatin1Char('!'));
    QCOMPARE(child<QLabel>(&dialog, "problemLabel")->isVisibleTo(&dialog), rows.isEmpty() || marked);
    QCOMPARE(child<QPushButton>(&dialog, "applyButton")->isEnabled(), !rows.isEmpty() && !marked);
}

void TestPlanDialog::savedPlanLoadsBack()
{
    PlanDialog dialog(Macs, &model, nullptr);
    fill(&dialog, 0, QStringLiteral("192.168.1.10"), QStringLiteral("cam-{nn}"));
    QTRY_COMPARE(dialog.plan().rows().size(), Macs.size());
    const DevicePlan made = dialog.plan();
    const QString path = dir.filePath(QStringLiteral("plan.csv"));
    ModalAnswerer answerer([&path](QWidget *modal) {
        if (auto *files = qobject_cast<QFileDialog *>(modal)) {
            child<QLineEdit>(files, "fileNameEdit")->setText(path);
            QTimer::singleShot(0, files, &QDialog::accept);
        } else {
            ModalAnswerer::press(modal, QMessageBox::Ok);
        }
    });
    child<QPushButton>(&dialog, "saveButton")->click();
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), made.toCsv());

    // Loaded over another plan of the form, it is shown until a field changes.
    child<QLineEdit>(&dialog, "templateEdit")->setText(QStringLiteral("door-{n}"));
    QTRY_VERIFY(dialog.plan().rows() != made.rows());
    child<QPushButton>(&dialog, "loadButton")->click();
    QCOMPARE(dialog.plan().rows(), made.rows());
    dialog.findChild<QSpinBox *>()->setValue(5);
    QTRY_COMPARE(dialog.plan().rows().constFirst().hostName, QStringLiteral("door-5"));
}

QTEST_MAIN(TestPlanDialog)
#include "tst_plandialog.moc"
