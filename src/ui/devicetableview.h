// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QTableView>

class QContextMenuEvent;

// The device table: whole rows are selected, cells are never edited in place, a click on a
// header sorts by that column (its indicator shown while the rows are in that order), and the
// context menu is left to the window.
class DeviceTableView : public QTableView
{
    Q_OBJECT

public:
    explicit DeviceTableView(QWidget *parent = nullptr);

signals:
    void popup(QContextMenuEvent *event);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;

protected slots:
    void rowsInserted(const QModelIndex &parent, int start, int end) override;

private:
    // The model updates a device by taking its row out and putting it back at once; the user's
    // selection and current cell in that row are kept across it.
    int takenRow = -1;
    bool takenRowSelected = false;
    int takenCurrentColumn = -1;
};
