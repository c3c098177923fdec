// Comparison plots of the statistical evaluation.
#include "stats/ComparisonPlot.h"

#include "stats/CategoryColors.h"
#include "stats/CategoryScaleDraw.h"
#include "stats/PlotPointTooltip.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_symbol.h>
#include <qwt_text.h>

#include <QFontMetrics>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

QwtPlotCurve* addLine(QwtPlot* plot, const QVector<QPointF>& points, const QPen& pen, double z)
{
    auto* curve = new QwtPlotCurve;
    curve->setSamples(points);
    curve->setPen(pen);
    curve->setZ(z);
    curve->setItemAttribute(QwtPlotItem::Legend, false);
    curve->attach(plot);
    return curve;
}

} // namespace

QwtPlot* newStatisticsPlotFrame()
{
    auto* plot = new QwtPlot;
    plot->setCanvasBackground(Qt::white);
    auto* grid = new QwtPlotGrid;
    QPen gridPen(Qt::gray, 0, Qt::DotLine);
    gridPen.setCosmetic(true);
    grid->setPen(gridPen);
    grid->setZ(0);
    grid->attach(plot);
    return plot;
}

QwtPlot* buildAnalysisPlot(const QString& yTitle, const std::vector<QString>& categoryNames,
                           const std::vector<QColor>& categoryColors, const std::vector<std::vector<double>>& values,
                           const std::vector<std::vector<QString>>& pointLabels, const ReplicateView* replicates,
                           const std::vector<SignificanceBracket>& brackets)
{
    const int n = static_cast<int>(categoryNames.size());
    QwtPlot* plot = newStatisticsPlotFrame();
    plot->setAutoReplot(false);
    plot->setMinimumHeight(280);
    plot->setAxisTitle(QwtPlot::yLeft, yTitle);

    QStringList names;
    for (const QString& name : categoryNames)
        names << name;
    auto* scaleDraw = new CategoryScaleDraw(names);
    scaleDraw->setMinimumExtent(QFontMetrics(plot->axisFont(QwtPlot::xBottom)).height() + 10);
    plot->setAxisScaleDraw(QwtPlot::xBottom, scaleDraw);
    plot->setAxisScale(QwtPlot::xBottom, -0.5, n - 0.5, 1.0);
    plot->setAxisMaxMinor(QwtPlot::xBottom, 0);

    const bool byId = replicates && !replicates->valuesById.empty();
    std::vector<PlotPoint> points;
    std::map<int, QVector<QPointF>> pointsById;
    double top = -1e300;
    double low = 1e300;
    double high = -1e300;

    for (int c = 0; c < n; ++c) {
        const QColor color = c < static_cast<int>(categoryColors.size()) ? categoryColors[static_cast<size_t>(c)]
                                                                         : categoryColorAt(c);
        std::vector<double> categoryValues;
        std::vector<QString> labels;
        std::vector<int> ids;
        if (byId) {
            if (c < static_cast<int>(replicates->valuesById.size())) {
                for (const auto& [id, value] : replicates->valuesById[static_cast<size_t>(c)]) {
                    categoryValues.push_back(value);
                    labels.push_back(QStringLiteral("ID %1").arg(id));
                    ids.push_back(id);
                }
            }
        } else if (c < static_cast<int>(values.size())) {
            categoryValues = values[static_cast<size_t>(c)];
            const std::vector<QString>* given
                = c < static_cast<int>(pointLabels.size()) ? &pointLabels[static_cast<size_t>(c)] : nullptr;
            for (size_t i = 0; i < categoryValues.size(); ++i)
                labels.push_back(given && i < given->size() ? (*given)[i] : QStringLiteral("Dataset %1").arg(i));
        }
        if (categoryValues.empty())
            continue;

        double sum = 0.0;
        for (double v : categoryValues)
            sum += v;
        const double count = static_cast<double>(categoryValues.size());
        const double mean = sum / count;
        double squares = 0.0;
        for (double v : categoryValues)
            squares += (v - mean) * (v - mean);
        const double sd = categoryValues.size() > 1 ? std::sqrt(squares / (count - 1.0)) : 0.0;

        auto* box = addLine(plot,
                            {QPointF(c - 0.2, mean - sd), QPointF(c - 0.2, mean + sd), QPointF(c + 0.2, mean + sd),
                             QPointF(c + 0.2, mean - sd), QPointF(c - 0.2, mean - sd)},
                            QPen(color, 2, Qt::SolidLine), 10);
        QColor fill(color);
        fill.setAlpha(40);
        box->setBrush(fill);
        addLine(plot, {QPointF(c - 0.2, mean), QPointF(c + 0.2, mean)}, QPen(color, 3), 15);
        low = std::min(low, mean - sd);
        high = std::max(high, mean + sd);

        QVector<QPointF> samples;
        for (size_t k = 0; k < categoryValues.size(); ++k) {
            const double x = c + (static_cast<int>(k % 5) - 2) * 0.04;
            const double y = categoryValues[k];
            samples.push_back(QPointF(x, y));
            points.push_back({x, y, labels[k]});
            if (byId)
                pointsById[ids[k]].push_back(QPointF(x, y));
            top = std::max(top, y);
            low = std::min(low, y);
            high = std::max(high, y);
        }
        auto* dots = new QwtPlotCurve;
        dots->setStyle(QwtPlotCurve::NoCurve);
        dots->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(color), QPen(color.darker(130), 1), QSize(8, 8)));
        dots->setSamples(samples);
        dots->setZ(20);
        dots->setItemAttribute(QwtPlotItem::Legend, false);
        dots->attach(plot);
    }

    if (byId && replicates->connectLines) {
        QColor grey(150, 150, 150, 120);
        for (const auto& [id, line] : pointsById)
            if (line.size() >= 2)
                addLine(plot, line, QPen(grey, 1, Qt::SolidLine), 5);
    }

    if (!brackets.empty() && !points.empty()) {
        // The step of the bracket rows. The axis' scale division is 0 .. 0 before the first
        // replot, so it comes from what is drawn.
        double unit = high - low;
        if (!(unit > 0.0))
            unit = 0.5 * std::fabs(top);
        if (!(unit > 0.0))
            unit = 1.0;
        std::vector<SignificanceBracket> ordered(brackets);
        std::stable_sort(ordered.begin(), ordered.end(), [](const SignificanceBracket& a, const SignificanceBracket& b) {
            return a.second - a.first < b.second - b.first;
        });
        double y = top + 0.08 * unit;
        const double h = 0.06 * unit;
        QFont font(QStringLiteral("Sans"), 10);
        font.setBold(true);
        for (const SignificanceBracket& bracket : ordered) {
            addLine(plot,
                    {QPointF(bracket.first, y - 0.3 * h), QPointF(bracket.first, y), QPointF(bracket.second, y),
                     QPointF(bracket.second, y - 0.3 * h)},
                    QPen(Qt::black, 1.5), 30);
            auto* marker = new QwtPlotMarker;
            marker->setValue((bracket.first + bracket.second) / 2.0, y + 0.15 * h);
            QwtText text(bracket.label);
            text.setFont(font);
            text.setColor(Qt::black);
            marker->setLabel(text);
            marker->setLabelAlignment(Qt::AlignHCenter | Qt::AlignBottom);
            marker->setZ(32);
            marker->attach(plot);
            y += h;
        }
    }

    plot->replot();
    new PlotPointTooltip(plot, std::move(points));
    return plot;
}

} // namespace Tervane3
