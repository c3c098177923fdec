// The exports inside the main window: the menu entry reaches the dialog with the options of
// the previous export, and the events come from the window's effective filter, filter
// groups included.
#include "MainWindowTestAccess.h"

#include "core/RTDCReader.h"
#include "io/ExportDialog.h"
#include "support/RuleBuilders.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Tervane3;
using namespace Tervane3::Test;
using Access = MainWindowTestAccess;

namespace {

QAction* action(MainWindow& w, const char* name)
{
    return w.findChild<QAction*>(QLatin1String(name));
}

ExportDialog* openExportDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<ExportDialog*>(widget))
            return dialog;
    return nullptr;
}

TEST(MainWindowExportTest, ExportDataHonoursFilterGroupsAndRemembersTheOptions)
{
    MainWindowEnvironment env;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("cells.rtdc"));
    Measurement m = smallMeasurement(); // area_um 10 .. 60
    writeMeasurement(path.toStdString(), m);
    MainWindow w;
    Access::addDataset(w, path);
    ASSERT_TRUE(waitForCaching(w));

    const int group = w.addFilterGroup("middle");
    w.addRuleToGroup(group, rangeRule("area_um", 25, 45));
    w.setGroupEnabled(Access::entry(w, 0).id, group, true);

    ScriptedPrompts& prompts = *env.prompts;
    prompts.answerDialog(QDialog::Accepted);
    prompts.whileOpen = [](const ScriptedPrompts::Call& call) {
        if (call.kind == ScriptedPrompts::Kind::Dialog)
            openExportDialog()->findChild<QCheckBox*>(QStringLiteral("feature_bright_avg"))->setChecked(false);
    };
    action(w, "exportDataAction")->trigger();
    EXPECT_EQ(prompts.last()->text.toStdString(), "Dataset exported successfully.");
    RTDCReader copy;
    ASSERT_TRUE(copy.open(dir.filePath(QStringLiteral("TN3export_cells.rtdc")).toStdString()));
    EXPECT_EQ(copy.getFeature("area_um"), (std::vector<double>{30, 40}));
    EXPECT_FALSE(copy.hasFeature("bright_avg"));
    EXPECT_EQ(copy.readMetadata().value("offline_filter", "area_um min"), "25.000000");

    // The next dialog starts from these options; cancelled, it writes nothing.
    bool brightChecked = true;
    prompts.whileOpen = [&](const ScriptedPrompts::Call& call) {
        if (call.kind == ScriptedPrompts::Kind::Dialog)
            brightChecked = openExportDialog()->findChild<QCheckBox*>(QStringLiteral("feature_bright_avg"))->isChecked();
    };
    action(w, "exportDataAction")->trigger();
    EXPECT_FALSE(brightChecked);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("TN3export_cells_2.rtdc"))));
}

} // namespace
