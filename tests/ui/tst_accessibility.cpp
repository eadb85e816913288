// SPDX-License-Identifier: Apache-2.0
// Keyboard and screen-reader use of the desktop program, through Qt's accessibility interfaces
// (what the AT-SPI bridge hands to a screen reader): every input of the two dialogs has a name
// from its label and the validated ones say what they accept, Tab reaches every input and button
// in form order, the table and its cells are read with their texts and column names, and every
// command of the main window can be given from the keyboard.

#include "modalanswerer.h"
#include "model/devicemodel.h"
#include "replies.h"
#include "ui/connectiondialog.h"
#include "ui/devicetableview.h"
#include "ui/logindialog.h"
#include "ui/mainwindow.h"
#include "ui/plandialog.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

namespace {

QAccessibleInterface *accessible(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

QString accessibleName(QObject *object)
{
    QAccessibleInterface *interface = accessible(object);
    return interface ? interface->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

QString accessibleDescription(QObject *object)
{
    QAccessibleInterface *interface = accessible(object);
    return interface ? interface->text(QAccessible::Description) : QStringLiteral("<no interface>");
}

// What a screen reader announces a widget by: its name, or for a combo box the label it is
// labelled by (the AT-SPI relation "labelled-by"): on Linux a combo box's name is its current
// text, so that it is announced by its label and value together.
QString announced(QObject *object)
{
    QAccessibleInterface *interface = accessible(object);
    if (!interface)
        return QStringLiteral("<no interface>");
    if (interface->role() == QAccessible::ComboBox) {
        const auto labels = interface->relations(QAccessible::Label);
        return labels.isEmpty() ? QStringLiteral("<unlabelled>") : labels.first().first->text(QAccessible::Name);
    }
    return interface->text(QAccessible::Name);
}

// The label a form layout shows beside the widget, "" when there is none.
QString formLabel(QWidget *field)
{
    for (QWidget *parent = field->parentWidget(); parent; parent = parent->parentWidget()) {
        const auto forms = parent->findChildren<QFormLayout *>();
        for (QFormLayout *form : forms) {
            if (auto *label = qobject_cast<QLabel *>(form->labelForField(field)))
                return label->buddy() == field ? label->text() : QStringLiteral("<label without buddy>");
        }
    }
    return QString();
}

// The accessible names of the widgets that Tab visits from `first` until it comes back to it.
QStringList tabOrder(QWidget *window, QWidget *first)
{
    first->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (int step = 0; step < 30; ++step) {
        QWidget *focused = QApplication::focusWidget();
        if (!focused)
            return names << QStringLiteral("<no focus>");
        if (step > 0 && focused == first)
            return names;
        names.append(announced(focused));
        QTest::keyClick(window, Qt::Key_Tab);
    }
    return names << QStringLiteral("<no cycle>");
}

QList<QLineEdit *> lineEdits(QWidget *dialog)
{
    QList<QLineEdit *> edits = dialog->findChildren<QLineEdit *>();
    // The login dialog is a child of the settings dialog; its fields are checked on their own.
    edits.removeIf([dialog](QLineEdit *edit) { return edit->window() != dialog; });
    return edits;
}

const QString MacA = QStringLiteral("02:5A:00:00:10:01");
const QString MacB = QStringLiteral("02:5A:00:00:10:02");

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void loginDialogInputsAreNamed();
    void loginDialogKeyboard();
    void connectionDialogInputsAreNamed();
    void connectionDialogTabOrder();
    void planDialogKeyboard();
    void tableAndCellsAreReadable();
    void conflictMarksAreDescribed();
    void everyCommandHasAKey();
    void toolBarReachedWithTab();
    void tableLetsTheFocusGo();

private:
    QTemporaryDir settingsDir;
};

void TestAccessibility::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

void TestAccessibility::loginDialogInputsAreNamed()
{
    LoginDialog dialog;
    const QList<QLineEdit *> edits = lineEdits(&dialog);
    QCOMPARE(edits.size(), 2);
    QStringList names;
    for (QLineEdit *edit : edits) {
        QVERIFY2(!formLabel(edit).isEmpty(), "every line edit has a label whose buddy it is");
        names.append(accessibleName(edit));
    }
    QCOMPARE(names, (QStringList{QStringLiteral("Username:"), QStringLiteral("Password:")}));

    QLineEdit *password = edits.at(1);
    QAccessibleInterface *passwordInterface = accessible(password);
    QCOMPARE(passwordInterface->role(), QAccessible::EditableText);
    QVERIFY(passwordInterface->state().passwordEdit);
    password->setText(QStringLiteral("secret"));
    QVERIFY2(!passwordInterface->text(QAccessible::Value).contains(QLatin1String("secret")),
             "the password is not read out");

    QCOMPARE(accessibleName(dialog.findChild<QCheckBox *>()), QStringLiteral("Remember password"));
    QCOMPARE(accessibleName(&dialog), QStringLiteral("Device login"));
}

void TestAccessibility::loginDialogKeyboard()
{
    LoginDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const QList<QLineEdit *> edits = lineEdits(&dialog);

    QCOMPARE(tabOrder(&dialog, edits.at(0)),
             (QStringList{"Username:", "Password:", "Remember password", "OK", "Cancel"}));

    // The labels' mnemonics: Alt+P and Alt+U.
    edits.at(0)->setFocus();
    QTest::keyClick(&dialog, Qt::Key_P, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), edits.at(1));
    QTest::keyClick(&dialog, Qt::Key_U, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), edits.at(0));

    // Escape closes it without accepting.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

void TestAccessibility::connectionDialogInputsAreNamed()
{
    ConnectionDialog dialog(false);
    dialog.loadFromDatagram(Replies::config(MacA, QStringLiteral("gate-north"), QStringLiteral("192.168.77.21")));

    QStringList names;
    QStringList described;
    for (QLineEdit *edit : lineEdits(&dialog)) {
        QVERIFY2(!formLabel(edit).isEmpty(), qPrintable(accessibleName(edit)));
        names.append(accessibleName(edit));
        if (!accessibleDescription(edit).isEmpty())
            described.append(accessibleName(edit));
    }
    const QStringList expected{"Hostname:",   "IP address:",         "Subnet mask:",         "Domain:",
                               "Gateway IP:", "Primary DNS server:", "Secondary DNS server:"};
    QCOMPARE(names, expected);
    // Fields whose validator refuses keystrokes say what they accept; the domain has no validator.
    QCOMPARE(described, (QStringList{"Hostname:", "IP address:", "Subnet mask:", "Gateway IP:", "Primary DNS server:",
                                     "Secondary DNS server:"}));

    auto *combo = dialog.findChild<QComboBox *>();
    QCOMPARE(formLabel(combo), QStringLiteral("IP configuration:"));
    QCOMPARE(announced(combo), QStringLiteral("IP configuration:"));
    QCOMPARE(accessible(combo)->text(QAccessible::Value), QStringLiteral("static"));
    // Each line edit is labelled by its label too.
    for (QLineEdit *edit : lineEdits(&dialog)) {
        const auto labels = accessible(edit)->relations(QAccessible::Label);
        QVERIFY(!labels.isEmpty());
        QCOMPARE(labels.first().first->text(QAccessible::Name), formLabel(edit));
    }

    // The header is read as plain text, without its markup.
    auto *header = dialog.findChildren<QLabel *>().constFirst();
    QVERIFY(accessibleName(header).contains(MacA));
    QVERIFY(!accessibleName(header).contains(QLatin1Char('<')));
}

void TestAccessibility::connectionDialogTabOrder()
{
    ConnectionDialog dialog(false);
    dialog.loadFromDatagram(Replies::config(MacA, QStringLiteral("gate-north"), QStringLiteral("192.168.77.21")));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    // Opens on the first field.
    QCOMPARE(announced(QApplication::focusWidget()), QStringLiteral("Hostname:"));

    const QStringList order = tabOrder(&dialog, QApplication::focusWidget());
    QCOMPARE(order, (QStringList{"Hostname:", "IP configuration:", "IP address:", "Subnet mask:", "Domain:",
                                 "Gateway IP:", "Primary DNS server:", "Secondary DNS server:", "Apply", "Cancel"}));

    // DHCP from the keyboard greys the static fields out; Tab then skips them.
    auto *combo = dialog.findChild<QComboBox *>();
    combo->setFocus(Qt::TabFocusReason);
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentText(), QStringLiteral("DHCP"));
    QCOMPARE(tabOrder(&dialog, combo), (QStringList{"IP configuration:", "Apply", "Cancel", "Hostname:"}));
}

void TestAccessibility::planDialogKeyboard()
{
    DeviceModel model;
    PlanDialog dialog({MacA, MacB}, &model, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    // Without a first address there is no plan: Save plan, Save outcomes and Apply are skipped.
    QCOMPARE(tabOrder(&dialog, dialog.findChild<QComboBox *>()),
             (QStringList{"IP configuration:", "First IP address:", "Subnet mask:", "Gateway IP:", "Domain:",
                          "Primary DNS server:", "Secondary DNS server:", "Host name template:", "First number:",
                          "Plan preview", "Load plan…", "Cancel"}));
    QTest::keyClick(&dialog, Qt::Key_H, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), dialog.findChild<QLineEdit *>(QStringLiteral("templateEdit")));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
}

void TestAccessibility::tableAndCellsAreReadable()
{
    MainWindow window;
    auto *model = window.findChild<DeviceModel *>();
    auto *view = window.findChild<DeviceTableView *>();
    const QByteArrayList replies{
        Replies::info(MacA, QStringLiteral("VeltraNET-4.3"), QStringLiteral("1.8.4")),
        Replies::config(MacA, QStringLiteral("gate-north"), QStringLiteral("192.168.77.21")),
        Replies::info(MacB, QStringLiteral("Panoryx-III"), QStringLiteral("1.8.0")),
        Replies::config(MacB, QStringLiteral("lobby-cam"), QStringLiteral("192.168.77.118"), QStringLiteral("1")),
    };
    for (const QByteArray &reply : replies)
        model->onDeviceReplyReceived(reply);
    QCOMPARE(model->rowCount(), 2);
    view->selectRow(1);

    QAccessibleInterface *table = accessible(view);
    QVERIFY(table);
    QCOMPARE(table->role(), QAccessible::Table);
    QCOMPARE(table->text(QAccessible::Name), QStringLiteral("Devices"));
    QVERIFY(!table->text(QAccessible::Description).isEmpty());
    QAccessibleTableInterface *cells = table->tableInterface();
    QVERIFY(cells);
    QCOMPARE(cells->rowCount(), 2);
    QCOMPARE(cells->columnCount(), int(DeviceModel::ColumnCount));

    QStringList columns;
    for (int column = 0; column < cells->columnCount(); ++column)
        columns.append(cells->columnDescription(column));
    QCOMPARE(columns,
             (QStringList{"Device", "Firmware", "Hostname", "IP Address", "IP config.", "MAC Address", "Status"}));

    for (int row = 0; row < cells->rowCount(); ++row) {
        for (int column = 0; column < cells->columnCount(); ++column) {
            QAccessibleInterface *cell = cells->cellAt(row, column);
            QVERIFY(cell);
            QCOMPARE(cell->role(), QAccessible::Cell);
            QCOMPARE(cell->text(QAccessible::Name), model->index(row, column).data().toString());
            QAccessibleTableCellInterface *position = cell->tableCellInterface();
            QCOMPARE(position->rowIndex(), row);
            QCOMPARE(position->columnIndex(), column);
            QCOMPARE(position->isSelected(), row == 1);
        }
    }
    QCOMPARE(cells->cellAt(0, DeviceModel::HostnameColumn)->text(QAccessible::Name), QStringLiteral("gate-north"));
    QCOMPARE(cells->cellAt(1, DeviceModel::IpConfigColumn)->text(QAccessible::Name), QStringLiteral("DHCP"));
    QCOMPARE(cells->cellAt(1, DeviceModel::MacAddressColumn)->text(QAccessible::Name), MacB);
    QCOMPARE(cells->selectedRowCount(), 1);
}

// A mark is an icon with a tool tip, neither of which a screen reader reads out for a cell.
void TestAccessibility::conflictMarksAreDescribed()
{
    MainWindow window;
    auto *model = window.findChild<DeviceModel *>();
    auto *view = window.findChild<DeviceTableView *>();
    const QString sameIp = QStringLiteral("192.168.77.40");
    model->onDeviceReplyReceived(Replies::config(MacA, QStringLiteral("dock-a"), sameIp));
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("Dock-A"), sameIp));

    QAccessibleTableInterface *cells = accessible(view)->tableInterface();
    QVERIFY(cells);
    const auto description = [cells](int row, int column) {
        return cells->cellAt(row, column)->text(QAccessible::Description);
    };
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(description(row, DeviceModel::IpAddressColumn), QStringLiteral("IP conflict!"));
        QCOMPARE(description(row, DeviceModel::HostnameColumn), QStringLiteral("Hostname conflict!"));
        QCOMPARE(description(row, DeviceModel::MacAddressColumn), QString());
    }

    // The second device moves away: both marks go, and so do their descriptions.
    model->onDeviceReplyReceived(Replies::config(MacB, QStringLiteral("dock-b"), QStringLiteral("192.168.77.41")));
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(description(row, DeviceModel::IpAddressColumn), QString());
        QCOMPARE(description(row, DeviceModel::HostnameColumn), QString());
    }
}

void TestAccessibility::everyCommandHasAKey()
{
    MainWindow window;
    // Scan, edit, web, export and delete have shortcuts; about is reached through the tool bar
    // (toolBarReachedWithTab).
    const QList<std::pair<const char *, QKeySequence>> keys{
        {"scanAct", QKeySequence(Qt::Key_F5)},          {"editAct", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {"webAct", QKeySequence(Qt::CTRL | Qt::Key_W)}, {"exportAct", QKeySequence(Qt::CTRL | Qt::Key_X)},
        {"deletePwAct", QKeySequence(Qt::Key_Delete)},
    };
    for (const auto &[name, key] : keys) {
        auto *action = window.findChild<QAction *>(QLatin1String(name));
        QVERIFY2(action, name);
        QCOMPARE(action->shortcut(), key);
        // Where the action is, its shortcut works: in the tool bar or on the window itself.
        QVERIFY2(window.actions().contains(action) || window.findChild<QToolBar *>()->actions().contains(action), name);
    }
}

void TestAccessibility::toolBarReachedWithTab()
{
    // One usable interface: the interface choice is enabled.
    MainWindow window([] {
        return QList<PacketTransceiver::InterfaceInfo>{{QNetworkInterface::IsUp, MacA, "eth0", {"10.0.0.5"}}};
    });
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *view = window.findChild<DeviceTableView *>();
    auto *toolBar = window.findChild<QToolBar *>();

    QStringList buttons;
    for (QAction *action : toolBar->actions()) {
        QWidget *button = toolBar->widgetForAction(action);
        if (!qobject_cast<QToolButton *>(button))
            continue; // the interface choice, its label and their separator
        QVERIFY(button->focusPolicy() & Qt::TabFocus);
        // A click does not take the focus from the table.
        QVERIFY(!(button->focusPolicy() & Qt::ClickFocus));
        QCOMPARE(accessible(button)->role(), QAccessible::Button);
        buttons.append(accessibleName(button));
    }
    QCOMPARE(buttons, (QStringList{"Scan / Refresh", "Edit network settings", "Set up selected devices…", "About"}));

    // From the (empty) table, Tab goes through the tool bar's buttons, the interface choice and back.
    // The edit and set-up buttons are disabled without a selection and so skipped.
    // The choice is named; on Linux it is announced by its label (and value). Alt+I reaches it.
    QCOMPARE(tabOrder(&window, view),
             (QStringList{"Devices", "Scan / Refresh", "About", "Network interface", "Filter devices"}));
    auto *box = window.findChild<QComboBox *>();
    QCOMPARE(box->accessibleName(), QStringLiteral("Network interface"));
    QTest::keyClick(&window, Qt::Key_I, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), box);

    // Space on the focused About button opens the about box.
    ModalAnswerer answerer;
    auto *about = toolBar->widgetForAction(window.findChild<QAction *>(QStringLiteral("aboutAct")));
    about->setFocus(Qt::TabFocusReason);
    QTest::keyClick(about, Qt::Key_Space);
    QTRY_VERIFY(!answerer.seen.isEmpty());
    QCOMPARE(answerer.seen.first().title, QStringLiteral("About Veltra Device Finder"));
    QTRY_VERIFY(!QApplication::activeModalWidget());
}

void TestAccessibility::tableLetsTheFocusGo()
{
    MainWindow window;
    auto *model = window.findChild<DeviceModel *>();
    auto *view = window.findChild<DeviceTableView *>();
    for (const QString &mac : {MacA, MacB}) {
        model->onDeviceReplyReceived(Replies::info(mac, QStringLiteral("Panoryx-III")));
        model->onDeviceReplyReceived(Replies::config(mac, QStringLiteral("cam"), QStringLiteral("192.168.77.30")));
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *toolBar = window.findChild<QToolBar *>();
    QWidget *scan = toolBar->widgetForAction(window.findChild<QAction *>(QStringLiteral("scanAct")));

    // A filled table is no trap: from any cell, Tab goes on to the tool bar and Shift+Tab back to
    // its last control, the filter; the arrow keys move between the devices.
    view->setFocus(Qt::TabFocusReason);
    view->setCurrentIndex(view->model()->index(0, 3));
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(view->currentIndex(), view->model()->index(1, 3));
    QCOMPARE(view->selectionModel()->selectedRows().size(), 1);
    QTest::keyClick(view, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), scan);

    view->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), window.findChild<QLineEdit *>(QStringLiteral("filterEdit")));
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
