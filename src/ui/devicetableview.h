#pragma once

#include <QTableView>

class QContextMenuEvent;

// The device table: whole rows are selected, cells are never edited in place, a click on a
// header sorts by that column, and the context menu is left to the window.
class DeviceTableView : public QTableView
{
    Q_OBJECT

public:
    explicit DeviceTableView(QWidget *parent = nullptr);

signals:
    void popup(QContextMenuEvent *event);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
};
