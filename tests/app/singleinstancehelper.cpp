// A stand-in for the desktop program, built on SingleApplication, for the tests that need real
// processes. A second start hands its message over and exits 0, printing
//     sent <1|0> <milliseconds sendMessage took>
// The running instance shows its window, minimizes it behind a second window and prints "ready";
// for every message it prints the window's state when messageReceived arrives and once the
// application has brought it to the front, then minimizes it again for the next message:
//     message <text> minimized=<0|1> active=<0|1>
//     activated minimized=<0|1> active=<0|1>
// Options: --message <text> (default "..."), --timeout <ms> (default 5000).

#include "singleapplication.h"

#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdio>
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

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_LINUX
    // Never outlive the test that started us, even when it crashes.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    SingleApplication app(argc, argv);

    QCommandLineParser parser;
    const QCommandLineOption messageOption(QStringLiteral("message"), QStringLiteral("Text to hand over."),
                                           QStringLiteral("text"), QStringLiteral("..."));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"), QStringLiteral("Hand-over time-out in ms."),
                                           QStringLiteral("ms"), QStringLiteral("5000"));
    parser.addOptions({messageOption, timeoutOption});
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
