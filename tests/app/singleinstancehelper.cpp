// SPDX-License-Identifier: Apache-2.0
// A stand-in for the desktop program, built on SingleApplication, for the tests that need real
// processes. A second start hands its message over and exits 0, printing
//     sent <1|0> <milliseconds sendMessage took>
// The running instance shows its window, minimizes it behind a second window and prints "ready";
// for every message it prints the window's state when messageReceived arrives and once the
// application has brought it to the front, then minimizes it again for the next message:
//     message <text> minimized=<0|1> active=<0|1>
//     activated minimized=<0|1> active=<0|1>
// Options: --message <text> (default "..."), --timeout <ms> (default 5000), --start-at <ms> (waits
// until that time, in milliseconds since the epoch, before it starts: many starts at one moment).

#include "app/singleapplication.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#ifdef Q_OS_LINUX
#include <signal.h>
#include <sys/prctl.h>
#endif

namespace {

void say(const QString &line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}

QString windowState(const QWidget &window)
{
    return QStringLiteral("minimized=%1 active=%2").arg(int(window.isMinimized())).arg(int(window.isActiveWindow()));
}

// Window activation reaches the widgets through the event loop.
bool waitFor(const std::function<bool()> &condition)
{
    const QDeadlineTimer deadline(2000);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

// The value of --start-at, read before the application object exists; 0 when not given.
qint64 startAt(int argc, char *argv[])
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--start-at") == 0)
            return std::strtoll(argv[i + 1], nullptr, 10);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_LINUX
    // Never outlive the test that started us, even when it crashes.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (const qint64 at = startAt(argc, argv)) {
        const qint64 wait = at - QDateTime::currentMSecsSinceEpoch();
        if (wait > 0)
            QThread::msleep(ulong(wait));
    }
    SingleApplication app(argc, argv);

    QCommandLineParser parser;
    const QCommandLineOption messageOption(QStringLiteral("message"), QStringLiteral("Text to hand over."),
                                           QStringLiteral("text"), QStringLiteral("..."));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"), QStringLiteral("Hand-over time-out in ms."),
                                           QStringLiteral("ms"), QStringLiteral("5000"));
    const QCommandLineOption startAtOption(QStringLiteral("start-at"), QStringLiteral("Start time since the epoch."),
                                           QStringLiteral("ms"));
    parser.addOptions({messageOption, timeoutOption, startAtOption});
    parser.process(app);

    if (app.isRunning()) {
        QElapsedTimer clock;
        clock.start();
        const bool sent = app.sendMessage(parser.value(messageOption), parser.value(timeoutOption).toInt());
        say(QStringLiteral("sent %1 %2").arg(int(sent)).arg(clock.elapsed()));
        return 0;
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("single instance"));
    window.resize(200, 100);
    QWidget other;
    other.setWindowTitle(QStringLiteral("other window"));
    other.resize(200, 100);
    window.show();
    other.show();
    app.setActivationWindow(&window);

    const auto moveAside = [&window, &other] {
        window.showMinimized();
        other.activateWindow();
        waitFor([&other] { return other.isActiveWindow(); });
    };

    QObject::connect(&app, &SingleApplication::messageReceived, &window, [&](const QString &message) {
        say(QStringLiteral("message %1 %2").arg(message, windowState(window)));
        // Runs once the application has handled the message.
        QTimer::singleShot(0, &window, [&] {
            waitFor([&window] { return window.isActiveWindow(); });
            say(QStringLiteral("activated %1").arg(windowState(window)));
            moveAside();
        });
    });

    moveAside();
    say(QStringLiteral("ready"));
    return app.exec();
}
