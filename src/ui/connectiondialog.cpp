// SPDX-License-Identifier: Apache-2.0
#include "ui/connectiondialog.h"

#include "protocol/configcheck.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"
#include "ui/logindialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

ConnectionDialog::ConnectionDialog(bool needLogin, QWidget *parent) : QDialog(parent), needLogin(needLogin)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(tr("Connection properties"));

    headerLabel = new QLabel(this);
    headerLabel->setWordWrap(true);
    hostnameEdit = new QLineEdit(this);
    ipConfCombo = new QComboBox(this);
    ipConfCombo->insertItems(0, {tr("static"), tr("DHCP")});

    staticGroup = new QGroupBox(tr("Static configuration"), this);
    auto *staticForm = new QFormLayout(staticGroup);
    ipEdit = new QLineEdit(staticGroup);
    maskEdit = new QLineEdit(staticGroup);
    domainEdit = new QLineEdit(staticGroup);
    gatewayEdit = new QLineEdit(staticGroup);
    dns1Edit = new QLineEdit(staticGroup);
    dns2Edit = new QLineEdit(staticGroup);

    auto *addressValidator =
        new QRegularExpressionValidator(QRegularExpression(ConfigCheck::addressInputPattern()), this);
    for (QLineEdit *edit : {ipEdit, maskEdit, gatewayEdit, dns1Edit, dns2Edit})
        edit->setValidator(addressValidator);
    hostnameEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(ConfigCheck::hostNamePattern()), this));
    hostnameEdit->setMaxLength(ConfigCheck::HostNameMaxLength);
    // The request's domain field holds 79 characters and its NUL: a longer text would be cut.
    domainEdit->setMaxLength(ConfigCheck::DomainMaxLength);
    // The validators refuse keystrokes silently; a screen reader says what the fields take.
    hostnameEdit->setAccessibleDescription(
        tr("A letter first, then letters, digits and hyphens, ending with a letter or digit; at most %1 characters")
            .arg(ConfigCheck::HostNameMaxLength));
    for (QLineEdit *edit : {ipEdit, maskEdit, gatewayEdit, dns1Edit, dns2Edit})
        edit->setAccessibleDescription(tr("Four numbers from 0 to 255 separated by dots"));

    applyButton = new QPushButton(tr("Apply"), this);
    applyButton->setDefault(false);
    cancelButton = new QPushButton(tr("Cancel"), this);

    auto *form = new QFormLayout(this);
    form->addRow(headerLabel);
    form->addRow(tr("Hostname:"), hostnameEdit);
    form->addRow(tr("IP configuration:"), ipConfCombo);
    form->addRow(staticGroup);
    staticForm->addRow(tr("IP address:"), ipEdit);
    staticForm->addRow(tr("Subnet mask:"), maskEdit);
    staticForm->addRow(tr("Domain:"), domainEdit);
    staticForm->addRow(tr("Gateway IP:"), gatewayEdit);
    staticForm->addRow(tr("Primary DNS server:"), dns1Edit);
    staticForm->addRow(tr("Secondary DNS server:"), dns2Edit);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(applyButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    form->addRow(buttons);

    loginDlg = new LoginDialog(this, Qt::WindowFlags());

    connect(applyButton, &QPushButton::clicked, this, &ConnectionDialog::askAccept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ipConfCombo, &QComboBox::currentIndexChanged, this, &ConnectionDialog::onIpConfChanged);
}

void ConnectionDialog::loadFromDatagram(const QByteArray &datagram)
{
    // The MAC text comes from the network: shown as text, never read as markup.
    mac = MessageHeader::srcMacOf(datagram);
    headerLabel->setText(tr("<h2>Network Settings</h2> General network parameters for device at MAC-Address "
                            "<b>%1</b>.<p><p>")
                             .arg(mac.toHtmlEscaped()));
    if (MessageHeader::resultCodeOf(datagram) != Protocol::ResultOk)
        return;

    const NetworkConfigBody config = NetworkConfigBody::fromDatagram(datagram);
    hostnameEdit->setText(config.hostName);
    loadedHostName = hostnameEdit->text();
    // Only the two known flags select an entry; anything else leaves "static" in place, and the
    // static fields follow what the combo then shows.
    const int flag = config.ipConfig.toInt();
    if (flag == StaticIndex || flag == DhcpIndex)
        ipConfCombo->setCurrentIndex(flag);
    staticGroup->setEnabled(ipConfCombo->currentIndex() == StaticIndex);
    ipEdit->setText(config.ipAddress);
    maskEdit->setText(config.subnetMask);
    domainEdit->setText(config.domain);
    gatewayEdit->setText(config.gateway);
    dns1Edit->setText(config.primaryDns);
    dns2Edit->setText(config.secondaryDns);
}

QString ConnectionDialog::hostname() const
{
    return hostnameEdit->text();
}

int ConnectionDialog::ipConfIndex() const
{
    return ipConfCombo->currentIndex();
}

QString ConnectionDialog::ipAddress() const
{
    return ipEdit->text();
}

QString ConnectionDialog::subnetMask() const
{
    return maskEdit->text();
}

QString ConnectionDialog::domain() const
{
    return domainEdit->text();
}

QString ConnectionDialog::gateway() const
{
    return gatewayEdit->text();
}

QString ConnectionDialog::primaryDns() const
{
    return dns1Edit->text();
}

QString ConnectionDialog::secondaryDns() const
{
    return dns2Edit->text();
}

void ConnectionDialog::onIpConfChanged(int index)
{
    // Disabled fields keep their texts, and they are still sent.
    staticGroup->setEnabled(index == StaticIndex);
}

std::pair<QLineEdit *, QString> ConnectionDialog::firstRefusal() const
{
    // The device's own host name goes back unchanged even where the rule would refuse it.
    if (hostnameEdit->text() != loadedHostName) {
        const QString problem = ConfigCheck::hostName(hostnameEdit->text());
        if (!problem.isEmpty())
            return {hostnameEdit, problem};
    }
    // Greyed out for DHCP, the static fields are the device's business.
    if (ipConfIndex() != StaticIndex)
        return {};
    const auto emptyOrAddress = [](const QLineEdit *edit) {
        return edit->text().isEmpty() ? QString() : ConfigCheck::address(edit->text());
    };
    // hostInNetwork() says nothing while the address or the mask is refused on its own.
    const std::pair<QLineEdit *, QString> checks[] = {
        {ipEdit, ConfigCheck::address(ipEdit->text())},
        {maskEdit, ConfigCheck::mask(maskEdit->text())},
        {ipEdit, ConfigCheck::hostInNetwork(ipEdit->text(), maskEdit->text())},
        {domainEdit, ConfigCheck::domain(domainEdit->text())},
        {gatewayEdit, emptyOrAddress(gatewayEdit)},
        {dns1Edit, emptyOrAddress(dns1Edit)},
        {dns2Edit, emptyOrAddress(dns2Edit)},
    };
    for (const auto &check : checks) {
        if (!check.second.isEmpty())
            return check;
    }
    return {};
}

void ConnectionDialog::askAccept()
{
    const auto [field, problem] = firstRefusal();
    if (field) {
        auto *form = qobject_cast<QFormLayout *>(field->parentWidget()->layout());
        const auto *label = form ? qobject_cast<QLabel *>(form->labelForField(field)) : nullptr;
        QMessageBox::warning(this, windowTitle(),
                             tr("%1 %2.\n\nNothing has been sent.").arg(label ? label->text() : QString(), problem));
        field->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (needLogin && loginDlg->exec() != QDialog::Accepted)
        return;
    accept();
}
