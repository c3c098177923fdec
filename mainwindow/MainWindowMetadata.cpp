// The "Metadata" dock: the active dataset's measurement metadata as a two-level tree, one
// bold row per section. The tree is emptied on every activation and filled only while the
// dock is visible (else when it is next shown), so hidden docks cost nothing. GUI thread.
#include "mainwindow/MainWindow.h"

#include "core/RTDCReader.h"
#include "app/DatasetEntry.h"

#include <QDockWidget>
#include <QTreeWidget>

#include <array>

namespace Tervane3 {

void MainWindow::populateMetadataView()
{
    const DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (!entry)
        return;
    metadataTree->clear();
    const Metadata& m = entry->metadata;
    addMetadataSection(QStringLiteral("Experiment"), m.experiment);
    addMetadataSection(QStringLiteral("Setup"), m.setup);
    addMetadataSection(QStringLiteral("Imaging"), m.imaging);
    addMetadataSection(QStringLiteral("Online Contour"), m.onlineContour);
    addMetadataSection(QStringLiteral("Fluorescence"), m.fluorescence);
    addMetadataSection(QStringLiteral("Online Filter"), m.onlineFilter);
    addMetadataSection(QStringLiteral("Offline Filter"), m.offlineFilter);
    addMetadataSection(QStringLiteral("Export"), m.exportInfo);

    // Attributes of any other section keep their full names; names without a section
    // appear nowhere.
    static const std::array<const char*, 8> known = {"experiment",    "setup",          "imaging",
                                                     "online_contour", "online_filter", "offline_filter",
                                                     "fluorescence",  "export"};
    std::map<std::string, std::string> other;
    for (const auto& [fullName, value] : m.allEntries) {
        const size_t colon = fullName.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string section = fullName.substr(0, colon);
        bool isKnown = false;
        for (const char* name : known)
            isKnown = isKnown || section == name;
        if (!isKnown)
            other.emplace(fullName, value);
    }
    addMetadataSection(QStringLiteral("Other"), other);

    metadataTree->expandAll();
    metadataTree->resizeColumnToContents(0);
}

void MainWindow::addMetadataSection(const QString& title, const std::map<std::string, std::string>& section)
{
    if (section.empty())
        return;
    auto* top = new QTreeWidgetItem(metadataTree);
    top->setText(0, title);
    QFont bold = metadataTree->font();
    bold.setWeight(QFont::Bold);
    top->setFont(0, bold);
    for (const auto& [key, value] : section) {
        auto* child = new QTreeWidgetItem(top);
        child->setText(0, QString::fromUtf8(key.data(), static_cast<int>(key.size())));
        child->setText(1, QString::fromUtf8(value.data(), static_cast<int>(value.size())));
        // The dock is narrow; a long value can be read in full from its tooltip.
        child->setToolTip(1, child->text(1));
    }
}

void MainWindow::showMetadata()
{
    const DatasetEntry* entry = findDatasetById(activeDatasetId());
    if (!entry || !entry->reader || !entry->reader->isOpen())
        return;
    metadataDock->show();
    metadataDock->raise();
    if (metadataTree->topLevelItemCount() == 0)
        populateMetadataView();
}

void MainWindow::onMetadataDockVisibilityChanged(bool visible)
{
    if (visible && metadataTree->topLevelItemCount() == 0)
        populateMetadataView();
}

} // namespace Tervane3
