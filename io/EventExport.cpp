// The export of filtered events (see EventExport.h).
#include "io/EventExport.h"

#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/PassingEvents.h"
#include "app/Prompts.h"
#include "core/RTDCReader.h"
#include "io/AviEventWriter.h"
#include "io/ExportDialog.h"
#include "io/ExportNaming.h"
#include "io/RtdcWriter.h"
#include "io/TemporaryOutput.h"
#include "io/TsvEventWriter.h"

#include <QApplication>
#include <QFileInfo>

namespace Tervane3 {

namespace {

const QString exportTitle = QStringLiteral("Export");

// The wait cursor while a file is written; taken back before any box is shown.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { restore(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    void restore()
    {
        if (active)
            QApplication::restoreOverrideCursor();
        active = false;
    }

private:
    bool active = true;
};

} // namespace

EventExporter::EventExporter(DatasetHost& datasetHost, QWidget* parentWidget)
    : host(datasetHost)
    , parent(parentWidget)
{
}

void EventExporter::reportError(const QString& text) const
{
    prompts().critical(parent, QStringLiteral("Export Error"), text);
}

bool EventExporter::finish(TemporaryOutput& output) const
{
    if (output.commit())
        return true;
    reportError(QStringLiteral("Failed to move the finished file to: %1").arg(output.finalPath()));
    return false;
}

void EventExporter::exportData(bool expertMode, ExportOptions& last, bool& hasLast)
{
    const DatasetEntry* active = host.findDatasetById(host.activeDatasetId());
    if (!active || !active->featuresLoaded) {
        prompts().warning(parent, exportTitle, QStringLiteral("No loaded dataset available for export."));
        return;
    }
    ExportOptions options;
    {
        ExportDialog dialog(active, host.datasets(), expertMode, parent, hasLast ? &last : nullptr);
        if (prompts().execDialog(&dialog) != QDialog::Accepted)
            return;
        options = dialog.options();
    }
    last = options;
    hasLast = true;
    if (options.customDirectory) {
        const QString folder = QString::fromStdString(options.directory);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
            prompts().warning(parent, exportTitle, QStringLiteral("The output folder does not exist: %1").arg(folder));
            return;
        }
    }
    if (!options.allDatasets) {
        if (exportDataset(*active, options))
            prompts().information(parent, exportTitle, QStringLiteral("Dataset exported successfully."));
        return;
    }
    // By id: boxes shown on the way run the event loop, which must not leave us holding a
    // dataset that went away meanwhile.
    std::vector<int> ids;
    for (const auto& dataset : host.datasets())
        ids.push_back(dataset->id);
    const int count = static_cast<int>(ids.size());
    auto progress = prompts().progress(parent, QStringLiteral("Exporting data..."), QStringLiteral("Cancel"), count);
    int written = 0;
    bool cancelled = false;
    for (int i = 0; i < count; ++i) {
        if (progress->wasCancelled()) {
            cancelled = true;
            break;
        }
        const DatasetEntry* dataset = host.findDatasetById(ids[static_cast<size_t>(i)]);
        if (!dataset)
            continue;
        progress->setLabel(QStringLiteral("Exporting %1 (%2/%3)").arg(dataset->displayName).arg(i + 1).arg(count));
        progress->setValue(i);
        if (exportDataset(*dataset, options))
            ++written;
    }
    progress->setValue(count);
    progress.reset();
    if (!cancelled)
        prompts().information(parent, exportTitle, QStringLiteral("Exported %1 dataset(s) successfully.").arg(written));
}

bool EventExporter::exportDataset(const DatasetEntry& dataset, const ExportOptions& options)
{
    const RTDCReader* reader = dataset.reader.get();
    if (!reader || !reader->isOpen())
        return false;
    const QString path = exportOutputPath(QString::fromStdString(dataset.filePath), options);
    const EventFilter filter = host.buildEffectiveFilter(&dataset);
    const bool filtered = filter.isEnabled() && filter.ruleCount() > 0;
    const std::vector<int> selection = passingEventIndices(filter, *reader);
    if (selection.empty()) {
        prompts().warning(parent, exportTitle, QStringLiteral("No events pass the filter for: %1").arg(dataset.displayName));
        return false;
    }
    std::vector<std::string> features;
    for (const std::string& key : options.features) {
        if (isScalarFeatureName(key) && reader->hasFeature(key))
            features.push_back(key);
    }
    switch (exportFormat(options)) {
    case ExportFormat::Tsv:
        return exportDatasetTsv(dataset, path.toStdString(), features, selection);
    case ExportFormat::Avi:
        return exportDatasetAvi(dataset, path.toStdString(), selection, options.aviMjpeg,
                                options.skipDuplicateFrames, options.forReanalysis);
    case ExportFormat::Rtdc:
        break;
    }
    return exportDatasetRtdc(dataset, path.toStdString(), features, selection, filtered, options);
}

bool EventExporter::exportDatasetRtdc(const DatasetEntry& dataset, const std::string& path,
                                      const std::vector<std::string>& features,
                                      const std::vector<int>& selection, bool filtered,
                                      const ExportOptions& options)
{
    const QString target = QString::fromStdString(path);
    const RTDCReader& reader = *dataset.reader;
    BusyCursor busy;
    TemporaryOutput output(target);
    RtdcWriter::FileHandle file;
    // Released under the lock on every path, also when an exception leaves this scope
    // (before `output` removes the unfinished file).
    struct Release
    {
        RtdcWriter::FileHandle& handle;
        ~Release() { RtdcWriter::closeNoThrow(handle); }
    } release{file};

    if (!output.ok() || !RtdcWriter::create(file, output.path().toStdString())) {
        busy.restore();
        reportError(QStringLiteral("Failed to create: %1").arg(target));
        return false;
    }
    auto failed = [&](const char* what) {
        RtdcWriter::closeNoThrow(file);
        busy.restore();
        reportError(QStringLiteral("Failed to write %1 to: %2").arg(QLatin1String(what), target));
        return false;
    };
    if (!RtdcWriter::copyMetadata(file, dataset.metadata))
        return failed("the metadata");
    if (filtered && !RtdcWriter::writeOfflineFilter(file, host.buildEffectiveFilter(&dataset), reader))
        return failed("the filter record");
    if (!RtdcWriter::writeExportMetadata(file, selection.size(), changedSampleName(dataset.metadata, dataset.displayName)))
        return failed("the export record");
    if (!RtdcWriter::writeScalarFeatures(file, features, selection, reader))
        return failed("the scalar features");
    if (options.images && reader.hasImage() && !RtdcWriter::writeImages(file, reader, selection))
        return failed("the images");
    if (options.masks && reader.hasMask() && !RtdcWriter::writeMasks(file, reader, selection))
        return failed("the masks");
    if (options.traces && reader.hasTraces() && !RtdcWriter::writeTraces(file, reader, selection))
        return failed("the traces");
    if (!RtdcWriter::close(file))
        return failed("the end of the file");
    busy.restore();
    return finish(output);
}

bool EventExporter::exportDatasetTsv(const DatasetEntry& dataset, const std::string& path,
                                     const std::vector<std::string>& features,
                                     const std::vector<int>& selection)
{
    const QString target = QString::fromStdString(path);
    if (!dataset.reader)
        return false;
    BusyCursor busy;
    TemporaryOutput output(target);
    const TsvWriteResult result = output.ok()
        ? writeEventsTsv(output.path(), *dataset.reader, dataset.metadata, dataset.displayName, features, selection)
        : TsvWriteResult::OpenFailed;
    busy.restore();
    switch (result) {
    case TsvWriteResult::OpenFailed:
        reportError(QStringLiteral("Failed to create: %1").arg(target));
        return false;
    case TsvWriteResult::WriteFailed:
        reportError(QStringLiteral("Failed to write: %1").arg(target));
        return false;
    case TsvWriteResult::Written:
        break;
    }
    return finish(output);
}

bool EventExporter::exportDatasetAvi(const DatasetEntry& dataset, const std::string& path,
                                     const std::vector<int>& selection, bool aviMjpeg,
                                     bool skipDuplicateFrames, bool forReanalysis)
{
    const QString target = QString::fromStdString(path);
    if (!dataset.reader)
        return false;
    BusyCursor busy;
    TemporaryOutput output(target);
    AviWriteResult result;
    result.status = AviWriteResult::OpenFailed;
    if (output.ok())
        result = writeEventsAvi(output.path(), *dataset.reader, selection, aviMjpeg, skipDuplicateFrames, forReanalysis);
    busy.restore();
    switch (result.status) {
    case AviWriteResult::NoImages:
        prompts().warning(parent, exportTitle, QStringLiteral("No images available in: %1").arg(dataset.displayName));
        return false;
    case AviWriteResult::NoEvents:
        prompts().warning(parent, exportTitle, QStringLiteral("No events to export for: %1").arg(dataset.displayName));
        return false;
    case AviWriteResult::NoDimensions:
        prompts().warning(parent, exportTitle, QStringLiteral("Failed to read image dimensions."));
        return false;
    case AviWriteResult::TooNarrowForMjpeg:
        prompts().warning(parent, exportTitle,
                          QStringLiteral("The images of %1 are narrower than %2 pixels, too narrow for MJPEG video; "
                                         "choose \"Raw (uncompressed)\".")
                              .arg(dataset.displayName)
                              .arg(kMinimumMjpegWidth));
        return false;
    case AviWriteResult::OpenFailed:
        reportError(QStringLiteral("Failed to create video file: %1").arg(target));
        return false;
    case AviWriteResult::WriteFailed:
        reportError(QStringLiteral("Failed to write video file: %1").arg(target));
        return false;
    case AviWriteResult::Written:
        break;
    }
    return finish(output);
}

} // namespace Tervane3
