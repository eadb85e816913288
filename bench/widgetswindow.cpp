// SPDX-License-Identifier: Apache-2.0
// A second reference of the start-up benchmark: the kinds of widgets the main window shows (a tool
// bar of three actions with text, a table with the seven column headers, a status bar) in a plain
// QMainWindow, without any of the program: no single-instance check, transceiver, device model or
// icons. It shows what a window like the main window costs Qt itself.

#include <QApplication>
#include <QMainWindow>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    QStandardItemModel model(0, 7);
    model.setHorizontalHeaderLabels({QStringLiteral("Device"), QStringLiteral("Firmware"), QStringLiteral("Hostname"),
                                     QStringLiteral("IP Address"), QStringLiteral("IP config."),
                                     QStringLiteral("MAC Address"), QStringLiteral("Status")});
    auto *view = new QTableView(&window);
    view->setModel(&model);
    view->setSortingEnabled(true);
    window.setCentralWidget(view);
    auto *toolBar = window.addToolBar(QString());
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->addAction(QStringLiteral("Scan / Refresh"));
    toolBar->addAction(QStringLiteral("Edit network settings"));
    toolBar->addAction(QStringLiteral("About"));
    window.setStatusBar(new QStatusBar(&window));
    window.setMinimumWidth(890);
    window.show();
    return app.exec();
}
