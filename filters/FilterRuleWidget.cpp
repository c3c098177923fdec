// The range-rule row of the filter panel.
#include "filters/FilterRuleWidget.h"

#include "core/RTDCReader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

const QString kPlaceholderSuffix = QStringLiteral(" (n/a)");
constexpr int kMaxDecimals = 10;
constexpr double kSpinLimit = 1e15;

// A value rounded to the decimals as a QDoubleSpinBox rounds it when it is set.
double roundedTo(double value, int decimals)
{
    return QString::number(value, 'f', decimals).toDouble();
}

// The fewest decimals, from `least` up to 10, that show the value exactly.
int decimalsShowing(double value, int least)
{
    if (!std::isfinite(value))
        return least;
    for (int decimals = least; decimals < kMaxDecimals; ++decimals) {
        if (roundedTo(value, decimals) == value)
            return decimals;
    }
    return kMaxDecimals;
}

// A combo sized for 16 characters without measuring its items: rows are made by the dozen,
// each offering every feature, and measuring all labels (or switching the size policy,
// which builds the popup at once) made a rebuild of the panel several times slower.
class FeatureCombo : public QComboBox
{
public:
    using QComboBox::QComboBox;
    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            cachedHint = QSize();
        QComboBox::changeEvent(event);
    }
    QSize sizeHint() const override
    {
        if (!cachedHint.isValid()) {
            QStyleOptionComboBox option;
            initStyleOption(&option);
            const QSize text(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 16, fontMetrics().height());
            cachedHint = style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, this);
        }
        return cachedHint;
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    mutable QSize cachedHint;
};

QDoubleSpinBox* boundSpin(const QString& objectName, const QString& toolTip, int maxWidth, QWidget* parent)
{
    auto* spin = new QDoubleSpinBox(parent);
    spin->setObjectName(objectName);
    spin->setToolTip(toolTip);
    spin->setRange(-kSpinLimit, kSpinLimit);
    spin->setMaximumWidth(maxWidth);
    return spin;
}

} // namespace

FilterRuleWidget::FilterRuleWidget(const std::vector<std::string>& features, std::shared_ptr<RTDCReader> rowReader,
                                   QWidget* parent)
    : RuleRowWidget(std::move(rowReader), parent)
{
    QHBoxLayout* line1 = createRowLayout();
    featureCombo = new FeatureCombo(this);
    featureCombo->setObjectName(QStringLiteral("featureCombo"));
    featureCombo->setMinimumWidth(140);
    line1->addWidget(enabledCheck);
    line1->addWidget(featureCombo, 1);
    line1->addWidget(removeButton);

    auto* line2 = new QHBoxLayout;
    line2->setContentsMargins(20, 0, 0, 0);
    line2->setSpacing(4);
    const int spinWidth = fontMetrics().horizontalAdvance(QStringLiteral("-1234567.89")) + 30;
    minSpin = boundSpin(QStringLiteral("minSpin"), QStringLiteral("Minimum value (inclusive)"), spinWidth, this);
    maxSpin = boundSpin(QStringLiteral("maxSpin"), QStringLiteral("Maximum value (inclusive)"), spinWidth, this);
    auto* dash = new QLabel(QStringLiteral("\u2013"), this);
    dash->setAlignment(Qt::AlignCenter);
    line2->addWidget(minSpin);
    line2->addWidget(dash);
    line2->addWidget(maxSpin);
    line2->addSpacing(12);
    line2->addWidget(invertCheck);
    line2->addStretch();
    rowLayout->addLayout(line2);
    rowLayout->addLayout(createAllButtonsLine());

    for (const std::string& key : features) {
        const QString text = reader ? QString::fromStdString(reader->featureLabel(key)) : QString::fromStdString(key);
        featureCombo->addItem(text, QString::fromStdString(key));
    }
    availableFeatures = features;
    if (featureCombo->count() > 0)
        onFeatureChanged(0);

    connect(featureCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FilterRuleWidget::onFeatureChanged);
    connect(minSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this](double value) {
        minValue = value;
        reportChange(true);
    });
    connect(maxSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this](double value) {
        maxValue = value;
        reportChange(true);
    });
    connectFlagBoxes();
    connectButtons();
}

void FilterRuleWidget::onFeatureChanged(int)
{
    if (!reader)
        return;
    const std::string key = featureCombo->currentData(Qt::UserRole).toString().toStdString();
    if (key.empty() || std::find(availableFeatures.begin(), availableFeatures.end(), key) == availableFeatures.end())
        return;
    if (unavailable)
        removePlaceholder();
    if (const auto range = reader->finiteRange(key)) {
        // Rounded to the grid of the decimals, then one grid step outward when rounding put
        // the bound inside the data, so that the fresh rule keeps every finite event.
        const int decimals = chooseColumnGrid(*range);
        const double grid = std::pow(10.0, -decimals);
        double lo = roundedTo(range->min, decimals);
        if (lo > range->min)
            lo = roundedTo(lo - grid, decimals);
        double hi = roundedTo(range->max, decimals);
        if (hi < range->max)
            hi = roundedTo(hi + grid, decimals);
        minValue = lo;
        maxValue = hi;
        showBounds();
    }
    // Also without a finite value (bounds kept): the stored rule must follow the feature
    // the row shows.
    reportChange(false);
}

int FilterRuleWidget::chooseColumnGrid(const RTDCReader::FiniteRange& range)
{
    const double span = range.max - range.min;
    columnDecimals = span < 0.1 ? 6 : span < 1 ? 4 : span < 100 ? 2 : 1;
    const double step = span > 0 ? span / 100.0 : 0.01;
    minSpin->setSingleStep(step);
    maxSpin->setSingleStep(step);
    return columnDecimals;
}

void FilterRuleWidget::removePlaceholder()
{
    {
        const QSignalBlocker blocker(featureCombo);
        for (int i = featureCombo->count() - 1; i >= 0; --i) {
            if (featureCombo->itemText(i).endsWith(kPlaceholderSuffix)) {
                featureCombo->removeItem(i);
                break;
            }
        }
    }
    unavailable = false;
    updateWidgetsEnabled();
}

void FilterRuleWidget::appendPlaceholder(const QString& key)
{
    featureCombo->addItem(key + kPlaceholderSuffix, key);
    featureCombo->setCurrentIndex(featureCombo->count() - 1);
    unavailable = true;
}

void FilterRuleWidget::updateWidgetsEnabled()
{
    enabledCheck->setEnabled(!unavailable);
    minSpin->setEnabled(!unavailable);
    maxSpin->setEnabled(!unavailable);
}

void FilterRuleWidget::showBounds()
{
    const QSignalBlocker blockMin(minSpin);
    const QSignalBlocker blockMax(maxSpin);
    minSpin->setDecimals(decimalsShowing(minValue, columnDecimals));
    maxSpin->setDecimals(decimalsShowing(maxValue, columnDecimals));
    minSpin->setValue(minValue);
    maxSpin->setValue(maxValue);
}

void FilterRuleWidget::setRule(const FilterRule& shown)
{
    {
        const QSignalBlocker blockEnabled(enabledCheck);
        const QSignalBlocker blockInvert(invertCheck);
        const QSignalBlocker blockCombo(featureCombo);
        const QSignalBlocker blockMin(minSpin);
        const QSignalBlocker blockMax(maxSpin);
        const QSignalBlocker blockRow(this);
        enabledCheck->setChecked(inGroup || shown.enabled);
        invertCheck->setChecked(shown.inverted);
        if (unavailable)
            removePlaceholder();
        const QString key = QString::fromStdString(shown.featureName);
        const int found = featureCombo->findData(key, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (found >= 0) {
            featureCombo->setCurrentIndex(found);
            // The column's decimals and step; the bounds are the rule's.
            if (const auto range = reader ? reader->finiteRange(shown.featureName) : std::nullopt)
                chooseColumnGrid(*range);
        } else if (!key.isEmpty()) {
            appendPlaceholder(key);
        }
        minValue = shown.minValue;
        maxValue = shown.maxValue;
        showBounds();
    }
    ruleId = shown.propagationId;
    boundEdit = false;
    refreshAllButtons();
    updateWidgetsEnabled();
}

FilterRule FilterRuleWidget::rule() const
{
    FilterRule shown;
    shown.type = RangeRule;
    shown.featureName = featureCombo->currentData(Qt::UserRole).toString().toStdString();
    shown.minValue = minValue;
    shown.maxValue = maxValue;
    shown.enabled = inGroup || enabledCheck->isChecked();
    shown.inverted = invertCheck->isChecked();
    shown.propagationId = ruleId;
    return shown;
}

void FilterRuleWidget::setPropagationId(const std::string& id)
{
    ruleId = id;
    refreshAllButtons();
}

void FilterRuleWidget::setAvailableFeatures(const std::vector<std::string>& features)
{
    if (features == availableFeatures)
        return;
    availableFeatures = features;
    const QString current = featureCombo->currentData(Qt::UserRole).toString();
    {
        const QSignalBlocker blocker(featureCombo);
        featureCombo->clear();
        for (const std::string& key : features) {
            const QString text =
                reader ? QString::fromStdString(reader->featureLabel(key)) : QString::fromStdString(key);
            featureCombo->addItem(text, QString::fromStdString(key));
        }
        int index = featureCombo->findData(current, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
        unavailable = false;
        if (index < 0 && !current.isEmpty()) {
            featureCombo->addItem(current + kPlaceholderSuffix, current);
            index = featureCombo->count() - 1;
            unavailable = true;
        }
        if (index >= 0)
            featureCombo->setCurrentIndex(index);
    }
    updateWidgetsEnabled();
}

} // namespace Tervane3
