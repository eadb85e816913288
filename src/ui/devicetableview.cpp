#include "devicetableview.h"

#include <QHeaderView>

DeviceTableView::DeviceTableView(QWidget *parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->setDefaultSectionSize(20);
    horizontalHeader()->setDefaultSectionSize(120);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft);
    setSortingEnabled(true);
}

void DeviceTableView::contextMenuEvent(QContextMenuEvent *event)
{
    emit popup(event);
}
