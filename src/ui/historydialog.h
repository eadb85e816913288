// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "history/historystore.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QTableWidget;

// Every device the history knows, with first and last seen and whether the last scan found it,
// narrowed to the new, missing or changed ones on request; the events of the selected device
// below. The devices shown can be saved as CSV.
class HistoryDialog : public QDialog
{
    Q_OBJECT

public:
    enum Show { AllDevices, NewDevices, MissingDevices, ChangedDevices };

    explicit HistoryDialog(HistoryStore *store, QWidget *parent = nullptr);

    // Whether a device belongs to `show`, as of the last scan that found it.
    static bool belongs(const KnownDevice &device, const QList<HistoryEvent> &events, Show show);
    // The devices as CSV: one row each with its values.
    static QString toCsv(const QList<KnownDevice> &devices);

private:
    // What an event row shows: its kind and field in words, not the keys of the files.
    static QString kindText(HistoryEvent::Kind kind);
    static QString fieldText(const QString &field);
    void showDevices();
    void showEvents();
    void exportCsv();

    HistoryStore *store = nullptr;
    QList<KnownDevice> known;
    QList<KnownDevice> shown;
    QComboBox *showBox = nullptr;
    QTableWidget *deviceTable = nullptr;
    QTableWidget *eventTable = nullptr;
    QLabel *summary = nullptr;
};
