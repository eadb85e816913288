// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QList>
#include <QStandardItemModel>

class DeviceState;

// The device table done the straightforward way, for comparison only: every MAC lookup searches
// the MAC Address column with findItems, every accepted reply clears every conflict mark and sets
// them again by searching the whole column for every row's text, and a reply's request time is
// cleared by walking the rows. It shows the same rows, texts, marks and states as DeviceModel for
// the replies of a scan, and takes a row out and puts it back for an update the same way.
class BaselineModel : public QStandardItemModel
{
    Q_OBJECT

public:
    explicit BaselineModel(QObject *parent = nullptr);

    int findRowByMac(const QString &macAddress) const;
    void setDeviceState(const QString &macAddress, const DeviceState &state);
    void updateDevice(const QByteArray &datagram);
    void markConflicts();
    void onDeviceReplyReceived(const QByteArray &datagram);

    // Brings an empty table to the state that these replies leave behind, without the searches:
    // rows are found through a hash and the marks are worked out once at the end. Used to set up
    // a large table before timing single replies.
    void preload(const QList<QByteArray> &replies);

private:
    void applyReply(QList<QStandardItem *> &items, const QByteArray &datagram);
    void clearRequestTime(const QString &macAddress);
};
