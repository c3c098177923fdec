// Parts of the statistical evaluation window still to be built: the ROC analysis, the
// distribution explorer, the exports and the session state. The buttons and menu entries
// say that the function is not available yet instead of silently doing nothing.
#include "stats/StatisticalEvalWindow.h"

#include "app/Prompts.h"

namespace Tervane3 {

namespace {

void reportNotAvailable(QWidget* parent, const QString& title, const QString& what)
{
    prompts().information(parent, title, QStringLiteral("%1 is not available in this version yet.").arg(what));
}

} // namespace

void StatisticalEvalWindow::onRunROC()
{
    reportNotAvailable(this, QStringLiteral("ROC Analysis"), QStringLiteral("The ROC analysis"));
}

void StatisticalEvalWindow::onRunDistribution()
{
    reportNotAvailable(this, QStringLiteral("Distribution Explorer"), QStringLiteral("The distribution explorer"));
}

void StatisticalEvalWindow::exportPlots()
{
    reportNotAvailable(this, QStringLiteral("Export"), QStringLiteral("Exporting plots"));
}

void StatisticalEvalWindow::exportTable()
{
    reportNotAvailable(this, QStringLiteral("Export"), QStringLiteral("Exporting tables"));
}

void StatisticalEvalWindow::exportROCPlots()
{
    reportNotAvailable(this, QStringLiteral("Export"), QStringLiteral("Exporting ROC plots"));
}

void StatisticalEvalWindow::exportROCTable()
{
    reportNotAvailable(this, QStringLiteral("Export"), QStringLiteral("Exporting the ROC table"));
}

void StatisticalEvalWindow::exportROCData()
{
    reportNotAvailable(this, QStringLiteral("Export"), QStringLiteral("Exporting ROC curve data"));
}

void StatisticalEvalWindow::exportDistributionPlots()
{
    reportNotAvailable(this, QStringLiteral("Export"), QStringLiteral("Exporting distribution plots"));
}

QJsonObject StatisticalEvalWindow::toJson(const std::vector<std::unique_ptr<DatasetEntry>>&) const
{
    return {};
}

void StatisticalEvalWindow::restoreFromJson(const QJsonObject&, const std::map<int, int>&)
{
    refresh();
}

} // namespace Tervane3
