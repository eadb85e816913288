// SPDX-License-Identifier: Apache-2.0
#include "devsim/datagramlog.h"
#include "devsim/devicesimulator.h"
#include "protocol/signalwatcher.h"
#include "devsim/simulatorendpoint.h"
#include "devsim/simulatoroptions.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int BadInput = 2;

int fail(const QString &message)
{
    std::fprintf(stderr, "veltra-devsim: %s\n", qPrintable(message));
    std::fprintf(stderr, "Try 'veltra-devsim --help' for more information.\n");
    return BadInput;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltra-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELTRA_VERSION));

    QString error;
    const auto options = SimulatorOptions::parse(QCoreApplication::arguments(), &error);
    if (!options)
        return fail(error);
    if (options->action == SimulatorOptions::Action::ShowHelp) {
        std::fputs(qPrintable(SimulatorOptions::helpText()), stdout);
        return 0;
    }
    if (options->action == SimulatorOptions::Action::ShowVersion) {
        std::printf("veltra-devsim %s\n", VELTRA_VERSION);
        return 0;
    }

    // Everything that can be wrong with the input is found before any socket exists.
    const auto devices = options->devices(&error);
    if (!devices)
        return fail(error);
    DatagramLog log;
    if (!options->logFile.isEmpty() && !log.open(options->logFile, &error))
        return fail(error);
    const QString interfaceAddress =
        options->interfaceAddress.isEmpty() ? SimulatorOptions::defaultInterfaceAddress() : options->interfaceAddress;
    if (interfaceAddress.isEmpty())
        return fail(QStringLiteral("no interface that is up and not loopback has an address in 192.168.0.0/16; "
                                   "name the address to reply from with --interface ADDRESS"));

    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &app, &QCoreApplication::quit);

    DeviceSimulator simulator(*devices, options->randomStart);
    EndpointSettings settings;
    settings.interfaceAddress = QHostAddress(interfaceAddress);
    settings.port = options->port;
    settings.replyAddress = QHostAddress(options->replyAddress);
    settings.replyPort = options->replyPort;
    SimulatorEndpoint endpoint(&simulator, settings);
    endpoint.setLog(&log);
    if (!endpoint.start(&error))
        return fail(error);

    if (options->durationMs > 0)
        QTimer::singleShot(options->durationMs, &app, &QCoreApplication::quit);

    std::fprintf(stderr, "veltra-devsim: random start %u\n", options->randomStart);
    std::printf("veltra-devsim: ready, %d devices on %s port %u\n", simulator.deviceCount(),
                qPrintable(interfaceAddress), unsigned(endpoint.listeningPort()));
    std::fflush(stdout);

    QCoreApplication::exec();

    const SimulatorEndpoint::Statistics &stats = endpoint.statistics();
    std::fprintf(stderr,
                 "veltra-devsim: received %llu datagrams (%llu own replies), sent %llu replies, %llu retries, "
                 "%llu dropped, %d still queued, %llu lost on purpose\n",
                 static_cast<unsigned long long>(stats.received), static_cast<unsigned long long>(stats.ownReceived),
                 static_cast<unsigned long long>(stats.repliesSent), static_cast<unsigned long long>(stats.retries),
                 static_cast<unsigned long long>(stats.dropped), endpoint.queuedReplies(),
                 static_cast<unsigned long long>(simulator.lostReplies()));
    return 0;
}
