// SPDX-License-Identifier: Apache-2.0
// Loaded with LD_PRELOAD into a Qt program by veltra-bench-startup: appends the monotonic clock's
// reading in nanoseconds to the file named by VELTRA_STARTUP_PROBE_OUT when the application object
// is made ("app") and once the program's first window has been exposed and painted ("shown"), then
// quits the program. The program itself is unchanged,
// so the desktop program is measured exactly as it ships.

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWindow>

#include <chrono>

namespace {

void report(const char *what)
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    QFile out(qEnvironmentVariable("VELTRA_STARTUP_PROBE_OUT"));
    if (out.open(QIODevice::WriteOnly | QIODevice::Append)) {
        out.write(QByteArray(what) + ' ' +
                  QByteArray::number(qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count())) + '\n');
    }
}

class ShownWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!done && event->type() == QEvent::Expose && watched->isWindowType() &&
            static_cast<QWindow *>(watched)->isExposed()) {
            done = true;
            // Queued behind the expose event, whose handling paints the window.
            QTimer::singleShot(0, this, [] {
                report("shown");
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool done = false;
};

void watchApplication()
{
    report("app");
    QCoreApplication *app = QCoreApplication::instance();
    app->installEventFilter(new ShownWatcher(app));
}

void registerProbe()
{
    if (!qEnvironmentVariableIsEmpty("VELTRA_STARTUP_PROBE_OUT"))
        qAddPreRoutine(watchApplication);
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(registerProbe)
