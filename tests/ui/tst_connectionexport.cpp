// SPDX-License-Identifier: Apache-2.0
#include "modalanswerer.h"
#include "model/connectionexport.h"
#include "model/devicemodel.h"
#include "replies.h"
#include "settings/credentialstore.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocalServer>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstring>
#endif

namespace {

struct Device
{
    QString mac;
    QString name = QStringLiteral("Panoryx-4.3"); // the "Device" cell
    QString host = QStringLiteral("disp");
    QString ip = QStringLiteral("192.168.1.10");
    QString flag = QStringLiteral("0");
    QString productType = QStringLiteral("12");
    bool info = true;   // a device-information reply arrives
    bool config = true; // a network-configuration reply arrives
    quint32 infoResult = 0;
    quint32 configResult = 0;
};

Device device(int number)
{
    Device d;
    d.mac = QStringLiteral("00:1A:2B:3C:4D:%1").arg(number, 2, 10, QLatin1Char('0'));
    d.ip = QStringLiteral("192.168.1.%1").arg(number);
    return d;
}

// One connection element as read back from the file: attribute names and values in file order.
struct Connection
{
    QStringList names;
    QStringList values;
    QString text;

    QString value(const QString &name) const { return values.value(names.indexOf(name)); }
};

QList<Connection> readConnections(const QByteArray &document)
{
    QList<Connection> connections;
    QXmlStreamReader reader(document);
    if (!reader.readNextStartElement() || reader.name() != QLatin1String("export") || !reader.attributes().isEmpty()) {
        qWarning("no <export> root");
        return {};
    }
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("connection")) {
            qWarning("unexpected element");
            return {};
        }
        Connection connection;
        const QXmlStreamAttributes attributes = reader.attributes();
        for (const QXmlStreamAttribute &attribute : attributes) {
            connection.names.append(attribute.name().toString());
            connection.values.append(attribute.value().toString());
        }
        connection.text = reader.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        connections.append(connection);
    }
    if (reader.hasError()) {
        qWarning("%s", qPrintable(reader.errorString()));
        return {};
    }
    return connections;
}

QStringList textsOf(const QList<Connection> &connections)
{
    QStringList texts;
    for (const Connection &connection : connections)
        texts.append(connection.text);
    return texts;
}

QStringList valuesOf(const QList<Connection> &connections, const QString &name)
{
    QStringList values;
    for (const Connection &connection : connections)
        values.append(connection.value(name));
    return values;
}

QByteArray readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &fileName, const QByteArray &content)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

// What one run of the export showed: the file dialog's settings and every box, in order.
struct ExportRun
{
    int fileDialogs = 0;
    QString caption;
    QString directory;
    QStringList nameFilters;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    QWidget *fileDialogParent = nullptr;
    int overwriteQuestions = 0;

    struct Box
    {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget *parent = nullptr;
    };
    QList<Box> boxes;
    int others = 0;
};

enum class Answer { Accept, Cancel, ForceAccept };

#define QVERIFY_RETURN(statement, value)                                                                               \
    do {                                                                                                               \
        if (!QTest::qVerify(static_cast<bool>(statement), #statement, "", __FILE__, __LINE__))                         \
            return value;                                                                                              \
    } while (false)

// The window with its table, answered by a ModalAnswerer that types `path` into the file dialog.
class ExportWindow
{
public:
    ExportWindow()
    {
        model = window.findChild<DeviceModel *>();
        view = window.findChild<QTableView *>();
    }

    void add(const Device &d)
    {
        if (d.info)
            model->onDeviceReplyReceived(
                Replies::info(d.mac, d.name, QStringLiteral("1.8.0"), d.productType, d.infoResult));
        if (d.config)
            model->onDeviceReplyReceived(Replies::config(d.mac, d.host, d.ip, d.flag, d.configResult));
    }

    // Selects the devices' rows one after the other: the selection reports them in this order.
    void select(const QList<Device> &devices)
    {
        for (const Device &d : devices) {
            const int row = model->findRowByMac(d.mac);
            QVERIFY(row >= 0);
            view->selectionModel()->select(model->index(row, DeviceModel::DeviceColumn),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    ExportRun run(const QString &path, Answer answer = Answer::Accept)
    {
        ExportRun run;
        ModalAnswerer answerer([&](QWidget *modal) {
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                ++run.fileDialogs;
                run.caption = dialog->windowTitle();
                run.directory = dialog->directory().absolutePath();
                run.nameFilters = dialog->nameFilters();
                run.acceptMode = dialog->acceptMode();
                run.fileDialogParent = dialog->parentWidget();
                if (answer == Answer::Cancel) {
                    dialog->reject();
                    return;
                }
                auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                QVERIFY(name);
                name->setText(path);
                QDialog *asDialog = dialog; // accept() and done() are public there
                if (answer == Answer::ForceAccept) {
                    asDialog->done(QDialog::Accepted); // as a dialog that lets any name through would
                } else {
                    // accept() may ask before it replaces a file: from the event loop, so that the
                    // question is answered too.
                    QTimer::singleShot(0, asDialog, &QDialog::accept);
                }
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                if (qobject_cast<QFileDialog *>(box->parentWidget())) {
                    // The file dialog's own question before it replaces an existing file.
                    ++run.overwriteQuestions;
                    ModalAnswerer::press(box, QMessageBox::Yes);
                    return;
                }
                run.boxes.append(
                    {box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->parentWidget()});
                ModalAnswerer::press(box, QMessageBox::Ok);
            } else {
                ++run.others;
                ModalAnswerer::press(modal, QMessageBox::Cancel);
            }
        });
        QVERIFY_RETURN(QMetaObject::invokeMethod(&window, "exportConnectionsToXml"), run);
        return run;
    }

    MainWindow window;
    DeviceModel *model = nullptr;
    QTableView *view = nullptr;
};

const QString Attributes =
    QStringLiteral(R"(ProductType="%1" ServerType="1" Port="" UploadSubfolder="" User="" Password="")");

QByteArray line(const QString &host, const QString &productType, const QString &name)
{
    return (QStringLiteral("    <connection Host=\"%1\" ").arg(host) + Attributes.arg(productType) +
            QStringLiteral(">%1</connection>\n").arg(name))
        .toUtf8();
}

#ifdef Q_OS_LINUX
// While it lives, this thread works without the capabilities that let root write into any folder,
// so that a folder's permissions hold for root as for everyone else. Capabilities belong to the
// thread: the rest of the process keeps them.
class WithoutFileOverride
{
public:
    WithoutFileOverride()
    {
        header.version = _LINUX_CAPABILITY_VERSION_3;
        if (::syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[capability / 32].effective &= ~(1u << (capability % 32));
        active = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~WithoutFileOverride()
    {
        if (active)
            ::syscall(SYS_capset, &header, saved);
    }
    WithoutFileOverride(const WithoutFileOverride &) = delete;
    WithoutFileOverride &operator=(const WithoutFileOverride &) = delete;

private:
    __user_cap_header_struct header{};
    __user_cap_data_struct saved[2] = {};
    bool active = false;
};

// Mounts a file system of 64 KiB on `path`, in a mount namespace of this thread's own so that no
// other process sees it. Empty when it worked, else why not.
QString mountSmallFileSystem(const QString &path)
{
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("veltra-full", QFile::encodeName(path).constData(), "tmpfs", 0, "size=64k,mode=0755") != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString();
}

// Writes to `path` until the file system has no room left; true when it ended so.
bool fillUp(const QString &path)
{
    QFile filler(path);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    return filler.error() == QFileDevice::WriteError || filler.error() == QFileDevice::ResourceError;
}
#endif

} // namespace

Q_DECLARE_METATYPE(Device)

class TestConnectionExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void fileContent();
    void escaping();
    void duplicateNames_data();
    void duplicateNames();
    void nameSearchStopsAt999();
    void filter_data();
    void filter();
    void nothingToExport_data();
    void nothingToExport();
    void fileDialogAndMessage();
    void fileDialogCancelled();
    void credentialsAreNeverWritten();
    void existingFileIsReplaced();

    void failureLeavesFileAndWarns_data();
    void failureLeavesFileAndWarns();
    void deviceFileIsWrittenInPlace();
    void writeFileRefusesDirectory();
    void untrustedTargetsAreRefused_data();
    void untrustedTargetsAreRefused();

private:
    QTemporaryDir configDir;
    QTemporaryDir workDir;
};

void TestConnectionExport::initTestCase()
{
    QVERIFY(configDir.isValid());
    QVERIFY(workDir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configDir.path());
    const QString settingsFile = QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvane"),
                                           QStringLiteral("Veltra Device Finder"))
                                     .fileName();
    QVERIFY2(settingsFile.startsWith(configDir.path() + QLatin1Char('/')), qPrintable(settingsFile));
}

void TestConnectionExport::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Orvane"),
              QStringLiteral("Veltra Device Finder"))
        .clear();
}

void TestConnectionExport::fileContent()
{
    ExportWindow w;
    Device fixed = device(10);
    Device dhcp = device(11);
    dhcp.host = QStringLiteral("cam-hall");
    dhcp.flag = QStringLiteral("1");
    dhcp.productType = QStringLiteral("7");
    Device latin1 = device(12);
    latin1.host = QStringLiteral("k\u00fcche");
    latin1.productType = QStringLiteral("305");
    for (const Device &d : {fixed, dhcp, latin1})
        w.add(d);
    w.select({fixed, dhcp, latin1});

    const QString path = workDir.filePath(QStringLiteral("content.xml"));
    const ExportRun run = w.run(path);
    QCOMPARE(run.fileDialogs, 1);

    const QByteArray expected = QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                           "<export>\n") +
                                line(QStringLiteral("192.168.1.10"), QStringLiteral("12"), QStringLiteral("disp")) +
                                line(QStringLiteral("cam-hall"), QStringLiteral("7"), QStringLiteral("cam-hall")) +
                                line(QStringLiteral("192.168.1.12"), QStringLiteral("305"), latin1.host) +
                                QByteArray("</export>\n");
    QCOMPARE(readFile(path), expected);
}

void TestConnectionExport::escaping()
{
    // Devices may send any text; the file stays well-formed and reads back as sent.
    ExportWindow w;
    Device dhcp = device(1);
    dhcp.host = QStringLiteral("a&b<c>\"d'e");
    dhcp.flag = QStringLiteral("1");
    Device fixed = device(2);
    fixed.host = QStringLiteral("x&y");
    fixed.ip = QStringLiteral("<ip>&\"");
    w.add(dhcp);
    w.add(fixed);
    w.select({dhcp, fixed});

    const QString path = workDir.filePath(QStringLiteral("escaping.xml"));
    w.run(path);
    const QList<Connection> connections = readConnections(readFile(path));
    QCOMPARE(connections.size(), 2);
    QCOMPARE(valuesOf(connections, QStringLiteral("Host")), QStringList({dhcp.host, fixed.ip}));
    QCOMPARE(textsOf(connections), QStringList({dhcp.host, fixed.host}));
}

void TestConnectionExport::duplicateNames_data()
{
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<QList<int>>("order");
    QTest::addColumn<QStringList>("names");

    const QStringList hosts = {QStringLiteral("disp"), QStringLiteral("disp"), QStringLiteral("disp2")};
    QTest::newRow("disp disp disp2") << hosts << QList<int>{0, 1, 2}
                                     << QStringList{QStringLiteral("disp"), QStringLiteral("disp2"),
                                                    QStringLiteral("disp22")};
    // The selection order, not the table order, decides who gets the plain name.
    QTest::newRow("selected the other way round")
        << hosts << QList<int>{2, 1, 0}
        << QStringList{QStringLiteral("disp2"), QStringLiteral("disp"), QStringLiteral("disp3")};
    QTest::newRow("three alike") << QStringList{QStringLiteral("cam"), QStringLiteral("cam"), QStringLiteral("cam")}
                                 << QList<int>{0, 1, 2}
                                 << QStringList{QStringLiteral("cam"), QStringLiteral("cam2"), QStringLiteral("cam3")};
    QTest::newRow("case counts") << QStringList{QStringLiteral("Cam"), QStringLiteral("cam")} << QList<int>{0, 1}
                                 << QStringList{QStringLiteral("Cam"), QStringLiteral("cam")};
    QTest::newRow("empty names") << QStringList{QString(), QString()} << QList<int>{0, 1}
                                 << QStringList{QString(), QStringLiteral("2")};
}

void TestConnectionExport::duplicateNames()
{
    QFETCH(QStringList, hosts);
    QFETCH(QList<int>, order);
    QFETCH(QStringList, names);

    ExportWindow w;
    QList<Device> devices;
    for (int i = 0; i < hosts.size(); ++i) {
        Device d = device(i + 1);
        d.host = hosts.at(i);
        devices.append(d);
        w.add(d);
    }
    QList<Device> selection;
    QStringList expectedHosts;
    for (const int i : order) {
        selection.append(devices.at(i));
        expectedHosts.append(devices.at(i).ip);
    }
    w.select(selection);

    const QString path = workDir.filePath(QStringLiteral("duplicates.xml"));
    const ExportRun run = w.run(path);
    const QList<Connection> connections = readConnections(readFile(path));
    QCOMPARE(textsOf(connections), names);
    QCOMPARE(valuesOf(connections, QStringLiteral("Host")), expectedHosts);
    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.boxes.first().text, QStringLiteral("%1 connection(s) exported to %2").arg(names.size()).arg(path));
}

void TestConnectionExport::nameSearchStopsAt999()
{
    // 1001 devices named "d": d, d2 ... d999, then the 999th and the 1000th duplicate keep d999.
    QList<ConnectionExport::Entry> entries;
    for (int i = 0; i < 1001; ++i)
        entries.append({QStringLiteral("10.0.0.1"), 1, QStringLiteral("d")});
    QStringList names;
    const QList<Connection> connections = readConnections(ConnectionExport::document(entries, &names));
    QCOMPARE(connections.size(), 1001);
    QCOMPARE(textsOf(connections), names);
    QCOMPARE(names.at(0), QStringLiteral("d"));
    for (int k = 2; k <= 999; ++k)
        QCOMPARE(names.at(k - 1), QStringLiteral("d%1").arg(k));
    QCOMPARE(names.at(999), QStringLiteral("d999"));
    QCOMPARE(names.at(1000), QStringLiteral("d999"));

    // A base name that already ends in digits is only appended to.
    QCOMPARE(ConnectionExport::uniqueName(QStringLiteral("d9"), {QStringLiteral("d9")}), QStringLiteral("d92"));
}

void TestConnectionExport::filter_data()
{
    QTest::addColumn<Device>("candidate");
    QTest::addColumn<bool>("exported");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("productType");
    QTest::addColumn<QString>("name");

    Device d = device(2);
    d.host = QStringLiteral("candidate");
    Device veltraNet = d;
    veltraNet.name = QStringLiteral("VeltraNET-4.3");
    QTest::newRow("VeltraNET left out") << veltraNet << false << QString() << QString() << QString();
    Device veltra = d;
    veltra.name = QStringLiteral("Veltra-X1");
    QTest::newRow("other Veltra left out") << veltra << false << QString() << QString() << QString();
    Device lower = d;
    lower.name = QStringLiteral("veltra-x1");
    QTest::newRow("lower-case veltra kept") << lower << true << d.ip << QStringLiteral("12") << d.host;
    Device inside = d;
    inside.name = QStringLiteral("Motilux Veltra");
    QTest::newRow("Veltra not at the start kept") << inside << true << d.ip << QStringLiteral("12") << d.host;

    Device failed = d;
    failed.infoResult = 1;
    failed.configResult = Protocol::AuthorizationFailed;
    QTest::newRow("N/A device and address kept")
        << failed << true << QStringLiteral("N/A") << QStringLiteral("0") << QStringLiteral("N/A");
    Device failedInfo = d;
    failedInfo.infoResult = 1;
    QTest::newRow("N/A device kept") << failedInfo << true << d.ip << QStringLiteral("0") << d.host;
    Device failedDhcp = d;
    failedDhcp.flag = QStringLiteral("1");
    failedDhcp.configResult = 1;
    QTest::newRow("N/A IP config uses the address text")
        << failedDhcp << true << QStringLiteral("N/A") << QStringLiteral("12") << QStringLiteral("N/A");

    Device noInfo = d;
    noInfo.info = false;
    QTest::newRow("no device-information reply left out") << noInfo << false << QString() << QString() << QString();
    Device noConfig = d;
    noConfig.config = false;
    QTest::newRow("no configuration reply left out") << noConfig << false << QString() << QString() << QString();
    Device oddType = d;
    oddType.productType = QStringLiteral("x");
    QTest::newRow("product type no number") << oddType << true << d.ip << QStringLiteral("0") << d.host;
}

void TestConnectionExport::filter()
{
    QFETCH(Device, candidate);
    QFETCH(bool, exported);
    QFETCH(QString, host);
    QFETCH(QString, productType);
    QFETCH(QString, name);

    // Selected before and after a plain device, the candidate keeps its place when it stays.
    ExportWindow w;
    const Device first = device(1);
    Device last = device(3);
    last.host = QStringLiteral("last");
    for (const Device &d : {first, candidate, last})
        w.add(d);
    w.select({first, candidate, last});

    const QString path = workDir.filePath(QStringLiteral("filter.xml"));
    const ExportRun run = w.run(path);
    const QList<Connection> connections = readConnections(readFile(path));
    QCOMPARE(run.caption, QStringLiteral("Export %1 connections to a file").arg(exported ? 3 : 2));
    QCOMPARE(connections.size(), exported ? 3 : 2);
    QCOMPARE(connections.first().value(QStringLiteral("Host")), first.ip);
    QCOMPARE(connections.last().text, QStringLiteral("last"));
    if (exported) {
        const Connection &c = connections.at(1);
        QCOMPARE(c.value(QStringLiteral("Host")), host);
        QCOMPARE(c.value(QStringLiteral("ProductType")), productType);
        QCOMPARE(c.text, name);
    }
}

void TestConnectionExport::nothingToExport_data()
{
    QTest::addColumn<QList<Device>>("devices");
    QTest::addColumn<int>("selected");

    Device veltraNet = device(1);
    veltraNet.name = QStringLiteral("VeltraNET-III");
    Device veltra = device(2);
    veltra.name = QStringLiteral("Veltra-X1");
    Device partial = device(3);
    partial.config = false;
    QTest::newRow("nothing selected") << QList<Device>{device(4)} << 0;
    QTest::newRow("empty table") << QList<Device>{} << 0;
    QTest::newRow("only Veltra devices") << QList<Device>{veltraNet, veltra} << 2;
    QTest::newRow("Veltra and incomplete rows") << QList<Device>{veltra, partial} << 2;
}

void TestConnectionExport::nothingToExport()
{
    QFETCH(QList<Device>, devices);
    QFETCH(int, selected);

    ExportWindow w;
    for (const Device &d : devices)
        w.add(d);
    w.select(devices.mid(0, selected));
    const QString path = workDir.filePath(QStringLiteral("nothing.xml"));
    const ExportRun run = w.run(path);
    QCoreApplication::processEvents();
    QCOMPARE(run.fileDialogs, 0);
    QCOMPARE(run.boxes.size(), 0);
    QCOMPARE(run.others, 0);
    QVERIFY(!QFileInfo::exists(path));
}

void TestConnectionExport::fileDialogAndMessage()
{
    ExportWindow w;
    Device veltra = device(1);
    veltra.name = QStringLiteral("VeltraNET-4.3");
    for (const Device &d : {veltra, device(2), device(3)})
        w.add(d);
    w.select({veltra, device(2), device(3)});

    const QString path = workDir.filePath(QStringLiteral("dialog.xml"));
    const ExportRun run = w.run(path);
    QCOMPARE(run.fileDialogs, 1);
    QCOMPARE(run.caption, QStringLiteral("Export 2 connections to a file"));
    QCOMPARE(run.directory, QDir::rootPath());
    QCOMPARE(run.nameFilters, QStringList{QStringLiteral("Xml files (*.xml)")});
    QCOMPARE(run.acceptMode, QFileDialog::AcceptSave);
    QCOMPARE(run.fileDialogParent, &w.window);
    QCOMPARE(run.overwriteQuestions, 0);

    QCOMPARE(run.boxes.size(), 1);
    const ExportRun::Box &box = run.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Export connections"));
    QCOMPARE(box.text, QStringLiteral("2 connection(s) exported to %1").arg(path));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.parent, &w.window);
    QCOMPARE(run.others, 0);
    QCOMPARE(readConnections(readFile(path)).size(), 2);
}

void TestConnectionExport::fileDialogCancelled()
{
    ExportWindow w;
    w.add(device(1));
    w.select({device(1)});
    const QString path = workDir.filePath(QStringLiteral("cancelled.xml"));
    const ExportRun run = w.run(path, Answer::Cancel);
    QCOMPARE(run.fileDialogs, 1);
    QCOMPARE(run.boxes.size(), 0);
    QCOMPARE(run.others, 0);
    QVERIFY(!QFileInfo::exists(path));
}

void TestConnectionExport::credentialsAreNeverWritten()
{
    ExportWindow w;
    const Device d = device(1);
    CredentialStore::saveLoginData({d.mac, QStringLiteral("stored-user"), QStringLiteral("stored-secret")});
    QCOMPARE(CredentialStore::loadLoginData(d.mac).size(), 3);
    w.add(d);
    w.select({d});

    const QString path = workDir.filePath(QStringLiteral("credentials.xml"));
    w.run(path);
    const QByteArray content = readFile(path);
    const QList<Connection> connections = readConnections(content);
    QCOMPARE(connections.size(), 1);
    QCOMPARE(connections.first().value(QStringLiteral("User")), QString());
    QCOMPARE(connections.first().value(QStringLiteral("Password")), QString());
    QVERIFY(!content.contains("stored-"));
}

void TestConnectionExport::existingFileIsReplaced()
{
    ExportWindow w;
    w.add(device(1));
    w.select({device(1)});
    const QString path = workDir.filePath(QStringLiteral("existing.xml"));
    QVERIFY(writeFile(path, QByteArray(4096, '#')));

    const ExportRun run = w.run(path);
    QCOMPARE(run.overwriteQuestions, 1);
    QCOMPARE(run.boxes.size(), 1);
    QCOMPARE(run.boxes.first().icon, QMessageBox::Information);
    const QByteArray content = readFile(path);
    QVERIFY(!content.contains('#'));
    QCOMPARE(readConnections(content).size(), 1);
}

void TestConnectionExport::failureLeavesFileAndWarns_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder missing") << QStringLiteral("missing");
    QTest::newRow("name is a folder") << QStringLiteral("folder");
#ifdef Q_OS_UNIX
    QTest::newRow("file size limit") << QStringLiteral("limit");
#endif
#ifdef Q_OS_LINUX
    QTest::newRow("read-only folder") << QStringLiteral("readonly");
    QTest::newRow("disk full") << QStringLiteral("full");
#endif
}

void TestConnectionExport::failureLeavesFileAndWarns()
{
    QFETCH(QString, kind);
    QTemporaryDir dir(workDir.filePath(QStringLiteral("failure-XXXXXX")));
    QVERIFY(dir.isValid());
    const QByteArray old = "old content that must survive\n";
    QString path;
    QString reason;
    Answer answer = Answer::Accept;
    if (kind == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("missing/conn.xml"));
        reason = QString::fromLocal8Bit(std::strerror(ENOENT));
    } else if (kind == QLatin1String("folder")) {
        path = dir.filePath(QStringLiteral("folder"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("folder/inside.txt")), old));
        answer = Answer::ForceAccept; // the file dialog itself would only open the folder
    } else if (kind == QLatin1String("limit")) {
        path = dir.filePath(QStringLiteral("conn.xml"));
        QVERIFY(writeFile(path, old));
        reason = QString::fromLocal8Bit(std::strerror(EFBIG));
    } else if (kind == QLatin1String("readonly")) {
        // The file itself may be written; its folder may not be, so no new file can take its place.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("readonly")));
        path = dir.filePath(QStringLiteral("readonly/conn.xml"));
        QVERIFY(writeFile(path, old));
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("readonly")),
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::ExeOther));
        reason = QString::fromLocal8Bit(std::strerror(EACCES));
    } else {
#ifdef Q_OS_LINUX
        // A real file system without a free block, holding the old file.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("full")));
        const QString mountError = mountSmallFileSystem(dir.filePath(QStringLiteral("full")));
        if (!mountError.isEmpty())
            QSKIP(qPrintable(QStringLiteral("cannot mount a small file system: %1").arg(mountError)));
        path = dir.filePath(QStringLiteral("full/conn.xml"));
        QVERIFY(writeFile(path, old));
        QVERIFY(fillUp(dir.filePath(QStringLiteral("full/filler"))));
        reason = QString::fromLocal8Bit(std::strerror(ENOSPC));
#endif
    }
    const auto unmount = qScopeGuard([&] {
#ifdef Q_OS_LINUX
        if (kind == QLatin1String("full"))
            ::umount2(QFile::encodeName(dir.filePath(QStringLiteral("full"))).constData(), MNT_DETACH);
        if (kind == QLatin1String("readonly"))
            QFile::setPermissions(dir.filePath(QStringLiteral("readonly")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
    });

    ExportWindow w;
    for (int i = 1; i <= 3; ++i)
        w.add(device(i));
    w.select({device(1), device(2), device(3)});

    ExportRun run;
#ifdef Q_OS_UNIX
    if (kind == QLatin1String("limit")) {
        // No file may grow beyond 64 bytes while the export runs: the writes fail as on a full disk.
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 64;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        run = w.run(path, answer);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    } else if (kind == QLatin1String("readonly")) {
        const WithoutFileOverride asAnyUser;
        run = w.run(path, answer);
    } else
#endif
    {
        run = w.run(path, answer);
    }

    QCOMPARE(run.fileDialogs, 1);
    QCOMPARE(run.boxes.size(), 1);
    const ExportRun::Box &box = run.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Export connections"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.parent, &w.window);
    QVERIFY2(!box.text.contains(QLatin1String("exported to")), qPrintable(box.text));
    QVERIFY2(box.text.contains(path), qPrintable(box.text));
    if (!reason.isEmpty())
        QVERIFY2(box.text.contains(reason, Qt::CaseInsensitive), qPrintable(box.text));

    if (kind == QLatin1String("missing")) {
        QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(readFile(dir.filePath(QStringLiteral("folder/inside.txt"))), old);
    } else {
        QCOMPARE(readFile(path), old);
    }
    // No half-written temporary file stays behind.
    const QString folder = kind == QLatin1String("missing") ? dir.path() : QFileInfo(path).path();
    const QStringList left =
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    QStringList expectedLeft;
    if (kind != QLatin1String("missing"))
        expectedLeft.append(QFileInfo(path).fileName());
    if (kind == QLatin1String("full"))
        expectedLeft.append(QStringLiteral("filler"));
    QCOMPARE(left, expectedLeft);
}

void TestConnectionExport::deviceFileIsWrittenInPlace()
{
#ifndef Q_OS_LINUX
    QSKIP("needs a full-device node");
#else
    // A device that is always full, as /dev/full is. A node of our own in our own folder keeps a
    // faulty export from replacing the system's /dev/full.
    QTemporaryDir dir(workDir.filePath(QStringLiteral("device-XXXXXX")));
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("full"));
    const QByteArray nativePath = QFile::encodeName(path);
    if (::mknod(nativePath.constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        QSKIP(qPrintable(
            QStringLiteral("cannot make a device node: %1").arg(QString::fromLocal8Bit(std::strerror(errno)))));
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || probe.write("x", 1) >= 0)
            QSKIP("the device node does not behave as a full device here");
    }

    ExportWindow w;
    w.add(device(1));
    w.select({device(1)});
    const ExportRun run = w.run(path);

    struct stat info = {};
    QCOMPARE(::lstat(nativePath.constData(), &info), 0);
    QVERIFY2(S_ISCHR(info.st_mode), "the device node was replaced");
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
             QStringList{QStringLiteral("full")});
    QCOMPARE(run.overwriteQuestions, 1);
    QCOMPARE(run.boxes.size(), 1);
    const ExportRun::Box &box = run.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Export connections"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY2(box.text.contains(path), qPrintable(box.text));
    QVERIFY2(box.text.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)), Qt::CaseInsensitive),
             qPrintable(box.text));
#endif
}

void TestConnectionExport::writeFileRefusesDirectory()
{
    const QString path = workDir.filePath(QStringLiteral("a-folder"));
    QVERIFY(QDir(workDir.path()).mkdir(QStringLiteral("a-folder")));
    QString error;
    QCOMPARE(ConnectionExport::writeFile(path, {{QStringLiteral("10.0.0.1"), 1, QStringLiteral("d")}}, &error), -1);
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(path).isDir());
}

void TestConnectionExport::untrustedTargetsAreRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("refusal"); // part of the error text; empty: the export is written
    const QString link = QStringLiteral("symbolic link of another user");
    const QString pipe = QStringLiteral("pipe or socket");
    QTest::newRow("another user's link to the user's file") << QStringLiteral("their link") << link;
    QTest::newRow("another user's dangling link") << QStringLiteral("their dangling link") << link;
    QTest::newRow("own link to another user's link") << QStringLiteral("own link, their link") << link;
    QTest::newRow("own link") << QStringLiteral("own link") << QString();
    QTest::newRow("pipe without reader") << QStringLiteral("pipe") << pipe;
    QTest::newRow("pipe with reader") << QStringLiteral("pipe, reader") << pipe;
    QTest::newRow("socket") << QStringLiteral("socket") << pipe;
}

void TestConnectionExport::untrustedTargetsAreRefused()
{
#ifndef Q_OS_UNIX
    QSKIP("needs file owners, pipes and sockets");
#else
    // What another user can leave at a name in a shared folder such as /tmp: nothing of the user's
    // is replaced through it, and nothing waits for it.
    QFETCH(QString, kind);
    QFETCH(QString, refusal);
    QTemporaryDir dir(workDir.filePath(QStringLiteral("target-XXXXXX")));
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("report.xml"));
    const QString own = dir.filePath(QStringLiteral("own.xml"));
    const QString missing = dir.filePath(QStringLiteral("new.xml"));
    const QByteArray old = "a file of the user's\n";
    QVERIFY(writeFile(own, old));
    const auto link = [](const QString &target, const QString &at, uid_t owner) {
        return QFile::link(target, at) && ::lchown(QFile::encodeName(at).constData(), owner, gid_t(-1)) == 0;
    };
    constexpr uid_t Nobody = 65534;
    QLocalServer server;
    int reader = -1;
    if (kind == QLatin1String("their link")) {
        QVERIFY(link(own, path, Nobody));
    } else if (kind == QLatin1String("their dangling link")) {
        QVERIFY(link(missing, path, Nobody));
    } else if (kind == QLatin1String("own link, their link")) {
        QVERIFY(link(own, dir.filePath(QStringLiteral("theirs")), Nobody));
        QVERIFY(link(dir.filePath(QStringLiteral("theirs")), path, ::geteuid()));
    } else if (kind == QLatin1String("own link")) {
        QVERIFY(link(own, path, ::geteuid()));
    } else if (kind == QLatin1String("socket")) {
        QVERIFY(server.listen(path));
    } else {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0666), 0);
        if (kind == QLatin1String("pipe, reader"))
            QVERIFY((reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK)) >= 0);
    }
    const auto closeReader = qScopeGuard([reader] {
        if (reader >= 0)
            ::close(reader);
    });

    // Through the window, whose warning shows the reason; veltra-find reports the same text.
    ExportWindow w;
    w.add(device(1));
    w.select({device(1)});
    const ExportRun run = w.run(path);
    QCOMPARE(run.boxes.size(), 1);
    const ExportRun::Box &box = run.boxes.first();
    if (refusal.isEmpty()) {
        QCOMPARE(box.icon, QMessageBox::Information);
        QCOMPARE(readConnections(readFile(own)).size(), 1);
        QVERIFY(QFileInfo(path).isSymLink());
        return;
    }
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY2(box.text.contains(refusal), qPrintable(box.text));
    QCOMPARE(readFile(own), old);
    QVERIFY(!QFileInfo::exists(missing));
    char byte = 0;
    QVERIFY(reader < 0 || ::read(reader, &byte, 1) <= 0);
#endif
}

QTEST_MAIN(TestConnectionExport)
#include "tst_connectionexport.moc"
