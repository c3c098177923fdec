// Session files through the main window with scripted prompts: a whole state saved,
// cleared and loaded again; missing and changed files; versions; files of the wrong shape
// refused before anything closes; clearing during a load; a load replacing a load in
// progress; a file that turns bad between the phases; the emptied window against a new one;
// readers freed when their datasets close; failed saves; refusals while a calculation runs;
// mutated session files that must never crash or hang a load; and the Young's modulus
// computed again after loading, from the settings the file keeps (after a restored
// refinement, with the Fourier deformation it needs, stopped whole by one Cancel, and kept
// as the user computed it while the session loaded).
#include "HeldCalculation.h"
#include "MainWindowTestAccess.h"

#include "PerEventMeasurement.h"

#include "app/ScriptedPrompts.h"
#include "calc/CalculationRun.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModulus.h"
#include "calc/FLRefinement.h"
#include "calc/FourierDeform.h"
#include "calc/LutFixture.h"
#include "core/FilterRuleJson.h"
#include "core/RTDCReader.h"
#include "filters/FilterGroupList.h"
#include "io/EmodulusSettingsJson.h"
#include "io/SessionFile.h"
#include "mainwindow/DatasetListWidget.h"
#include "plots/ScatterPlot.h"
#include "support/FilterRules.h"
#include "support/TestSupport.h"
#include "windows/CombinePlotWindow.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <qwt_plot.h>
#include <qwt_scale_div.h>
#include <qwt_scale_widget.h>
#include <qwt_text.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Tervane3 {
namespace {

using Access = MainWindowTestAccess;
using Kind = ScriptedPrompts::Kind;
using ::Tervane3::Test::Measurement;

Measurement measurement(const std::string& sample, int extra = 0)
{
    Measurement m = ::Tervane3::Test::smallMeasurement();
    m.attributes["experiment:sample"] = sample;
    for (int i = 0; i < extra; ++i) {
        m.columns["area_um"].push_back(70.0 + i);
        m.columns["deform"].push_back(0.07);
        m.columns["bright_avg"].push_back(160.0);
    }
    return m;
}

// Six events as smallMeasurement, with images, masks and a fluorescence trace.
void writeImagedMeasurement(const QString& path)
{
    ::Tervane3::Test::RtdcFixture f(path.toStdString());
    for (const auto& [name, values] : measurement("C").columns)
        f.addColumn<double>(name, values);
    f.addFrames("image", std::vector<std::uint8_t>(6 * 3 * 4, 90), 6, 3, 4);
    f.addFrames("mask", std::vector<std::uint8_t>(6 * 3 * 4, 255), 6, 3, 4);
    f.addTrace<std::int16_t>("fl1_median", std::vector<std::int16_t>(6 * 5, 7), 6, 5);
    f.addStringAttribute("experiment:sample", "C");
}

QJsonObject readJson(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The widget's place in the window: object names, else class and position among siblings
// of that class, from the window down.
QString widgetPath(const QWidget* widget, const QWidget* window)
{
    QStringList parts;
    for (const QObject* object = widget; object && object != window; object = object->parent()) {
        QString part = object->objectName();
        if (part.isEmpty()) {
            int index = 0;
            if (const QObject* parent = object->parent()) {
                for (const QObject* sibling : parent->children()) {
                    if (sibling == object)
                        break;
                    if (qstrcmp(sibling->metaObject()->className(), object->metaObject()->className()) == 0)
                        ++index;
                }
            }
            part = QStringLiteral("%1#%2").arg(QLatin1String(object->metaObject()->className())).arg(index);
        }
        parts.prepend(part);
    }
    return parts.join(QLatin1Char('/'));
}

// What a user sees of the window, one line per widget: whether it is shown and enabled,
// its text, tooltip and style, the state of buttons, combos, spin boxes, lists and tabs,
// the widths of docks, and for plots their titles, axes, ranges and shown items.
QStringList windowLook(MainWindow& w)
{
    // Widgets removed with deferred deletion are gone first, and delayed layouts (scroll
    // bars of emptied views) have run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    for (QwtPlot* plot : w.findChildren<QwtPlot*>())
        plot->replot();
    QStringList lines;
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        const QString path = widgetPath(widget, &w);
        // Scroll bars follow the sizes of the docks; the rows they scroll are compared.
        if (path.contains(QLatin1String("qt_scrollarea_")))
            continue;
        QStringList state{widget->isVisibleTo(&w) ? QStringLiteral("shown") : QStringLiteral("hidden"),
                          widget->isEnabled() ? QStringLiteral("enabled") : QStringLiteral("disabled"),
                          widget->toolTip(), widget->styleSheet()};
        if (const auto* label = qobject_cast<QLabel*>(widget))
            state << label->text();
        if (const auto* edit = qobject_cast<QLineEdit*>(widget))
            state << edit->text() << edit->placeholderText();
        if (const auto* button = qobject_cast<QAbstractButton*>(widget))
            state << button->text() << QString::number(button->isChecked());
        if (const auto* combo = qobject_cast<QComboBox*>(widget))
            state << QString::number(combo->count()) << combo->currentText();
        if (const auto* spin = qobject_cast<QAbstractSpinBox*>(widget))
            state << spin->text();
        if (const auto* spin = qobject_cast<QSpinBox*>(widget))
            state << QStringLiteral("%1..%2").arg(spin->minimum()).arg(spin->maximum());
        if (const auto* view = qobject_cast<QAbstractItemView*>(widget); view && view->model())
            state << QStringLiteral("%1 rows").arg(view->model()->rowCount());
        if (const auto* tabs = qobject_cast<QTabWidget*>(widget))
            state << QString::number(tabs->currentIndex());
        // The width of a dock behind another tab is not seen.
        if (qobject_cast<QDockWidget*>(widget) && !widget->visibleRegion().isEmpty())
            state << QStringLiteral("width %1").arg(widget->width());
        if (const auto* plot = qobject_cast<QwtPlot*>(widget)) {
            state << plot->title().text();
            for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
                const QwtScaleDiv& div = plot->axisScaleDiv(axis);
                state << QStringLiteral("axis %1 %2 \"%3\" %4..%5 %6")
                             .arg(axis)
                             .arg(plot->axisEnabled(axis) ? QStringLiteral("on") : QStringLiteral("off"))
                             .arg(plot->axisTitle(axis).text())
                             .arg(div.lowerBound())
                             .arg(div.upperBound())
                             .arg(plot->axisAutoScale(axis) ? QStringLiteral("auto") : QStringLiteral("fixed"));
            }
            int shownItems = 0;
            for (const QwtPlotItem* item : plot->itemList())
                shownItems += item->isVisible() ? 1 : 0;
            state << QStringLiteral("%1 items, %2 shown").arg(plot->itemList().size()).arg(shownItems);
        }
        lines << path + QStringLiteral(": ") + state.join(QStringLiteral(" | "));
    }
    // Raising a widget changes the order of its siblings, not what the window shows.
    lines.sort();
    return lines;
}

// The lines only one of the two looks has, marked "-" (now) and "+" (expected).
std::string lookDifferences(const QStringList& now, const QStringList& expected)
{
    std::string text;
    for (const QString& line : now)
        if (!expected.contains(line))
            text += "- " + line.toStdString() + "\n";
    for (const QString& line : expected)
        if (!now.contains(line))
            text += "+ " + line.toStdString() + "\n";
    return text;
}

class MainWindowSessionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<MainWindow>();
    }
    MainWindow& w() { return *window; }
    ScriptedPrompts& prompts() { return *env.prompts; }
    QString file(const QString& name) const { return dir.filePath(name); }

    void open(const QString& path)
    {
        Access::addDataset(w(), path);
        ASSERT_TRUE(::Tervane3::Test::waitForCaching(w()));
    }
    void save(const QString& path)
    {
        prompts().answerFiles({path});
        w().saveSession();
    }
    // Loads and waits for the second phase; `answers` go to the boxes in order.
    void load(const QString& path, const QStringList& answers = {})
    {
        if (!Access::entries(w()).empty())
            prompts().answerMessage(QStringLiteral("OK"));
        for (const QString& answer : answers)
            prompts().answerMessage(answer);
        prompts().answerFiles({path});
        w().loadSession();
        finish();
    }
    void finish()
    {
        ASSERT_TRUE(::Tervane3::Test::waitUntil([&] { return !Access::sessionLoading(w()); }));
        ASSERT_TRUE(::Tervane3::Test::waitForCaching(w()));
    }
    DatasetListWidget* list() { return w().findChild<DatasetListWidget*>(QStringLiteral("datasetList")); }
    QString info() { return Access::infoLabel(w())->text(); }
    std::vector<QString> names()
    {
        std::vector<QString> result;
        for (const auto& entry : w().datasets())
            result.push_back(entry->displayName);
        return result;
    }

    ::Tervane3::Test::MainWindowEnvironment env;
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowSessionsTest, WholeStateRoundTrips)
{
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A"));
    ::Tervane3::Test::writeMeasurement(file("b.rtdc").toStdString(), measurement("B"));
    open(file("a.rtdc"));
    list()->setCurrentRow(0);
    w().duplicateDataset();
    open(file("b.rtdc"));
    ASSERT_EQ(w().datasets().size(), 3u);

    DatasetEntry& a = Access::entry(w(), 0);
    DatasetEntry& copy = Access::entry(w(), 1);
    copy.displayName = QStringLiteral("A copy");
    a.contourMode = 2;
    a.scaleYMode = 1;
    a.contourFraction1 = 0.25;
    a.filter.addRule(rangeRule("area_um", 15, 45, "shared-1"));
    a.filter.setCombineMode(1);
    const int gated = w().addFilterGroup("gated");
    const int other = w().addFilterGroup("other");
    Access::groupModel(w()).addRule(gated, rangeRule("deform", 0.0, 0.05));
    w().setGroupEnabled(a.id, gated, true);
    ASSERT_EQ(Access::activeIndex(w()), 2);

    save(file("s.TN3"));
    EXPECT_EQ(info(), QStringLiteral("Session saved: s.TN3"));
    const QJsonObject first = readJson(file("s.TN3"));
    ASSERT_EQ(first.value("datasets").toArray().size(), 3);

    load(file("s.TN3"));
    EXPECT_EQ(info(), QStringLiteral("Session loaded: 3 dataset(s)"));
    ASSERT_EQ(w().datasets().size(), 3u);
    EXPECT_EQ(names(), (std::vector<QString>{QStringLiteral("A"), QStringLiteral("A copy"), QStringLiteral("B")}));
    // The copy shares A's reader again; B is the active dataset.
    EXPECT_EQ(w().datasets()[0]->reader, w().datasets()[1]->reader);
    EXPECT_NE(w().datasets()[0]->reader, w().datasets()[2]->reader);
    EXPECT_EQ(Access::activeIndex(w()), 2);
    EXPECT_EQ(list()->currentRow(), 2);
    EXPECT_EQ(w().activeDatasetId(), w().datasets()[2]->id);
    // Groups with their ids and rules; the switch on for A only.
    ASSERT_EQ(w().filterGroups().size(), 2u);
    EXPECT_EQ(w().filterGroups()[0]->id, gated);
    EXPECT_EQ(w().filterGroups()[1]->id, other);
    EXPECT_EQ(w().filterGroups()[0]->rules.size(), 1u);
    EXPECT_TRUE(isGroupEnabled(w().datasets()[0].get(), gated));
    EXPECT_FALSE(isGroupEnabled(w().datasets()[2].get(), gated));
    const DatasetEntry& back = *w().datasets()[0];
    EXPECT_EQ(back.contourMode, 2);
    EXPECT_EQ(back.scaleYMode, 1);
    EXPECT_EQ(back.contourFraction1, 0.25);
    EXPECT_EQ(back.filter.combineMode(), 1);
    ASSERT_EQ(back.filter.ruleCount(), 1);
    EXPECT_EQ(back.filter.rules[0].propagationId, "shared-1");

    // Saved again, the same file but for the time.
    save(file("again.TN3"));
    QJsonObject second = readJson(file("again.TN3"));
    QJsonObject expected = first;
    expected.remove("savedAt");
    second.remove("savedAt");
    EXPECT_EQ(second, expected) << QJsonDocument(second).toJson().toStdString();
    // A new group continues after the restored ids.
    EXPECT_EQ(w().addFilterGroup("new"), other + 1);
}

TEST_F(MainWindowSessionsTest, MissingAndChangedFiles)
{
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A"));
    ::Tervane3::Test::writeMeasurement(file("b.rtdc").toStdString(), measurement("B"));
    open(file("a.rtdc"));
    list()->setCurrentRow(0);
    w().duplicateDataset();
    open(file("b.rtdc"));
    save(file("s.TN3"));
    const qint64 sizeA = QFileInfo(file("a.rtdc")).size();

    // B is gone: asked for, answered No, skipped.
    ASSERT_TRUE(QFile::rename(file("b.rtdc"), file("b-moved.rtdc")));
    prompts().clear();
    load(file("s.TN3"), {QStringLiteral("No")});
    const ScriptedPrompts::Call* missing = nullptr;
    for (const auto& call : prompts().calls())
        if (call.title == QLatin1String("Dataset Not Found"))
            missing = &call;
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->text, QStringLiteral("Cannot find dataset:\n%1\n\nDisplay name: B\n\nWould you like to locate it "
                                            "manually?")
                                 .arg(file("b.rtdc")));
    EXPECT_EQ(missing->buttons, (QStringList{"Yes", "No"}));
    EXPECT_EQ(names().size(), 2u);
    EXPECT_EQ(info(), QStringLiteral("Session loaded: 2 dataset(s)"));

    // Located by hand instead (the session's open dialog comes before the locate dialog).
    prompts().clear();
    prompts().answerMessage(QStringLiteral("OK"));
    prompts().answerFiles({file("s.TN3")});
    prompts().answerMessage(QStringLiteral("Yes"));
    prompts().answerFiles({file("b-moved.rtdc")});
    w().loadSession();
    finish();
    EXPECT_EQ(names().size(), 3u);

    // A grew: "Dataset Changed" with both numbers; No skips it and drops its copy silently.
    ASSERT_TRUE(QFile::rename(file("b-moved.rtdc"), file("b.rtdc")));
    prompts().answerMessage(QStringLiteral("OK"));
    w().clearSession();
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A", 4));
    prompts().clear();
    load(file("s.TN3"), {QStringLiteral("No")});
    const ScriptedPrompts::Call* changed = nullptr;
    for (const auto& call : prompts().calls())
        if (call.title == QLatin1String("Dataset Changed"))
            changed = &call;
    ASSERT_NE(changed, nullptr);
    EXPECT_EQ(changed->text, QStringLiteral("Dataset \"A\" may have changed since the session was saved.\n\nExpected: 6 "
                                            "events, %1 bytes\nFound: 10 events, %2 bytes\n\nContinue loading this "
                                            "dataset?")
                                 .arg(sizeA)
                                 .arg(QFileInfo(file("a.rtdc")).size()));
    EXPECT_EQ(names(), std::vector<QString>{QStringLiteral("B")});
    EXPECT_EQ(prompts().countTitled(QStringLiteral("Dataset Changed")), 1);
    EXPECT_EQ(prompts().countTitled(QStringLiteral("Error")), 0);
}

TEST_F(MainWindowSessionsTest, AMovedFolderLoadsWithoutAQuestion)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("day/data")));
    ::Tervane3::Test::writeMeasurement(file("day/data/a.rtdc").toStdString(), measurement("A"));
    open(file("day/data/a.rtdc"));
    save(file("day/s.TN3"));
    EXPECT_EQ(readJson(file("day/s.TN3")).value("datasets").toArray().at(0).toObject().value("filePath").toString(),
              QStringLiteral("data/a.rtdc"));
    ASSERT_TRUE(QDir(dir.path()).rename(QStringLiteral("day"), QStringLiteral("moved")));
    prompts().clear();
    load(file("moved/s.TN3"));
    EXPECT_EQ(prompts().count(Kind::Message), 1); // the confirmation only
    ASSERT_EQ(w().datasets().size(), 1u);
    EXPECT_EQ(w().datasets()[0]->filePath, file("moved/data/a.rtdc").toStdString());
}

TEST_F(MainWindowSessionsTest, Versions)
{
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A"));
    open(file("a.rtdc"));
    save(file("s.TN3"));
    QJsonObject root = readJson(file("s.TN3"));
    struct Case {
        const char* name;
        QJsonValue version; // undefined: key removed
        bool loads;
    };
    const Case cases[] = {
        {"missing", QJsonValue(QJsonValue::Undefined), false},
        {"zero", 0, false},
        {"text", QStringLiteral("1"), false},
        {"array", QJsonArray{1}, false},
        {"newer", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QJsonObject changed = root;
        if (c.version.isUndefined())
            changed.remove("version");
        else
            changed.insert("version", c.version);
        QFile out(file("v.TN3"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(QJsonDocument(changed).toJson());
        out.close();
        prompts().clear();
        ::Tervane3::Test::ExpectQtWarnings logged;
        load(file("v.TN3"));
        if (c.loads) {
            EXPECT_EQ(prompts().countTitled(QStringLiteral("Warning")), 1);
            EXPECT_EQ(info(), QStringLiteral("Session loaded: 1 dataset(s)"));
            EXPECT_EQ(logged.count(), 0);
        } else {
            ASSERT_GE(prompts().calls().size(), 1u);
            EXPECT_EQ(prompts().last()->title, QStringLiteral("Error"));
            EXPECT_EQ(prompts().last()->text, QStringLiteral("Unrecognized session file format."));
            // Regression: refusals left no trace in the log.
            EXPECT_EQ(logged.count(), 1);
            EXPECT_EQ(logged.lastMessage(),
                      "Load Session refused " + file("v.TN3").toStdString() + ": Unrecognized session file format.");
            // The current session stays.
            EXPECT_EQ(w().datasets().size(), 1u);
        }
    }
}

TEST_F(MainWindowSessionsTest, AFileOfTheWrongShapeChangesNothing)
{
    // Catches a load that closed every dataset and window and then reported "Session
    // loaded: 0 dataset(s)" for a document whose lists or objects had the wrong type.
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A"));
    ::Tervane3::Test::writeMeasurement(file("b.rtdc").toStdString(), measurement("B"));
    open(file("a.rtdc"));
    open(file("b.rtdc"));
    Access::entry(w(), 0).filter.addRule(rangeRule("area_um", 1, 2));
    w().addFilterGroup("g");
    save(file("s.TN3"));
    const QJsonObject saved = readJson(file("s.TN3"));
    const std::vector<DatasetEntry*> before = {&Access::entry(w(), 0), &Access::entry(w(), 1)};
    const int active = Access::activeIndex(w());

    const auto datasetWith = [&](const char* key, const QJsonValue& value) {
        QJsonArray datasets = saved.value("datasets").toArray();
        QJsonObject first = datasets.at(0).toObject();
        first.insert(key, value);
        datasets[0] = first;
        return datasets;
    };
    const auto filterRules = [&](const QJsonValue& rules) {
        QJsonObject filter = saved.value("datasets").toArray().at(0).toObject().value("filter").toObject();
        filter.insert("rules", rules);
        return datasetWith("filter", filter);
    };
    struct Case {
        const char* key;
        QJsonValue value;
        const char* reason;
    };
    const Case cases[] = {
        {"datasets", QStringLiteral("a.rtdc"), "datasets is a string, not an array"},
        {"datasets", QJsonArray{QJsonObject{}, 2}, "datasets[1] is a number, not an object"},
        {"datasets", datasetWith("filter", QJsonArray{}), "datasets[0].filter is an array, not an object"},
        {"datasets", filterRules(QJsonObject{}), "datasets[0].filter.rules is an object, not an array"},
        {"datasets", filterRules(QJsonArray{QStringLiteral("Range")}), "datasets[0].filter.rules[0] is a string, not an object"},
        {"filterGroups", QJsonObject{}, "filterGroups is an object, not an array"},
        {"filterGroups", QJsonArray{QJsonObject{{"id", 0}, {"rules", 3}}}, "filterGroups[0].rules is a number, not an array"},
        {"combineWindows", QJsonArray{QJsonArray{}}, "combineWindows[0] is an array, not an object"},
        {"statEvalWindows", true, "statEvalWindows is a boolean, not an array"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        QJsonObject changed = saved;
        changed.insert(c.key, c.value);
        QFile out(file("bad.TN3"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(QJsonDocument(changed).toJson());
        out.close();
        prompts().clear();
        Access::infoLabel(w())->setText(QStringLiteral("before"));
        ::Tervane3::Test::ExpectQtWarnings logged;
        load(file("bad.TN3"));
        EXPECT_EQ(logged.count(), 1);
        EXPECT_EQ(logged.lastMessage(), "Load Session refused Invalid session file: " + file("bad.TN3").toStdString()
                                            + " " + c.reason + ".");

        ASSERT_NE(prompts().last(), nullptr);
        EXPECT_EQ(prompts().last()->title, QStringLiteral("Error"));
        EXPECT_EQ(prompts().last()->icon, Prompts::Icon::Critical);
        EXPECT_EQ(prompts().last()->text.toStdString(),
                  "Invalid session file: " + file("bad.TN3").toStdString() + "\n" + c.reason + ".");
        // The same datasets (not reopened), groups, active dataset and info line.
        ASSERT_EQ(w().datasets().size(), 2u);
        EXPECT_EQ(w().datasets()[0].get(), before[0]);
        EXPECT_EQ(w().datasets()[1].get(), before[1]);
        EXPECT_EQ(w().datasets()[0]->filter.ruleCount(), 1);
        EXPECT_EQ(w().filterGroups().size(), 1u);
        EXPECT_EQ(Access::activeIndex(w()), active);
        EXPECT_EQ(info(), QStringLiteral("before"));
        EXPECT_FALSE(Access::sessionLoading(w()));
    }
    // The unchanged file still loads.
    load(file("s.TN3"));
    EXPECT_EQ(info(), QStringLiteral("Session loaded: 2 dataset(s)"));
}

// Catches a Clear Session that kept the files File > Open was still to open (after a file
// being cached, or behind a session being loaded): they opened anew into the emptied window.
// The box names how many will not be opened, and the session's own datasets stop too.
TEST_F(MainWindowSessionsTest, ClearingEndsTheFilesQueuedByOpen)
{
    for (const char* name : {"a", "b", "c", "d", "e"})
        ::Tervane3::Test::writeMeasurement(file(QStringLiteral("%1.rtdc").arg(QLatin1String(name))).toStdString(),
                                           measurement(name));
    open(file("a.rtdc"));
    open(file("b.rtdc"));
    save(file("s.TN3"));
    prompts().answerMessage(QStringLiteral("OK"));
    w().clearSession();
    ASSERT_TRUE(w().datasets().empty());

    const QString box = QStringLiteral("This will close all datasets, combine plot windows\nand statistical evaluation "
                                       "windows.\n3 files waiting to open will not be opened.\nUnsaved changes will be "
                                       "lost.\n\nContinue?");
    for (const bool duringALoad : {false, true}) {
        SCOPED_TRACE(duringALoad ? "during a session load" : "after a file being cached");
        if (duringALoad) {
            prompts().answerFiles({file("s.TN3")});
            w().loadSession();
            ASSERT_TRUE(Access::sessionLoading(w()));
            ASSERT_EQ(Access::sessionQueue(w()).size(), 1u);
        } else {
            Access::addDataset(w(), file("a.rtdc"));
        }
        ASSERT_TRUE(Access::preloadBusy(w()));
        // Chosen in one dialog while A caches.
        prompts().answerFiles({file("c.rtdc"), file("d.rtdc"), file("e.rtdc")});
        w().openFile();
        ASSERT_EQ(Access::pendingPaths(w()), 3u);

        prompts().clear();
        prompts().answerMessage(QStringLiteral("OK"));
        w().clearSession();
        ASSERT_NE(prompts().last(), nullptr);
        EXPECT_EQ(prompts().last()->title, QStringLiteral("Clear Session"));
        EXPECT_EQ(prompts().last()->text, box);
        EXPECT_EQ(Access::pendingPaths(w()), 0u);
        EXPECT_FALSE(Access::sessionLoading(w()));
        EXPECT_TRUE(Access::sessionQueue(w()).empty());
        ASSERT_TRUE(::Tervane3::Test::waitForCaching(w()));
        // A finish reported after the wait opens nothing either.
        QCoreApplication::processEvents();
        EXPECT_TRUE(w().datasets().empty());
        EXPECT_FALSE(info().startsWith(QStringLiteral("Session loaded")));
        EXPECT_EQ(prompts().countTitled(QStringLiteral("Error")), 0);
    }
}

// Catches a Load Session that kept the files File > Open was still to open: a one-dataset
// session then reported "Session loaded: 4 dataset(s)" and was saved with the three strangers.
// A file chosen with File > Open while the session loads is still opened after it.
TEST_F(MainWindowSessionsTest, LoadingEndsTheFilesQueuedBeforeButNotThoseOpenedDuringIt)
{
    for (const char* name : {"x", "a", "b", "c", "d", "e"})
        ::Tervane3::Test::writeMeasurement(file(QStringLiteral("%1.rtdc").arg(QLatin1String(name))).toStdString(),
                                           measurement(name));
    open(file("x.rtdc"));
    save(file("s.TN3"));
    prompts().answerMessage(QStringLiteral("OK"));
    w().clearSession();

    Access::addDataset(w(), file("a.rtdc"));
    ASSERT_TRUE(Access::preloadBusy(w()));
    prompts().answerFiles({file("b.rtdc"), file("c.rtdc"), file("d.rtdc")});
    w().openFile();
    ASSERT_EQ(Access::pendingPaths(w()), 3u);

    prompts().clear();
    prompts().answerMessage(QStringLiteral("OK"));
    prompts().answerFiles({file("s.TN3")});
    w().loadSession();
    ASSERT_FALSE(prompts().calls().empty());
    EXPECT_EQ(prompts().calls().front().title, QStringLiteral("Load Session"));
    EXPECT_EQ(prompts().calls().front().text,
              QStringLiteral("Loading a session will close all current datasets\nand windows.\n3 files waiting to open "
                             "will not be opened.\nUnsaved changes will be lost.\n\nContinue?"));
    ASSERT_TRUE(Access::sessionLoading(w()));
    EXPECT_EQ(Access::pendingPaths(w()), 0u);
    // Chosen while the session loads.
    Access::addDataset(w(), file("e.rtdc"));
    EXPECT_EQ(Access::pendingPaths(w()), 1u);
    finish();
    EXPECT_EQ(names(), (std::vector<QString>{QStringLiteral("x"), QStringLiteral("e")}));
    EXPECT_EQ(info(), QStringLiteral("Session loaded: 2 dataset(s)"));

    // Without files waiting, the box is the plain one.
    prompts().clear();
    load(file("s.TN3"));
    ASSERT_FALSE(prompts().calls().empty());
    EXPECT_EQ(prompts().calls().front().text,
              QStringLiteral("Loading a session will close all current datasets\nand windows. Unsaved changes will be "
                             "lost.\n\nContinue?"));
    EXPECT_EQ(names(), std::vector<QString>{QStringLiteral("x")});
}

TEST_F(MainWindowSessionsTest, ALoadReplacesALoadInProgress)
{
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A"));
    ::Tervane3::Test::writeMeasurement(file("a2.rtdc").toStdString(), measurement("A2"));
    ::Tervane3::Test::writeMeasurement(file("b.rtdc").toStdString(), measurement("B"));
    open(file("a.rtdc"));
    open(file("a2.rtdc"));
    save(file("first.TN3"));
    prompts().answerMessage(QStringLiteral("OK"));
    w().clearSession();
    open(file("b.rtdc"));
    save(file("second.TN3"));
    prompts().answerMessage(QStringLiteral("OK"));
    w().clearSession();
    ASSERT_TRUE(w().datasets().empty());

    // The first load has its first dataset caching and the second waiting when the next
    // load starts: nothing of the first remains.
    prompts().answerFiles({file("first.TN3")});
    w().loadSession();
    ASSERT_TRUE(Access::sessionLoading(w()));
    prompts().answerMessage(QStringLiteral("OK"));
    prompts().answerFiles({file("second.TN3")});
    w().loadSession();
    finish();
    EXPECT_EQ(names(), std::vector<QString>{QStringLiteral("B")});
    EXPECT_TRUE(Access::sessionQueue(w()).empty());
    EXPECT_TRUE(Access::sessionIds(w()).empty());
    EXPECT_EQ(Access::pendingPaths(w()), 0u);
}

TEST_F(MainWindowSessionsTest, AFileTurnedBadAfterTheCheckIsSkipped)
{
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A"));
    ::Tervane3::Test::writeMeasurement(file("b.rtdc").toStdString(), measurement("B"));
    open(file("a.rtdc"));
    open(file("b.rtdc"));
    save(file("s.TN3"));
    prompts().answerMessage(QStringLiteral("OK"));
    w().clearSession();
    prompts().clear();
    prompts().answerFiles({file("s.TN3")});
    w().loadSession();
    // B passed the check; it turns to garbage before its turn comes.
    QFile garbage(file("b.rtdc"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
    garbage.write("not a measurement");
    garbage.close();
    {
        // The refused file is named in the log with its reason.
        ::Tervane3::Test::ExpectQtWarnings logged;
        finish();
        EXPECT_EQ(logged.count(), 1);
    }
    EXPECT_EQ(names(), std::vector<QString>{QStringLiteral("A")});
    EXPECT_EQ(info(), QStringLiteral("Session loaded: 1 dataset(s)"));
    EXPECT_EQ(prompts().countTitled(QStringLiteral("Error")), 1);
    EXPECT_EQ(prompts().last()->text, QStringLiteral("Failed to open: ") + file("b.rtdc")
                                          + QStringLiteral("\nIt is not an HDF5 file, so it cannot be an RT-DC measurement."));
}

TEST_F(MainWindowSessionsTest, AnEmptiedWindowLooksAsAtStartUp)
{
    // Catches an empty window that kept the last axis titles and ranges, scale modes,
    // contour settings, info and status lines, the medium of the last dataset, or any other
    // view of the datasets it showed; among them the filter box's switch, its all-datasets
    // buttons named and "No dataset selected", "Assess Quality" enabled, "Compute Image
    // Features" enabled, and docks left wider than at start-up.
    MainWindow fresh;
    fresh.show();
    const QStringList startUp = windowLook(fresh);
    // Nothing to assess without a dataset, at start-up as after emptying.
    EXPECT_FALSE(fresh.findChild<QPushButton*>(QStringLiteral("assessQualityButton"))->isEnabled());
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A", 20));
    ::Tervane3::Test::writeMeasurement(file("b.rtdc").toStdString(), measurement("B"));
    writeImagedMeasurement(file("c.rtdc"));

    struct Case {
        const char* name;
        std::function<void(MainWindow&)> empty;
        QString infoLine;
    };
    const QString infoPrefix = QStringLiteral("QWidget#0/infoLabel: ");
    const Case cases[] = {
        {"Clear Session",
         [&](MainWindow& emptied) {
             prompts().answerMessage(QStringLiteral("OK"));
             emptied.clearSession();
         },
         QStringLiteral("No file loaded. Drag and drop a .rtdc file or use File > Open.")},
        {"every dataset removed",
         [](MainWindow& emptied) {
             auto* datasets = emptied.findChild<DatasetListWidget*>(QStringLiteral("datasetList"));
             while (datasets->count() > 0) {
                 datasets->setCurrentRow(0);
                 emptied.removeDataset();
             }
         },
         QStringLiteral("No file loaded.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow emptied;
        emptied.show();
        ASSERT_EQ(lookDifferences(windowLook(emptied), startUp), "") << "two new windows differ";
        for (const char* name : {"a.rtdc", "b.rtdc", "c.rtdc"}) {
            Access::addDataset(emptied, file(QLatin1String(name)));
            ASSERT_TRUE(::Tervane3::Test::waitForCaching(emptied));
        }
        // The dataset shown has images, masks and traces, and its Young's modulus.
        Access::entry(emptied, 2).emodApplied = true;
        Access::activate(emptied, 0);
        Access::activate(emptied, 2);
        ASSERT_TRUE(emptied.findChild<QPushButton*>(QStringLiteral("assessQualityButton"))->isEnabled());
        // Everything datasets show: log axes, contours, a zoom, rules and a group, the
        // metadata, the event data and both status lines. (Which tabs are raised is the
        // user's arrangement, which emptying keeps.)
        ASSERT_TRUE(Access::selectKey(Access::combo(emptied, "xFeatureCombo"), QStringLiteral("area_um")));
        ASSERT_TRUE(Access::selectKey(Access::combo(emptied, "yFeatureCombo"), QStringLiteral("deform")));
        Access::combo(emptied, "xScaleCombo")->setCurrentIndex(1);
        Access::combo(emptied, "contourModeCombo")->setCurrentIndex(1);
        Access::innerSpin(emptied)->setValue(25);
        Access::scatterPlot(emptied)->setAxisScale(QwtPlot::xBottom, 12, 34);
        Access::entry(emptied, 1).filter.addRule(rangeRule("area_um", 15, 45));
        emptied.addFilterGroup("gated");
        emptied.refreshFilterGroupPanel();
        Access::metadataDock(emptied)->raise();
        ASSERT_TRUE(::Tervane3::Test::waitUntil([&] { return Access::metadataTree(emptied)->topLevelItemCount() > 0; }));
        emptied.findChild<QDockWidget*>(QStringLiteral("filtersDock"))->raise();
        Access::eventSpin(emptied)->setValue(3);
        emptied.findChild<QLabel*>(QStringLiteral("statusLabel"))->setText(QStringLiteral("Computed for 2 datasets."));
        ASSERT_TRUE(::Tervane3::Test::waitUntil([&] { return !Access::filterUpdatePending(emptied); }));
        ASSERT_NE(lookDifferences(windowLook(emptied), startUp), "");

        c.empty(emptied);
        ASSERT_TRUE(emptied.datasets().empty());
        const QStringList now = windowLook(emptied);
        QStringList expected = startUp;
        for (QString& line : expected) {
            if (line.startsWith(infoPrefix))
                line = line.left(line.lastIndexOf(QLatin1String(" | ")) + 3) + c.infoLine;
        }
        EXPECT_EQ(lookDifferences(now, expected), "");
    }
}

TEST_F(MainWindowSessionsTest, TheNextDatasetOfAnEmptiedWindowIsDrawnAsInANewWindow)
{
    // Catches axis titles that came back small and regular instead of bold after the window
    // was emptied, on screen and in the exported picture (the emptying replaced the titles'
    // text objects, and with them the title font).
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A"));
    ::Tervane3::Test::writeMeasurement(file("b.rtdc").toStdString(), measurement("B"));
    const auto showAndExport = [&](MainWindow& shown, const QString& picture) {
        Access::addDataset(shown, file(QStringLiteral("a.rtdc")));
        EXPECT_TRUE(::Tervane3::Test::waitForCaching(shown));
        prompts().answerFiles({picture}, QStringLiteral("SVG Vector (*.svg)"));
        shown.exportPlot();
        return readBytes(picture);
    };
    // The fonts the plot draws its axis titles in.
    const auto titleFonts = [](MainWindow& shown) {
        ScatterPlot* plot = Access::scatterPlot(shown);
        std::vector<QFont> fonts;
        for (const int axis : {QwtPlot::xBottom, QwtPlot::yLeft})
            fonts.push_back(plot->axisTitle(axis).usedFont(plot->axisWidget(axis)->font()));
        return fonts;
    };
    MainWindow fresh;
    fresh.show();
    const QByteArray freshPicture = showAndExport(fresh, file("fresh.svg"));
    ASSERT_FALSE(freshPicture.isEmpty());
    ASSERT_TRUE(titleFonts(fresh).front().bold());

    struct Case {
        const char* name;
        std::function<void(MainWindow&)> empty;
    };
    const Case cases[] = {
        {"Clear Session",
         [&](MainWindow& emptied) {
             prompts().answerMessage(QStringLiteral("OK"));
             emptied.clearSession();
         }},
        {"every dataset removed",
         [](MainWindow& emptied) {
             auto* datasets = emptied.findChild<DatasetListWidget*>(QStringLiteral("datasetList"));
             while (datasets->count() > 0) {
                 datasets->setCurrentRow(0);
                 emptied.removeDataset();
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow emptied;
        emptied.show();
        Access::addDataset(emptied, file(QStringLiteral("b.rtdc")));
        ASSERT_TRUE(::Tervane3::Test::waitForCaching(emptied));
        c.empty(emptied);
        ASSERT_TRUE(emptied.datasets().empty());
        const QByteArray picture = showAndExport(emptied, file(QStringLiteral("%1.svg").arg(c.name)));
        EXPECT_EQ(titleFonts(emptied), titleFonts(fresh));
        EXPECT_TRUE(picture == freshPicture) << "the exported pictures differ";
    }
}

TEST_F(MainWindowSessionsTest, ClosedDatasetsLeaveNoReaderBehind)
{
    // Catches a reader (and with it every cached column) kept alive after its datasets
    // closed: by a tool window, a rule row or group box of the filter panel, or a duplicate.
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A", 20));
    ::Tervane3::Test::writeMeasurement(file("b.rtdc").toStdString(), measurement("B"));
    struct Case {
        const char* name;
        std::function<void(MainWindow&)> close;
    };
    const Case cases[] = {
        {"Clear Session",
         [&](MainWindow& emptied) {
             prompts().answerMessage(QStringLiteral("OK"));
             emptied.clearSession();
         }},
        {"every dataset removed",
         [](MainWindow& emptied) {
             auto* datasets = emptied.findChild<DatasetListWidget*>(QStringLiteral("datasetList"));
             while (datasets->count() > 0) {
                 datasets->setCurrentRow(datasets->count() - 1);
                 emptied.removeDataset();
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow emptied;
        emptied.show();
        for (const char* name : {"a.rtdc", "b.rtdc"}) {
            Access::addDataset(emptied, file(QLatin1String(name)));
            ASSERT_TRUE(::Tervane3::Test::waitForCaching(emptied));
        }
        emptied.findChild<DatasetListWidget*>(QStringLiteral("datasetList"))->setCurrentRow(0);
        emptied.duplicateDataset();
        Access::entry(emptied, 2).filter.addRule(rangeRule("area_um", 15, 45));
        emptied.addFilterGroup("gated");
        emptied.refreshFilterGroupPanel();
        emptied.openCombinePlotWindow();
        for (const auto& entry : emptied.datasets())
            Access::combineWindows(emptied).front()->addDataset(entry->id);
        emptied.openStatisticalEvalWindow();
        ASSERT_TRUE(::Tervane3::Test::waitUntil([&] { return !Access::filterUpdatePending(emptied); }));
        std::vector<std::weak_ptr<RTDCReader>> readers;
        for (const auto& entry : emptied.datasets())
            readers.push_back(entry->reader);

        // From the event loop, as a menu click runs it: deferred deletions follow.
        QTimer::singleShot(0, &emptied, [&] { c.close(emptied); });
        ASSERT_TRUE(::Tervane3::Test::waitUntil([&] { return emptied.datasets().empty(); }));
        ASSERT_TRUE(::Tervane3::Test::waitUntil([&] {
            return std::all_of(readers.begin(), readers.end(), [](const auto& r) { return r.expired(); });
        }));
        EXPECT_TRUE(Access::scatterPlot(emptied)->plottedX().empty());
        EXPECT_TRUE(Access::plotXValues(emptied).empty());
    }
}

TEST_F(MainWindowSessionsTest, SavingFailuresAndRefusals)
{
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A"));
    open(file("a.rtdc"));
    save(file("s"));
    ASSERT_TRUE(QFileInfo::exists(file("s.TN3")));
    const QByteArray before = readBytes(file("s.TN3"));

    // A save that fails midway keeps the old file as it was.
    Access::entry(w(), 0).displayName = QStringLiteral("renamed");
    Access::infoLabel(w())->setText(QStringLiteral("before"));
    setSessionWriteCheckForTesting([] { return false; });
    prompts().clear();
    save(file("s.TN3"));
    setSessionWriteCheckForTesting(nullptr);
    ASSERT_EQ(prompts().countTitled(QStringLiteral("Error")), 1);
    EXPECT_EQ(prompts().last()->icon, Prompts::Icon::Critical);
    EXPECT_EQ(prompts().last()->text, QStringLiteral("Failed to write session file: ") + file("s.TN3"));
    EXPECT_EQ(readBytes(file("s.TN3")), before);
    EXPECT_EQ(info(), QStringLiteral("before"));
    // A folder that cannot exist.
    prompts().clear();
    save(file("s.TN3/inner.TN3"));
    EXPECT_EQ(prompts().countTitled(QStringLiteral("Error")), 1);
    // A lower-case suffix stays.
    save(file("lower.tn3"));
    EXPECT_TRUE(QFileInfo::exists(file("lower.tn3")));

    // Refused while a calculation runs; saving also while a load is under way.
    Access::calcBusy(w()) = true;
    for (const auto& action : std::vector<std::function<void()>>{[&] { w().saveSession(); }, [&] { w().loadSession(); },
                                                                 [&] { w().clearSession(); }}) {
        prompts().clear();
        action();
        ASSERT_EQ(prompts().calls().size(), 1u);
        EXPECT_TRUE(prompts().last()->text.contains(QStringLiteral("calculation is running")));
    }
    Access::calcBusy(w()) = false;
    EXPECT_EQ(w().datasets().size(), 1u);
    Access::sessionLoading(w()) = true;
    prompts().clear();
    w().saveSession();
    EXPECT_TRUE(prompts().last()->text.contains(QStringLiteral("still being loaded")));
    // The menu's Clear Session asks also during a load.
    prompts().clear();
    w().clearSession();
    ASSERT_EQ(prompts().count(Kind::Message), 1);
    EXPECT_EQ(prompts().last()->title, QStringLiteral("Clear Session"));
    EXPECT_EQ(w().datasets().size(), 1u);
    Access::sessionLoading(w()) = false;
}

TEST_F(MainWindowSessionsTest, MutatedFilesNeverBreakALoad)
{
    ::Tervane3::Test::writeMeasurement(file("a.rtdc").toStdString(), measurement("A"));
    ::Tervane3::Test::writeMeasurement(file("b.rtdc").toStdString(), measurement("B"));
    open(file("a.rtdc"));
    list()->setCurrentRow(0);
    w().duplicateDataset();
    open(file("b.rtdc"));
    w().addFilterGroup("g");
    Access::entry(w(), 0).filter.addRule(rangeRule("area_um", 1, 2));
    save(file("s.TN3"));
    const QByteArray original = readBytes(file("s.TN3"));
    ASSERT_FALSE(original.isEmpty());

    QRandomGenerator random(20261210);
    const QByteArray swaps[][2] = {{"true", "7"}, {"[", "{"}, {"\"", "'"}, {"1", "\"x\""}, {"0.", "-1e400"}};
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        QByteArray bytes = original;
        switch (round % 4) {
        case 0: // byte flips
            for (int k = 0; k < 4; ++k)
                bytes[random.bounded(bytes.size())] = static_cast<char>(random.bounded(256));
            break;
        case 1: // truncation
            bytes.truncate(random.bounded(bytes.size()));
            break;
        case 2: { // a type swap at one place
            const auto& swap = swaps[random.bounded(5)];
            const int at = bytes.indexOf(swap[0], random.bounded(bytes.size()));
            if (at >= 0)
                bytes.replace(at, swap[0].size(), swap[1]);
            break;
        }
        default: // deep nesting
            bytes = QByteArray(random.bounded(10, 2000), '[') + bytes;
            break;
        }
        QFile out(file("m.TN3"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.close();
        prompts().clear();
        const ::Tervane3::Test::ExpectQtWarnings logged;
        load(file("m.TN3"));
        EXPECT_FALSE(Access::sessionLoading(w()));
        EXPECT_TRUE(Access::sessionQueue(w()).empty());
        EXPECT_TRUE(Access::sessionIds(w()).empty());
        const int active = Access::activeIndex(w());
        EXPECT_TRUE(active == -1 || (active >= 0 && active < static_cast<int>(w().datasets().size())));
    }
}

// A measurement the fixture table maps: medium, channel and flow rate in the setup.
Measurement mappable(const std::string& sample, const std::string& medium)
{
    Measurement m = measurement(sample);
    m.attributes["setup:medium"] = medium;
    m.attributes["setup:channel width"] = "20";
    m.attributes["setup:flow rate"] = "0.16";
    m.attributes["imaging:pixel size"] = "0.34";
    return m;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

class MainWindowSessionModulusTest : public MainWindowSessionsTest
{
protected:
    void SetUp() override
    {
        MainWindowSessionsTest::SetUp();
        using namespace ::Tervane3::Test;
        const QString table = writeLutFile(dir, QStringLiteral("table.txt"),
                                           gridTable(steps(0, 10, 11), steps(0, 0.01, 11),
                                                     [](double a, double d) { return 0.1 * a + 10.0 * d; }),
                                           tableMetadata);
        ASSERT_TRUE(w().emodulus()->setLutFile(0, table));
    }
    template<typename T>
    T* dockChild(const char* name)
    {
        return w().calcDock()->findChild<T*>(QLatin1String(name));
    }
    bool waitIdle() { return ::Tervane3::Test::waitUntil([this] { return !Access::calcBusy(w()); }); }
    // The Young's modulus of the dataset at this row, with the panel as it is.
    void computeModulus(int row)
    {
        list()->setCurrentRow(row);
        dockChild<QPushButton>("computeEmodulusButton")->click();
        ASSERT_TRUE(waitIdle());
        ASSERT_TRUE(Access::entry(w(), static_cast<size_t>(row)).emodApplied);
    }
    // Alpha (medium "other": the viscosity typed under Manual, 1.002) and Beta (water, Kestin
    // at a typed 30 °C), both computed; Alpha shown with the modulus on the x axis.
    void computeBoth()
    {
        ::Tervane3::Test::writeMeasurement(file("alpha.rtdc").toStdString(), mappable("Alpha", "other"));
        ::Tervane3::Test::writeMeasurement(file("beta.rtdc").toStdString(), mappable("Beta", "water"));
        open(file("alpha.rtdc"));
        open(file("beta.rtdc"));
        list()->setCurrentRow(0);
        dockChild<QDoubleSpinBox>("viscositySpin")->setValue(1.002);
        computeModulus(0);
        list()->setCurrentRow(1);
        dockChild<QRadioButton>("manualTemperatureRadio")->click();
        dockChild<QDoubleSpinBox>("temperatureSpin")->setValue(30.0);
        computeModulus(1);
        list()->setCurrentRow(0);
        ASSERT_TRUE(Access::selectKey(Access::combo(w(), "xFeatureCombo"), QStringLiteral("emodulus")));
        for (size_t i = 0; i < 2; ++i)
            moduli.push_back(Access::entry(w(), i).reader->getFeature("emodulus"));
        // Their moduli differ: each used its own settings.
        ASSERT_FALSE(sameBits(moduli[0], moduli[1]));
    }
    // Settings the restored computation must not take: the panel's, changed after saving.
    void changePanel()
    {
        dockChild<QDoubleSpinBox>("viscositySpin")->setValue(2.004);
        dockChild<QDoubleSpinBox>("temperatureSpin")->setValue(20.0);
        dockChild<QRadioButton>("metaTemperatureRadio")->click();
    }
    QJsonObject datasetObject(const QJsonObject& root, int i)
    {
        return root.value("datasets").toArray().at(i).toObject();
    }

    std::vector<std::vector<double>> moduli;
};

TEST_F(MainWindowSessionModulusTest, TheModulusIsComputedAgainAfterLoading)
{
    computeBoth();
    save(file("s.TN3"));
    const QJsonObject first = readJson(file("s.TN3"));
    const QJsonObject alpha = datasetObject(first, 0).value("emodulusSettings").toObject();
    const QJsonObject beta = datasetObject(first, 1).value("emodulusSettings").toObject();
    EXPECT_EQ(alpha.value("viscosityModel").toInt(), 3);
    EXPECT_EQ(alpha.value("manualViscosity").toDouble(), 1.002);
    EXPECT_EQ(beta.value("viscosityModel").toInt(), 1);
    EXPECT_EQ(beta.value("temperatureSource").toInt(), 0);
    EXPECT_EQ(beta.value("temperature").toDouble(), 30.0);
    changePanel();

    prompts().clear();
    load(file("s.TN3"));
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(w().datasets().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const DatasetEntry& entry = Access::entry(w(), i);
        EXPECT_TRUE(entry.emodApplied);
        ASSERT_TRUE(entry.reader->isComputedFeature("emodulus"));
        EXPECT_TRUE(sameBits(entry.reader->getFeature("emodulus"), moduli[i]));
    }
    EXPECT_EQ(prompts().count(Kind::Message), 1); // the load's question only, no box
    // Alpha is shown as saved: the modulus on the x axis, in the event table, assessable.
    EXPECT_EQ(Access::activeIndex(w()), 0);
    EXPECT_EQ(Access::combo(w(), "xFeatureCombo")->currentData().toString(), QStringLiteral("emodulus"));
    EXPECT_TRUE(dockChild<QPushButton>("assessQualityButton")->isEnabled());
    QTableWidget* table = Access::eventTable(w());
    bool listed = false;
    for (int row = 0; row < table->rowCount(); ++row)
        listed = listed || table->item(row, 0)->toolTip() == QStringLiteral("emodulus");
    EXPECT_TRUE(listed);

    // Saved again, the same settings: they survive any number of round trips.
    save(file("again.TN3"));
    const QJsonObject second = readJson(file("again.TN3"));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(datasetObject(second, i).value("emodulusSettings"), datasetObject(first, i).value("emodulusSettings"));
}

TEST_F(MainWindowSessionModulusTest, AnOlderFileWithoutTheSettingsClearsTheFlag)
{
    computeBoth();
    save(file("s.TN3"));
    // The form of older files: the flag without its settings, here for Alpha only.
    QJsonObject root = readJson(file("s.TN3"));
    QJsonArray datasets = root.value("datasets").toArray();
    QJsonObject alpha = datasets.at(0).toObject();
    alpha.remove("emodulusSettings");
    datasets.replace(0, alpha);
    root.insert("datasets", datasets);
    QFile old(file("old.TN3"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QJsonDocument(root).toJson());
    old.close();

    load(file("old.TN3"));
    ASSERT_TRUE(waitIdle());
    const DatasetEntry& a = Access::entry(w(), 0);
    const DatasetEntry& b = Access::entry(w(), 1);
    EXPECT_FALSE(a.emodApplied);
    EXPECT_FALSE(a.reader->hasFeature("emodulus"));
    EXPECT_TRUE(b.emodApplied);
    EXPECT_TRUE(sameBits(b.reader->getFeature("emodulus"), moduli[1]));
    // One information box names the dataset that lost its modulus, and only that one.
    ASSERT_EQ(prompts().countTitled(QStringLiteral("Load Session")), 2); // the question, the box
    const ScriptedPrompts::Call& box = *prompts().last();
    EXPECT_EQ(box.icon, Prompts::Icon::Information);
    EXPECT_TRUE(box.text.contains(QStringLiteral("Alpha")));
    EXPECT_FALSE(box.text.contains(QStringLiteral("Beta")));
    EXPECT_FALSE(dockChild<QPushButton>("assessQualityButton")->isEnabled());
    // Saved now, Alpha is written without the flag.
    save(file("now.TN3"));
    EXPECT_FALSE(datasetObject(readJson(file("now.TN3")), 0).value("emodApplied").toBool());
}

// Cancelling the recomputation leaves the datasets it did not finish without the flag: no
// assessment and no saved claim of a modulus that is not there.
TEST_F(MainWindowSessionModulusTest, ACancelledRecomputationClearsTheFlag)
{
    computeBoth();
    save(file("s.TN3"));
    ::Tervane3::Test::HeldCalculation held(1); // Alpha is done, Beta is starting when Cancel comes
    load(file("s.TN3"));
    ASSERT_TRUE(held.waitHeld());
    dockChild<QPushButton>("cancelCalculationButton")->click();
    held.release();
    ASSERT_TRUE(waitIdle());

    EXPECT_TRUE(Access::entry(w(), 0).emodApplied);
    EXPECT_TRUE(sameBits(Access::entry(w(), 0).reader->getFeature("emodulus"), moduli[0]));
    const DatasetEntry& beta = Access::entry(w(), 1);
    EXPECT_FALSE(beta.emodApplied);
    EXPECT_FALSE(beta.reader->hasFeature("emodulus"));
    EXPECT_TRUE(Access::statusText(w()).contains(QStringLiteral("cancelled")));
    list()->setCurrentRow(1);
    EXPECT_FALSE(dockChild<QPushButton>("assessQualityButton")->isEnabled());
}

// Catches a restored modulus that did not wait for the restored refinement of the same
// load: the calculators' progress, reported on the worker as each one works, gives the order.
TEST_F(MainWindowSessionModulusTest, TheModulusWaitsForARestoredRefinement)
{
    // Showing the loaded dataset starts the restored refinement in the background first.
    ::Tervane3::Test::writePerEventMeasurement(file("traces.rtdc").toStdString(), ::Tervane3::Test::PerEventContent(), 6);
    open(file("traces.rtdc"));
    dockChild<QPushButton>("refineFluorescenceButton")->click();
    ASSERT_TRUE(waitIdle());
    computeModulus(0);
    const std::vector<double> before = Access::entry(w(), 0).reader->getFeature("emodulus");
    save(file("s.TN3"));

    // "refinement done" is its 100 %, sent once every channel is stored. Shared with the
    // connections, which the window outlives.
    struct Sequence
    {
        std::mutex mutex;
        std::vector<std::string> steps;
        void record(const std::string& step)
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (steps.empty() || steps.back() != step)
                steps.push_back(step);
        }
    };
    const auto sequence = std::make_shared<Sequence>();
    QObject::connect(Access::flRefinement(w()), &FLRefinement::progressChanged, Access::flRefinement(w()),
                     [sequence](int percent) { sequence->record(percent == 100 ? "refinement done" : "refinement"); },
                     Qt::DirectConnection);
    QObject::connect(w().emodulus(), &EModulus::progressChanged, w().emodulus(),
                     [sequence](int) { sequence->record("modulus"); }, Qt::DirectConnection);
    load(file("s.TN3"));
    ASSERT_TRUE(waitIdle());
    const std::lock_guard<std::mutex> lock(sequence->mutex);
    EXPECT_EQ(sequence->steps, (std::vector<std::string>{"refinement", "refinement done", "modulus"}));
    const DatasetEntry& entry = Access::entry(w(), 0);
    EXPECT_TRUE(entry.reader->isComputedFeature("fl1_max_rf"));
    ASSERT_TRUE(entry.reader->isComputedFeature("emodulus"));
    EXPECT_TRUE(sameBits(entry.reader->getFeature("emodulus"), before));
    EXPECT_TRUE(entry.emodApplied);
}

// Catches a Cancel during a loaded session's restoration that stopped only the run in work:
// the restored refinement stopped and the waiting modulus run started at once.
TEST_F(MainWindowSessionModulusTest, OneCancelStopsTheWholeRestoration)
{
    ::Tervane3::Test::writePerEventMeasurement(file("traces.rtdc").toStdString(), ::Tervane3::Test::PerEventContent(), 6);
    open(file("traces.rtdc"));
    dockChild<QPushButton>("refineFluorescenceButton")->click();
    ASSERT_TRUE(waitIdle());
    computeModulus(0);
    save(file("s.TN3"));

    ::Tervane3::Test::HeldCalculation held(0); // the restored refinement, before it starts
    load(file("s.TN3"));
    ASSERT_TRUE(held.waitHeld());
    dockChild<QPushButton>("cancelCalculationButton")->click();
    held.release();
    ASSERT_TRUE(waitIdle());
    // Nothing starts later either.
    QTest::qWait(100);
    ASSERT_FALSE(Access::calcBusy(w()));

    const DatasetEntry& entry = Access::entry(w(), 0);
    EXPECT_FALSE(entry.reader->hasFeature("fl1_max_rf"));
    EXPECT_FALSE(entry.reader->hasFeature("emodulus"));
    EXPECT_FALSE(entry.emodApplied);
    EXPECT_FALSE(dockChild<QPushButton>("assessQualityButton")->isEnabled());
    const QString status = Access::statusText(w());
    EXPECT_TRUE(status.startsWith(QStringLiteral("Restoring the session was cancelled."))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("the refined fluorescence of ") + entry.displayName)) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("the Young's modulus of ") + entry.displayName)) << status.toStdString();
    // Saved now, no modulus is claimed that is not there.
    save(file("now.TN3"));
    EXPECT_FALSE(datasetObject(readJson(file("now.TN3")), 0).value("emodApplied").toBool());
}

// Catches the load's second phase giving a dataset whose modulus was computed while its
// session loaded the file's flag and settings: the column shown was the user's, and a later
// Save recorded settings it was not computed with (or no modulus at all). The duplicate made
// in that phase shares the column, so it records the user's settings too.
TEST_F(MainWindowSessionModulusTest, AModulusComputedWhileTheSessionLoadsKeepsItsSettings)
{
    using ::Tervane3::Test::writeMeasurement;
    writeMeasurement(file("alpha.rtdc").toStdString(), mappable("Alpha", "other"));
    writeMeasurement(file("beta.rtdc").toStdString(), mappable("Beta", "other"));
    writeMeasurement(file("gamma.rtdc").toStdString(), measurement("Gamma"));
    open(file("alpha.rtdc"));
    w().duplicateDataset();
    open(file("beta.rtdc"));
    open(file("gamma.rtdc"));
    const auto computeWithViscosity = [this](int row, double viscosity) {
        list()->setCurrentRow(row);
        dockChild<QDoubleSpinBox>("viscositySpin")->setValue(viscosity);
        computeModulus(row);
    };
    computeWithViscosity(1, 1.002); // the copy's record in the file; Alpha and Beta have none
    save(file("s.TN3"));

    prompts().answerMessage(QStringLiteral("OK"));
    prompts().answerFiles({file("s.TN3")});
    w().loadSession();
    // Alpha caches, Beta waits; Gamma is held back, so the load stands with Alpha and Beta
    // loaded until the user's calculations have ended.
    auto& queue = Access::sessionQueue(w());
    ASSERT_EQ(queue.size(), 2u);
    const auto beta = queue.front();
    queue.pop();
    const auto gamma = queue.front();
    queue.pop();
    queue.push(beta);
    Access::sessionLoading(w()) = false;
    ASSERT_TRUE(::Tervane3::Test::waitForCaching(w()));
    ASSERT_EQ(w().datasets().size(), 2u);
    Access::sessionLoading(w()) = true;

    std::vector<std::vector<double>> computed;
    for (int row = 0; row < 2; ++row) {
        computeWithViscosity(row, 2.004);
        computed.push_back(Access::entry(w(), static_cast<size_t>(row)).reader->getFeature("emodulus"));
    }
    queue.push(gamma);
    Access::continueWaitingWork(w());
    finish();
    ASSERT_TRUE(waitIdle());

    ASSERT_EQ(names(), (std::vector<QString>{QStringLiteral("Alpha"), QStringLiteral("Alpha (copy)"),
                                             QStringLiteral("Beta"), QStringLiteral("Gamma")}));
    const std::vector<double>* columns[3] = {&computed[0], &computed[0], &computed[1]};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const DatasetEntry& entry = Access::entry(w(), i);
        EXPECT_TRUE(entry.emodApplied);
        ASSERT_TRUE(entry.emodulusSettings.has_value());
        EXPECT_EQ(entry.emodulusSettings->manualViscosity, 2.004);
        EXPECT_TRUE(sameBits(entry.reader->getFeature("emodulus"), *columns[i]));
    }
    save(file("again.TN3"));
    const QJsonObject root = readJson(file("again.TN3"));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(datasetObject(root, i).value("emodApplied").toBool());
        EXPECT_EQ(datasetObject(root, i).value("emodulusSettings").toObject().value("manualViscosity").toDouble(), 2.004);
    }
}

// Catches a duplicate that kept the settings of its own, earlier computation after its
// source was computed again: both show the one column of their shared reader.
TEST_F(MainWindowSessionModulusTest, ADuplicateRecordsTheSettingsOfTheColumnItShares)
{
    ::Tervane3::Test::writeMeasurement(file("alpha.rtdc").toStdString(), mappable("Alpha", "other"));
    open(file("alpha.rtdc"));
    w().duplicateDataset();
    for (const auto& [row, viscosity] : {std::pair<int, double>{1, 1.002}, std::pair<int, double>{0, 2.004}}) {
        list()->setCurrentRow(row);
        dockChild<QDoubleSpinBox>("viscositySpin")->setValue(viscosity);
        computeModulus(row);
    }
    save(file("s.TN3"));
    const QJsonObject root = readJson(file("s.TN3"));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Access::entry(w(), static_cast<size_t>(i)).emodulusSettings->manualViscosity, 2.004);
        EXPECT_EQ(datasetObject(root, i).value("emodulusSettings").toObject().value("manualViscosity").toDouble(), 2.004);
    }
}

// Six events of growing ovals (masks 20 x 30, semi-axes 5 and 5 .. 10 pixels), with the
// conditions the fixture table maps, so that the deformation from the Fourier decomposition
// differs from the stored one.
void writeOvalMeasurement(const std::string& path)
{
    constexpr hsize_t rows = 20;
    constexpr hsize_t cols = 30;
    constexpr size_t events = 6;
    ::Tervane3::Test::RtdcFixture fixture(path);
    std::vector<double> area;
    std::vector<std::uint8_t> masks;
    for (size_t i = 0; i < events; ++i) {
        const double a = 5.0 + static_cast<double>(i);
        area.push_back(20.0 + 10.0 * static_cast<double>(i));
        for (hsize_t r = 0; r < rows; ++r)
            for (hsize_t c = 0; c < cols; ++c) {
                const double x = (static_cast<double>(c) - 15.0) / a;
                const double y = (static_cast<double>(r) - 10.0) / 5.0;
                masks.push_back(x * x + y * y <= 1.0 ? 1 : 0);
            }
    }
    fixture.addColumn("area_um", area);
    fixture.addColumn("deform", std::vector<double>(events, 0.01));
    fixture.addFrames("mask", masks, events, rows, cols);
    for (const auto& [key, value] : mappable("Ovals", "other").attributes)
        fixture.addStringAttribute(key, value);
    fixture.close();
}

// Catches a restored modulus computed from the Fourier deformation that failed to come back
// (the session keeps no computed columns, so that deformation was missing) and lost its
// record, so that the next Save dropped it.
TEST_F(MainWindowSessionModulusTest, AModulusFromTheFourierDeformationIsRestored)
{
    writeOvalMeasurement(file("ovals.rtdc").toStdString());
    open(file("ovals.rtdc"));
    dockChild<QDoubleSpinBox>("viscositySpin")->setValue(1.002);
    computeModulus(0);
    const std::vector<double> fromStoredDeform = Access::entry(w(), 0).reader->getFeature("emodulus");
    save(file("s.TN3"));
    // As the expert choice of the deformation source records it: the Fourier column,
    // without the pixelation correction.
    QJsonObject root = readJson(file("s.TN3"));
    QJsonArray datasets = root.value("datasets").toArray();
    QJsonObject dataset = datasets.at(0).toObject();
    QJsonObject settings = dataset.value("emodulusSettings").toObject();
    settings.insert("deformFeature", "deform_fc");
    settings.insert("pixelationCorrection", false);
    dataset.insert("emodulusSettings", settings);
    datasets.replace(0, dataset);
    root.insert("datasets", datasets);
    QFile edited(file("fourier.TN3"));
    ASSERT_TRUE(edited.open(QIODevice::WriteOnly));
    edited.write(QJsonDocument(root).toJson());
    edited.close();

    // The same computation straight through the calculators, on a reader of its own.
    const std::optional<EmodulusSettings> recorded = emodulusSettingsFromJson(settings);
    ASSERT_TRUE(recorded.has_value());
    RTDCReader reference;
    ASSERT_TRUE(reference.open(file("ovals.rtdc").toStdString()));
    FourierDeform fourier;
    ASSERT_TRUE(fourier.compute(&reference));
    ASSERT_TRUE(w().emodulus()->compute(&reference, emodulusParamsOf(*recorded)));
    const std::vector<double> expected = reference.getFeature("emodulus");
    ASSERT_FALSE(sameBits(expected, fromStoredDeform));

    prompts().clear();
    load(file("fourier.TN3"));
    ASSERT_TRUE(waitIdle());
    const DatasetEntry& entry = Access::entry(w(), 0);
    EXPECT_TRUE(entry.fourierApplied);
    EXPECT_TRUE(sameBits(entry.reader->getFeature("deform_fc"), reference.getFeature("deform_fc")));
    EXPECT_TRUE(entry.emodApplied);
    ASSERT_TRUE(entry.reader->isComputedFeature("emodulus"));
    EXPECT_TRUE(sameBits(entry.reader->getFeature("emodulus"), expected));
    EXPECT_EQ(prompts().count(Kind::Message), 1); // the load's question only, no box
    save(file("again.TN3"));
    EXPECT_EQ(datasetObject(readJson(file("again.TN3")), 0).value("emodulusSettings").toObject(), settings);
}

} // namespace
} // namespace Tervane3
