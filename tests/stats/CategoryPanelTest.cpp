// A category panel over datasets of a stand-in host: adding by call, drop and dialog, the
// list's rich-text tags, editing the replicate IDs, removing, the colour and the name.
#include "stats/CategoryPanel.h"

#include "StatsFixture.h"
#include "app/DatasetDragPayload.h"
#include "app/ScriptedPrompts.h"
#include "stats/RichTextDelegate.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <memory>

using namespace Tervane3;
using Tervane3::Test::StatsDatasets;

namespace {

const QString unassigned = QStringLiteral("<b style=\"color:#c04040\">?</b>");

class CategoryPanelTest : public ::testing::Test
{
protected:
    CategoryPanelTest()
    {
        first = data.addValue(QStringLiteral("S1"), 1.0);
        second = data.addValue(QStringLiteral("S2"), 2.0);
        third = data.addValue(QStringLiteral("S3"), 3.0);
    }
    QListWidget* list() const { return panel.findChild<QListWidget*>(QStringLiteral("entryList")); }
    QString itemText(int row) const { return list()->item(row)->text(); }
    QString countText() const { return panel.findChild<QLabel*>(QStringLiteral("countLabel"))->text(); }
    void doubleClickRow(int row)
    {
        QListWidgetItem* item = list()->item(row);
        emit list()->itemDoubleClicked(item);
    }

    StatsDatasets data;
    ScriptedPromptsGuard prompts;
    int first = -1, second = -1, third = -1;
    CategoryPanel panel{QStringLiteral("Baseline"), true, QColor(70, 130, 180), &data.host};
    QSignalSpy changed{&panel, &CategoryPanel::changed};
};

TEST_F(CategoryPanelTest, AddsEachLoadedDatasetOnce)
{
    data.host.findDatasetById(first)->metadata.experiment["sample"] = "donor ID3";
    EXPECT_TRUE(panel.addDataset(first));
    EXPECT_FALSE(panel.addDataset(first));
    EXPECT_FALSE(panel.addDataset(12345));
    data.host.findDatasetById(second)->featuresLoaded = false;
    EXPECT_FALSE(panel.addDataset(second));
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(panel.entryCount(), 1);
    EXPECT_EQ(panel.entries()[0].name, QStringLiteral("S1"));
    EXPECT_EQ(panel.entries()[0].sample, "donor ID3");
    EXPECT_EQ(countText(), QStringLiteral("1 dataset"));

    // Restored entries arrive unchanged and silently.
    CategoryEntry restored;
    restored.datasetId = third;
    restored.name = QStringLiteral("restored");
    restored.numberId = 4;
    panel.addEntry(restored);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(panel.entries()[1].numberId, 4);
    EXPECT_EQ(countText(), QStringLiteral("2 datasets"));
}

TEST_F(CategoryPanelTest, DropsOnlyNameADatasetFromInsideTheProgram)
{
    QObject source;
    std::unique_ptr<QMimeData> payload(DatasetDragPayload::create(second));
    EXPECT_FALSE(panel.acceptDatasetDrop(payload.get(), nullptr)) << "a drop from another program";
    EXPECT_TRUE(panel.acceptDatasetDrop(payload.get(), &source));
    EXPECT_FALSE(panel.acceptDatasetDrop(payload.get(), &source)) << "already present";
    // Regression: bytes that are no number used to add dataset 0.
    ASSERT_EQ(first, 0);
    QMimeData garbage;
    garbage.setData(QString::fromLatin1(DatasetDragPayload::mimeType), "abc");
    EXPECT_FALSE(panel.acceptDatasetDrop(&garbage, &source));
    ASSERT_EQ(panel.entryCount(), 1);
    EXPECT_EQ(panel.entries()[0].datasetId, second);

    // A real drop event without a drag in progress has no source: refused.
    std::unique_ptr<QMimeData> other(DatasetDragPayload::create(third));
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, other.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &drop);
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_EQ(panel.entryCount(), 1);

    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, other.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QMimeData text;
    text.setText(QStringLiteral("1"));
    QDragEnterEvent plain(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &plain);
    EXPECT_FALSE(plain.isAccepted());
}

TEST_F(CategoryPanelTest, ListTextsCarryEscapedNamesAndTags)
{
    data.host.findDatasetById(first)->displayName = QStringLiteral("<b>A&B</b>");
    panel.addDataset(first);
    panel.addDataset(second);
    EXPECT_EQ(itemText(0), QStringLiteral("&lt;b&gt;A&amp;B&lt;/b&gt;"));
    EXPECT_EQ(list()->item(1)->data(Qt::UserRole).toInt(), second);

    panel.setShowIds(true);
    panel.setNumberId(second, 3);
    EXPECT_EQ(itemText(0), QStringLiteral("&lt;b&gt;A&amp;B&lt;/b&gt;  <span style=\"color:#a0a0a0\">[#") + unassigned
                               + QStringLiteral("]</span>"));
    EXPECT_EQ(itemText(1), QStringLiteral("S2  <span style=\"color:#3070b0\">[#3]</span>"));

    panel.setShowReplicateIds(true);
    panel.setBioRepId(second, 1);
    EXPECT_EQ(itemText(1), QStringLiteral("S2  <span style=\"color:#a0a0a0\">[#3.1.") + unassigned
                               + QStringLiteral("]</span>"));
    panel.setTechRepId(second, 2);
    EXPECT_EQ(itemText(1), QStringLiteral("S2  <span style=\"color:#3070b0\">[#3.1.2]</span>"));

    panel.renameDataset(second, QStringLiteral("renamed"));
    EXPECT_TRUE(itemText(1).startsWith(QStringLiteral("renamed  ")));
    panel.setNumberId(999, 1); // not in the panel: only rebuilds
    EXPECT_EQ(changed.count(), 2) << "setters, renames and display switches emit nothing";
}

TEST_F(CategoryPanelTest, EditingIdsNeedsShownIds)
{
    panel.addDataset(first);
    doubleClickRow(0);
    EXPECT_EQ(prompts->calls().size(), 0u);
    EXPECT_EQ(panel.contextMenuAt(list()->visualItemRect(list()->item(0)).center()), nullptr);

    panel.setShowIds(true);
    std::unique_ptr<QMenu> menu(panel.contextMenuAt(list()->visualItemRect(list()->item(0)).center()));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("Set IDs..."));
    EXPECT_EQ(panel.contextMenuAt(QPoint(5, list()->viewport()->height() - 2)), nullptr) << "empty space";

    prompts->answerInt(7);
    doubleClickRow(0);
    ASSERT_EQ(prompts->count(ScriptedPrompts::Kind::Int), 1);
    const ScriptedPrompts::Call& call = *prompts->last();
    EXPECT_EQ(call.title, QStringLiteral("Set ID"));
    EXPECT_EQ(call.text, QStringLiteral("ID for \"S1\":"));
    EXPECT_EQ(call.minimum, 0);
    EXPECT_EQ(call.maximum, 9999);
    EXPECT_EQ(panel.entries()[0].numberId, 7);
    EXPECT_EQ(changed.count(), 2);

    prompts->answerInt(9, false);
    doubleClickRow(0);
    EXPECT_EQ(panel.entries()[0].numberId, 7) << "cancelled";
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(CategoryPanelTest, AcceptingKeepsADetectedIdAboveTheUsualRange)
{
    // Regression: the prompt's range ended at 9999, so accepting clamped a detected ID.
    panel.addDataset(first);
    panel.setShowIds(true);
    panel.setNumberId(first, 123456);
    prompts->answerInt(123456);
    doubleClickRow(0);
    EXPECT_EQ(prompts->last()->maximum, 123456);
    EXPECT_EQ(panel.entries()[0].numberId, 123456);

    panel.setShowReplicateIds(true);
    panel.setBioRepId(first, 20000);
    int idMax = 0, bioMax = 0, techMax = 0;
    prompts->whileOpen = [&](const ScriptedPrompts::Call& c) {
        if (c.kind != ScriptedPrompts::Kind::Dialog)
            return;
        auto* dialog = panel.findChild<QDialog*>(QStringLiteral("replicateIdsDialog"));
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(c.text, QStringLiteral("Set Replicate IDs"));
        idMax = dialog->findChild<QSpinBox*>(QStringLiteral("idSpin"))->maximum();
        bioMax = dialog->findChild<QSpinBox*>(QStringLiteral("bioRepSpin"))->maximum();
        auto* tech = dialog->findChild<QSpinBox*>(QStringLiteral("techRepSpin"));
        techMax = tech->maximum();
        tech->setValue(3);
    };
    prompts->answerDialog(QDialog::Accepted);
    doubleClickRow(0);
    EXPECT_EQ(idMax, 123456);
    EXPECT_EQ(bioMax, 20000);
    EXPECT_EQ(techMax, 9999);
    EXPECT_EQ(panel.entries()[0].numberId, 123456);
    EXPECT_EQ(panel.entries()[0].bioRepId, 20000);
    EXPECT_EQ(panel.entries()[0].techRepId, 3);
}

TEST_F(CategoryPanelTest, RemovingAndClearing)
{
    panel.addDataset(first);
    panel.addDataset(second);
    panel.addDataset(third);
    changed.clear();
    auto* removeButton = panel.findChild<QPushButton*>(QStringLiteral("removeSelectedButton"));
    EXPECT_FALSE(removeButton->isEnabled());
    list()->item(1)->setSelected(true);
    EXPECT_TRUE(removeButton->isEnabled());
    QTest::mouseClick(removeButton, Qt::LeftButton);
    ASSERT_EQ(panel.entryCount(), 2);
    EXPECT_EQ(panel.entries()[1].datasetId, third);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(removeButton->isEnabled());

    panel.removeDataset(12345);
    EXPECT_EQ(changed.count(), 1) << "nothing removed";
    panel.removeDataset(first);
    EXPECT_EQ(changed.count(), 2);
    QTest::mouseClick(panel.findChild<QPushButton*>(QStringLiteral("clearAllButton")), Qt::LeftButton);
    EXPECT_EQ(panel.entryCount(), 0);
    EXPECT_EQ(countText(), QStringLiteral("0 datasets"));
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(CategoryPanelTest, AddDatasetsDialogOffersTheLoadedOnesNotYetPresent)
{
    panel.addDataset(second);
    data.host.findDatasetById(third)->featuresLoaded = false;
    const int fourth = data.addValue(QStringLiteral("S4"), 4.0);
    QStringList offered;
    prompts->whileOpen = [&](const ScriptedPrompts::Call&) {
        auto* choices = panel.findChild<QListWidget*>(QStringLiteral("datasetChoices"));
        ASSERT_NE(choices, nullptr);
        for (int row = 0; row < choices->count(); ++row)
            offered << choices->item(row)->text();
        choices->item(1)->setSelected(true);
        choices->item(0)->setSelected(true);
    };
    prompts->answerDialog(QDialog::Accepted);
    QTest::mouseClick(panel.findChild<QPushButton*>(QStringLiteral("addButton")), Qt::LeftButton);
    EXPECT_EQ(offered, (QStringList{QStringLiteral("S1"), QStringLiteral("S4")}));
    ASSERT_EQ(panel.entryCount(), 3);
    EXPECT_EQ(panel.entries()[1].datasetId, first);
    EXPECT_EQ(panel.entries()[2].datasetId, fourth);

    prompts->whileOpen = nullptr;
    QTest::mouseClick(panel.findChild<QPushButton*>(QStringLiteral("addButton")), Qt::LeftButton);
    EXPECT_EQ(panel.entryCount(), 3) << "cancelled";
}

TEST_F(CategoryPanelTest, ColourAndName)
{
    auto* colorButton = panel.findChild<QPushButton*>(QStringLiteral("colorButton"));
    prompts->answerColor(QColor());
    QTest::mouseClick(colorButton, Qt::LeftButton);
    EXPECT_EQ(prompts->last()->title, QStringLiteral("Category Color"));
    EXPECT_EQ(prompts->last()->text, QStringLiteral("#ff4682b4")) << "the current colour";
    EXPECT_EQ(panel.color(), QColor(70, 130, 180));
    EXPECT_EQ(changed.count(), 0);

    prompts->answerColor(QColor(1, 2, 3));
    QTest::mouseClick(colorButton, Qt::LeftButton);
    EXPECT_EQ(panel.color(), QColor(1, 2, 3));
    EXPECT_TRUE(colorButton->styleSheet().contains(QStringLiteral("background-color: #010203;")));
    EXPECT_EQ(changed.count(), 1);

    auto* nameEdit = panel.findChild<QLineEdit*>(QStringLiteral("nameEdit"));
    nameEdit->setText(QStringLiteral(" Treated "));
    emit nameEdit->editingFinished();
    EXPECT_EQ(panel.name(), QStringLiteral(" Treated "));
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(CategoryPanelTest, DeleteButtonOnlyRequestsDeletion)
{
    QSignalSpy requested(&panel, &CategoryPanel::deleteRequested);
    QTest::mouseClick(panel.findChild<QPushButton*>(QStringLiteral("deleteButton")), Qt::LeftButton);
    ASSERT_EQ(requested.count(), 1);
    EXPECT_EQ(requested.at(0).at(0).value<CategoryPanel*>(), &panel);
    CategoryPanel fixed(QStringLiteral("Baseline"), false, Qt::red, &data.host);
    EXPECT_TRUE(fixed.findChild<QPushButton*>(QStringLiteral("deleteButton"))->isHidden());
}

TEST_F(CategoryPanelTest, RichTextItemsAreAtLeastAsHighAsTheirDecoration)
{
    panel.addDataset(first);
    RichTextDelegate delegate;
    QStyleOptionViewItem option;
    option.initFrom(list());
    option.font = list()->font();
    option.decorationSize = QSize(16, 60);
    const QModelIndex index = list()->model()->index(0, 0);
    EXPECT_EQ(delegate.sizeHint(option, index).height(), 60);
    option.decorationSize = QSize(16, 1);
    const QSize textSize = delegate.sizeHint(option, index);
    EXPECT_GT(textSize.height(), 1);
    EXPECT_GT(textSize.width(), 8);
}

} // namespace
