// The dataset folder tree on its own: which synthetic drops reorder (a sibling of the same
// folder only), before or after the target, the item lookup and the drag payload.
#include "mainwindow/DatasetTreeWidget.h"

#include "app/DatasetDragPayload.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace Tervane3 {
namespace {

class TestTree : public DatasetTreeWidget
{
public:
    QObject* source = nullptr;
    QMimeData* payloadOf(const QList<QTreeWidgetItem*>& items) const { return mimeData(items); }

protected:
    QObject* dragSourceOf(const QDropEvent*) const override { return source; }
};

// folderA (1, 2, 3), folderB (4), 5 at the top level, 1 again as a later duplicate id.
class DatasetTreeWidgetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tree.setHeaderHidden(true);
        auto* folderA = new QTreeWidgetItem(&tree, {QStringLiteral("folderA")});
        for (const int id : {1, 2, 3})
            dataset(folderA, id);
        auto* folderB = new QTreeWidgetItem(&tree, {QStringLiteral("folderB")});
        dataset(folderB, 4);
        auto* top = new QTreeWidgetItem(&tree, {QStringLiteral("Dataset 5")});
        top->setData(0, Qt::UserRole, 5);
        tree.expandAll();
        // As the main window sets it up.
        tree.setDragEnabled(true);
        tree.setAcceptDrops(true);
        tree.setDragDropMode(QAbstractItemView::DragDrop);
        tree.resize(300, 400);
        tree.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
        tree.source = &tree;
    }

    static void dataset(QTreeWidgetItem* parent, int id)
    {
        auto* item = new QTreeWidgetItem(parent, {QStringLiteral("Dataset %1").arg(id)});
        item->setData(0, Qt::UserRole, id);
    }

    QTreeWidgetItem* folder(const QString& name) const
    {
        return tree.findItems(name, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }

    QPoint pointOn(QTreeWidgetItem* item, bool lowerHalf) const
    {
        const QRect rect = tree.visualItemRect(item);
        const int offset = rect.height() / 4;
        return QPoint(rect.center().x(), rect.center().y() + (lowerHalf ? offset : -offset));
    }

    struct Outcome
    {
        bool entered = false;
        bool moveAccepted = false;
        bool dropAccepted = false;
    };
    // Enters, moves and drops at the point as a drag does (Qt delivers the move and the
    // drop only to the widget that accepted the entering drag).
    Outcome dragAndDrop(const QPoint& pos, QMimeData* data)
    {
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        Outcome outcome;
        QDragEnterEvent enter(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &enter);
        outcome.entered = enter.isAccepted();
        if (!outcome.entered)
            return outcome;
        QDragMoveEvent move(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &move);
        outcome.moveAccepted = move.isAccepted();
        QDropEvent drop(pos, actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &drop);
        outcome.dropAccepted = drop.isAccepted();
        return outcome;
    }

    TestTree tree;
};

TEST_F(DatasetTreeWidgetTest, OnlySiblingsReorder)
{
    struct Case
    {
        const char* name;
        int dragged;
        int target;       // dataset id; 0: folderA's item, -1: folderB's item, -2: empty area
        bool lowerHalf;
        bool accepted;
    };
    const Case cases[] = {
        {"before a sibling", 1, 3, false, true},
        {"after a sibling", 1, 2, true, true},
        {"after the sibling above", 3, 1, true, true},
        {"onto itself", 2, 2, true, false},
        {"onto a dataset of another folder", 1, 4, false, false},
        {"from a folder to the top level", 4, 5, false, false},
        {"from the top level into a folder", 5, 3, true, false},
        {"onto its own folder", 2, 0, true, false},
        {"onto another folder", 4, 0, false, false},
        {"onto no item", 1, -2, false, false},
        {"an id the tree does not show", 42, 2, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QPoint pos;
        if (c.target == 0)
            pos = pointOn(folder(QStringLiteral("folderA")), c.lowerHalf);
        else if (c.target == -1)
            pos = pointOn(folder(QStringLiteral("folderB")), c.lowerHalf);
        else if (c.target == -2)
            pos = QPoint(20, tree.viewport()->height() - 5);
        else
            pos = pointOn(tree.itemForDatasetId(c.target), c.lowerHalf);
        std::unique_ptr<QMimeData> data(DatasetDragPayload::create(c.dragged));
        QSignalSpy spy(&tree, &DatasetTreeWidget::internalReorderRequested);
        const Outcome outcome = dragAndDrop(pos, data.get());
        // Any own dataset drag may enter; the move and the drop decide.
        EXPECT_TRUE(outcome.entered);
        EXPECT_EQ(outcome.moveAccepted, c.accepted);
        EXPECT_EQ(outcome.dropAccepted, c.accepted);
        EXPECT_EQ(spy.count(), 0);
        QCoreApplication::processEvents();
        if (!c.accepted) {
            EXPECT_EQ(spy.count(), 0);
            continue;
        }
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toInt(), c.dragged);
        EXPECT_EQ(spy.at(0).at(1).toInt(), c.target);
        EXPECT_EQ(spy.at(0).at(2).toBool(), c.lowerHalf);
    }
}

TEST_F(DatasetTreeWidgetTest, ForeignDatasetDragIsNoReorder)
{
    QWidget elsewhere;
    tree.source = &elsewhere;
    std::unique_ptr<QMimeData> data(DatasetDragPayload::create(1));
    QSignalSpy spy(&tree, &DatasetTreeWidget::internalReorderRequested);
    EXPECT_FALSE(dragAndDrop(pointOn(tree.itemForDatasetId(3), false), data.get()).dropAccepted);
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(DatasetTreeWidgetTest, ItemLookupAndPayload)
{
    // Tree order: a later item with the same id is never found first.
    auto* again = new QTreeWidgetItem(&tree, {QStringLiteral("again")});
    again->setData(0, Qt::UserRole, 1);
    QTreeWidgetItem* first = tree.itemForDatasetId(1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->parent(), folder(QStringLiteral("folderA")));
    EXPECT_EQ(tree.itemForDatasetId(4)->parent(), folder(QStringLiteral("folderB")));
    EXPECT_EQ(tree.itemForDatasetId(5)->parent(), nullptr);
    EXPECT_EQ(tree.itemForDatasetId(6), nullptr);

    std::unique_ptr<QMimeData> payload(tree.payloadOf({tree.itemForDatasetId(4), first}));
    EXPECT_EQ(DatasetDragPayload::datasetId(payload.get()), 4);
    EXPECT_EQ(payload->text(), QStringLiteral("4"));
    std::unique_ptr<QMimeData> ofFolder(tree.payloadOf({folder(QStringLiteral("folderA"))}));
    EXPECT_TRUE(ofFolder->formats().isEmpty());
}

} // namespace
} // namespace Tervane3
