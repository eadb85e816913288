// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "protocol/packettransceiver.h"

#include <QComboBox>

// The tool bar's choice of the network interface to scan on: "All interfaces", then one item per
// usable interface address, "name (address)". Opening it asks for the interfaces to be read again first, so that
// one that appeared since (a dock, a VLAN sub-interface) can be chosen at once.
class InterfaceBox : public QComboBox
{
    Q_OBJECT

public:
    explicit InterfaceBox(QWidget *parent = nullptr);

    // Lists the entries in the given order, the current one selected ("All interfaces" with
    // `all`); without any, the box is disabled and says so.
    void showInterfaces(const QList<PacketTransceiver::InterfaceEntry> &entries,
                        const PacketTransceiver::InterfaceEntry &current, bool all = false);

    void showPopup() override;

signals:
    // Before the list opens; a receiver may call showInterfaces() with what it finds now.
    void aboutToOpen();
    // The user picked an entry (also the one already current).
    void entryChosen(const QString &name, const QString &address);
    // The user picked "All interfaces".
    void allChosen();

protected:
    void wheelEvent(QWheelEvent *event) override;
};
