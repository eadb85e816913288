// SPDX-License-Identifier: Apache-2.0
// Benchmark 3, start-up: the time from starting a program to its first window shown and painted,
// for the desktop program and for a bare Qt program that shows an empty QMainWindow (and any
// further references), started in turn, and the ratios of their medians. The programs are measured as they are, with
// the probe library (bench/startupprobe.cpp) preloaded into both. Runs only where nothing can reach a real network (the
// desktop program could broadcast): bench/run-bench.sh starts it inside unshare -n.
//
// Usage: veltra-bench-startup --probe LIBRARY [--runs 15] [--warmup 3] PROGRAM REFERENCE [OTHER...]

#include "netguard.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

constexpr int StartTimeoutMs = 20000;

qint64 nowNs()
{
    return qint64(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

struct Launcher
{
    QString probe;
    QString runtimeDir;
    QString outFile;

    struct Times
    {
        double app = -1;   // milliseconds from the spawn to the application object
        double shown = -1; // milliseconds from the spawn to the window shown; negative on failure
    };

    Times run(const QString &program) const
    {
        QFile::remove(outFile);
        QList<QByteArray> env;
        for (char **entry = environ; *entry; ++entry) {
            const QByteArray text(*entry);
            if (!text.startsWith("LD_PRELOAD=") && !text.startsWith("QT_QPA_PLATFORM=") &&
                !text.startsWith("XDG_RUNTIME_DIR=") && !text.startsWith("VELTRA_STARTUP_PROBE_OUT="))
                env.append(text);
        }
        env.append("LD_PRELOAD=" + QFile::encodeName(probe));
        env.append("QT_QPA_PLATFORM=offscreen");
        env.append("XDG_RUNTIME_DIR=" + QFile::encodeName(runtimeDir));
        env.append("VELTRA_STARTUP_PROBE_OUT=" + QFile::encodeName(outFile));
        QList<char *> envp;
        for (QByteArray &text : env)
            envp.append(text.data());
        envp.append(nullptr);
        QByteArray path = QFile::encodeName(program);
        char *argv[] = {path.data(), nullptr};

        pid_t pid = 0;
        const qint64 started = nowNs();
        if (::posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, envp.data()) != 0)
            return {};
        int status = 0;
        const qint64 deadline = started + qint64(StartTimeoutMs) * 1000 * 1000;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (nowNs() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return {};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        QFile out(outFile);
        if (!out.open(QIODevice::ReadOnly))
            return {};
        Times times;
        while (!out.atEnd()) {
            const QList<QByteArray> fields = out.readLine().trimmed().split(' ');
            if (fields.size() != 2)
                continue;
            const double ms = double(fields.at(1).toLongLong() - started) / 1e6;
            (fields.at(0) == "app" ? times.app : times.shown) = ms;
        }
        return times;
    }
};

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Start-up time of a program against a bare Qt program."));
    parser.addHelpOption();
    const QCommandLineOption probeOption(QStringLiteral("probe"), QStringLiteral("The probe library."),
                                         QStringLiteral("LIBRARY"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Measured runs of each."),
                                        QStringLiteral("N"), QStringLiteral("15"));
    const QCommandLineOption warmupOption(QStringLiteral("warmup"), QStringLiteral("Unmeasured runs of each first."),
                                          QStringLiteral("N"), QStringLiteral("3"));
    parser.addOptions({probeOption, runsOption, warmupOption});
    parser.addPositionalArgument(QStringLiteral("PROGRAM"), QStringLiteral("The desktop program."));
    parser.addPositionalArgument(QStringLiteral("REFERENCE"), QStringLiteral("The bare Qt program."));
    parser.addPositionalArgument(QStringLiteral("OTHER"), QStringLiteral("Further programs to compare."),
                                 QStringLiteral("[OTHER...]"));
    parser.process(app);
    const QStringList programs = parser.positionalArguments();
    if (programs.size() < 2 || !parser.isSet(probeOption))
        parser.showHelp(2);

    const QString realInterface = realNetworkInterface();
    if (!realInterface.isEmpty()) {
        std::fprintf(stderr, "veltra-bench-startup: the interface %s could carry a broadcast; run it in unshare -n\n",
                     qPrintable(realInterface));
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid() || !QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return 2;
    const Launcher launcher{parser.value(probeOption), dir.path(), dir.filePath(QStringLiteral("shown"))};

    const int runs = std::max(1, parser.value(runsOption).toInt());
    const int warmup = std::max(0, parser.value(warmupOption).toInt());
    QList<QList<double>> shown(programs.size());
    QList<QList<double>> made(programs.size());
    for (int run = 0; run < warmup + runs; ++run) {
        // In turn, so that all meet the same load.
        for (qsizetype i = 0; i < programs.size(); ++i) {
            const Launcher::Times times = launcher.run(programs.at(i));
            if (times.shown < 0) {
                std::fprintf(stderr, "veltra-bench-startup: %s did not show its window\n", qPrintable(programs.at(i)));
                return 1;
            }
            if (run >= warmup) {
                shown[i].append(times.shown);
                made[i].append(times.app);
            }
        }
    }

    const double reference = median(shown.at(1));
    std::printf("| program | runs | start to application object, ms | start to window shown, ms | "
                "ratio to the bare QMainWindow |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (qsizetype i = 0; i < programs.size(); ++i) {
        std::printf("| %s | %d | %.1f | %.1f | %.2f |\n", qPrintable(QFileInfo(programs.at(i)).fileName()), runs,
                    median(made.at(i)), median(shown.at(i)), median(shown.at(i)) / reference);
    }
    const double ratio = median(shown.at(0)) / reference;
    std::printf("\nRESULT startup ratio=%.2f goal=1.3 met=%s\n", ratio, ratio <= 1.3 ? "yes" : "no");
    return 0;
}
