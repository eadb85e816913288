// SPDX-License-Identifier: Apache-2.0
// Takes the documentation's pictures of the desktop program: the main window after a scan of the
// demo's devices, the network settings dialog of one of them and its login dialog. The window is
// the program's own MainWindow; the devices are real simulated ones answering the scan, so this
// runs inside the network lab only (scripts/screenshots.sh).
//
// Usage: veltra-screenshot OUTPUT_DIR [EXPECTED_ROWS] [--dark] [--locale NAME]
//   --dark         a dark palette, as a dark desktop gives: main-window-dark.png only
//   --locale NAME  the program's translation for NAME (de_DE): main-window-NAME.png only

#include "app/translations.h"
#include "model/devicemodel.h"
#include "ui/connectiondialog.h"
#include "ui/devicetableview.h"
#include "ui/logindialog.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLocale>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// The device whose dialogs are shown: a static device of protocol version 4, so that Apply asks
// for credentials.
const QString DialogDevice = QStringLiteral("02:5A:00:00:10:01");
constexpr int WindowWidth = 1100;
constexpr int WindowHeight = 390;
// Past the scan's count check (3000 ms after the second request).
constexpr int ScanWaitMs = 3600;

void fail(const QString &message)
{
    std::fprintf(stderr, "veltra-screenshot: %s\n", qPrintable(message));
}

// Fusion in dark colours, as dark desktop themes give it.
QPalette darkPalette()
{
    QPalette palette;
    const QColor window(53, 53, 53);
    const QColor base(35, 35, 35);
    const QColor text(230, 230, 230);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, window);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::red);
    palette.setColor(QPalette::Link, QColor(42, 130, 218));
    palette.setColor(QPalette::Highlight, QColor(42, 130, 218));
    palette.setColor(QPalette::HighlightedText, Qt::black);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(127, 127, 127));
    return palette;
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget *widget, const QString &path)
{
    if (!widget->grab().save(path)) {
        fail(QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    std::printf("veltra-screenshot: %s (%dx%d)\n", qPrintable(path), widget->width(), widget->height());
    return true;
}

template <typename T> T *activeModal()
{
    return qobject_cast<T *>(QApplication::activeModalWidget());
}

int rowOf(const QAbstractItemModel *model, const QString &mac)
{
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, DeviceModel::MacAddressColumn).data().toString() == mac)
            return row;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    // The scan broadcasts: only inside the lab, where nothing reaches a real network.
    if (qEnvironmentVariableIsEmpty("NETLAB_HOST")) {
        fail(QStringLiteral("this program scans the network: run it through scripts/screenshots.sh, inside the lab"));
        return 2;
    }
    // No stored credentials of the user's: a settings folder of its own.
    QTemporaryDir settingsDir;
    if (!settingsDir.isValid()) {
        fail(QStringLiteral("cannot make a temporary folder"));
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settingsDir.path()));

    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2) {
        fail(QStringLiteral("usage: veltra-screenshot OUTPUT_DIR [EXPECTED_ROWS]"));
        return 2;
    }
    const QDir outputDir(arguments.at(1));
    const int expectedRows = arguments.size() > 2 ? arguments.at(2).toInt() : -1;
    const bool dark = arguments.contains(QStringLiteral("--dark"));
    const qsizetype localeAt = arguments.indexOf(QStringLiteral("--locale"));
    const QString localeName = localeAt > 0 && localeAt + 1 < arguments.size() ? arguments.at(localeAt + 1) : QString();
    if (dark)
        QApplication::setPalette(darkPalette());
    if (!localeName.isEmpty() && !installTranslators(app, QLocale(localeName))) {
        fail(QStringLiteral("no translation for %1").arg(localeName));
        return 2;
    }
    // A variant shows the main window only.
    QString windowPicture = QStringLiteral("main-window.png");
    if (dark)
        windowPicture = QStringLiteral("main-window-dark.png");
    else if (!localeName.isEmpty())
        windowPicture = QStringLiteral("main-window-%1.png").arg(localeName.section(QLatin1Char('_'), 0, 0));

    MainWindow window;
    // At least as wide as the window opens, which fits its tool bar in every language.
    window.resize(qMax(WindowWidth, window.width()), WindowHeight);
    window.show();
    auto *view = window.findChild<DeviceTableView *>();
    auto *scanAct = window.findChild<QAction *>(QStringLiteral("scanAct"));
    auto *editAct = window.findChild<QAction *>(QStringLiteral("editAct"));
    if (!view || !scanAct || !editAct) {
        fail(QStringLiteral("the main window has no device table, scan or edit action"));
        return 1;
    }

    scanAct->trigger();
    wait(ScanWaitMs);
    QAbstractItemModel *model = view->model();
    if (model->rowCount() == 0 || (expectedRows >= 0 && model->rowCount() != expectedRows)) {
        fail(QStringLiteral("the scan found %1 devices, expected %2").arg(model->rowCount()).arg(expectedRows));
        return 1;
    }
    // Arrival order varies from run to run; the MAC order does not.
    view->sortByColumn(DeviceModel::MacAddressColumn, Qt::AscendingOrder);
    const int row = rowOf(model, DialogDevice);
    if (row < 0) {
        fail(QStringLiteral("the device %1 did not answer").arg(DialogDevice));
        return 1;
    }
    view->selectRow(row);
    view->setFocus();
    wait(100);
    if (!save(&window, outputDir.filePath(windowPicture)))
        return 1;
    if (dark || !localeName.isEmpty())
        return 0;

    // The dialogs are modal: each is photographed and closed from a timer while it runs.
    bool saved = false;
    QTimer::singleShot(200, &window, [&] {
        auto *dialog = activeModal<ConnectionDialog>();
        if (!dialog)
            return;
        saved = save(dialog, outputDir.filePath(QStringLiteral("settings-dialog.png")));
        QTimer::singleShot(200, dialog, [&saved, &outputDir, dialog] {
            auto *login = activeModal<LoginDialog>();
            saved = saved && login && save(login, outputDir.filePath(QStringLiteral("login-dialog.png")));
            if (login)
                login->reject();
            dialog->reject();
        });
        // Apply asks for the credentials of this device first.
        const auto buttons = dialog->findChildren<QPushButton *>(QString(), Qt::FindDirectChildrenOnly);
        for (QPushButton *button : buttons) {
            if (button->text() == QLatin1String("Apply"))
                button->click();
        }
    });
    editAct->trigger();
    if (!saved) {
        fail(QStringLiteral("the network settings dialog or its login dialog did not open"));
        return 1;
    }
    return 0;
}
