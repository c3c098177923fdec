// The fluorescence pages of the calculations panel: the spillover-matrix table of the
// crosstalk compensation and the trace filters of the peak refinement.
#include "calc/CalculationsDockWidget.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QValidator>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace Tervane3 {

namespace {

// Matrix cells take numbers in C notation only ("0.1", "-2e-3"). Whatever is typed stays
// visible in the editor; text that is no such number (a decimal comma, "1e") is marked red,
// Enter does not take it, and leaving the cell restores its old value, so a typed "0,1" never
// becomes 0 (or 01) unseen.
class SpilloverCellValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override
    {
        static const QRegularExpression number(
            QStringLiteral(R"(\A\s*[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?\s*\z)"));
        return number.match(input).hasMatch() ? Acceptable : Intermediate;
    }
};

class SpilloverCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setValidator(new SpilloverCellValidator(editor));
        QObject::connect(editor, &QLineEdit::textChanged, editor, [editor] {
            editor->setStyleSheet(editor->hasAcceptableInput() ? QString()
                                                               : QStringLiteral("QLineEdit { color: #c62828; }"));
        });
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line || !line->hasAcceptableInput())
            return;
        bool ok = false;
        line->text().toDouble(&ok);
        if (ok)
            model->setData(index, line->text().trimmed(), Qt::EditRole);
    }
};

} // namespace

QWidget* CalculationsDockWidget::buildCrosstalkPage()
{
    crosstalkTable = new QTableWidget(this);
    crosstalkTable->setObjectName(QStringLiteral("crosstalkTable"));
    crosstalkTable->setSelectionMode(QAbstractItemView::SingleSelection);
    crosstalkTable->setItemDelegate(new SpilloverCellDelegate(crosstalkTable));
    crosstalkApplyToAllCheck = makeApplyToAllBox("crosstalkApplyToAll");
    compensateCrosstalkButton = makeButton(QStringLiteral("Compensate Crosstalk"), "compensateCrosstalkButton");
    connect(compensateCrosstalkButton, &QPushButton::clicked, this, &CalculationsDockWidget::compensateCrosstalk);
    return makePage(QString(), {crosstalkTable, crosstalkApplyToAllCheck, compensateCrosstalkButton});
}

void CalculationsDockWidget::setCrosstalkChannels(const std::vector<int>& channels)
{
    const QSignalBlocker blocker(crosstalkTable);
    const int n = static_cast<int>(channels.size());
    crosstalkTable->clear();
    crosstalkTable->setRowCount(n);
    crosstalkTable->setColumnCount(n);
    QStringList headers;
    for (int channel : channels)
        headers << QStringLiteral("FL-%1").arg(channel);
    crosstalkTable->setHorizontalHeaderLabels(headers);
    crosstalkTable->setVerticalHeaderLabels(headers);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            auto* item = new QTableWidgetItem(r == c ? QStringLiteral("1.0") : QStringLiteral("0.0"));
            item->setTextAlignment(Qt::AlignCenter);
            if (r == c) {
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
                item->setBackground(QBrush(QColor(230, 230, 230), Qt::SolidPattern));
            }
            crosstalkTable->setItem(r, c, item);
        }
    }
    crosstalkTable->resizeColumnsToContents();
    crosstalkTable->resizeRowsToContents();
    crosstalkTable->setMaximumHeight(crosstalkTable->horizontalHeader()->height()
                                     + crosstalkTable->verticalHeader()->length() + 4);
}

void CalculationsDockWidget::setCrosstalkMatrix(const arma::mat& matrix, const std::vector<int>& channels)
{
    const auto n = static_cast<arma::uword>(channels.size());
    if (matrix.n_rows != n || matrix.n_cols != n || crosstalkTable->rowCount() != static_cast<int>(n))
        return;
    const QSignalBlocker blocker(crosstalkTable);
    for (arma::uword r = 0; r < n; ++r) {
        for (arma::uword c = 0; c < n; ++c) {
            if (r == c)
                continue;
            if (QTableWidgetItem* item = crosstalkTable->item(static_cast<int>(r), static_cast<int>(c)))
                item->setText(QString::number(matrix(r, c), 'g', 6));
        }
    }
}

arma::mat CalculationsDockWidget::crosstalkMatrix() const
{
    const int n = crosstalkTable->rowCount();
    arma::mat matrix(static_cast<arma::uword>(n), static_cast<arma::uword>(n), arma::fill::eye);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n && c < crosstalkTable->columnCount(); ++c) {
            const QTableWidgetItem* item = crosstalkTable->item(r, c);
            if (r == c || !item)
                continue;
            bool ok = false;
            const double value = item->text().toDouble(&ok);
            matrix(static_cast<arma::uword>(r), static_cast<arma::uword>(c)) = ok ? value : 0.0;
        }
    }
    return matrix;
}

bool CalculationsDockWidget::crosstalkApplyToAll() const
{
    return crosstalkApplyToAllCheck->isChecked();
}

QWidget* CalculationsDockWidget::buildRefinementPage()
{
    auto* filters = new QGroupBox(QStringLiteral("Trace Filters"), this);
    auto* filterLayout = new QVBoxLayout(filters);
    filterLayout->setSpacing(2);
    filterLayout->setContentsMargins(4, 4, 4, 4);
    const QString windowTip = QStringLiteral("Half-window size (full window = 2k+1)");
    const auto addRow = [&](TraceFilterRow& row, const QString& text, const char* name, bool checked, int maximum,
                            int value, const QString& checkTip, const QString& spinTip) {
        row.enabled = new QCheckBox(text, filters);
        row.enabled->setObjectName(QString::fromLatin1(name));
        row.enabled->setChecked(checked);
        if (!checkTip.isEmpty())
            row.enabled->setToolTip(checkTip);
        row.halfWindow = new QSpinBox(filters);
        row.halfWindow->setObjectName(QString::fromLatin1(name) + QStringLiteral("HalfWindow"));
        row.halfWindow->setRange(1, maximum);
        row.halfWindow->setValue(value);
        row.halfWindow->setToolTip(spinTip);
        auto* line = new QHBoxLayout;
        line->addWidget(row.enabled);
        line->addWidget(new QLabel(QStringLiteral("k:"), filters));
        line->addWidget(row.halfWindow);
        line->addStretch();
        filterLayout->addLayout(line);
    };
    addRow(hampel1Row, QStringLiteral("Hampel 1"), "hampel1", true, 50, 5, QString(), windowTip);
    addRow(hampel2Row, QStringLiteral("Hampel 2"), "hampel2", true, 50, 11, QString(), windowTip);
    addRow(medianRow, QStringLiteral("Median"), "median", false, 50, 3,
           QStringLiteral("Sliding median filter — removes impulse bursts shorter than k+1 samples"), windowTip);
    addRow(rollingMeanRow, QStringLiteral("Rolling Avg"), "rollingMean", false, 50, 3,
           QStringLiteral("Moving mean filter (window = 2k+1)"), windowTip);
    addRow(savitzkyGolayRow, QStringLiteral("Savitzky-Golay"), "savitzkyGolay", true, 20, 3, QString(),
           QStringLiteral("Half-window size (quadratic fit, window = 2k+1)"));

    auto* thresholdRow = new QWidget(this);
    auto* thresholdLayout = new QHBoxLayout(thresholdRow);
    thresholdLayout->setContentsMargins(0, 0, 0, 0);
    flMaxThresholdSpin = new QDoubleSpinBox(thresholdRow);
    flMaxThresholdSpin->setObjectName(QStringLiteral("flMaxThresholdSpin"));
    flMaxThresholdSpin->setRange(0.0, 10000.0);
    flMaxThresholdSpin->setDecimals(0);
    flMaxThresholdSpin->setValue(400.0);
    flMaxThresholdSpin->setToolTip(QStringLiteral("Minimum fl_max value for velocity estimation events"));
    thresholdLayout->addWidget(new QLabel(QStringLiteral("FL max threshold:"), thresholdRow));
    thresholdLayout->addWidget(flMaxThresholdSpin, 1);

    refinementApplyToAllCheck = makeApplyToAllBox("refinementApplyToAll");
    refineFluorescenceButton = makeButton(QStringLiteral("Refine Fluorescence"), "refineFluorescenceButton");
    showRefinedTraceCheck = new QCheckBox(QStringLiteral("Show Refined Trace"), this);
    showRefinedTraceCheck->setObjectName(QStringLiteral("showRefinedTrace"));
    showRefinedTraceCheck->setChecked(true);
    showRefinedTraceCheck->setToolTip(QStringLiteral("Toggle between refined and original median trace display"));
    connect(refineFluorescenceButton, &QPushButton::clicked, this, &CalculationsDockWidget::refineFluorescence);
    connect(showRefinedTraceCheck, &QCheckBox::toggled, this, &CalculationsDockWidget::traceDisplayChanged);
    return makePage(QString(),
                    {filters, thresholdRow, refinementApplyToAllCheck, refineFluorescenceButton, showRefinedTraceCheck},
                    4);
}

TraceFilterSettings CalculationsDockWidget::traceFilterSettings() const
{
    TraceFilterSettings settings;
    settings.hampel1Enabled = hampel1Row.enabled->isChecked();
    settings.hampel1HalfWindow = hampel1Row.halfWindow->value();
    settings.hampel1Threshold = 3.0f;
    settings.hampel2Enabled = hampel2Row.enabled->isChecked();
    settings.hampel2HalfWindow = hampel2Row.halfWindow->value();
    settings.hampel2Threshold = 3.0f;
    settings.medianEnabled = medianRow.enabled->isChecked();
    settings.medianHalfWindow = medianRow.halfWindow->value();
    settings.rollingMeanEnabled = rollingMeanRow.enabled->isChecked();
    settings.rollingMeanHalfWindow = rollingMeanRow.halfWindow->value();
    settings.savitzkyGolayEnabled = savitzkyGolayRow.enabled->isChecked();
    settings.savitzkyGolayHalfWindow = savitzkyGolayRow.halfWindow->value();
    settings.flMaxThreshold = flMaxThresholdSpin->value();
    return settings;
}

bool CalculationsDockWidget::refinementApplyToAll() const
{
    return refinementApplyToAllCheck->isChecked();
}

bool CalculationsDockWidget::showRefinedTrace() const
{
    return showRefinedTraceCheck->isChecked();
}

} // namespace Tervane3
