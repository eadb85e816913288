// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QCoreApplication>
#include <QString>

// The status of a device row: a number, an icon and a text. States carry no data; a state object
// is made on the stack, handed to DeviceModel::setDeviceState and dropped.
class DeviceState
{
public:
    virtual ~DeviceState() = default;
    virtual int stateId() const = 0;
    virtual QString iconPath() const = 0;
    virtual QString statusText() const = 0;

protected:
    DeviceState() = default;
    DeviceState(const DeviceState &) = default;
    DeviceState &operator=(const DeviceState &) = default;
};

class NormalState : public DeviceState
{
public:
    int stateId() const override { return 0; }
    QString iconPath() const override { return QString(); }
    QString statusText() const override { return QString(); }
};

class SettingState : public DeviceState
{
public:
    int stateId() const override { return 1; }
    QString iconPath() const override { return QStringLiteral(":/scan"); }
    QString statusText() const override
    {
        return QCoreApplication::translate("DeviceState", "Setting new parameters...");
    }
};

class NetRestartState : public DeviceState
{
public:
    int stateId() const override { return 2; }
    QString iconPath() const override { return QStringLiteral(":/scan"); }
    QString statusText() const override
    {
        return QCoreApplication::translate("DeviceState", "Applying new parameters...");
    }
};

class NotRespondingState : public DeviceState
{
public:
    int stateId() const override { return 3; }
    QString iconPath() const override { return QStringLiteral(":/warning"); }
    QString statusText() const override { return QCoreApplication::translate("DeviceState", "Device not responding"); }
};

class RequestFailedState : public DeviceState
{
public:
    int stateId() const override { return 4; }
    QString iconPath() const override { return QStringLiteral(":/warning"); }
    QString statusText() const override { return QCoreApplication::translate("DeviceState", "Request failed"); }
};

class PacketLostState : public DeviceState
{
public:
    int stateId() const override { return 5; }
    QString iconPath() const override { return QStringLiteral(":/warning"); }
    QString statusText() const override
    {
        return QCoreApplication::translate("DeviceState", "Device information incomplete. Please scan network again!");
    }
};

class SavedAuthorizationFailedState : public DeviceState
{
public:
    int stateId() const override { return 5; }
    QString iconPath() const override { return QStringLiteral(":/warning"); }
    QString statusText() const override
    {
        return QCoreApplication::translate("DeviceState", "Stored password is not valid any more, please try again!");
    }
};

class AuthorizationFailedState : public DeviceState
{
public:
    int stateId() const override { return 5; }
    QString iconPath() const override { return QStringLiteral(":/warning"); }
    QString statusText() const override { return QCoreApplication::translate("DeviceState", "Authorization failed"); }
};
