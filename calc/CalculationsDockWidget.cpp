// The calculations panel's frame: page selector, stacked pages, the shared progress bar with
// its Cancel button, the request buttons' setters, and the two small expert pages (Fourier
// deformation, image features). The other pages are built in their own files.
#include "calc/CalculationsDockWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace Tervane3 {

namespace {

// The shared progress bar; whoever shows or hides it (the main window's launcher, the
// dimension-reduction flows) shows or hides the Cancel button with it, and a new run's bar
// brings the button back enabled.
class ProgressBarWithCancel : public QProgressBar
{
public:
    ProgressBarWithCancel(QPushButton* cancelButton, QWidget* parent)
        : QProgressBar(parent)
        , cancel(cancelButton)
    {
    }

    void setVisible(bool visible) override
    {
        QProgressBar::setVisible(visible);
        if (visible)
            cancel->setEnabled(true);
        cancel->setVisible(visible);
    }

private:
    QPushButton* cancel;
};

} // namespace

CalculationsDockWidget::CalculationsDockWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    pageSelector = new QComboBox(this);
    pageSelector->setObjectName(QStringLiteral("calcPageSelector"));
    pages = new QStackedWidget(this);
    layout->addWidget(pageSelector);
    layout->addWidget(pages, 1);

    // Pages in selector order; the selector's row i shows page i.
    const std::pair<QString, QWidget*> rows[] = {
        {QStringLiteral("Young's Modulus"), buildEmodulusPage()},
        {QStringLiteral("Crosstalk Compensation"), buildCrosstalkPage()},
        {QStringLiteral("FL Refinement"), buildRefinementPage()},
        {QStringLiteral("Deformation from Fourier Decomposition"), buildFourierPage()},
        {QStringLiteral("Image Feature Extraction"), buildImageFeaturesPage()},
        {QStringLiteral("Dimension Reduction"), buildDimRedPage()},
    };
    for (const auto& [text, page] : rows) {
        pageSelector->addItem(text);
        pages->addWidget(page);
    }
    connect(pageSelector, QOverload<int>::of(&QComboBox::currentIndexChanged), pages,
            &QStackedWidget::setCurrentIndex);

    // The bar and its Cancel button: hidden until a calculation starts.
    auto* progressRow = new QHBoxLayout;
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    progress = new ProgressBarWithCancel(cancelButton, this);
    progress->setObjectName(QStringLiteral("calcProgressBar"));
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(true);
    cancelButton->setObjectName(QStringLiteral("cancelCalculationButton"));
    cancelButton->setToolTip(QStringLiteral("Stop the calculation. The dataset in work keeps what it had; "
                                            "datasets already done keep their results."));
    progressRow->addWidget(progress, 1);
    progressRow->addWidget(cancelButton);
    layout->addLayout(progressRow);
    progress->hide();
    connect(cancelButton, &QPushButton::clicked, this, [this] {
        // One request per run: the button comes back with the next run's bar.
        cancelButton->setEnabled(false);
        emit cancelCalculation();
    });
}

CalculationsDockWidget::~CalculationsDockWidget() = default;

QPushButton* CalculationsDockWidget::makeButton(const QString& text, const char* name)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setEnabled(false);
    return button;
}

QCheckBox* CalculationsDockWidget::makeApplyToAllBox(const char* name)
{
    auto* box = new QCheckBox(QStringLiteral("Apply to All Datasets"), this);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QWidget* CalculationsDockWidget::makePage(const QString& text, const std::vector<QWidget*>& widgets, int spacing)
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0);
    if (spacing >= 0)
        layout->setSpacing(spacing);
    if (!text.isEmpty()) {
        auto* label = new QLabel(text, page);
        label->setWordWrap(true);
        label->setStyleSheet(QStringLiteral("color: gray; font-size: 10px;"));
        layout->addWidget(label);
    }
    for (QWidget* w : widgets) {
        w->setParent(page);
        layout->addWidget(w);
    }
    layout->addStretch();
    return page;
}

QWidget* CalculationsDockWidget::buildFourierPage()
{
    fourierApplyToAllCheck = makeApplyToAllBox("fourierApplyToAll");
    computeFourierDeformButton = makeButton(QStringLiteral("Compute Fourier Deformation"), "computeFourierDeformButton");
    connect(computeFourierDeformButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeFourierDeform);
    return makePage(QStringLiteral("Decomposes each cell's contour into Fourier components and stores the "
                                   "deformation of the odd and even components only. Requires segmentation masks."),
                    {fourierApplyToAllCheck, computeFourierDeformButton});
}

QWidget* CalculationsDockWidget::buildImageFeaturesPage()
{
    imageFeaturesApplyToAllCheck = makeApplyToAllBox("imageFeaturesApplyToAll");
    computeImageFeaturesButton = makeButton(QStringLiteral("Compute Image Features"), "computeImageFeaturesButton");
    connect(computeImageFeaturesButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeImageFeatures);
    return makePage(QStringLiteral("Extracts brightness-distribution, texture (LBP), radial-profile, spectral and "
                                   "focus features from each cell's image within its mask. Requires images and "
                                   "segmentation masks."),
                    {imageFeaturesApplyToAllCheck, computeImageFeaturesButton}, 4);
}

void CalculationsDockWidget::setExpertPagesVisible(bool visible)
{
    auto* model = qobject_cast<QStandardItemModel*>(pageSelector->model());
    auto* view = qobject_cast<QListView*>(pageSelector->view());
    for (int row = 0; row < pageSelector->count(); ++row) {
        const QString text = pageSelector->itemText(row);
        const bool expert = row == 2 || text == QLatin1String("Deformation from Fourier Decomposition")
                            || text == QLatin1String("Image Feature Extraction")
                            || text == QLatin1String("Dimension Reduction");
        if (!expert)
            continue;
        if (model && model->item(row))
            model->item(row)->setEnabled(visible);
        if (view)
            view->setRowHidden(row, !visible);
        if (!visible && pageSelector->currentIndex() == row)
            pageSelector->setCurrentIndex(0);
    }
}

void CalculationsDockWidget::setDataset(const DatasetEntry* dataset)
{
    if (dataset) {
        refineFluorescenceButton->setEnabled(true);
    } else {
        refineFluorescenceButton->setEnabled(false);
        compensateCrosstalkButton->setEnabled(false);
        computeEmodulusButton->setEnabled(false);
        // Nothing to assess without a dataset (the last one may have had its modulus).
        assessQualityButton->setEnabled(false);
        computeFourierDeformButton->setEnabled(false);
    }
    refreshFeatures(dataset);
}

void CalculationsDockWidget::setRefineFluorescenceEnabled(bool enabled)
{
    refineFluorescenceButton->setEnabled(enabled);
}

void CalculationsDockWidget::setCompensateCrosstalkEnabled(bool enabled)
{
    compensateCrosstalkButton->setEnabled(enabled);
}

void CalculationsDockWidget::setComputeEmodulusEnabled(bool enabled)
{
    computeEmodulusButton->setEnabled(enabled);
}

void CalculationsDockWidget::setAssessQualityEnabled(bool enabled)
{
    assessQualityButton->setEnabled(enabled);
}

void CalculationsDockWidget::setComputeFourierDeformEnabled(bool enabled)
{
    computeFourierDeformButton->setEnabled(enabled);
}

void CalculationsDockWidget::setComputeImageFeaturesEnabled(bool enabled)
{
    computeImageFeaturesButton->setEnabled(enabled);
}

bool CalculationsDockWidget::fourierApplyToAll() const
{
    return fourierApplyToAllCheck->isChecked();
}

bool CalculationsDockWidget::imageFeaturesApplyToAll() const
{
    return imageFeaturesApplyToAllCheck->isChecked();
}

} // namespace Tervane3
