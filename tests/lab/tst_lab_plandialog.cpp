// SPDX-License-Identifier: Apache-2.0
// A dozen simulated devices set up at once through the window's set-up dialog: each device's
// outcome, the values read back after the restarts, and the one request per device on the wire.

#include "labsupport.h"

#include "modalanswerer.h"
#include "model/devicemodel.h"
#include "protocol/messageheader.h"
#include "settings/credentialstore.h"
#include "ui/logindialog.h"
#include "ui/mainwindow.h"
#include "ui/plandialog.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString DevicesFile = QStringLiteral(LAB_DATA_DIR "/plan-devices.json");
const QString Silent = QStringLiteral("02:5A:00:00:05:06"); // answers the scan, ignores changes
const QString Stored = QStringLiteral("02:5A:00:00:05:07"); // stored credentials, right
const QString Wrong = QStringLiteral("02:5A:00:00:05:0B");  // stored credentials, wrong

QString macOf(int number)
{
    return QStringLiteral("02:5A:00:00:05:%1").arg(number, 2, 16, QLatin1Char('0')).toUpper();
}

void setText(const QObject *dialog, const char *name, const QString &text)
{
    dialog->findChild<QLineEdit *>(QLatin1String(name))->setText(text);
}

QPushButton *button(const QObject *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QLatin1String(name));
}

} // namespace

class TestLabPlanDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void setsUpTwelveDevices();

private:
    Lab::Environment lab = Lab::Environment::fromProcess();
    QTemporaryDir settingsDir;
};

void TestLabPlanDialog::initTestCase()
{
    REQUIRE_LAB(lab);
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    CredentialStore::saveLoginData({Stored, QStringLiteral("admin"), QStringLiteral("s3cret")});
    CredentialStore::saveLoginData({Wrong, QStringLiteral("admin"), QStringLiteral("s3cret")});
}

void TestLabPlanDialog::setsUpTwelveDevices()
{
    Lab::Simulator simulator(lab, {QStringLiteral("--devices"), DevicesFile});
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    MainWindow window;
    window.show();
    auto *model = window.findChild<DeviceModel *>();
    window.findChild<QAction *>(QStringLiteral("scanAct"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window.findChild<QTimer *>(QStringLiteral("countTimer"))->isActive(), 10000);
    QCOMPARE(model->rowCount(), 12);

    QStringList planned; // the MACs in plan order, as the table shows them
    QStringList statuses;
    QString summary;
    ModalAnswerer answerer([&](QWidget *widget) {
        if (auto *dialog = qobject_cast<PlanDialog *>(widget)) {
            setText(dialog, "firstAddressEdit", QStringLiteral("192.168.77.50"));
            setText(dialog, "maskEdit", QStringLiteral("255.255.255.0"));
            setText(dialog, "gatewayEdit", QStringLiteral("192.168.77.1"));
            setText(dialog, "templateEdit", QStringLiteral("cam-{nn}"));
            QVERIFY(QTest::qWaitFor([dialog] { return button(dialog, "applyButton")->isEnabled(); }));
            for (const DevicePlan::Row &row : dialog->plan().rows())
                planned.append(row.mac);
            button(dialog, "applyButton")->click();
            // About six seconds a device: request, restart delay, reading afterwards.
            QVERIFY(QTest::qWaitFor(
                [dialog] { return button(dialog, "cancelButton")->text() == QLatin1String("Close"); }, 180000));
            const auto *table = dialog->findChild<QTableWidget *>();
            for (int row = 0; row < table->rowCount(); ++row)
                statuses.append(table->item(row, PlanDialog::StatusColumn)->text().section(QLatin1Char(':'), 0, 0));
            summary = dialog->findChild<QLabel *>(QStringLiteral("summaryLabel"))->text();
            dialog->reject();
        } else if (auto *login = qobject_cast<LoginDialog *>(widget)) {
            const QList<QLineEdit *> edits = login->findChildren<QLineEdit *>();
            edits.at(0)->setText(QStringLiteral("admin"));
            edits.at(1)->setText(QStringLiteral("s3cret"));
            login->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        } else {
            ModalAnswerer::press(widget, QMessageBox::Cancel);
        }
    });
    window.findChild<QTableView *>()->selectAll();
    window.findChild<QAction *>(QStringLiteral("setUpAct"))->trigger();
    QCOMPARE(answerer.seen.size(), 2); // the dialog and one login for the four without stored credentials
    QCOMPARE(summary, QStringLiteral("10 applied, 1 authorization failed, 1 no answer"));
    QVERIFY(!CredentialStore::contains(Wrong));
    QVERIFY(CredentialStore::contains(Stored));

    // One request to each device, by the kind its protocol takes; the wrong stored credentials are
    // not followed by the ones typed in.
    const QByteArray credentials = QByteArray("admin:s3cret").toBase64();
    QMap<QString, QList<int>> requests;
    for (const QJsonObject &entry : simulator.received()) {
        const int kind = entry.value(QLatin1String("messageId")).toInt();
        if (kind != SetNetworkConfig && kind != SetNetworkConfigAuth)
            continue;
        requests[entry.value(QLatin1String("destMacAddr")).toString().toUpper()].append(kind);
        const QByteArray datagram = QByteArray::fromHex(entry.value(QLatin1String("hex")).toString().toLatin1());
        if (kind == SetNetworkConfigAuth)
            QCOMPARE(Lab::fieldText(datagram, 124 + 187, 128), credentials);
    }
    QCOMPARE(requests.size(), 12);
    for (int number = 1; number <= 12; ++number)
        QCOMPARE(requests.value(macOf(number)), QList<int>{int(number <= 6 ? SetNetworkConfig : SetNetworkConfigAuth)});

    QCOMPARE(planned.size(), 12);
    for (int i = 0; i < planned.size(); ++i) {
        const QString mac = planned.at(i).toUpper();
        const bool applied = mac != Silent && mac != Wrong;
        QCOMPARE(statuses.at(i), QString::fromLatin1(mac == Silent ? "no answer"
                                                     : applied     ? "applied"
                                                                   : "authorization failed"));
        const int row = model->findRowByMac(mac);
        QCOMPARE(model->item(row, DeviceModel::HostnameColumn)->text(),
                 applied ? QStringLiteral("cam-%1").arg(i + 1, 2, 10, QLatin1Char('0')) : QStringLiteral("factory"));
        const int host = applied ? 50 + i : 200 + mac.right(2).toInt(nullptr, 16);
        QCOMPARE(model->item(row, DeviceModel::IpAddressColumn)->text(), QStringLiteral("192.168.77.%1").arg(host));
    }
}

QTEST_MAIN(TestLabPlanDialog)
#include "tst_lab_plandialog.moc"
