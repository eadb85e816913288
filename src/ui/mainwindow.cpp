// SPDX-License-Identifier: Apache-2.0
#include "ui/mainwindow.h"

#include "history/historystore.h"
#include "model/configurationchange.h"
#include "model/connectionexport.h"
#include "model/devicemodel.h"
#include "model/devicescan.h"
#include "model/devicestate.h"
#include "protocol/configcheck.h"
#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"
#include "protocol/networkdiagnosis.h"
#include "protocol/packettransceiver.h"
#include "settings/autoscansetting.h"
#include "settings/credentialstore.h"
#include "settings/interfacechoice.h"
#include "ui/connectiondialog.h"
#include "ui/devicefiltermodel.h"
#include "ui/devicetableview.h"
#include "ui/historydialog.h"
#include "ui/interfacebox.h"
#include "ui/logindialog.h"
#include "ui/plandialog.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

constexpr int CountCheckDelay = 3000;

QAction *makeAction(const char *iconPath, const char *objectName, QObject *parent)
{
    auto *action = new QAction(QIcon(QLatin1String(iconPath)), QString(), parent);
    action->setObjectName(QLatin1String(objectName));
    return action;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(PacketTransceiver::InterfaceSource(&PacketTransceiver::systemInterfaces), parent)
{}

MainWindow::~MainWindow() = default;

MainWindow::MainWindow(PacketTransceiver::InterfaceSource interfaceSource, QWidget *parent)
    : QMainWindow(parent), history(std::make_unique<HistoryStore>()), preferredInterface(InterfaceChoice::load())
{
    setWindowIcon(QIcon(QStringLiteral(":/vorq")));
    setWindowTitle(applicationName());
    // No tool bar menu on a right click anywhere in the frame.
    setContextMenuPolicy(Qt::NoContextMenu);

    transceiver = new PacketTransceiver(std::move(interfaceSource), this);
    // The interface chosen at an earlier start is current from the first scan on, when it is here.
    if (!preferredInterface.isEmpty())
        transceiver->chooseInterface(preferredInterface);
    transceiver->setAllInterfaces(InterfaceChoice::allInterfaces());
    transceiver->setNoticeHandler(
        [this](const QString &title, const QString &text) { tell(QMessageBox::Information, title, text); });

    centralFrame = new QFrame(this);
    setCentralWidget(centralFrame);

    deviceModel = new DeviceModel(this);
    deviceScan = new DeviceScan(transceiver, deviceModel, this);
    filterModel = new DeviceFilterModel(this);
    filterModel->setSourceModel(deviceModel);
    deviceView = new DeviceTableView(this);
    deviceView->setModel(filterModel);
    deviceView->setColumnWidth(DeviceModel::DeviceColumn, 100);
    deviceView->setColumnWidth(DeviceModel::FirmwareColumn, 70);
    deviceView->setColumnWidth(DeviceModel::HostnameColumn, 130);
    deviceView->setColumnWidth(DeviceModel::IpConfigColumn, 70);
    deviceView->setColumnWidth(DeviceModel::StatusColumn, 190);
    fitColumnsToTheirTexts();
    deviceModel->setInterfaceColumn(transceiver->allInterfaces());
    // The table has no visible title; screen readers announce it by these.
    deviceView->setAccessibleName(tr("Devices"));
    deviceView->setAccessibleDescription(tr("Devices found on the network; F5 scans again"));

    auto *layout = new QVBoxLayout;
    layout->addWidget(deviceView);
    centralFrame->setLayout(layout);

    createActions();
    createContextMenu();
    createToolBar();
    setActionTexts();
    addToolBar(toolBar);

    setStatusBar(new QStatusBar(this));
    shownLabel = new QLabel(this);
    shownLabel->setObjectName(QStringLiteral("shownLabel"));
    shownLabel->hide();
    statusBar()->addPermanentWidget(shownLabel);
    setMinimumWidth(890);

    countTimer = new QTimer(this);
    countTimer->setObjectName(QStringLiteral("countTimer"));
    countTimer->setInterval(CountCheckDelay);
    countTimer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early, and a device answering late in the wait would then
    // be marked incomplete although its reply came within the 3000 ms.
    countTimer->setTimerType(Qt::PreciseTimer);

    autoScanTimer = new QTimer(this);
    autoScanTimer->setObjectName(QStringLiteral("autoScanTimer"));
    connect(autoScanTimer, &QTimer::timeout, this, &MainWindow::scanAutomatically);
    setAutoScan(AutoScanSetting::load());

    updateActions();
    showInterfaces();
    // With the interfaces in their box, whose width follows them.
    resize(qMax(width(), openingWidth()), height());

    ConfigurationChange::connectTracking(transceiver, deviceModel);
    // After the model's own connection, so that the reply's row is there: scanning every interface,
    // each row names the interface its device answered on.
    connect(transceiver, &PacketTransceiver::replyReceived, deviceModel, [this](const QByteArray &datagram) {
        if (!transceiver->allInterfaces())
            return;
        const QString mac = MessageHeader::srcMacOf(datagram);
        deviceModel->setDeviceInterface(mac, transceiver->deviceInterface(mac).name);
    });
    connect(transceiver, &PacketTransceiver::warningMessage, this, &MainWindow::onTranscvrWarning);
    connect(interfaceBox, &InterfaceBox::aboutToOpen, this, &MainWindow::refreshInterfaces);
    connect(interfaceBox, &InterfaceBox::entryChosen, this, &MainWindow::chooseInterfaceEntry);
    connect(interfaceBox, &InterfaceBox::allChosen, this, &MainWindow::chooseAllInterfaces);
    connect(deviceView, &QAbstractItemView::doubleClicked, this, &MainWindow::edit);
    connect(deviceView, &DeviceTableView::popup, this, &MainWindow::deviceViewPopup);
    connect(deviceView->selectionModel(), &QItemSelectionModel::selectionChanged, this, &MainWindow::updateActions);
    connect(deviceModel, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateActions);
    connect(countTimer, &QTimer::timeout, this, &MainWindow::checkDeviceCount);
    // A device read again after a change, outside a scan: its new values go into the history.
    connect(deviceModel, &DeviceModel::configurationRead, this, [this](const QString &mac) {
        const int row = deviceModel->findRowByMac(mac);
        if (countTimer->isActive() || row < 0 || !history->isOpen())
            return;
        const QString interfaceName =
            transceiver->allInterfaces() ? transceiver->deviceInterface(mac).name : transceiver->currentEntry().name;
        markChanges(history->recordDevice(DeviceSnapshot::fromRow(*deviceModel, row, interfaceName)));
        historyReady();
    });
    connect(filterEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        filterModel->setFilterText(text);
        showFilterCount();
    });
    // Rows come and go in the table, shown or not.
    for (const auto rowsChanged : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(filterModel, rowsChanged, this, &MainWindow::showFilterCount);
    for (const auto rowsChanged : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(deviceModel, rowsChanged, this, &MainWindow::showFilterCount);
    connect(filterModel, &QAbstractItemModel::modelReset, this, &MainWindow::showFilterCount);
    connect(deviceModel, &DeviceModel::deviceLimitReached, this, [this](int limit) {
        statusBar()->showMessage(tr("More than %1 devices answered: further devices are not listed.").arg(limit));
    });
}

void MainWindow::fitColumnsToTheirTexts()
{
    // The widths above suit some fonts only: with another one a MAC address or a status text would
    // be cut. They stay the least; the font in use may ask for more.
    const QFontMetrics metrics(deviceView->font());
    const QStyle *style = deviceView->style();
    const int margins = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, deviceView) + 1) + 8;
    int widestDigit = 0;
    for (const QChar digit : QStringLiteral("0123456789ABCDEF"))
        widestDigit = qMax(widestDigit, metrics.horizontalAdvance(digit));
    const int macWidth = 12 * widestDigit + 5 * metrics.horizontalAdvance(QLatin1Char(':')) + margins;
    deviceView->setColumnWidth(DeviceModel::MacAddressColumn,
                               qMax(deviceView->columnWidth(DeviceModel::MacAddressColumn), macWidth));

    const std::unique_ptr<DeviceState> states[] = {std::make_unique<SettingState>(),
                                                   std::make_unique<NetRestartState>(),
                                                   std::make_unique<NotRespondingState>(),
                                                   std::make_unique<RequestFailedState>(),
                                                   std::make_unique<PacketLostState>(),
                                                   std::make_unique<SavedAuthorizationFailedState>(),
                                                   std::make_unique<AuthorizationFailedState>()};
    int statusWidth = 0;
    for (const auto &state : states)
        statusWidth = qMax(statusWidth, metrics.horizontalAdvance(state->statusText()));
    const int iconWidth = style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, deviceView) + 4;
    deviceView->setColumnWidth(DeviceModel::StatusColumn, qMax(deviceView->columnWidth(DeviceModel::StatusColumn),
                                                               statusWidth + iconWidth + margins));
}

int MainWindow::openingWidth() const
{
    // Wide enough for the whole tool bar, the filter at its end, and for every column with room for
    // four-digit row numbers and the vertical scroll bar: nothing is cut when the window opens.
    const QStyle *style = deviceView->style();
    const QMargins margins = centralFrame->layout()->contentsMargins();
    const int table = deviceView->horizontalHeader()->length() + 2 * deviceView->frameWidth() +
                      deviceView->fontMetrics().horizontalAdvance(QStringLiteral("0000")) +
                      2 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, deviceView) +
                      style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, deviceView) + margins.left() +
                      margins.right() + 2 * centralFrame->frameWidth();
    return qMax(toolBar->sizeHint().width(), table);
}

void MainWindow::createActions()
{
    scanAct = makeAction(":/scan", "scanAct", this);
    connect(scanAct, &QAction::triggered, this, &MainWindow::scan);

    editAct = makeAction(":/edit", "editAct", this);
    connect(editAct, &QAction::triggered, this, [this] { edit(); });

    setUpAct = makeAction(":/setup", "setUpAct", this);
    connect(setUpAct, &QAction::triggered, this, &MainWindow::setUp);

    aboutAct = makeAction(":/about", "aboutAct", this);
    connect(aboutAct, &QAction::triggered, this, &MainWindow::about);

    webAct = makeAction(":/web", "webAct", this);
    connect(webAct, &QAction::triggered, this, &MainWindow::launchBrowser);

    exportAct = makeAction(":/exportconn", "exportAct", this);
    connect(exportAct, &QAction::triggered, this, &MainWindow::exportConnectionsToXml);

    deletePwAct = makeAction(":/trash", "deletePwAct", this);
    connect(deletePwAct, &QAction::triggered, this, &MainWindow::deleteStoredPassword);

    // These three are in no visible tool bar; added to the window, their shortcuts work anywhere in it.
    addAction(webAct);
    addAction(exportAct);
    addAction(deletePwAct);
}

void MainWindow::createContextMenu()
{
    contextMenu = new QMenu(this);
    contextMenu->addAction(editAct);
    contextMenu->addAction(setUpAct);
    contextMenu->addAction(webAct);
    contextMenu->addSeparator();
    contextMenu->addAction(exportAct);
    contextMenu->addSeparator();
    contextMenu->addAction(deletePwAct);
}

void MainWindow::createToolBar()
{
    toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->addAction(scanAct);
    toolBar->addAction(editAct);
    toolBar->addAction(setUpAct);
    toolBar->addAction(aboutAct);
    // Tool bar buttons take no focus by default, which would leave About, the one action without a
    // shortcut, out of reach of the keyboard. Tab reaches them; a click still leaves the focus where
    // it was.
    const QList<QAction *> actions = toolBar->actions();
    for (QAction *action : actions)
        toolBar->widgetForAction(action)->setFocusPolicy(Qt::TabFocus);

    // After the actions: the interface to scan on, with a short label (Alt+I reaches the box) that
    // names it in full to a screen reader, which on Linux announces a combo box by its label.
    toolBar->addSeparator();
    interfaceBox = new InterfaceBox(toolBar);
    auto *interfaceLabel = new QLabel(tr("&Interface:"), toolBar);
    interfaceLabel->setAccessibleName(interfaceBox->accessibleName());
    interfaceLabel->setBuddy(interfaceBox);
    interfaceLabel->setContentsMargins(4, 0, 4, 0);
    toolBar->addWidget(interfaceLabel);
    toolBar->addWidget(interfaceBox);
    createFilter();
    createScanMenu();
}

void MainWindow::createScanMenu()
{
    // At the end of the table's context menu: how often to scan by itself, and the history.
    contextMenu->addSeparator();
    scanMenu = contextMenu->addMenu(tr("Scan automatically"));
    scanMenu->setObjectName(QStringLiteral("scanMenu"));
    auto *group = new QActionGroup(scanMenu);
    const QList<QPair<int, QString>> choices = {{0, tr("Off")},
                                                {15, tr("Every 15 seconds")},
                                                {30, tr("Every 30 seconds")},
                                                {60, tr("Every minute")},
                                                {300, tr("Every 5 minutes")}};
    for (const auto &[seconds, text] : choices) {
        QAction *choice = scanMenu->addAction(text);
        choice->setCheckable(true);
        choice->setData(seconds);
        group->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, seconds = seconds] {
            AutoScanSetting::save(seconds);
            setAutoScan(seconds);
        });
    }
    QAction *historyAct = contextMenu->addAction(tr("Device &history…"));
    historyAct->setObjectName(QStringLiteral("historyAct"));
    historyAct->setShortcut(QKeySequence(tr("Ctrl+H")));
    connect(historyAct, &QAction::triggered, this, &MainWindow::showHistory);
    // In a menu only, its shortcut would work only while the menu is open.
    auto *historyKey = new QShortcut(historyAct->shortcut(), this);
    connect(historyKey, &QShortcut::activated, historyAct, &QAction::trigger);
}

void MainWindow::showHistory()
{
    HistoryDialog dialog(history.get(), this);
    dialog.exec();
    historyReady();
}

void MainWindow::setAutoScan(int seconds)
{
    const QList<QAction *> choices = scanMenu->actions();
    for (QAction *choice : choices) {
        if (choice->isCheckable())
            choice->setChecked(choice->data().toInt() == seconds);
    }
    if (seconds <= 0) {
        autoScanTimer->stop();
        automaticScan = false;
        return;
    }
    autoScanTimer->start(seconds * 1000);
}

void MainWindow::scanAutomatically()
{
    // Clearing the table would lose a change that is being followed (its restart, its re-reading),
    // and the user's dialog would then show a device no longer listed: this turn is left out.
    if (QApplication::activeModalWidget() || deviceModel->timer()->isActive() || countTimer->isActive()) {
        qDebug() << "MainWindow: automatic scan left out while the user or a change is busy";
        return;
    }
    startScan(true);
}

void MainWindow::tell(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    if (automaticScan) {
        statusBar()->showMessage(title == QLatin1String("!") ? text : title + QStringLiteral(": ") + text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, icon == QMessageBox::Information ? nullptr : this);
    box.exec();
}

void MainWindow::createFilter()
{
    // Last in the tool bar: beyond the window's least width, which the rest fills; the window opens
    // wide enough for it, and a narrower one keeps it behind the tool bar's extension button.
    toolBar->addSeparator();
    filterEdit = new QLineEdit(toolBar);
    filterEdit->setObjectName(QStringLiteral("filterEdit"));
    filterEdit->setAccessibleName(tr("Filter devices"));
    filterEdit->setPlaceholderText(tr("Filter devices (Ctrl+F)"));
    filterEdit->setClearButtonEnabled(true);
    filterEdit->setFixedWidth(filterEdit->fontMetrics().averageCharWidth() * 24);
    auto *filterLabel = new QLabel(tr("&Filter:"), toolBar);
    filterLabel->setAccessibleName(filterEdit->accessibleName());
    filterLabel->setBuddy(filterEdit);
    filterLabel->setContentsMargins(4, 0, 4, 0);
    toolBar->addWidget(filterLabel);
    toolBar->addWidget(filterEdit);
    auto *focusFilter = new QShortcut(QKeySequence::Find, this);
    connect(focusFilter, &QShortcut::activated, filterEdit, [this] {
        filterEdit->setFocus(Qt::ShortcutFocusReason);
        filterEdit->selectAll();
    });
}

void MainWindow::showFilterCount()
{
    if (filterModel->filterText().trimmed().isEmpty()) {
        shownLabel->hide();
        return;
    }
    shownLabel->setText(tr("%1 of %2 devices shown").arg(filterModel->rowCount()).arg(deviceModel->rowCount()));
    shownLabel->show();
}

QList<int> MainWindow::selectedModelRows() const
{
    QList<int> rows;
    const QModelIndexList selected = deviceView->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows.append(filterModel->mapToSource(index).row());
    return rows;
}

void MainWindow::setActionTexts()
{
    scanAct->setText(tr("Scan / Refresh"));
    scanAct->setShortcut(QKeySequence(tr("F5")));
    scanAct->setStatusTip(tr("Detect and list devices in network"));
    scanAct->setToolTip(tr("Detect and list devices in network") + QStringLiteral(" [F5]"));

    editAct->setText(tr("Edit network settings"));
    editAct->setShortcut(QKeySequence(tr("Ctrl+E")));
    editAct->setStatusTip(tr("Edit currently selected device"));
    editAct->setToolTip(tr("Edit currently selected device") + QStringLiteral(" [Ctrl+E]"));

    setUpAct->setText(tr("Set up selected devices…"));
    setUpAct->setStatusTip(tr("Set up the network configuration of the selected devices at once"));
    setUpAct->setToolTip(tr("Set up the network configuration of the selected devices at once"));

    webAct->setText(tr("Open in web browser"));
    webAct->setShortcut(QKeySequence(tr("Ctrl+W")));
    webAct->setStatusTip(
        tr("Open currently selected device in a web browser (works only if device is properly configured)"));
    webAct->setToolTip(tr("Open currently selected device in a web browser") + QStringLiteral(" [Ctrl+W]. ") +
                       tr("Works only if device is properly configured."));

    exportAct->setText(tr("Export connection for Quillo"));
    exportAct->setShortcut(QKeySequence(tr("Ctrl+X")));
    exportAct->setStatusTip(tr("Export connections to a xml file for Quillo"));
    exportAct->setToolTip(tr("Export connections to a xml file for Quillo") + QStringLiteral(" [Ctrl+X]."));

    deletePwAct->setText(tr("Delete stored password"));
    deletePwAct->setShortcut(QKeySequence(tr("Del")));
    deletePwAct->setStatusTip(tr("Delete locally stored password for selected connections"));
    deletePwAct->setToolTip(tr("Delete locally stored password for selected connections") + QStringLiteral(" [Del]."));

    aboutAct->setText(tr("About"));
}

void MainWindow::moveToTop()
{
    // Changing the flags hides a top-level window, so it is shown after each change; it ends with
    // its own flags, brought above the other windows once.
    const Qt::WindowFlags flags = windowFlags();
    setWindowFlags(flags | Qt::WindowStaysOnTopHint);
    show();
    setWindowFlags(flags);
    show();
}

void MainWindow::refreshInterfaces()
{
    transceiver->refreshInterfaces();
    // An interface that is not there at start or goes for a while (a dock, a cable) becomes current
    // again when it comes back, rather than leaving the scans on a virtual bridge listed before it.
    if (!preferredInterface.isEmpty() && transceiver->currentEntry().name != preferredInterface)
        transceiver->chooseInterface(preferredInterface);
    showInterfaces();
}

void MainWindow::showInterfaces()
{
    interfaceBox->showInterfaces(transceiver->listedInterfaces(), transceiver->currentEntry(),
                                 transceiver->allInterfaces());
}

void MainWindow::setAllInterfaces(bool all)
{
    transceiver->setAllInterfaces(all);
    deviceModel->setInterfaceColumn(all);
}

void MainWindow::chooseAllInterfaces()
{
    setAllInterfaces(true);
    InterfaceChoice::saveAllInterfaces();
    scan();
}

void MainWindow::chooseInterfaceEntry(const QString &name, const QString &address)
{
    // Refreshed while the list was open: an entry that has gone since is not there to choose.
    if (!transceiver->chooseEntry(name, address)) {
        showInterfaces();
        return;
    }
    setAllInterfaces(false);
    preferredInterface = name;
    InterfaceChoice::save(name);
    scan();
}

void MainWindow::scan()
{
    startScan(false);
}

void MainWindow::startScan(bool automatic)
{
    automaticScan = automatic;
    // The networks may have changed since the last scan: a cable, a dock, another Wi-Fi.
    refreshInterfaces();
    if (!transceiver->bindSocket()) {
        tell(QMessageBox::Critical, tr("Scan devices"),
             tr("Could not bind socket! Please check if another application instance is already running!"));
        return;
    }
    deviceModel->setRowCount(0);
    changeMarks.clear();
    filterModel->setMarks(changeMarks);
    ++scanNumber;
    deviceScan->start();
    countTimer->start();
    deviceScan->watch(CountCheckDelay);
}

void MainWindow::checkDeviceCount()
{
    // Replies that came before the check count, also those the event loop has not handled yet.
    deviceScan->stop();
    transceiver->handleReceived();
    if (deviceModel->rowCount() > 0) {
        for (int row = 0; row < deviceModel->rowCount(); ++row) {
            if (!deviceModel->isComplete(row))
                deviceModel->setDeviceState(deviceModel->item(row, DeviceModel::MacAddressColumn)->text(),
                                            PacketLostState());
        }
        recordHistory();
        return;
    }
    // Nobody answered: as veltra-find does, the history notes the devices of this interface gone.
    recordHistory();

    // The host's checks run external tools (nft, firewall-cmd, ufw), each allowed seconds: on a
    // thread of their own, so that a slow one never freezes the window. Their answer is shown only
    // while no other scan has started meanwhile.
    const auto findings = std::make_shared<QList<NetworkDiagnosis::Finding>>();
    QThread *checks = QThread::create([findings] { *findings = NetworkDiagnosis().run(); });
    connect(checks, &QThread::finished, checks, &QObject::deleteLater);
    connect(checks, &QThread::finished, this, [this, findings, scanned = scanNumber] {
        if (scanned == scanNumber)
            reportNoDevice(*findings);
    });
    checks->start();
}

bool MainWindow::historyReady()
{
    // A history that cannot be had never stops a scan: the status bar says so once.
    const bool ready = history->isOpen() || history->open();
    if (!historyTold && !history->notice().isEmpty()) {
        historyTold = true;
        statusBar()->showMessage(history->notice());
    }
    return ready && history->isOpen();
}

void MainWindow::recordHistory()
{
    if (!historyReady())
        return;
    QList<DeviceSnapshot> devices;
    devices.reserve(deviceModel->rowCount());
    for (int row = 0; row < deviceModel->rowCount(); ++row) {
        const QString mac = deviceModel->item(row, DeviceModel::MacAddressColumn)->text();
        devices.append(DeviceSnapshot::fromRow(*deviceModel, row,
                                               transceiver->allInterfaces() ? transceiver->deviceInterface(mac).name
                                                                            : transceiver->currentEntry().name));
    }
    // A device on another interface than the one scanned is not gone.
    const QStringList scanned =
        transceiver->allInterfaces() ? QStringList() : QStringList{transceiver->currentEntry().name};
    const QList<HistoryEvent> events = history->recordScan(devices, scanned);
    // The first scan of an empty history would mark everything: it marks nothing.
    if (!history->wasEmptyBeforeLastScan())
        markChanges(events);
    historyReady();
}

void MainWindow::markChanges(const QList<HistoryEvent> &events)
{
    for (const HistoryEvent &event : events) {
        QString text;
        if (event.kind == HistoryEvent::Kind::Appeared)
            text = tr("New since the last scan");
        else if (event.kind == HistoryEvent::Kind::Changed && event.field == QLatin1String("ip"))
            text = tr("IP address was %1").arg(event.oldValue);
        else if (event.kind == HistoryEvent::Kind::Changed && event.field == QLatin1String("hostname"))
            text = tr("Hostname was %1").arg(event.oldValue);
        if (text.isEmpty())
            continue;
        QString &mark = changeMarks[event.mac.toUpper()];
        mark = mark.isEmpty() ? text : mark + QLatin1Char('\n') + text;
    }
    filterModel->setMarks(changeMarks);
}

void MainWindow::reportNoDevice(const QList<NetworkDiagnosis::Finding> &findings)
{
    if (automaticScan) {
        QString text = tr("No devices found!");
        for (const NetworkDiagnosis::Finding &finding : findings) {
            if (finding.severity == NetworkDiagnosis::Severity::Problem)
                text += QLatin1Char(' ') + finding.cause;
        }
        statusBar()->showMessage(text);
        return;
    }
    // What on this host keeps replies out, if anything, follows the box's own text: a firewall or
    // a program on the port is the likelier cause than that no device is there.
    QStringList hostProblems;
    for (const NetworkDiagnosis::Finding &finding : findings) {
        if (finding.severity == NetworkDiagnosis::Severity::Problem)
            hostProblems.append(finding.cause.toHtmlEscaped() + QStringLiteral("<br>") +
                                tr("Fix: %1").arg(finding.fix.toHtmlEscaped()));
    }
    const QString diagnosis = hostProblems.join(QStringLiteral("<p>"));

    if (PacketTransceiver::sendsPerInterface()) {
        bool ok = false;
        QStringList addresses{transceiver->currentInterfaceAddress()};
        if (transceiver->allInterfaces()) {
            addresses.clear();
            const QList<PacketTransceiver::InterfaceEntry> entries = transceiver->listedInterfaces();
            for (const PacketTransceiver::InterfaceEntry &entry : entries)
                addresses.append(entry.address);
        }
        QString label = tr("No device replied on %1.<p>Try another network interface or cancel?")
                            .arg(addresses.join(QStringLiteral(", ")));
        if (!diagnosis.isEmpty())
            label += QStringLiteral("<p>") + diagnosis;
        const QString name = QInputDialog::getItem(this, tr("Scan/Refresh"), label, transceiver->interfaceNames(), 0,
                                                   false, &ok, Qt::WindowCloseButtonHint);
        if (ok) {
            // One interface is a choice of it, also after a scan on all of them.
            setAllInterfaces(false);
            transceiver->chooseInterface(name);
            // Not stored: after a choice in the tool bar, this session follows the latest one. The
            // scan shows it in the tool bar.
            if (!preferredInterface.isEmpty())
                preferredInterface = name;
            scan();
        }
        return;
    }
    if (!diagnosis.isEmpty()) {
        QMessageBox box(QMessageBox::Information, applicationName(), tr("No devices found!"), QMessageBox::Ok, this);
        box.setInformativeText(diagnosis);
        box.exec();
        return;
    }
    QMessageBox::information(this, applicationName(), tr("No devices found!"), QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::edit(const QModelIndex &index)
{
    const QModelIndex chosen = index.isValid() ? index : selectedRow();
    const QModelIndex macIndex = chosen.siblingAtColumn(DeviceModel::MacAddressColumn);
    if (!macIndex.isValid())
        return;
    if (macIndex.siblingAtColumn(DeviceModel::IpAddressColumn).data().isNull() ||
        macIndex.siblingAtColumn(DeviceModel::FirmwareColumn).data().isNull())
        return;

    const QByteArray datagram = macIndex.data(DeviceModel::ConfigDatagramRole).toByteArray();
    const bool needsCredentials = ConfigurationChange::needsCredentials(datagram);
    QStringList credentials;
    if (needsCredentials)
        credentials = CredentialStore::loadLoginData(macIndex.data().toString());

    // Replies may re-insert the row while the dialog is open: everything sent comes from the
    // dialog and the credentials read before it opened.
    ConnectionDialog dialog(needsCredentials && credentials.isEmpty(), this);
    dialog.loadFromDatagram(datagram);
    if (dialog.exec() != QDialog::Accepted)
        return;

    NetworkConfigBody config;
    config.macAddress = dialog.macAddress();
    config.hostName = dialog.hostname();
    config.ipConfig = NetworkConfigBody::ipConfigText(dialog.ipConfIndex() == ConnectionDialog::DhcpIndex);
    config.ipAddress = dialog.ipAddress();
    config.subnetMask = dialog.subnetMask();
    config.domain = dialog.domain();
    config.gateway = dialog.gateway();
    config.primaryDns = dialog.primaryDns();
    config.secondaryDns = dialog.secondaryDns();

    // The change follows itself through the device's answer, restart and re-read; the rows show
    // its course.
    auto *change = new ConfigurationChange(transceiver, deviceModel, this);
    connect(change, &ConfigurationChange::finished, change, &QObject::deleteLater);
    const LoginDialog *login = dialog.loginDialog();
    if (needsCredentials && credentials.isEmpty())
        credentials = QStringList{dialog.macAddress(), login->username(), login->password()};
    if (!needsCredentials)
        credentials.clear();
    change->start(config, credentials, needsCredentials && login->rememberPassword());
}

void MainWindow::setUp()
{
    // In the order the table shows them: the devices get their addresses and numbers in it.
    QModelIndexList rows = deviceView->selectionModel()->selectedRows(DeviceModel::MacAddressColumn);
    if (rows.size() < 2)
        return;
    const QHeaderView *header = deviceView->verticalHeader();
    std::sort(rows.begin(), rows.end(), [header](const QModelIndex &a, const QModelIndex &b) {
        return header->visualIndex(a.row()) < header->visualIndex(b.row());
    });
    QStringList macs;
    for (const QModelIndex &index : std::as_const(rows))
        macs.append(index.data().toString());

    PlanDialog dialog(macs, deviceModel, transceiver, this);
    dialog.exec();
}

void MainWindow::exportConnectionsToXml()
{
    // In the order of the selection, which decides which duplicate keeps its name.
    QList<int> rows;
    const QList<int> selected = selectedModelRows();
    for (const int row : selected) {
        if (deviceModel->isExportable(row))
            rows.append(row);
    }
    if (rows.isEmpty())
        return;

    const QString fileName = QFileDialog::getSaveFileName(this, tr("Export %1 connections to a file").arg(rows.size()),
                                                          QDir::rootPath(), tr("Xml files (*.xml)"));
    if (fileName.isEmpty())
        return;

    // Read after the dialog: replies that came while it was open are in.
    QList<ConnectionExport::Entry> entries;
    for (const int row : std::as_const(rows))
        entries.append(deviceModel->exportEntry(row));

    QString error;
    const int written = ConnectionExport::writeFile(fileName, entries, &error);
    if (written < 0) {
        QMessageBox::warning(this, tr("Export connections"),
                             tr("Could not write the connections to %1: %2").arg(fileName, error), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }
    QMessageBox::information(this, tr("Export connections"),
                             tr("%1 connection(s) exported to %2").arg(written).arg(fileName), QMessageBox::Ok,
                             QMessageBox::NoButton);
}

void MainWindow::about()
{
    QString text = tr("<h2>%1</h2>Version %2").arg(applicationName(), versionText());
    text += QStringLiteral("<p>") +
            tr("<b>%1</b> is a user-friendly application to scan the local network for installed Orvane devices and "
               "easily change their network configuration")
                .arg(applicationName());
    text += QStringLiteral("<p>") + tr("Using Qt Version: <b>%1</b>").arg(QLatin1String(QT_VERSION_STR));
    text += QStringLiteral("<p>") + tr("Supported devices:");
    text += QStringLiteral("<ul>");
    const QStringList devices = {
        tr("VeltraNET-4.3 version 1.8.0 or newer"), tr("VeltraNET-III version 5.6.0 or newer"),
        tr("Panoryx-4.3 version 1.6.0 or newer"),   tr("Panoryx-III version 1.8.0 or newer"),
        tr("Motilux-II version 2.2.0 or newer"),    tr("Motilux-III version 1.0.0 or newer"),
    };
    for (const QString &device : devices)
        text += QStringLiteral("<li>") + device + QStringLiteral("</li>");
    text += QStringLiteral("</ul>");
    QMessageBox::about(this, tr("About %1").arg(applicationName()), text);
}

void MainWindow::launchBrowser()
{
    const QModelIndex chosen = selectedRow();
    const QString address =
        chosen.isValid() ? chosen.siblingAtColumn(DeviceModel::IpAddressColumn).data().toString() : QString();
    // The cell holds what a datagram said: only a plain IPv4 address becomes the page's host, never
    // a text such as "user@elsewhere" that a URL would read as another host.
    if (!ConfigCheck::address(address).isEmpty()) {
        qDebug() << "MainWindow: no web page for a device whose address is" << address;
        return;
    }
    QDesktopServices::openUrl(QUrl(QStringLiteral("http://%1/index.cgi").arg(address)));
}

QModelIndex MainWindow::selectedRow() const
{
    // The actions are enabled by the selection, so they act on it: the current index may sit on
    // a row the user has just deselected (Ctrl+click, Ctrl+arrow, Ctrl+right-click).
    const QModelIndexList rows = deviceView->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.first() : QModelIndex();
}

void MainWindow::deleteStoredPassword()
{
    const QMessageBox::StandardButton answer =
        QMessageBox::question(this, tr("Store deleted password"),
                              tr("Do you really want to delete stored password for selected connections?"),
                              QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::NoButton);
    if (answer != QMessageBox::Ok)
        return;
    const QModelIndexList rows = deviceView->selectionModel()->selectedRows(DeviceModel::MacAddressColumn);
    for (const QModelIndex &index : rows)
        CredentialStore::remove(index.data().toString());
    deletePwAct->setEnabled(false);
}

void MainWindow::deviceViewPopup(QContextMenuEvent *event)
{
    contextMenu->popup(event->globalPos());
}

void MainWindow::updateActions()
{
    const QModelIndexList rows = deviceView->selectionModel()->selectedRows(DeviceModel::IpAddressColumn);
    const int selected = int(rows.size());
    bool editAllowed = selected == 1;
    bool webAllowed = selected == 1;
    bool deleteAllowed = selected == 1;
    int exportable = selected;

    // The store is read only when something is selected: during a scan this runs for every reply.
    const QStringList storedKeys = selected > 0 ? CredentialStore::storedKeys() : QStringList();
    for (const QModelIndex &index : rows) {
        const QString deviceType = index.siblingAtColumn(DeviceModel::DeviceColumn).data().toString();
        if (index.data().isNull() || deviceType.isEmpty()) {
            editAllowed = false;
            webAllowed = false;
            --exportable;
        } else if (deviceType.startsWith(QLatin1String("VeltraNET"))) {
            --exportable;
        }
        const QString mac = index.siblingAtColumn(DeviceModel::MacAddressColumn).data().toString();
        if (!storedKeys.contains(mac, Qt::CaseSensitive))
            deleteAllowed = false;
    }

    editAct->setEnabled(editAllowed);
    // Rows without their configuration are listed in the dialog, whose check names them.
    setUpAct->setEnabled(selected >= 2);
    webAct->setEnabled(webAllowed);
    exportAct->setEnabled(exportable != 0);
    deletePwAct->setEnabled(deleteAllowed);
}

void MainWindow::onTranscvrWarning(const QString &title, const QString &msg)
{
    tell(QMessageBox::Warning, title, msg);
}
