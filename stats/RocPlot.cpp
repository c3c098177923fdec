// ROC plots of the statistical evaluation.
#include "stats/RocPlot.h"

#include "stats/ComparisonPlot.h"
#include "stats/PlotPointTooltip.h"
#include "stats/RocAnalysis.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_symbol.h>
#include <qwt_text.h>

#include <QPen>

namespace Tervane3 {

namespace {

const QColor rocBlue(70, 130, 180);

QwtPlotMarker* addLabel(QwtPlot* plot, double x, double y, const QString& text, int pointSize, const QColor& color,
                        Qt::Alignment alignment)
{
    auto* marker = new QwtPlotMarker;
    marker->setValue(x, y);
    QwtText label(text);
    label.setFont(QFont(QStringLiteral("Sans"), pointSize));
    label.setColor(color);
    marker->setLabel(label);
    marker->setLabelAlignment(alignment);
    marker->setZ(25);
    marker->attach(plot);
    return marker;
}

} // namespace

QwtPlot* buildRocPlot(const QString& title, const RocResult& roc)
{
    QwtPlot* plot = newStatisticsPlotFrame();
    plot->setAutoReplot(false);
    plot->setMinimumSize(320, 320);
    plot->setAxisScale(QwtPlot::xBottom, 0.0, 1.0);
    plot->setAxisScale(QwtPlot::yLeft, 0.0, 1.0);
    plot->setAxisTitle(QwtPlot::xBottom, QStringLiteral("False Positive Rate (1 - Specificity)"));
    plot->setAxisTitle(QwtPlot::yLeft, QStringLiteral("True Positive Rate (Sensitivity)"));
    plot->setTitle(title);

    auto* chance = new QwtPlotCurve;
    chance->setSamples(QVector<QPointF>{{0.0, 0.0}, {1.0, 1.0}});
    chance->setPen(QPen(Qt::gray, 1, Qt::DashLine));
    chance->setItemAttribute(QwtPlotItem::Legend, false);
    chance->attach(plot);

    QVector<QPointF> points;
    for (size_t i = 0; i < roc.fpr.size() && i < roc.tpr.size(); ++i)
        points.append(QPointF(roc.fpr[i], roc.tpr[i]));
    auto* area = new QwtPlotCurve;
    area->setSamples(points);
    area->setPen(QPen(Qt::NoPen));
    QColor fill(rocBlue);
    fill.setAlpha(30);
    area->setBrush(fill);
    area->setBaseline(0.0);
    area->setItemAttribute(QwtPlotItem::Legend, false);
    area->attach(plot);

    auto* curve = new QwtPlotCurve;
    curve->setSamples(points);
    curve->setPen(QPen(rocBlue, 2, Qt::SolidLine));
    curve->setZ(10);
    curve->setItemAttribute(QwtPlotItem::Legend, false);
    curve->attach(plot);

    const QString aucText = QStringLiteral("AUC = %1").arg(QString::number(roc.auc, 'f', 3));
    if (roc.auc >= 0.5)
        addLabel(plot, 0.55, 0.15, aucText, 11, rocBlue, Qt::AlignLeft | Qt::AlignTop);
    else
        addLabel(plot, 0.45, 0.85, aucText, 11, rocBlue, Qt::AlignRight | Qt::AlignBottom);

    const double x = 1.0 - roc.specificity;
    const double y = roc.sensitivity;
    auto* optimal = new QwtPlotCurve;
    optimal->setStyle(QwtPlotCurve::NoCurve);
    optimal->setSymbol(new QwtSymbol(QwtSymbol::Diamond, QBrush(Qt::red), QPen(Qt::darkRed, 1), QSize(10, 10)));
    optimal->setSamples(QVector<QPointF>{{x, y}});
    optimal->setZ(20);
    optimal->setItemAttribute(QwtPlotItem::Legend, false);
    optimal->attach(plot);
    addLabel(plot, x, y,
             QStringLiteral("Threshold %1 %2\nSens = %3, Spec = %4")
                 .arg(roc.higherIsPositive ? QStringLiteral(">") : QStringLiteral("<"),
                      QString::number(roc.optimalThreshold, 'g', 4), QString::number(roc.sensitivity, 'f', 3),
                      QString::number(roc.specificity, 'f', 3)),
             8, Qt::darkRed, (x < 0.5 ? Qt::AlignRight : Qt::AlignLeft) | (y < 0.5 ? Qt::AlignTop : Qt::AlignBottom));

    plot->replot();
    std::vector<PlotPoint> tips;
    for (size_t i = 0; i < static_cast<size_t>(points.size()); ++i)
        tips.push_back({roc.fpr[i], roc.tpr[i],
                        QStringLiteral("FPR=%1, TPR=%2\nThreshold=%3")
                            .arg(QString::number(roc.fpr[i], 'f', 3), QString::number(roc.tpr[i], 'f', 3),
                                 i < roc.thresholds.size() ? QString::number(roc.thresholds[i], 'g', 4) : QString())});
    new PlotPointTooltip(plot, std::move(tips));
    return plot;
}

} // namespace Tervane3
