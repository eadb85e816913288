// SPDX-License-Identifier: Apache-2.0
#include "modalanswerer.h"
#include "protocol/configcheck.h"
#include "replies.h"
#include "ui/connectiondialog.h"
#include "ui/logindialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTextDocument>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {

const QString Mac = QStringLiteral("00:1A:2B:3C:4D:5E");

// The two pattern texts exactly as the address and host-name rules give them.
const QString AddressPatternText =
    QStringLiteral(R"re(((1{0,1}[0-9]{0,2}|2[0-4]{1,1}[0-9]{1,1}|25[0-5]{1,1})\.){3,3})re"
                   R"re((1{0,1}[0-9]{0,2}|2[0-4]{1,1}[0-9]{1,1}|25[0-5]{1,1}))re");
const QString HostnamePatternText = QStringLiteral("[a-zA-Z][a-zA-Z0-9-]*[a-zA-Z0-9]");

const QString HeaderText = QStringLiteral("<h2>Network Settings</h2> General network parameters for device at "
                                          "MAC-Address <b>%1</b>.<p><p>");

const QStringList StaticLabels = {
    QStringLiteral("IP address:"), QStringLiteral("Subnet mask:"),        QStringLiteral("Domain:"),
    QStringLiteral("Gateway IP:"), QStringLiteral("Primary DNS server:"), QStringLiteral("Secondary DNS server:"),
};

// The field of the labelled row `label`, in the dialog's form or in the static group's form.
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

QLineEdit *edit(QWidget *dialog, const QString &label)
{
    return qobject_cast<QLineEdit *>(fieldFor(dialog, label));
}

QComboBox *combo(QWidget *dialog)
{
    return qobject_cast<QComboBox *>(fieldFor(dialog, QStringLiteral("IP configuration:")));
}

QGroupBox *staticGroup(QWidget *dialog)
{
    return dialog->findChild<QGroupBox *>();
}

QLabel *headerLabel(QWidget *dialog)
{
    auto *form = qobject_cast<QFormLayout *>(dialog->layout());
    return form ? qobject_cast<QLabel *>(form->itemAt(0, QFormLayout::SpanningRole)->widget()) : nullptr;
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

struct Config
{
    QString host = QStringLiteral("camera-hall");
    QString flag = QStringLiteral("0");
    QString ip = QStringLiteral("192.168.1.10");
    QString mask = QStringLiteral("255.255.255.0");
    QString domain = QStringLiteral("example.org");
    QString gateway = QStringLiteral("192.168.1.1");
    QString dns1 = QStringLiteral("192.168.1.2");
    QString dns2 = QStringLiteral("192.168.1.3");
};

// A NetworkConfigReply as a device sends it, every field filled.
QByteArray configReply(const Config &c, quint32 resultCode = 0)
{
    NetworkConfigBody body;
    body.macAddress = Mac;
    body.hostName = c.host;
    body.ipConfig = c.flag;
    body.ipAddress = c.ip;
    body.subnetMask = c.mask;
    body.domain = c.domain;
    body.gateway = c.gateway;
    body.primaryDns = c.dns1;
    body.secondaryDns = c.dns2;
    MessageHeader header = Replies::header(NetworkConfigReply, Mac, resultCode);
    header.payloadLength = Protocol::NetworkConfigBodySize;
    return header.toByteArray() + body.toByteArray();
}

// Writes `bytes` over the datagram at `offset`, without a terminating NUL.
QByteArray overwrite(QByteArray datagram, int offset, const QByteArray &bytes)
{
    datagram.replace(offset, bytes.size(), bytes);
    return datagram;
}

struct Shown
{
    QString mac;
    QString host;
    int index = 0;
    bool groupEnabled = true;
    QString ip, mask, domain, gateway, dns1, dns2;
};

Shown shownBy(ConnectionDialog &dialog)
{
    return Shown{dialog.macAddress(),
                 edit(&dialog, QStringLiteral("Hostname:"))->text(),
                 combo(&dialog)->currentIndex(),
                 staticGroup(&dialog)->isEnabled(),
                 edit(&dialog, StaticLabels.at(0))->text(),
                 edit(&dialog, StaticLabels.at(1))->text(),
                 edit(&dialog, StaticLabels.at(2))->text(),
                 edit(&dialog, StaticLabels.at(3))->text(),
                 edit(&dialog, StaticLabels.at(4))->text(),
                 edit(&dialog, StaticLabels.at(5))->text()};
}

} // namespace

Q_DECLARE_METATYPE(Config)

class TestConnectionDialog : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void validatorsCarryTheirPatterns();

    void loadFromDatagram_data();
    void loadFromDatagram();
    void failedReplyFillsHeaderOnly_data();
    void failedReplyFillsHeaderOnly();
    void macShownAsText_data();
    void macShownAsText();
    void shortDatagram_data();
    void shortDatagram();

    void validators_data();
    void validators();
    void typing_data();
    void typing();

    void staticGroupFollowsCombo();
    void onIpConfChanged_data();
    void onIpConfChanged();

    void applyWithoutLoginAccepts();
    void applyChecksTheValues_data();
    void applyChecksTheValues();
    void enterRunsTheCheck_data();
    void enterRunsTheCheck();
    void closingRejects_data();
    void closingRejects();
    void loginCancelKeepsDialogOpen();
    void loginWithEmptyFieldsAccepts();
};

void TestConnectionDialog::construction()
{
    QWidget parent;
    ConnectionDialog dialog(false, &parent);
    QCOMPARE(dialog.parentWidget(), &parent);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Connection properties"));
    QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(dialog.macAddress().isNull());

    auto *form = qobject_cast<QFormLayout *>(dialog.layout());
    QVERIFY(form);
    QCOMPARE(form->rowCount(), 5);

    QLabel *header = headerLabel(&dialog);
    QVERIFY(header);
    QVERIFY(header->wordWrap());
    QVERIFY(header->text().isEmpty());

    const QStringList mainLabels = {QStringLiteral("Hostname:"), QStringLiteral("IP configuration:")};
    for (int row = 1; row <= 2; ++row) {
        auto *label = qobject_cast<QLabel *>(form->itemAt(row, QFormLayout::LabelRole)->widget());
        QVERIFY(label);
        QCOMPARE(label->text(), mainLabels.at(row - 1));
    }
    QLineEdit *hostname = edit(&dialog, QStringLiteral("Hostname:"));
    QVERIFY(hostname);
    QCOMPARE(hostname->maxLength(), 24);

    QComboBox *ipConf = combo(&dialog);
    QVERIFY(ipConf);
    QCOMPARE(ipConf->count(), 2);
    QCOMPARE(ipConf->itemText(0), QStringLiteral("static"));
    QCOMPARE(ipConf->itemText(1), QStringLiteral("DHCP"));
    QCOMPARE(ipConf->currentIndex(), 0);
    QCOMPARE(dialog.ipConfIndex(), 0);

    auto *group = qobject_cast<QGroupBox *>(form->itemAt(3, QFormLayout::SpanningRole)->widget());
    QVERIFY(group);
    QCOMPARE(group->title(), QStringLiteral("Static configuration"));
    QVERIFY(group->isEnabled());
    auto *groupForm = qobject_cast<QFormLayout *>(group->layout());
    QVERIFY(groupForm);
    QCOMPARE(groupForm->rowCount(), StaticLabels.size());
    for (int row = 0; row < groupForm->rowCount(); ++row) {
        auto *label = qobject_cast<QLabel *>(groupForm->itemAt(row, QFormLayout::LabelRole)->widget());
        QVERIFY(label);
        QCOMPARE(label->text(), StaticLabels.at(row));
        auto *field = qobject_cast<QLineEdit *>(groupForm->itemAt(row, QFormLayout::FieldRole)->widget());
        QVERIFY(field);
        QVERIFY(field->text().isEmpty());
        QVERIFY(group->isAncestorOf(field));
    }

    // The buttons, centred between two stretches.
    auto *buttons = qobject_cast<QHBoxLayout *>(form->itemAt(4, QFormLayout::SpanningRole)->layout());
    QVERIFY(buttons);
    QCOMPARE(buttons->count(), 4);
    QVERIFY(buttons->itemAt(0)->spacerItem());
    QVERIFY(buttons->itemAt(3)->spacerItem());
    auto *apply = qobject_cast<QPushButton *>(buttons->itemAt(1)->widget());
    auto *cancel = qobject_cast<QPushButton *>(buttons->itemAt(2)->widget());
    QVERIFY(apply);
    QVERIFY(cancel);
    QCOMPARE(apply->text(), QStringLiteral("Apply"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QVERIFY(!apply->isDefault());

    QVERIFY(dialog.loginDialog());
    QCOMPARE(dialog.loginDialog()->parent(), &dialog);
    QVERIFY(dialog.loginDialog()->isHidden());
}

void TestConnectionDialog::validatorsCarryTheirPatterns()
{
    QCOMPARE(ConfigCheck::addressInputPattern(), AddressPatternText);
    QCOMPARE(ConfigCheck::hostNamePattern(), HostnamePatternText);

    ConnectionDialog dialog(false);
    const auto *address =
        qobject_cast<const QRegularExpressionValidator *>(edit(&dialog, StaticLabels.at(0))->validator());
    QVERIFY(address);
    QCOMPARE(address->regularExpression().pattern(), AddressPatternText);
    QCOMPARE(address->regularExpression().patternOptions(), QRegularExpression::NoPatternOption);
    QCOMPARE(address->parent(), &dialog);
    // One object for the five address fields; the domain has none and holds what its field takes.
    for (const QString &label : {StaticLabels.at(1), StaticLabels.at(3), StaticLabels.at(4), StaticLabels.at(5)})
        QCOMPARE(edit(&dialog, label)->validator(), address);
    QLineEdit *domain = edit(&dialog, QStringLiteral("Domain:"));
    QVERIFY(!domain->validator());
    QCOMPARE(domain->maxLength(), 79);

    const auto *hostname =
        qobject_cast<const QRegularExpressionValidator *>(edit(&dialog, QStringLiteral("Hostname:"))->validator());
    QVERIFY(hostname);
    QCOMPARE(hostname->regularExpression().pattern(), HostnamePatternText);
    QCOMPARE(hostname->regularExpression().patternOptions(), QRegularExpression::NoPatternOption);
    QCOMPARE(hostname->parent(), &dialog);
}

void TestConnectionDialog::loadFromDatagram_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("groupEnabled");
    QTest::addColumn<Config>("shown");

    const Config plain;
    Config dhcp;
    dhcp.flag = QStringLiteral("1");
    QTest::newRow("static") << configReply(plain) << 0 << true << plain;
    QTest::newRow("DHCP keeps its addresses") << configReply(dhcp) << 1 << false << dhcp;

    for (const char *flag : {"2", "-1", "x", ""}) {
        Config odd;
        odd.flag = QString::fromLatin1(flag);
        QTest::addRow("flag \"%s\" stays static", flag) << configReply(odd) << 0 << true << odd;
    }
    // Both bytes of the flag used, no NUL: "10", not the "1" at its start.
    QTest::newRow("flag \"10\" stays static") << overwrite(configReply(plain), 124 + 43, "10") << 0 << true << plain;

    Config empty;
    empty.host = empty.ip = empty.mask = empty.domain = empty.gateway = empty.dns1 = empty.dns2 = QString();
    QTest::newRow("empty fields") << configReply(empty) << 0 << true << empty;

    // Texts are Latin-1, not UTF-8.
    Config latin1 = plain;
    latin1.domain = QStringLiteral("d\u00f6m\u00e4in.example");
    QTest::newRow("Latin-1 domain") << configReply(latin1) << 0 << true << latin1;

    // A field filled to its last byte ends there and does not run into the next one.
    Config full = plain;
    full.domain = QString(80, QLatin1Char('d'));
    full.ip = QStringLiteral("192.168.100.2001");
    full.dns1 = QStringLiteral("1234567890123456");
    QByteArray fullDatagram = configReply(plain);
    fullDatagram = overwrite(fullDatagram, 124 + 77, full.domain.toLatin1());
    fullDatagram = overwrite(fullDatagram, 124 + 45, full.ip.toLatin1());
    fullDatagram = overwrite(fullDatagram, 124 + 173, full.dns1.toLatin1());
    full.domain.chop(1); // the domain field holds 79 characters, as many as a request carries
    QTest::newRow("fields filled to their width") << fullDatagram << 0 << true << full;

    // Address texts are shown as the device sent them, not validated.
    Config odd = plain;
    odd.ip = QStringLiteral("999.1.1.1");
    odd.mask = QStringLiteral("not an address");
    QTest::newRow("unvalidated addresses") << configReply(odd) << 0 << true << odd;
}

void TestConnectionDialog::loadFromDatagram()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, index);
    QFETCH(bool, groupEnabled);
    QFETCH(Config, shown);

    ConnectionDialog dialog(false);
    dialog.loadFromDatagram(datagram);

    QCOMPARE(dialog.macAddress(), Mac);
    QCOMPARE(headerLabel(&dialog)->text(), HeaderText.arg(Mac));
    QCOMPARE(dialog.ipConfIndex(), index);
    QCOMPARE(staticGroup(&dialog)->isEnabled(), groupEnabled);
    QCOMPARE(dialog.hostname(), shown.host);
    QCOMPARE(dialog.ipAddress(), shown.ip);
    QCOMPARE(dialog.subnetMask(), shown.mask);
    QCOMPARE(dialog.domain(), shown.domain);
    QCOMPARE(dialog.gateway(), shown.gateway);
    QCOMPARE(dialog.primaryDns(), shown.dns1);
    QCOMPARE(dialog.secondaryDns(), shown.dns2);
    // The getters read the fields the user sees.
    const Shown onScreen = shownBy(dialog);
    QCOMPARE(onScreen.host, shown.host);
    QCOMPARE(onScreen.ip, shown.ip);
    QCOMPARE(onScreen.mask, shown.mask);
    QCOMPARE(onScreen.domain, shown.domain);
    QCOMPARE(onScreen.gateway, shown.gateway);
    QCOMPARE(onScreen.dns1, shown.dns1);
    QCOMPARE(onScreen.dns2, shown.dns2);
}

void TestConnectionDialog::failedReplyFillsHeaderOnly_data()
{
    QTest::addColumn<quint32>("resultCode");
    QTest::newRow("authorization failed") << Protocol::AuthorizationFailed;
    QTest::newRow("result 1") << quint32(1);
    QTest::newRow("result 0xFFFFFFFF") << quint32(0xFFFFFFFFu);
}

void TestConnectionDialog::failedReplyFillsHeaderOnly()
{
    QFETCH(quint32, resultCode);
    Config dhcp;
    dhcp.flag = QStringLiteral("1");

    ConnectionDialog dialog(false);
    dialog.loadFromDatagram(configReply(dhcp, resultCode));
    QCOMPARE(dialog.macAddress(), Mac);
    QCOMPARE(headerLabel(&dialog)->text(), HeaderText.arg(Mac));
    const Shown shown = shownBy(dialog);
    QCOMPARE(shown.index, 0);
    QVERIFY(shown.groupEnabled);
    for (const QString &text : {shown.host, shown.ip, shown.mask, shown.domain, shown.gateway, shown.dns1, shown.dns2})
        QVERIFY2(text.isEmpty(), qPrintable(text));
}

void TestConnectionDialog::macShownAsText_data()
{
    QTest::addColumn<QString>("mac");
    QTest::newRow("image of an endless file") << QStringLiteral("<img src=/dev/zer"); // the field's 17 characters
    QTest::newRow("heading") << QStringLiteral("<h1>x</h1>");
    QTest::newRow("entity") << QStringLiteral("&lt;b&gt;");
}

// The MAC text comes from the network: the header shows it as it is, and it can load nothing.
void TestConnectionDialog::macShownAsText()
{
    QFETCH(QString, mac);
    ConnectionDialog dialog(false);
    dialog.loadFromDatagram(Replies::header(NetworkConfigReply, mac, 0).toByteArray());
    QCOMPARE(dialog.macAddress(), mac);
    const QString header = headerLabel(&dialog)->text();
    QVERIFY2(!header.contains(mac), qPrintable(header)); // never as markup
    QTextDocument shown;
    shown.setHtml(header);
    QVERIFY2(shown.toPlainText().contains(mac), qPrintable(shown.toPlainText()));
}

void TestConnectionDialog::shortDatagram_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("dns2");

    const QString host = QStringLiteral("camera-hall");
    const QString ip = QStringLiteral("192.168.1.10");
    const QString domain = QStringLiteral("example.org");
    const QString dns2 = QStringLiteral("192.168.1.3");
    QTest::newRow("empty") << 0 << QString() << QString() << 0 << QString() << QString() << QString();
    QTest::newRow("header before the MAC") << 60 << QString() << QString() << 0 << QString() << QString() << QString();
    QTest::newRow("inside the MAC") << 80 << QStringLiteral("00:1A:") << QString() << 0 << QString() << QString()
                                    << QString();
    QTest::newRow("header only") << 124 << Mac << QString() << 0 << QString() << QString() << QString();
    QTest::newRow("inside the host name")
        << 146 << Mac << QStringLiteral("came") << 0 << QString() << QString() << QString();
    QTest::newRow("flag missing") << 167 << Mac << host << 0 << QString() << QString() << QString();
    QTest::newRow("inside the IP address")
        << 175 << Mac << host << 1 << QStringLiteral("192.16") << QString() << QString();
    QTest::newRow("inside the domain") << 205 << Mac << host << 1 << ip << QStringLiteral("exam") << QString();
    QTest::newRow("inside the secondary DNS") << 316 << Mac << host << 1 << ip << domain << QStringLiteral("192");
    QTest::newRow("last byte missing") << 328 << Mac << host << 1 << ip << domain << dns2;
}

void TestConnectionDialog::shortDatagram()
{
    QFETCH(int, length);
    QFETCH(QString, mac);
    QFETCH(QString, host);
    QFETCH(int, index);
    QFETCH(QString, ip);
    QFETCH(QString, domain);
    QFETCH(QString, dns2);

    Config dhcp;
    dhcp.flag = QStringLiteral("1");
    const QByteArray full = configReply(dhcp);
    QCOMPARE(full.size(), 329);
    // Beyond the datagram's bytes lies memory full of text: a reader that looks there shows it.
    QByteArray memory(512, 'X');
    std::memcpy(memory.data(), full.constData(), size_t(length));
    const QByteArray datagram = QByteArray::fromRawData(memory.constData(), length);

    ConnectionDialog dialog(false);
    dialog.loadFromDatagram(datagram);
    QCOMPARE(dialog.macAddress(), mac);
    QCOMPARE(dialog.hostname(), host);
    QCOMPARE(dialog.ipConfIndex(), index);
    QCOMPARE(staticGroup(&dialog)->isEnabled(), index == 0);
    QCOMPARE(dialog.ipAddress(), ip);
    QCOMPARE(dialog.domain(), domain);
    QCOMPARE(dialog.secondaryDns(), dns2);
    for (const QString &text : {dialog.subnetMask(), dialog.gateway(), dialog.primaryDns()})
        QVERIFY2(!text.contains(QLatin1Char('X')), qPrintable(text));
}

void TestConnectionDialog::validators_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QValidator::State>("state");

    const QString address = StaticLabels.at(0);
    const auto acceptable = QValidator::Acceptable;
    const auto intermediate = QValidator::Intermediate;
    const auto invalid = QValidator::Invalid;
    QTest::newRow("address 192.168.1.10") << address << QStringLiteral("192.168.1.10") << acceptable;
    QTest::newRow("address 255.255.255.255") << address << QStringLiteral("255.255.255.255") << acceptable;
    QTest::newRow("address 0.0.0.0") << address << QStringLiteral("0.0.0.0") << acceptable;
    QTest::newRow("address groups 199 249 250 9") << address << QStringLiteral("199.249.250.9") << acceptable;
    QTest::newRow("address three dots") << address << QStringLiteral("...") << acceptable;
    QTest::newRow("address empty last group") << address << QStringLiteral("10.0.0.") << acceptable;
    QTest::newRow("address empty inner group") << address << QStringLiteral("1..2.3") << acceptable;
    QTest::newRow("address 192.168") << address << QStringLiteral("192.168") << intermediate;
    QTest::newRow("address 192.168.1.") << address << QStringLiteral("192.168.1") << intermediate;
    QTest::newRow("address empty") << address << QString() << intermediate;
    QTest::newRow("address 25") << address << QStringLiteral("25") << intermediate;
    QTest::newRow("address group 256") << address << QStringLiteral("192.168.1.256") << invalid;
    QTest::newRow("address first group 256") << address << QStringLiteral("256") << invalid;
    QTest::newRow("address group 300") << address << QStringLiteral("300.1.1.1") << invalid;
    QTest::newRow("address four digits") << address << QStringLiteral("1921.168.1.1") << invalid;
    QTest::newRow("address fifth group") << address << QStringLiteral("1.2.3.4.5") << invalid;
    QTest::newRow("address fourth dot") << address << QStringLiteral("1.2.3.4.") << invalid;
    QTest::newRow("address leading zero") << address << QStringLiteral("012.1.1.1") << invalid;
    QTest::newRow("address letter") << address << QStringLiteral("192.168.1.a") << invalid;
    QTest::newRow("address blank") << address << QStringLiteral(" 192.168.1.1") << invalid;
    QTest::newRow("address trailing blank") << address << QStringLiteral("192.168.1.1 ") << invalid;

    const QString hostname = QStringLiteral("Hostname:");
    QTest::newRow("host ab") << hostname << QStringLiteral("ab") << acceptable;
    QTest::newRow("host a-b") << hostname << QStringLiteral("a-b") << acceptable;
    QTest::newRow("host Camera-01") << hostname << QStringLiteral("Camera-01") << acceptable;
    QTest::newRow("host 24 letters") << hostname << QString(24, QLatin1Char('h')) << acceptable;
    QTest::newRow("host single letter") << hostname << QStringLiteral("a") << intermediate;
    QTest::newRow("host ends with -") << hostname << QStringLiteral("cam-") << intermediate;
    QTest::newRow("host ends with --") << hostname << QStringLiteral("cam--") << intermediate;
    QTest::newRow("host empty") << hostname << QString() << intermediate;
    QTest::newRow("host first digit") << hostname << QStringLiteral("1cam") << invalid;
    QTest::newRow("host first -") << hostname << QStringLiteral("-cam") << invalid;
    QTest::newRow("host underscore") << hostname << QStringLiteral("cam_1") << invalid;
    QTest::newRow("host dot") << hostname << QStringLiteral("cam.example") << invalid;
    QTest::newRow("host blank") << hostname << QStringLiteral("cam 1") << invalid;
    QTest::newRow("host non-ASCII letter") << hostname << QStringLiteral("k\u00fcche") << invalid;
}

void TestConnectionDialog::validators()
{
    QFETCH(QString, label);
    QFETCH(QString, input);
    QFETCH(QValidator::State, state);

    ConnectionDialog dialog(false);
    const QValidator *validator = edit(&dialog, label)->validator();
    QVERIFY(validator);
    int pos = int(input.size());
    QCOMPARE(validator->validate(input, pos), state);
}

void TestConnectionDialog::typing_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");

    const QString hostname = QStringLiteral("Hostname:");
    QTest::newRow("host plain") << hostname << QStringLiteral("cam-01") << QStringLiteral("cam-01");
    QTest::newRow("host first digit refused") << hostname << QStringLiteral("1cam") << QStringLiteral("cam");
    QTest::newRow("host first - refused") << hostname << QStringLiteral("-cam") << QStringLiteral("cam");
    QTest::newRow("host other characters refused") << hostname << QStringLiteral("ca_m.e x") << QStringLiteral("camex");
    QTest::newRow("host may end with - while typing") << hostname << QStringLiteral("cam--") << QStringLiteral("cam--");
    QTest::newRow("host takes 24 characters")
        << hostname << QString(30, QLatin1Char('a')) << QString(24, QLatin1Char('a'));

    QTest::newRow("ip 192.168.1.10") << StaticLabels.at(0) << QStringLiteral("192.168.1.10")
                                     << QStringLiteral("192.168.1.10");
    QTest::newRow("ip partial stands") << StaticLabels.at(0) << QStringLiteral("192.168") << QStringLiteral("192.168");
    QTest::newRow("ip three dots") << StaticLabels.at(0) << QStringLiteral("...") << QStringLiteral("...");
    QTest::newRow("mask 255.255.255.0") << StaticLabels.at(1) << QStringLiteral("255.255.255.0")
                                        << QStringLiteral("255.255.255.0");
    QTest::newRow("gateway group 256 refused")
        << StaticLabels.at(3) << QStringLiteral("192.168.1.256") << QStringLiteral("192.168.1.25");
    QTest::newRow("dns1 fifth group refused")
        << StaticLabels.at(4) << QStringLiteral("1.2.3.4.5") << QStringLiteral("1.2.3.45");
    QTest::newRow("dns2 300 refused") << StaticLabels.at(5) << QStringLiteral("300") << QStringLiteral("30");
    QTest::newRow("dns2 letters refused")
        << StaticLabels.at(5) << QStringLiteral("8.8.a8.8") << QStringLiteral("8.8.8.8");

    const QString anyText = QStringLiteral("Any_text, with blanks & symbols \u00ff ") + QString(120, QLatin1Char('d'));
    QTest::newRow("domain takes any character, 79 of them") << StaticLabels.at(2) << anyText << anyText.left(79);
}

void TestConnectionDialog::typing()
{
    QFETCH(QString, label);
    QFETCH(QString, keys);
    QFETCH(QString, expected);

    ConnectionDialog dialog(false);
    QLineEdit *field = edit(&dialog, label);
    QVERIFY(field);
    QTest::keyClicks(field, keys);
    QCOMPARE(field->text(), expected);
}

void TestConnectionDialog::staticGroupFollowsCombo()
{
    Config dhcp;
    dhcp.flag = QStringLiteral("1");
    ConnectionDialog dialog(false);
    dialog.loadFromDatagram(configReply(dhcp));
    QComboBox *ipConf = combo(&dialog);
    QGroupBox *group = staticGroup(&dialog);
    QCOMPARE(ipConf->currentText(), QStringLiteral("DHCP"));
    QVERIFY(!group->isEnabled());
    QVERIFY(!edit(&dialog, StaticLabels.at(0))->isEnabled());

    ipConf->setCurrentIndex(0);
    QVERIFY(group->isEnabled());
    QCOMPARE(dialog.ipConfIndex(), 0);
    QCOMPARE(dialog.ipAddress(), dhcp.ip);
    QCOMPARE(dialog.gateway(), dhcp.gateway);

    // Greyed out again, the fields keep their texts and are still read.
    QTest::keyClicks(edit(&dialog, StaticLabels.at(5)), QStringLiteral("4"));
    ipConf->setCurrentIndex(1);
    QVERIFY(!group->isEnabled());
    QCOMPARE(dialog.ipConfIndex(), 1);
    QCOMPARE(dialog.ipAddress(), dhcp.ip);
    QCOMPARE(dialog.secondaryDns(), dhcp.dns2 + QLatin1Char('4'));
}

void TestConnectionDialog::onIpConfChanged_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("static") << 0 << true;
    QTest::newRow("DHCP") << 1 << false;
    QTest::newRow("no entry") << -1 << false;
}

void TestConnectionDialog::onIpConfChanged()
{
    QFETCH(int, index);
    QFETCH(bool, enabled);
    for (const bool startEnabled : {true, false}) {
        ConnectionDialog dialog(false);
        staticGroup(&dialog)->setEnabled(startEnabled);
        QVERIFY(QMetaObject::invokeMethod(&dialog, "onIpConfChanged", Q_ARG(int, index)));
        QCOMPARE(staticGroup(&dialog)->isEnabled(), enabled);
    }
}

void TestConnectionDialog::applyWithoutLoginAccepts()
{
    ConnectionDialog dialog(false);
    dialog.loadFromDatagram(configReply(Config()));
    ModalAnswerer answerer([](QWidget *modal) {
        if (auto *settings = qobject_cast<ConnectionDialog *>(modal)) {
            edit(settings, QStringLiteral("Hostname:"))->setText(QStringLiteral("renamed"));
            button(settings, QStringLiteral("Apply"))->click();
        } else {
            ModalAnswerer::press(modal, QMessageBox::Cancel);
        }
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().className, QStringLiteral("ConnectionDialog"));
    QCOMPARE(dialog.hostname(), QStringLiteral("renamed"));
    QVERIFY(dialog.loginDialog()->isHidden());
}

void TestConnectionDialog::applyChecksTheValues_data()
{
    QTest::addColumn<Config>("loaded");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("label"); // the field typed into, which a refusal names and focuses
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason"); // empty: accepted

    const Config plain;
    const QString host = QStringLiteral("Hostname:");
    const QString ip = StaticLabels.at(0);
    const QString mask = StaticLabels.at(1);
    const QString domain = StaticLabels.at(2);
    const QString noAddress = QStringLiteral("must be a complete IPv4 address such as 192.168.1.20");
    const QString noMask = QStringLiteral("must be a subnet mask of contiguous bits such as 255.255.255.0");
    const QString noHost = QStringLiteral("must start with a letter, hold only letters, digits and \"-\", end with a "
                                          "letter or digit and be at least two characters long");
    QTest::newRow("IP address half typed") << plain << 0 << ip << "192.168" << noAddress;
    QTest::newRow("IP address three dots") << plain << 0 << ip << "..." << noAddress;
    QTest::newRow("IP address empty") << plain << 0 << ip << "" << noAddress;
    QTest::newRow("IP address is the network's") << plain << 0 << ip << "192.168.1.0"
                                                 << "192.168.1.0 is the network address of mask 255.255.255.0";
    QTest::newRow("IP address is the broadcast") << plain << 0 << ip << "192.168.1.255"
                                                 << "192.168.1.255 is the broadcast address of mask 255.255.255.0";
    QTest::newRow("mask that is no mask") << plain << 0 << mask << "255.0.255.0" << noMask;
    QTest::newRow("gateway half typed") << plain << 0 << StaticLabels.at(3) << "192.168.1" << noAddress;
    QTest::newRow("primary DNS three dots") << plain << 0 << StaticLabels.at(4) << "..." << noAddress;
    QTest::newRow("secondary DNS half typed") << plain << 0 << StaticLabels.at(5) << "8.8" << noAddress;
    QTest::newRow("domain outside Latin-1") << plain << 0 << domain << "k\u00fcche\u20ac.example"
                                            << "holds characters outside Latin-1";
    QTest::newRow("host name changed to end with -") << plain << 0 << host << "cam-" << noHost;
    QTest::newRow("host name emptied") << plain << 0 << host << "" << noHost;
    QTest::newRow("host name checked with DHCP too") << plain << 1 << host << "cam-" << noHost;

    QTest::newRow("gateway empty") << plain << 0 << StaticLabels.at(3) << "" << QString();
    QTest::newRow("domain in Latin-1") << plain << 0 << domain << "k\u00fcche.example" << QString();
    Config oddName = plain;
    oddName.host = QStringLiteral("cam_1");
    QTest::newRow("device's own host name kept") << oddName << 0 << ip << "192.168.1.11" << QString();
    QTest::newRow("DHCP: greyed-out address not checked") << plain << 1 << ip << "192.168" << QString();
    QTest::newRow("DHCP: greyed-out domain not checked") << plain << 1 << domain << "\u20ac" << QString();
}

void TestConnectionDialog::applyChecksTheValues()
{
    QFETCH(Config, loaded);
    QFETCH(int, index);
    QFETCH(QString, label);
    QFETCH(QString, text);
    QFETCH(QString, reason);

    ConnectionDialog dialog(true);
    dialog.loadFromDatagram(configReply(loaded));
    dialog.show();
    combo(&dialog)->setCurrentIndex(index);
    edit(&dialog, label)->setText(text);
    QPointer<QWidget> boxParent;
    ModalAnswerer answerer([&boxParent](QWidget *modal) {
        boxParent = modal->parentWidget();
        if (auto *login = qobject_cast<LoginDialog *>(modal))
            login->accept();
        else
            ModalAnswerer::press(modal, QMessageBox::Ok);
    });
    button(&dialog, QStringLiteral("Apply"))->click();

    QCOMPARE(answerer.seen.size(), 1);
    if (reason.isEmpty()) {
        QCOMPARE(answerer.seen.first().className, QStringLiteral("LoginDialog"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        return;
    }
    // Refused before the login dialog is asked for; the dialog stays open on the field.
    QCOMPARE(answerer.seen.first().className, QStringLiteral("QMessageBox"));
    QCOMPARE(answerer.seen.first().text, QStringLiteral("%1 %2.\n\nNothing has been sent.").arg(label, reason));
    QCOMPARE(boxParent.data(), &dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.focusWidget(), edit(&dialog, label));
    QCOMPARE(edit(&dialog, label)->text(), text);
}

void TestConnectionDialog::enterRunsTheCheck_data()
{
    QTest::addColumn<QString>("label"); // of the focused field
    QTest::addColumn<bool>("usable");

    for (const QString &label :
         QStringList{QStringLiteral("Hostname:"), QStringLiteral("IP configuration:")} + StaticLabels) {
        QTest::addRow("%s usable values", qPrintable(label)) << label << true;
        QTest::addRow("%s half-typed address", qPrintable(label)) << label << false;
    }
}

// Enter presses Apply from every field, and so never sends what Apply would refuse.
void TestConnectionDialog::enterRunsTheCheck()
{
    QFETCH(QString, label);
    QFETCH(bool, usable);

    ConnectionDialog dialog(false);
    dialog.loadFromDatagram(configReply(Config()));
    if (!usable)
        edit(&dialog, StaticLabels.at(0))->setText(QStringLiteral("192.168"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QWidget *field = fieldFor(&dialog, label);
    field->setFocus();
    ModalAnswerer answerer([](QWidget *modal) { ModalAnswerer::press(modal, QMessageBox::Ok); });
    QTest::keyClick(field, Qt::Key_Return);

    QCOMPARE(answerer.seen.size(), usable ? 0 : 1);
    QCOMPARE(dialog.isVisible(), !usable);
    QCOMPARE(dialog.result(), usable ? int(QDialog::Accepted) : int(QDialog::Rejected));
}

void TestConnectionDialog::closingRejects_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("Cancel button") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("window closed") << 2;
}

void TestConnectionDialog::closingRejects()
{
    QFETCH(int, way);
    for (const bool needLogin : {false, true}) {
        ConnectionDialog dialog(needLogin);
        ModalAnswerer answerer([way](QWidget *modal) {
            auto *settings = qobject_cast<ConnectionDialog *>(modal);
            if (!settings) {
                ModalAnswerer::press(modal, QMessageBox::Cancel);
                return;
            }
            if (way == 0)
                button(settings, QStringLiteral("Cancel"))->click();
            else if (way == 1)
                QTest::keyClick(settings, Qt::Key_Escape);
            else
                settings->close();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QCOMPARE(answerer.seen.size(), 1);
    }
}

void TestConnectionDialog::loginCancelKeepsDialogOpen()
{
    ConnectionDialog dialog(true);
    dialog.loadFromDatagram(configReply(Config()));
    dialog.show();
    edit(&dialog, QStringLiteral("Hostname:"))->setText(QStringLiteral("renamed"));
    edit(&dialog, StaticLabels.at(0))->setText(QStringLiteral("10.0.0.7"));
    QSignalSpy finished(&dialog, &QDialog::finished);

    // First run: the user fills in the login dialog, then cancels it.
    auto answerer = std::make_unique<ModalAnswerer>([](QWidget *modal) {
        auto *login = qobject_cast<LoginDialog *>(modal);
        QVERIFY(login);
        QTest::keyClicks(edit(login, QStringLiteral("&Username:")), QStringLiteral("admin"));
        QTest::keyClicks(edit(login, QStringLiteral("&Password:")), QStringLiteral("secret"));
        login->findChild<QCheckBox *>()->setChecked(true);
        login->reject();
    });
    button(&dialog, QStringLiteral("Apply"))->click();
    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(answerer->seen.first().title, QStringLiteral("Device login"));
    answerer.reset();
    QVERIFY(dialog.isVisible());
    QCOMPARE(finished.size(), 0);
    QCOMPARE(dialog.hostname(), QStringLiteral("renamed"));
    QCOMPARE(dialog.ipAddress(), QStringLiteral("10.0.0.7"));
    QCOMPARE(dialog.subnetMask(), Config().mask);

    // Second run: the same entries are there; OK accepts both dialogs.
    QString userShown, passwordShown;
    bool rememberShown = false;
    ModalAnswerer second([&](QWidget *modal) {
        auto *login = qobject_cast<LoginDialog *>(modal);
        QVERIFY(login);
        userShown = edit(login, QStringLiteral("&Username:"))->text();
        passwordShown = edit(login, QStringLiteral("&Password:"))->text();
        rememberShown = login->findChild<QCheckBox *>()->isChecked();
        login->accept();
    });
    button(&dialog, QStringLiteral("Apply"))->click();
    QCOMPARE(second.seen.size(), 1);
    QCOMPARE(userShown, QStringLiteral("admin"));
    QCOMPARE(passwordShown, QStringLiteral("secret"));
    QVERIFY(rememberShown);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.loginDialog()->username(), QStringLiteral("admin"));
    QCOMPARE(dialog.loginDialog()->password(), QStringLiteral("secret"));
    QVERIFY(dialog.loginDialog()->rememberPassword());
    QCOMPARE(dialog.hostname(), QStringLiteral("renamed"));
}

void TestConnectionDialog::loginWithEmptyFieldsAccepts()
{
    ConnectionDialog dialog(true);
    dialog.loadFromDatagram(configReply(Config()));
    ModalAnswerer answerer([](QWidget *modal) {
        if (auto *settings = qobject_cast<ConnectionDialog *>(modal)) {
            // Apply runs the login dialog modally: click it from the event loop, not from here.
            QTimer::singleShot(0, button(settings, QStringLiteral("Apply")), &QPushButton::click);
        } else if (auto *box = modal->findChild<QDialogButtonBox *>()) {
            box->button(QDialogButtonBox::Ok)->click();
        }
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(answerer.seen.size(), 2);
    QCOMPARE(answerer.seen.at(1).className, QStringLiteral("LoginDialog"));
    QVERIFY(dialog.loginDialog()->username().isEmpty());
    QVERIFY(dialog.loginDialog()->password().isEmpty());
    QVERIFY(!dialog.loginDialog()->rememberPassword());
}

QTEST_MAIN(TestConnectionDialog)
#include "tst_connectiondialog.moc"
