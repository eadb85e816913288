// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;

// Asks for the user name and password of a device that accepts only authenticated requests, and
// whether to remember them. OK (or Enter) refuses credentials that the request cannot carry whole
// and keeps the dialog open. Entries stay between runs within the dialog's life.
class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LoginDialog(QWidget *parent = nullptr, Qt::WindowFlags f = Qt::WindowFlags());

    QString username() const;
    QString password() const;
    bool rememberPassword() const;

private slots:
    void checkAndAccept();

private:
    QLineEdit *userEdit = nullptr;
    QLineEdit *passwordEdit = nullptr;
    QCheckBox *rememberCheck = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
};
