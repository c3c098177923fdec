// The quality dialog on reports of small event sets worked out by hand on a linear fixture
// table: texts, traffic lights, the escaped dataset name, the empty report and the figures
// that have no events behind them.
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

// Events given by their area and their deformation after the pixelation correction.
struct EventSet
{
    std::vector<double> area;
    std::vector<double> deform;
    void add(double a, double d)
    {
        area.push_back(a);
        deform.push_back(d + EModulus::pixelationOffset(a, 0.34));
    }
};

// The assessment of the events on the table 0.1 area + 10 deformation (areas 0 .. 100,
// deformations 0 .. 0.1), with extra indices after those of the events.
EModQualityReport reportOf(const EventSet& events, const std::vector<int>& extraIndices = {})
{
    QTemporaryDir dir;
    EModulus emodulus;
    const QString path = fixture::writeLutFile(
        dir, QStringLiteral("table.txt"),
        fixture::gridTable(fixture::steps(0, 10, 11), fixture::steps(0, 0.01, 11),
                           [](double a, double d) { return 0.1 * a + 10.0 * d; }),
        fixture::tableMetadata);
    EXPECT_TRUE(emodulus.setLutFile(0, path));
    std::vector<int> indices;
    for (size_t i = 0; i < events.area.size(); ++i)
        indices.push_back(static_cast<int>(i));
    indices.insert(indices.end(), extraIndices.begin(), extraIndices.end());
    return emodulus.assessQuality(events.area, events.deform, fixture::tableConditions(), indices);
}

// The quality test's small set: seven mapped (two of them within 0.01 of the lower edge),
// one outside on each side, and a NaN area and two indices beyond the columns that count in
// the total only.
EModQualityReport smallSetReport()
{
    EventSet events;
    for (double d : {0.0, 0.005, 0.02, 0.03, 0.05, 0.07, 0.09})
        events.add(50, d);
    events.add(-1, 0.05);
    events.add(150, 0.05);
    events.add(50, -0.01);
    events.add(50, 0.15);
    events.add(std::numeric_limits<double>::quiet_NaN(), 0.05);
    return reportOf(events, {-1, 1000});
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
    EXPECT_EQ(EModQualityDialog::formatCountPercent(0, 0), QStringLiteral("n/a"));
    EXPECT_EQ(EModQualityDialog::greyLight(),
              QStringLiteral("<span style='color: #9e9e9e; font-size: 16px;'>&#x25CF;</span>"));
}

// Regression: figures without events behind them read 0 under a green light ("Median YM
// (interior only): 0.00 kPa", "Bias: 0.0%" when every mapped event sat near the edge). They
// read "n/a" under a grey light; the counts of the events that exist stay.
TEST(EModQualityDialogTest, FiguresWithoutEventsAreNotAvailable)
{
    const QString grey = QStringLiteral("#9e9e9e");
    struct Headline
    {
        const char* text;
        const QString& light;
    };
    struct Case
    {
        const char* name;
        EventSet events;
        std::vector<Headline> headlines;
        std::vector<const char*> lines;
    };
    EventSet allNearTheEdge;
    for (double d : {0.0, 0.002, 0.004, 0.006, 0.008})
        allNearTheEdge.add(50, d);
    EventSet noneMapped;
    noneMapped.add(500, 0.05);
    noneMapped.add(50, 0.5);
    noneMapped.add(-1, 0.05);
    EventSet oneEvent;
    oneEvent.add(50, 0.05);
    const Case cases[] = {
        {"every mapped event near the edge",
         allNearTheEdge,
         {{"<b>Mapped:</b> 5 (100.0%)", green},
          {"<b>Near low-deformation edge:</b> 5 (100.0%) of mapped events", red},
          {"<b>Bias:</b> n/a", grey}},
         {"Median YM (all mapped): 5.04 kPa", "Median YM (interior only): n/a"}},
        {"no mapped event",
         noneMapped,
         {{"<b>Mapped:</b> 0 (0.0%)", red},
          {"<b>Near low-deformation edge:</b> n/a (no mapped events)", grey},
          {"<b>Median sensitivity:</b> n/a", grey},
          {"<b>Bias:</b> n/a", grey}},
         {"Area too small: 1 (33.3%)", "Area too large: 1 (33.3%)", "Deform too high: 1 (33.3%)",
          "High sensitivity events (>1.0): n/a", "Median YM (all mapped): n/a", "Median YM (interior only): n/a"}},
        // One deformation has no spread: every sensitivity would be 0.
        {"one mapped event",
         oneEvent,
         {{"<b>Mapped:</b> 1 (100.0%)", green},
          {"<b>Near low-deformation edge:</b> 0 (0.0%) of mapped events", green},
          {"<b>Median sensitivity:</b> n/a", grey},
          {"<b>Bias:</b> 0.0%", green}},
         {"High sensitivity events (>1.0): n/a", "Median YM (all mapped): 5.50 kPa",
          "Median YM (interior only): 5.50 kPa"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EModQualityReport report = reportOf(c.events);
        ASSERT_TRUE(report.valid);
        EModQualityDialog dialog(report, QStringLiteral("x"));
        const QStringList texts = labelTexts(dialog);
        EXPECT_EQ(dialog.findChildren<QGroupBox*>().size(), 4);
        for (const Headline& h : c.headlines) {
            SCOPED_TRACE(h.text);
            const QLabel* label = labelWith(dialog, QString::fromUtf8(h.text));
            ASSERT_NE(label, nullptr) << texts.join('\n').toStdString();
            EXPECT_TRUE(label->text().startsWith(QStringLiteral("<span style='color: ") + h.light))
                << label->text().toStdString();
            EXPECT_TRUE(label->text().endsWith(QString::fromUtf8(h.text))) << label->text().toStdString();
        }
        for (const char* line : c.lines)
            EXPECT_TRUE(texts.contains(QString::fromUtf8(line))) << line << "\n" << texts.join('\n').toStdString();
    }
}

} // namespace
} // namespace Tervane3
