// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "protocol/networkdiagnosis.h"
#include "protocol/packettransceiver.h"

#include <QHash>
#include <QMainWindow>
#include <QMessageBox>
#include <QModelIndex>

#include <memory>

class DeviceFilterModel;
class DeviceModel;
class DeviceScan;
class DeviceTableView;
class HistoryStore;
struct HistoryEvent;
class InterfaceBox;
class QAction;
class QContextMenuEvent;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;

// The program's only window: the device table with its tool bar, context menu and status bar.
// It owns the transceiver and the device model and wires them together.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;
    // Listing the interfaces from the given source instead of the system.
    explicit MainWindow(PacketTransceiver::InterfaceSource interfaceSource, QWidget *parent = nullptr);

    static QString applicationName() { return QStringLiteral("Veltra Device Finder"); }
    static QString versionText() { return QStringLiteral("1.2.0.34632"); }

public slots:
    void moveToTop();

private slots:
    void scan();
    // A scan of the automatic scanning: skipped while the user is busy with a dialog or a change is
    // under way; its outcome and notices go to the status bar instead of boxes.
    void scanAutomatically();
    void showHistory();
    void edit(const QModelIndex &index = QModelIndex());
    void setUp();
    void about();
    void launchBrowser();
    void exportConnectionsToXml();
    void deleteStoredPassword();
    void checkDeviceCount();
    void deviceViewPopup(QContextMenuEvent *event);
    void updateActions();
    void onTranscvrWarning(const QString &title, const QString &msg);
    void chooseInterfaceEntry(const QString &name, const QString &address);
    void chooseAllInterfaces();

protected:
    virtual void createActions();
    virtual void createContextMenu();
    virtual void setActionTexts();
    void createToolBar();
    void createFilter();
    void createScanMenu();
    void fitColumnsToTheirTexts();
    int openingWidth() const;

private:
    // After a scan that no device answered: the interface choice or "No devices found!", with the
    // host's problems if the checks found any.
    void reportNoDevice(const QList<NetworkDiagnosis::Finding> &findings);

    // Reads the host's interfaces again; the preferred one becomes current again when it is there.
    void refreshInterfaces();
    // The interface box shows the transceiver's interfaces and its current one.
    void showInterfaces();
    // Scans on every interface at once, with the Interface column, or on the current one alone.
    void setAllInterfaces(bool all);

    // The one selected row, or an invalid index when none or several are selected.
    QModelIndex selectedRow() const;
    // The device model's rows of the selected rows; only shown rows can be selected.
    QList<int> selectedModelRows() const;
    // "N of M devices shown" while a filter is typed.
    void showFilterCount();
    void startScan(bool automatic);
    // After a scan's count check: the devices into the history, and the marks of what changed.
    void recordHistory();
    // Whether the history can be written; says once why not.
    bool historyReady();
    void markChanges(const QList<HistoryEvent> &events);
    void setAutoScan(int seconds);
    // A notice or warning: a box, or a status bar message after an automatic scan.
    void tell(QMessageBox::Icon icon, const QString &title, const QString &text);

    QFrame *centralFrame = nullptr;
    DeviceTableView *deviceView = nullptr;
    DeviceModel *deviceModel = nullptr;
    DeviceFilterModel *filterModel = nullptr;
    QLineEdit *filterEdit = nullptr;
    QLabel *shownLabel = nullptr;
    QMenu *contextMenu = nullptr;
    QToolBar *toolBar = nullptr;
    QAction *scanAct = nullptr;
    QAction *editAct = nullptr;
    QAction *setUpAct = nullptr;
    QAction *aboutAct = nullptr;
    QAction *webAct = nullptr;
    QAction *exportAct = nullptr;
    QAction *deletePwAct = nullptr;
    PacketTransceiver *transceiver = nullptr;
    QTimer *countTimer = nullptr;
    QTimer *autoScanTimer = nullptr;
    QMenu *scanMenu = nullptr;
    bool automaticScan = false; // the latest scan was an automatic one
    std::unique_ptr<HistoryStore> history;
    bool historyTold = false;            // its trouble was told in the status bar
    QHash<QString, QString> changeMarks; // by MAC: what changed since the previous scan
    DeviceScan *deviceScan = nullptr;
    InterfaceBox *interfaceBox = nullptr;
    // The interface the user chose in the tool bar, this time or at an earlier start; empty while
    // none was chosen, and then the list's order decides as it always did.
    QString preferredInterface;
    int scanNumber = 0; // counts the scans, so that a late answer of the host's checks finds its own
};
