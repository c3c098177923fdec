// The output-name rule of the export of filtered events.
#include "io/ExportNaming.h"

#include "core/Metadata.h"

#include <QDir>
#include <QFileInfo>

namespace Tervane3 {

ExportFormat exportFormat(const ExportOptions& options)
{
    if (options.avi)
        return ExportFormat::Avi;
    if (options.tsv)
        return ExportFormat::Tsv;
    return ExportFormat::Rtdc;
}

QString exportOutputPath(const QString& sourcePath, const ExportOptions& options,
                         const std::function<bool(const QString&)>& exists)
{
    const QFileInfo source(sourcePath);
    const QString folder = options.customDirectory ? QString::fromStdString(options.directory)
                                                   : source.absolutePath();
    QString name = source.fileName();
    const ExportFormat format = exportFormat(options);
    if (format != ExportFormat::Rtdc) {
        if (name.endsWith(QLatin1String(".rtdc"), Qt::CaseInsensitive))
            name.chop(5);
        name += format == ExportFormat::Avi ? QLatin1String(".avi") : QLatin1String(".tsv");
    }
    name.prepend(QLatin1String("TN3export_"));
    const QDir dir(folder);
    QString path = dir.filePath(name);
    if (!exists(path))
        return path;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const QString suffix = dot < 0 ? QString() : name.mid(dot); // with its dot
    for (int n = 2;; ++n) {
        path = dir.filePath(base + QLatin1Char('_') + QString::number(n) + suffix);
        if (!exists(path))
            return path;
    }
}

QString exportOutputPath(const QString& sourcePath, const ExportOptions& options)
{
    return exportOutputPath(sourcePath, options,
                            [](const QString& path) { return QFileInfo::exists(path); });
}

std::string changedSampleName(const Metadata& metadata, const QString& displayName)
{
    const std::string name = displayName.toStdString();
    return name == metadata.value("experiment", "sample") ? std::string() : name;
}

} // namespace Tervane3
