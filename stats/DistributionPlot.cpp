// Distribution plots of the statistical evaluation.
#include "stats/DistributionPlot.h"

#include "core/ParallelFor.h"
#include "stats/ComparisonPlot.h"
#include "stats/KernelDensity.h"

#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_draw.h>

#include <QFontMetrics>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace Tervane3 {

namespace {

QColor withAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

} // namespace

QwtPlot* buildDistributionPlot(const QString& title, const QString& xTitle, const std::vector<DistributionSample>& samples,
                               const std::vector<DistributionCategory>& categories, bool perCategory)
{
    if (samples.empty())
        return nullptr;
    double lo = samples.front().values.front();
    double hi = lo;
    for (const DistributionSample& sample : samples) {
        const auto [min, max] = std::minmax_element(sample.values.begin(), sample.values.end());
        lo = std::min(lo, *min);
        hi = std::max(hi, *max);
    }
    const DensityGrid grid = densityGridFor(lo, hi);
    std::vector<QList<double>> densities(samples.size());
    parallelFor(samples.size(), 1, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
            densities[i] = kernelDensityOnGrid(grid, samples[i].values);
    });
    QVector<double> xs(grid.gridCount);
    for (int i = 0; i < grid.gridCount; ++i)
        xs[i] = grid.gridMin + i * grid.gridStep;

    QwtPlot* plot = newStatisticsPlotFrame();
    plot->setAutoReplot(false);
    plot->setMinimumSize(400, 280);
    plot->setTitle(title);
    plot->setAxisTitle(QwtPlot::xBottom, xTitle);
    plot->setAxisTitle(QwtPlot::yLeft, QStringLiteral("Density"));

    if (perCategory) {
        for (size_t c = 0; c < categories.size(); ++c) {
            std::vector<const QList<double>*> members;
            for (size_t i = 0; i < samples.size(); ++i)
                if (samples[i].categoryIndex == static_cast<int>(c))
                    members.push_back(&densities[i]);
            if (members.empty())
                continue;
            const QColor color = categories[c].color;
            const double count = static_cast<double>(members.size());
            QVector<double> mean(grid.gridCount, 0.0);
            QVector<double> sd(grid.gridCount, 0.0);
            for (int g = 0; g < grid.gridCount; ++g) {
                double sum = 0.0;
                for (const QList<double>* d : members)
                    sum += d->at(g);
                mean[g] = sum / count;
                if (members.size() >= 2) {
                    double squares = 0.0;
                    for (const QList<double>* d : members)
                        squares += (d->at(g) - mean[g]) * (d->at(g) - mean[g]);
                    sd[g] = std::sqrt(squares / (count - 1.0));
                }
            }
            if (members.size() >= 2) {
                QVector<QPointF> band;
                band.reserve(2 * grid.gridCount);
                for (int g = 0; g < grid.gridCount; ++g)
                    band.append(QPointF(xs[g], mean[g] + sd[g]));
                for (int g = grid.gridCount - 1; g >= 0; --g)
                    band.append(QPointF(xs[g], std::max(mean[g] - sd[g], 0.0)));
                auto* curve = new QwtPlotCurve;
                curve->setSamples(band);
                curve->setPen(QPen(Qt::NoPen));
                curve->setBrush(withAlpha(color, 40));
                curve->setItemAttribute(QwtPlotItem::Legend, false);
                curve->attach(plot);
            }
            auto* curve = new QwtPlotCurve(categories[c].name);
            curve->setSamples(xs, mean);
            curve->setPen(QPen(color, 2, Qt::SolidLine));
            curve->setBrush(withAlpha(color, 30));
            curve->setBaseline(0.0);
            curve->setZ(10);
            curve->attach(plot);
        }
        plot->insertLegend(new QwtLegend, QwtPlot::RightLegend);
    } else {
        for (size_t i = 0; i < samples.size(); ++i) {
            auto* curve = new QwtPlotCurve(samples[i].name);
            curve->setSamples(xs, QVector<double>(densities[i].begin(), densities[i].end()));
            curve->setPen(QPen(withAlpha(samples[i].color, 180), 1.5, Qt::SolidLine));
            curve->setBrush(withAlpha(samples[i].color, 25));
            curve->setBaseline(0.0);
            curve->setItemAttribute(QwtPlotItem::Legend, false);
            curve->attach(plot);
        }
    }
    plot->axisScaleDraw(QwtPlot::xBottom)
        ->setMinimumExtent(QFontMetrics(plot->axisFont(QwtPlot::xBottom)).height() + 10);
    plot->replot();
    return plot;
}

} // namespace Tervane3
