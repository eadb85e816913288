// SPDX-License-Identifier: Apache-2.0
#include "modalanswerer.h"
#include "model/devicemodel.h"
#include "netguard.h"
#include "protocol/packettransceiver.h"
#include "replies.h"
#include "sendcapture.h"
#include "settings/credentialstore.h"
#include "ui/connectiondialog.h"
#include "ui/logindialog.h"
#include "ui/mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <functional>
#include <optional>

namespace {

const QString MacA = QStringLiteral("00:1A:2B:3C:4D:01");
const QString MacB = QStringLiteral("00:1A:2B:3C:4D:02");
const QString MacC = QStringLiteral("00:1A:2B:3C:4D:03");
const QStringList Sentinel = {QStringLiteral("11:22:33:44:55:66"), QStringLiteral("earlier"), QStringLiteral("list")};
const QString NoInterfaceTitle = QStringLiteral("Creating message header");

// What the settings dialog shows and sends: the entries of one device's configuration.
struct Entries
{
    QString host = QStringLiteral("camera-hall");
    int ipConf = 0;
    QString ip = QStringLiteral("192.168.1.10");
    QString mask = QStringLiteral("255.255.255.0");
    QString domain = QStringLiteral("example.org");
    QString gateway = QStringLiteral("192.168.1.1");
    QString dns1 = QStringLiteral("192.168.1.2");
    QString dns2 = QStringLiteral("192.168.1.3");
};

QByteArray configReply(const QString &mac, const Entries &e, quint8 protocolVersion)
{
    NetworkConfigBody body;
    body.macAddress = mac;
    body.hostName = e.host;
    body.ipConfig = e.ipConf == 1 ? QStringLiteral("1") : QStringLiteral("0");
    body.ipAddress = e.ip;
    body.subnetMask = e.mask;
    body.domain = e.domain;
    body.gateway = e.gateway;
    body.primaryDns = e.dns1;
    body.secondaryDns = e.dns2;
    MessageHeader header = Replies::header(NetworkConfigReply, mac, 0);
    header.payloadLength = Protocol::NetworkConfigBodySize;
    header.protocolVersion = protocolVersion;
    return header.toByteArray() + body.toByteArray();
}

// A text field as the request carries it: Latin-1, at most width - 1 bytes, zeros to the end.
QByteArray field(const QString &text, int width)
{
    QByteArray bytes = text.toLatin1().left(width - 1);
    bytes.append(QByteArray(width - bytes.size(), '\0'));
    return bytes;
}

QByteArray commonFields(const Entries &e)
{
    return field(e.host, 25) + field(e.ipConf == 1 ? QStringLiteral("1") : QStringLiteral("0"), 2) + field(e.ip, 16) +
           field(e.mask, 16) + field(e.domain, 80) + field(e.gateway, 16) + field(e.dns1, 16) + field(e.dns2, 16);
}

QByteArray plainBody(const QString &mac, const Entries &e)
{
    return field(mac, 18) + commonFields(e);
}

QString credentialText(const QString &user, const QString &password)
{
    return QString::fromLatin1((user + QLatin1Char(':') + password).toLatin1().toBase64());
}

QByteArray authBody(const Entries &e, const QString &user, const QString &password)
{
    return commonFields(e) + field(credentialText(user, password), 128);
}

quint32 uint32At(const QByteArray &datagram, int offset)
{
    return qFromLittleEndian<quint32>(datagram.constData() + offset);
}

QString textAt(const QByteArray &datagram, int offset, int width)
{
    const QByteArray bytes = datagram.mid(offset, width);
    return QString::fromLatin1(bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0')));
}

QWidget *fieldFor(QWidget *dialog, const QString &label)
{
    const auto forms = dialog->findChildren<QFormLayout *>();
    for (QFormLayout *form : forms) {
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem *labelItem = form->itemAt(row, QFormLayout::LabelRole);
            auto *labelWidget = labelItem ? qobject_cast<QLabel *>(labelItem->widget()) : nullptr;
            if (labelWidget && labelWidget->text() == label)
                return form->itemAt(row, QFormLayout::FieldRole)->widget();
        }
    }
    return nullptr;
}

QLineEdit *lineEdit(QWidget *dialog, const QString &label)
{
    return qobject_cast<QLineEdit *>(fieldFor(dialog, label));
}

QPushButton *button(QWidget *dialog, const QString &text)
{
    const auto buttons = dialog->findChildren<QPushButton *>(Qt::FindDirectChildrenOnly);
    for (QPushButton *b : buttons) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

// Types `e` into the settings dialog as a user would leave the fields.
void fill(ConnectionDialog *dialog, const Entries &e)
{
    lineEdit(dialog, QStringLiteral("Hostname:"))->setText(e.host);
    qobject_cast<QComboBox *>(fieldFor(dialog, QStringLiteral("IP configuration:")))->setCurrentIndex(e.ipConf);
    lineEdit(dialog, QStringLiteral("IP address:"))->setText(e.ip);
    lineEdit(dialog, QStringLiteral("Subnet mask:"))->setText(e.mask);
    lineEdit(dialog, QStringLiteral("Domain:"))->setText(e.domain);
    lineEdit(dialog, QStringLiteral("Gateway IP:"))->setText(e.gateway);
    lineEdit(dialog, QStringLiteral("Primary DNS server:"))->setText(e.dns1);
    lineEdit(dialog, QStringLiteral("Secondary DNS server:"))->setText(e.dns2);
}

struct LoginAnswer
{
    QString user;
    QString password;
    bool remember = false;
    bool accept = true;
    bool retry = true; // after Cancel: Apply again in the settings dialog (or else Cancel it)
};

// What the user does in one edit.
struct Script
{
    bool apply = true;
    std::optional<Entries> entries; // typed over what the dialog shows
    std::function<void()> whileOpen;
    QList<LoginAnswer> logins;
};

// What one edit showed.
struct Run
{
    QStringList order; // class names of the dialogs and boxes, in order of appearance
    QString dialogMac;
    QList<QStringList> loginShown; // user, password, check box state at each appearance
    int noInterfaceBoxes = 0;
};

QList<QVariantList> copy(const QSignalSpy &spy)
{
    QList<QVariantList> calls;
    for (const QVariantList &call : spy)
        calls.append(call);
    return calls;
}

QList<QVariantList> requests(int messageId, const QString &mac)
{
    return {QVariantList{messageId, mac}};
}

class EditWindow
{
public:
    EditWindow()
    {
        model = window.findChild<DeviceModel *>();
        view = window.findChild<QTableView *>();
        transceiver = window.findChild<PacketTransceiver *>();
    }

    void add(const QString &mac, const Entries &e = Entries(), quint8 protocolVersion = 3, bool info = true,
             bool config = true)
    {
        if (info)
            model->onDeviceReplyReceived(Replies::info(mac, QStringLiteral("Panoryx-4.3")));
        if (config)
            model->onDeviceReplyReceived(configReply(mac, e, protocolVersion));
    }

    QModelIndex index(const QString &mac, int column = DeviceModel::DeviceColumn) const
    {
        return view->model()->index(model->findRowByMac(mac), column);
    }

    // Runs edit(index) (edit() when `index` is invalid) with the user doing what `script` says.
    Run edit(const QModelIndex &index, const Script &script = Script())
    {
        Run run;
        int logins = 0;
        QPointer<ConnectionDialog> settings;
        ModalAnswerer answerer([&](QWidget *modal) {
            run.order.append(QString::fromLatin1(modal->metaObject()->className()));
            if (auto *dialog = qobject_cast<ConnectionDialog *>(modal)) {
                settings = dialog;
                run.dialogMac = dialog->macAddress();
                if (script.whileOpen)
                    script.whileOpen();
                if (script.entries)
                    fill(dialog, *script.entries);
                // Apply may run the login dialog modally: click from the event loop, not from here.
                QPushButton *b = button(dialog, script.apply ? QStringLiteral("Apply") : QStringLiteral("Cancel"));
                QTimer::singleShot(0, b, &QPushButton::click);
            } else if (auto *login = qobject_cast<LoginDialog *>(modal)) {
                auto *user = lineEdit(login, QStringLiteral("&Username:"));
                auto *password = lineEdit(login, QStringLiteral("&Password:"));
                auto *remember = login->findChild<QCheckBox *>();
                run.loginShown.append(QStringList{user->text(), password->text(),
                                                  remember->isChecked() ? QStringLiteral("checked") : QString()});
                const LoginAnswer answer = script.logins.value(logins++, LoginAnswer{{}, {}, false, false, false});
                user->setText(answer.user);
                password->setText(answer.password);
                remember->setChecked(answer.remember);
                auto *box = login->findChild<QDialogButtonBox *>();
                if (answer.accept) {
                    box->button(QDialogButtonBox::Ok)->click();
                    return;
                }
                box->button(QDialogButtonBox::Cancel)->click();
                // Later, so that the answerer sees the login dialog closed before it comes back.
                const QString next = answer.retry ? QStringLiteral("Apply") : QStringLiteral("Cancel");
                QTimer::singleShot(50, settings, [&settings, next] {
                    if (settings)
                        button(settings, next)->click();
                });
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                // Without an interface of its own the transceiver warns before each request.
                if (box->windowTitle() == NoInterfaceTitle)
                    ++run.noInterfaceBoxes;
                ModalAnswerer::press(box, QMessageBox::Ok);
            } else {
                ModalAnswerer::press(modal, QMessageBox::Cancel);
            }
        });
        if (index.isValid())
            QMetaObject::invokeMethod(&window, "edit", Q_ARG(QModelIndex, index));
        else
            QMetaObject::invokeMethod(&window, "edit");
        return run;
    }

    MainWindow window;
    DeviceModel *model = nullptr;
    QTableView *view = nullptr;
    PacketTransceiver *transceiver = nullptr;
};

QStringList debugLines;
QtMessageHandler previousHandler = nullptr;

void collectMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    debugLines.append(message);
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

Q_DECLARE_METATYPE(Entries)
Q_DECLARE_METATYPE(std::optional<Entries>)
Q_DECLARE_METATYPE(LoginAnswer)

class TestEditWorkflow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void nothingSelectedDoesNothing();
    void incompleteRowCannotBeEdited_data();
    void incompleteRowCannotBeEdited();
    void anyCellOpensItsDevice();
    void selectedRowIsUsed();

    void plainRequest_data();
    void plainRequest();
    void storedCredentials_data();
    void storedCredentials();
    void damagedStoredCredentialsAsked_data();
    void damagedStoredCredentialsAsked();
    void loginRequest_data();
    void loginRequest();
    void loginCancelledThenGiven();
    void cancelSendsNothing_data();
    void cancelSendsNothing();
    void repliesWhileOpen_data();
    void repliesWhileOpen();
    void debugStreamHoldsNoCredentials_data();
    void debugStreamHoldsNoCredentials();

private:
    QTemporaryDir configDir;
};

void TestEditWorkflow::initTestCase()
{
    QVERIFY(configDir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configDir.path());
    const QString settingsFile = QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvane"),
                                           QStringLiteral("Veltra Device Finder"))
                                     .fileName();
    QVERIFY2(settingsFile.startsWith(configDir.path() + QLatin1Char('/')), qPrintable(settingsFile));
}

void TestEditWorkflow::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvane"),
              QStringLiteral("Veltra Device Finder"))
        .clear();
    captured().clear();
}

void TestEditWorkflow::cleanup()
{
    if (previousHandler) {
        qInstallMessageHandler(previousHandler);
        previousHandler = nullptr;
    }
}

void TestEditWorkflow::nothingSelectedDoesNothing()
{
    REQUIRE_ISOLATED_NETWORK();
    for (const bool withRows : {false, true}) {
        EditWindow w;
        w.view->setCurrentIndex(QModelIndex());
        if (withRows) {
            w.add(MacA);
            w.add(MacB);
            // A current row that is not selected names no device either.
            w.view->selectionModel()->setCurrentIndex(w.index(MacB), QItemSelectionModel::NoUpdate);
        }
        QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);
        const Run run = w.edit(QModelIndex());
        QCOMPARE(run.order, QStringList());
        QCOMPARE(sent.size(), 0);
        QCOMPARE(captured().size(), 0);
    }
}

void TestEditWorkflow::incompleteRowCannotBeEdited_data()
{
    QTest::addColumn<bool>("info");
    QTest::addColumn<bool>("config");
    QTest::newRow("device information only") << true << false;
    QTest::newRow("network configuration only") << false << true;
}

void TestEditWorkflow::incompleteRowCannotBeEdited()
{
    REQUIRE_ISOLATED_NETWORK();
    QFETCH(bool, info);
    QFETCH(bool, config);
    EditWindow w;
    w.add(MacA, Entries(), 3, info, config);
    QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);
    for (int column = 0; column < DeviceModel::ColumnCount; ++column) {
        QCOMPARE(w.edit(w.index(MacA, column)).order, QStringList());
        w.view->setCurrentIndex(w.index(MacA, column));
        QCOMPARE(w.edit(QModelIndex()).order, QStringList());
    }
    QCOMPARE(sent.size(), 0);
    QCOMPARE(captured().size(), 0);
}

void TestEditWorkflow::anyCellOpensItsDevice()
{
    REQUIRE_ISOLATED_NETWORK();
    EditWindow w;
    for (const QString &mac : {MacA, MacB, MacC})
        w.add(mac);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);
    for (int column = 0; column < DeviceModel::ColumnCount; ++column) {
        QString shown;
        ModalAnswerer answerer([&](QWidget *modal) {
            if (auto *dialog = qobject_cast<ConnectionDialog *>(modal))
                shown = dialog->macAddress();
            ModalAnswerer::press(modal, QMessageBox::Cancel);
        });
        const QModelIndex index = w.index(MacB, column);
        w.view->scrollTo(index);
        const QPoint centre = w.view->visualRect(index).center();
        // A double click as the system delivers it: press, release, double click, release.
        QTest::mouseClick(w.view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseDClick(w.view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(shown, MacB);
    }
    QCOMPARE(sent.size(), 0);
}

void TestEditWorkflow::selectedRowIsUsed()
{
    REQUIRE_ISOLATED_NETWORK();
    EditWindow w;
    for (const QString &mac : {MacA, MacB, MacC})
        w.add(mac);
    w.view->selectionModel()->select(w.index(MacC), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    w.view->selectionModel()->setCurrentIndex(w.index(MacB, DeviceModel::StatusColumn), QItemSelectionModel::NoUpdate);
    QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);
    const Run run = w.edit(QModelIndex());
    QCOMPARE(run.dialogMac, MacC);
    QCOMPARE(copy(sent), requests(SetNetworkConfig, MacC));
}

void TestEditWorkflow::plainRequest_data()
{
    QTest::addColumn<int>("protocolVersion");
    QTest::addColumn<bool>("storeCredentials");
    QTest::addColumn<std::optional<Entries>>("typed");

    const Entries loaded;
    QTest::newRow("unchanged") << 3 << false << std::optional<Entries>();
    QTest::newRow("version 0") << 0 << false << std::optional<Entries>();
    QTest::newRow("stored credentials play no part") << 3 << true << std::optional<Entries>();

    Entries edited;
    edited.host = QStringLiteral("renamed-01");
    edited.ip = QStringLiteral("10.0.0.5");
    edited.mask = QStringLiteral("255.0.0.0");
    edited.gateway = QStringLiteral("10.0.0.1");
    edited.dns1 = QString();
    edited.dns2 = QStringLiteral("10.0.0.2");
    QTest::newRow("edited") << 3 << false << std::optional<Entries>(edited);

    Entries dhcp = loaded;
    dhcp.ipConf = 1;
    dhcp.ip = QStringLiteral("192.168");
    QTest::newRow("DHCP still sends the greyed-out fields") << 3 << false << std::optional<Entries>(dhcp);

    Entries longDomain = loaded;
    longDomain.domain = QString(100, QLatin1Char('d'));
    QTest::newRow("domain field holds 79") << 3 << false << std::optional<Entries>(longDomain);

    Entries latin1 = loaded;
    latin1.domain = QStringLiteral("k\u00fcche.example");
    QTest::newRow("domain as Latin-1") << 3 << false << std::optional<Entries>(latin1);
}

void TestEditWorkflow::plainRequest()
{
    REQUIRE_ISOLATED_NETWORK();
    QFETCH(int, protocolVersion);
    QFETCH(bool, storeCredentials);
    QFETCH(std::optional<Entries>, typed);

    EditWindow w;
    w.add(MacA);
    w.add(MacB, Entries(), quint8(protocolVersion));
    if (storeCredentials)
        CredentialStore::saveLoginData({MacB, QStringLiteral("admin"), QStringLiteral("secret")});
    w.model->pendingLogin = Sentinel;
    QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);

    Script script;
    script.entries = typed;
    const Run run = w.edit(w.index(MacB, DeviceModel::HostnameColumn), script);
    QVERIFY(!run.order.contains(QStringLiteral("LoginDialog")));
    QCOMPARE(run.dialogMac, MacB);
    QCOMPARE(copy(sent), requests(SetNetworkConfig, MacB));
    QCOMPARE(w.model->pendingLogin, Sentinel);

    QCOMPARE(captured().size(), 1);
    const QByteArray datagram = captured().first();
    QCOMPARE(datagram.size(), 329);
    QCOMPARE(uint32At(datagram, 40), quint32(SetNetworkConfig));
    QCOMPARE(uint32At(datagram, 48), quint32(205));
    QCOMPARE(textAt(datagram, 0, 37), QString::fromLatin1(Protocol::PacketIdentificationKey));
    QCOMPARE(quint8(datagram.at(52)), quint8(4)); // requests carry protocol version 4
    QCOMPARE(uint32At(datagram, 44), quint32(0));
    QCOMPARE(textAt(datagram, 56, 18), MacB);
    QCOMPARE(datagram.mid(124), plainBody(MacB, typed.value_or(Entries())));
}

void TestEditWorkflow::storedCredentials_data()
{
    QTest::addColumn<int>("protocolVersion");
    QTest::newRow("version 4") << 4;
    QTest::newRow("version 5") << 5;
    QTest::newRow("version 128") << 128;
    QTest::newRow("version 255") << 255;
}

void TestEditWorkflow::storedCredentials()
{
    REQUIRE_ISOLATED_NETWORK();
    QFETCH(int, protocolVersion);
    EditWindow w;
    w.add(MacA, Entries(), quint8(protocolVersion));
    CredentialStore::saveLoginData({MacA, QStringLiteral("admin"), QStringLiteral("s3cret")});
    w.model->pendingLogin = Sentinel;
    QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);

    Entries typed;
    typed.host = QStringLiteral("renamed");
    Script script;
    script.entries = typed;
    const Run run = w.edit(w.index(MacA), script);
    QVERIFY(!run.order.contains(QStringLiteral("LoginDialog")));
    QCOMPARE(copy(sent), requests(SetNetworkConfigAuth, MacA));
    QCOMPARE(w.model->pendingLogin, Sentinel);

    QCOMPARE(captured().size(), 1);
    const QByteArray datagram = captured().first();
    QCOMPARE(datagram.size(), 439);
    QCOMPARE(uint32At(datagram, 40), quint32(SetNetworkConfigAuth));
    QCOMPARE(uint32At(datagram, 48), quint32(315));
    QCOMPARE(textAt(datagram, 0, 37), QString::fromLatin1(Protocol::PacketIdentificationKey));
    QCOMPARE(quint8(datagram.at(52)), quint8(4)); // requests carry protocol version 4
    QCOMPARE(uint32At(datagram, 44), quint32(0));
    QCOMPARE(textAt(datagram, 56, 18), MacA);
    QCOMPARE(datagram.mid(124), authBody(typed, QStringLiteral("admin"), QStringLiteral("s3cret")));
}

void TestEditWorkflow::damagedStoredCredentialsAsked_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("garbage value") << QStringLiteral("value");
    QTest::newRow("truncated entry") << QStringLiteral("truncated");
    QTest::newRow("length claims 4 GiB") << QStringLiteral("claim");
    QTest::newRow("garbage file") << QStringLiteral("file");
}

void TestEditWorkflow::damagedStoredCredentialsAsked()
{
    // The program starts with the damaged settings, and the damaged entry counts as missing: the
    // user is asked for credentials, and the entry stays until a save replaces it.
    REQUIRE_ISOLATED_NETWORK();
    QFETCH(QString, damage);
    const QString fileName = QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvane"),
                                       QStringLiteral("Veltra Device Finder"))
                                 .fileName();
    const QStringList stored{MacA, QStringLiteral("admin"), QStringLiteral("s3cret")};
    if (damage == QLatin1String("file")) {
        QByteArray bytes(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(11);
        for (char &c : bytes)
            c = char(random.bounded(256));
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    } else {
        QByteArray value = CredentialStore::encode(stored).toLatin1();
        if (damage == QLatin1String("value")) {
            value = "not a stored value";
        } else if (damage == QLatin1String("claim")) {
            QByteArray compressed = QByteArray::fromBase64(value);
            qToBigEndian(quint32(0xffffffffu), compressed.data());
            value = compressed.toBase64();
        }
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvane"),
                  QStringLiteral("Veltra Device Finder"))
            .setValue(QStringLiteral("LoginData/") + MacA, QString::fromLatin1(value));
        if (damage == QLatin1String("truncated")) {
            const QByteArray whole = [&fileName] {
                QFile file(fileName);
                return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            }();
            const qsizetype cut = whole.indexOf(value) + value.size() / 2;
            QVERIFY(cut > value.size() / 2);
            QVERIFY(QFile::resize(fileName, cut));
        }
    }

    EditWindow w;
    w.add(MacA, Entries(), 4);
    w.view->selectRow(0);
    QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);
    Script script;
    script.logins = {LoginAnswer{QStringLiteral("admin"), QStringLiteral("typed"), false}};
    const Run run = w.edit(w.index(MacA), script);
    QCOMPARE(run.order.mid(0, 2), QStringList({QStringLiteral("ConnectionDialog"), QStringLiteral("LoginDialog")}));
    QCOMPARE(run.loginShown.value(0), QStringList({QString(), QString(), QString()}));
    QCOMPARE(copy(sent), requests(SetNetworkConfigAuth, MacA));
    QCOMPARE(captured().size(), 1);
    QCOMPARE(captured().first().mid(124), authBody(Entries(), QStringLiteral("admin"), QStringLiteral("typed")));
    QCOMPARE(CredentialStore::contains(MacA), damage != QLatin1String("file"));
}

void TestEditWorkflow::loginRequest_data()
{
    QTest::addColumn<LoginAnswer>("login");
    QTest::addColumn<QString>("credentials"); // the Base64 text as sent

    QTest::newRow("remembered") << LoginAnswer{QStringLiteral("admin"), QStringLiteral("secret"), true}
                                << QStringLiteral("YWRtaW46c2VjcmV0");
    QTest::newRow("not remembered") << LoginAnswer{QStringLiteral("admin"), QStringLiteral("secret"), false}
                                    << QStringLiteral("YWRtaW46c2VjcmV0");
    QTest::newRow("empty fields") << LoginAnswer{QString(), QString(), false} << QStringLiteral("Og==");
    QTest::newRow("empty fields remembered") << LoginAnswer{QString(), QString(), true} << QStringLiteral("Og==");
    QTest::newRow("Latin-1") << LoginAnswer{QStringLiteral("j\u00fcrgen"), QStringLiteral("p\u00e4ss:"), true}
                             << QString::fromLatin1(QByteArray("j\xfcrgen:p\xe4ss:").toBase64());
    // 93 bytes with the colon make 124 Base64 characters: the longest the field takes whole.
    const QString user = QString(40, QLatin1Char('u'));
    const QString password = QString(52, QLatin1Char('p'));
    QTest::newRow("longest credentials sent whole")
        << LoginAnswer{user, password, true} << credentialText(user, password);
}

void TestEditWorkflow::loginRequest()
{
    REQUIRE_ISOLATED_NETWORK();
    QFETCH(LoginAnswer, login);
    QFETCH(QString, credentials);

    EditWindow w;
    w.add(MacA, Entries(), 4);
    w.model->pendingLogin = Sentinel;
    QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);

    Script script;
    script.logins = {login};
    const Run run = w.edit(w.index(MacA, DeviceModel::IpAddressColumn), script);
    QCOMPARE(run.order.mid(0, 2), QStringList({QStringLiteral("ConnectionDialog"), QStringLiteral("LoginDialog")}));
    QCOMPARE(run.loginShown.size(), 1);
    QCOMPARE(run.loginShown.first(), QStringList({QString(), QString(), QString()}));
    QCOMPARE(copy(sent), requests(SetNetworkConfigAuth, MacA));
    QCOMPARE(w.model->pendingLogin, (login.remember ? QStringList{MacA, login.user, login.password} : Sentinel));
    // Stored only once the device has accepted them.
    QVERIFY(CredentialStore::loadLoginData(MacA).isEmpty());

    QCOMPARE(captured().size(), 1);
    const QByteArray datagram = captured().first();
    QCOMPARE(datagram.size(), 439);
    QCOMPARE(uint32At(datagram, 40), quint32(SetNetworkConfigAuth));
    QCOMPARE(textAt(datagram, 56, 18), MacA);
    QCOMPARE(datagram.mid(124, 187), commonFields(Entries()));
    QCOMPARE(datagram.mid(124 + 187), field(credentials, 128));
    QCOMPARE(datagram.mid(124), authBody(Entries(), login.user, login.password));
}

void TestEditWorkflow::loginCancelledThenGiven()
{
    REQUIRE_ISOLATED_NETWORK();
    EditWindow w;
    w.add(MacA, Entries(), 4);
    QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);

    Script script;
    script.logins = {LoginAnswer{QStringLiteral("first"), QStringLiteral("try"), true, false, true},
                     LoginAnswer{QStringLiteral("admin"), QStringLiteral("secret"), true, true}};
    const Run run = w.edit(w.index(MacA), script);
    QCOMPARE(run.order.count(QStringLiteral("ConnectionDialog")), 1);
    QCOMPARE(run.order.count(QStringLiteral("LoginDialog")), 2);
    // The second run shows what the first left.
    QCOMPARE(run.loginShown.at(1),
             QStringList({QStringLiteral("first"), QStringLiteral("try"), QStringLiteral("checked")}));
    QCOMPARE(copy(sent), requests(SetNetworkConfigAuth, MacA));
    QCOMPARE(captured().size(), 1);
    QCOMPARE(captured().first().mid(124), authBody(Entries(), QStringLiteral("admin"), QStringLiteral("secret")));
    QCOMPARE(w.model->pendingLogin, QStringList({MacA, QStringLiteral("admin"), QStringLiteral("secret")}));
}

void TestEditWorkflow::cancelSendsNothing_data()
{
    QTest::addColumn<int>("protocolVersion");
    QTest::addColumn<bool>("apply");
    QTest::addColumn<QList<LoginAnswer>>("logins");

    const LoginAnswer cancelled{QStringLiteral("admin"), QStringLiteral("secret"), true, false, false};
    QTest::newRow("settings cancelled, version 3") << 3 << false << QList<LoginAnswer>{};
    QTest::newRow("settings cancelled, version 4") << 4 << false << QList<LoginAnswer>{};
    QTest::newRow("login cancelled, then settings") << 4 << true << QList<LoginAnswer>{cancelled};
    QTest::newRow("login cancelled twice, then settings")
        << 4 << true
        << QList<LoginAnswer>{LoginAnswer{QStringLiteral("admin"), QStringLiteral("secret"), true, false, true},
                              cancelled};
}

void TestEditWorkflow::cancelSendsNothing()
{
    REQUIRE_ISOLATED_NETWORK();
    QFETCH(int, protocolVersion);
    QFETCH(bool, apply);
    QFETCH(QList<LoginAnswer>, logins);

    EditWindow w;
    w.add(MacA, Entries(), quint8(protocolVersion));
    w.model->pendingLogin = Sentinel;
    QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);
    Script script;
    script.apply = apply;
    Entries typed;
    typed.host = QStringLiteral("never-sent");
    script.entries = typed;
    script.logins = logins;
    const Run run = w.edit(w.index(MacA), script);
    QCOMPARE(run.order.count(QStringLiteral("ConnectionDialog")), 1);
    QCOMPARE(run.order.count(QStringLiteral("LoginDialog")), logins.size());
    QCOMPARE(sent.size(), 0);
    QCOMPARE(captured().size(), 0);
    QCOMPARE(run.noInterfaceBoxes, 0);
    QCOMPARE(w.model->pendingLogin, Sentinel);
    QVERIFY(CredentialStore::loadLoginData(MacA).isEmpty());
}

void TestEditWorkflow::repliesWhileOpen_data()
{
    QTest::addColumn<int>("protocolVersion");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("messageId");

    QTest::newRow("new configuration reply") << 3 << false << QStringLiteral("reply") << int(SetNetworkConfig);
    QTest::newRow("reply with version 4") << 3 << false << QStringLiteral("reply4") << int(SetNetworkConfig);
    QTest::newRow("reply with version 3") << 4 << true << QStringLiteral("reply3") << int(SetNetworkConfigAuth);
    QTest::newRow("MAC case changes") << 3 << false << QStringLiteral("lowercase") << int(SetNetworkConfig);
    QTest::newRow("table cleared") << 3 << false << QStringLiteral("clear") << int(SetNetworkConfig);
    QTest::newRow("table cleared, version 4") << 4 << true << QStringLiteral("clear") << int(SetNetworkConfigAuth);
    QTest::newRow("credentials removed") << 4 << true << QStringLiteral("forget") << int(SetNetworkConfigAuth);
    QTest::newRow("credentials stored") << 4 << false << QStringLiteral("store") << int(SetNetworkConfigAuth);
}

void TestEditWorkflow::repliesWhileOpen()
{
    REQUIRE_ISOLATED_NETWORK();
    QFETCH(int, protocolVersion);
    QFETCH(bool, stored);
    QFETCH(QString, change);
    QFETCH(int, messageId);

    EditWindow w;
    w.add(MacB);
    w.add(MacA, Entries(), quint8(protocolVersion));
    w.add(MacC);
    if (stored)
        CredentialStore::saveLoginData({MacA, QStringLiteral("stored"), QStringLiteral("pw")});
    QSignalSpy sent(w.transceiver, &PacketTransceiver::requestSent);

    Entries other;
    other.host = QStringLiteral("moved");
    other.ipConf = 1;
    other.ip = QStringLiteral("10.9.9.9");
    other.domain = QStringLiteral("elsewhere");
    Script script;
    script.logins = {LoginAnswer{QStringLiteral("typed"), QStringLiteral("login"), false}};
    script.whileOpen = [&] {
        if (change.startsWith(QLatin1String("reply"))) {
            const quint8 version = change == QLatin1String("reply4")   ? 4
                                   : change == QLatin1String("reply3") ? 3
                                                                       : quint8(protocolVersion);
            w.model->onDeviceReplyReceived(configReply(MacA, other, version));
            w.model->onDeviceReplyReceived(Replies::info(MacA, QStringLiteral("Motilux-III")));
        } else if (change == QLatin1String("lowercase")) {
            w.model->onDeviceReplyReceived(configReply(MacA.toLower(), other, 3));
        } else if (change == QLatin1String("clear")) {
            w.model->setRowCount(0);
        } else if (change == QLatin1String("forget")) {
            CredentialStore::remove(MacA);
        } else if (change == QLatin1String("store")) {
            CredentialStore::saveLoginData({MacA, QStringLiteral("late"), QStringLiteral("pw")});
        }
    };
    const Run run = w.edit(w.index(MacA), script);
    QCOMPARE(run.dialogMac, MacA);
    // Whether credentials are asked for was decided before the dialog opened.
    QCOMPARE(run.order.count(QStringLiteral("LoginDialog")), protocolVersion >= 4 && !stored ? 1 : 0);
    QCOMPARE(copy(sent), requests(messageId, MacA));
    QCOMPARE(captured().size(), 1);
    const QByteArray datagram = captured().first();
    QCOMPARE(textAt(datagram, 56, 18), MacA);
    if (messageId == SetNetworkConfig) {
        QCOMPARE(datagram.mid(124), plainBody(MacA, Entries()));
    } else {
        const QString user = stored ? QStringLiteral("stored") : QStringLiteral("typed");
        const QString password = stored ? QStringLiteral("pw") : QStringLiteral("login");
        QCOMPARE(datagram.mid(124), authBody(Entries(), user, password));
    }
}

void TestEditWorkflow::debugStreamHoldsNoCredentials_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<bool>("remember");
    QTest::newRow("typed") << false << false;
    QTest::newRow("typed and remembered") << false << true;
    QTest::newRow("stored") << true << false;
}

void TestEditWorkflow::debugStreamHoldsNoCredentials()
{
    REQUIRE_ISOLATED_NETWORK();
    QFETCH(bool, stored);
    QFETCH(bool, remember);

    const QString user = QStringLiteral("operator");
    const QString password = QStringLiteral("Tr0ub4dor");
    EditWindow w;
    w.add(MacA, Entries(), 4);
    if (stored)
        CredentialStore::saveLoginData({MacA, user, password});
    Script script;
    script.logins = {LoginAnswer{user, password, remember}};

    debugLines.clear();
    previousHandler = qInstallMessageHandler(collectMessages);
    const Run run = w.edit(w.index(MacA), script);
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;

    QCOMPARE(captured().size(), 1);
    const QString base64 = credentialText(user, password);
    QCOMPARE(textAt(captured().first(), 124 + 187, 128), base64);
    bool named = false;
    for (const QString &line : std::as_const(debugLines)) {
        QVERIFY2(!line.contains(base64), qPrintable(line));
        QVERIFY2(!line.contains(password), qPrintable(line));
        QVERIFY2(!line.contains(user + QLatin1Char(':')), qPrintable(line));
        if (line.contains(MacA))
            named = true;
    }
    QVERIFY2(named, qPrintable(debugLines.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestEditWorkflow)
#include "tst_editworkflow.moc"
