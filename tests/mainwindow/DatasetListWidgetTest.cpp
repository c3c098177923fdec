// The flat dataset list on its own: the reorder arithmetic of synthetic drops, drops that
// are no reorder, the drag payload and the click on an empty part of the list.
#include "mainwindow/DatasetListWidget.h"

#include "app/DatasetDragPayload.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <memory>

namespace Tervane3 {
namespace {

// A synthetic drop has no running drag, so QDropEvent::source() is null; the test names the
// source of each drop and reaches the protected payload builder.
class TestList : public DatasetListWidget
{
public:
    QObject* source = nullptr;
    QMimeData* payloadOf(const QList<QListWidgetItem*>& items) const { return mimeData(items); }

protected:
    QObject* dragSourceOf(const QDropEvent*) const override { return source; }
};

class DatasetListWidgetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Ids differ from rows, so a confusion of the two shows.
        for (const int id : ids) {
            auto* item = new QListWidgetItem(QStringLiteral("Dataset %1").arg(id), &list);
            item->setData(Qt::UserRole, id);
        }
        list.setDragEnabled(true);
        list.setDragDropMode(QAbstractItemView::DragOnly);
        list.setAcceptDrops(true);
        list.resize(240, 400);
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        list.source = &list;
    }

    enum class Half { Upper, Lower };
    QPoint pointOn(int row, Half half) const
    {
        const QRect rect = list.visualItemRect(list.item(row));
        const int offset = rect.height() / 4;
        return QPoint(rect.center().x(), rect.center().y() + (half == Half::Upper ? -offset : offset));
    }
    QPoint belowLastRow() const
    {
        return QPoint(20, list.visualItemRect(list.item(list.count() - 1)).bottom() + 30);
    }

    // Enters, moves and drops at the point as a drag does; returns whether the drop was
    // accepted. Qt delivers the move and the drop only to the widget that accepted the
    // entering drag, and that target is reset by the drop or by leaving.
    bool drop(const QPoint& pos, QMimeData* data, Qt::DropAction* action = nullptr)
    {
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &enter);
        if (!enter.isAccepted())
            return false;
        QDragMoveEvent move(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &move);
        QDropEvent event(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &event);
        if (action)
            *action = event.dropAction();
        return event.isAccepted();
    }

    const int ids[5] = {7, 3, 9, 1, 5};
    TestList list;
};

TEST_F(DatasetListWidgetTest, DropRowArithmetic)
{
    struct Case
    {
        const char* name;
        int dragged;
        int targetRow; // -1: below the last row
        Half half;
        int expectedTo; // -1: nothing emitted
    };
    const Case cases[] = {
        {"onto its own upper half", 0, 0, Half::Upper, -1},
        {"onto its own lower half", 0, 0, Half::Lower, -1},
        {"onto the upper half of the row below", 0, 1, Half::Upper, -1},
        {"onto the lower half of the row below", 0, 1, Half::Lower, 2},
        {"onto the lower half of the last row", 0, 4, Half::Lower, 5},
        {"below the last row", 0, -1, Half::Upper, 5},
        {"the last row below the last row", 4, -1, Half::Upper, -1},
        {"onto the lower half of the row above", 3, 2, Half::Lower, -1},
        {"onto the upper half of the first row", 3, 0, Half::Upper, 0},
        {"onto the upper half of the row above", 3, 2, Half::Upper, 2},
        {"onto the lower half of the first row", 4, 0, Half::Lower, 1},
        {"a middle row to the end", 2, 4, Half::Lower, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QSignalSpy spy(&list, &DatasetListWidget::internalReorderRequested);
        const QPoint pos = c.targetRow < 0 ? belowLastRow() : pointOn(c.targetRow, c.half);
        std::unique_ptr<QMimeData> data(DatasetDragPayload::create(ids[c.dragged]));
        Qt::DropAction action = Qt::IgnoreAction;
        const bool accepted = drop(pos, data.get(), &action);
        EXPECT_EQ(accepted, c.expectedTo >= 0);
        // Emitted only after the drop has finished.
        EXPECT_EQ(spy.count(), 0);
        QCoreApplication::processEvents();
        if (c.expectedTo < 0) {
            EXPECT_EQ(spy.count(), 0);
            continue;
        }
        EXPECT_EQ(action, Qt::CopyAction);
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toInt(), c.dragged);
        EXPECT_EQ(spy.at(0).at(1).toInt(), c.expectedTo);
    }
    // The list itself is never changed by a drop: the main window rebuilds it.
    ASSERT_EQ(list.count(), 5);
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(list.item(row)->data(Qt::UserRole).toInt(), ids[row]);
}

TEST_F(DatasetListWidgetTest, DropsThatAreNoReorder)
{
    QSignalSpy spy(&list, &DatasetListWidget::internalReorderRequested);
    const QPoint pos = pointOn(3, Half::Lower);

    // An id that no row carries, and bytes that are no id at all.
    std::unique_ptr<QMimeData> unknown(DatasetDragPayload::create(99));
    EXPECT_FALSE(drop(pos, unknown.get()));
    QMimeData garbage;
    garbage.setData(QStringLiteral("application/x-tervane3-dataset"), "3; rm");
    EXPECT_FALSE(drop(pos, &garbage));

    // A dataset dragged from another view is no reorder of this list.
    QWidget elsewhere;
    list.source = &elsewhere;
    std::unique_ptr<QMimeData> foreign(DatasetDragPayload::create(ids[0]));
    EXPECT_FALSE(drop(pos, foreign.get()));
    list.source = &list;

    // Files are left to the main window: neither entering nor dropping is taken here.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.rtdc"))});
    QDragEnterEvent enter(pos, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    EXPECT_FALSE(drop(pos, &files));

    QCoreApplication::processEvents();
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(list.count(), 5);
}

TEST_F(DatasetListWidgetTest, OwnDatasetDragIsAcceptedOnEnterAndMove)
{
    std::unique_ptr<QMimeData> data(DatasetDragPayload::create(ids[1]));
    QDragEnterEvent enter(pointOn(2, Half::Upper), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDragMoveEvent move(pointOn(4, Half::Lower), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    QDragLeaveEvent leave;
    QApplication::sendEvent(list.viewport(), &leave);
}

TEST_F(DatasetListWidgetTest, PayloadOfTheFirstItem)
{
    std::unique_ptr<QMimeData> data(list.payloadOf({list.item(2), list.item(0)}));
    EXPECT_EQ(DatasetDragPayload::datasetId(data.get()), 9);
    EXPECT_EQ(data->text(), QStringLiteral("9"));

    QListWidgetItem plain(QStringLiteral("no id"));
    std::unique_ptr<QMimeData> empty(list.payloadOf({&plain}));
    EXPECT_TRUE(empty->formats().isEmpty());
}

TEST_F(DatasetListWidgetTest, LeftClickBelowTheRowsKeepsTheCurrentRow)
{
    list.setCurrentRow(2);
    QSignalSpy spy(&list, &QListWidget::currentRowChanged);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, belowLastRow());
    EXPECT_EQ(list.currentRow(), 2);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_TRUE(list.item(2)->isSelected());

    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, pointOn(4, Half::Upper));
    EXPECT_EQ(list.currentRow(), 4);
}

} // namespace
} // namespace Tervane3
