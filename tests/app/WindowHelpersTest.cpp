// The save-dialog extension helper and the "Keep on Top" entry of tool windows.
#include "app/WindowHelpers.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

using namespace Tervane3;

TEST(WindowHelpersTest, EnsureFilterExtension)
{
    struct Case
    {
        const char* name;
        const char* filter;
        const char* expected;
    };
    const Case cases[] = {
        {"plot", "PNG Images (*.png)", "plot.png"},
        {"plot.PNG", "PNG Images (*.png)", "plot.PNG"},
        {"plot.svg", "PNG Images (*.png)", "plot.svg.png"},
        {"shot.jpg", "Images (*.png *.jpg)", "shot.jpg"},
        {"shot.JPG", "Images (*.png *.jpg)", "shot.JPG"},
        {"shot", "Images (*.png *.jpg)", "shot.png"},
        {"archive", "Archives (*.tar.gz)", "archive.tar.gz"},
        {"archive.tar.gz", "Archives (*.tar.gz)", "archive.tar.gz"},
        {"archive.gz", "Archives (*.tar.gz)", "archive.gz.tar.gz"},
        {"anything", "All Files (*)", "anything"},
        {"", "PNG Images (*.png)", ""},
        {"data", "", "data"},
        // Trailing dots are dropped; a lone "." is no extension.
        {"table", "Text (*.tsv.)", "table.tsv"},
        {"table", "Odd (*..)", "table"},
        // Upper-case patterns are compared and appended in lower case.
        {"report", "Text (*.TXT)", "report.txt"},
        // Duplicates count once; the first extension of the filter wins.
        {"groups", "Filter groups (*.tn3fg *.json *.tn3fg)", "groups.tn3fg"},
        {"dir.v2/name", "Sessions (*.TN3)", "dir.v2/name.tn3"},
        {"/tmp/x.tn3", "Sessions (*.TN3)", "/tmp/x.tn3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " | " + c.filter);
        EXPECT_EQ(ensureFilterExtension(QString::fromUtf8(c.name), QString::fromUtf8(c.filter)).toStdString(),
                  c.expected);
    }
}

// Regression: "x.pdf" typed while the type box said PNG became "x.pdf.png", a PNG.
TEST(WindowHelpersTest, AnOfferedExtensionChoosesTheFormat)
{
    const char* plots = "PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)";
    struct Case
    {
        const char* name;
        const char* selected;
        const char* offered;
        const char* expected;
    };
    const Case cases[] = {
        {"x.pdf", "PNG Image (*.png)", plots, "x.pdf"},
        {"x.SVG", "PNG Image (*.png)", plots, "x.SVG"},
        {"x.png", "PDF Document (*.pdf)", plots, "x.png"},
        {"x", "SVG Vector (*.svg)", plots, "x.svg"},
        // Not offered: completed from the selected filter as before.
        {"x.jpg", "PNG Image (*.png)", plots, "x.jpg.png"},
        {"x.pdf.", "PNG Image (*.png)", plots, "x.pdf..png"},
        {"shot.jpg", "PNG Images (*.png)", "PNG Images (*.png);;JPEG Images (*.jpg);;All Files (*)", "shot.jpg"},
        {"shot", "All Files (*)", "PNG Images (*.png);;JPEG Images (*.jpg);;All Files (*)", "shot"},
        {"t.csv", "Tab-separated values (*.tsv)", "Tab-separated values (*.tsv);;CSV (*.csv)", "t.csv"},
        {"", "PNG Image (*.png)", plots, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " | " + c.selected);
        EXPECT_EQ(ensureOfferedExtension(QString::fromUtf8(c.name), QString::fromUtf8(c.selected),
                                         QString::fromUtf8(c.offered))
                      .toStdString(),
                  c.expected);
    }
}

TEST(WindowHelpersTest, ViewMenuIsFoundOrAddedAtTheEnd)
{
    struct Case
    {
        const char* label;
        QStringList menus;
        int expectedIndex; // index of the View menu in the menu bar afterwards
        int expectedCount;
    };
    const Case cases[] = {
        {"with mnemonic", {QStringLiteral("&File"), QStringLiteral("&View"), QStringLiteral("&Help")}, 1, 3},
        {"without mnemonic", {QStringLiteral("File"), QStringLiteral("View")}, 1, 2},
        {"other case", {QStringLiteral("VIEW"), QStringLiteral("Help")}, 0, 2},
        {"missing", {QStringLiteral("&File"), QStringLiteral("&Help")}, 2, 3},
        {"similar name", {QStringLiteral("&Viewer")}, 1, 2},
        {"empty bar", {}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QMainWindow window;
        for (const QString& title : c.menus)
            window.menuBar()->addMenu(title);
        QAction* action = addKeepOnTopAction(&window);
        ASSERT_NE(action, nullptr);
        const QList<QAction*> bar = window.menuBar()->actions();
        ASSERT_EQ(bar.size(), c.expectedCount);
        QMenu* view = bar.at(c.expectedIndex)->menu();
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(view->actions().contains(action));
        if (c.expectedCount > c.menus.size()) {
            EXPECT_EQ(view->title().toStdString(), "&View");
        }
        EXPECT_EQ(action->text().toStdString(), "Keep on &Top");
        EXPECT_EQ(action->toolTip().toStdString(), "Keep this window above the main window.");
        EXPECT_TRUE(action->isCheckable());
        EXPECT_FALSE(action->isChecked());
    }
    EXPECT_EQ(addKeepOnTopAction(nullptr), nullptr);
}

TEST(WindowHelpersTest, KeepOnTopTogglesTheHintAndKeepsGeometry)
{
    QMainWindow window;
    window.resize(420, 310);
    window.move(37, 53);
    window.show();
    QAction* action = addKeepOnTopAction(&window);
    const QPoint position = window.pos();
    const QSize size = window.size();

    action->setChecked(true);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.size(), size);
    EXPECT_EQ(window.pos(), position);

    action->setChecked(false);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.size(), size);
    EXPECT_EQ(window.pos(), position);
}
