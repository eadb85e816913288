// SPDX-License-Identifier: Apache-2.0
// The edit workflow through the real main window against simulated devices in the lab: what the
// dialogs' entries become on the wire (read back from the simulator's log), how the devices'
// answers show in the table, and what becomes of remembered and refused credentials.

#include "labsupport.h"

#include "modalanswerer.h"
#include "model/devicemodel.h"
#include "protocol/messageheader.h"
#include "protocol/packettransceiver.h"
#include "settings/credentialstore.h"
#include "ui/connectiondialog.h"
#include "ui/logindialog.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

namespace {

const QString DevicesFile = QStringLiteral(LAB_DATA_DIR "/editworkflow-devices.json");
constexpr int WireTimeoutMs = 10000;
constexpr int RestartDelayMs = 5000;

// The listed devices by the MAC text they send.
const QString Version3 = QStringLiteral("02:5A:00:02:00:03");
const QString Version3Lower = QStringLiteral("02:5a:00:02:00:13");
const QString Version3Dhcp = QStringLiteral("02:5A:00:02:00:23");
const QString Version4 = QStringLiteral("02:5A:00:02:00:04");     // operator / s3cret
const QString Version4Open = QStringLiteral("02:5A:00:02:00:24"); // empty user name and password
const QString InfoOnly = QStringLiteral("02:5A:00:02:00:08");
const QStringList AllDevices{Version3, Version3Lower, Version3Dhcp, Version4, Version4Open, InfoOnly};

const QString SettingText = QStringLiteral("Setting new parameters...");
const QString RestartText = QStringLiteral("Applying new parameters...");
const QString AuthFailedText = QStringLiteral("Authorization failed");
const QString StoredAuthFailedText = QStringLiteral("Stored password is not valid any more, please try again!");

// The dialog's fields by their labels; "ipConfig" stands for the combo box's flag.
const QString HostLabel = QStringLiteral("Hostname:");
const QString IpLabel = QStringLiteral("IP address:");
const QString MaskLabel = QStringLiteral("Subnet mask:");
const QString DomainLabel = QStringLiteral("Domain:");
const QString GatewayLabel = QStringLiteral("Gateway IP:");
const QString Dns1Label = QStringLiteral("Primary DNS server:");
const QString Dns2Label = QStringLiteral("Secondary DNS server:");
const QString IpConfigKey = QStringLiteral("ipConfig");

using Fields = QMap<QString, QString>;

// The configuration a NetworkConfigReply carries, read at the datagram's own offsets.
Fields reportedFields(const QByteArray &reply)
{
    const auto text = [&reply](int offset, int width) {
        return QString::fromLatin1(Lab::fieldText(reply, offset, width));
    };
    return {{HostLabel, text(142, 25)}, {IpConfigKey, text(167, 2)},  {IpLabel, text(169, 16)},
            {MaskLabel, text(185, 16)}, {DomainLabel, text(201, 80)}, {GatewayLabel, text(281, 16)},
            {Dns1Label, text(297, 16)}, {Dns2Label, text(313, 16)}};
}

void put(QByteArray &body, int offset, int width, const QByteArray &text)
{
    const QByteArray cut = text.left(width - 1); // always NUL-terminated within the field
    body.replace(offset, cut.size(), cut);
}

// The request body as the packet format lays it out: SetNetworkConfig with the MAC slot, or
// SetNetworkConfigAuth without it and with the credential text at its end.
QByteArray expectedBody(const QString &mac, const Fields &fields, const QByteArray *credentials)
{
    const bool auth = credentials != nullptr;
    QByteArray body(auth ? 315 : 205, '\0');
    const int shift = auth ? -18 : 0;
    if (!auth)
        put(body, 0, 18, mac.toLatin1());
    const auto field = [&fields](const QString &key) { return fields.value(key).toLatin1(); };
    put(body, 18 + shift, 25, field(HostLabel));
    put(body, 43 + shift, 2, field(IpConfigKey));
    put(body, 45 + shift, 16, field(IpLabel));
    put(body, 61 + shift, 16, field(MaskLabel));
    put(body, 77 + shift, 80, field(DomainLabel));
    put(body, 157 + shift, 16, field(GatewayLabel));
    put(body, 173 + shift, 16, field(Dns1Label));
    put(body, 189 + shift, 16, field(Dns2Label));
    if (auth)
        put(body, 187, 128, *credentials);
    return body;
}

// The line edit that a form row shows under this label.
QLineEdit *fieldOf(const QWidget *dialog, const QString &label)
{
    const auto labels = dialog->findChildren<QLabel *>();
    for (const QLabel *candidate : labels) {
        if (candidate->text() == label)
            return qobject_cast<QLineEdit *>(candidate->buddy());
    }
    return nullptr;
}

QPushButton *buttonOf(const QWidget *dialog, const QString &text)
{
    const auto buttons = dialog->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

QGroupBox *staticGroupOf(const QWidget *dialog)
{
    const auto groups = dialog->findChildren<QGroupBox *>();
    for (QGroupBox *group : groups) {
        if (group->title() == QLatin1String("Static configuration"))
            return group;
    }
    return nullptr;
}

void fillLogin(QWidget *login, const QString &user, const QString &password, bool remember)
{
    fieldOf(login, QStringLiteral("&Username:"))->setText(user);
    fieldOf(login, QStringLiteral("&Password:"))->setText(password);
    login->findChild<QCheckBox *>()->setChecked(remember);
}

QStringList classesSeen(const ModalAnswerer &answerer)
{
    QStringList classes;
    for (const ModalAnswerer::Seen &seen : answerer.seen)
        classes.append(seen.className);
    return classes;
}

// Every status text a device's row shows, in order.
class StatusRecorder : public QObject
{
public:
    StatusRecorder(const DeviceModel *model, const QString &mac) : model(model), mac(mac)
    {
        connect(model, &QAbstractItemModel::dataChanged, this, [this] { look(); });
        connect(model, &QAbstractItemModel::rowsInserted, this, [this] { look(); });
        look();
    }
    QStringList texts;

private:
    void look()
    {
        const int row = model->findRowByMac(mac);
        if (row < 0)
            return;
        const QString text = model->item(row, DeviceModel::StatusColumn)->text();
        if (texts.isEmpty() || texts.constLast() != text)
            texts.append(text);
    }

    const DeviceModel *model;
    QString mac;
};

} // namespace

class TestLabEditWorkflow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void requestOnTheWire_data();
    void requestOnTheWire();
    void repliesWhileTheDialogIsOpenChangeNothingSent();
    void hostNameChangeEndToEnd();
    void refusedStoredCredentialsAreForgotten();
    void incompleteRowCannotBeEdited();

private:
    DeviceModel *model() const { return window->findChild<DeviceModel *>(); }
    PacketTransceiver *transceiver() const { return window->findChild<PacketTransceiver *>(); }
    QTableView *view() const { return window->findChild<QTableView *>(); }
    QAction *action(const char *name) const { return window->findChild<QAction *>(QLatin1String(name)); }
    QString status(const QString &mac) const;
    QByteArray configDatagram(const QString &mac) const;
    // Makes the device's row the current one and edits it with the edit action.
    void editWithAction(const QString &mac);
    // The configuration requests to the device that reached the simulator so far.
    QList<QByteArray> configRequests(const QString &mac) const;
    // Checks every header field but the sequence number, and the body byte by byte.
    void verifyRequest(const QByteArray &datagram, int messageId, const QString &mac, const QByteArray &body);

    Lab::Environment lab = Lab::Environment::fromProcess();
    QTemporaryDir settingsDir;
    QString hostMac;
    std::unique_ptr<Lab::Simulator> simulator;
    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<MainWindow> window;
};

void TestLabEditWorkflow::initTestCase()
{
    REQUIRE_LAB(lab);
    QVERIFY(settingsDir.isValid());
    // Credentials go to a settings tree of the test's own, never the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settingsDir.path());
    QVERIFY(CredentialStore::storedKeys().isEmpty());
    hostMac = QNetworkInterface::interfaceFromName(lab.hostInterface).hardwareAddress();
    QVERIFY(!hostMac.isEmpty());
}

void TestLabEditWorkflow::init()
{
    // Every test meets the devices as the list describes them, found by a scan of the window.
    simulator = std::make_unique<Lab::Simulator>(lab, QStringList{QStringLiteral("--devices"), DevicesFile});
    QString error;
    QVERIFY2(simulator->start(&error), qPrintable(error));
    answerer = std::make_unique<ModalAnswerer>();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    action("scanAct")->trigger();
    const auto allIn = [this] {
        if (model()->rowCount() != AllDevices.size())
            return false;
        for (const QString &mac : AllDevices) {
            const int row = model()->findRowByMac(mac);
            if (row < 0 || model()->index(row, DeviceModel::FirmwareColumn).data().isNull() ||
                (mac != InfoOnly && model()->index(row, DeviceModel::IpAddressColumn).data().isNull()))
                return false;
        }
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(allIn(), WireTimeoutMs);
}

void TestLabEditWorkflow::cleanup()
{
    window.reset();
    answerer.reset();
    simulator.reset();
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvane"),
              QStringLiteral("Veltra Device Finder"))
        .clear();
}

QString TestLabEditWorkflow::status(const QString &mac) const
{
    const int row = model()->findRowByMac(mac);
    return row < 0 ? QStringLiteral("(no row)") : model()->index(row, DeviceModel::StatusColumn).data().toString();
}

QByteArray TestLabEditWorkflow::configDatagram(const QString &mac) const
{
    const int row = model()->findRowByMac(mac);
    return model()->index(row, DeviceModel::MacAddressColumn).data(DeviceModel::ConfigDatagramRole).toByteArray();
}

void TestLabEditWorkflow::editWithAction(const QString &mac)
{
    const int row = model()->findRowByMac(mac);
    QVERIFY(row >= 0);
    view()->selectionModel()->setCurrentIndex(view()->model()->index(row, DeviceModel::DeviceColumn),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(action("editAct")->isEnabled());
    action("editAct")->trigger();
}

QList<QByteArray> TestLabEditWorkflow::configRequests(const QString &mac) const
{
    QList<QByteArray> requests;
    const auto received = simulator->received();
    for (const QJsonObject &entry : received) {
        const int kind = entry.value(QLatin1String("messageId")).toInt();
        if ((kind == SetNetworkConfig || kind == SetNetworkConfigAuth) &&
            entry.value(QLatin1String("destMacAddr")).toString() == mac)
            requests.append(QByteArray::fromHex(entry.value(QLatin1String("hex")).toString().toLatin1()));
    }
    return requests;
}

void TestLabEditWorkflow::verifyRequest(const QByteArray &datagram, int messageId, const QString &mac,
                                        const QByteArray &body)
{
    QCOMPARE(datagram.size(), 124 + body.size());
    QCOMPARE(Lab::fieldText(datagram, 0, 37), Lab::key());
    QCOMPARE(Lab::readUInt32(datagram, 40), quint32(messageId));
    QCOMPARE(Lab::readUInt32(datagram, 44), 0u);
    QCOMPARE(Lab::readUInt32(datagram, 48), quint32(body.size()));
    QCOMPARE(int(quint8(datagram.at(52))), 4);
    QCOMPARE(Lab::fieldText(datagram, 56, 18), mac.toLatin1());
    QCOMPARE(Lab::fieldText(datagram, 74, 18), hostMac.toLatin1());
    QCOMPARE(Lab::fieldText(datagram, 92, 16), lab.hostIp.toLatin1());
    QCOMPARE(datagram.mid(124), body);
}

void TestLabEditWorkflow::requestOnTheWire_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QStringList>("stored");     // credentials stored before the edit
    QTest::addColumn<QVariantMap>("edits");      // label -> text typed into the dialog
    QTest::addColumn<int>("ipConfIndex");        // chosen in the combo box, or -1
    QTest::addColumn<QStringList>("login");      // user, password, "remember" or ""; empty: no login dialog
    QTest::addColumn<QByteArray>("credentials"); // the credential text sent; empty for SetNetworkConfig
    QTest::addColumn<QString>("answer");         // the device's answer as the row shows it
    QTest::addColumn<QStringList>("storedAfter");

    const QString longDomain = QStringLiteral("d").repeated(55) + QStringLiteral(".example.").repeated(5);
    QVERIFY(longDomain.size() == 100);
    const QString longUser = QStringLiteral("user-").repeated(8);
    const QString longPassword = QStringLiteral("pass+").repeated(10) + QStringLiteral("++");
    const QByteArray longCredentials = (longUser + QLatin1Char(':') + longPassword).toLatin1().toBase64();
    QVERIFY(longCredentials.size() == 124);
    const QByteArray operatorCredentials = QByteArray("operator:s3cret").toBase64();
    const QStringList noLogin;
    const QStringList none;

    QTest::newRow("version 3: SetNetworkConfig with the entries")
        << Version3 << none
        << QVariantMap{{HostLabel, QStringLiteral("renamed-v3")},   {IpLabel, QStringLiteral("192.168.77.71")},
                       {MaskLabel, QStringLiteral("255.255.0.0")},  {GatewayLabel, QStringLiteral("192.168.77.1")},
                       {Dns1Label, QStringLiteral("192.168.77.2")}, {Dns2Label, QStringLiteral("192.168.77.3")}}
        << -1 << noLogin << QByteArray() << RestartText << none;
    QTest::newRow("version 3, lower-case MAC text: the body starts with it as the device sends it")
        << Version3Lower << none << QVariantMap() << -1 << noLogin << QByteArray() << RestartText << none;
    QTest::newRow("DHCP device: the greyed static fields are sent as they stand")
        << Version3Dhcp << none << QVariantMap() << -1 << noLogin << QByteArray() << RestartText << none;
    QTest::newRow("switched to DHCP after typing an address: the address is sent")
        << Version3 << none << QVariantMap{{IpLabel, QStringLiteral("192.168.77.99")}} << 1 << noLogin << QByteArray()
        << RestartText << none;
    QTest::newRow("DHCP device switched to static")
        << Version3Dhcp << none << QVariantMap() << 0 << noLogin << QByteArray() << RestartText << none;
    QTest::newRow("domain of 100 characters typed: the field keeps 79")
        << Version3 << none << QVariantMap{{DomainLabel, longDomain}} << -1 << noLogin << QByteArray() << RestartText
        << none;
    QTest::newRow("version 4, stored credentials: no login dialog")
        << Version4 << QStringList{Version4, QStringLiteral("operator"), QStringLiteral("s3cret")}
        << QVariantMap{{HostLabel, QStringLiteral("renamed-v4")}} << -1 << noLogin << operatorCredentials << RestartText
        << QStringList{Version4, QStringLiteral("operator"), QStringLiteral("s3cret")};
    QTest::newRow("version 4, login remembered: stored once the device accepts")
        << Version4 << none << QVariantMap() << -1
        << QStringList{QStringLiteral("operator"), QStringLiteral("s3cret"), QStringLiteral("remember")}
        << operatorCredentials << RestartText
        << QStringList{Version4, QStringLiteral("operator"), QStringLiteral("s3cret")};
    QTest::newRow("version 4, login not remembered: nothing stored")
        << Version4 << none << QVariantMap() << -1
        << QStringList{QStringLiteral("operator"), QStringLiteral("s3cret"), QString()} << operatorCredentials
        << RestartText << none;
    QTest::newRow("version 4, wrong password remembered: refused and not stored")
        << Version4 << none << QVariantMap() << -1
        << QStringList{QStringLiteral("operator"), QStringLiteral("wrong"), QStringLiteral("remember")}
        << QByteArray("operator:wrong").toBase64() << AuthFailedText << none;
    QTest::newRow("92 characters of credentials go out whole in 124 Base64 characters")
        << Version4 << none << QVariantMap() << -1 << QStringList{longUser, longPassword, QString()} << longCredentials
        << AuthFailedText << none;
    QTest::newRow("empty user name and password go out as the Base64 of a colon")
        << Version4Open << none << QVariantMap() << -1 << QStringList{QString(), QString(), QString()}
        << QByteArray("Og==") << RestartText << none;
}

// One edit through the edit action: the one request that reaches the device holds exactly what
// the dialog showed after the typed changes (cut to the fields), the row shows "Setting new
// parameters..." at once and then the device's answer, and the credentials end up stored or not.
void TestLabEditWorkflow::requestOnTheWire()
{
    QFETCH(QString, mac);
    QFETCH(QStringList, stored);
    QFETCH(QVariantMap, edits);
    QFETCH(int, ipConfIndex);
    QFETCH(QStringList, login);
    QFETCH(QByteArray, credentials);
    QFETCH(QString, answer);
    QFETCH(QStringList, storedAfter);

    if (!stored.isEmpty())
        CredentialStore::saveLoginData(stored);
    const bool authenticated = !stored.isEmpty() || !login.isEmpty();
    Fields expected = reportedFields(configDatagram(mac));
    // As the dialog opened: the combo box's entry and whether the static fields could be edited.
    int shownIndex = -1;
    bool staticGroupEnabled = false;
    answerer->setAnswer([&](QWidget *widget) {
        if (qobject_cast<ConnectionDialog *>(widget)) {
            shownIndex = widget->findChild<QComboBox *>()->currentIndex();
            staticGroupEnabled = staticGroupOf(widget)->isEnabled();
            for (auto it = edits.cbegin(); it != edits.cend(); ++it)
                fieldOf(widget, it.key())->setText(it.value().toString());
            if (ipConfIndex >= 0)
                widget->findChild<QComboBox *>()->setCurrentIndex(ipConfIndex);
            buttonOf(widget, QStringLiteral("Apply"))->click();
        } else if (qobject_cast<LoginDialog *>(widget) && login.size() == 3) {
            fillLogin(widget, login.at(0), login.at(1), !login.at(2).isEmpty());
            widget->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        } else {
            ModalAnswerer::press(widget, QMessageBox::Cancel);
        }
    });

    editWithAction(mac);
    QStringList dialogs{QStringLiteral("ConnectionDialog")};
    if (!login.isEmpty())
        dialogs.append(QStringLiteral("LoginDialog"));
    QCOMPARE(classesSeen(*answerer), dialogs);
    QCOMPARE(shownIndex, expected.value(IpConfigKey).toInt());
    QCOMPARE(staticGroupEnabled, shownIndex == 0);
    // Shown as soon as the request has gone, authenticated or not.
    QCOMPARE(status(mac), SettingText);

    for (auto it = edits.cbegin(); it != edits.cend(); ++it)
        expected.insert(it.key(), it.value().toString());
    if (ipConfIndex >= 0)
        expected.insert(IpConfigKey, QString::number(ipConfIndex));
    QTRY_COMPARE_WITH_TIMEOUT(configRequests(mac).size(), 1, WireTimeoutMs);
    const QByteArray sent = configRequests(mac).constFirst();
    verifyRequest(sent, authenticated ? SetNetworkConfigAuth : SetNetworkConfig, mac,
                  expectedBody(mac, expected, authenticated ? &credentials : nullptr));
    if (!authenticated)
        QVERIFY(sent.mid(124).startsWith(mac.toLatin1() + '\0'));
    if (edits.value(DomainLabel).toString().size() > 79)
        QCOMPARE(Lab::fieldText(sent, 124 + 77, 80), edits.value(DomainLabel).toString().left(79).toLatin1());

    QTRY_COMPARE_WITH_TIMEOUT(status(mac), answer, WireTimeoutMs);
    QVERIFY(model()->pendingLogin.isEmpty());
    QCOMPARE(CredentialStore::loadLoginData(mac), storedAfter);
    QCOMPARE(CredentialStore::contains(mac), !storedAfter.isEmpty());
}

// While the dialog is open the device answers a configuration request of the model's and a
// forged reply claims protocol version 3 with other values; both re-insert the row. What goes out
// is what the dialog shows, with the stored credentials, as the version-4 request the row called
// for when it was opened.
void TestLabEditWorkflow::repliesWhileTheDialogIsOpenChangeNothingSent()
{
    const QStringList stored{Version4, QStringLiteral("operator"), QStringLiteral("s3cret")};
    CredentialStore::saveLoginData(stored);
    const QByteArray before = configDatagram(Version4);
    Fields expected = reportedFields(before);
    expected.insert(IpLabel, QStringLiteral("192.168.77.90"));

    QByteArray forgedBody(205, '\0');
    put(forgedBody, 0, 18, Version4.toLatin1());
    put(forgedBody, 18, 25, "forged-name");
    put(forgedBody, 43, 2, "1");
    put(forgedBody, 45, 16, "10.9.9.9");
    put(forgedBody, 61, 16, "255.0.0.0");
    QByteArray forged = Lab::replyDatagram(NetworkConfigReply, hostMac, Version4, 0, forgedBody);
    forged[52] = char(3);
    Lab::LanSocket lan(lab);
    QVERIFY2(lan.isValid(), qPrintable(lan.errorString()));

    bool answeredWhileOpen = false;
    bool forgedShownWhileOpen = false;
    answerer->setAnswer([&](QWidget *widget) {
        if (!qobject_cast<ConnectionDialog *>(widget)) {
            ModalAnswerer::press(widget, QMessageBox::Cancel);
            return;
        }
        transceiver()->getNetworkConfig(Version4);
        answeredWhileOpen = QTest::qWaitFor([&] { return configDatagram(Version4) != before; }, WireTimeoutMs);
        lan.broadcast(forged);
        forgedShownWhileOpen = QTest::qWaitFor(
            [&] {
                const int row = model()->findRowByMac(Version4);
                return model()->index(row, DeviceModel::HostnameColumn).data().toString() ==
                       QLatin1String("forged-name");
            },
            WireTimeoutMs);
        fieldOf(widget, IpLabel)->setText(expected.value(IpLabel));
        buttonOf(widget, QStringLiteral("Apply"))->click();
    });

    editWithAction(Version4);
    QVERIFY(answeredWhileOpen);
    QVERIFY(forgedShownWhileOpen);
    QCOMPARE(configDatagram(Version4), forged);
    QCOMPARE(classesSeen(*answerer), QStringList{QStringLiteral("ConnectionDialog")});

    QTRY_COMPARE_WITH_TIMEOUT(configRequests(Version4).size(), 1, WireTimeoutMs);
    const QByteArray credentials = QByteArray("operator:s3cret").toBase64();
    verifyRequest(configRequests(Version4).constFirst(), SetNetworkConfigAuth, Version4,
                  expectedBody(Version4, expected, &credentials));
    QTRY_COMPARE_WITH_TIMEOUT(status(Version4), RestartText, WireTimeoutMs);
    QCOMPARE(CredentialStore::loadLoginData(Version4), stored);
}

// A double click on a version-3 device's host name, a new name typed: the row shows "Setting new
// parameters...", "Applying new parameters..." and, once the device's configuration has been read
// again after its restart, the new name with an empty status, in the same row.
void TestLabEditWorkflow::hostNameChangeEndToEnd()
{
    const int row = model()->findRowByMac(Version3);
    QVERIFY(row >= 0);
    StatusRecorder recorder(model(), Version3);
    answerer->setAnswer([](QWidget *widget) {
        if (!qobject_cast<ConnectionDialog *>(widget)) {
            ModalAnswerer::press(widget, QMessageBox::Cancel);
            return;
        }
        QLineEdit *hostName = fieldOf(widget, HostLabel);
        hostName->selectAll();
        QTest::keyClicks(hostName, QStringLiteral("lab-renamed-7"));
        buttonOf(widget, QStringLiteral("Apply"))->click();
    });

    const QModelIndex cell = view()->model()->index(row, DeviceModel::HostnameColumn);
    view()->scrollTo(cell);
    // As the system delivers a double click: press, release, double click, release.
    const QPoint centre = view()->visualRect(cell).center();
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseDClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QCOMPARE(classesSeen(*answerer), QStringList{QStringLiteral("ConnectionDialog")});
    QCOMPARE(status(Version3), SettingText);

    QTRY_COMPARE_WITH_TIMEOUT(status(Version3), RestartText, WireTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(model()->index(row, DeviceModel::HostnameColumn).data().toString(),
                              QStringLiteral("lab-renamed-7"), RestartDelayMs + WireTimeoutMs);
    QCOMPARE(model()->findRowByMac(Version3), row);
    QCOMPARE(status(Version3), QString());
    QCOMPARE(recorder.texts, (QStringList{QString(), SettingText, RestartText, QString()}));
    QCOMPARE(reportedFields(configDatagram(Version3)).value(HostLabel), QStringLiteral("lab-renamed-7"));
}

// Stored credentials that the device refuses: the request carries them without asking, the row
// says that the stored password is no longer valid, and they are gone; the next edit asks for
// credentials again, and cancelling both dialogs sends nothing.
void TestLabEditWorkflow::refusedStoredCredentialsAreForgotten()
{
    CredentialStore::saveLoginData({Version4, QStringLiteral("operator"), QStringLiteral("old-password")});
    answerer->setAnswer([](QWidget *widget) {
        if (qobject_cast<ConnectionDialog *>(widget))
            buttonOf(widget, QStringLiteral("Apply"))->click();
        else
            ModalAnswerer::press(widget, QMessageBox::Cancel);
    });
    editWithAction(Version4);
    QCOMPARE(classesSeen(*answerer), QStringList{QStringLiteral("ConnectionDialog")});
    QTRY_COMPARE_WITH_TIMEOUT(configRequests(Version4).size(), 1, WireTimeoutMs);
    const QByteArray sent = configRequests(Version4).constFirst();
    QCOMPARE(Lab::fieldText(sent, 124 + 187, 128), QByteArray("operator:old-password").toBase64());
    QTRY_COMPARE_WITH_TIMEOUT(status(Version4), StoredAuthFailedText, WireTimeoutMs);
    QVERIFY(!CredentialStore::contains(Version4));
    QCOMPARE(model()
                 ->index(model()->findRowByMac(Version4), DeviceModel::MacAddressColumn)
                 .data(DeviceModel::StateIdRole)
                 .toInt(),
             5);

    // Asked again: the login dialog comes with Apply; cancelled, the settings dialog stays open
    // until it is cancelled too.
    answerer->seen.clear();
    bool stayedOpen = false;
    answerer->setAnswer([&stayedOpen](QWidget *widget) {
        if (qobject_cast<ConnectionDialog *>(widget)) {
            buttonOf(widget, QStringLiteral("Apply"))->click();
        } else if (qobject_cast<LoginDialog *>(widget)) {
            auto *settings = qobject_cast<QDialog *>(widget->parentWidget());
            ModalAnswerer::press(widget, QMessageBox::Cancel);
            QTimer::singleShot(0, settings, [settings, &stayedOpen] {
                stayedOpen = settings->isVisible();
                settings->reject();
            });
        } else {
            ModalAnswerer::press(widget, QMessageBox::Cancel);
        }
    });
    QSignalSpy sentRequests(transceiver(), &PacketTransceiver::requestSent);
    editWithAction(Version4);
    QCOMPARE(classesSeen(*answerer), (QStringList{QStringLiteral("ConnectionDialog"), QStringLiteral("LoginDialog")}));
    QVERIFY(stayedOpen);
    QCOMPARE(sentRequests.count(), 0);
    QCOMPARE(status(Version4), StoredAuthFailedText);
}

// A device that answered only the device-information request has no configuration to edit: the
// edit action stays disabled, and the edit slot itself opens nothing and sends nothing.
void TestLabEditWorkflow::incompleteRowCannotBeEdited()
{
    const int row = model()->findRowByMac(InfoOnly);
    QVERIFY(row >= 0);
    view()->selectionModel()->setCurrentIndex(view()->model()->index(row, DeviceModel::DeviceColumn),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QVERIFY(!action("editAct")->isEnabled());
    QSignalSpy sentRequests(transceiver(), &PacketTransceiver::requestSent);
    QVERIFY(QMetaObject::invokeMethod(window.get(), "edit"));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "edit", Q_ARG(QModelIndex, model()->index(row, 2))));
    QVERIFY(answerer->seen.isEmpty());
    QCOMPARE(sentRequests.count(), 0);
}

QTEST_MAIN(TestLabEditWorkflow)
#include "tst_lab_editworkflow.moc"
