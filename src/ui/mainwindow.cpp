#include "mainwindow.h"

#include "packettransceiver.h"

#include <QMessageBox>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Veltra Device Finder"));
    transceiver = new PacketTransceiver(this);
    transceiver->setNoticeHandler([](const QString &title, const QString &text) {
        QMessageBox::information(nullptr, title, text, QMessageBox::Ok);
    });
    setMinimumWidth(890);
}
