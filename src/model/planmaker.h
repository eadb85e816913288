// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "model/deviceplan.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class DeviceModel;

// Makes a plan for the selected devices: all on DHCP, or static with addresses counted up from a
// first one, and host names from a template. The plan it makes still goes through PlanCheck.
class PlanMaker
{
    // The window shows the problems in its language; veltra-find loads no translation and stays English.
    Q_DECLARE_TR_FUNCTIONS(PlanMaker)

public:
    struct Settings
    {
        bool dhcp = true;
        QString firstAddress; // static only: the first address to hand out
        QString mask;         // static: required, and with firstAddress the subnet not to leave
        QString gateway;
        QString domain;
        QString dns1;
        QString dns2;
        // "{n}", "{nn}" and "{nnn}" become the counter padded to 1, 2 and 3 digits; empty keeps
        // the devices' host names.
        QString hostNameTemplate;
        int firstNumber = 1;
    };

    // The host name of the device with counter `number`.
    static QString hostName(const QString &nameTemplate, int number);

    // A row per MAC of `macs`, in their order. Addresses that any device of `model` shows in its
    // IP Address cell are skipped, the plan's own devices included: their addresses are in use
    // until the plan has been applied. On a problem, `*error` says why and the plan is empty.
    static DevicePlan make(const QStringList &macs, const DeviceModel &model, const Settings &settings, QString *error);
};
