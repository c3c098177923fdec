// The manual window on the help file generated at build time: start page, navigation
// inside the help file, keyword filter, full-text search, and a help file that is missing.
#include "services/HelpBrowser.h"
#include "services/HelpWindow.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QHelpEngine>
#include <QHelpIndexModel>
#include <QHelpIndexWidget>
#include <QHelpSearchEngine>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>

#ifndef TERVANE3_TEST_HELP_FILE
#error "The test needs the generated help file"
#endif

namespace Tervane3 {
namespace {

const QString helpFile = QStringLiteral(TERVANE3_TEST_HELP_FILE);
const QString startPage = QStringLiteral("qthelp://tervane3.manual/manual/index.html");

class HelpWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { QStandardPaths::setTestModeEnabled(true); }
};

TEST_F(HelpWindowTest, OpensStartPageWithThreeTabs)
{
    ASSERT_TRUE(QFileInfo::exists(helpFile)) << helpFile.toStdString();
    HelpWindow window(helpFile);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tervane3 Manual"));
    EXPECT_EQ(window.size(), QSize(900, 600));
    EXPECT_TRUE(QFileInfo::exists(HelpWindow::collectionFilePath()));

    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("helpTabs"));
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Contents"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Index"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Search"));
    auto* splitter = qobject_cast<QSplitter*>(window.centralWidget());
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(splitter->widget(0), tabs);

    auto* browser = window.findChild<HelpBrowser*>(QStringLiteral("helpBrowser"));
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(splitter->widget(1), browser);
    EXPECT_FALSE(browser->openExternalLinks());
    EXPECT_EQ(browser->source(), QUrl(startPage));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Tervane3 Manual")));

    // Following the first link of the start page (keyboard: next link, activate) opens the
    // linked page of the help file in the same browser.
    QTest::keyClick(browser, Qt::Key_Tab);
    QTest::keyClick(browser, Qt::Key_Return);
    EXPECT_EQ(
        browser->source(), QUrl(QStringLiteral("qthelp://tervane3.manual/manual/opening.html")));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Opening measurements")));
}

TEST_F(HelpWindowTest, ResourcesComeFromTheHelpFile)
{
    HelpWindow window(helpFile);
    auto* browser = window.findChild<HelpBrowser*>();
    ASSERT_NE(browser, nullptr);
    const QByteArray css
        = browser
              ->loadResource(QTextDocument::StyleSheetResource,
                  QUrl(QStringLiteral("qthelp://tervane3.manual/manual/style.css")))
              .toByteArray();
    EXPECT_TRUE(css.contains("font-family"));
    // Any resource type is served from the file, even when the browser asks for an image.
    EXPECT_FALSE(browser
                     ->loadResource(QTextDocument::ImageResource,
                         QUrl(QStringLiteral("qthelp://tervane3.manual/manual/index.html")))
                     .toByteArray()
                     .isEmpty());
    EXPECT_TRUE(browser
                    ->loadResource(QTextDocument::HtmlResource,
                        QUrl(QStringLiteral("qthelp://tervane3.manual/manual/missing.html")))
                    .toByteArray()
                    .isEmpty());
}

TEST_F(HelpWindowTest, SecondWindowRebuildsCollection)
{
    HelpWindow first(helpFile);
    HelpWindow second(helpFile);
    auto* browser = second.findChild<HelpBrowser*>();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->source(), QUrl(startPage));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Tervane3 Manual")));
    // The first window keeps working on its own engine.
    auto* firstBrowser = first.findChild<HelpBrowser*>();
    firstBrowser->setSource(QUrl(QStringLiteral("plotting.html")));
    EXPECT_TRUE(firstBrowser->toPlainText().contains(QStringLiteral("Density colouring")));
}

// Regression: every window rebuilt the one collection file, so a second open window
// deleted the database under the first one's engine and, now and then, under its own.
TEST_F(HelpWindowTest, OpenWindowsUseCollectionsOfTheirOwn)
{
    for (int round = 0; round < 5; ++round) {
        auto first = std::make_unique<HelpWindow>(helpFile);
        auto second = std::make_unique<HelpWindow>(helpFile);
        EXPECT_TRUE(QFileInfo::exists(HelpWindow::collectionFilePath(0)));
        EXPECT_TRUE(QFileInfo::exists(HelpWindow::collectionFilePath(1)));
        for (HelpWindow* window : {first.get(), second.get()}) {
            auto* browser = window->findChild<HelpBrowser*>();
            ASSERT_NE(browser, nullptr);
            EXPECT_EQ(browser->source(), QUrl(startPage));
            browser->setSource(QUrl(QStringLiteral("plotting.html")));
            EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Density colouring")));
        }
        // A window opened after the first closed takes its collection again.
        first.reset();
        HelpWindow third(helpFile);
        EXPECT_EQ(third.findChild<HelpBrowser*>()->source(), QUrl(startPage));
    }
}

TEST_F(HelpWindowTest, KeywordFilterNarrowsIndex)
{
    HelpWindow window(helpFile);
    auto* index = window.findChild<QHelpIndexWidget*>();
    auto* engine = window.findChild<QHelpEngine*>();
    ASSERT_NE(index, nullptr);
    ASSERT_NE(engine, nullptr);
    // The index is built on a thread of the engine after the help file is registered.
    for (int i = 0; i < 500 && index->model()->rowCount() == 0; ++i)
        QTest::qWait(20);
    const int all = index->model()->rowCount();
    EXPECT_GE(all, 20);

    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("indexFilter"));
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->placeholderText(), QStringLiteral("Filter keywords..."));
    QTest::keyClicks(filter, QStringLiteral("po"));
    const int afterTwo = index->model()->rowCount();
    EXPECT_LT(afterTwo, all);
    QTest::keyClicks(filter, QStringLiteral("ly"));
    ASSERT_EQ(index->model()->rowCount(), 1);
    EXPECT_EQ(index->model()->index(0, 0).data().toString(), QStringLiteral("polygon"));

    // Activating the keyword shows its page.
    index->setCurrentIndex(index->model()->index(0, 0));
    index->activateCurrentItem();
    auto* browser = window.findChild<HelpBrowser*>();
    EXPECT_EQ(
        browser->source(), QUrl(QStringLiteral("qthelp://tervane3.manual/manual/filtering.html")));
}

TEST_F(HelpWindowTest, FullTextSearchFindsPages)
{
    HelpWindow window(helpFile);
    QHelpSearchEngine* search = window.findChild<QHelpEngine*>()->searchEngine();
    // Indexing started in the constructor reports back through the event loop, which has
    // not run yet, so the spy cannot miss it.
    QSignalSpy indexed(search, &QHelpSearchEngine::indexingFinished);
    ASSERT_TRUE(indexed.wait(10000));
    // The index database becomes readable a moment after indexingFinished; ask again
    // until it answers.
    int count = 0;
    for (int attempt = 0; attempt < 100 && count == 0; ++attempt) {
        QSignalSpy finished(search, &QHelpSearchEngine::searchingFinished);
        search->search(QStringLiteral("viscosity"));
        ASSERT_TRUE(finished.wait(10000));
        count = finished.at(0).at(0).toInt();
        if (count == 0)
            QTest::qWait(20);
    }
    ASSERT_EQ(count, 1);
    const auto results = search->searchResults(0, 10);
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(
        results.at(0).url(), QUrl(QStringLiteral("qthelp://tervane3.manual/manual/emodulus.html")));
}

TEST_F(HelpWindowTest, MissingHelpFileSaysSo)
{
    const QString missing = QStringLiteral("/nonexistent/folder/tervane3.qch");
    HelpWindow window(missing);
    auto* browser = window.findChild<HelpBrowser*>();
    ASSERT_NE(browser, nullptr);
    const QString text = browser->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("could not be loaded"))) << text.toStdString();
    EXPECT_TRUE(text.contains(missing));
}

} // namespace
} // namespace Tervane3
