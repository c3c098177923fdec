// The export dialog's states: scope x format x what the datasets hold, the tooltips, and
// the options of the previous export put back.
#include "io/ExportDialog.h"

#include "ExportTestSupport.h"
#include "app/ScriptedPrompts.h"
#include "support/RtdcFixture.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

namespace Tervane3 {
namespace fx = ::Tervane3::Test;
namespace {

const QColor grey(160, 160, 160);

class ExportDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // a: the active dataset with images only; b: a further feature, masks and traces.
        const std::string a = dir.filePath(QStringLiteral("a.rtdc")).toStdString();
        {
            fx::RtdcFixture f(a);
            f.addColumn<double>("deform", {0.1, 0.2});
            f.addColumn<double>("area_um", {1, 2});
            f.addFrames("image", std::vector<std::uint8_t>(2 * 6, 1), 2, 2, 3);
        }
        const std::string b = dir.filePath(QStringLiteral("b.rtdc")).toStdString();
        {
            fx::RtdcFixture f(b);
            f.addColumn<double>("area_um", {1, 2});
            f.addColumn<double>("bright_avg", {1, 2});
            f.addFrames("image", std::vector<std::uint8_t>(2 * 6, 1), 2, 2, 3);
            f.addFrames("mask", std::vector<std::uint8_t>(2 * 6, 1), 2, 2, 3);
            f.addTrace<float>("fl1_raw", std::vector<float>(2 * 4, 1.0f), 2, 4);
        }
        datasets.push_back(fx::openEntry(a, 0));
        datasets.push_back(fx::openEntry(b, 1));
        ASSERT_TRUE(datasets[0] && datasets[1]);
    }

    std::unique_ptr<ExportDialog> make(const ExportOptions* previous = nullptr, bool expert = false)
    {
        return std::make_unique<ExportDialog>(datasets[0].get(), datasets, expert, nullptr, previous);
    }
    template <typename W>
    static W* get(ExportDialog& d, const char* name)
    {
        W* w = d.findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static QCheckBox* feature(ExportDialog& d, const char* key)
    {
        return get<QCheckBox>(d, (std::string("feature_") + key).c_str());
    }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<DatasetEntry>> datasets;
};

TEST_F(ExportDialogTest, FeatureListActiveFirstThenOthers)
{
    auto d = make();
    std::vector<std::string> order;
    for (QCheckBox* box : d->findChildren<QCheckBox*>())
        if (box->objectName().startsWith(QLatin1String("feature_")))
            order.push_back(box->objectName().mid(8).toStdString());
    EXPECT_EQ(order, (std::vector<std::string>{"area_um", "deform", "bright_avg"}));
    EXPECT_EQ(feature(*d, "area_um")->text().toStdString(), "Area [µm²]  [area_um]");
    QCheckBox* other = feature(*d, "bright_avg");
    EXPECT_FALSE(other->isChecked());
    EXPECT_TRUE(other->isHidden());
    EXPECT_EQ(other->palette().color(QPalette::Active, QPalette::WindowText), grey);
    EXPECT_EQ(other->toolTip().toStdString(), "Not available in current dataset (available in other datasets)");

    // "Select All" checks only what is shown; the scope "All datasets" shows the others.
    get<QPushButton>(*d, "deselectAllButton")->click();
    get<QPushButton>(*d, "selectAllButton")->click();
    EXPECT_EQ(d->options().features, (std::vector<std::string>{"area_um", "deform"}));
    get<QRadioButton>(*d, "scopeAllRadio")->setChecked(true);
    EXPECT_FALSE(other->isHidden());
    get<QPushButton>(*d, "selectAllButton")->click();
    EXPECT_EQ(d->options().features, (std::vector<std::string>{"area_um", "deform", "bright_avg"}));
    // Back to the current dataset: hidden again, but still chosen; "Deselect All" clears it.
    get<QRadioButton>(*d, "scopeCurrentRadio")->setChecked(true);
    EXPECT_TRUE(other->isHidden());
    EXPECT_EQ(d->options().features.size(), 3u);
    get<QPushButton>(*d, "deselectAllButton")->click();
    EXPECT_TRUE(d->options().features.empty());
}

TEST_F(ExportDialogTest, NonScalarDataByScopeAndFormat)
{
    struct State
    {
        bool checked;
        bool enabled;
        const char* tip;
        bool greyText;
    };
    struct Case
    {
        const char* name;
        const char* scope;
        const char* format;
        State images, masks, traces;
        bool featuresEnabled;
        bool aviOptionsShown;
    };
    const char* otherTip = "Not available in current dataset (available in other datasets)";
    const Case cases[] = {
        {"rtdc current", "scopeCurrentRadio", "formatRtdcRadio",
         {true, true, "", false}, {false, false, "", false}, {false, false, "", false}, true, false},
        {"rtdc all", "scopeAllRadio", "formatRtdcRadio",
         {true, true, "", false}, {false, true, otherTip, true}, {false, true, otherTip, true}, true, false},
        {"tsv", "scopeCurrentRadio", "formatTsvRadio",
         {false, false, "Not available in TSV format", false}, {false, false, "Not available in TSV format", false},
         {false, false, "Not available in TSV format", false}, true, false},
        {"avi", "scopeAllRadio", "formatAviRadio",
         {true, false, "Images are always included in AVI export", false},
         {false, false, "Only images are exported in AVI format", false},
         {false, false, "Only images are exported in AVI format", false}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto d = make();
        get<QRadioButton>(*d, c.scope)->setChecked(true);
        get<QRadioButton>(*d, c.format)->setChecked(true);
        const std::pair<const char*, State> boxes[] = {
            {"imagesCheck", c.images}, {"masksCheck", c.masks}, {"tracesCheck", c.traces}};
        for (const auto& [name, state] : boxes) {
            SCOPED_TRACE(name);
            QCheckBox* box = get<QCheckBox>(*d, name);
            EXPECT_EQ(box->isChecked(), state.checked);
            EXPECT_EQ(box->isEnabled(), state.enabled);
            EXPECT_EQ(box->toolTip().toStdString(), state.tip);
            EXPECT_EQ(box->palette().color(QPalette::Active, QPalette::WindowText) == grey, state.greyText);
        }
        EXPECT_EQ(feature(*d, "area_um")->isEnabled(), c.featuresEnabled);
        EXPECT_TRUE(feature(*d, "area_um")->isChecked()); // AVI keeps the check marks
        EXPECT_EQ(!get<QGroupBox>(*d, "aviOptionsGroup")->isHidden(), c.aviOptionsShown);
    }
}

TEST_F(ExportDialogTest, BackFromTsvChecksWhatTheDatasetHolds)
{
    auto d = make();
    get<QRadioButton>(*d, "formatTsvRadio")->setChecked(true);
    get<QRadioButton>(*d, "formatRtdcRadio")->setChecked(true);
    EXPECT_TRUE(get<QCheckBox>(*d, "imagesCheck")->isChecked());
    EXPECT_FALSE(get<QCheckBox>(*d, "masksCheck")->isChecked());
    EXPECT_TRUE(get<QCheckBox>(*d, "imagesCheck")->toolTip().isEmpty());
}

TEST_F(ExportDialogTest, ReanalysisOnlyInExpertMode)
{
    for (bool expert : {false, true}) {
        auto d = make(nullptr, expert);
        EXPECT_EQ(!get<QCheckBox>(*d, "reanalysisCheck")->isHidden(), expert);
    }
}

TEST_F(ExportDialogTest, PreviousOptionsComeBack)
{
    ExportOptions previous;
    previous.features = {"deform", "bright_avg", "no_longer_listed"};
    previous.avi = true;
    previous.aviMjpeg = false;
    previous.skipDuplicateFrames = true;
    previous.forReanalysis = true;
    previous.customDirectory = false;
    previous.directory = "/somewhere/else";
    previous.allDatasets = true;
    auto d = make(&previous);
    const ExportOptions o = d->options();
    EXPECT_TRUE(o.allDatasets);
    EXPECT_TRUE(o.avi);
    EXPECT_FALSE(o.aviMjpeg);
    EXPECT_TRUE(o.skipDuplicateFrames);
    EXPECT_FALSE(o.forReanalysis); // never put back
    EXPECT_EQ(o.features, (std::vector<std::string>{"deform", "bright_avg"}));
    // The folder text comes back even though the custom folder was not used.
    EXPECT_EQ(o.directory, "/somewhere/else");
    EXPECT_FALSE(get<QLineEdit>(*d, "directoryEdit")->isEnabled());
}

TEST_F(ExportDialogTest, PreviousMasksSurviveOnlyForAllDatasets)
{
    ExportOptions previous;
    previous.masks = true;
    previous.traces = true;
    previous.images = false;
    previous.allDatasets = true;
    auto all = make(&previous);
    EXPECT_TRUE(all->options().masks);
    EXPECT_FALSE(all->options().images);
    previous.allDatasets = false;
    auto current = make(&previous);
    // With the current dataset only, the boxes follow what it holds.
    EXPECT_FALSE(current->options().masks);
    EXPECT_TRUE(current->options().images);
}

TEST_F(ExportDialogTest, SingleDatasetCannotChooseAll)
{
    datasets.pop_back();
    ExportOptions previous;
    previous.allDatasets = true;
    auto d = make(&previous);
    QRadioButton* all = get<QRadioButton>(*d, "scopeAllRadio");
    EXPECT_EQ(all->text().toStdString(), "All datasets (1)");
    EXPECT_FALSE(all->isEnabled());
    EXPECT_FALSE(d->options().allDatasets);
}

TEST_F(ExportDialogTest, FolderFieldAndBrowse)
{
    ScriptedPromptsGuard prompts;
    auto d = make();
    QLineEdit* folder = get<QLineEdit>(*d, "directoryEdit");
    EXPECT_EQ(folder->text(), dir.path());
    EXPECT_FALSE(get<QPushButton>(*d, "browseButton")->isEnabled());
    get<QCheckBox>(*d, "customDirCheck")->setChecked(true);
    EXPECT_TRUE(folder->isEnabled());
    prompts->answerFiles({QStringLiteral("/chosen")});
    get<QPushButton>(*d, "browseButton")->click();
    EXPECT_EQ(prompts->last()->title.toStdString(), "Select Output Directory");
    EXPECT_EQ(prompts->last()->text, dir.path());
    EXPECT_EQ(d->options().directory, "/chosen");
    get<QPushButton>(*d, "browseButton")->click(); // cancelled: unchanged
    EXPECT_EQ(d->options().directory, "/chosen");
}

} // namespace
} // namespace Tervane3
