// SPDX-License-Identifier: Apache-2.0
#include "app/singleapplication.h"
#include "app/translations.h"
#include "ui/mainwindow.h"

#include <QLocale>
#include <QScreen>

namespace {

// What a second start sends to the running instance; the text itself is never looked at.
const QString HandOverMessage = QStringLiteral("...");
constexpr int HandOverTimeout = 5000;

} // namespace

int main(int argc, char *argv[])
{
    SingleApplication app(argc, argv);
    // Ties the window to the installed desktop entry (its name and icon in docks and task bars).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.orvane.VeltraDeviceFinder"));
    if (app.isRunning()) {
        // Whether or not the running instance took the message, this start shows nothing.
        app.sendMessage(HandOverMessage, HandOverTimeout);
        return 0;
    }

    // The window's texts in the system's language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), English when
    // no translation fits.
    installTranslators(app, QLocale::system());
    MainWindow window;
    app.setActivationWindow(&window, true);
    // Left to its layout the window opens about nine rows high; a typical network wants more. It opens
    // as wide as its tool bar, so that the filter at the tool bar's end is in sight, unless the screen
    // is narrower.
    const int screenWidth = window.screen()->availableGeometry().width();
    window.resize(qMax(window.minimumWidth(), qMin(window.width(), screenWidth)), 520);
    window.show();
    QObject::connect(&app, &SingleApplication::messageReceived, &window, &MainWindow::moveToTop);
    return app.exec();
}
