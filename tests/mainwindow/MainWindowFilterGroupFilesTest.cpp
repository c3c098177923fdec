// Filter groups exported to and imported from .tn3fg files through the main window: the
// chooser, the save and open dialogs, the names given to imported groups, every message,
// a failed write, and a few hundred mutated files that must import whole or change nothing
// with one box.
#include "MainWindowTestAccess.h"

#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupExportDialog.h"
#include "filters/FilterGroupFile.h"

#include "support/FilterRules.h"
#include "support/TestSupport.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <random>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

class MainWindowFilterGroupFilesTest : public ::testing::Test
{
protected:
    ScriptedPrompts& prompts() { return *env.prompts; }
    QString path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }
    void writeFile(const QString& file, const QByteArray& bytes)
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    }
    QByteArray readFile(const QString& file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    void import(const QString& file)
    {
        prompts().answerFiles({file});
        emit Access::filterPanel(w)->importGroupsRequested();
    }
    std::vector<std::string> groupNames()
    {
        std::vector<std::string> names;
        for (const auto& group : w.filterGroups())
            names.push_back(group->name);
        return names;
    }
    QString status() { return Access::infoLabel(w)->text(); }

    MainWindowEnvironment env;
    QTemporaryDir dir;
    MainWindow w;
};

} // namespace

TEST_F(MainWindowFilterGroupFilesTest, ExportWritesTheChosenGroupsInListOrder)
{
    emit Access::filterPanel(w)->exportGroupsRequested();
    ASSERT_EQ(prompts().countTitled("Export Filter Groups"), 1);
    EXPECT_EQ(prompts().last()->text, "There are no filter groups to export.");

    const int a = w.addFilterGroup("A");
    w.addFilterGroup("B");
    const int c = w.addFilterGroup("C");
    w.addRuleToGroup(a, rangeRule("deform", 0, 0.05));
    prompts().clear();

    // The chooser: OK needs a checked group; B is left out.
    prompts().answerDialog(QDialog::Accepted);
    prompts().answerFiles({path("groups")}, "Tervane3 Filter Groups (*.tn3fg)");
    prompts().whileOpen = [&](const ScriptedPrompts::Call& call) {
        if (call.kind != ScriptedPrompts::Kind::Dialog)
            return;
        auto* chooser = w.findChild<FilterGroupExportDialog*>();
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->windowTitle(), "Export Filter Groups");
        auto* ok = chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        EXPECT_TRUE(ok->isEnabled());
        QTest::mouseClick(chooser->findChild<QPushButton*>("selectNoneButton"), Qt::LeftButton);
        EXPECT_FALSE(ok->isEnabled());
        QTest::mouseClick(chooser->findChild<QPushButton*>("selectAllButton"), Qt::LeftButton);
        EXPECT_TRUE(ok->isEnabled());
        chooser->findChild<QListWidget*>("exportGroupList")->item(1)->setCheckState(Qt::Unchecked);
        EXPECT_EQ(chooser->checkedGroupIds(), (std::vector<int>{a, c}));
    };
    emit Access::filterPanel(w)->exportGroupsRequested();
    prompts().whileOpen = nullptr;

    const QByteArray written = readFile(path("groups.tn3fg"));
    const FilterGroupFileContents back = readFilterGroupsDocument(written);
    ASSERT_EQ(back.groups.size(), 2u);
    EXPECT_EQ(back.groups[0].name, "A");
    EXPECT_EQ(back.groups[0].rules, (std::vector<FilterRule>{rangeRule("deform", 0, 0.05)}));
    EXPECT_EQ(back.groups[1].name, "C");
    EXPECT_EQ(QJsonDocument::fromJson(written).object().value("formatVersion").toInt(), 1);
    EXPECT_EQ(status(), "Exported 2 filter group(s).");

    // Cancelled chooser: no save dialog, nothing written.
    prompts().clear();
    emit Access::filterPanel(w)->exportGroupsRequested();
    EXPECT_EQ(prompts().count(ScriptedPrompts::Kind::SaveFileName), 0);
}

// A file that cannot be written is named in one box; the status line reports no export.
TEST_F(MainWindowFilterGroupFilesTest, AFailedWriteNamesTheFileAndReportsNoExport)
{
    w.addFilterGroup("A");
    writeFile(path("plain"), "not a folder");
    writeFile(path("kept.tn3fg"), "old content");
    const QString below = path("plain") + "/groups.tn3fg";
    prompts().answerDialog(QDialog::Accepted);
    prompts().answerFiles({below});
    const QString before = status();
    emit Access::filterPanel(w)->exportGroupsRequested();
    ASSERT_EQ(prompts().count(ScriptedPrompts::Kind::Message), 1);
    EXPECT_EQ(prompts().last()->icon, Prompts::Icon::Critical);
    EXPECT_EQ(prompts().last()->title, "Export Filter Groups");
    EXPECT_EQ(prompts().last()->text, "Failed to open file for writing:\n" + below);
    EXPECT_EQ(status(), before);
    EXPECT_EQ(readFile(path("plain")), "not a folder");

    // A successful export replaces an existing file whole.
    prompts().answerDialog(QDialog::Accepted);
    prompts().answerFiles({path("kept.tn3fg")});
    emit Access::filterPanel(w)->exportGroupsRequested();
    EXPECT_EQ(readFilterGroupsDocument(readFile(path("kept.tn3fg"))).groups.size(), 1u);
}

TEST_F(MainWindowFilterGroupFilesTest, ImportedGroupsGetFreeNamesAndStartOffEverywhere)
{
    const QString measurement = path("m.rtdc");
    writeMeasurement(measurement.toStdString(), smallMeasurement());
    Access::addDataset(w, measurement);
    ASSERT_TRUE(waitForCaching(w));
    w.addFilterGroup("A");
    FilterGroup first;
    first.name = "A";
    first.rules = {rangeRule("area_um", 0, 25)};
    FilterGroup second = first;
    FilterGroup unnamed;
    writeFile(path("in.tn3fg"), filterGroupsDocument({&first, &second, &unnamed}));
    const std::vector<int> before = Access::plottedEventIndices(w);

    import(path("in.tn3fg"));
    EXPECT_EQ(groupNames(), (std::vector<std::string>{"A", "A (2)", "A (3)", "Imported group"}));
    EXPECT_EQ(w.filterGroups()[1]->rules, first.rules);
    EXPECT_EQ(w.filterGroups()[1]->id, 1);
    EXPECT_EQ(Access::entry(w, 0).groupEnabled.at(1), false);
    EXPECT_EQ(Access::plottedEventIndices(w), before);
    EXPECT_EQ(status(), "Imported 3 filter group(s).");
    EXPECT_EQ(prompts().count(ScriptedPrompts::Kind::Message), 0);
    EXPECT_EQ(prompts().last()->filter, "Tervane3 Filter Groups (*.tn3fg);;All Files (*)");
}

TEST_F(MainWindowFilterGroupFilesTest, EveryFailureShowsOneBoxAndAddsNothing)
{
    writeFile(path("text.tn3fg"), "this is not JSON");
    writeFile(path("array.tn3fg"), "[1, 2]");
    writeFile(path("empty.tn3fg"), R"({"formatVersion": 1, "groups": []})");
    QByteArray many = R"({"groups": [)";
    for (int i = 0; i < 1001; ++i)
        many += i ? ",{}" : "{}";
    writeFile(path("many.tn3fg"), many + "]}");
    writeFile(path("large.tn3fg"), QByteArray(static_cast<int>(kMaxFilterGroupFileBytes) + 10, ' '));
    const struct {
        const char* file;
        Prompts::Icon icon;
        QString text;
    } cases[] = {
        {"missing.tn3fg", Prompts::Icon::Critical, "Failed to read file:\n" + path("missing.tn3fg")},
        {"text.tn3fg", Prompts::Icon::Critical, "File is not a valid filter-groups JSON: "},
        {"array.tn3fg", Prompts::Icon::Critical,
         "File is not a valid filter-groups JSON: the top level is not an object"},
        {"empty.tn3fg", Prompts::Icon::Information, "The file contains no filter groups."},
        {"many.tn3fg", Prompts::Icon::Critical, "The file holds 1001 filter groups"},
        {"large.tn3fg", Prompts::Icon::Critical, "The file is larger than 16 MiB"},
    };
    w.addFilterGroup("Existing");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        prompts().clear();
        import(path(c.file));
        ASSERT_EQ(prompts().count(ScriptedPrompts::Kind::Message), 1);
        EXPECT_EQ(prompts().last()->title, "Import Filter Groups");
        EXPECT_EQ(prompts().last()->icon, c.icon);
        EXPECT_TRUE(prompts().last()->text.startsWith(c.text)) << prompts().last()->text.toStdString();
        EXPECT_EQ(groupNames(), std::vector<std::string>{"Existing"});
    }
    prompts().clear();
    emit Access::filterPanel(w)->importGroupsRequested(); // cancelled dialog
    EXPECT_EQ(prompts().count(ScriptedPrompts::Kind::Message), 0);
}

TEST_F(MainWindowFilterGroupFilesTest, MutatedFilesImportWholeOrChangeNothing)
{
    FilterRule gate;
    gate.type = PolygonRule;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    gate.polygonVertices = {{1, 0.1}, {5, 0.1}, {3, 0.3}};
    gate.scaleXMode = 1;
    FilterGroup a;
    a.name = "Singlets";
    a.rules = {rangeRule("deform", 0, 0.05), gate};
    FilterGroup b;
    b.name = "Large";
    b.rules = {rangeRule("area_um", 100, 500)};
    const QByteArray valid = filterGroupsDocument({&a, &b});
    const QJsonObject validRoot = QJsonDocument::fromJson(valid).object();
    const QJsonValue swaps[] = {QJsonValue(), QJsonValue(3.5), QJsonValue(QStringLiteral("x")), QJsonValue(true),
                                QJsonArray{1, 2}, QJsonObject{{"k", 1}}, QJsonValue(-1e308)};

    std::mt19937 random(20240611);
    const QString file = path("fuzz.tn3fg");
    int imported = 0;
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes = valid;
        switch (round % 4) {
        case 0: // byte flips
            for (int n = 1 + static_cast<int>(random() % 6); n > 0; --n)
                bytes[static_cast<int>(random() % static_cast<unsigned>(bytes.size()))] = static_cast<char>(random());
            break;
        case 1: // truncation
            bytes.truncate(static_cast<int>(random() % static_cast<unsigned>(bytes.size())));
            break;
        case 2: { // a value of another type at the top, in a group or in a rule
            QJsonObject root = validRoot;
            QJsonArray groups = root.value("groups").toArray();
            QJsonObject g = groups.at(static_cast<int>(random() % 2)).toObject();
            QJsonArray rules = g.value("rules").toArray();
            QJsonObject rule = rules.at(0).toObject();
            const QJsonValue swap = swaps[random() % std::size(swaps)];
            const QStringList ruleKeys = rule.keys();
            switch (random() % 4) {
            case 0: root.insert("groups", swap); break;
            case 1: g.insert(random() % 2 ? "name" : "rules", swap); break;
            default: rule.insert(ruleKeys.at(static_cast<int>(random() % static_cast<unsigned>(ruleKeys.size()))), swap);
            }
            rules.replace(0, rule);
            g.insert("rules", rules);
            groups.replace(0, g);
            if (root.value("groups").isArray())
                root.insert("groups", groups);
            bytes = QJsonDocument(root).toJson();
            break;
        }
        default: { // deep nesting inside a rule or around everything
            const int depth = 100 + static_cast<int>(random() % 2000);
            const QByteArray nested = QByteArray(depth, '[') + "1" + QByteArray(depth, ']');
            bytes = random() % 2 ? bytes.replace("\"minValue\": 0", "\"minValue\": " + nested) : nested;
        }
        }
        SCOPED_TRACE(round);
        writeFile(file, bytes);
        Access::groupModel(w).clear();
        prompts().clear();
        import(file);
        const int boxes = prompts().count(ScriptedPrompts::Kind::Message);
        if (boxes == 0) {
            ++imported;
            EXPECT_FALSE(w.filterGroups().empty());
            for (const auto& group : w.filterGroups()) {
                EXPECT_FALSE(group->name.empty());
                for (const FilterRule& rule : group->rules) {
                    EXPECT_TRUE(rule.propagationId.empty());
                    EXPECT_TRUE(rule.scaleXMode >= 0 && rule.scaleXMode <= 2);
                    EXPECT_TRUE(rule.scaleYMode >= 0 && rule.scaleYMode <= 2);
                }
            }
        } else {
            ++refused;
            EXPECT_EQ(boxes, 1);
            EXPECT_TRUE(w.filterGroups().empty());
        }
    }
    // Both outcomes occur, so the mutations reach both roads.
    EXPECT_GT(imported, 30);
    EXPECT_GT(refused, 30);
}
