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

namespace {

const QString Silent = QStringLiteral("02:5A:00:00:05:06"); // answers the scan, ignores changes
const QString Stored = QStringLiteral("02:5A:00:00:05:07"); // stored credentials, right
const QString Wrong = QStringLiteral("02:5A:00:00:05:0B");  // stored credentials, wrong

template <typename T> T *child(const QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

} // namespace

class TestLabPlanDialog : public QObject
{
    Q_OBJECT

private slots:
    void setsUpTwelveDevices();

private:
    Lab::Environment lab = Lab::Environment::fromProcess();
};

void TestLabPlanDialog::setsUpTwelveDevices()
{
    REQUIRE_LAB(lab);
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    for (const QString &mac : {Stored, Wrong})
        CredentialStore::saveLoginData({mac, QStringLiteral("admin"), QStringLiteral("s3cret")});
    Lab::Simulator simulator(lab, {QStringLiteral("--devices"), QStringLiteral(LAB_DATA_DIR "/plan-devices.json")});
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    MainWindow window;
    window.show();
    auto *model = window.findChild<DeviceModel *>();
    child<QAction>(&window, "scanAct")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!child<QTimer>(&window, "countTimer")->isActive(), 10000);
    QCOMPARE(model->rowCount(), 12);

    QList<DevicePlan::Row> planned;
    QStringList statuses;
    QString summary;
    ModalAnswerer answerer([&](QWidget *widget) {
        if (auto *dialog = qobject_cast<PlanDialog *>(widget)) {
            child<QLineEdit>(dialog, "firstAddressEdit")->setText(QStringLiteral("192.168.77.50"));
            child<QLineEdit>(dialog, "maskEdit")->setText(QStringLiteral("255.255.255.0"));
            child<QLineEdit>(dialog, "gatewayEdit")->setText(QStringLiteral("192.168.77.1"));
            child<QLineEdit>(dialog, "templateEdit")->setText(QStringLiteral("cam-{nn}"));
            auto *apply = child<QPushButton>(dialog, "applyButton");
            QVERIFY(QTest::qWaitFor([apply] { return apply->isEnabled(); }));
            planned = dialog->plan().rows();
            apply->click();
            // About six seconds a device: request, restart delay, reading afterwards.
            const auto *close = child<QPushButton>(dialog, "cancelButton");
            QVERIFY(QTest::qWaitFor([close] { return close->text() == QLatin1String("Close"); }, 180000));
            for (int row = 0; row < planned.size(); ++row)
                statuses.append(dialog->findChild<QTableWidget *>()->item(row, PlanDialog::StatusColumn)->text());
            summary = child<QLabel>(dialog, "summaryLabel")->text();
            dialog->reject();
        } else if (qobject_cast<LoginDialog *>(widget)) {
            const QList<QLineEdit *> edits = widget->findChildren<QLineEdit *>();
            edits.at(0)->setText(QStringLiteral("admin"));
            edits.at(1)->setText(QStringLiteral("s3cret"));
            widget->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        } else {
            ModalAnswerer::press(widget, QMessageBox::Cancel);
        }
    });
    window.findChild<QTableView *>()->selectAll();
    child<QAction>(&window, "setUpAct")->trigger();
    QCOMPARE(answerer.seen.size(), 2); // the dialog, and one login for the four without stored credentials
    QCOMPARE(summary, QStringLiteral("10 applied, 1 authorization failed, 1 no answer"));
    QVERIFY(!CredentialStore::contains(Wrong));
    QVERIFY(CredentialStore::contains(Stored));

    // One request to each device, of the kind its protocol version takes, all with admin/s3cret:
    // the wrong device's stored ones, not followed by the ones typed in.
    QMap<QString, QList<int>> requests;
    for (const QJsonObject &entry : simulator.received()) {
        const int kind = entry.value(QLatin1String("messageId")).toInt();
        if (kind != SetNetworkConfig && kind != SetNetworkConfigAuth)
            continue;
        requests[entry.value(QLatin1String("destMacAddr")).toString().toUpper()].append(kind);
        const QByteArray datagram = QByteArray::fromHex(entry.value(QLatin1String("hex")).toString().toLatin1());
        if (kind == SetNetworkConfigAuth)
            QCOMPARE(Lab::fieldText(datagram, 124 + 187, 128), QByteArray("admin:s3cret").toBase64());
    }
    QCOMPARE(requests.size(), 12);
    QCOMPARE(planned.size(), 12);
    for (int i = 0; i < planned.size(); ++i) {
        const QString mac = planned.at(i).mac.toUpper();
        const int number = mac.right(2).toInt(nullptr, 16);
        QCOMPARE(requests.value(mac), QList<int>{int(number <= 6 ? SetNetworkConfig : SetNetworkConfigAuth)});
        const bool applied = mac != Silent && mac != Wrong;
        QCOMPARE(statuses.at(i).section(QLatin1Char(':'), 0, 0),
                 QString::fromLatin1(mac == Silent ? "no answer" : (applied ? "applied" : "authorization failed")));
        const int row = model->findRowByMac(mac);
        QCOMPARE(model->item(row, DeviceModel::HostnameColumn)->text(),
                 applied ? QStringLiteral("cam-%1").arg(i + 1, 2, 10, QLatin1Char('0')) : QStringLiteral("factory"));
        QCOMPARE(model->item(row, DeviceModel::IpAddressColumn)->text(),
                 QStringLiteral("192.168.77.%1").arg(applied ? 50 + i : 200 + number));
    }
}

QTEST_MAIN(TestLabPlanDialog)
#include "tst_lab_plandialog.moc"
