// SPDX-License-Identifier: Apache-2.0
#include "ui/interfacebox.h"

#include <QAbstractItemView>
#include <QWheelEvent>

namespace {

constexpr int NameRole = Qt::UserRole;
constexpr int AddressRole = Qt::UserRole + 1;
constexpr int AllRole = Qt::UserRole + 2;
// Characters the closed box shows: as many as its longest entry, "enp0s31f6 (192.168.100.200)",
// within these bounds; a longer entry is cut and read in full in the tool tip and the opened list.
constexpr int MinimumLength = 16;
constexpr int MaximumLength = 32;

} // namespace

InterfaceBox::InterfaceBox(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("interfaceBox"));
    setAccessibleName(tr("Network interface"));
    // A width of its own, set by the entries within bounds, so that a virtual interface's long name
    // does not push the rest out of the tool bar; the opened list is as wide as its longest entry.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(MinimumLength);
    // Like the tool bar's buttons: Tab reaches it, a click leaves the focus where it was.
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QComboBox::activated, this, [this](int index) {
        const QString name = itemData(index, NameRole).toString();
        if (itemData(index, AllRole).toBool())
            emit allChosen();
        else if (!name.isEmpty())
            emit entryChosen(name, itemData(index, AddressRole).toString());
    });
}

void InterfaceBox::showInterfaces(const QList<PacketTransceiver::InterfaceEntry> &entries,
                                  const PacketTransceiver::InterfaceEntry &current, bool all)
{
    clear();
    if (!entries.isEmpty()) {
        addItem(tr("All interfaces"));
        setItemData(0, true, AllRole);
    }
    for (const PacketTransceiver::InterfaceEntry &entry : entries) {
        addItem(tr("%1 (%2)").arg(entry.name, entry.address));
        setItemData(count() - 1, entry.name, NameRole);
        setItemData(count() - 1, entry.address, AddressRole);
        if (!all && entry.name == current.name && entry.address == current.address)
            setCurrentIndex(count() - 1);
    }
    if (entries.isEmpty())
        addItem(tr("No network interface"));
    setEnabled(!entries.isEmpty());
    qsizetype longest = 0;
    for (int i = 0; i < count(); ++i)
        longest = qMax(longest, itemText(i).size());
    setMinimumContentsLength(int(qBound(qsizetype(MinimumLength), longest, qsizetype(MaximumLength))));
    if (all && !entries.isEmpty())
        setCurrentIndex(0);
    setToolTip(tr("The network interface to scan on: %1. Choosing one scans on it.").arg(currentText()));
}

void InterfaceBox::showPopup()
{
    emit aboutToOpen();
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth());
    QComboBox::showPopup();
}

void InterfaceBox::wheelEvent(QWheelEvent *event)
{
    // Every choice scans: the wheel, turned over the tool bar on the way elsewhere, must not choose.
    event->ignore();
}
