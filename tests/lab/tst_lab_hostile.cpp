// SPDX-License-Identifier: Apache-2.0
// The main window against datagrams that another machine on the LAN makes up: replies that name
// no device, configuration answers nobody asked for, and a stream of foreign datagrams. Two
// simulated devices answer the scan; the crafted datagrams come from the lab's lan side, with an
// empty destination MAC, which every host takes as its own.

#include "labsupport.h"

#include "modalanswerer.h"
#include "model/devicemodel.h"
#include "protocol/messageheader.h"
#include "settings/credentialstore.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

constexpr int WireTimeoutMs = 10000;
const QString DeviceA = QStringLiteral("02:00:00:00:00:01");
// A device that only the crafted datagrams know: its reply shows that everything sent before it
// has been handled.
const QString Marker = QStringLiteral("06:00:00:00:00:09");

QByteArray infoReply(const QString &srcMac, const QByteArray &name = "Panoryx-III")
{
    QByteArray body(24, '\0');
    body.replace(0, 2, "12");
    body.replace(4, 5, "1.8.0");
    return Lab::replyDatagram(DeviceInfoReply, QString(), srcMac, 0, body + name + '\0');
}

} // namespace

class TestLabHostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void repliesThatNameNoDevice();
    void unrequestedAnswersChangeNothing();
    void streamOfForeignDatagramsBringsOneBox();

private:
    DeviceModel *model() const { return window->findChild<DeviceModel *>(); }
    // Sends the marker's reply last and waits until the window has handled it.
    bool sendThenMark(const QList<QByteArray> &datagrams);
    QStringList macs() const;

    Lab::Environment lab = Lab::Environment::fromProcess();
    QTemporaryDir settingsDir;
    std::unique_ptr<Lab::Simulator> simulator;
    std::unique_ptr<Lab::LanSocket> lan;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ModalAnswerer> answerer;
};

void TestLabHostile::initTestCase()
{
    REQUIRE_LAB(lab);
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

void TestLabHostile::init()
{
    simulator = std::make_unique<Lab::Simulator>(lab, QStringList{QStringLiteral("--count"), QStringLiteral("2")});
    QString error;
    QVERIFY2(simulator->start(&error), qPrintable(error));
    lan = std::make_unique<Lab::LanSocket>(lab);
    QVERIFY2(lan->isValid(), qPrintable(lan->errorString()));
    answerer = std::make_unique<ModalAnswerer>();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->findChild<QAction *>(QStringLiteral("scanAct"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), 2, WireTimeoutMs);
}

void TestLabHostile::cleanup()
{
    window.reset();
    answerer.reset();
    lan.reset();
    simulator.reset();
}

bool TestLabHostile::sendThenMark(const QList<QByteArray> &datagrams)
{
    for (const QByteArray &datagram : datagrams) {
        if (!lan->broadcast(datagram))
            return false;
    }
    if (!lan->broadcast(infoReply(Marker)))
        return false;
    return QTest::qWaitFor([this] { return model()->findRowByMac(Marker) >= 0; }, WireTimeoutMs);
}

QStringList TestLabHostile::macs() const
{
    QStringList result;
    for (int row = 0; row < model()->rowCount(); ++row)
        result.append(model()->item(row, DeviceModel::MacAddressColumn)->text());
    return result;
}

// A reply whose source is no MAC address makes no row; a lower-case MAC, as some devices send it,
// does.
void TestLabHostile::repliesThatNameNoDevice()
{
    QVERIFY(sendThenMark({infoReply(QString()), infoReply(QStringLiteral("<img src=/dev/zero")),
                          infoReply(QStringLiteral("02:00:00:00:00")), infoReply(QStringLiteral("06:00:00:00:00:0a")),
                          infoReply(QStringLiteral("06:00:00:00:00:0b"), QByteArray(60000, 'n'))}));
    QStringList listed = macs();
    listed.sort();
    QCOMPARE(listed, (QStringList{DeviceA, QStringLiteral("02:00:00:00:00:02"), QStringLiteral("06:00:00:00:00:09"),
                                  QStringLiteral("06:00:00:00:00:0a"), QStringLiteral("06:00:00:00:00:0b")}));
    // A name of 60,000 characters is kept as its first 255.
    const int named = model()->findRowByMac(QStringLiteral("06:00:00:00:00:0b"));
    QCOMPARE(model()->item(named, DeviceModel::DeviceColumn)->text(), QString(255, QLatin1Char('n')));
}

// Answers to configuration requests that were never sent neither restart the device's network nor
// forget its stored credentials.
void TestLabHostile::unrequestedAnswersChangeNothing()
{
    const QStringList stored{DeviceA, QStringLiteral("admin"), QStringLiteral("secret")};
    CredentialStore::saveLoginData(stored);
    QVERIFY(sendThenMark({
        Lab::replyDatagram(SetNetworkConfigAuthReply, QString(), DeviceA, Protocol::AuthorizationFailed),
        Lab::replyDatagram(SetNetworkConfigReply, QString(), DeviceA, Protocol::AuthorizationFailed),
        Lab::replyDatagram(SetNetworkConfigReply, QString(), DeviceA, 0),
        Lab::replyDatagram(SetNetworkConfigAuthReply, QString(), DeviceA, 0),
    }));
    QCOMPARE(CredentialStore::loadLoginData(DeviceA), stored);
    QCOMPARE(model()->item(0, DeviceModel::StatusColumn)->text(), QString());
    // What the window sent reached the simulator: the scan's two requests and nothing else.
    QTest::qWait(500);
    const auto received = simulator->received();
    QStringList kinds;
    for (const QJsonObject &entry : received) {
        if (entry.value(QLatin1String("sender")).toString() == lab.hostIp)
            kinds.append(QString::number(entry.value(QLatin1String("messageId")).toInt()));
    }
    QCOMPARE(kinds, (QStringList{QStringLiteral("11"), QStringLiteral("7")}));
}

// One foreign datagram every 200 ms: one notice box, not one after another.
void TestLabHostile::streamOfForeignDatagramsBringsOneBox()
{
    for (int i = 0; i < 15; ++i) {
        QVERIFY(lan->broadcast("NOTIFY * HTTP/1.1\r\n" + QByteArray::number(i)));
        QTest::qWait(200);
    }
    QVERIFY(sendThenMark({}));
    QTest::qWait(300);
    int notices = 0;
    for (const ModalAnswerer::Seen &box : std::as_const(answerer->seen))
        notices += box.title == QLatin1String("!") ? 1 : 0;
    QCOMPARE(notices, 1);
}

QTEST_MAIN(TestLabHostile)

#include "tst_lab_hostile.moc"
