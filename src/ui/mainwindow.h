#pragma once

#include <QMainWindow>

class PacketTransceiver;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

private:
    PacketTransceiver *transceiver = nullptr;
};
