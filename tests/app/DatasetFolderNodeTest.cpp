// The dataset folder tree: which folders appear at which depth, common parents, files
// without folders, and the order of nodes.
#include "app/DatasetFolderNode.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <functional>

namespace Tervane3 {
namespace {

// The tree as text: a dataset is its position, a folder is name(children), blanks between
// siblings. Also checks the shape rules of the nodes on the way.
QString render(const std::vector<DatasetFolderNode>& nodes)
{
    QStringList parts;
    for (const DatasetFolderNode& node : nodes) {
        if (node.isFolder()) {
            EXPECT_FALSE(node.name.isEmpty());
            parts << node.name + QLatin1Char('(') + render(node.children) + QLatin1Char(')');
        } else {
            EXPECT_TRUE(node.name.isEmpty());
            EXPECT_TRUE(node.children.empty());
            parts << QString::number(node.datasetIndex);
        }
    }
    return parts.join(QLatin1Char(' '));
}

struct TreeCase
{
    const char* name;
    QStringList paths;
    int depth;
    const char* expected;
};

TEST(DatasetFolderNodeTest, FoldersByDepth)
{
    const QStringList experiment{QStringLiteral("/data/exp1/a.rtdc"), QStringLiteral("/data/exp1/b.rtdc"),
                                 QStringLiteral("/data/exp2/day1/c.rtdc")};
    const QStringList uneven{QStringLiteral("/a/b/x.rtdc"), QStringLiteral("/a/b/c/d/y.rtdc")};
    const QStringList interleaved{QStringLiteral("/p/a/1.rtdc"), QStringLiteral("/q/b/2.rtdc"),
                                  QStringLiteral("/p/a/3.rtdc")};
    const QStringList nested{QStringLiteral("/r/s/1.rtdc"), QStringLiteral("/r/s/t/2.rtdc")};
    const TreeCase cases[] = {
        {"depth 1: only the datasets' own folders", experiment, 1, "exp1(0 1) day1(2)"},
        {"depth 2: exp2 spans day1", experiment, 2, "exp1(0 1) exp2(day1(2))"},
        {"depth 3: the common parent", experiment, 3, "data(exp1(0 1) exp2(day1(2)))"},
        {"depth 4: no folder above data holds more", experiment, 4, "data(exp1(0 1) exp2(day1(2)))"},
        // b spans three levels (b, c, d), too many for depth 2: x stands alone.
        {"uneven depth 1", uneven, 1, "0 d(1)"},
        {"uneven depth 2", uneven, 2, "0 c(d(1))"},
        {"uneven depth 3", uneven, 3, "b(0 c(d(1)))"},
        {"uneven depth 4", uneven, 4, "a(b(0 c(d(1))))"},
        {"a folder collects datasets that are not adjacent", interleaved, 1, "a(0 2) b(1)"},
        {"top folders in order of first appearance", interleaved, 2, "p(a(0 2)) q(b(1))"},
        {"a dataset beside a subfolder, depth 1", nested, 1, "0 t(1)"},
        {"a dataset beside a subfolder, depth 2", nested, 2, "s(0 t(1))"},
        {"empty and relative paths are top-level datasets",
         {QString(), QStringLiteral("rel/x.rtdc"), QStringLiteral("/data/e/z.rtdc")}, 2, "0 1 data(e(2))"},
        {"a file in the root folder has no folder",
         {QStringLiteral("/x.rtdc"), QStringLiteral("/top/y.rtdc")}, 1, "0 top(1)"},
        {"folder names are compared case-sensitively",
         {QStringLiteral("/Data/x.rtdc"), QStringLiteral("/data/y.rtdc")}, 1, "Data(0) data(1)"},
        {"the same path twice", {QStringLiteral("/m/n.rtdc"), QStringLiteral("/m/n.rtdc")}, 2, "m(0 1)"},
        {"no datasets", {}, 2, ""},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(render(buildDatasetFolderTree(c.paths, c.depth)), QString::fromLatin1(c.expected));
    }
}

TEST(DatasetFolderNodeTest, EveryDatasetAppearsOnce)
{
    const QStringList paths{QStringLiteral("/u/v/w/1.rtdc"), QStringLiteral("/u/2.rtdc"), QStringLiteral("x.rtdc"),
                            QStringLiteral("/u/v/3.rtdc"), QStringLiteral("/z/4.rtdc")};
    for (int depth = 1; depth <= 4; ++depth) {
        SCOPED_TRACE(depth);
        std::vector<int> seen;
        std::function<void(const std::vector<DatasetFolderNode>&, int)> walk =
            [&](const std::vector<DatasetFolderNode>& nodes, int level) {
                for (const DatasetFolderNode& node : nodes) {
                    if (node.isFolder()) {
                        walk(node.children, level + 1);
                    } else {
                        seen.push_back(node.datasetIndex);
                        // No dataset sits deeper than the chosen number of folder levels.
                        EXPECT_LE(level, depth);
                    }
                }
            };
        walk(buildDatasetFolderTree(paths, depth), 0);
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4}));
    }
}

} // namespace
} // namespace Tervane3
