// SPDX-License-Identifier: Apache-2.0
#include "devsim/datagramlog.h"
#include "devsim/devicesimulator.h"
#include "devsim/simulatorendpoint.h"

#include "protocol/messageheader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

// Everything here sends to 127.0.0.1 only: the simulator is always told to reply from and to
// the loopback address, and the requests go to it by unicast.
namespace {

const QHostAddress Loopback(QHostAddress::LocalHost);
const QString HostMac = QStringLiteral("AA:BB:CC:00:11:22");

QByteArray request(quint32 messageId, const QString &dest, quint16 sequence)
{
    return MessageHeader::request(messageId, dest, 0, HostMac, QStringLiteral("192.168.77.2"), sequence).toByteArray();
}

QStringList loopbackOnly(const QStringList &arguments)
{
    return arguments + QStringList{QStringLiteral("--interface"), QStringLiteral("127.0.0.1"),
                                   QStringLiteral("--reply-address"), QStringLiteral("127.0.0.1")};
}

QList<QJsonObject> logEntries(const QString &path)
{
    QList<QJsonObject> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty())
            entries.append(QJsonDocument::fromJson(line).object());
    }
    return entries;
}

DeviceProfile device(const QString &mac, int delayMs)
{
    DeviceProfile profile;
    profile.mac = mac;
    profile.delayMs = delayMs;
    profile.jitterMs = 0;
    return profile;
}

// Replies go to `replyPort` on loopback; 0 sends them back to the endpoint's own port.
EndpointSettings loopbackSettings(quint16 replyPort)
{
    EndpointSettings settings;
    settings.interfaceAddress = Loopback;
    settings.port = 0;
    settings.replyAddress = Loopback;
    settings.replyPort = replyPort;
    return settings;
}

// Collects the datagrams that reach a loopback port.
class Receiver : public QObject
{
public:
    Receiver()
    {
        socket.bind(Loopback, 0);
        connect(&socket, &QUdpSocket::readyRead, this, [this] {
            while (socket.hasPendingDatagrams()) {
                datagrams.append(socket.receiveDatagram().data());
                arrivals.append(clock.elapsed());
            }
        });
        clock.start();
    }
    quint16 port() const { return socket.localPort(); }

    QUdpSocket socket;
    QElapsedTimer clock;
    QList<QByteArray> datagrams;
    QList<qint64> arrivals;
};

} // namespace

class TestDevsimProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void badInput_data();
    void badInput();
    void help();
    void servesOverLoopback();
    void endsByItself();
    void sendsRepliesWhenDue();
    void marksOwnRepliesInTheLog();

private:
    QString program;
    QTemporaryDir dir;
};

void TestDevsimProcess::initTestCase()
{
    program = qEnvironmentVariable("VELTRA_DEVSIM");
    QVERIFY2(QFile::exists(program), "VELTRA_DEVSIM must name the veltra-devsim executable");
    QVERIFY(dir.isValid());
}

void TestDevsimProcess::badInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("deviceList"); // written to FILE when not empty
    QTest::addColumn<QString>("message");

    const QString file = QStringLiteral("FILE");
    const QString count = QStringLiteral("--count");
    QTest::newRow("bad JSON") << QStringList{QStringLiteral("--devices"), file} << QByteArray("[{\"mac\": ")
                              << QStringLiteral("not valid JSON");
    QTest::newRow("no MAC") << QStringList{QStringLiteral("--devices"), file}
                            << QByteArray(R"([{"mac": "02:00:00:00:00:0X"}])") << QStringLiteral("\"mac\" must be");
    QTest::newRow("no such file") << QStringList{QStringLiteral("--devices"), dir.filePath(QStringLiteral("none"))}
                                  << QByteArray() << QStringLiteral("cannot read");
    QTest::newRow("endless device list") << QStringList{QStringLiteral("--devices"), QStringLiteral("/dev/zero")}
                                         << QByteArray() << QStringLiteral("larger than 4 MiB");
    QTest::newRow("huge value") << QStringList{QStringLiteral("--devices"), file}
                                << QByteArray(R"([{"mac": "02:00:00:00:00:01", "domain": ")") +
                                       QByteArray(3000000, 'd') + R"("}])"
                                << QStringLiteral("longer than 79 characters: \"%1...\"").arg(QString(40, 'd'));
    QTest::newRow("huge option value") << QStringList{count, QString(100000, QLatin1Char('9'))} << QByteArray()
                                       << QStringLiteral("--count must be");
    QTest::newRow("bad option") << QStringList{count, QStringLiteral("2"), QStringLiteral("--jitterr")} << QByteArray()
                                << QStringLiteral("Unknown option");
    QTest::newRow("no devices") << QStringList() << QByteArray() << QStringLiteral("no devices");
    QTest::newRow("log not writable") << QStringList{count, QStringLiteral("1"), QStringLiteral("--log"),
                                                     dir.filePath(QStringLiteral("no/log"))}
                                      << QByteArray() << QStringLiteral("cannot write the log");
    QTest::newRow("port in use without sharing")
        << QStringList{count, QStringLiteral("1"), QStringLiteral("--port"), QStringLiteral("PORT")} << QByteArray()
        << QStringLiteral("cannot listen on UDP port");
}

void TestDevsimProcess::badInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, deviceList);
    QFETCH(QString, message);
    const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), '-'));
    if (!deviceList.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(deviceList);
    }
    QUdpSocket occupant; // holds a port without sharing it
    QVERIFY(occupant.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
    arguments.replaceInStrings(QStringLiteral("FILE"), path);
    arguments.replaceInStrings(QStringLiteral("PORT"), QString::number(occupant.localPort()));

    QProcess process;
    process.start(program, loopbackOnly(arguments));
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(process.readAllStandardOutput(), QByteArray()); // never ready
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(errors.startsWith(QLatin1String("veltra-devsim: ")) && errors.contains(message), qPrintable(errors));
    QVERIFY2(errors.size() < 1000, qPrintable(errors.left(1000))); // whatever the input
}

void TestDevsimProcess::help()
{
    QProcess process;
    process.start(program, {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    const QString text = QString::fromLocal8Bit(process.readAllStandardOutput());
    for (const char *option :
         {"--devices", "--count", "--mac-base", "--ip-base", "--interface", "--restart-time", "--jitter", "--delay",
          "--random-start", "--log", "--duration", "--answers", "lowercaseMac"})
        QVERIFY2(text.contains(QLatin1String(option)), option);
}

void TestDevsimProcess::servesOverLoopback()
{
    Receiver receiver;
    const QString logPath = dir.filePath(QStringLiteral("serve.log"));
    QProcess process;
    process.start(program, loopbackOnly({QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--port"),
                                         QStringLiteral("0"), QStringLiteral("--reply-port"),
                                         QString::number(receiver.port()), QStringLiteral("--log"), logPath}));
    QVERIFY(process.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 10000);
    const QString ready = QString::fromLocal8Bit(process.readLine());
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^veltra-devsim: ready, 3 devices on 127.0.0.1 port (\\d+)\n$")).match(ready);
    QVERIFY2(match.hasMatch(), qPrintable(ready));
    const quint16 port = match.captured(1).toUShort();

    QUdpSocket sender;
    const QByteArray info = request(GetDeviceInfo, QStringLiteral("FF:FF:FF:FF:FF:FF"), 1);
    const QByteArray config = request(GetNetworkConfig, QStringLiteral("02:00:00:00:00:02"), 2);
    QCOMPARE(sender.writeDatagram(info, Loopback, port), qint64(124));
    QCOMPARE(sender.writeDatagram(config, Loopback, port), qint64(124));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.datagrams.size(), 4, 5000);
    QSet<QString> answered;
    for (const QByteArray &reply : std::as_const(receiver.datagrams)) {
        QCOMPARE(MessageHeader::fromDatagram(reply).destMacAddr, HostMac);
        answered.insert(MessageHeader::messageIdOf(reply) == NetworkConfigReply ? QStringLiteral("config")
                                                                                : MessageHeader::srcMacOf(reply));
    }
    QCOMPARE(answered, (QSet<QString>{QStringLiteral("02:00:00:00:00:01"), QStringLiteral("02:00:00:00:00:02"),
                                      QStringLiteral("02:00:00:00:00:03"), QStringLiteral("config")}));

    // Every request is in the log, byte for byte, by the time its replies are out.
    const QList<QJsonObject> entries = logEntries(logPath);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).value(QLatin1String("hex")).toString().toLatin1(), info.toHex());
    QCOMPARE(entries.at(1).value(QLatin1String("hex")).toString().toLatin1(), config.toHex());
    QCOMPARE(entries.at(1).value(QLatin1String("sequenceNumber")).toInt(), 2);
    QCOMPARE(entries.at(1).value(QLatin1String("destMacAddr")).toString(), QStringLiteral("02:00:00:00:00:02"));
    QCOMPARE(entries.at(1).value(QLatin1String("own")).toBool(), false);

    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray()); // the ready line was the only one
    QVERIFY(process.readAllStandardError().contains("sent 4 replies"));
}

void TestDevsimProcess::endsByItself()
{
    QProcess process;
    process.start(program, loopbackOnly({QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--port"),
                                         QStringLiteral("0"), QStringLiteral("--duration"), QStringLiteral("200")}));
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(process.readAllStandardOutput().startsWith("veltra-devsim: ready, 1 devices"));
}

void TestDevsimProcess::sendsRepliesWhenDue()
{
    Receiver receiver;
    DeviceSimulator simulator({device(QStringLiteral("02:00:00:00:00:01"), 150),
                               device(QStringLiteral("02:00:00:00:00:02"), 0),
                               device(QStringLiteral("02:00:00:00:00:03"), 60)});
    SimulatorEndpoint endpoint(&simulator, loopbackSettings(receiver.port()));
    QString error;
    QVERIFY2(endpoint.start(&error), qPrintable(error));

    QUdpSocket sender;
    sender.writeDatagram(request(GetDeviceInfo, QStringLiteral("FF:FF:FF:FF:FF:FF"), 1), Loopback,
                         endpoint.listeningPort());
    QTRY_COMPARE_WITH_TIMEOUT(receiver.datagrams.size(), 3, 5000);
    QStringList order;
    for (const QByteArray &reply : std::as_const(receiver.datagrams))
        order.append(MessageHeader::srcMacOf(reply));
    QCOMPARE(order, (QStringList{QStringLiteral("02:00:00:00:00:02"), QStringLiteral("02:00:00:00:00:03"),
                                 QStringLiteral("02:00:00:00:00:01")}));
    QVERIFY2(receiver.arrivals.at(2) - receiver.arrivals.at(0) >= 140, "the delay is kept");
    QCOMPARE(endpoint.statistics().repliesSent, 3u);
    QCOMPARE(endpoint.queuedReplies(), 0);
}

// Replies sent to the simulator's own port come back to it, as broadcasts do on a network:
// logged as its own and not answered.
void TestDevsimProcess::marksOwnRepliesInTheLog()
{
    DeviceSimulator simulator({device(QStringLiteral("02:00:00:00:00:01"), 0)});
    SimulatorEndpoint endpoint(&simulator, loopbackSettings(0));
    DatagramLog log;
    QString error;
    const QString logPath = dir.filePath(QStringLiteral("own.log"));
    QVERIFY2(log.open(logPath, &error), qPrintable(error));
    endpoint.setLog(&log);
    QVERIFY2(endpoint.start(&error), qPrintable(error));

    QUdpSocket sender;
    sender.writeDatagram(request(GetNetworkConfig, QStringLiteral("02:00:00:00:00:01"), 5), Loopback,
                         endpoint.listeningPort());
    QTRY_COMPARE_WITH_TIMEOUT(endpoint.statistics().ownReceived, 1u, 5000);
    QTest::qWait(50);
    const QList<QJsonObject> entries = logEntries(logPath);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).value(QLatin1String("own")).toBool(), false);
    QCOMPARE(entries.at(1).value(QLatin1String("own")).toBool(), true);
    QCOMPARE(entries.at(1).value(QLatin1String("length")).toInt(), 329);
    QCOMPARE(endpoint.statistics().repliesSent, 1u);
}

QTEST_GUILESS_MAIN(TestDevsimProcess)
#include "tst_devsimprocess.moc"
