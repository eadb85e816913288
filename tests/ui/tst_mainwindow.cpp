// SPDX-License-Identifier: Apache-2.0
#include "modalanswerer.h"
#include "model/devicemodel.h"
#include "model/devicestate.h"
#include "netguard.h"
#include "protocol/packettransceiver.h"
#include "replies.h"
#include "settings/autoscansetting.h"
#include "settings/credentialstore.h"
#include "settings/interfacechoice.h"
#include "ui/connectiondialog.h"
#include "ui/devicetableview.h"
#include "ui/interfacebox.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QDesktopServices>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFont>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QUdpSocket>
#include <QUrl>
#include <QtTest>

namespace {

const QString MacA = QStringLiteral("02:00:5E:AA:00:01");
const QString MacB = QStringLiteral("02:00:5E:BB:00:02");
const QString MacC = QStringLiteral("02:00:5E:CC:00:03");
const QString MacD = QStringLiteral("02:00:5E:DD:00:04");
const QString MacE = QStringLiteral("02:00:5E:EE:00:05");
const QString BroadcastMac = QStringLiteral("FF:FF:FF:FF:FF:FF");
const QString AppName = QStringLiteral("Veltra Device Finder");
const QString PacketLostText = QStringLiteral("Device information incomplete. Please scan network again!");
const QString NoInterfaceTitle = QStringLiteral("Creating message header");
const QString NoInterfaceText = QStringLiteral("Could not get a valid network interface!");
constexpr quint16 DevicePort = 28244;
constexpr quint32 Failed = 1; // any result code other than 0 and the authorization failure

// The five actions whose state follows the selection, by the short names the tables use.
const QList<QPair<QString, const char *>> SelectionActions = {
    {QStringLiteral("edit"), "editAct"},     {QStringLiteral("web"), "webAct"},
    {QStringLiteral("export"), "exportAct"}, {QStringLiteral("delete"), "deletePwAct"},
    {QStringLiteral("setup"), "setUpAct"},
};

// Both replies of a device, so that its row is complete.
QByteArrayList device(const QString &mac, const QString &type, const QString &ip,
                      const QString &host = QStringLiteral("host"))
{
    return {Replies::info(mac, type), Replies::config(mac, host + mac.right(2), ip)};
}

struct SentRequest
{
    int messageId;
    QString mac;
    qint64 at;
};

// Receives the URLs that the window hands to the desktop, while it exists.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); }

    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

// Closes whatever pop-up menu is open, so that a menu run with exec() cannot hold a test.
class PopupCloser : public QObject
{
public:
    explicit PopupCloser(int delay)
    {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            if (QWidget *popup = QApplication::activePopupWidget()) {
                closed.append(QString::fromLatin1(popup->metaObject()->className()));
                popup->close();
            }
        });
        timer.start(delay);
    }
    QStringList closed;

private:
    QTimer timer;
};

// Records the window flags a widget has each time it is shown.
class ShowWatcher : public QObject
{
public:
    explicit ShowWatcher(QList<Qt::WindowFlags> *flags) : flags(flags) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            flags->append(static_cast<QWidget *>(watched)->windowFlags());
        return QObject::eventFilter(watched, event);
    }

private:
    QList<Qt::WindowFlags> *flags;
};

// A bridge listed first (192.168.x.x) and a wired interface with two addresses.
const QList<PacketTransceiver::InterfaceInfo> HostInterfaces = {
    {QNetworkInterface::IsUp, MacA, QStringLiteral("virbr0"), {QStringLiteral("192.168.122.1")}},
    {QNetworkInterface::IsUp, MacB, QStringLiteral("eth0"), {QStringLiteral("10.0.0.5"), QStringLiteral("10.0.1.5")}},
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    // Construction and layout
    void construction();
    void columnWidths_data();
    void columnWidths();
    void toolBarRightClickShowsNoMenu();

    // Actions, tool bar and context menu
    void actions_data();
    void actions();
    void toolBarAndMenus();
    void shortcuts_data();
    void shortcuts();

    // Enabling the actions
    void updateActions_data();
    void updateActions();
    void updateActionsFollowsSelectionAndInsertion();
    void filterShowsMatchingRowsAndActsOnThem();
    void automaticScanTellsTheStatusBar();
    void changesSinceTheLastScanAreMarked();
    void columnsFitTheirTexts();

    // Context menu of the table
    void contextMenu_data();
    void contextMenu();

    // Commands complete in themselves
    void aboutBox();
    void launchBrowser_data();
    void launchBrowser();
    void commandsActOnTheSelectedRow_data();
    void commandsActOnTheSelectedRow();
    void deleteStoredPassword_data();
    void deleteStoredPassword();
    void moveToTop_data();
    void moveToTop();

    // Wiring
    void transceiverWarningShowsWarningBox();
    void doubleClickEditsThatRow_data();
    void doubleClickEditsThatRow();
    void modelRequestsGoOutThroughTransceiver();

    // Scan cycle
    void checkDeviceCount_data();
    void checkDeviceCount();
    void scanClearsTableAndSendsBothRequests();
    void repeatedScanGivesOneCountCheck();
    void emptyScanOffersAnotherInterface();
    void incompleteRowsMarkedAfterScan();
    void failedBindReportedOnEveryAttempt();
    void interfaceBoxChoiceScansAndIsStored();
    void storedInterfaceRestored_data();
    void storedInterfaceRestored();
    void interfaceBoxRereadsWhenOpened();
    void allInterfacesChosenAddsTheColumnAndIsStored();

private:
    static DeviceModel *modelOf(MainWindow &window) { return window.findChild<DeviceModel *>(); }
    static DeviceTableView *viewOf(MainWindow &window) { return window.findChild<DeviceTableView *>(); }
    static PacketTransceiver *transceiverOf(MainWindow &window) { return window.findChild<PacketTransceiver *>(); }
    static QTimer *countTimerOf(MainWindow &window) { return window.findChild<QTimer *>(QStringLiteral("countTimer")); }
    static QAction *actionOf(MainWindow &window, const char *name)
    {
        return window.findChild<QAction *>(QLatin1String(name));
    }
    static QMenu *contextMenuOf(MainWindow &window)
    {
        const QList<QMenu *> menus = window.findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly);
        return menus.size() == 1 ? menus.first() : nullptr;
    }
    // Replies as the transceiver hands them on.
    static void feed(MainWindow &window, const QByteArrayList &replies)
    {
        for (const QByteArray &reply : replies)
            emit transceiverOf(window)->replyReceived(reply);
    }
    static void selectRows(MainWindow &window, const QList<int> &rows)
    {
        QItemSelectionModel *selection = viewOf(window)->selectionModel();
        for (int row : rows)
            selection->select(shownIndex(window, row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // The table's index of a row as the window shows it.
    static QModelIndex shownIndex(MainWindow &window, int row, int column)
    {
        return viewOf(window)->model()->index(row, column);
    }
    static QString cell(MainWindow &window, int row, int column)
    {
        return modelOf(window)->index(row, column).data().toString();
    }
    // Short names of the enabled selection-dependent actions.
    static QStringList enabledActions(MainWindow &window)
    {
        QStringList names;
        for (const auto &[name, objectName] : SelectionActions) {
            if (actionOf(window, objectName)->isEnabled())
                names.append(name);
        }
        return names;
    }
    static void storeCredentials(const QStringList &macs)
    {
        for (const QString &mac : macs)
            CredentialStore::saveLoginData({mac, QStringLiteral("admin"), QStringLiteral("secret")});
    }
    static QStringList sortedStoredKeys()
    {
        QStringList keys = CredentialStore::storedKeys();
        keys.sort();
        return keys;
    }
    static void showActive(MainWindow &window)
    {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
    // The requests the window's transceiver sends, with the time since `clock` started.
    static void recordRequests(MainWindow &window, QList<SentRequest> *sent, const QElapsedTimer *clock)
    {
        QObject::connect(transceiverOf(window), &PacketTransceiver::requestSent, &window,
                         [sent, clock](int messageId, const QString &mac) {
                             sent->append({messageId, mac, clock->elapsed()});
                         });
    }
    // The transceiver's warnings seen, when there is no usable interface here (one per request).
    static int noInterfaceWarnings(const ModalAnswerer &answerer)
    {
        int count = 0;
        for (const ModalAnswerer::Seen &seen : answerer.seen) {
            if (seen.title == NoInterfaceTitle && seen.text == NoInterfaceText)
                ++count;
        }
        return count;
    }
    static QList<ModalAnswerer::Seen> withoutWarnings(const ModalAnswerer &answerer)
    {
        QList<ModalAnswerer::Seen> rest;
        for (const ModalAnswerer::Seen &seen : answerer.seen) {
            if (seen.title != NoInterfaceTitle)
                rest.append(seen);
        }
        return rest;
    }

    QTemporaryDir settingsDir;
};

void TestMainWindow::initTestCase()
{
    qRegisterMetaType<QContextMenuEvent *>();
    QVERIFY(settingsDir.isValid());
    // Credentials go to a settings tree of the test's own, never the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settingsDir.path());
    QVERIFY(CredentialStore::storedKeys().isEmpty());
}

void TestMainWindow::cleanup()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvane"), AppName).clear();
    QTRY_VERIFY(!QApplication::activeModalWidget());
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
}

// ---------------------------------------------------------------------------------------------
// Construction and layout

void TestMainWindow::construction()
{
    MainWindow window;

    QCOMPARE(window.windowTitle(), AppName);
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.windowIcon().pixmap(32).toImage(), QIcon(QStringLiteral(":/vorq")).pixmap(32).toImage());
    QCOMPARE(window.contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(window.minimumWidth(), 890);
    QCOMPARE(window.parentWidget(), nullptr);

    // No menu bar and no dock widgets (menuBar() would create one, so it is not called).
    QCOMPARE(window.menuWidget(), nullptr);
    QVERIFY(window.findChildren<QMenuBar *>().isEmpty());
    QVERIFY(window.findChildren<QDockWidget *>().isEmpty());

    // One status bar, installed on the window: it shows an action's status tip.
    const QList<QStatusBar *> bars = window.findChildren<QStatusBar *>();
    QCOMPARE(bars.size(), 1);
    QCOMPARE(window.statusBar(), bars.first());
    QVERIFY(bars.first()->currentMessage().isEmpty());
    QAction *scanAct = actionOf(window, "scanAct");
    QVERIFY(scanAct->showStatusText(&window));
    QCOMPARE(bars.first()->currentMessage(), QStringLiteral("Detect and list devices in network"));

    // The table sits in the central frame and shows the window's model; nothing is scanned at start.
    DeviceTableView *view = viewOf(window);
    QVERIFY(view);
    QVERIFY(qobject_cast<QFrame *>(window.centralWidget()));
    QVERIFY(window.centralWidget()->isAncestorOf(view));
    QCOMPARE(qobject_cast<QSortFilterProxyModel *>(view->model())->sourceModel(), modelOf(window));
    QCOMPARE(modelOf(window)->parent(), &window);
    QCOMPARE(transceiverOf(window)->parent(), &window);
    QCOMPARE(modelOf(window)->rowCount(), 0);

    // The count timer waits for the end of a scan only.
    QTimer *countTimer = countTimerOf(window);
    QVERIFY(countTimer);
    QCOMPARE(countTimer->interval(), 3000);
    QVERIFY(countTimer->isSingleShot());
    QVERIFY(!countTimer->isActive());

    // Nothing selected: only scan and about are enabled.
    QVERIFY(scanAct->isEnabled());
    QVERIFY(actionOf(window, "aboutAct")->isEnabled());
    QCOMPARE(enabledActions(window), QStringList());
}

void TestMainWindow::columnWidths_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("width");

    QTest::newRow("Device") << int(DeviceModel::DeviceColumn) << 100;
    QTest::newRow("Firmware") << int(DeviceModel::FirmwareColumn) << 70;
    QTest::newRow("Hostname") << int(DeviceModel::HostnameColumn) << 130;
    QTest::newRow("IP Address (view default)") << int(DeviceModel::IpAddressColumn) << 120;
    QTest::newRow("IP config.") << int(DeviceModel::IpConfigColumn) << 70;
    QTest::newRow("MAC Address (view default)") << int(DeviceModel::MacAddressColumn) << 120;
    QTest::newRow("Status") << int(DeviceModel::StatusColumn) << 190;
}

void TestMainWindow::columnWidths()
{
    QFETCH(int, column);
    QFETCH(int, width);

    // As built, before the last column is stretched to the width of a shown window. The MAC
    // Address and Status columns may be wider, as their texts in the font in use need.
    MainWindow window;
    if (column == DeviceModel::MacAddressColumn || column == DeviceModel::StatusColumn)
        QVERIFY(viewOf(window)->columnWidth(column) >= width);
    else
        QCOMPARE(viewOf(window)->columnWidth(column), width);
}

void TestMainWindow::filterShowsMatchingRowsAndActsOnThem()
{
    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")) +
                     device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")) +
                     device(MacC, QStringLiteral("Panoryx-4.3"), QStringLiteral("10.0.0.3")));
    auto *filter = window.findChild<QLineEdit *>(QStringLiteral("filterEdit"));
    auto *shown = window.findChild<QLabel *>(QStringLiteral("shownLabel"));
    viewOf(window)->selectAll();
    QCOMPARE(enabledActions(window), (QStringList{"export", "setup"}));

    // Any column, letter case ignored; a row filtered out leaves the selection, so that the
    // commands act on the one row shown.
    QTest::keyClicks(filter, QStringLiteral("MOTILUX"));
    QCOMPARE(viewOf(window)->model()->rowCount(), 1);
    QCOMPARE(shownIndex(window, 0, DeviceModel::MacAddressColumn).data().toString(), MacB);
    QCOMPARE(shown->text(), QStringLiteral("1 of 3 devices shown"));
    QCOMPARE(enabledActions(window), (QStringList{"edit", "web", "export"}));

    // A device that answers while the filter is on counts, shown only when it matches.
    feed(window, device(MacD, QStringLiteral("Motilux-III"), QStringLiteral("10.0.0.4")));
    QCOMPARE(shown->text(), QStringLiteral("2 of 4 devices shown"));
    filter->clear();
    QCOMPARE(viewOf(window)->model()->rowCount(), 4);
    QVERIFY(shown->isHidden());
}

void TestMainWindow::automaticScanTellsTheStatusBar()
{
    REQUIRE_ISOLATED_NETWORK();
    AutoScanSetting::save(15);
    MainWindow window([] { return HostInterfaces; });
    auto *timer = window.findChild<QTimer *>(QStringLiteral("autoScanTimer"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 15000);
    ModalAnswerer answerer;
    QSignalSpy sent(transceiverOf(window), &PacketTransceiver::requestSent);

    // Left out while a change is being followed; otherwise a scan whose empty outcome asks nothing.
    modelOf(window)->timer()->start();
    timer->setInterval(1);
    QTest::qWait(50);
    QCOMPARE(sent.size(), 0);
    modelOf(window)->timer()->stop();
    QTRY_VERIFY(sent.size() >= 2);
    timer->stop();
    QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage().left(17), u"No devices found!"_qs, 10000);
    QVERIFY(answerer.seen.isEmpty());
}

void TestMainWindow::changesSinceTheLastScanAreMarked()
{
    REQUIRE_ISOLATED_NETWORK();
    QTemporaryDir dataHome;
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    const auto restore = qScopeGuard([&before] { qputenv("XDG_DATA_HOME", before); });
    MainWindow window([] { return HostInterfaces; });
    ModalAnswerer answerer;
    const auto scanWith = [&](const QByteArrayList &replies) {
        actionOf(window, "scanAct")->trigger();
        feed(window, replies);
        QTRY_VERIFY_WITH_TIMEOUT(!countTimerOf(window)->isActive(), 10000);
    };
    const auto marked = [&](int row, int column) {
        const QModelIndex index = shownIndex(window, row, column);
        return index.data(Qt::FontRole).value<QFont>().bold() ? index.data(Qt::ToolTipRole).toString() : QString();
    };

    // The first scan of an empty history marks nothing.
    scanWith(device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")) +
             device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")));
    QCOMPARE(marked(0, DeviceModel::DeviceColumn) + marked(1, DeviceModel::DeviceColumn), QString());

    scanWith(device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")) +
             device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.9")) +
             device(MacC, QStringLiteral("Motilux-III"), QStringLiteral("10.0.0.3")));
    QCOMPARE(marked(0, DeviceModel::HostnameColumn), QString());
    QCOMPARE(marked(1, DeviceModel::HostnameColumn), QStringLiteral("IP address was 10.0.0.2"));
    QCOMPARE(marked(2, DeviceModel::DeviceColumn), QStringLiteral("New since the last scan"));
    QCOMPARE(marked(2, DeviceModel::StatusColumn), QString());
    QVERIFY(answerer.seen.isEmpty());
}

void TestMainWindow::columnsFitTheirTexts()
{
    // Whatever the font of this run, a MAC address and the longest status texts are not cut.
    MainWindow window;
    feed(window, device(QStringLiteral("DD:DD:DD:DD:DD:DD"), QStringLiteral("Panoryx-III"), u"10.0.0.1"_qs) +
                     device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")));
    modelOf(window)->setDeviceState(u"DD:DD:DD:DD:DD:DD"_qs, SavedAuthorizationFailedState());
    modelOf(window)->setDeviceState(MacB, PacketLostState());
    const QAbstractItemView *view = viewOf(window); // where the size hint is public
    for (const int column : {int(DeviceModel::MacAddressColumn), int(DeviceModel::StatusColumn)})
        QVERIFY2(view->sizeHintForColumn(column) <= viewOf(window)->columnWidth(column),
                 qPrintable(QStringLiteral("column %1: %2 > %3")
                                .arg(column)
                                .arg(view->sizeHintForColumn(column))
                                .arg(viewOf(window)->columnWidth(column))));
    // The window opens wide enough for them and for the whole tool bar, the filter at its end.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.findChild<QLineEdit *>(QStringLiteral("filterEdit"))->isVisible());
    QTRY_COMPARE(viewOf(window)->horizontalScrollBar()->maximum(), 0);
}

void TestMainWindow::toolBarRightClickShowsNoMenu()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(window.width() + 100, window.height()); // room beside the tool bar's controls
    QToolBar *toolBar = window.findChild<QToolBar *>(QStringLiteral("toolBar"));
    QVERIFY(toolBar);
    QWidget *scanButton = toolBar->widgetForAction(actionOf(window, "scanAct"));
    QVERIFY(scanButton);

    // On a tool button and beside the buttons; a menu run with exec() would be ended by the closer.
    const QPoint onButton = scanButton->mapTo(&window, scanButton->rect().center());
    const QPoint besideButtons = toolBar->mapTo(&window, QPoint(toolBar->width() - 10, toolBar->height() / 2));
    for (const QPoint &pos : {onButton, besideButtons}) {
        PopupCloser closer(300);
        QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, pos);
        QTest::qWait(20);
        QWidget *popup = QApplication::activePopupWidget();
        if (popup)
            popup->close();
        QCOMPARE(popup, nullptr);
        QCOMPARE(closer.closed, QStringList());
    }
}

// ---------------------------------------------------------------------------------------------
// Actions, tool bar and context menu

void TestMainWindow::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<QString>("statusTip");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("scan") << "scanAct"
                          << ":/scan"
                          << "Scan / Refresh" << QKeySequence(Qt::Key_F5) << "Detect and list devices in network"
                          << "Detect and list devices in network [F5]";
    QTest::newRow("edit") << "editAct"
                          << ":/edit"
                          << "Edit network settings" << QKeySequence(Qt::CTRL | Qt::Key_E)
                          << "Edit currently selected device"
                          << "Edit currently selected device [Ctrl+E]";
    QTest::newRow("set up") << "setUpAct"
                            << ":/setup"
                            << "Set up selected devices…" << QKeySequence()
                            << "Set up the network configuration of the selected devices at once"
                            << "Set up the network configuration of the selected devices at once";
    // The tool tip of the about action is the toolkit's: its text.
    QTest::newRow("about") << "aboutAct"
                           << ":/about"
                           << "About" << QKeySequence() << QString() << "About";
    QTest::newRow("web") << "webAct"
                         << ":/web"
                         << "Open in web browser" << QKeySequence(Qt::CTRL | Qt::Key_W)
                         << "Open currently selected device in a web browser (works only if device is properly "
                            "configured)"
                         << "Open currently selected device in a web browser [Ctrl+W]. Works only if device is "
                            "properly configured.";
    QTest::newRow("export") << "exportAct"
                            << ":/exportconn"
                            << "Export connection for Quillo" << QKeySequence(Qt::CTRL | Qt::Key_X)
                            << "Export connections to a xml file for Quillo"
                            << "Export connections to a xml file for Quillo [Ctrl+X].";
    QTest::newRow("delete") << "deletePwAct"
                            << ":/trash"
                            << "Delete stored password" << QKeySequence(Qt::Key_Delete)
                            << "Delete locally stored password for selected connections"
                            << "Delete locally stored password for selected connections [Del].";
}

void TestMainWindow::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, icon);
    QFETCH(QString, text);
    QFETCH(QKeySequence, shortcut);
    QFETCH(QString, statusTip);
    QFETCH(QString, toolTip);

    MainWindow window;
    QAction *action = window.findChild<QAction *>(name);
    QVERIFY(action);
    QCOMPARE(action->parent(), &window);
    QCOMPARE(action->text(), text);
    QCOMPARE(action->shortcuts(), shortcut.isEmpty() ? QList<QKeySequence>() : QList<QKeySequence>{shortcut});
    QCOMPARE(action->statusTip(), statusTip);
    QCOMPARE(action->toolTip(), toolTip);
    QVERIFY(!action->isCheckable());
    QVERIFY(!action->icon().isNull());
    QCOMPARE(action->icon().pixmap(16).toImage(), QIcon(icon).pixmap(16).toImage());
}

void TestMainWindow::toolBarAndMenus()
{
    MainWindow window;
    QAction *scanAct = actionOf(window, "scanAct");
    QAction *editAct = actionOf(window, "editAct");
    QAction *setUpAct = actionOf(window, "setUpAct");
    QAction *aboutAct = actionOf(window, "aboutAct");
    QAction *webAct = actionOf(window, "webAct");
    QAction *exportAct = actionOf(window, "exportAct");
    QAction *deletePwAct = actionOf(window, "deletePwAct");

    // The only tool bar: scan, edit, set up, about, the interface choice, the filter; text beside icons, no
    // title, at the top.
    const QList<QToolBar *> toolBars = window.findChildren<QToolBar *>();
    QCOMPARE(toolBars.size(), 1);
    QToolBar *toolBar = toolBars.first();
    QCOMPARE(toolBar->objectName(), QStringLiteral("toolBar"));
    QCOMPARE(toolBar->actions().mid(0, 4), (QList<QAction *>{scanAct, editAct, setUpAct, aboutAct}));
    QCOMPARE(toolBar->widgetForAction(toolBar->actions().at(6)), window.findChild<InterfaceBox *>());
    QCOMPARE(toolBar->widgetForAction(toolBar->actions().last())->accessibleName(), u"Filter devices"_qs);
    QCOMPARE(toolBar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    QVERIFY(toolBar->windowTitle().isEmpty());
    QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);

    // The table's context menu: edit, set up, web | export | delete.
    QMenu *menu = contextMenuOf(window);
    QVERIFY(menu);
    const QList<QAction *> items = menu->actions();
    QCOMPARE(items.size(), 10);
    QCOMPARE(items.at(0), editAct);
    QCOMPARE(items.at(1), setUpAct);
    QCOMPARE(items.at(2), webAct);
    QVERIFY(items.at(3)->isSeparator());
    QCOMPARE(items.at(4), exportAct);
    QVERIFY(items.at(5)->isSeparator());
    QCOMPARE(items.at(6), deletePwAct);
    // Then the automatic scan's choices and the device history.
    QVERIFY(items.at(7)->isSeparator());
    QCOMPARE(items.at(8)->menu()->objectName(), QStringLiteral("scanMenu"));
    QCOMPARE(items.at(9)->objectName(), QStringLiteral("historyAct"));

    // The three actions in no tool bar belong to the window, so that their shortcuts work in it.
    QCOMPARE(window.actions(), (QList<QAction *>{webAct, exportAct, deletePwAct}));
}

void TestMainWindow::shortcuts_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("dialog"); // class of the modal dialog that comes up, if any
    QTest::addColumn<QString>("url");    // the URL handed to the desktop, if any

    QTest::newRow("Ctrl+E edits") << QKeySequence(Qt::CTRL | Qt::Key_E) << "ConnectionDialog" << QString();
    QTest::newRow("Ctrl+W opens the web page")
        << QKeySequence(Qt::CTRL | Qt::Key_W) << QString() << "http://10.0.0.1/index.cgi";
    QTest::newRow("Ctrl+X exports") << QKeySequence(Qt::CTRL | Qt::Key_X) << "QFileDialog" << QString();
    QTest::newRow("Del deletes the stored password") << QKeySequence(Qt::Key_Delete) << "QMessageBox" << QString();
}

void TestMainWindow::shortcuts()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QString, dialog);
    QFETCH(QString, url);

    storeCredentials({MacA});
    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")));
    showActive(window);
    DeviceTableView *view = viewOf(window);
    view->setCurrentIndex(shownIndex(window, 0, 0));
    QCOMPARE(enabledActions(window), (QStringList{"edit", "web", "export", "delete"}));

    UrlCatcher catcher;
    ModalAnswerer answerer([](QWidget *modal) { ModalAnswerer::press(modal, QMessageBox::Cancel); });

    view->setFocus();
    QTest::keySequence(view, keys);
    QTRY_VERIFY(!QApplication::activeModalWidget());

    QStringList dialogs;
    for (const ModalAnswerer::Seen &seen : std::as_const(answerer.seen))
        dialogs.append(seen.className);
    QCOMPARE(dialogs, dialog.isEmpty() ? QStringList() : QStringList{dialog});
    QStringList urls;
    for (const QUrl &opened : std::as_const(catcher.urls))
        urls.append(opened.toString());
    QCOMPARE(urls, url.isEmpty() ? QStringList() : QStringList{url});
}

// ---------------------------------------------------------------------------------------------
// Enabling the actions

void TestMainWindow::updateActions_data()
{
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("enabled");

    const QByteArrayList panoryx = device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1"));
    const QByteArrayList motilux = device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2"));
    const QByteArrayList veltraNet = device(MacA, QStringLiteral("VeltraNET-4.3"), QStringLiteral("10.0.0.1"));
    const QByteArrayList infoOnly = {Replies::info(MacA, QStringLiteral("Panoryx-III"))};
    const QByteArrayList configOnly = {Replies::config(MacA, QStringLiteral("lobby"), QStringLiteral("10.0.0.1"))};
    const QString lowerMacA = MacA.toLower();
    const QStringList none;
    const QStringList all = {"edit", "web", "export", "delete"};

    QTest::newRow("nothing selected") << panoryx + motilux << QList<int>{} << QStringList{MacA} << none;
    QTest::newRow("row without address") << infoOnly << QList<int>{0} << none << none;
    QTest::newRow("row without address, credentials stored")
        << infoOnly << QList<int>{0} << QStringList{MacA} << QStringList{"delete"};
    QTest::newRow("row without device type") << configOnly << QList<int>{0} << none << none;
    QTest::newRow("row without device type, credentials stored")
        << configOnly << QList<int>{0} << QStringList{MacA} << QStringList{"delete"};
    QTest::newRow("complete row") << panoryx << QList<int>{0} << none << QStringList{"edit", "web", "export"};
    QTest::newRow("complete row, credentials stored") << panoryx << QList<int>{0} << QStringList{MacA} << all;
    QTest::newRow("complete row, credentials of another device")
        << panoryx << QList<int>{0} << QStringList{MacB} << QStringList{"edit", "web", "export"};
    QTest::newRow("complete row, credentials under the MAC in lower case")
        << panoryx << QList<int>{0} << QStringList{lowerMacA} << QStringList{"edit", "web", "export"};
    QTest::newRow("row sent in lower case, credentials in upper case")
        << device(lowerMacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")) << QList<int>{0}
        << QStringList{MacA} << QStringList{"edit", "web", "export"};
    QTest::newRow("two complete rows") << panoryx + motilux << QList<int>{0, 1} << none
                                       << QStringList{"export", "setup"};
    QTest::newRow("two complete rows, credentials for both")
        << panoryx + motilux << QList<int>{0, 1} << QStringList{MacA, MacB} << QStringList{"export", "setup"};
    QTest::newRow("VeltraNET row") << veltraNet << QList<int>{0} << none << QStringList{"edit", "web"};
    QTest::newRow("Veltra row that is no VeltraNET")
        << device(MacA, QStringLiteral("Veltra-Cam"), QStringLiteral("10.0.0.1")) << QList<int>{0} << none
        << QStringList{"edit", "web", "export"};
    QTest::newRow("veltranet in lower case")
        << device(MacA, QStringLiteral("veltranet-III"), QStringLiteral("10.0.0.1")) << QList<int>{0} << none
        << QStringList{"edit", "web", "export"};
    QTest::newRow("VeltraNET row and another device")
        << veltraNet + motilux << QList<int>{0, 1} << none << QStringList{"export", "setup"};
    QTest::newRow("VeltraNET row and a row without address")
        << veltraNet + QByteArrayList{Replies::info(MacB, QStringLiteral("Motilux-II"))} << QList<int>{0, 1} << none
        << QStringList{"setup"};
    QTest::newRow("complete row and a row without device type")
        << panoryx + QByteArrayList{Replies::config(MacB, QStringLiteral("hall"), QStringLiteral("10.0.0.2"))}
        << QList<int>{0, 1} << none << QStringList{"export", "setup"};
    // Failed replies put "N/A" into their cells: a value, so the row counts as complete.
    QTest::newRow("cells filled with N/A by failed replies")
        << QByteArrayList{Replies::info(MacA, QStringLiteral("x"), QStringLiteral("1.0"), QStringLiteral("12"), Failed),
                          Replies::config(MacA, QStringLiteral("x"), QStringLiteral("10.0.0.1"), QStringLiteral("0"),
                                          Failed)}
        << QList<int>{0} << QStringList{MacA} << all;
    QTest::newRow("three rows selected") << panoryx + motilux +
                                                device(MacC, QStringLiteral("Panoryx-4.3"), QStringLiteral("10.0.0.3"))
                                         << QList<int>{0, 1, 2} << QStringList{MacA, MacB, MacC}
                                         << QStringList{"export", "setup"};
}

void TestMainWindow::updateActions()
{
    QFETCH(QByteArrayList, replies);
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, enabled);

    storeCredentials(stored);
    MainWindow window;
    feed(window, replies);
    selectRows(window, selected);
    QCOMPARE(viewOf(window)->selectionModel()->selectedRows().size(), selected.size());

    QCOMPARE(enabledActions(window), enabled);
    QVERIFY(actionOf(window, "scanAct")->isEnabled());
    QVERIFY(actionOf(window, "aboutAct")->isEnabled());
}

void TestMainWindow::updateActionsFollowsSelectionAndInsertion()
{
    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")) +
                     device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")));
    QCOMPARE(enabledActions(window), QStringList());

    // A selection change re-evaluates.
    selectRows(window, {0});
    QCOMPARE(enabledActions(window), (QStringList{"edit", "web", "export"}));

    // New credentials alone change nothing until the next re-evaluation ...
    storeCredentials({MacA});
    QCOMPARE(enabledActions(window), (QStringList{"edit", "web", "export"}));
    // ... which a new row brings, the selection staying as it is.
    feed(window, {Replies::info(MacC, QStringLiteral("Panoryx-4.3"))});
    QCOMPARE(modelOf(window)->rowCount(), 3);
    QCOMPARE(viewOf(window)->selectionModel()->selectedRows(), QModelIndexList{shownIndex(window, 0, 0)});
    QCOMPARE(enabledActions(window), (QStringList{"edit", "web", "export", "delete"}));

    // Another selection: the row without an address.
    viewOf(window)->selectionModel()->select(shownIndex(window, 2, 0),
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(enabledActions(window), QStringList());
    selectRows(window, {1});
    QCOMPARE(enabledActions(window), (QStringList{"export", "setup"}));
}

// ---------------------------------------------------------------------------------------------
// Context menu of the table

void TestMainWindow::contextMenu_data()
{
    QTest::addColumn<QString>("where");       // "row" or "empty"
    QTest::addColumn<bool>("rightClick");     // a right click, or a context-menu event alone
    QTest::addColumn<QStringList>("enabled"); // the selection-dependent actions enabled afterwards

    // A right click on a row selects it (the view's own behaviour); one in the empty area leaves the
    // selection as it is. The menu follows the selection.
    QTest::newRow("right click on a row") << "row" << true << QStringList{"edit", "web", "export"};
    QTest::newRow("right click on the empty area") << "empty" << true << QStringList{"edit", "web"};
    // Without a click, the row under the pointer does not matter: the VeltraNET row stays selected.
    QTest::newRow("menu event over another row") << "row" << false << QStringList{"edit", "web"};
    QTest::newRow("menu event over the empty area") << "empty" << false << QStringList{"edit", "web"};
}

void TestMainWindow::contextMenu()
{
    QFETCH(QString, where);
    QFETCH(bool, rightClick);
    QFETCH(QStringList, enabled);

    MainWindow window;
    feed(window, device(MacA, QStringLiteral("VeltraNET-III"), QStringLiteral("10.0.0.1")) +
                     device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    DeviceTableView *view = viewOf(window);
    selectRows(window, {0});
    QMenu *menu = contextMenuOf(window);
    QVERIFY(menu);
    QVERIFY(!menu->isVisible());

    QWidget *viewport = view->viewport();
    const QPoint pos = where == QLatin1String("row")
                           ? view->visualRect(shownIndex(window, 1, DeviceModel::HostnameColumn)).center()
                           : QPoint(20, viewport->height() - 10);
    QVERIFY(!view->indexAt(pos).isValid() == (where == QLatin1String("empty")));
    const QPoint globalPos = viewport->mapToGlobal(pos);

    QSignalSpy popups(view, &DeviceTableView::popup);
    PopupCloser closer(2000); // a menu run with exec() would hold the test here
    if (rightClick) {
        QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, viewport->mapTo(&window, pos));
    } else {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, globalPos);
        QApplication::sendEvent(viewport, &event);
    }

    QCOMPARE(popups.size(), 1);
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(QApplication::activePopupWidget(), menu);
    QCOMPARE(menu->pos(), globalPos);
    QCOMPARE(menu->activeAction(), nullptr);
    QCOMPARE(enabledActions(window), enabled);
    menu->close();
    QVERIFY(closer.closed.isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Commands complete in themselves

void TestMainWindow::aboutBox()
{
    MainWindow window;
    QPointer<QWidget> parent;
    bool withIcon = false;
    Qt::TextFormat format = Qt::PlainText;
    ModalAnswerer answerer([&](QWidget *modal) {
        parent = modal->parentWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            withIcon = !box->iconPixmap().isNull(); // the window's icon
            format = box->textFormat();
        }
        ModalAnswerer::press(modal, QMessageBox::Ok);
    });
    actionOf(window, "aboutAct")->trigger();

    QCOMPARE(answerer.seen.size(), 1);
    const ModalAnswerer::Seen about = answerer.seen.first();
    QCOMPARE(about.className, QStringLiteral("QMessageBox"));
    QCOMPARE(parent.data(), &window);
    QCOMPARE(about.title, QStringLiteral("About Veltra Device Finder"));
    QVERIFY(withIcon);
    QVERIFY(format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(about.text)));

    const QString expected =
        QStringLiteral("<h2>Veltra Device Finder</h2>Version 1.2.0.34632"
                       "<p><b>Veltra Device Finder</b> is a user-friendly application to scan the local network "
                       "for installed Orvane devices and easily change their network configuration"
                       "<p>Using Qt Version: <b>") +
        QLatin1String(QT_VERSION_STR) +
        QStringLiteral("</b><p>Supported devices:<ul>"
                       "<li>VeltraNET-4.3 version 1.8.0 or newer</li>"
                       "<li>VeltraNET-III version 5.6.0 or newer</li>"
                       "<li>Panoryx-4.3 version 1.6.0 or newer</li>"
                       "<li>Panoryx-III version 1.8.0 or newer</li>"
                       "<li>Motilux-II version 2.2.0 or newer</li>"
                       "<li>Motilux-III version 1.0.0 or newer</li>"
                       "</ul>");
    QCOMPARE(about.text, expected);

    // The devices as one bulleted list, in order.
    const QRegularExpression list(QStringLiteral("<ul>(.*)</ul>"));
    const QRegularExpressionMatch match = list.match(about.text);
    QVERIFY(match.hasMatch());
    QStringList devices;
    QRegularExpressionMatchIterator items =
        QRegularExpression(QStringLiteral("<li>([^<]*)</li>")).globalMatch(match.captured(1));
    while (items.hasNext())
        devices.append(items.next().captured(1).section(QLatin1Char(' '), 0, 0));
    QCOMPARE(devices, (QStringList{"VeltraNET-4.3", "VeltraNET-III", "Panoryx-4.3", "Panoryx-III", "Motilux-II",
                                   "Motilux-III"}));
}

void TestMainWindow::launchBrowser_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("current"); // row of the current index; -1: none
    QTest::addColumn<QString>("url");

    QTest::newRow("selected row") << QList<int>{1} << 1 << "http://10.0.0.2/index.cgi";
    // The selection names the device, wherever the current index is.
    QTest::newRow("current index on another row") << QList<int>{0} << 1 << "http://10.0.0.1/index.cgi";
    QTest::newRow("selected row, no current index") << QList<int>{1} << -1 << "http://10.0.0.2/index.cgi";
    QTest::newRow("nothing selected, current index on a row") << QList<int>{} << 1 << QString();
    QTest::newRow("two rows selected") << QList<int>{0, 1} << 1 << QString();
    // Only a plain IPv4 address becomes the page's host; anything else opens nothing.
    QTest::newRow("selected row without address") << QList<int>{2} << 2 << QString();
    QTest::newRow("address with a user part") << QList<int>{3} << 3 << QString();
    QTest::newRow("failed reply's N/A") << QList<int>{4} << 4 << QString();
}

void TestMainWindow::launchBrowser()
{
    QFETCH(QList<int>, selected);
    QFETCH(int, current);
    QFETCH(QString, url);

    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")) +
                     device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")) +
                     QByteArrayList{Replies::info(MacC, QStringLiteral("Motilux-III"))} +
                     device(MacD, QStringLiteral("Motilux-II"), QStringLiteral("a@evil.example")) +
                     QByteArrayList{Replies::config(MacE, QString(), QString(), QStringLiteral("0"), 1)});
    selectRows(window, selected);
    const QModelIndex currentIndex =
        current >= 0 ? shownIndex(window, current, DeviceModel::StatusColumn) : QModelIndex();
    viewOf(window)->selectionModel()->setCurrentIndex(currentIndex, QItemSelectionModel::NoUpdate);

    UrlCatcher catcher;
    ModalAnswerer answerer;
    QVERIFY(QMetaObject::invokeMethod(&window, "launchBrowser"));

    if (url.isEmpty()) {
        QVERIFY(catcher.urls.isEmpty());
        QVERIFY(answerer.seen.isEmpty());
        return;
    }
    QCOMPARE(catcher.urls.size(), 1);
    const QUrl opened = catcher.urls.first();
    QCOMPARE(opened.toString(), url);
    QCOMPARE(opened.scheme(), QStringLiteral("http"));
    QCOMPARE(opened.path(), QStringLiteral("/index.cgi"));
    QCOMPARE(opened.host(), QUrl(url).host());
    QVERIFY(answerer.seen.isEmpty());
}

void TestMainWindow::commandsActOnTheSelectedRow_data()
{
    QTest::addColumn<QString>("gesture"); // moves the current index to the second row, leaving it unselected
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("acted"); // the MAC in the settings dialog, or the URL opened

    const QString pageA = QStringLiteral("http://10.0.0.1/index.cgi");
    for (const char *gesture : {"Ctrl+click twice", "Ctrl+Down", "Ctrl+right-click"}) {
        QTest::addRow("%s, Ctrl+E", gesture) << gesture << QKeySequence(Qt::CTRL | Qt::Key_E) << MacA;
        QTest::addRow("%s, Ctrl+W", gesture) << gesture << QKeySequence(Qt::CTRL | Qt::Key_W) << pageA;
    }
}

void TestMainWindow::commandsActOnTheSelectedRow()
{
    QFETCH(QString, gesture);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, acted);

    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")) +
                     device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")));
    showActive(window);
    DeviceTableView *view = viewOf(window);
    QWidget *viewport = view->viewport();
    const QPoint onA = view->visualRect(shownIndex(window, 0, DeviceModel::HostnameColumn)).center();
    const QPoint onB = view->visualRect(shownIndex(window, 1, DeviceModel::HostnameColumn)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, onA);

    QStringList seen;
    ModalAnswerer answerer([&seen](QWidget *modal) {
        if (auto *dialog = qobject_cast<ConnectionDialog *>(modal))
            seen.append(dialog->macAddress());
        ModalAnswerer::press(modal, QMessageBox::Cancel);
    });
    UrlCatcher catcher;
    if (gesture == QLatin1String("Ctrl+click twice")) {
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, onB);
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, onB);
    } else if (gesture == QLatin1String("Ctrl+Down")) {
        QTest::keyClick(view, Qt::Key_Down, Qt::ControlModifier);
    } else {
        PopupCloser closer(2000); // a menu run with exec() would hold the test here
        QTest::mouseClick(window.windowHandle(), Qt::RightButton, Qt::ControlModifier, viewport->mapTo(&window, onB));
        QTRY_VERIFY(QApplication::activePopupWidget());
        QApplication::activePopupWidget()->close();
    }
    // Only A is highlighted while the current index stands on B.
    QCOMPARE(view->currentIndex().row(), 1);
    QCOMPARE(view->selectionModel()->selectedRows(), QModelIndexList{shownIndex(window, 0, 0)});
    QVERIFY(seen.isEmpty());

    QTest::keySequence(view, keys);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    for (const QUrl &opened : std::as_const(catcher.urls))
        seen.append(opened.toString());
    QCOMPARE(seen, QStringList{acted});
}

void TestMainWindow::deleteStoredPassword_data()
{
    QTest::addColumn<QString>("answer");       // "ok", "cancel" or "escape"
    QTest::addColumn<QStringList>("vanished"); // entries removed elsewhere while the question is open
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<bool>("enabledAfter");

    const QString lowerMacA = MacA.toLower();
    QTest::newRow("cancel") << "cancel" << QStringList{} << QStringList{MacA, MacB, lowerMacA} << true;
    QTest::newRow("escape") << "escape" << QStringList{} << QStringList{MacA, MacB, lowerMacA} << true;
    QTest::newRow("ok removes the exact entry") << "ok" << QStringList{} << QStringList{MacB, lowerMacA} << false;
    QTest::newRow("ok with no stored entry left") << "ok" << QStringList{MacA} << QStringList{MacB, lowerMacA} << false;
}

void TestMainWindow::deleteStoredPassword()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, vanished);
    QFETCH(QStringList, remaining);
    QFETCH(bool, enabledAfter);

    storeCredentials({MacA, MacB, MacA.toLower()});
    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")) +
                     device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    selectRows(window, {0});
    QAction *deletePwAct = actionOf(window, "deletePwAct");
    QVERIFY(deletePwAct->isEnabled());

    QPointer<QWidget> parent;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalAnswerer answerer([&](QWidget *modal) {
        parent = modal->parentWidget();
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            ModalAnswerer::press(modal, QMessageBox::Cancel);
            return;
        }
        buttons = box->standardButtons();
        icon = box->icon();
        for (const QString &mac : std::as_const(vanished))
            CredentialStore::remove(mac);
        if (answer == QLatin1String("escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        else
            ModalAnswerer::press(box, answer == QLatin1String("ok") ? QMessageBox::Ok : QMessageBox::Cancel);
    });
    deletePwAct->trigger();

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().className, QStringLiteral("QMessageBox"));
    QCOMPARE(answerer.seen.first().title, QStringLiteral("Store deleted password"));
    QCOMPARE(answerer.seen.first().text,
             QStringLiteral("Do you really want to delete stored password for selected connections?"));
    QCOMPARE(parent.data(), &window);
    QCOMPARE(buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(icon, QMessageBox::Question);

    remaining.sort();
    QCOMPARE(sortedStoredKeys(), remaining);
    QCOMPARE(deletePwAct->isEnabled(), enabledAfter);
    // Nothing else of the window changes.
    QCOMPARE(enabledActions(window).mid(0, 3), (QStringList{"edit", "web", "export"}));
}

void TestMainWindow::moveToTop_data()
{
    QTest::addColumn<bool>("shown");

    QTest::newRow("hidden window") << false;
    QTest::newRow("shown window") << true;
}

void TestMainWindow::moveToTop()
{
    QFETCH(bool, shown);

    MainWindow window;
    if (shown) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(!flags.testFlag(Qt::WindowStaysOnTopHint));
    // The flags the window is shown with: once on top, then its own again.
    QList<Qt::WindowFlags> shownWith;
    ShowWatcher watcher(&shownWith);
    window.installEventFilter(&watcher);

    window.moveToTop();

    QCOMPARE(window.windowFlags(), flags);
    QVERIFY(window.isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!shownWith.isEmpty());
    QVERIFY(shownWith.first().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(shownWith.last(), flags);
}

// ---------------------------------------------------------------------------------------------
// Wiring

void TestMainWindow::transceiverWarningShowsWarningBox()
{
    MainWindow window;
    QPointer<QWidget> parent;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalAnswerer answerer([&](QWidget *modal) {
        parent = modal->parentWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            buttons = box->standardButtons();
            icon = box->icon();
        }
        ModalAnswerer::press(modal, QMessageBox::Ok);
    });

    emit transceiverOf(window)->warningMessage(QStringLiteral("Some title"), QStringLiteral("Some text"));

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().className, QStringLiteral("QMessageBox"));
    QCOMPARE(answerer.seen.first().title, QStringLiteral("Some title"));
    QCOMPARE(answerer.seen.first().text, QStringLiteral("Some text"));
    QCOMPARE(parent.data(), &window);
    QCOMPARE(buttons, QMessageBox::Ok);
    QCOMPARE(icon, QMessageBox::Warning);
}

void TestMainWindow::doubleClickEditsThatRow_data()
{
    QTest::addColumn<bool>("mouse"); // a double click, or the view's signal alone

    QTest::newRow("double click") << true;
    QTest::newRow("doubleClicked with another current row") << false;
}

void TestMainWindow::doubleClickEditsThatRow()
{
    QFETCH(bool, mouse);

    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")) +
                     device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    DeviceTableView *view = viewOf(window);
    view->setCurrentIndex(shownIndex(window, 0, 0));

    QStringList edited;
    ModalAnswerer answerer([&](QWidget *modal) {
        if (auto *dialog = qobject_cast<ConnectionDialog *>(modal))
            edited.append(dialog->macAddress());
        ModalAnswerer::press(modal, QMessageBox::Cancel);
    });
    const QModelIndex target = shownIndex(window, 1, DeviceModel::IpConfigColumn);
    if (mouse) {
        const QPoint pos = view->visualRect(target).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, pos);
    } else
        emit view->doubleClicked(target);

    QTRY_COMPARE(edited, QStringList{MacB});
    QCOMPARE(answerer.seen.size(), 1);
}

void TestMainWindow::modelRequestsGoOutThroughTransceiver()
{
    REQUIRE_ISOLATED_NETWORK();
    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")));
    QSignalSpy sent(transceiverOf(window), &PacketTransceiver::requestSent);
    ModalAnswerer answerer;

    emit modelOf(window)->sendGetEthConfiguration(MacA);
    emit modelOf(window)->sendRestartNetwork(MacA);

    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.at(0), (QVariantList{7, MacA}));
    QCOMPARE(sent.at(1), (QVariantList{1, MacA}));
    // The transceiver's announcement reaches the model: the restart shows in the row.
    QCOMPARE(cell(window, 0, DeviceModel::StatusColumn), QStringLiteral("Applying new parameters..."));
}

// ---------------------------------------------------------------------------------------------
// Scan cycle

void TestMainWindow::checkDeviceCount_data()
{
    QTest::addColumn<QByteArrayList>("replies"); // of the device between two complete ones
    QTest::addColumn<QString>("status");         // its status after the count check

    QTest::newRow("complete, only the status is empty")
        << device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")) << QString();
    // A cell is missing only when no reply filled it: empty texts that the device sent count.
    QTest::newRow("firmware empty") << QByteArrayList{Replies::info(MacB, QStringLiteral("Motilux-II"), QString()),
                                                      Replies::config(MacB, QStringLiteral("hall"),
                                                                      QStringLiteral("10.0.0.2"))}
                                    << QString();
    QTest::newRow("device name empty") << device(MacB, QString(), QStringLiteral("10.0.0.2")) << QString();
    QTest::newRow("host name empty") << QByteArrayList{Replies::info(MacB, QStringLiteral("Motilux-II")),
                                                       Replies::config(MacB, QString(), QStringLiteral("10.0.0.2"))}
                                     << QString();
    QTest::newRow("address empty") << device(MacB, QStringLiteral("Motilux-II"), QString()) << QString();
    QTest::newRow("no network configuration")
        << QByteArrayList{Replies::info(MacB, QStringLiteral("Motilux-II"))} << PacketLostText;
    QTest::newRow("no device information")
        << QByteArrayList{Replies::config(MacB, QStringLiteral("hall"), QStringLiteral("10.0.0.2"))} << PacketLostText;
    // "N/A" is text: the rows keep the status their failed reply gave them.
    QTest::newRow("device information failed: N/A")
        << QByteArrayList{Replies::info(MacB, QStringLiteral("x"), QStringLiteral("1.0"), QStringLiteral("12"), Failed),
                          Replies::config(MacB, QStringLiteral("hall"), QStringLiteral("10.0.0.2"))}
        << QString();
    QTest::newRow("network configuration failed: N/A")
        << QByteArrayList{Replies::info(MacB, QStringLiteral("Motilux-II")),
                          Replies::config(MacB, QStringLiteral("x"), QStringLiteral("10.0.0.2"), QStringLiteral("0"),
                                          Failed)}
        << QStringLiteral("Request failed");
    QTest::newRow("MAC text in lower case, no network configuration")
        << QByteArrayList{Replies::info(MacB.toLower(), QStringLiteral("Motilux-II"), QString())} << PacketLostText;
}

void TestMainWindow::checkDeviceCount()
{
    QFETCH(QByteArrayList, replies);
    QFETCH(QString, status);

    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")));
    feed(window, replies);
    feed(window, device(MacC, QStringLiteral("Panoryx-4.3"), QStringLiteral("10.0.0.3")));
    DeviceModel *model = modelOf(window);
    QCOMPARE(model->rowCount(), 3);

    ModalAnswerer answerer;
    QVERIFY(QMetaObject::invokeMethod(&window, "checkDeviceCount"));

    QCOMPARE(cell(window, 1, DeviceModel::StatusColumn), status);
    if (status == PacketLostText) {
        QCOMPARE(model->index(1, DeviceModel::MacAddressColumn).data(DeviceModel::StateIdRole).toInt(), 5);
        QVERIFY(!model->index(1, DeviceModel::StatusColumn).data(Qt::DecorationRole).value<QIcon>().isNull());
    }
    // The complete rows around it are left alone, and rows mean no message.
    for (int row : {0, 2}) {
        QCOMPARE(cell(window, row, DeviceModel::StatusColumn), QString());
        QCOMPARE(model->index(row, DeviceModel::MacAddressColumn).data(DeviceModel::StateIdRole).toInt(), 0);
    }
    QVERIFY(answerer.seen.isEmpty());
    QCOMPARE(model->rowCount(), 3);
}

void TestMainWindow::scanClearsTableAndSendsBothRequests()
{
    REQUIRE_ISOLATED_NETWORK();
    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")));
    selectRows(window, {0});
    QCOMPARE(enabledActions(window), (QStringList{"edit", "web", "export"}));

    QElapsedTimer clock;
    QList<SentRequest> sent;
    recordRequests(window, &sent, &clock);
    ModalAnswerer answerer;
    QTimer *countTimer = countTimerOf(window);
    clock.start();
    actionOf(window, "scanAct")->trigger();

    QCOMPARE(modelOf(window)->rowCount(), 0);
    QCOMPARE(enabledActions(window), QStringList());
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.at(0).messageId, 11);
    QCOMPARE(sent.at(0).mac, BroadcastMac);
    QCOMPARE(sent.at(1).messageId, 7);
    QCOMPARE(sent.at(1).mac, BroadcastMac);
    QVERIFY2(sent.at(1).at - sent.at(0).at >= 100, qPrintable(QString::number(sent.at(1).at - sent.at(0).at)));
    QVERIFY(countTimer->isActive());
    if (transceiverOf(window)->interfaceNames().isEmpty())
        QCOMPARE(noInterfaceWarnings(answerer), 2);
    QVERIFY(withoutWarnings(answerer).isEmpty());
    countTimer->stop();
}

void TestMainWindow::repeatedScanGivesOneCountCheck()
{
    REQUIRE_ISOLATED_NETWORK();
    MainWindow window;
    showActive(window);
    QTimer *countTimer = countTimerOf(window);

    QElapsedTimer clock;
    clock.start();
    QList<SentRequest> sent;
    recordRequests(window, &sent, &clock);
    QList<qint64> checks; // when the empty scan was reported
    ModalAnswerer answerer([&](QWidget *modal) {
        if (modal->windowTitle() != NoInterfaceTitle)
            checks.append(clock.elapsed());
        ModalAnswerer::press(modal, QMessageBox::Ok); // a choice dialog is cancelled
    });

    QTest::keyClick(viewOf(window), Qt::Key_F5);
    QCOMPARE(sent.size(), 2);
    QTest::qWait(1000);
    showActive(window); // the boxes of the first scan may have taken the activation
    QTest::keyClick(viewOf(window), Qt::Key_F5);
    QCOMPARE(sent.size(), 4);

    QTRY_COMPARE_WITH_TIMEOUT(checks.size(), 1, 6000);
    // One check, the full wait after the second scan's last request; the first scan's check
    // would have come about 2000 ms after that.
    const qint64 wait = checks.first() - sent.last().at;
    QVERIFY2(wait >= 3000 && wait < 4000, qPrintable(QString::number(wait)));
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QVERIFY(!countTimer->isActive());
    QCOMPARE(checks.size(), 1);
    QCOMPARE(sent.size(), 4);
}

void TestMainWindow::emptyScanOffersAnotherInterface()
{
    REQUIRE_ISOLATED_NETWORK();
    MainWindow window;
    PacketTransceiver *transceiver = transceiverOf(window);
    QTimer *countTimer = countTimerOf(window);

    if (!PacketTransceiver::sendsPerInterface()) {
        ModalAnswerer answerer([](QWidget *modal) { ModalAnswerer::press(modal, QMessageBox::Ok); });
        QVERIFY(QMetaObject::invokeMethod(&window, "checkDeviceCount"));
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().className, QStringLiteral("QMessageBox"));
        QCOMPARE(answerer.seen.first().title, AppName);
        QCOMPARE(answerer.seen.first().text, QStringLiteral("No devices found!"));
        QVERIFY(!countTimer->isActive());
        return;
    }

    struct Choice
    {
        QString label;
        QStringList items;
        bool editable = true;
        QWidget *parent = nullptr;
        Qt::WindowFlags flags;
        qint64 at = 0;
    };
    QList<Choice> choices;
    QElapsedTimer clock;
    ModalAnswerer answerer([&](QWidget *modal) {
        auto *input = qobject_cast<QInputDialog *>(modal);
        if (!input) {
            ModalAnswerer::press(modal, QMessageBox::Ok);
            return;
        }
        choices.append({input->labelText(), input->comboBoxItems(), input->isComboBoxEditable(), input->parentWidget(),
                        input->windowFlags(), clock.elapsed()});
        // The first choice is confirmed, the second cancelled.
        if (choices.size() == 1)
            input->accept();
        else
            input->reject();
    });
    QSignalSpy sent(transceiver, &PacketTransceiver::requestSent);

    // A scan that found nothing has ended.
    clock.start();
    QVERIFY(QMetaObject::invokeMethod(&window, "checkDeviceCount"));

    // Asked once the host's checks, on a thread of their own, have answered.
    QTRY_COMPARE(choices.size(), 1);
    const QString address =
        transceiver->interfaceNames().isEmpty() ? QStringLiteral("0.0.0.0") : transceiver->currentInterfaceAddress();
    const Choice first = choices.first();
    const QString asked =
        QStringLiteral("No device replied on %1.<p>Try another network interface or cancel?").arg(address);
    // Without a usable interface, the host's problem and its fix follow the question.
    if (transceiver->interfaceNames().isEmpty())
        QVERIFY2(first.label.startsWith(asked + QStringLiteral("<p>no usable network interface")),
                 qPrintable(first.label));
    else
        QCOMPARE(first.label, asked);
    QCOMPARE(first.items, transceiver->interfaceNames());
    QVERIFY(!first.editable);
    QCOMPARE(first.parent, &window);
    QVERIFY(first.flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!first.flags.testFlag(Qt::WindowContextHelpButtonHint));
    QCOMPARE(answerer.seen.first().title, QStringLiteral("Scan/Refresh"));
    QCOMPARE(answerer.seen.first().className, QStringLiteral("QInputDialog"));

    // OK: a new scan, whose count check asks again 3000 ms later.
    QCOMPARE(sent.size(), 2);
    QVERIFY(countTimer->isActive());
    const qint64 rescanAt = clock.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(choices.size(), 2, 6000);
    QVERIFY2(choices.at(1).at - rescanAt >= 2900, qPrintable(QString::number(choices.at(1).at - rescanAt)));
    QCOMPARE(choices.at(1).label, first.label);

    // Cancel: nothing more.
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QVERIFY(!countTimer->isActive());
    QCOMPARE(sent.size(), 2);
    QCOMPARE(modelOf(window)->rowCount(), 0);
}

void TestMainWindow::incompleteRowsMarkedAfterScan()
{
    REQUIRE_ISOLATED_NETWORK();
    MainWindow window;
    ModalAnswerer answerer;
    QElapsedTimer clock;
    clock.start();
    QList<SentRequest> sent;
    recordRequests(window, &sent, &clock);
    actionOf(window, "scanAct")->trigger();
    QCOMPARE(sent.size(), 2);
    QVERIFY(countTimerOf(window)->isActive());

    // Replies arriving within the wait.
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")));
    feed(window, {Replies::info(MacB, QStringLiteral("Motilux-II"), QString())});
    feed(window, {Replies::config(MacC, QStringLiteral("lobby"), QStringLiteral("10.0.0.3")),
                  Replies::info(MacC, QStringLiteral("x"), QStringLiteral("1.0"), QStringLiteral("12"), Failed)});
    feed(window, {Replies::config(MacD, QStringLiteral("cellar"), QStringLiteral("10.0.0.4"))});
    QCOMPARE(modelOf(window)->rowCount(), 4);
    QCOMPARE(cell(window, 1, DeviceModel::StatusColumn), QString());

    QTRY_COMPARE_WITH_TIMEOUT(cell(window, 1, DeviceModel::StatusColumn), PacketLostText, 6000);
    const qint64 wait = clock.elapsed() - sent.last().at;
    QVERIFY2(wait >= 3000, qPrintable(QString::number(wait)));
    QCOMPARE(cell(window, 0, DeviceModel::StatusColumn), QString());
    QCOMPARE(cell(window, 2, DeviceModel::StatusColumn), QStringLiteral("Request failed"));
    QCOMPARE(cell(window, 3, DeviceModel::StatusColumn), PacketLostText);
    QVERIFY(withoutWarnings(answerer).isEmpty());

    // Replies after the check still update the table.
    feed(window, {Replies::info(MacD, QStringLiteral("Panoryx-4.3"))});
    QCOMPARE(cell(window, 3, DeviceModel::StatusColumn), QString());
    QCOMPARE(cell(window, 3, DeviceModel::DeviceColumn), QStringLiteral("Panoryx-4.3"));
}

void TestMainWindow::failedBindReportedOnEveryAttempt()
{
    REQUIRE_ISOLATED_NETWORK();
    QUdpSocket holder;
    // The transceiver tests use the port too; they may hold it for a moment.
    bool held = false;
    QTRY_VERIFY(held || (held = holder.bind(QHostAddress::AnyIPv4, DevicePort, QUdpSocket::DontShareAddress)));

    MainWindow window;
    feed(window, device(MacA, QStringLiteral("Panoryx-III"), QStringLiteral("10.0.0.1")) +
                     device(MacB, QStringLiteral("Motilux-II"), QStringLiteral("10.0.0.2")));
    QSignalSpy sent(transceiverOf(window), &PacketTransceiver::requestSent);
    QList<QMessageBox::Icon> icons;
    QList<QMessageBox::StandardButtons> buttons;
    ModalAnswerer answerer([&](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            icons.append(box->icon());
            buttons.append(box->standardButtons());
        }
        ModalAnswerer::press(modal, QMessageBox::Ok);
    });
    QTimer *countTimer = countTimerOf(window);

    for (int attempt = 1; attempt <= 2; ++attempt) {
        actionOf(window, "scanAct")->trigger();
        QCOMPARE(answerer.seen.size(), attempt);
        const ModalAnswerer::Seen seen = answerer.seen.last();
        QCOMPARE(seen.className, QStringLiteral("QMessageBox"));
        QCOMPARE(seen.title, QStringLiteral("Scan devices"));
        QCOMPARE(seen.text, QStringLiteral("Could not bind socket! Please check if another application instance is "
                                           "already running!"));
        QCOMPARE(icons.last(), QMessageBox::Critical);
        QCOMPARE(buttons.last(), QMessageBox::Ok);
        QCOMPARE(modelOf(window)->rowCount(), 2);
        QCOMPARE(cell(window, 1, DeviceModel::MacAddressColumn), MacB);
        QCOMPARE(sent.size(), 0);
        QVERIFY(!countTimer->isActive());
    }

    // Once the port is free, the next scan binds and runs.
    holder.close();
    answerer.seen.clear();
    actionOf(window, "scanAct")->trigger();
    QVERIFY(withoutWarnings(answerer).isEmpty());
    QCOMPARE(modelOf(window)->rowCount(), 0);
    QCOMPARE(sent.size(), 2);
    QVERIFY(countTimer->isActive());
    countTimer->stop();
}

// ---------------------------------------------------------------------------------------------
// Interface choice in the tool bar

void TestMainWindow::interfaceBoxChoiceScansAndIsStored()
{
    REQUIRE_ISOLATED_NETWORK();
    MainWindow window([] { return HostInterfaces; });
    auto *box = window.findChild<InterfaceBox *>();
    QCOMPARE(box->currentText(), QStringLiteral("virbr0 (192.168.122.1)"));
    QCOMPARE(box->itemText(3), QStringLiteral("eth0 (10.0.1.5)"));

    // eth0's second address, chosen from the keyboard (each step a choice): current, stored, scanned.
    QSignalSpy sent(transceiverOf(window), &PacketTransceiver::requestSent);
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(transceiverOf(window)->currentInterfaceAddress(), QStringLiteral("10.0.1.5"));
    QCOMPARE(InterfaceChoice::load(), QStringLiteral("eth0"));
    QCOMPARE(sent.size(), 4); // two scans, two requests each
    countTimerOf(window)->stop();
}

void TestMainWindow::allInterfacesChosenAddsTheColumnAndIsStored()
{
    // Restored from the settings with its column (the lab test chooses it in the box); an
    // interface chosen then ends it, column and all.
    REQUIRE_ISOLATED_NETWORK();
    InterfaceChoice::saveAllInterfaces();
    MainWindow window([] { return HostInterfaces; });
    auto *box = window.findChild<InterfaceBox *>();
    QCOMPARE(box->currentText(), QStringLiteral("All interfaces"));
    QCOMPARE(modelOf(window)->headerData(DeviceModel::InterfaceColumn, Qt::Horizontal), QVariant(u"Interface"_qs));
    QTest::keyClick(box, Qt::Key_Down);
    QVERIFY(!transceiverOf(window)->allInterfaces());
    QVERIFY(!InterfaceChoice::allInterfaces());
    QCOMPARE(modelOf(window)->columnCount(), int(DeviceModel::ColumnCount));
    countTimerOf(window)->stop();
}

void TestMainWindow::storedInterfaceRestored_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("current");

    QTest::newRow("stored one present") << QStringLiteral("eth0") << QStringLiteral("10.0.0.5");
    QTest::newRow("stored one absent") << QStringLiteral("wlan0") << QStringLiteral("192.168.122.1");
}

void TestMainWindow::storedInterfaceRestored()
{
    QFETCH(QString, stored);
    QFETCH(QString, current);
    InterfaceChoice::save(stored);
    MainWindow window([] { return HostInterfaces; });
    QVERIFY(window.findChild<InterfaceBox *>()->currentText().endsWith(QStringLiteral("(%1)").arg(current)));
}

void TestMainWindow::interfaceBoxRereadsWhenOpened()
{
    // Nothing usable at start; the stored eth0 and a VLAN sub-interface appear before it is opened.
    InterfaceChoice::save(QStringLiteral("eth0"));
    QList<PacketTransceiver::InterfaceInfo> host;
    MainWindow window([&host] { return host; });
    auto *box = window.findChild<InterfaceBox *>();
    QVERIFY(!box->isEnabled());
    QCOMPARE(box->currentText(), QStringLiteral("No network interface"));

    host = HostInterfaces;
    host.append({QNetworkInterface::IsRunning, MacC, QStringLiteral("eth0.14"), {QStringLiteral("10.14.0.5")}});
    host.append({QNetworkInterface::IsRunning, MacC, QStringLiteral("enp0s31f6"), {QStringLiteral("10.100.200.201")}});
    box->showPopup();
    box->hidePopup();
    QCOMPARE(box->itemText(4), QStringLiteral("eth0.14 (10.14.0.5)"));
    QCOMPARE(box->currentText(), QStringLiteral("eth0 (10.0.0.5)"));
    // The closed box is wide enough for its longest entry.
    const QString longest = box->itemText(5);
    QCOMPARE(longest, QStringLiteral("enp0s31f6 (10.100.200.201)"));
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.rect = QRect(QPoint(), box->sizeHint());
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    QVERIFY2(field.width() >= box->fontMetrics().horizontalAdvance(longest),
             qPrintable(QString::number(field.width())));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
