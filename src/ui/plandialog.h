// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "model/deviceplan.h"
#include "model/planmaker.h"
#include "model/planrun.h"

#include <QDialog>
#include <QHash>
#include <QStringList>

class DeviceModel;
class PacketTransceiver;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

// Sets up several devices at once: the form makes a plan (PlanMaker), the preview shows it row by
// row with what PlanCheck finds wrong, and Apply sends it with a PlanRun, each row then showing its
// device's outcome. A plan may be saved as CSV and loaded again: a loaded plan is shown and applied
// as it is until a field of the form is changed, which makes the plan from the form again.
//
// While the plan runs the form is locked. Cancel, Escape and closing the window stop before the
// next device; the device under way is seen through to its outcome, and the dialog closes only
// after that when it was asked to close.
class PlanDialog : public QDialog
{
    Q_OBJECT

public:
    enum ConfigIndex { StaticIndex = 0, DhcpIndex = 1 };
    enum Column { MacColumn, HostNameColumn, NewHostNameColumn, AddressColumn, NewAddressColumn, StatusColumn };

    // `macs` in the order the devices get their addresses and numbers.
    explicit PlanDialog(const QStringList &macs, DeviceModel *model, PacketTransceiver *transceiver,
                        QWidget *parent = nullptr);

    // The plan the preview shows; empty while the form cannot make one.
    const DevicePlan &plan() const { return shownPlan; }

public slots:
    void reject() override;

private slots:
    void formEdited();
    void refresh();
    void savePlan();
    void loadPlan();
    void apply();
    void cancelOrClose();
    void saveOutcomes();
    void onDeviceStarted(int index);
    void onDeviceFinished(int index, const QString &mac, PlanRun::Outcome outcome, const QString &detail);
    void onRunFinished(bool cancelled);

private:
    PlanMaker::Settings settings() const;
    void showPlan(const QList<DevicePlan::Problem> &problems, const QString &error);
    void setStatus(int row, const QString &text, bool warning);
    void setFormEnabled(bool enabled);
    QString summary(bool cancelled) const;
    // An outcome in the dialog's words; the outcome files keep PlanRun's names.
    static QString outcomeText(PlanRun::Outcome outcome);

    QStringList macs;
    DeviceModel *model = nullptr;
    PlanRun *run = nullptr;
    DevicePlan shownPlan;
    DevicePlan loadedPlan;
    QString loadedFrom; // the file of the loaded plan while it is shown; empty when the form makes it
    QHash<int, PlanRun::Outcome> outcomes; // by plan row, as the devices finish
    bool planOk = false;
    bool ran = false;
    bool closeWhenFinished = false;

    QComboBox *configCombo = nullptr;
    QLineEdit *firstAddressEdit = nullptr;
    QLineEdit *maskEdit = nullptr;
    QLineEdit *gatewayEdit = nullptr;
    QLineEdit *domainEdit = nullptr;
    QLineEdit *dns1Edit = nullptr;
    QLineEdit *dns2Edit = nullptr;
    QLineEdit *templateEdit = nullptr;
    QSpinBox *firstNumberSpin = nullptr;
    QLabel *sourceLabel = nullptr;
    QLabel *problemLabel = nullptr;
    QTableWidget *preview = nullptr;
    QProgressBar *progress = nullptr;
    QLabel *summaryLabel = nullptr;
    QPushButton *loadButton = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *saveOutcomesButton = nullptr;
    QPushButton *applyButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QTimer *refreshTimer = nullptr;
};
