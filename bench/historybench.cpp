// SPDX-License-Identifier: Apache-2.0
// Device history: the time of HistoryStore::recordScan() for a large scan into a fresh file, then for
// the same scan again with about 1% of the devices changed, and the size of the file. Prints a
// Markdown table.
//
// Usage: veltra-bench-history [--devices 5000] [--runs 5]   (each run into a new file)
#include "history/historystore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

DeviceSnapshot device(int n, bool changed)
{
    const QString host = QStringLiteral("cam-%1").arg(n);
    const QString ip = QStringLiteral("10.%1.%2.%3").arg(changed ? 2 : 1).arg(n / 250).arg(n % 250 + 1);
    return DeviceSnapshot{QStringLiteral("00:1A:2B:%1:%2:%3")
                              .arg(n >> 16 & 0xff, 2, 16, QLatin1Char('0'))
                              .arg(n >> 8 & 0xff, 2, 16, QLatin1Char('0'))
                              .arg(n & 0xff, 2, 16, QLatin1Char('0'))
                              .toUpper(),
                          QStringLiteral("eth0"),
                          {{QStringLiteral("device"), QStringLiteral("Orvane Cam")},
                           {QStringLiteral("firmware"), QStringLiteral("4.2.1")},
                           {QStringLiteral("productType"), QStringLiteral("7")},
                           {QStringLiteral("hostname"), host},
                           {QStringLiteral("ipConfig"), QStringLiteral("static")},
                           {QStringLiteral("ip"), ip},
                           {QStringLiteral("mask"), QStringLiteral("255.255.0.0")},
                           {QStringLiteral("gateway"), QStringLiteral("10.1.0.1")},
                           {QStringLiteral("domain"), QStringLiteral("plant.example")},
                           {QStringLiteral("dns1"), QStringLiteral("10.1.0.2")},
                           {QStringLiteral("dns2"), QString()},
                           {QStringLiteral("protocolVersion"), QStringLiteral("4")}}};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&args](const QString &name, int fallback) {
        const qsizetype at = args.indexOf(name);
        return at > 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : fallback;
    };
    const int count = qMax(100, option(QStringLiteral("--devices"), 5000));
    const int runs = qMax(1, option(QStringLiteral("--runs"), 5));
    const int changes = count / 100;

    // Per scan: the times of every run, the events and the file size of the last.
    QList<double> times[2];
    qsizetype events[2] = {0, 0};
    qint64 size[2] = {0, 0};
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.sqlite"));
        HistoryStore store(path);
        if (!store.open()) {
            std::fprintf(stderr, "%s\n", qPrintable(store.errorString()));
            return 1;
        }
        for (const int second : {0, 1}) {
            QList<DeviceSnapshot> scan;
            for (int n = 0; n < count; ++n)
                scan.append(device(n, second && n % 100 == 0));
            QElapsedTimer timer;
            timer.start();
            events[second] = store.recordScan(scan, {}).size();
            times[second].append(double(timer.nsecsElapsed()) / 1e6);
            if (!store.isOpen()) {
                std::fprintf(stderr, "%s\n", qPrintable(store.errorString()));
                return 1;
            }
            size[second] = QFileInfo(path).size();
        }
    }
    QTextStream out(stdout);
    out << "| scan | devices | changed | events | recordScan, ms, median (max) | file, KiB |\n"
        << "|---|---:|---:|---:|---:|---:|\n";
    for (const int second : {0, 1}) {
        QList<double> &t = times[second];
        std::sort(t.begin(), t.end());
        out << "| " << (second ? "second, 1% changed" : "first, into a new file") << " | " << count << " | "
            << (second ? changes : 0) << " | " << events[second] << " | " << QString::number(t.at(t.size() / 2), 'f', 1)
            << " (" << QString::number(t.last(), 'f', 1) << ") | " << size[second] / 1024 << " |\n";
    }
    return 0;
}
