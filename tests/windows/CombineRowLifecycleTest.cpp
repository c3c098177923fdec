// Rows of the combine window are replaced while their own code still runs: a refresh of
// the main window arrives during the colour prompt, and the "×" button removes its own
// row. Run under AddressSanitizer as well, which reports any use of a deleted row.
#include "CombineTestSupport.h"

#include "windows/CombineDatasetWidget.h"

#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace Tervane3 {
namespace {

using Test::CombineWindowFixture;
using Test::rampColumns;

class CombineRowLifecycleTest : public CombineWindowFixture
{
protected:
    void SetUp() override
    {
        CombineWindowFixture::SetUp();
        for (int i = 0; i < 2; ++i)
            window->addDataset(addFile("d" + std::to_string(i) + ".rtdc", rampColumns(20))->id);
        flush();
    }
    static void deleteLaterNow() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

TEST_F(CombineRowLifecycleTest, ColourChoiceReachesTheEntry)
{
    prompts->answerColor(QColor(10, 20, 30));
    QPushButton* button = window->datasetRows()[1]->findChild<QPushButton*>(QStringLiteral("colorButton"));
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(prompts->count(ScriptedPrompts::Kind::Color), 1);
    EXPECT_EQ(prompts->last()->title, QStringLiteral("Dataset Color"));
    EXPECT_EQ(window->datasetEntries()[1].color, QColor(10, 20, 30));
    EXPECT_TRUE(window->rebuildPending());

    QTest::mouseClick(button, Qt::LeftButton); // cancelled
    EXPECT_EQ(window->datasetEntries()[1].color, QColor(10, 20, 30));
}

TEST_F(CombineRowLifecycleTest, RefreshDuringTheColourPrompt)
{
    // Regression: the row went on using itself after a refresh had deleted it.
    QPointer<CombineDatasetWidget> row = window->datasetRows()[0];
    const QColor before = window->datasetEntries()[0].color;
    prompts->whileOpen = [this](const ScriptedPrompts::Call&) {
        window->refresh();
        deleteLaterNow();
    };
    prompts->answerColor(QColor(Qt::red));
    row->onColorButtonClicked();
    prompts->whileOpen = nullptr;
    EXPECT_TRUE(row.isNull()) << "the old row is gone";
    EXPECT_EQ(window->datasetEntries()[0].color, before);
    EXPECT_EQ(window->datasetRows().size(), 2u);
}

TEST_F(CombineRowLifecycleTest, RemoveButtonRemovesItsOwnRow)
{
    QPointer<CombineDatasetWidget> row = window->datasetRows()[0];
    const int other = window->datasetEntries()[1].datasetId;
    QTest::mouseClick(row->findChild<QPushButton*>(QStringLiteral("removeButton")), Qt::LeftButton);
    ASSERT_EQ(window->datasetEntries().size(), 1u);
    EXPECT_EQ(window->datasetEntries()[0].datasetId, other);
    deleteLaterNow();
    EXPECT_TRUE(row.isNull());
    flush();
    EXPECT_EQ(window->plotWidgets().size(), 1u);
}

TEST_F(CombineRowLifecycleTest, RefreshKeepsChoicesOfRowsAndEntries)
{
    // Entries are re-read from the rows by dataset id, also when rows and entries differ in
    // number (a dataset vanished from the host without removeDataset).
    window->datasetRows()[1]->setScaleModes(1, 1);
    host.entries.erase(host.entries.begin());
    window->refresh();
    deleteLaterNow();
    ASSERT_EQ(window->datasetRows().size(), 1u);
    EXPECT_EQ(window->datasetRows()[0]->settings().scaleXMode, 1);
    window->refresh();
    deleteLaterNow();
    flush();
    EXPECT_EQ(window->datasetRows()[0]->settings().scaleXMode, 1);
}

} // namespace
} // namespace Tervane3
