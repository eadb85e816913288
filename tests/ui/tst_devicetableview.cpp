// SPDX-License-Identifier: Apache-2.0
#include "ui/devicetableview.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <QtTest>

namespace {

// Counts the context-menu events that reach a widget.
class ContextMenuCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ContextMenu)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

class TestDeviceTableView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QContextMenuEvent *>(); }
    void init();
    void cleanup();

    void configuration();
    void lastColumnFillsTheView();
    void clickSelectsWholeRows_data();
    void clickSelectsWholeRows();
    void noEditingInPlace_data();
    void noEditingInPlace();
    void headerClickSorts();
    void contextMenuEventOnlyEmitsPopup_data();
    void contextMenuEventOnlyEmitsPopup();
    void updatedRowKeepsSelection();

private:
    QPoint cellCenter(int row, int column) const { return view->visualRect(model->index(row, column)).center(); }
    QStringList column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < model->rowCount(); ++row)
            texts.append(model->index(row, column).data().toString());
        return texts;
    }

    QWidget *frame = nullptr;
    DeviceTableView *view = nullptr;
    QStandardItemModel *model = nullptr;
};

void TestDeviceTableView::init()
{
    // The view in a frame as the window holds it, with three rows of seven columns.
    frame = new QWidget;
    frame->resize(900, 300);
    view = new DeviceTableView(frame);
    auto *layout = new QVBoxLayout(frame);
    layout->addWidget(view);
    model = new QStandardItemModel(0, 7, frame);
    const QList<QStringList> rows = {
        {"Panoryx-III", "1.8.0", "lobby", "10.0.0.2", "static", "02:00:5E:AA:00:01", ""},
        {"Motilux-II", "2.2.0", "cellar", "10.0.0.3", "DHCP", "02:00:5E:BB:00:02", ""},
        {"VeltraNET-4.3", "1.9.0", "attic", "10.0.0.1", "static", "02:00:5E:CC:00:03", ""},
    };
    for (const QStringList &texts : rows) {
        QList<QStandardItem *> items;
        for (const QString &text : texts)
            items.append(new QStandardItem(text));
        model->appendRow(items);
    }
    view->setModel(model);
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
}

void TestDeviceTableView::cleanup()
{
    delete frame;
    frame = nullptr;
}

void TestDeviceTableView::configuration()
{
    DeviceTableView fresh(nullptr);
    QCOMPARE(fresh.selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(fresh.selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(fresh.editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(fresh.isSortingEnabled());
    QCOMPARE(fresh.verticalHeader()->defaultSectionSize(), 20);
    QCOMPARE(fresh.horizontalHeader()->defaultSectionSize(), 120);
    QVERIFY(fresh.horizontalHeader()->stretchLastSection());
    QCOMPARE(fresh.horizontalHeader()->defaultAlignment(), Qt::Alignment(Qt::AlignLeft));
    QCOMPARE(fresh.contextMenuPolicy(), Qt::DefaultContextMenu);
}

void TestDeviceTableView::lastColumnFillsTheView()
{
    QHeaderView *header = view->horizontalHeader();
    for (int column = 0; column < 6; ++column)
        QCOMPARE(header->sectionSize(column), 120);
    QCOMPARE(view->rowHeight(0), 20);
    QTRY_COMPARE(header->length(), view->viewport()->width());
    QVERIFY(header->sectionSize(6) > 120);
}

void TestDeviceTableView::clickSelectsWholeRows_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers"); // of the second click, on row 2
    QTest::addColumn<QList<int>>("rows");

    QTest::newRow("plain click") << Qt::KeyboardModifiers() << QList<int>{2};
    QTest::newRow("Ctrl adds a row") << Qt::KeyboardModifiers(Qt::ControlModifier) << QList<int>{0, 2};
    QTest::newRow("Shift adds a range") << Qt::KeyboardModifiers(Qt::ShiftModifier) << QList<int>{0, 1, 2};
}

void TestDeviceTableView::clickSelectsWholeRows()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QList<int>, rows);

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cellCenter(0, 3));
    QCOMPARE(view->selectionModel()->selectedIndexes().size(), 7);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, cellCenter(2, 1));

    QList<int> selected;
    const QModelIndexList selectedRows = view->selectionModel()->selectedRows();
    for (const QModelIndex &index : selectedRows)
        selected.append(index.row());
    std::sort(selected.begin(), selected.end());
    QCOMPARE(selected, rows);
    QCOMPARE(view->selectionModel()->selectedIndexes().size(), 7 * rows.size());
}

void TestDeviceTableView::noEditingInPlace_data()
{
    QTest::addColumn<QString>("gesture");

    QTest::newRow("double click") << "double click";
    QTest::newRow("F2") << "F2";
    QTest::newRow("typing") << "typing";
}

void TestDeviceTableView::noEditingInPlace()
{
    QFETCH(QString, gesture);

    const QModelIndex target = model->index(1, 2);
    view->setFocus();
    view->setCurrentIndex(target);
    if (gesture == QLatin1String("double click")) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cellCenter(1, 2));
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cellCenter(1, 2));
    } else if (gesture == QLatin1String("F2"))
        QTest::keyClick(view, Qt::Key_F2);
    else
        QTest::keyClicks(view, QStringLiteral("x"));

    // An editor would be a line edit in the viewport, holding the focus.
    QVERIFY(!view->findChild<QLineEdit *>());
    QCOMPARE(QApplication::focusWidget(), view);
    QCOMPARE(target.data().toString(), QStringLiteral("cellar"));
}

void TestDeviceTableView::headerClickSorts()
{
    QHeaderView *header = view->horizontalHeader();
    const QPoint onHostname(header->sectionViewportPosition(2) + header->sectionSize(2) / 2, header->height() / 2);
    QVERIFY(!header->isSortIndicatorShown()); // the rows are in the order they came

    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onHostname);
    const QStringList first = column(2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onHostname);
    const QStringList second = column(2);

    // One click sorts by the column, the next reverses the order.
    const QStringList ascending = {"attic", "cellar", "lobby"};
    const QStringList descending = {"lobby", "cellar", "attic"};
    QVERIFY2((first == ascending && second == descending) || (first == descending && second == ascending),
             qPrintable(first.join(QLatin1Char(',')) + QLatin1Char('/') + second.join(QLatin1Char(','))));
    QCOMPARE(header->sortIndicatorSection(), 2);
    QVERIFY(header->isSortIndicatorShown());
    // Rows move as a whole.
    QCOMPARE(model->index(second.indexOf(QStringLiteral("attic")), 0).data().toString(),
             QStringLiteral("VeltraNET-4.3"));
    // A row that comes after the sort is not in order: the indicator goes.
    model->appendRow(new QStandardItem(QStringLiteral("late")));
    QVERIFY(!header->isSortIndicatorShown());
}

void TestDeviceTableView::contextMenuEventOnlyEmitsPopup_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<int>("row"); // under the pointer; -1: the empty area

    QTest::newRow("mouse over a row") << int(QContextMenuEvent::Mouse) << 2;
    QTest::newRow("mouse over the empty area") << int(QContextMenuEvent::Mouse) << -1;
    QTest::newRow("menu key") << int(QContextMenuEvent::Keyboard) << 0;
}

void TestDeviceTableView::contextMenuEventOnlyEmitsPopup()
{
    QFETCH(int, reason);
    QFETCH(int, row);

    view->selectionModel()->select(model->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->setCurrentIndex(model->index(1, 0));
    const QModelIndexList selectedBefore = view->selectionModel()->selectedIndexes();
    ContextMenuCounter counter;
    frame->installEventFilter(&counter);
    QSignalSpy popups(view, &DeviceTableView::popup);

    const QPoint pos = row >= 0 ? cellCenter(row, 0) : QPoint(10, view->viewport()->height() - 5);
    QContextMenuEvent event(QContextMenuEvent::Reason(reason), pos, view->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(view->viewport(), &event);

    QCOMPARE(popups.size(), 1);
    QCOMPARE(popups.first().first().value<QContextMenuEvent *>(), &event);
    // Handled here: not passed on to the parent, and the view did nothing of its own.
    QVERIFY(event.isAccepted());
    QCOMPARE(counter.count, 0);
    QCOMPARE(view->selectionModel()->selectedIndexes(), selectedBefore);
    QCOMPARE(view->currentIndex(), model->index(1, 0));
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
}

void TestDeviceTableView::updatedRowKeepsSelection()
{
    // A device's update takes its row out and puts it back at once: selection and current cell stay.
    view->selectionModel()->setCurrentIndex(model->index(1, 3),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QSignalSpy selectionChanges(view->selectionModel(), &QItemSelectionModel::selectionChanged);
    const QList<QStandardItem *> items = model->takeRow(1);
    items.at(2)->setText(QStringLiteral("cellar-2"));
    model->insertRow(1, items);
    QVERIFY(view->selectionModel()->isRowSelected(1, QModelIndex()));
    QCOMPARE(view->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(view->currentIndex(), model->index(1, 3));
    QVERIFY(!selectionChanges.isEmpty()); // the window re-evaluates its actions on this

    // An unselected row that is updated stays unselected.
    model->insertRow(0, model->takeRow(0));
    QCOMPARE(view->selectionModel()->selectedRows().size(), 1);
    QVERIFY(!view->selectionModel()->isRowSelected(0, QModelIndex()));

    // A row removed for good is not brought back into the selection by a later, different row.
    model->removeRow(1);
    QCoreApplication::processEvents();
    model->insertRow(1, QList<QStandardItem *>{new QStandardItem(QStringLiteral("new device"))});
    QVERIFY(view->selectionModel()->selectedRows().isEmpty());
}

QTEST_MAIN(TestDeviceTableView)
#include "tst_devicetableview.moc"
