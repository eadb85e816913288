// SPDX-License-Identifier: Apache-2.0
#include "ui/plandialog.h"

#include "model/devicemodel.h"
#include "model/outputfile.h"
#include "model/plancheck.h"
#include "protocol/configcheck.h"
#include "ui/logindialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// Typing settles before the plan is made and checked again.
constexpr int RefreshDelay = 200;

QString cellOf(const DeviceModel &model, const QString &mac, int column)
{
    const int row = model.findRowByMac(mac);
    return row < 0 ? QString() : model.item(row, column)->text();
}

} // namespace

PlanDialog::PlanDialog(const QStringList &macs, DeviceModel *model, PacketTransceiver *transceiver, QWidget *parent)
    : QDialog(parent), macs(macs), model(model)
{
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(tr("Set up %n devices", nullptr, int(macs.size())));

    configCombo = new QComboBox(this);
    configCombo->insertItems(0, {tr("static"), tr("DHCP")});
    firstAddressEdit = new QLineEdit(this);
    maskEdit = new QLineEdit(this);
    gatewayEdit = new QLineEdit(this);
    domainEdit = new QLineEdit(this);
    domainEdit->setMaxLength(ConfigCheck::DomainMaxLength);
    dns1Edit = new QLineEdit(this);
    dns2Edit = new QLineEdit(this);
    auto *addressValidator =
        new QRegularExpressionValidator(QRegularExpression(ConfigCheck::addressInputPattern()), this);
    for (QLineEdit *edit : {firstAddressEdit, maskEdit, gatewayEdit, dns1Edit, dns2Edit}) {
        edit->setValidator(addressValidator);
        // The validator refuses keystrokes silently; a screen reader says what the fields take.
        edit->setAccessibleDescription(tr("Four numbers from 0 to 255 separated by dots"));
    }
    firstAddressEdit->setPlaceholderText(tr("counted up, skipping addresses in use"));
    templateEdit = new QLineEdit(this);
    templateEdit->setPlaceholderText(tr("e.g. cam-{nn}; empty keeps the host names"));
    templateEdit->setAccessibleDescription(
        tr("{n}, {nn} and {nnn} become the device's number with 1, 2 or 3 digits; empty keeps the host names"));
    firstNumberSpin = new QSpinBox(this);
    firstNumberSpin->setRange(0, std::numeric_limits<int>::max() - int(macs.size()));
    firstNumberSpin->setValue(1);

    auto *form = new QFormLayout;
    form->addRow(tr("IP &configuration:"), configCombo);
    form->addRow(tr("&First IP address:"), firstAddressEdit);
    form->addRow(tr("Subnet mas&k:"), maskEdit);
    form->addRow(tr("&Gateway IP:"), gatewayEdit);
    form->addRow(tr("D&omain:"), domainEdit);
    form->addRow(tr("&Primary DNS server:"), dns1Edit);
    form->addRow(tr("Secondar&y DNS server:"), dns2Edit);
    form->addRow(tr("&Host name template:"), templateEdit);
    form->addRow(tr("First n&umber:"), firstNumberSpin);

    sourceLabel = new QLabel(this);
    sourceLabel->setWordWrap(true);
    sourceLabel->setVisible(false);
    problemLabel = new QLabel(this);
    problemLabel->setWordWrap(true);
    problemLabel->setObjectName(QStringLiteral("problemLabel"));
    problemLabel->setAccessibleName(tr("Plan problems"));

    preview = new QTableWidget(0, StatusColumn + 1, this);
    preview->setHorizontalHeaderLabels(
        {tr("MAC Address"), tr("Hostname"), tr("New hostname"), tr("IP Address"), tr("New IP address"), tr("Status")});
    preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    preview->setSelectionBehavior(QAbstractItemView::SelectRows);
    // As in the device table: Tab leaves the table, the arrow keys move in it.
    preview->setTabKeyNavigation(false);
    preview->verticalHeader()->setVisible(false);
    preview->horizontalHeader()->setStretchLastSection(true);
    preview->setAccessibleName(tr("Plan preview"));
    preview->setAccessibleDescription(tr("One row per device: what it has now, what the plan gives it, and problems "
                                         "or outcomes"));

    progress = new QProgressBar(this);
    progress->setRange(0, int(macs.size()));
    progress->setValue(0);
    progress->setFormat(tr("%v of %m devices"));
    progress->setAccessibleName(tr("Progress"));
    summaryLabel = new QLabel(this);
    summaryLabel->setWordWrap(true);
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    summaryLabel->setAccessibleName(tr("Summary"));

    loadButton = new QPushButton(tr("&Load plan…"), this);
    saveButton = new QPushButton(tr("&Save plan…"), this);
    saveOutcomesButton = new QPushButton(tr("Save ou&tcomes…"), this);
    saveOutcomesButton->setEnabled(false);
    applyButton = new QPushButton(tr("&Apply"), this);
    cancelButton = new QPushButton(tr("Cancel"), this);
    // Enter in a field must not send a plan to every device: no button is pressed by it.
    for (QPushButton *button : {loadButton, saveButton, saveOutcomesButton, applyButton, cancelButton})
        button->setAutoDefault(false);

    // Names for tests and scripts that drive the dialog.
    const std::pair<QObject *, const char *> names[] = {
        {firstAddressEdit, "firstAddressEdit"}, {maskEdit, "maskEdit"},        {gatewayEdit, "gatewayEdit"},
        {templateEdit, "templateEdit"},         {loadButton, "loadButton"},    {saveButton, "saveButton"},
        {applyButton, "applyButton"},           {cancelButton, "cancelButton"}};
    for (const auto &[object, name] : names)
        object->setObjectName(QLatin1String(name));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(loadButton);
    buttons->addWidget(saveButton);
    buttons->addWidget(saveOutcomesButton);
    buttons->addStretch();
    buttons->addWidget(applyButton);
    buttons->addWidget(cancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(sourceLabel);
    layout->addWidget(problemLabel);
    layout->addWidget(preview, 1);
    layout->addWidget(progress);
    layout->addWidget(summaryLabel);
    layout->addLayout(buttons);
    resize(820, 640);
    // The configuration rarely changes from the static default; the first address is what the user types first.
    firstAddressEdit->setFocus();

    const QList<QWidget *> order{configCombo, firstAddressEdit, maskEdit,           gatewayEdit,     domainEdit,
                                 dns1Edit,    dns2Edit,         templateEdit,       firstNumberSpin, preview,
                                 loadButton,  saveButton,       saveOutcomesButton, applyButton,     cancelButton};
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    refreshTimer = new QTimer(this);
    refreshTimer->setSingleShot(true);
    refreshTimer->setInterval(RefreshDelay);

    run = new PlanRun(transceiver, model, this);

    connect(configCombo, &QComboBox::currentIndexChanged, this, &PlanDialog::formEdited);
    for (QLineEdit *edit : {firstAddressEdit, maskEdit, gatewayEdit, domainEdit, dns1Edit, dns2Edit, templateEdit})
        connect(edit, &QLineEdit::textChanged, this, &PlanDialog::formEdited);
    connect(firstNumberSpin, &QSpinBox::valueChanged, this, &PlanDialog::formEdited);
    connect(refreshTimer, &QTimer::timeout, this, &PlanDialog::refresh);
    // What the table shows decides skipped addresses and conflicts: replies check the plan again.
    connect(model, &QAbstractItemModel::rowsInserted, refreshTimer, qOverload<>(&QTimer::start));
    connect(model, &QAbstractItemModel::rowsRemoved, refreshTimer, qOverload<>(&QTimer::start));
    connect(model, &QAbstractItemModel::dataChanged, refreshTimer, qOverload<>(&QTimer::start));
    connect(loadButton, &QPushButton::clicked, this, &PlanDialog::loadPlan);
    connect(saveButton, &QPushButton::clicked, this, &PlanDialog::savePlan);
    connect(saveOutcomesButton, &QPushButton::clicked, this, &PlanDialog::saveOutcomes);
    connect(applyButton, &QPushButton::clicked, this, &PlanDialog::apply);
    connect(cancelButton, &QPushButton::clicked, this, &PlanDialog::cancelOrClose);
    connect(run, &PlanRun::deviceStarted, this, &PlanDialog::onDeviceStarted);
    connect(run, &PlanRun::deviceFinished, this, &PlanDialog::onDeviceFinished);
    connect(run, &PlanRun::finished, this, &PlanDialog::onRunFinished);

    formEdited();
    refresh();
}

PlanMaker::Settings PlanDialog::settings() const
{
    // Greyed out for DHCP, the address fields stay out of the plan: the devices keep theirs.
    PlanMaker::Settings settings;
    settings.dhcp = configCombo->currentIndex() == DhcpIndex;
    if (!settings.dhcp) {
        settings.firstAddress = firstAddressEdit->text();
        settings.mask = maskEdit->text();
        settings.gateway = gatewayEdit->text();
        settings.domain = domainEdit->text();
        settings.dns1 = dns1Edit->text();
        settings.dns2 = dns2Edit->text();
    }
    settings.hostNameTemplate = templateEdit->text();
    settings.firstNumber = firstNumberSpin->value();
    return settings;
}

void PlanDialog::formEdited()
{
    const bool isStatic = configCombo->currentIndex() == StaticIndex;
    for (QLineEdit *edit : {firstAddressEdit, maskEdit, gatewayEdit, domainEdit, dns1Edit, dns2Edit})
        edit->setEnabled(isStatic);
    // A changed field takes the plan back from a loaded file.
    loadedFrom.clear();
    sourceLabel->setVisible(false);
    refreshTimer->start();
}

void PlanDialog::refresh()
{
    refreshTimer->stop();
    if (ran || run->isRunning())
        return;
    QString error;
    shownPlan = loadedFrom.isEmpty() ? PlanMaker::make(macs, *model, settings(), &error) : loadedPlan;
    // A form just opened has no first address yet: say what is missing rather than why "" is refused.
    if (!error.isEmpty() && loadedFrom.isEmpty() && configCombo->currentIndex() == StaticIndex &&
        firstAddressEdit->text().isEmpty())
        error = tr("enter the first IP address to hand out, or choose DHCP");
    showPlan(PlanCheck(shownPlan, *model).problems(), error);
}

void PlanDialog::showPlan(const QList<DevicePlan::Problem> &problems, const QString &error)
{
    QStringList general;
    if (!error.isEmpty())
        general.append(tr("No plan: %1").arg(error));
    QHash<int, QStringList> byRow;
    for (const DevicePlan::Problem &problem : problems) {
        if (problem.row <= 0)
            general.append(problem.toString());
        else
            byRow[problem.row - 1].append(problem.field.isEmpty()
                                              ? problem.message
                                              : QStringLiteral("%1: %2").arg(problem.field, problem.message));
    }
    // Row problems stand at their rows, perhaps scrolled out of sight: the label says why Apply waits.
    if (!byRow.isEmpty())
        general.append(tr("Devices with a problem: %1, marked in the Status column. Nothing is sent until every "
                          "problem is solved.")
                           .arg(byRow.size()));
    problemLabel->setText(general.join(QLatin1Char('\n')));
    problemLabel->setVisible(!general.isEmpty());

    const QList<DevicePlan::Row> &rows = shownPlan.rows();
    preview->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const DevicePlan::Row &row = rows.at(i);
        const QString hostName = cellOf(*model, row.mac, DeviceModel::HostnameColumn);
        const QString address = cellOf(*model, row.mac, DeviceModel::IpAddressColumn);
        QString newAddress = row.ip.isEmpty() ? address : row.ip;
        if (DevicePlan::configOf(row.config) == DevicePlan::Config::Dhcp)
            newAddress = tr("DHCP");
        const QStringList texts{row.mac, hostName, row.hostName.isEmpty() ? hostName : row.hostName, address,
                                newAddress};
        for (int column = 0; column < texts.size(); ++column)
            preview->setItem(i, column, new QTableWidgetItem(texts.at(column)));
        setStatus(i, byRow.value(i).join(QLatin1String("; ")), byRow.contains(i));
    }
    // The Status column keeps the rest of the width for its longer texts.
    for (int column = 0; column < StatusColumn; ++column)
        preview->resizeColumnToContents(column);

    planOk = error.isEmpty() && problems.isEmpty() && !rows.isEmpty();
    applyButton->setEnabled(planOk);
    saveButton->setEnabled(!rows.isEmpty());
}

void PlanDialog::setStatus(int row, const QString &text, bool warning)
{
    auto *item = new QTableWidgetItem(text);
    item->setToolTip(text);
    if (warning)
        item->setIcon(QIcon(QStringLiteral(":/warning")));
    preview->setItem(row, StatusColumn, item);
}

void PlanDialog::setFormEnabled(bool enabled)
{
    configCombo->setEnabled(enabled);
    const bool isStatic = configCombo->currentIndex() == StaticIndex;
    for (QLineEdit *edit : {firstAddressEdit, maskEdit, gatewayEdit, domainEdit, dns1Edit, dns2Edit})
        edit->setEnabled(enabled && isStatic);
    templateEdit->setEnabled(enabled);
    firstNumberSpin->setEnabled(enabled);
    loadButton->setEnabled(enabled);
    saveButton->setEnabled(enabled && !shownPlan.rows().isEmpty());
}

void PlanDialog::savePlan()
{
    const QString fileName =
        QFileDialog::getSaveFileName(this, tr("Save plan"), QDir::homePath(), tr("CSV files (*.csv);;All files (*)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!OutputFile::write(fileName, shownPlan.toCsv(), &error))
        QMessageBox::warning(this, tr("Save plan"), tr("Could not save the plan to %1: %2").arg(fileName, error));
}

void PlanDialog::loadPlan()
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Load plan"), QDir::homePath(), tr("CSV files (*.csv);;All files (*)"));
    if (fileName.isEmpty())
        return;
    const auto fail = [this, &fileName](const QString &why) {
        QMessageBox::warning(this, tr("Load plan"), tr("Could not load the plan from %1:\n%2").arg(fileName, why));
    };
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
        return fail(file.errorString().isEmpty() ? tr("not a file") : file.errorString());
    // One byte more than a plan may have, so that a longer file is refused rather than cut.
    const QByteArray csv = file.read(DevicePlan::MaxCsvBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());

    QList<DevicePlan::Problem> problems;
    const DevicePlan plan = DevicePlan::fromCsv(csv, &problems);
    if (!problems.isEmpty()) {
        QStringList lines;
        for (const DevicePlan::Problem &problem : problems.mid(0, 10))
            lines.append(problem.toString());
        if (problems.size() > 10)
            lines.append(tr("… and %n more", nullptr, int(problems.size() - 10)));
        return fail(lines.join(QLatin1Char('\n')));
    }
    if (plan.rows().isEmpty())
        return fail(tr("the file holds no device"));

    loadedPlan = plan;
    loadedFrom = fileName;
    sourceLabel->setText(tr("Showing the plan loaded from %1. Changing a field above makes the plan from the "
                            "form again.")
                             .arg(QDir::toNativeSeparators(fileName)));
    sourceLabel->setVisible(true);
    refresh();
}

void PlanDialog::apply()
{
    // A field may have changed since the last check: the plan sent is the one just checked.
    refresh();
    if (!planOk)
        return;
    const QStringList needing = PlanRun::needingCredentials(shownPlan, *model);
    if (!needing.isEmpty()) {
        LoginDialog login(this);
        login.setWindowTitle(tr("Device login for %n device(s)", nullptr, int(needing.size())));
        if (login.exec() != QDialog::Accepted)
            return;
        run->setCredentials(login.username(), login.password(), login.rememberPassword());
    }

    ran = true;
    outcomes.clear();
    setFormEnabled(false);
    applyButton->setEnabled(false);
    progress->setRange(0, int(shownPlan.rows().size()));
    progress->setValue(0);
    summaryLabel->setText(tr("Applying the plan…"));
    for (int row = 0; row < preview->rowCount(); ++row)
        setStatus(row, tr("waiting"), false);
    run->start(shownPlan);
}

void PlanDialog::cancelOrClose()
{
    if (!run->isRunning()) {
        QDialog::reject();
        return;
    }
    run->cancel();
    cancelButton->setEnabled(false);
    summaryLabel->setText(tr("Cancelling: the device under way is seen through first…"));
}

void PlanDialog::reject()
{
    // Escape and the window's close button: a device under way is not abandoned half-changed.
    if (run->isRunning()) {
        closeWhenFinished = true;
        cancelOrClose();
        return;
    }
    QDialog::reject();
}

void PlanDialog::onDeviceStarted(int index)
{
    setStatus(index, tr("under way…"), false);
}

void PlanDialog::onDeviceFinished(int index, const QString &mac, PlanRun::Outcome outcome, const QString &detail)
{
    Q_UNUSED(mac)
    outcomes.insert(index, outcome);
    progress->setValue(int(outcomes.size()));
    const QString name = outcomeText(outcome);
    // An applied device's detail says no more than its outcome.
    const bool plain = detail.isEmpty() || outcome == PlanRun::Outcome::Applied;
    setStatus(index, plain ? name : QStringLiteral("%1: %2").arg(name, detail), outcome != PlanRun::Outcome::Applied);
}

void PlanDialog::onRunFinished(bool cancelled)
{
    for (int row = 0; row < preview->rowCount(); ++row) {
        if (!outcomes.contains(row))
            setStatus(row, tr("not started"), false);
    }
    summaryLabel->setText(summary(cancelled));
    saveOutcomesButton->setEnabled(!run->results().isEmpty());
    cancelButton->setText(tr("Close"));
    cancelButton->setEnabled(true);
    if (closeWhenFinished)
        QDialog::reject();
}

QString PlanDialog::outcomeText(PlanRun::Outcome outcome)
{
    switch (outcome) {
    case PlanRun::Outcome::Applied:
        return tr("applied");
    case PlanRun::Outcome::AuthorizationFailed:
        return tr("authorization failed");
    case PlanRun::Outcome::NoAnswer:
        return tr("no answer");
    case PlanRun::Outcome::Refused:
        return tr("refused");
    case PlanRun::Outcome::Differs:
        return tr("differs");
    }
    return {};
}

QString PlanDialog::summary(bool cancelled) const
{
    QStringList counts;
    for (const PlanRun::Outcome outcome :
         {PlanRun::Outcome::Applied, PlanRun::Outcome::AuthorizationFailed, PlanRun::Outcome::NoAnswer,
          PlanRun::Outcome::Refused, PlanRun::Outcome::Differs}) {
        const int count = int(std::count(outcomes.cbegin(), outcomes.cend(), outcome));
        if (count > 0)
            counts.append(QStringLiteral("%1 %2").arg(count).arg(outcomeText(outcome)));
    }
    const QString text = counts.join(QLatin1String(", "));
    if (!cancelled)
        return text;
    const QString stopped = tr("Cancelled after %1 of %2 devices").arg(outcomes.size()).arg(shownPlan.rows().size());
    return text.isEmpty() ? stopped : QStringLiteral("%1: %2").arg(stopped, text);
}

void PlanDialog::saveOutcomes()
{
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Save outcomes"), QDir::homePath(),
                                                          tr("CSV files (*.csv);;All files (*)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!OutputFile::write(fileName, PlanRun::resultsToCsv(run->results()), &error))
        QMessageBox::warning(this, tr("Save outcomes"),
                             tr("Could not save the outcomes to %1: %2").arg(fileName, error));
}
