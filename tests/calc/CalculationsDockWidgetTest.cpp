// The calculations panel on its own: the Young's-modulus records it builds from metadata and
// from what it shows, the viscosity and temperature controls, the page selector, the
// crosstalk table with its cell editor, and the Cancel button beside the progress bar.
#include "calc/CalculationsDockWidget.h"

#include "calc/EModulusParams.h"
#include "core/Metadata.h"

#include "support/TestSupport.h"

#include <QAbstractItemDelegate>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace Tervane3 {
namespace {

Metadata setupMetadata(std::map<std::string, std::string> setup, std::map<std::string, std::string> imaging = {})
{
    Metadata m;
    m.setup = std::move(setup);
    m.imaging = std::move(imaging);
    return m;
}

class CalculationsDockWidgetTest : public ::testing::Test
{
protected:
    template<typename T>
    T* child(const char* name)
    {
        T* widget = dock.findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton* button(const char* name) { return child<QPushButton>(name); }
    QDoubleSpinBox* viscosity() { return child<QDoubleSpinBox>("viscositySpin"); }
    QDoubleSpinBox* temperature() { return child<QDoubleSpinBox>("temperatureSpin"); }
    QRadioButton* radio(const char* name) { return child<QRadioButton>(name); }

    CalculationsDockWidget dock;
};

TEST_F(CalculationsDockWidgetTest, EmodulusParamsFromMetadata)
{
    const struct
    {
        const char* name;
        Metadata metadata;
        bool eventChecked;
        bool datasetHasTemp;
        int medium, model, source;
        double temperature, channelWidth, flowRate, pixelSize;
        int fallbackNotes;
    } cases[] = {
        {"Tavrisol, Meta",
         setupMetadata({{"medium", "Tavrisol"}, {"channel width", "20"}, {"flow rate", "0.16"}, {"temperature", "24"}},
                       {{"pixel size", "0.34"}}),
         false, true, 0, 0, 2, 24.0, 20.0, 0.16, 0.34, 0},
        {"TavrisolB", setupMetadata({{"medium", "TavrisolB"}, {"channel width", "30"}, {"flow rate", "0.12"}},
                                    {{"pixel size", "0.68"}}),
         false, false, 1, 0, 2, 23.0, 30.0, 0.12, 0.68, 0},
        {"water in lower case", setupMetadata({{"medium", "water"}, {"channel width", "20"}, {"flow rate", "0.04"}},
                                              {{"pixel size", "0.34"}}),
         false, false, 2, 1, 2, 23.0, 20.0, 0.04, 0.34, 0},
        {"WATER is unknown", setupMetadata({{"medium", "WATER"}, {"channel width", "20"}, {"flow rate", "0.04"}},
                                           {{"pixel size", "0.34"}}),
         false, false, 4, 3, 2, 23.0, 20.0, 0.04, 0.34, 0},
        {"MC-PBS", setupMetadata({{"medium", "MC-PBS 0.83%"}, {"channel width", "20"}, {"flow rate", "0.04"}},
                                 {{"pixel size", "0.34"}}),
         false, false, 3, 3, 2, 23.0, 20.0, 0.04, 0.34, 0},
        {"every key missing", Metadata(), false, false, 4, 3, 2, 23.0, 20.0, 0.04, 0.34, 3},
        {"a unit after the number, zero flow rate, metadata temperature 0",
         setupMetadata({{"medium", "Tavrisol"}, {"channel width", "20 um"}, {"flow rate", "0"}, {"temperature", "0"}},
                       {{"pixel size", "-1"}}),
         false, false, 0, 0, 2, 23.0, 20.0, 0.04, 0.34, 3},
        {"Event with per-event temperatures",
         setupMetadata({{"medium", "Tavrisol"}, {"channel width", "20"}, {"flow rate", "0.16"}, {"temperature", "30"}},
                       {{"pixel size", "0.34"}}),
         true, true, 0, 0, 1, 23.0, 20.0, 0.16, 0.34, 0},
        {"Event without the feature temp takes the spin box",
         setupMetadata({{"medium", "Tavrisol"}, {"channel width", "20"}, {"flow rate", "0.16"}, {"temperature", "30"}},
                       {{"pixel size", "0.34"}}),
         true, false, 0, 0, 0, 23.0, 20.0, 0.16, 0.34, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        radio(c.eventChecked ? "eventTemperatureRadio" : "metaTemperatureRadio")->setChecked(true);
        QStringList notes;
        const EModulusParams p = dock.emodulusParams(c.metadata, c.datasetHasTemp, &notes);
        EXPECT_EQ(p.medium, c.medium);
        EXPECT_EQ(p.viscosityModel, c.model);
        EXPECT_EQ(p.temperatureSource, c.source);
        EXPECT_DOUBLE_EQ(p.temperature, c.temperature);
        EXPECT_DOUBLE_EQ(p.channelWidth, c.channelWidth);
        EXPECT_DOUBLE_EQ(p.flowRate, c.flowRate);
        EXPECT_DOUBLE_EQ(p.pixelSize, c.pixelSize);
        EXPECT_EQ(p.manualViscosity, c.model == 3 ? 1.0 : 0.0);
        EXPECT_EQ(p.deformFeature, "deform");
        EXPECT_TRUE(p.pixelationCorrection);
        EXPECT_EQ(notes.size(), c.fallbackNotes) << notes.join(QLatin1Char('|')).toStdString();
    }
}

TEST_F(CalculationsDockWidgetTest, ShownMetadataAndViscosity)
{
    const struct
    {
        const char* name;
        Metadata metadata;
        const char* medium;
        const char* model;
        const char* width;
        const char* flow;
        const char* pixel;
        double temperature;
        double shownViscosity; // mPa·s, three decimals
        bool editable;
    } cases[] = {
        {"Tavrisol at 24 °C",
         setupMetadata({{"medium", "Tavrisol"}, {"channel width", "20.000000"}, {"flow rate", "0.16"},
                        {"temperature", "24"}},
                       {{"pixel size", "0.34"}}),
         "Tavrisol", "Herold-2017", "20 µm", "0.16 µL/s", "0.34 µm", 24.0, 3.635, false},
        {"water at 25 °C", setupMetadata({{"medium", "Water"}, {"temperature", "25"}}), "Water", "Kestin-1978", "—",
         "—", "—", 25.0, 0.890, false},
        {"MC-PBS, recorded temperature 0", setupMetadata({{"medium", "0.83% MC-PBS"}, {"temperature", "0"}}),
         "0.83% MC-PBS", "Manual", "—", "—", "—", 23.0, 1.0, true},
        {"unknown medium", setupMetadata({{"medium", "Glycerol"}}), "Glycerol (unknown)", "Manual", "—", "—", "—",
         23.0, 1.0, true},
        {"no medium", Metadata(), "— (unknown)", "Manual", "—", "—", "—", 23.0, 1.0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dock.showEmodulusMetadata(c.metadata, false);
        EXPECT_EQ(child<QLabel>("mediumLabel")->text(), QString::fromUtf8(c.medium));
        QComboBox* models = child<QComboBox>("viscosityModelCombo");
        ASSERT_EQ(models->count(), 1);
        EXPECT_EQ(models->currentText(), QString::fromUtf8(c.model));
        EXPECT_EQ(child<QLabel>("channelWidthLabel")->text(), QString::fromUtf8(c.width));
        EXPECT_EQ(child<QLabel>("flowRateLabel")->text(), QString::fromUtf8(c.flow));
        EXPECT_EQ(child<QLabel>("pixelSizeLabel")->text(), QString::fromUtf8(c.pixel));
        EXPECT_DOUBLE_EQ(temperature()->value(), c.temperature);
        EXPECT_TRUE(temperature()->isReadOnly()); // "Meta" is checked
        EXPECT_EQ(viscosity()->text(), QString::number(c.shownViscosity, 'f', 3) + QStringLiteral(" mPa·s"));
        EXPECT_EQ(viscosity()->isReadOnly(), !c.editable);
        EXPECT_EQ(viscosity()->buttonSymbols(),
                  c.editable ? QAbstractSpinBox::UpDownArrows : QAbstractSpinBox::NoButtons);
    }

    // Under "Manual" the viscosity follows the typed temperature.
    dock.showEmodulusMetadata(setupMetadata({{"medium", "Water"}}), false);
    radio("manualTemperatureRadio")->click();
    EXPECT_FALSE(temperature()->isReadOnly());
    temperature()->setValue(20.0);
    EXPECT_EQ(viscosity()->text(), QStringLiteral("1.002 mPa·s"));
}

// Regression: the spin box showed the last computed viscosity (3.635 for a Tavrisol dataset)
// when a Manual-medium dataset came next, and that value became the Manual dataset's
// viscosity, in single runs and in apply-to-all runs alike.
TEST_F(CalculationsDockWidgetTest, TheManualViscosityIsKeptApartFromComputedOnes)
{
    const Metadata tavrisol = setupMetadata(
        {{"medium", "Tavrisol"}, {"channel width", "20"}, {"flow rate", "0.16"}, {"temperature", "24"}});
    const Metadata mcPbs = setupMetadata({{"medium", "0.83% MC-PBS"}});
    dock.showEmodulusMetadata(tavrisol, false);
    EXPECT_NEAR(viscosity()->value(), 3.635, 5e-4);
    dock.showEmodulusMetadata(mcPbs, false);
    EXPECT_DOUBLE_EQ(viscosity()->value(), 1.0);
    EXPECT_DOUBLE_EQ(dock.emodulusParamsFromUi().manualViscosity, 1.0);

    viscosity()->setValue(2.5); // typed
    dock.showEmodulusMetadata(tavrisol, false);
    EXPECT_NEAR(viscosity()->value(), 3.635, 5e-4);
    EXPECT_DOUBLE_EQ(dock.emodulusParams(mcPbs, false).manualViscosity, 2.5);
    EXPECT_DOUBLE_EQ(dock.emodulusParams(tavrisol, false).manualViscosity, 0.0);
    dock.showEmodulusMetadata(mcPbs, false);
    EXPECT_DOUBLE_EQ(viscosity()->value(), 2.5);
    const EModulusParams fromUi = dock.emodulusParamsFromUi();
    EXPECT_EQ(fromUi.viscosityModel, EModulusParams::ModelManual);
    EXPECT_DOUBLE_EQ(fromUi.manualViscosity, 2.5);
}

TEST_F(CalculationsDockWidgetTest, TemperatureSources)
{
    const Metadata withTemperature = setupMetadata({{"medium", "Tavrisol"}, {"temperature", "30"}});
    dock.showEmodulusMetadata(withTemperature, true);
    EXPECT_TRUE(radio("eventTemperatureRadio")->isEnabled());
    radio("eventTemperatureRadio")->click();
    EXPECT_FALSE(temperature()->isVisibleTo(&dock));
    EXPECT_EQ(dock.emodulusParamsFromUi().temperatureSource, EModulusParams::TemperaturePerEvent);

    // The next dataset has no "temp": "Event" is disabled and "Meta" takes over.
    dock.showEmodulusMetadata(setupMetadata({{"medium", "Tavrisol"}, {"temperature", "0"}}), false);
    EXPECT_FALSE(radio("eventTemperatureRadio")->isEnabled());
    EXPECT_TRUE(radio("metaTemperatureRadio")->isChecked());
    EXPECT_TRUE(temperature()->isVisibleTo(&dock));
    EXPECT_DOUBLE_EQ(temperature()->value(), 23.0);
    EXPECT_DOUBLE_EQ(dock.metadataTemperature(), 23.0);

    radio("manualTemperatureRadio")->click();
    temperature()->setValue(31.5);
    const EModulusParams manual = dock.emodulusParamsFromUi();
    EXPECT_EQ(manual.temperatureSource, EModulusParams::TemperatureManual);
    EXPECT_DOUBLE_EQ(manual.temperature, 31.5);
    EXPECT_DOUBLE_EQ(dock.emodulusParams(withTemperature, true).temperature, 31.5);
}

TEST_F(CalculationsDockWidgetTest, ParamsFromTheShownValuesUseTheMetadataFallbacks)
{
    // Regression: values the page shows as unknown ("—") used to give 0 here and the
    // metadata defaults in the apply-to-all record, so one dataset got two different moduli.
    dock.showEmodulusMetadata(setupMetadata({{"medium", "Tavrisol"}}), false);
    QStringList notes;
    const EModulusParams shown = dock.emodulusParamsFromUi(&notes);
    const EModulusParams fromMetadata = dock.emodulusParams(setupMetadata({{"medium", "Tavrisol"}}), false);
    EXPECT_EQ(notes.size(), 3);
    for (const EModulusParams& p : {shown, fromMetadata}) {
        EXPECT_DOUBLE_EQ(p.channelWidth, 20.0);
        EXPECT_DOUBLE_EQ(p.flowRate, 0.04);
        EXPECT_DOUBLE_EQ(p.pixelSize, 0.34);
        EXPECT_EQ(p.medium, 0);
        EXPECT_EQ(p.viscosityModel, 0);
    }

    dock.showEmodulusMetadata(
        setupMetadata({{"medium", "Water"}, {"channel width", "30"}, {"flow rate", "0.12"}}, {{"pixel size", "0.68"}}),
        false);
    notes.clear();
    const EModulusParams p = dock.emodulusParamsFromUi(&notes);
    EXPECT_TRUE(notes.isEmpty());
    EXPECT_DOUBLE_EQ(p.channelWidth, 30.0);
    EXPECT_DOUBLE_EQ(p.flowRate, 0.12);
    EXPECT_DOUBLE_EQ(p.pixelSize, 0.68);
    EXPECT_EQ(p.viscosityModel, EModulusParams::ModelKestin1978);
}

TEST_F(CalculationsDockWidgetTest, DeformationSourcesStayHiddenOutsideExpertMode)
{
    dock.setDeformationSources(false, true, true);
    auto* combo = child<QComboBox>("deformationSourceCombo");
    EXPECT_EQ(combo->count(), 3);
    EXPECT_FALSE(combo->isVisibleTo(&dock));
    EXPECT_EQ(dock.deformationSource(), "deform");

    dock.setDeformationSources(true, true, true);
    combo->setCurrentIndex(2);
    EXPECT_EQ(dock.deformationSource(), "deform_odd");
    EXPECT_EQ(dock.emodulusParamsFromUi().deformFeature, "deform_odd");
    EXPECT_FALSE(dock.emodulusParamsFromUi().pixelationCorrection);
    // The choice survives a refill that still offers it, and falls back when it does not.
    dock.setDeformationSources(true, false, true);
    EXPECT_EQ(dock.deformationSource(), "deform_odd");
    dock.setDeformationSources(true, true, false);
    EXPECT_EQ(dock.deformationSource(), "deform");
}

TEST_F(CalculationsDockWidgetTest, ExpertPagesAndButtons)
{
    auto* selector = child<QComboBox>("calcPageSelector");
    ASSERT_EQ(selector->count(), 6);
    selector->setCurrentIndex(4);
    dock.setExpertPagesVisible(false);
    EXPECT_EQ(selector->currentIndex(), 0);
    auto* view = qobject_cast<QListView*>(selector->view());
    ASSERT_NE(view, nullptr);
    for (int row = 0; row < 6; ++row)
        EXPECT_EQ(view->isRowHidden(row), row >= 2) << row;

    for (const char* name : {"refineFluorescenceButton", "compensateCrosstalkButton", "computeEmodulusButton",
                             "assessQualityButton", "computeFourierDeformButton", "computeImageFeaturesButton"})
        EXPECT_FALSE(button(name)->isEnabled()) << name;
    dock.setComputeImageFeaturesEnabled(true);
    dock.setAssessQualityEnabled(true);
    dock.setCompensateCrosstalkEnabled(true);
    dock.setComputeEmodulusEnabled(true);
    dock.setComputeFourierDeformEnabled(true);
    dock.setRefineFluorescenceEnabled(true);
    dock.setDataset(nullptr);
    EXPECT_TRUE(button("computeImageFeaturesButton")->isEnabled());
    // Without a dataset there is no modulus to assess.
    for (const char* name : {"refineFluorescenceButton", "compensateCrosstalkButton", "computeEmodulusButton",
                             "assessQualityButton", "computeFourierDeformButton"})
        EXPECT_FALSE(button(name)->isEnabled()) << name;

    QSignalSpy emod(&dock, &CalculationsDockWidget::computeEmodulus);
    QSignalSpy assess(&dock, &CalculationsDockWidget::assessEmodQuality);
    dock.setComputeEmodulusEnabled(true);
    dock.setAssessQualityEnabled(true);
    button("computeEmodulusButton")->click();
    button("assessQualityButton")->click();
    EXPECT_EQ(emod.count(), 1);
    EXPECT_EQ(assess.count(), 1);
    EXPECT_TRUE(dock.useFilteredData());
    EXPECT_FALSE(dock.emodulusApplyToAll());
}

TEST_F(CalculationsDockWidgetTest, CrosstalkTable)
{
    auto* table = child<QTableWidget>("crosstalkTable");
    dock.setCrosstalkChannels({1, 2, 3});
    ASSERT_EQ(table->rowCount(), 3);
    ASSERT_EQ(table->columnCount(), 3);
    EXPECT_EQ(table->horizontalHeaderItem(2)->text(), QStringLiteral("FL-3"));
    EXPECT_EQ(table->verticalHeaderItem(0)->text(), QStringLiteral("FL-1"));
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QTableWidgetItem* item = table->item(r, c);
            EXPECT_EQ(item->text(), r == c ? QStringLiteral("1.0") : QStringLiteral("0.0"));
            EXPECT_EQ(bool(item->flags() & Qt::ItemIsEditable), r != c);
            if (r == c) {
                EXPECT_EQ(item->background().color(), QColor(230, 230, 230));
            }
        }
    }
    EXPECT_TRUE(arma::approx_equal(dock.crosstalkMatrix(), arma::mat(arma::eye(3, 3)), "absdiff", 0.0));

    table->item(0, 1)->setText(QStringLiteral("0.1"));
    table->item(1, 0)->setText(QStringLiteral("2e-1"));
    table->item(2, 0)->setText(QStringLiteral("0,3")); // not a number: 0
    table->item(1, 1)->setText(QStringLiteral("5"));   // the diagonal is always 1
    const arma::mat read = dock.crosstalkMatrix();
    const arma::mat expected = {{1, 0.1, 0}, {0.2, 1, 0}, {0, 0, 1}};
    EXPECT_TRUE(arma::approx_equal(read, expected, "absdiff", 0.0)) << read;

    const arma::mat stored = {{1, 0.123456789, 0}, {0.05, 1, 0}, {0, 0, 1}};
    dock.setCrosstalkMatrix(stored, {1, 2, 3});
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("0.123457"));
    EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("5"));
    dock.setCrosstalkMatrix(arma::eye(2, 2), {1, 2}); // of another size: ignored
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("0.123457"));
    dock.setCrosstalkChannels({4, 5});
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("0.0"));
}

// Regression: a value typed with a decimal comma ("0,1") was taken into the table and then
// read as 0 without any sign; the cell editor takes C-notation numbers only and leaves the
// cell as it was otherwise.
TEST_F(CalculationsDockWidgetTest, TheCellEditorTakesCNotationNumbersOnly)
{
    auto* table = child<QTableWidget>("crosstalkTable");
    dock.setCrosstalkChannels({1, 2});
    QAbstractItemDelegate* delegate = table->itemDelegate();
    const QModelIndex index = table->model()->index(0, 1);
    const struct
    {
        const char* typed;
        const char* stored;
    } cases[] = {{"0.1", "0.1"}, {"0,1", "0.0"}, {"-2.5e-2", "-2.5e-2"}, {"1e", "0.0"}, {"abc", "0.0"}, {".5", ".5"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        table->item(0, 1)->setText(QStringLiteral("0.0"));
        std::unique_ptr<QWidget> editor(delegate->createEditor(table->viewport(), QStyleOptionViewItem(), index));
        auto* line = qobject_cast<QLineEdit*>(editor.get());
        ASSERT_NE(line, nullptr);
        line->clear();
        QTest::keyClicks(line, QString::fromLatin1(c.typed));
        EXPECT_EQ(line->text(), QString::fromLatin1(c.typed)); // nothing typed is dropped
        delegate->setModelData(line, table->model(), index);
        EXPECT_EQ(table->item(0, 1)->text(), QString::fromLatin1(c.stored));
    }
}

TEST_F(CalculationsDockWidgetTest, TheCancelButtonFollowsTheProgressBar)
{
    auto* cancel = button("cancelCalculationButton");
    EXPECT_FALSE(cancel->isVisibleTo(&dock));
    QSignalSpy spy(&dock, &CalculationsDockWidget::cancelCalculation);
    dock.progressBar()->show();
    EXPECT_TRUE(cancel->isVisibleTo(&dock));
    EXPECT_TRUE(cancel->isEnabled());
    cancel->click();
    cancel->click();
    EXPECT_EQ(spy.count(), 1);
    EXPECT_FALSE(cancel->isEnabled());
    dock.progressBar()->hide();
    EXPECT_FALSE(cancel->isVisibleTo(&dock));
    dock.progressBar()->show();
    EXPECT_TRUE(cancel->isEnabled());
}

TEST_F(CalculationsDockWidgetTest, TraceFilterSettingsFollowThePage)
{
    const TraceFilterSettings defaults;
    const TraceFilterSettings shown = dock.traceFilterSettings();
    EXPECT_EQ(shown.hampel1Enabled, defaults.hampel1Enabled);
    EXPECT_EQ(shown.hampel1HalfWindow, defaults.hampel1HalfWindow);
    EXPECT_EQ(shown.hampel2HalfWindow, defaults.hampel2HalfWindow);
    EXPECT_EQ(shown.medianEnabled, defaults.medianEnabled);
    EXPECT_EQ(shown.rollingMeanEnabled, defaults.rollingMeanEnabled);
    EXPECT_EQ(shown.savitzkyGolayEnabled, defaults.savitzkyGolayEnabled);
    EXPECT_EQ(shown.savitzkyGolayHalfWindow, defaults.savitzkyGolayHalfWindow);
    EXPECT_EQ(shown.flMaxThreshold, defaults.flMaxThreshold);

    child<QCheckBox>("median")->setChecked(true);
    child<QSpinBox>("medianHalfWindow")->setValue(7);
    child<QCheckBox>("hampel1")->setChecked(false);
    child<QSpinBox>("savitzkyGolayHalfWindow")->setValue(25); // capped at 20
    child<QDoubleSpinBox>("flMaxThresholdSpin")->setValue(123);
    const TraceFilterSettings changed = dock.traceFilterSettings();
    EXPECT_TRUE(changed.medianEnabled);
    EXPECT_EQ(changed.medianHalfWindow, 7);
    EXPECT_FALSE(changed.hampel1Enabled);
    EXPECT_EQ(changed.savitzkyGolayHalfWindow, 20);
    EXPECT_EQ(changed.flMaxThreshold, 123.0);
    EXPECT_EQ(changed.hampel1Threshold, 3.0f);
    EXPECT_EQ(changed.hampel2Threshold, 3.0f);

    QSignalSpy spy(&dock, &CalculationsDockWidget::traceDisplayChanged);
    child<QCheckBox>("showRefinedTrace")->click();
    child<QCheckBox>("showRefinedTrace")->click();
    EXPECT_EQ(spy.count(), 2);
}

} // namespace
} // namespace Tervane3
