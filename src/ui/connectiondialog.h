// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QDialog>

#include <utility>

class LoginDialog;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Edits one device's network configuration: host name, DHCP or static addressing and the static
// addresses. Apply (also Enter, which presses it) first checks the values with the rules veltra-find
// applies and keeps the dialog open on the first one no device can use; then, when the device
// demands credentials that are not stored, it asks for them.
class ConnectionDialog : public QDialog
{
    Q_OBJECT

public:
    enum IpConfIndex { StaticIndex = 0, DhcpIndex = 1 };

    explicit ConnectionDialog(bool needLogin, QWidget *parent = nullptr);

    void loadFromDatagram(const QByteArray &datagram);

    QString macAddress() const { return mac; }
    QString hostname() const;
    int ipConfIndex() const;
    QString ipAddress() const;
    QString subnetMask() const;
    QString domain() const;
    QString gateway() const;
    QString primaryDns() const;
    QString secondaryDns() const;
    LoginDialog *loginDialog() const { return loginDlg; }

private slots:
    void onIpConfChanged(int index);
    void askAccept();

private:
    // The first field, in the form's order, whose text no device can use, with the reason; the
    // field is null when all pass.
    std::pair<QLineEdit *, QString> firstRefusal() const;

    QLabel *headerLabel = nullptr;
    QString mac;
    QString loadedHostName;
    QLineEdit *hostnameEdit = nullptr;
    QComboBox *ipConfCombo = nullptr;
    QGroupBox *staticGroup = nullptr;
    QLineEdit *ipEdit = nullptr;
    QLineEdit *maskEdit = nullptr;
    QLineEdit *domainEdit = nullptr;
    QLineEdit *gatewayEdit = nullptr;
    QLineEdit *dns1Edit = nullptr;
    QLineEdit *dns2Edit = nullptr;
    QPushButton *applyButton = nullptr;
    QPushButton *cancelButton = nullptr;
    LoginDialog *loginDlg = nullptr;
    bool needLogin = false;
};
