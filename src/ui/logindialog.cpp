#include "ui/logindialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

LoginDialog::LoginDialog(QWidget *parent, Qt::WindowFlags f) : QDialog(parent, f)
{
    setWindowTitle(QStringLiteral("Device login"));

    userEdit = new QLineEdit(this);
    passwordEdit = new QLineEdit(this);
    passwordEdit->setEchoMode(QLineEdit::Password);
    rememberCheck = new QCheckBox(QStringLiteral("Remember password"), this);

    auto *form = new QFormLayout;
    auto *intro = new QLabel(QStringLiteral("This device accepts only authenticated requests. Please insert a valid "
                                            "username and password (the same as in the web interface)"),
                             this);
    intro->setWordWrap(true);
    form->addWidget(intro);
    form->addRow(tr("&Username:"), userEdit);
    form->addRow(tr("&Password:"), passwordEdit);
    form->addWidget(rememberCheck);

    auto *group = new QGroupBox(QStringLiteral("Authentication parameters"), this);
    group->setLayout(form);

    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttonBox);

    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
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
