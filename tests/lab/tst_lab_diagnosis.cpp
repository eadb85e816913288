// SPDX-License-Identifier: Apache-2.0
// veltra-find's diagnosis in the lab: a firewall of the host namespace that drops the replies, and
// the port held by a socket that does not share it, each named with its fix; scan tells the same
// when nothing answered.

#include "labsupport.h"

#include "protocol/messageheader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QUdpSocket>
#include <QtTest>

#include <unistd.h>

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
    QString err;
};

Run find(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(VELTRA_FIND), arguments);
    Run run;
    if (!process.waitForStarted(10000))
        return run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// The findings of `veltra-find diagnose --format json`.
QList<QJsonObject> diagnose(int *status)
{
    const Run run = find({"diagnose", "--format", "json"});
    *status = run.status;
    QList<QJsonObject> findings;
    const QJsonArray array = QJsonDocument::fromJson(run.out).array();
    for (const QJsonValue &value : array)
        findings.append(value.toObject());
    return findings;
}

bool nft(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral("nft"), arguments);
    process.write(input);
    process.closeWriteChannel();
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

const QString BlockTable = QStringLiteral("veltra_lab_block");

} // namespace

class TestLabDiagnosis : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firewallDropIsNamedWithItsFix();
    void portHolderIsNamed();

private:
    Lab::Environment lab = Lab::Environment::fromProcess();
};

void TestLabDiagnosis::initTestCase()
{
    REQUIRE_LAB(lab);
    QVERIFY2(QFile::exists(QStringLiteral(VELTRA_FIND)), VELTRA_FIND);
    if (QStandardPaths::findExecutable(QStringLiteral("nft"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
            .isEmpty())
        QSKIP("nft is not installed (scripts/install-deps.sh installs nftables)");
}

void TestLabDiagnosis::firewallDropIsNamedWithItsFix()
{
    // The lab's host namespace drops every datagram to the device port, the devices' replies too.
    QVERIFY(nft({"-f", "-"}, "table inet " + BlockTable.toLatin1() +
                                 " {\n  chain input {\n    type filter hook input priority 0; policy accept;\n"
                                 "    udp dport 28244 drop\n  }\n}\n"));
    auto unblock = qScopeGuard([] { nft({"delete", "table", "inet", BlockTable}); });
    Lab::Simulator simulator(lab, {"--count", "2"});
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));

    const QString fix = QStringLiteral("sudo nft insert rule inet %1 input udp dport 28244 accept").arg(BlockTable);
    const Run scan = find({"scan", "--wait", "500"});
    QCOMPARE(scan.status, 1);
    QVERIFY2(scan.err.contains(QLatin1String("no device answered")), qPrintable(scan.err));
    QVERIFY2(
        scan.err.contains(QStringLiteral("in chain input of table inet %1 drops UDP to port 28244").arg(BlockTable)),
        qPrintable(scan.err));
    QVERIFY2(scan.err.contains(QStringLiteral("fix: ") + fix), qPrintable(scan.err));
    // The devices did answer: the firewall is what kept the replies out.
    QTRY_VERIFY(!simulator.received().isEmpty());

    int status = -1;
    QList<QJsonObject> findings = diagnose(&status);
    QCOMPARE(status, 1);
    QCOMPARE(findings.size(), 1);
    QCOMPARE(findings.first().value(QLatin1String("severity")).toString(), QStringLiteral("problem"));
    QCOMPARE(findings.first().value(QLatin1String("check")).toString(), QStringLiteral("firewall"));
    QVERIFY(findings.first().value(QLatin1String("cause")).toString().contains(QLatin1String("the nftables rule")));
    QCOMPARE(findings.first().value(QLatin1String("fix")).toString(), fix);

    // Without the table, nothing is wrong and the devices are found.
    unblock.dismiss();
    QVERIFY(nft({"delete", "table", "inet", BlockTable}));
    findings = diagnose(&status);
    QCOMPARE(status, 0);
    QCOMPARE(findings.size(), 1);
    QCOMPARE(findings.first().value(QLatin1String("check")).toString(), QStringLiteral("summary"));
    const Run found = find({"scan", "--format", "json", "--wait", "1000"});
    QCOMPARE(found.status, 0);
    QCOMPARE(QJsonDocument::fromJson(found.out).array().size(), 2);
}

void TestLabDiagnosis::portHolderIsNamed()
{
    QUdpSocket holder;
    QVERIFY2(holder.bind(QHostAddress::AnyIPv4, Protocol::DevicePort, QAbstractSocket::DontShareAddress),
             qPrintable(holder.errorString()));
    QFile comm(QStringLiteral("/proc/self/comm"));
    QVERIFY(comm.open(QIODevice::ReadOnly));
    const QString pid = QString::number(::getpid());
    const QString named =
        QStringLiteral("held by %1 (pid %2)").arg(QString::fromLocal8Bit(comm.readAll()).trimmed(), pid);

    int status = -1;
    const QList<QJsonObject> findings = diagnose(&status);
    QCOMPARE(status, 1);
    QCOMPARE(findings.size(), 1);
    QCOMPARE(findings.first().value(QLatin1String("check")).toString(), QStringLiteral("port"));
    const QString cause = findings.first().value(QLatin1String("cause")).toString();
    QVERIFY2(cause.contains(named), qPrintable(cause));
    QCOMPARE(findings.first().value(QLatin1String("fix")).toString(), QStringLiteral("stop it: kill ") + pid);
}

QTEST_GUILESS_MAIN(TestLabDiagnosis)
#include "tst_lab_diagnosis.moc"
