// SPDX-License-Identifier: Apache-2.0
// The reference of the start-up benchmark: a Qt program that only shows an empty main window.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.show();
    return app.exec();
}
