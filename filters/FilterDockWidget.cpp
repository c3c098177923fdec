// The filter panel's frame.
#include "filters/FilterDockWidget.h"

#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace Tervane3 {

FilterDockWidget::FilterDockWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    datasetFilterBox = new QGroupBox(QStringLiteral("Active Dataset Filter"), this);
    auto* boxLayout = new QVBoxLayout(datasetFilterBox);
    statusLabel = new QLabel(QStringLiteral("No dataset selected"), datasetFilterBox);
    statusLabel->setStyleSheet(
        QStringLiteral("QLabel { padding: 3px; color: #606468; font-style: italic; }"));
    boxLayout->addWidget(statusLabel);
    boxLayout->addStretch();
    datasetFilterBox->setEnabled(false);
    layout->addWidget(datasetFilterBox, 1);
}

void FilterDockWidget::setDataset(DatasetEntry* entry)
{
    dataset = entry;
    datasetFilterBox->setEnabled(entry != nullptr);
    statusLabel->setText(entry ? QStringLiteral("No filter active") : QStringLiteral("No dataset selected"));
}

void FilterDockWidget::setDatasetCount(int count)
{
    datasetCount = count;
}

void FilterDockWidget::refreshFeatureLists()
{
}

} // namespace Tervane3
