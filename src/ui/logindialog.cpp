// SPDX-License-Identifier: Apache-2.0
#include "ui/logindialog.h"

#include "protocol/configcheck.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

LoginDialog::LoginDialog(QWidget *parent, Qt::WindowFlags f) : QDialog(parent, f)
{
    setWindowTitle(tr("Device login"));

    userEdit = new QLineEdit(this);
    passwordEdit = new QLineEdit(this);
    passwordEdit->setEchoMode(QLineEdit::Password);
    rememberCheck = new QCheckBox(tr("Remember password"), this);

    auto *form = new QFormLayout;
    auto *intro = new QLabel(tr("This device accepts only authenticated requests. Please insert a valid "
                                "username and password (the same as in the web interface)"),
                             this);
    intro->setWordWrap(true);
    form->addWidget(intro);
    form->addRow(tr("&Username:"), userEdit);
    form->addRow(tr("&Password:"), passwordEdit);
    form->addWidget(rememberCheck);

    auto *group = new QGroupBox(tr("Authentication parameters"), this);
    group->setLayout(form);

    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttonBox);

    connect(buttonBox, &QDialogButtonBox::accepted, this, &LoginDialog::checkAndAccept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString LoginDialog::username() const
{
    return userEdit->text();
}

QString LoginDialog::password() const
{
    return passwordEdit->text();
}

bool LoginDialog::rememberPassword() const
{
    return rememberCheck->isChecked();
}

void LoginDialog::checkAndAccept()
{
    // Characters outside Latin-1 would go out as "?" and overlong credentials cut: the device
    // would refuse them every time.
    const QString problem = ConfigCheck::credentials(username(), password());
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, windowTitle(),
                             tr("Credentials: %1.\n\nThe device could never accept them.").arg(problem));
        const bool userAtFault = !ConfigCheck::credentials(username(), QString()).isEmpty();
        (userAtFault ? userEdit : passwordEdit)->setFocus(Qt::OtherFocusReason);
        return;
    }
    accept();
}
