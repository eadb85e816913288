// SPDX-License-Identifier: Apache-2.0
// The window's filter: how long the device table takes to show the matching rows of 5,000 devices
// once a text is typed, painted included, for a text that one row matches, one that a tenth
// matches, one that every row matches, and the filter cleared again. Prints a Markdown table of
// medians and maxima. Sends nothing: the rows come from replies handed to the model directly.
//
// Usage: veltra-bench-filter [--devices 5000] [--runs 7]   (QT_QPA_PLATFORM=offscreen or a display)
#include "model/devicemodel.h"
#include "replies.h"
#include "ui/devicefiltermodel.h"
#include "ui/devicetableview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

QString mac(int n)
{
    return QStringLiteral("02:5A:00:%1:%2:%3")
        .arg(n >> 16 & 0xff, 2, 16, QLatin1Char('0'))
        .arg(n >> 8 & 0xff, 2, 16, QLatin1Char('0'))
        .arg(n & 0xff, 2, 16, QLatin1Char('0'))
        .toUpper();
}

int option(const QStringList &arguments, const QString &name, int fallback)
{
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int devices = option(arguments, QStringLiteral("--devices"), 5000);
    const int runs = option(arguments, QStringLiteral("--runs"), 7);

    DeviceModel model;
    for (int n = 0; n < devices; ++n) {
        const QString type = n % 10 == 0 ? QStringLiteral("Motilux-III") : QStringLiteral("Panoryx-4.3");
        model.onDeviceReplyReceived(Replies::info(mac(n), type));
        model.onDeviceReplyReceived(Replies::config(mac(n), QStringLiteral("cam-%1").arg(n),
                                                    QStringLiteral("10.1.%1.%2").arg(n / 250).arg(n % 250 + 1)));
    }
    DeviceFilterModel filter;
    filter.setSourceModel(&model);
    DeviceTableView view;
    view.setModel(&filter);
    view.resize(1000, 600);
    view.show();
    QApplication::processEvents();

    const QList<QPair<QString, QString>> cases = {
        {QStringLiteral("one row (\"cam-4321\")"), QStringLiteral("cam-4321")},
        {QStringLiteral("a tenth (\"motilux\")"), QStringLiteral("motilux")},
        {QStringLiteral("every row (\"10.1.\")"), QStringLiteral("10.1.")},
        {QStringLiteral("cleared"), QString()},
    };
    QTextStream out(stdout);
    out << "| " << devices << " devices, filter text | rows shown | median ms | max ms |\n|---|---:|---:|---:|\n";
    for (const auto &[label, text] : cases) {
        QList<double> times;
        for (int run = 0; run < runs; ++run) {
            filter.setFilterText(QStringLiteral("no such device"));
            QApplication::processEvents();
            QElapsedTimer clock;
            clock.start();
            filter.setFilterText(text);
            view.repaint();
            QApplication::processEvents();
            times.append(double(clock.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        out << "| " << label << " | " << filter.rowCount() << " | "
            << QString::number(times.at(times.size() / 2), 'f', 1) << " | "
            << QString::number(times.constLast(), 'f', 1) << " |\n";
    }
    return 0;
}
