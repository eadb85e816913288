// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QHash>
#include <QSortFilterProxyModel>

// The device table as the window shows it: the rows in which any column contains the filter text
// (letter case ignored), with the rows of new and changed devices marked in bold and a tool tip
// that names the change. Sorting stays with the device model, so that its rows keep the order the
// table shows; everything that acts on the table maps its rows through here.
class DeviceFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit DeviceFilterModel(QObject *parent = nullptr);

    void setFilterText(const QString &text);
    QString filterText() const { return shownText; }

    // Marks the rows of these devices (by MAC, letter case ignored) with the change texts given;
    // an empty hash takes every mark away.
    void setMarks(const QHash<QString, QString> &changesByMac);
    QString markOf(const QString &macAddress) const;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    QString shownText;
    QHash<QString, QString> marks; // by upper-case MAC text
};
