// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "model/deviceplan.h"

#include <QCoreApplication>
#include <QList>

class DeviceModel;

// Judges a plan against the device table before anything is sent: every value by the settings
// dialog's rules (ConfigCheck), every MAC found by the scan and once only, every static device with
// a usable address, and no address or host name that the plan would give two devices.
//
// A row's effective value is its cell, or the device's current value when the cell is empty; the
// devices outside the plan count with what the table shows. A conflict counts only when one of its
// values is a cell of the plan: two devices that already share a value are the table's known
// conflict (it marks them), and refusing the plan would keep them from being set right. A device on
// DHCP takes its address from its server: it keeps its current one when it stays on DHCP, and has
// none of ours when it goes to DHCP. A device going from DHCP to static needs its address and mask in
// the plan (its current ones are a lease); a static device keeps its own where the cells are empty.
// The address and mask of a row for DHCP are checked and sent, as the dialog sends its greyed-out
// fields, but count in no conflict.
class PlanCheck
{
    // The window shows the problems in its language; veltra-find loads no translation and stays English.
    Q_DECLARE_TR_FUNCTIONS(PlanCheck)

public:
    explicit PlanCheck(const DevicePlan &plan, const DeviceModel &model);

    // Whether the plan may be sent.
    bool ok() const { return found.isEmpty(); }
    // In row order, each naming its row, its CSV line when read from CSV, and its field.
    const QList<DevicePlan::Problem> &problems() const { return found; }

private:
    QList<DevicePlan::Problem> found;
};
