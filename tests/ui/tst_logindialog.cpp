// SPDX-License-Identifier: Apache-2.0
#include "modalanswerer.h"
#include "ui/logindialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const QString IntroText = QStringLiteral("This device accepts only authenticated requests. Please insert a valid "
                                         "username and password (the same as in the web interface)");

QFormLayout *form(LoginDialog &dialog)
{
    auto *group = dialog.findChild<QGroupBox *>();
    return group ? qobject_cast<QFormLayout *>(group->layout()) : nullptr;
}

// A row added as a plain widget, without a label.
QWidget *unlabelledRow(LoginDialog &dialog, int row)
{
    QFormLayout *rows = form(dialog);
    if (rows->itemAt(row, QFormLayout::LabelRole))
        return nullptr;
    for (const auto role : {QFormLayout::FieldRole, QFormLayout::SpanningRole}) {
        if (QLayoutItem *item = rows->itemAt(row, role))
            return item->widget();
    }
    return nullptr;
}

QLineEdit *field(LoginDialog &dialog, int row)
{
    return qobject_cast<QLineEdit *>(form(dialog)->itemAt(row, QFormLayout::FieldRole)->widget());
}

QLineEdit *userEdit(LoginDialog &dialog)
{
    return field(dialog, 1);
}

QLineEdit *passwordEdit(LoginDialog &dialog)
{
    return field(dialog, 2);
}

QCheckBox *rememberCheck(LoginDialog &dialog)
{
    return qobject_cast<QCheckBox *>(unlabelledRow(dialog, 3));
}

QAbstractButton *standardButton(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    auto *box = dialog->findChild<QDialogButtonBox *>();
    return box ? box->button(which) : nullptr;
}

} // namespace

class TestLoginDialog : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void gettersReadTheFields();
    void passwordIsNeverShown();
    void mnemonicsFocusTheFields_data();
    void mnemonicsFocusTheFields();
    void result_data();
    void result();
    void okRefusesCredentialsThatCannotWork_data();
    void okRefusesCredentialsThatCannotWork();
    void entriesStayBetweenRuns();
};

void TestLoginDialog::construction()
{
    QWidget parent;
    LoginDialog dialog(&parent);
    QCOMPARE(dialog.parentWidget(), &parent);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Device login"));
    // The window flags stay as the toolkit sets them for a dialog.
    QDialog plain(&parent);
    QCOMPARE(dialog.windowFlags(), plain.windowFlags());
    LoginDialog flagged(&parent, Qt::Dialog | Qt::WindowStaysOnTopHint);
    QVERIFY(flagged.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    auto *outer = qobject_cast<QVBoxLayout *>(dialog.layout());
    QVERIFY(outer);
    QCOMPARE(outer->count(), 2);
    auto *group = qobject_cast<QGroupBox *>(outer->itemAt(0)->widget());
    QVERIFY(group);
    QCOMPARE(group->title(), QStringLiteral("Authentication parameters"));
    auto *buttons = qobject_cast<QDialogButtonBox *>(outer->itemAt(1)->widget());
    QVERIFY(buttons);
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons->orientation(), Qt::Horizontal);

    QFormLayout *rows = form(dialog);
    QVERIFY(rows);
    QCOMPARE(rows->rowCount(), 4);
    auto *intro = qobject_cast<QLabel *>(unlabelledRow(dialog, 0));
    QVERIFY(intro);
    QCOMPARE(intro->text(), IntroText);
    QVERIFY(intro->wordWrap());

    const QStringList labels = {QStringLiteral("&Username:"), QStringLiteral("&Password:")};
    for (int row = 1; row <= 2; ++row) {
        auto *label = qobject_cast<QLabel *>(rows->itemAt(row, QFormLayout::LabelRole)->widget());
        QVERIFY(label);
        QCOMPARE(label->text(), labels.at(row - 1));
        QCOMPARE(label->buddy(), field(dialog, row));
    }
    for (QLineEdit *edit : {userEdit(dialog), passwordEdit(dialog)}) {
        QVERIFY(edit);
        QVERIFY(edit->text().isEmpty());
        QVERIFY(!edit->validator());
        QCOMPARE(edit->maxLength(), QLineEdit().maxLength());
    }
    QCOMPARE(userEdit(dialog)->echoMode(), QLineEdit::Normal);
    QCOMPARE(passwordEdit(dialog)->echoMode(), QLineEdit::Password);

    QCheckBox *remember = rememberCheck(dialog);
    QVERIFY(remember);
    QCOMPARE(remember->text(), QStringLiteral("Remember password"));
    QVERIFY(!remember->isChecked());

    QVERIFY(dialog.username().isEmpty());
    QVERIFY(dialog.password().isEmpty());
    QVERIFY(!dialog.rememberPassword());
}

void TestLoginDialog::gettersReadTheFields()
{
    LoginDialog dialog;
    // No conversion here: the texts come back as typed, whatever they hold.
    const QString user = QStringLiteral("J\u00fcrgen \u20ac:|x");
    const QString password = QString(300, QLatin1Char('p')) + QStringLiteral(":|");
    userEdit(dialog)->setText(user);
    passwordEdit(dialog)->setText(password);
    rememberCheck(dialog)->click();
    QCOMPARE(dialog.username(), user);
    QCOMPARE(dialog.password(), password);
    QVERIFY(dialog.rememberPassword());
    rememberCheck(dialog)->click();
    QVERIFY(!dialog.rememberPassword());

    QTest::keyClicks(userEdit(dialog), QStringLiteral("-typed"));
    QCOMPARE(dialog.username(), user + QStringLiteral("-typed"));
}

void TestLoginDialog::passwordIsNeverShown()
{
    LoginDialog dialog;
    QTest::keyClicks(passwordEdit(dialog), QStringLiteral("secret"));
    QCOMPARE(dialog.password(), QStringLiteral("secret"));
    const QString shown = passwordEdit(dialog)->displayText();
    QCOMPARE(shown.size(), 6);
    for (const QChar c : QStringLiteral("secret"))
        QVERIFY2(!shown.contains(c), qPrintable(shown));
}

void TestLoginDialog::mnemonicsFocusTheFields_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("row");
    QTest::newRow("Alt+U") << int(Qt::Key_U) << 1;
    QTest::newRow("Alt+P") << int(Qt::Key_P) << 2;
}

void TestLoginDialog::mnemonicsFocusTheFields()
{
    QFETCH(int, key);
    QFETCH(int, row);
    LoginDialog dialog;
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    rememberCheck(dialog)->setFocus();
    QTest::keyClick(&dialog, Qt::Key(key), Qt::AltModifier);
    QTRY_COMPARE(QApplication::focusWidget(), field(dialog, row));
}

void TestLoginDialog::result_data()
{
    QTest::addColumn<int>("way");
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << 0 << int(QDialog::Accepted);
    QTest::newRow("Cancel") << 1 << int(QDialog::Rejected);
    QTest::newRow("Escape") << 2 << int(QDialog::Rejected);
    QTest::newRow("window closed") << 3 << int(QDialog::Rejected);
}

void TestLoginDialog::result()
{
    QFETCH(int, way);
    QFETCH(int, result);
    // Empty fields pass the check: OK is accepted.
    LoginDialog dialog;
    ModalAnswerer answerer([way](QWidget *modal) {
        if (way == 0)
            standardButton(modal, QDialogButtonBox::Ok)->click();
        else if (way == 1)
            standardButton(modal, QDialogButtonBox::Cancel)->click();
        else if (way == 2)
            QTest::keyClick(modal, Qt::Key_Escape);
        else
            modal->close();
    });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().title, QStringLiteral("Device login"));
    QVERIFY(dialog.username().isEmpty());
    QVERIFY(dialog.password().isEmpty());
}

void TestLoginDialog::okRefusesCredentialsThatCannotWork_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("reason"); // empty: accepted
    QTest::addColumn<int>("focusRow");   // the field that gets the focus on refusal

    const QString tooLong = QStringLiteral("user name and password together are longer than 92 characters");
    const QString beyondLatin1 = QStringLiteral("hold characters outside Latin-1");
    // "user:password" is sent as Base64 in 127 characters: 93 bytes fit whole.
    QTest::newRow("92 characters") << QString(40, QLatin1Char('u')) << QString(52, QLatin1Char('p')) << QString() << 0;
    QTest::newRow("93 characters") << QString(40, QLatin1Char('u')) << QString(53, QLatin1Char('p')) << tooLong << 2;
    QTest::newRow("Latin-1") << QStringLiteral("j\u00fcrgen") << QStringLiteral("p\u00e4ss:|") << QString() << 0;
    QTest::newRow("password beyond Latin-1") << "admin" << QStringLiteral("p\u20acss") << beyondLatin1 << 2;
    QTest::newRow("user name beyond Latin-1") << QStringLiteral("\u0141ukasz") << "pw" << beyondLatin1 << 1;
    QTest::newRow("colon in the user name")
        << "ad:min"
        << "pw" << QStringLiteral("the user name holds a \":\", which ends it on the device's side") << 1;
}

void TestLoginDialog::okRefusesCredentialsThatCannotWork()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, reason);
    QFETCH(int, focusRow);

    LoginDialog dialog;
    dialog.show();
    userEdit(dialog)->setText(user);
    passwordEdit(dialog)->setText(password);
    QPointer<QWidget> boxParent;
    ModalAnswerer answerer([&boxParent](QWidget *modal) {
        boxParent = modal->parentWidget();
        ModalAnswerer::press(modal, QMessageBox::Ok);
    });
    // Enter presses OK.
    QTest::keyClick(passwordEdit(dialog), Qt::Key_Return);

    if (reason.isEmpty()) {
        QVERIFY(answerer.seen.isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        return;
    }
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().text,
             QStringLiteral("Credentials: %1.\n\nThe device could never accept them.").arg(reason));
    QCOMPARE(boxParent.data(), &dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.focusWidget(), field(dialog, focusRow));
    QCOMPARE(dialog.password(), password);
}

void TestLoginDialog::entriesStayBetweenRuns()
{
    LoginDialog dialog;
    QStringList shown;
    const auto show = [&] {
        shown = QStringList{userEdit(dialog)->text(), passwordEdit(dialog)->text(),
                            rememberCheck(dialog)->isChecked() ? QStringLiteral("checked") : QString()};
    };
    {
        ModalAnswerer first([&](QWidget *) {
            show();
            QTest::keyClicks(userEdit(dialog), QStringLiteral("admin"));
            QTest::keyClicks(passwordEdit(dialog), QStringLiteral("pw"));
            rememberCheck(dialog)->click();
            standardButton(&dialog, QDialogButtonBox::Cancel)->click();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QCOMPARE(first.seen.size(), 1);
    }
    QCOMPARE(shown, QStringList({QString(), QString(), QString()}));

    ModalAnswerer second([&](QWidget *) {
        show();
        standardButton(&dialog, QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(second.seen.size(), 1);
    QCOMPARE(shown, QStringList({QStringLiteral("admin"), QStringLiteral("pw"), QStringLiteral("checked")}));
}

QTEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
