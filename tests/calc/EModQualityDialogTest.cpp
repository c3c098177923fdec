// The quality dialog on the report of a small event set worked out by hand on a linear
// fixture table: texts, traffic lights, the escaped dataset name and the empty report.
#include "calc/EModQualityDialog.h"

#include "calc/EModulus.h"

#include "LutFixture.h"
#include "support/TestSupport.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace Tervane3 {
namespace {

namespace fixture = ::Tervane3::Test;

const QString green = QStringLiteral("#2e7d32");
const QString amber = QStringLiteral("#f9a825");
const QString red = QStringLiteral("#c62828");

QStringList labelTexts(const QWidget& widget)
{
    QStringList texts;
    for (const QLabel* label : widget.findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

// The label whose text contains the fragment, or null.
const QLabel* labelWith(const QWidget& widget, const QString& fragment)
{
    for (const QLabel* label : widget.findChildren<QLabel*>()) {
        if (label->text().contains(fragment))
            return label;
    }
    return nullptr;
}

// The events of the quality test's small set on the table 0.1 area + 10 deformation: seven
// mapped (two of them within 0.01 of the lower edge), one outside on each side, and a NaN
// area and two indices beyond the columns that count in the total only.
EModQualityReport smallSetReport()
{
    QTemporaryDir dir;
    EModulus emodulus;
    const QString path = fixture::writeLutFile(
        dir, QStringLiteral("table.txt"),
        fixture::gridTable(fixture::steps(0, 10, 11), fixture::steps(0, 0.01, 11),
                           [](double a, double d) { return 0.1 * a + 10.0 * d; }),
        fixture::tableMetadata);
    EXPECT_TRUE(emodulus.setLutFile(0, path));
    std::vector<double> area, deform;
    const auto add = [&](double a, double d) {
        area.push_back(a);
        deform.push_back(d + EModulus::pixelationOffset(a, 0.34));
    };
    for (double d : {0.0, 0.005, 0.02, 0.03, 0.05, 0.07, 0.09})
        add(50, d);
    add(-1, 0.05);
    add(150, 0.05);
    add(50, -0.01);
    add(50, 0.15);
    add(std::numeric_limits<double>::quiet_NaN(), 0.05);
    std::vector<int> indices;
    for (int i = 0; i < 12; ++i)
        indices.push_back(i);
    indices.push_back(-1);
    indices.push_back(1000);
    return emodulus.assessQuality(area, deform, fixture::tableConditions(), indices);
}

TEST(EModQualityDialogTest, FiguresAndLightsOfASmallEventSet)
{
    const EModQualityReport report = smallSetReport();
    ASSERT_TRUE(report.valid);
    ASSERT_EQ(report.total, 14);
    ASSERT_EQ(report.mapped, 7);
    EModQualityDialog dialog(report, QStringLiteral("Sample <A> & B"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("YM Quality Assessment"));
    EXPECT_EQ(dialog.minimumWidth(), 420);

    const QStringList texts = labelTexts(dialog);
    EXPECT_TRUE(texts.contains(QStringLiteral("<b>Dataset:</b> Sample &lt;A&gt; &amp; B"))) << texts.join('\n').toStdString();

    const struct
    {
        const char* headline;
        const QString& light;
    } headlines[] = {
        {"<b>Mapped:</b> 7 (50.0%)", red},
        {"<b>Near low-deformation edge:</b> 2 (28.6%) of mapped events", amber},
        {"<b>Median sensitivity:</b> 0.070", green},
        {"<b>Bias:</b> 3.6%", green},
    };
    for (const auto& h : headlines) {
        SCOPED_TRACE(h.headline);
        const QLabel* label = labelWith(dialog, QString::fromLatin1(h.headline));
        ASSERT_NE(label, nullptr) << texts.join('\n').toStdString();
        EXPECT_TRUE(label->text().startsWith(QStringLiteral("<span style='color: ") + h.light)) << label->text().toStdString();
        EXPECT_EQ(label->textFormat(), Qt::RichText);
    }
    for (const char* line : {"Area too small: 1 (7.1%)", "Area too large: 1 (7.1%)", "Deform too low: 1 (7.1%)",
                             "Deform too high: 1 (7.1%)", "High sensitivity events (>1.0): 0 (0.0%)",
                             "Median YM (all mapped): 5.30 kPa", "Median YM (interior only): 5.50 kPa"}) {
        SCOPED_TRACE(line);
        const QLabel* label = labelWith(dialog, QString::fromLatin1(line));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromLatin1(line));
        EXPECT_EQ(label->contentsMargins().left(), 20);
    }
    QStringList groups;
    for (const QGroupBox* group : dialog.findChildren<QGroupBox*>())
        groups << group->title();
    EXPECT_EQ(groups, (QStringList{QStringLiteral("Coverage"), QStringLiteral("Boundary Proximity"),
                                   QStringLiteral("Gradient Sensitivity"), QStringLiteral("Population Bias")}));

    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(accepted.count(), 1);
}

TEST(EModQualityDialogTest, NoDataWithoutAValidReportOrEvents)
{
    EModQualityReport invalid;
    EModQualityReport empty;
    empty.valid = true;
    for (const EModQualityReport& report : {invalid, empty}) {
        EModQualityDialog dialog(report, QStringLiteral("x"));
        EXPECT_NE(labelWith(dialog, QStringLiteral("No data available for quality assessment.")), nullptr);
        EXPECT_TRUE(dialog.findChildren<QGroupBox*>().isEmpty());
        EXPECT_NE(dialog.findChild<QDialogButtonBox*>(), nullptr);
    }
}

TEST(EModQualityDialogTest, LightLimitsAndCountTexts)
{
    const struct
    {
        double value;
        const QString& light;
    } cases[] = {{0.0, green}, {0.0499, green}, {0.05, amber}, {0.1999, amber}, {0.2, red}, {1.0, red}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_TRUE(EModQualityDialog::trafficLight(c.value, 0.05, 0.2).contains(c.light));
    }
    EXPECT_EQ(EModQualityDialog::trafficLight(0, 0.05, 0.2),
              QStringLiteral("<span style='color: #2e7d32; font-size: 16px;'>&#x25CF;</span>"));
    EXPECT_EQ(EModQualityDialog::formatCountPercent(1, 3), QStringLiteral("1 (33.3%)"));
    EXPECT_EQ(EModQualityDialog::formatCountPercent(0, 0), QStringLiteral("0 (0.0%)"));
    // A mapped set with no mapped event: every light's share is 0 of 0.
    EModQualityReport none;
    none.valid = true;
    none.total = 4;
    none.areaTooSmall = 4;
    EModQualityDialog dialog(none, QStringLiteral("x"));
    const QLabel* coverage = labelWith(dialog, QStringLiteral("<b>Mapped:</b> 0 (0.0%)"));
    ASSERT_NE(coverage, nullptr);
    EXPECT_TRUE(coverage->text().contains(red));
    EXPECT_NE(labelWith(dialog, QStringLiteral("<b>Near low-deformation edge:</b> 0 (0.0%) of mapped events")), nullptr);
}

} // namespace
} // namespace Tervane3
