// SPDX-License-Identifier: Apache-2.0
#include "ui/devicetableview.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTimer>

DeviceTableView::DeviceTableView(QWidget *parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->setDefaultSectionSize(20);
    horizontalHeader()->setDefaultSectionSize(120);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft);
    setSortingEnabled(true);
    // The rows come in the order the devices answer: the indicator shows only while they are in
    // the order of a column, from a click on its header until a row comes or comes back.
    horizontalHeader()->setSortIndicatorShown(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this] { horizontalHeader()->setSortIndicatorShown(true); });
    // A table view's Tab walks its cells and wraps from the last to the first, so a keyboard user
    // could never leave a filled table. Rows are selected whole and the arrow keys move between
    // them; Tab and Shift+Tab move the focus on to the tool bar.
    setTabKeyNavigation(false);
}

void DeviceTableView::contextMenuEvent(QContextMenuEvent *event)
{
    emit popup(event);
}

void DeviceTableView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    if (!parent.isValid() && start == end && selectionModel()) {
        takenRow = start;
        takenRowSelected = selectionModel()->isRowSelected(start, parent);
        const QModelIndex current = currentIndex();
        takenCurrentColumn = current.isValid() && current.row() == start ? current.column() : -1;
        // Only a row put back within the same turn of the event loop is the same device's update.
        QTimer::singleShot(0, this, [this] { takenRow = -1; });
    }
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

void DeviceTableView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QTableView::rowsInserted(parent, start, end);
    horizontalHeader()->setSortIndicatorShown(false);
    if (parent.isValid() || start != end || start != takenRow)
        return;
    takenRow = -1;
    if (takenCurrentColumn >= 0)
        selectionModel()->setCurrentIndex(model()->index(start, takenCurrentColumn), QItemSelectionModel::NoUpdate);
    if (takenRowSelected)
        selectionModel()->select(model()->index(start, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}
