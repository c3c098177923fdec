// The polygon-gate row of the filter panel.
#include "filters/PolygonRuleWidget.h"

#include "core/RTDCReader.h"
#include "filters/FilterPanelParts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace Tervane3 {

PolygonRuleWidget::PolygonRuleWidget(std::shared_ptr<RTDCReader> rowReader, QWidget* parent)
    : RuleRowWidget(std::move(rowReader), parent)
{
    QHBoxLayout* line1 = createRowLayout();
    auto* icon = new QLabel(this);
    icon->setPixmap(createPolygonGateIcon(32, devicePixelRatioF()));
    icon->setToolTip(QStringLiteral("Polygon gate"));
    icon->setFixedSize(32, 32);
    icon->setAlignment(Qt::AlignCenter);
    featuresLabel = new QLabel(this);
    featuresLabel->setObjectName(QStringLiteral("featuresLabel"));
    featuresLabel->setWordWrap(true);
    pointsLabel = new QLabel(this);
    pointsLabel->setObjectName(QStringLiteral("pointsLabel"));
    pointsLabel->setStyleSheet(QStringLiteral("color: #787c82;"));
    line1->addWidget(enabledCheck);
    line1->addWidget(icon, 0, Qt::AlignVCenter);
    line1->addWidget(featuresLabel, 1);
    line1->addWidget(pointsLabel, 0, Qt::AlignVCenter);
    line1->addWidget(removeButton);

    auto* line2 = new QHBoxLayout;
    line2->setContentsMargins(20, 0, 0, 0);
    line2->setSpacing(8);
    editButton = new QPushButton(QStringLiteral("Edit"), this);
    editButton->setObjectName(QStringLiteral("editButton"));
    editButton->setCheckable(true);
    editButton->setFixedHeight(16);
    editButton->setStyleSheet(QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; }"
                                             "QPushButton:checked { background-color: #a6d7d5; color: #00abad; "
                                             "border: 1px solid #00abad; }"));
    editButton->setToolTip(QStringLiteral("Edit polygon: drag vertices to reshape, left-click on an edge to add a "
                                          "vertex, right-click a vertex to delete. Press Esc or click Edit again "
                                          "to finish."));
    line2->addWidget(invertCheck);
    line2->addStretch();
    line2->addWidget(editButton);
    rowLayout->addLayout(line2);
    rowLayout->addLayout(createAllButtonsLine());

    connectFlagBoxes();
    connectButtons();
    connect(editButton, &QPushButton::toggled, this, &PolygonRuleWidget::editToggled);
}

void PolygonRuleWidget::setRule(const FilterRule& shown)
{
    storedRule = shown;
    {
        const QSignalBlocker blockEnabled(enabledCheck);
        const QSignalBlocker blockInvert(invertCheck);
        enabledCheck->setChecked(inGroup || shown.enabled);
        invertCheck->setChecked(shown.inverted);
    }
    const QString xText = QString::fromStdString(reader ? reader->featureLabel(shown.featureName) : shown.featureName);
    const QString yText =
        QString::fromStdString(reader ? reader->featureLabel(shown.featureNameY) : shown.featureNameY);
    unavailable = !(reader && reader->hasFeature(shown.featureName) && reader->hasFeature(shown.featureNameY));
    featuresLabel->setText(xText + QStringLiteral(" vs ") + yText +
                           (unavailable ? QStringLiteral(" (n/a)") : QString()));
    pointsLabel->setText(QStringLiteral("(%1 pts)").arg(shown.polygonVertices.size()));
    enabledCheck->setEnabled(!unavailable);
    refreshAllButtons();
}

FilterRule PolygonRuleWidget::rule() const
{
    FilterRule shown = storedRule;
    shown.enabled = inGroup || enabledCheck->isChecked();
    shown.inverted = invertCheck->isChecked();
    return shown;
}

void PolygonRuleWidget::setPropagationId(const std::string& id)
{
    storedRule.propagationId = id;
    refreshAllButtons();
}

void PolygonRuleWidget::setEditChecked(bool on)
{
    const QSignalBlocker blocker(editButton);
    editButton->setChecked(on);
}

bool PolygonRuleWidget::isEditChecked() const
{
    return editButton->isChecked();
}

} // namespace Tervane3
