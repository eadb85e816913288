// SPDX-License-Identifier: Apache-2.0
// Benchmark 1, reply handling: the replies of N simulated devices (a DeviceInfoReply and a
// NetworkConfigReply each, in the order a scan receives them) fed into DeviceModel with a
// DeviceTableView attached, against the same work done by BaselineModel. Sends nothing: the
// replies come from the simulator's device logic without any socket.
//
// Usage: veltra-bench-replies [--counts 100,1000,5000] [--runs 5] [--baseline-runs 3]
//                             [--samples 4] [--sample-length 3] [--batch 64]
//
// Time per reply: the time of the whole feed divided by the number of replies, with the view's
// deferred work (layout, painting) done after every batch of replies and counted; and the
// handling alone, without that deferred work. The baseline's
// whole feed takes hours at 5,000 devices (every reply searches the table once per row), so its
// mean is estimated from samples: at evenly spaced points of each half of the feed the table is
// loaded to that point without timing and a few replies are timed, the view's deferred work
// counted as one batch's share. At the smallest N the baseline also runs the whole feed, which
// checks the estimate.

#include "baselinemodel.h"
#include "devsim/devicegenerator.h"
#include "devsim/devicesimulator.h"
#include "model/devicemodel.h"
#include "protocol/messageheader.h"
#include "ui/devicetableview.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QIcon>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>

namespace {

const QString HostMac = QStringLiteral("02:00:5E:10:00:01");
const QString HostIp = QStringLiteral("192.168.77.1");
constexpr quint32 RandomStart = 20240;

struct Settings
{
    QList<int> counts{100, 1000, 5000};
    int runs = 5;
    int baselineRuns = 3;
    int samples = 4;      // sample points in each half of the feed
    int sampleLength = 3; // replies timed at each point
    int batch = 64;       // replies handled between two turns of the event loop
};

// The replies of `count` generated devices to GetDeviceInfo and then GetNetworkConfig, each
// answer in the order the devices' reply delays put it.
QList<QByteArray> makeFeed(int count)
{
    DeviceGenerator generator;
    generator.count = count;
    QString error;
    const auto profiles = generator.generate(DeviceProfile(), &error);
    if (!profiles) {
        std::fprintf(stderr, "veltra-bench-replies: %s\n", qPrintable(error));
        std::exit(2);
    }
    DeviceSimulator simulator(*profiles, RandomStart);
    QList<QByteArray> feed;
    quint16 sequence = 0;
    for (const MessageId request : {GetDeviceInfo, GetNetworkConfig}) {
        const QByteArray datagram =
            MessageHeader::request(request, QLatin1String(Protocol::BroadcastMac), 0, HostMac, HostIp, ++sequence)
                .toByteArray();
        QList<ScheduledReply> replies = simulator.handleDatagram(datagram, 0);
        std::stable_sort(replies.begin(), replies.end(),
                         [](const ScheduledReply &a, const ScheduledReply &b) { return a.delayMs < b.delayMs; });
        for (const ScheduledReply &reply : std::as_const(replies))
            feed.append(reply.datagram);
    }
    return feed;
}

// A model with the table view attached as the main window has it: shown (offscreen), sorting on
// and sorted by the MAC Address column.
template <typename Model> struct Table
{
    Model model;
    DeviceTableView view;

    Table()
    {
        view.setModel(&model);
        view.sortByColumn(DeviceModel::MacAddressColumn, Qt::AscendingOrder);
        view.resize(890, 600);
        view.show();
        settle();
    }
    static void settle()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
};

qint64 timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed();
}

// Nanoseconds per reply: everything, and the handling alone (the model's work and the view's
// immediate reactions to its signals, without the event loop's deferred layout and painting).
struct PerReply
{
    double total = 0;
    double handling = 0;
};

template <typename Model>
PerReply wholeFeed(const QList<QByteArray> &feed, int batch, std::unique_ptr<Table<Model>> *keep = nullptr)
{
    auto table = std::make_unique<Table<Model>>();
    qint64 handling = 0;
    const qint64 total = timed([&] {
        for (qsizetype i = 0; i < feed.size(); ++i) {
            handling += timed([&] { table->model.onDeviceReplyReceived(feed.at(i)); });
            if ((i + 1) % batch == 0)
                Table<Model>::settle();
        }
        Table<Model>::settle();
    });
    if (keep)
        *keep = std::move(table);
    return {double(total) / double(feed.size()), double(handling) / double(feed.size())};
}

void preload(DeviceModel &model, const QList<QByteArray> &replies)
{
    for (const QByteArray &datagram : replies)
        model.onDeviceReplyReceived(datagram);
}

void preload(BaselineModel &model, const QList<QByteArray> &replies)
{
    model.preload(replies);
}

// Nanoseconds per reply estimated from samples, as described at the top.
template <typename Model> PerReply sampledFeed(const QList<QByteArray> &feed, const Settings &settings)
{
    const qsizetype half = feed.size() / 2;
    const int length = int(std::min<qsizetype>(settings.sampleLength, half));
    PerReply sum;
    int points = 0;
    for (int phase = 0; phase < 2; ++phase) {
        for (int sample = 0; sample < settings.samples; ++sample) {
            const qsizetype start =
                std::clamp<qsizetype>(phase * half + (2 * sample + 1) * half / (2 * settings.samples) - length / 2,
                                      phase * half, phase * half + half - length);
            Table<Model> table;
            preload(table.model, feed.mid(0, start));
            Table<Model>::settle();
            // The first reply after a turn of the event loop costs more than the rest of a batch
            // (caches, lazily recomputed view geometry); it and the loop's deferred work are
            // counted once per batch, the others as the batch's remaining replies.
            QList<qint64> times;
            for (int i = 0; i < length; ++i)
                times.append(timed([&] { table.model.onDeviceReplyReceived(feed.at(start + i)); }));
            const qint64 deferred = timed([] { Table<Model>::settle(); });
            double steady = double(times.first());
            if (times.size() > 1)
                steady = std::accumulate(times.cbegin() + 1, times.cend(), 0.0) / double(times.size() - 1);
            const double handling = steady + (double(times.first()) - steady) / settings.batch;
            sum.handling += handling;
            sum.total += handling + double(deferred) / settings.batch;
            ++points;
        }
    }
    return {sum.total / points, sum.handling / points};
}

PerReply median(const QList<PerReply> &values);

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    if (n == 0)
        return 0;
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

PerReply median(const QList<PerReply> &values)
{
    QList<double> total;
    QList<double> handling;
    for (const PerReply &value : values) {
        total.append(value.total);
        handling.append(value.handling);
    }
    return {median(total), median(handling)};
}

// What a user sees of a cell, and the hidden values of the MAC Address cell.
QString cellText(const QStandardItemModel &model, int row, int column)
{
    const QStandardItem *cell = model.item(row, column);
    QString text = cell->text() + QLatin1Char('|') + cell->toolTip() + QLatin1Char('|') +
                   (cell->icon().isNull() ? QLatin1String("-") : QLatin1String("icon"));
    if (column == DeviceModel::MacAddressColumn) {
        for (const int role : {DeviceModel::ConfigDatagramRole, DeviceModel::StateIdRole, DeviceModel::ProductTypeRole})
            text += QLatin1Char('|') + cell->data(role).toString();
    }
    return text;
}

bool sameTable(const QStandardItemModel &a, const QStandardItemModel &b)
{
    if (a.rowCount() != b.rowCount() || a.columnCount() != b.columnCount())
        return false;
    for (int row = 0; row < a.rowCount(); ++row) {
        for (int column = 0; column < a.columnCount(); ++column) {
            if (cellText(a, row, column) != cellText(b, row, column))
                return false;
        }
    }
    return true;
}

QString microseconds(double ns)
{
    return QString::number(ns / 1000.0, 'f', ns < 100000 ? 1 : 0);
}

QString ratioText(double ratio)
{
    return QString::number(ratio, 'f', ratio < 10 ? 2 : 0);
}

void out(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reply handling of DeviceModel against a straightforward model."));
    parser.addHelpOption();
    const QCommandLineOption countsOption(QStringLiteral("counts"), QStringLiteral("Device counts."),
                                          QStringLiteral("LIST"), QStringLiteral("100,1000,5000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs of DeviceModel."),
                                        QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption baselineRunsOption(QStringLiteral("baseline-runs"),
                                                QStringLiteral("Runs of the baseline."), QStringLiteral("N"),
                                                QStringLiteral("3"));
    const QCommandLineOption samplesOption(QStringLiteral("samples"), QStringLiteral("Sample points per half."),
                                           QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption lengthOption(QStringLiteral("sample-length"), QStringLiteral("Replies per sample."),
                                          QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption batchOption(QStringLiteral("batch"), QStringLiteral("Replies per turn of the loop."),
                                         QStringLiteral("N"), QStringLiteral("64"));
    parser.addOptions({countsOption, runsOption, baselineRunsOption, samplesOption, lengthOption, batchOption});
    parser.process(app);

    Settings settings;
    settings.counts.clear();
    const QStringList counts = parser.value(countsOption).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &count : counts)
        settings.counts.append(std::max(1, count.toInt()));
    settings.runs = std::max(1, parser.value(runsOption).toInt());
    settings.baselineRuns = std::max(0, parser.value(baselineRunsOption).toInt());
    settings.samples = std::max(1, parser.value(samplesOption).toInt());
    settings.sampleLength = std::max(1, parser.value(lengthOption).toInt());
    settings.batch = std::max(1, parser.value(batchOption).toInt());

    out(QStringLiteral("# Qt %1 (built with %2), platform %3")
            .arg(QLatin1String(qVersion()), QLatin1String(QT_VERSION_STR), QGuiApplication::platformName()));

    struct Row
    {
        int count = 0;
        PerReply ours;
        PerReply oursSampled;
        PerReply baseline;
        PerReply baselineWhole{-1, -1};
    };
    QList<Row> rows;
    bool agrees = true;
    for (const int count : std::as_const(settings.counts)) {
        const QList<QByteArray> feed = makeFeed(count);
        Row row;
        row.count = count;

        QList<PerReply> ours;
        for (int run = 0; run < settings.runs; ++run)
            ours.append(wholeFeed<DeviceModel>(feed, settings.batch));
        row.ours = median(ours);
        QList<PerReply> oursSampled;
        for (int run = 0; run < settings.runs; ++run)
            oursSampled.append(sampledFeed<DeviceModel>(feed, settings));
        row.oursSampled = median(oursSampled);

        QList<PerReply> baseline;
        for (int run = 0; run < settings.baselineRuns; ++run)
            baseline.append(sampledFeed<BaselineModel>(feed, settings));
        if (!baseline.isEmpty())
            row.baseline = median(baseline);

        if (count == settings.counts.first() && settings.baselineRuns > 0) {
            // The whole feed, which also shows that both tables end up the same.
            std::unique_ptr<Table<DeviceModel>> ourTable;
            std::unique_ptr<Table<BaselineModel>> baselineTable;
            wholeFeed<DeviceModel>(feed, settings.batch, &ourTable);
            QList<PerReply> whole;
            for (int run = 0; run < settings.baselineRuns; ++run)
                whole.append(wholeFeed<BaselineModel>(feed, settings.batch, &baselineTable));
            row.baselineWhole = median(whole);
            BaselineModel preloaded;
            preloaded.preload(feed);
            agrees = sameTable(ourTable->model, baselineTable->model) && sameTable(ourTable->model, preloaded);
        }
        rows.append(row);
        out(QStringLiteral("# N=%1: DeviceModel %2 us per reply, handling alone %3 (sampled as the baseline: %4, %5); "
                           "baseline sampled %6, handling alone %7%8")
                .arg(count)
                .arg(microseconds(row.ours.total), microseconds(row.ours.handling), microseconds(row.oursSampled.total),
                     microseconds(row.oursSampled.handling), microseconds(row.baseline.total),
                     microseconds(row.baseline.handling),
                     row.baselineWhole.total < 0
                         ? QString()
                         : QStringLiteral(" (whole feed %1, handling alone %2)")
                               .arg(microseconds(row.baselineWhole.total), microseconds(row.baselineWhole.handling))));
    }

    const Row &first = rows.first();
    const auto table = [&](const QString &title, double PerReply::*measure) {
        out(QString());
        out(title);
        out(QString());
        out(QStringLiteral("| N devices | replies | DeviceModel, µs per reply | ratio to N=%1 | baseline, µs per reply "
                           "| baseline ratio to N=%1 |")
                .arg(first.count));
        out(QStringLiteral("|---:|---:|---:|---:|---:|---:|"));
        for (const Row &row : std::as_const(rows)) {
            const bool whole = row.baselineWhole.total >= 0;
            out(QStringLiteral("| %1 | %2 | %3 | %4 | %5%6 | %7 |")
                    .arg(row.count)
                    .arg(2 * row.count)
                    .arg(microseconds(row.ours.*measure), ratioText(row.ours.*measure / first.ours.*measure),
                         microseconds(row.baseline.*measure),
                         whole ? QStringLiteral(" (whole feed: %1)").arg(microseconds(row.baselineWhole.*measure))
                               : QString(),
                         ratioText(row.baseline.*measure / first.baseline.*measure)));
        }
    };
    table(QStringLiteral("With the view's layout and painting, once per %1 replies:").arg(settings.batch),
          &PerReply::total);
    table(QStringLiteral("The handling alone (the model's work and the view's immediate reactions to it):"),
          &PerReply::handling);
    out(QString());
    // The goal is on the time per reply as the user waits for it; the handling alone is shown
    // beside it.
    const double ratio = rows.last().ours.total / first.ours.total;
    const double handlingRatio = rows.last().ours.handling / first.ours.handling;
    out(QStringLiteral("RESULT replies ratio=%1 goal=3 met=%2 handling-alone-ratio=%3 baseline-ratio=%4 "
                       "tables-agree=%5")
            .arg(ratioText(ratio), ratio <= 3.0 ? QStringLiteral("yes") : QStringLiteral("no"),
                 ratioText(handlingRatio),
                 settings.baselineRuns > 0 ? ratioText(rows.last().baseline.total / first.baseline.total)
                                           : QStringLiteral("-"),
                 agrees ? QStringLiteral("yes") : QStringLiteral("no")));
    return agrees ? 0 : 1;
}
