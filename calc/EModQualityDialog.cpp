// Builds the quality dialog from a report; every text is made once, at construction.
#include "calc/EModQualityDialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

namespace Tervane3 {

namespace {

QLabel* makeRichLabel(const QString& html, QWidget* parent)
{
    auto* label = new QLabel(html, parent);
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    return label;
}

QLabel* makeIndentedLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setContentsMargins(20, 0, 0, 0);
    return label;
}

QGroupBox* makeGroup(const QString& title, QVBoxLayout* dialogLayout, QWidget* parent)
{
    auto* group = new QGroupBox(title, parent);
    new QVBoxLayout(group);
    dialogLayout->addWidget(group);
    return group;
}

void addRich(QGroupBox* group, const QString& html)
{
    group->layout()->addWidget(makeRichLabel(html, group));
}

void addIndented(QGroupBox* group, const QString& text)
{
    group->layout()->addWidget(makeIndentedLabel(text, group));
}

} // namespace

namespace {

const QString kNotAvailable = QStringLiteral("n/a");

QString light(const char* colour)
{
    return QStringLiteral("<span style='color: %1; font-size: 16px;'>&#x25CF;</span>").arg(QLatin1String(colour));
}

QString kiloPascal(double value, bool available)
{
    return available ? QStringLiteral("%1 kPa").arg(value, 0, 'f', 2) : kNotAvailable;
}

} // namespace

QString EModQualityDialog::formatCountPercent(int count, int total)
{
    if (total <= 0)
        return kNotAvailable;
    return QStringLiteral("%1 (%2%)").arg(count).arg(count * 100.0 / total, 0, 'f', 1);
}

QString EModQualityDialog::trafficLight(double value, double greenBelow, double amberBelow)
{
    return light(value < greenBelow ? "#2e7d32" : value < amberBelow ? "#f9a825" : "#c62828");
}

QString EModQualityDialog::greyLight()
{
    return light("#9e9e9e");
}

EModQualityDialog::EModQualityDialog(const EModQualityReport& report, const QString& datasetName, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("YM Quality Assessment"));
    setMinimumWidth(420);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeRichLabel(QStringLiteral("<b>Dataset:</b> %1").arg(datasetName.toHtmlEscaped()), this));

    if (report.valid && report.total > 0) {
        const double unmapped = 1.0 - static_cast<double>(report.mapped) / report.total;
        QGroupBox* coverage = makeGroup(QStringLiteral("Coverage"), layout, this);
        addRich(coverage, QStringLiteral("%1 <b>Mapped:</b> %2")
                              .arg(trafficLight(unmapped, 0.05, 0.2), formatCountPercent(report.mapped, report.total)));
        addIndented(coverage, QStringLiteral("Area too small: %1").arg(formatCountPercent(report.areaTooSmall, report.total)));
        addIndented(coverage, QStringLiteral("Area too large: %1").arg(formatCountPercent(report.areaTooLarge, report.total)));
        addIndented(coverage, QStringLiteral("Deform too low: %1").arg(formatCountPercent(report.deformTooLow, report.total)));
        addIndented(coverage, QStringLiteral("Deform too high: %1").arg(formatCountPercent(report.deformTooHigh, report.total)));

        // A figure without events behind it is no good result: it reads "n/a" under a grey
        // light, never 0 under a green one.
        const bool anyMapped = report.mapped > 0;
        QGroupBox* boundary = makeGroup(QStringLiteral("Boundary Proximity"), layout, this);
        if (anyMapped) {
            const double nearShare = static_cast<double>(report.nearEdge) / report.mapped;
            addRich(boundary, QStringLiteral("%1 <b>Near low-deformation edge:</b> %2 of mapped events")
                                  .arg(trafficLight(nearShare, 0.1, 0.3),
                                       formatCountPercent(report.nearEdge, report.mapped)));
        } else {
            addRich(boundary, QStringLiteral("%1 <b>Near low-deformation edge:</b> n/a (no mapped events)").arg(greyLight()));
        }
        addIndented(boundary, QStringLiteral("Events within 10% of the local lower LUT boundary at their cell size"));
        addIndented(boundary, QStringLiteral("These events yield less reliable (lower-bound) YM estimates"));

        // No spread (one event, or most at one deformation) makes every sensitivity 0.
        const bool sensitivityKnown = anyMapped && report.sensitivityCount > 0 &&
                                      std::isfinite(report.deformationSpread) && report.deformationSpread > 0.0;
        QGroupBox* sensitivity = makeGroup(QStringLiteral("Gradient Sensitivity"), layout, this);
        addRich(sensitivity, QStringLiteral("%1 <b>Median sensitivity:</b> %2")
                                 .arg(sensitivityKnown ? trafficLight(report.medianSensitivity, 0.3, 0.7) : greyLight(),
                                      sensitivityKnown ? QString::number(report.medianSensitivity, 'f', 3)
                                                       : kNotAvailable));
        addIndented(sensitivity,
                    QStringLiteral("|dE/dd| * MAD(deform) / E — ratio of propagated deformation uncertainty to YM value"));
        addIndented(sensitivity, QStringLiteral("High sensitivity events (>1.0): %1")
                                     .arg(sensitivityKnown
                                              ? formatCountPercent(report.highSensitivityCount, report.mapped)
                                              : kNotAvailable));

        // The bias compares with the interior median: without interior events there is none.
        const bool interiorKnown = report.mapped - report.nearEdge > 0 && report.medianEmodulusInterior > 1e-10;
        QGroupBox* bias = makeGroup(QStringLiteral("Population Bias"), layout, this);
        addRich(bias, QStringLiteral("%1 <b>Bias:</b> %2")
                          .arg(interiorKnown ? trafficLight(report.bias, 0.05, 0.15) : greyLight(),
                               interiorKnown ? QString::number(report.bias * 100.0, 'f', 1) + QLatin1Char('%')
                                             : kNotAvailable));
        addIndented(bias, QStringLiteral("Median YM (all mapped): %1").arg(kiloPascal(report.medianEmodulusAll, anyMapped)));
        addIndented(bias, QStringLiteral("Median YM (interior only): %1")
                              .arg(kiloPascal(report.medianEmodulusInterior, report.mapped - report.nearEdge > 0)));
    } else {
        layout->addWidget(new QLabel(QStringLiteral("No data available for quality assessment."), this));
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

EModQualityDialog::~EModQualityDialog() = default;

} // namespace Tervane3
