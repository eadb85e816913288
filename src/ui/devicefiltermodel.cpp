// SPDX-License-Identifier: Apache-2.0
#include "ui/devicefiltermodel.h"

#include "model/devicemodel.h"

#include <QFont>

DeviceFilterModel::DeviceFilterModel(QObject *parent) : QSortFilterProxyModel(parent)
{
    setFilterKeyColumn(-1);
    setFilterCaseSensitivity(Qt::CaseInsensitive);
}

void DeviceFilterModel::setFilterText(const QString &text)
{
    shownText = text;
    setFilterFixedString(text.trimmed());
}

void DeviceFilterModel::setMarks(const QHash<QString, QString> &changesByMac)
{
    QHash<QString, QString> upper;
    for (auto it = changesByMac.cbegin(); it != changesByMac.cend(); ++it)
        upper.insert(it.key().toUpper(), it.value());
    if (upper == marks)
        return;
    marks = upper;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::FontRole, Qt::ToolTipRole});
}

QString DeviceFilterModel::markOf(const QString &macAddress) const
{
    return marks.value(macAddress.toUpper());
}

QVariant DeviceFilterModel::data(const QModelIndex &index, int role) const
{
    // The Status column keeps its own look: the marks are about the device's values.
    if ((role != Qt::FontRole && role != Qt::ToolTipRole) || marks.isEmpty() ||
        index.column() == DeviceModel::StatusColumn)
        return QSortFilterProxyModel::data(index, role);
    const QString mark = markOf(index.siblingAtColumn(DeviceModel::MacAddressColumn).data().toString());
    const QVariant own = QSortFilterProxyModel::data(index, role);
    if (mark.isEmpty())
        return own;
    if (role == Qt::FontRole) {
        QFont font = own.isValid() ? own.value<QFont>() : QFont();
        font.setBold(true);
        return font;
    }
    // A conflict's tool tip stays first.
    return own.toString().isEmpty() ? mark : own.toString() + QLatin1Char('\n') + mark;
}

void DeviceFilterModel::sort(int column, Qt::SortOrder order)
{
    if (sourceModel())
        sourceModel()->sort(column, order);
}
