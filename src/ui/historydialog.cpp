// SPDX-License-Identifier: Apache-2.0
#include "ui/historydialog.h"

#include "model/csvtext.h"
#include "model/outputfile.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString localTime(const QDateTime &time)
{
    return QLocale().toString(time.toLocalTime(), QLocale::ShortFormat);
}

QTableWidget *makeTable(const QStringList &headers, const QString &name, QWidget *parent)
{
    auto *table = new QTableWidget(0, int(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setAccessibleName(name);
    table->setObjectName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setTabKeyNavigation(false);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

// Each column as wide as its texts, the last one to the table's edge: sizing it to its texts
// leaves it short of the edge until the stretch is asked for again.
void fitColumns(QTableWidget *table)
{
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(false);
    table->horizontalHeader()->setStretchLastSection(true);
}

void setRow(QTableWidget *table, int row, const QStringList &texts)
{
    for (int column = 0; column < texts.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(texts.at(column)));
}

} // namespace

HistoryDialog::HistoryDialog(HistoryStore *historyStore, QWidget *parent) : QDialog(parent), store(historyStore)
{
    setWindowTitle(tr("Device history"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    resize(860, 560);

    showBox = new QComboBox(this);
    showBox->setObjectName(QStringLiteral("showBox"));
    showBox->addItems({tr("All devices"), tr("New in their last scan"), tr("Missing from the last scan"),
                       tr("Changed in their last scan")});
    auto *showLabel = new QLabel(tr("&Show:"), this);
    showLabel->setBuddy(showBox);
    summary = new QLabel(this);

    deviceTable = makeTable({tr("MAC Address"), tr("Hostname"), tr("IP Address"), tr("Device"), tr("First seen"),
                             tr("Last seen"), tr("Last scan"), tr("Interface")},
                            tr("Known devices"), this);
    eventTable =
        makeTable({tr("Time"), tr("Event"), tr("Field"), tr("Was"), tr("Now")}, tr("Events of the device"), this);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *exportButton = buttons->addButton(tr("&Export CSV…"), QDialogButtonBox::ActionRole);
    exportButton->setObjectName(QStringLiteral("exportButton"));

    auto *top = new QHBoxLayout;
    top->addWidget(showLabel);
    top->addWidget(showBox);
    top->addStretch();
    top->addWidget(summary);
    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(deviceTable);
    splitter->addWidget(eventTable);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter);
    layout->addWidget(buttons);

    connect(showBox, &QComboBox::currentIndexChanged, this, &HistoryDialog::showDevices);
    connect(deviceTable, &QTableWidget::itemSelectionChanged, this, &HistoryDialog::showEvents);
    connect(exportButton, &QPushButton::clicked, this, &HistoryDialog::exportCsv);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    if (store && (store->isOpen() || store->open()))
        known = store->devices();
    else
        summary->setText(store ? store->notice() : QString());
    showDevices();
    // Wide enough for every column of the devices, within the screen.
    const int margins = layout->contentsMargins().left() + layout->contentsMargins().right();
    const int tableWidth = deviceTable->horizontalHeader()->length() + 2 * deviceTable->frameWidth() +
                           style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, deviceTable) + margins;
    resize(qBound(width(), tableWidth, qMax(width(), screen()->availableGeometry().width())), height());
}

bool HistoryDialog::belongs(const KnownDevice &device, const QList<HistoryEvent> &events, Show show)
{
    switch (show) {
    case AllDevices:
        return true;
    case NewDevices:
        return device.presentInLastScan && device.firstSeen == device.lastSeen;
    case MissingDevices:
        return !device.presentInLastScan;
    case ChangedDevices:
        return std::any_of(events.cbegin(), events.cend(), [&device](const HistoryEvent &event) {
            return event.kind == HistoryEvent::Kind::Changed && event.time == device.lastSeen;
        });
    }
    return false;
}

QString HistoryDialog::kindText(HistoryEvent::Kind kind)
{
    switch (kind) {
    case HistoryEvent::Kind::Appeared:
        return tr("Appeared");
    case HistoryEvent::Kind::Disappeared:
        return tr("Disappeared");
    case HistoryEvent::Kind::Changed:
        return tr("Changed");
    }
    return {};
}

QString HistoryDialog::fieldText(const QString &field)
{
    static const QHash<QString, const char *> names{{QStringLiteral("device"), QT_TR_NOOP("Device")},
                                                    {QStringLiteral("firmware"), QT_TR_NOOP("Firmware")},
                                                    {QStringLiteral("productType"), QT_TR_NOOP("Product type")},
                                                    {QStringLiteral("hostname"), QT_TR_NOOP("Hostname")},
                                                    {QStringLiteral("ipConfig"), QT_TR_NOOP("IP config.")},
                                                    {QStringLiteral("ip"), QT_TR_NOOP("IP Address")},
                                                    {QStringLiteral("mask"), QT_TR_NOOP("Subnet mask")},
                                                    {QStringLiteral("gateway"), QT_TR_NOOP("Gateway")},
                                                    {QStringLiteral("domain"), QT_TR_NOOP("Domain")},
                                                    {QStringLiteral("dns1"), QT_TR_NOOP("Primary DNS server")},
                                                    {QStringLiteral("dns2"), QT_TR_NOOP("Secondary DNS server")},
                                                    {QStringLiteral("protocolVersion"), QT_TR_NOOP("Protocol version")},
                                                    {QStringLiteral("interface"), QT_TR_NOOP("Interface")}};
    const char *name = names.value(field);
    return name ? tr(name) : field;
}

void HistoryDialog::showDevices()
{
    const auto show = Show(showBox->currentIndex());
    shown.clear();
    for (const KnownDevice &device : std::as_const(known)) {
        if (show == AllDevices || belongs(device, store->events(device.mac), show))
            shown.append(device);
    }
    deviceTable->setRowCount(int(shown.size()));
    for (int row = 0; row < shown.size(); ++row) {
        const KnownDevice &device = shown.at(row);
        setRow(deviceTable, row,
               {device.mac, device.values.value(QStringLiteral("hostname")), device.values.value(QStringLiteral("ip")),
                device.values.value(QStringLiteral("device")), localTime(device.firstSeen), localTime(device.lastSeen),
                device.presentInLastScan ? tr("found") : tr("missing"), device.interfaceName});
    }
    fitColumns(deviceTable);
    if (store && store->isOpen())
        summary->setText(tr("%1 of %2 devices").arg(shown.size()).arg(known.size()));
    showEvents();
}

void HistoryDialog::showEvents()
{
    const QList<QTableWidgetItem *> selected = deviceTable->selectedItems();
    const int row = selected.isEmpty() ? -1 : selected.constFirst()->row();
    const QList<HistoryEvent> events = row < 0 || !store ? QList<HistoryEvent>() : store->events(shown.at(row).mac);
    eventTable->setRowCount(int(events.size()));
    // Newest first: the latest change is what one looks for.
    for (int i = 0; i < events.size(); ++i) {
        const HistoryEvent &event = events.at(events.size() - 1 - i);
        setRow(eventTable, i,
               {localTime(event.time), kindText(event.kind), fieldText(event.field), event.oldValue, event.newValue});
    }
    fitColumns(eventTable);
}

QString HistoryDialog::toCsv(const QList<KnownDevice> &devices)
{
    QStringList header{QStringLiteral("mac"), QStringLiteral("firstSeen"), QStringLiteral("lastSeen"),
                       QStringLiteral("present"), QStringLiteral("interface")};
    header += HistoryStore::fields();
    QString text = CsvText::line(header);
    for (const KnownDevice &device : devices) {
        // Each cell is a CSV field already, device texts with the formula guard.
        QStringList cells{CsvText::textField(device.mac), device.firstSeen.toString(Qt::ISODateWithMs),
                          device.lastSeen.toString(Qt::ISODateWithMs),
                          device.presentInLastScan ? QStringLiteral("true") : QStringLiteral("false"),
                          CsvText::textField(device.interfaceName)};
        const QStringList fields = HistoryStore::fields();
        for (const QString &field : fields)
            cells.append(CsvText::textField(device.values.value(field)));
        text += cells.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return text;
}

void HistoryDialog::exportCsv()
{
    const QString fileName =
        QFileDialog::getSaveFileName(this, tr("Export the device history"), QDir::homePath(), tr("CSV files (*.csv)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!OutputFile::write(fileName, toCsv(shown).toUtf8(), &error))
        QMessageBox::warning(this, tr("Export the device history"), tr("Could not write %1: %2").arg(fileName, error));
}
