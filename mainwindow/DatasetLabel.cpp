// The dataset label of the list and the tree.
#include "mainwindow/DatasetLabel.h"

#include "core/RTDCReader.h"
#include "app/DatasetEntry.h"

#include <QStringList>

namespace Tervane3 {

QString datasetLabel(const DatasetEntry* entry)
{
    if (!entry)
        return QString();
    const Metadata& metadata = entry->metadata;
    QStringList parts;

    const auto flowRate = metadata.setup.find("flow rate");
    if (flowRate != metadata.setup.end()) {
        bool ok = false;
        // QString::toDouble reads the C form whatever the process locale is.
        const double value = QString::fromStdString(flowRate->second).toDouble(&ok);
        if (ok)
            parts << QStringLiteral("%1 µL/s").arg(QString::number(value, 'g', 4));
    }
    const auto region = metadata.setup.find("chip region");
    if (region != metadata.setup.end() && region->second == "reservoir")
        parts << QStringLiteral("Reservoir");
    const auto runIndex = metadata.experiment.find("run index");
    if (runIndex != metadata.experiment.end())
        parts << QLatin1Char('#') + QString::fromStdString(runIndex->second).toHtmlEscaped();
    const quint64 events = entry->reader ? entry->reader->eventCount() : 0;
    parts << QStringLiteral("%1 events").arg(events);

    // Both placeholders in one pass: a "%1" inside the name must stay text.
    return QStringLiteral("<b>%1</b> (%2)").arg(entry->displayName.toHtmlEscaped(), parts.join(QStringLiteral(", ")));
}

} // namespace Tervane3
