// SPDX-License-Identifier: Apache-2.0
// The main window's scan against simulated devices in the lab: every device that answers both
// requests within the count check has a complete row, a large network fills the table as well,
// scans clear and refill it, and an empty network offers the lab's interface. Also the desktop
// program itself, started twice in the lab: one instance stays, the second start leaves.

#include "labsupport.h"

#include "modalanswerer.h"
#include "model/devicemodel.h"
#include "protocol/packettransceiver.h"
#include "ui/interfacebox.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

#include <sys/socket.h>

namespace {

const QString DevicesFile = QStringLiteral(LAB_DATA_DIR "/model-devices.json");
const QString PacketLostText = QStringLiteral("Device information incomplete. Please scan network again!");
constexpr int CountCheckMs = 3000;
constexpr int BroadcastGapMs = 100;
constexpr int WireTimeoutMs = 10000;
constexpr int LargeNetwork = 300;

struct ListedDevice
{
    QString mac; // as the device sends it
    bool bothKinds = true;
};

QList<ListedDevice> listedDevices()
{
    QFile file(DevicesFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<ListedDevice> devices;
    const QJsonArray list = QJsonDocument::fromJson(file.readAll()).array();
    for (const QJsonValue &value : list) {
        const QJsonObject device = value.toObject();
        ListedDevice listed;
        listed.mac = device.value(QLatin1String("mac")).toString();
        if (device.value(QLatin1String("lowercaseMac")).toBool())
            listed.mac = listed.mac.toLower();
        listed.bothKinds =
            device.value(QLatin1String("answers")).toString(QStringLiteral("all")) == QLatin1String("all");
        devices.append(listed);
    }
    return devices;
}

// The MAC text of the i-th generated device (from 02:00:00:00:00:01 on).
QString generatedMac(int i)
{
    const quint64 number = 0x020000000001ULL + quint64(i);
    QStringList groups;
    for (int shift = 40; shift >= 0; shift -= 8)
        groups.append(QStringLiteral("%1").arg((number >> shift) & 0xff, 2, 16, QLatin1Char('0')).toUpper());
    return groups.join(QLatin1Char(':'));
}

// Whether the row has text in all of its columns from Device to MAC Address.
bool rowComplete(const QAbstractItemModel *model, int row)
{
    for (int column = DeviceModel::DeviceColumn; column <= DeviceModel::MacAddressColumn; ++column) {
        if (model->index(row, column).data().toString().isEmpty())
            return false;
    }
    return true;
}

int completeRows(const QAbstractItemModel *model)
{
    int complete = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        complete += rowComplete(model, row) ? 1 : 0;
    return complete;
}

QStringList requestKinds(const Lab::Simulator &simulator)
{
    QStringList kinds;
    const auto received = simulator.received();
    for (const QJsonObject &entry : received) {
        kinds.append(QStringLiteral("%1 from %2:%3")
                         .arg(entry.value(QLatin1String("messageId")).toInt())
                         .arg(entry.value(QLatin1String("sender")).toString())
                         .arg(entry.value(QLatin1String("senderPort")).toInt()));
    }
    return kinds;
}

} // namespace

class TestLabMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void scanCompletesEveryAnsweringDevice();
    void largeNetworkAndRepeatedScans();
    void droppedRepliesAreAskedForAgain();
    void emptyNetworkOffersTheLabInterface();
    void interfaceBoxSwitchesAndScans();
    void desktopProgramRunsAsOneInstance();

private:
    bool startSimulator(const QStringList &arguments);
    DeviceModel *model() const { return window->findChild<DeviceModel *>(); }
    PacketTransceiver *transceiver() const { return window->findChild<PacketTransceiver *>(); }
    QAction *scanAct() const { return window->findChild<QAction *>(QStringLiteral("scanAct")); }
    QTimer *countTimer() const { return window->findChild<QTimer *>(QStringLiteral("countTimer")); }

    Lab::Environment lab = Lab::Environment::fromProcess();
    QTemporaryDir settingsDir;
    std::unique_ptr<Lab::Simulator> simulator;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ModalAnswerer> answerer;
    // When the count check ran, in milliseconds of `clock`.
    QList<qint64> countChecks;
    QElapsedTimer clock;
};

void TestLabMainWindow::initTestCase()
{
    REQUIRE_LAB(lab);
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settingsDir.path());
}

void TestLabMainWindow::init()
{
    // Whatever box comes up is recorded and, unless a test answers it, rejected.
    answerer = std::make_unique<ModalAnswerer>();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(model() && transceiver() && scanAct() && countTimer());
    countChecks.clear();
    clock.start();
    connect(countTimer(), &QTimer::timeout, this, [this] { countChecks.append(clock.elapsed()); });
}

void TestLabMainWindow::cleanup()
{
    window.reset();
    answerer.reset();
    simulator.reset();
}

bool TestLabMainWindow::startSimulator(const QStringList &arguments)
{
    simulator = std::make_unique<Lab::Simulator>(lab, arguments);
    QString error;
    if (!simulator->start(&error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    return true;
}

// One scan of the listed devices: when the count check runs, every device that answers both
// requests has a complete row (the one answering after 2000 ms included) and no mark; the two that
// answer only one kind of request are marked incomplete. Nothing is handled before the second
// request is out.
void TestLabMainWindow::scanCompletesEveryAnsweringDevice()
{
    const QList<ListedDevice> devices = listedDevices();
    QCOMPARE(devices.size(), 13);
    QVERIFY(startSimulator({QStringLiteral("--devices"), DevicesFile}));
    qint64 lastReply = -1;
    connect(transceiver(), &PacketTransceiver::replyReceived, this, [&] { lastReply = clock.elapsed(); });

    const qint64 scannedAt = clock.elapsed();
    scanAct()->trigger();
    QCOMPARE(model()->rowCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(countChecks.size(), 1, CountCheckMs + WireTimeoutMs);
    const qint64 checkedAfter = countChecks.constFirst() - scannedAt;
    qInfo("count check %lld ms after the scan began; the last reply was handled after %lld ms", checkedAfter,
          lastReply - scannedAt);
    // The wait begins once both requests are out, and a precise timer is never early.
    QVERIFY2(checkedAfter >= CountCheckMs + BroadcastGapMs - 1, qPrintable(QString::number(checkedAfter)));

    QCOMPARE(model()->rowCount(), devices.size());
    for (const ListedDevice &device : devices) {
        const int row = model()->findRowByMac(device.mac);
        QVERIFY2(row >= 0, qPrintable(device.mac));
        QCOMPARE(model()->index(row, DeviceModel::MacAddressColumn).data().toString(), device.mac);
        const QString status = model()->index(row, DeviceModel::StatusColumn).data().toString();
        QCOMPARE(rowComplete(model(), row), device.bothKinds);
        QCOMPARE(status == PacketLostText, !device.bothKinds);
        if (!device.bothKinds) {
            QCOMPARE(model()->index(row, DeviceModel::MacAddressColumn).data(DeviceModel::StateIdRole).toInt(), 5);
            QVERIFY(!model()->item(row, DeviceModel::StatusColumn)->icon().isNull());
        }
    }
    QVERIFY(answerer->seen.isEmpty());
}

// 300 generated devices all have complete rows at the count check. A second scan empties the
// table at once and refills it; a third one within the wait empties it again, and only one count
// check follows, 3000 ms after the third, with every row complete again.
void TestLabMainWindow::largeNetworkAndRepeatedScans()
{
    QVERIFY(startSimulator({QStringLiteral("--count"), QString::number(LargeNetwork)}));
    QSet<QString> generated;
    for (int i = 0; i < LargeNetwork; ++i)
        generated.insert(generatedMac(i));
    const auto tableMacs = [this] {
        QSet<QString> macs;
        for (int row = 0; row < model()->rowCount(); ++row)
            macs.insert(model()->index(row, DeviceModel::MacAddressColumn).data().toString());
        return macs;
    };
    qint64 lastReply = -1;
    connect(transceiver(), &PacketTransceiver::replyReceived, this, [&] { lastReply = clock.elapsed(); });

    const qint64 firstScan = clock.elapsed();
    scanAct()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(countChecks.size(), 1, CountCheckMs + WireTimeoutMs);
    const int complete = completeRows(model());
    qInfo("%d of %d rows complete at the count check; the last reply was handled %lld ms after the scan began",
          complete, LargeNetwork, lastReply - firstScan);
    QCOMPARE(model()->rowCount(), LargeNetwork);
    QCOMPARE(complete, LargeNetwork);
    QCOMPARE(tableMacs(), generated);
    for (int row = 0; row < model()->rowCount(); ++row)
        QVERIFY(model()->index(row, DeviceModel::StatusColumn).data().toString().isEmpty());

    const qint64 secondScan = clock.elapsed();
    scanAct()->trigger();
    QCOMPARE(model()->rowCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(completeRows(model()), LargeNetwork, WireTimeoutMs);
    const qint64 refilledAfter = clock.elapsed() - secondScan;
    QCOMPARE(model()->rowCount(), LargeNetwork);
    QCOMPARE(countChecks.size(), 1);

    const qint64 thirdScan = clock.elapsed();
    QVERIFY2(thirdScan - secondScan < CountCheckMs, "refilling took too long for a scan within the wait");
    scanAct()->trigger();
    QCOMPARE(model()->rowCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(countChecks.size(), 2, CountCheckMs + WireTimeoutMs);
    qInfo("refilled %lld ms after the second scan; count check %lld ms after the third", refilledAfter,
          countChecks.at(1) - thirdScan);
    QVERIFY2(countChecks.at(1) - thirdScan >= CountCheckMs, qPrintable(QString::number(countChecks.at(1) - thirdScan)));
    QCOMPARE(model()->rowCount(), LargeNetwork);
    QCOMPARE(completeRows(model()), LargeNetwork);
    QCOMPARE(tableMacs(), generated);
    QVERIFY(answerer->seen.isEmpty());
}

// A host that grants a small receive buffer, with a reader that falls behind during the blocking
// gap: the kernel drops many of the first replies. The scan sends its requests again and asks
// devices for what is still missing, and every row is complete at the count check. Without drops,
// the scan sends its two requests and nothing else.
void TestLabMainWindow::droppedRepliesAreAskedForAgain()
{
    constexpr int Devices = 1000;
    QVERIFY(startSimulator({QStringLiteral("--count"), QString::number(Devices)}));
    QVERIFY(transceiver()->bindSocket());
    QList<QPair<int, QString>> requests;
    connect(transceiver(), &PacketTransceiver::requestSent, this, [&](int messageId, const QString &mac) {
        requests.append({messageId, mac});
    });
    const QString all = QStringLiteral("FF:FF:FF:FF:FF:FF");

    scanAct()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(countChecks.size(), 1, CountCheckMs + WireTimeoutMs);
    QCOMPARE(completeRows(model()), Devices);
    if (transceiver()->kernelDrops() == 0) {
        const QList<QPair<int, QString>> pair = {{GetDeviceInfo, all}, {GetNetworkConfig, all}};
        QCOMPARE(requests, pair);
    }

    const int bufferSize = 212992; // what most hosts grant at most
    QVERIFY(::setsockopt(transceiver()->receiveDescriptor(), SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize) ==
            0);
    transceiver()->setHeldLimit(64 * 1024); // with the kernel's buffer, room for half the replies to a request
    const quint64 dropsBefore = transceiver()->kernelDrops();
    requests.clear();
    scanAct()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(countChecks.size(), 2, CountCheckMs + WireTimeoutMs);
    const quint64 drops = transceiver()->kernelDrops() - dropsBefore;
    const auto broadcasts =
        std::count_if(requests.cbegin(), requests.cend(), [&](const auto &r) { return r.second == all; });
    qInfo("%llu datagrams dropped; %lld requests sent, %lld of them broadcasts", drops, qint64(requests.size()),
          qint64(broadcasts));
    QVERIFY2(drops > 0, "the small buffer was expected to overflow");
    QCOMPARE(completeRows(model()), Devices);
    QVERIFY(broadcasts >= 4 && broadcasts <= 8);
    QVERIFY(requests.size() - broadcasts <= 512);
    QVERIFY(answerer->seen.isEmpty());
}

// Nobody answers: the count check offers the interfaces, which in the lab is the host's end of
// the veth pair; choosing it scans again on it, cancelling the second offer leaves the table empty.
void TestLabMainWindow::emptyNetworkOffersTheLabInterface()
{
    QVERIFY(startSimulator({QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--silent")}));
    QStringList offered;
    int offers = 0;
    answerer->setAnswer([&](QWidget *widget) {
        auto *input = qobject_cast<QInputDialog *>(widget);
        if (!input) {
            ModalAnswerer::press(widget, QMessageBox::Ok);
            return;
        }
        offered = input->comboBoxItems();
        // The first offer is taken, the second one cancelled.
        if (++offers == 1 && !offered.isEmpty()) {
            input->setTextValue(offered.constFirst());
            input->accept();
        } else {
            input->reject();
        }
    });

    scanAct()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(answerer->seen.size(), 2, 2 * (CountCheckMs + WireTimeoutMs));
    const QString label =
        QStringLiteral("No device replied on %1.<p>Try another network interface or cancel?").arg(lab.hostIp);
    for (const ModalAnswerer::Seen &seen : std::as_const(answerer->seen)) {
        QCOMPARE(seen.className, QStringLiteral("QInputDialog"));
        QCOMPARE(seen.title, QStringLiteral("Scan/Refresh"));
        QCOMPARE(seen.text, label);
    }
    QCOMPARE(offered, QStringList(lab.hostInterface));
    QCOMPARE(countChecks.size(), 2);
    QCOMPARE(model()->rowCount(), 0);

    // Both scans reached the devices, each from the host's address and the sending port.
    const QString from = QStringLiteral(" from %1:28245").arg(lab.hostIp);
    QTRY_COMPARE_WITH_TIMEOUT(requestKinds(*simulator),
                              (QStringList{QStringLiteral("11") + from, QStringLiteral("7") + from,
                                           QStringLiteral("11") + from, QStringLiteral("7") + from}),
                              WireTimeoutMs);
}

// A second link appears while the window is open: the interface box lists it when opened, "All
// interfaces" finds the devices of both links with their interfaces, and the second link chosen
// alone finds its own devices only.
void TestLabMainWindow::interfaceBoxSwitchesAndScans()
{
    const Lab::ExtraLink vlan(lab, QStringLiteral("eth1.14"), QStringLiteral("10.14.0.1/24"),
                              QStringLiteral("10.14.0.2/24"));
    QVERIFY2(vlan.errorString().isEmpty(), qPrintable(vlan.errorString()));
    const auto forgetChoice = qScopeGuard([] {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvane"),
                  QStringLiteral("Veltra Device Finder"))
            .remove(QStringLiteral("Network"));
    });
    QVERIFY(startSimulator({QStringLiteral("--count"), QStringLiteral("2")}));
    Lab::Simulator vlanDevices(vlan.environment(), {"--count", "2", "--mac-base", "02:0B:00:00:00:01"});
    QString error;
    QVERIFY2(vlanDevices.start(&error), qPrintable(error));

    auto *box = window->findChild<InterfaceBox *>();
    box->showPopup();
    box->hidePopup();
    QCOMPARE(box->count(), 3);
    QCOMPARE(box->itemText(2), QStringLiteral("eth1.14 (10.14.0.1)"));

    QTest::keyClick(box, Qt::Key_Home);
    QTRY_COMPARE_WITH_TIMEOUT(countChecks.size(), 1, CountCheckMs + WireTimeoutMs);
    QCOMPARE(model()->rowCount(), 4);
    QCOMPARE(model()->headerData(DeviceModel::InterfaceColumn, Qt::Horizontal).toString(), QStringLiteral("Interface"));
    for (int row = 0; row < 4; ++row) {
        const QString mac = model()->index(row, DeviceModel::MacAddressColumn).data().toString();
        QCOMPARE(model()->index(row, DeviceModel::InterfaceColumn).data().toString(),
                 mac.startsWith(QLatin1String("02:0B")) ? QStringLiteral("eth1.14") : lab.hostInterface);
    }

    QTest::keyClick(box, Qt::Key_End);
    QTRY_COMPARE_WITH_TIMEOUT(countChecks.size(), 2, CountCheckMs + WireTimeoutMs);
    QCOMPARE(model()->columnCount(), int(DeviceModel::ColumnCount));
    QCOMPARE(model()->rowCount(), 2);
    QVERIFY(model()->findRowByMac(QStringLiteral("02:0B:00:00:00:01")) >= 0);
    QVERIFY(answerer->seen.isEmpty());
}

// The desktop program, started in the lab with a runtime folder of its own: it comes up and answers
// on its instance socket; a second start hands over and exits with 0 at once, and the first one
// keeps running.
void TestLabMainWindow::desktopProgramRunsAsOneInstance()
{
    QTemporaryDir runtimeDir;
    QTemporaryDir homeDir;
    QVERIFY(runtimeDir.isValid() && homeDir.isValid());
    QFile::setPermissions(runtimeDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.path());
    environment.insert(QStringLiteral("HOME"), homeDir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), homeDir.filePath(QStringLiteral("config")));

    QProcess first;
    first.setProcessEnvironment(environment);
    first.setProcessChannelMode(QProcess::MergedChannels);
    const auto stopFirst = qScopeGuard([&first] {
        if (first.state() == QProcess::NotRunning)
            return;
        first.terminate();
        if (!first.waitForFinished(5000)) {
            first.kill();
            first.waitForFinished(5000);
        }
    });
    first.start(QStringLiteral(VELTRA_APP), QStringList());
    QVERIFY2(first.waitForStarted(WireTimeoutMs), qPrintable(first.errorString()));

    const auto socketPath = [&runtimeDir] {
        const QStringList sockets =
            QDir(runtimeDir.path()).entryList({QStringLiteral("veltra-*.socket")}, QDir::System | QDir::Files);
        return sockets.size() == 1 ? runtimeDir.filePath(sockets.constFirst()) : QString();
    };
    QTRY_VERIFY2_WITH_TIMEOUT(!socketPath().isEmpty() || first.state() == QProcess::NotRunning,
                              "the program made no instance socket", WireTimeoutMs);
    QVERIFY2(first.state() == QProcess::Running, first.readAll().constData());

    // Its event loop runs: a message on the instance socket is acknowledged.
    QLocalSocket probe;
    probe.connectToServer(socketPath());
    QVERIFY2(probe.waitForConnected(WireTimeoutMs), qPrintable(probe.errorString()));
    QByteArray message("VDF1\0\0\0\3...", 11);
    probe.write(message);
    QVERIFY(probe.waitForBytesWritten(WireTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(probe.bytesAvailable() >= 1 || probe.state() != QLocalSocket::ConnectedState,
                             WireTimeoutMs);
    QCOMPARE(probe.read(1), QByteArray(1, '\x06'));

    QProcess second;
    second.setProcessEnvironment(environment);
    second.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer secondRun;
    secondRun.start();
    second.start(QStringLiteral(VELTRA_APP), QStringList());
    QVERIFY2(second.waitForFinished(WireTimeoutMs), "the second start did not end");
    const qint64 secondMs = secondRun.elapsed();
    qInfo("the second start ended after %lld ms", secondMs);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QVERIFY2(second.exitCode() == 0, second.readAll().constData());
    QVERIFY2(secondMs < 5000, qPrintable(QString::number(secondMs)));

    QVERIFY2(first.state() == QProcess::Running, first.readAll().constData());
    QVERIFY(!socketPath().isEmpty());
    QVERIFY(!first.waitForFinished(300));
}

QTEST_MAIN(TestLabMainWindow)
#include "tst_lab_mainwindow.moc"
