// Filter groups written to and read from .tn3fg files, through the filter panel's menu.
// Export writes through QSaveFile, so a failure leaves an existing file as it was; import
// refuses a hostile file whole with one box and adds nothing. GUI thread only.
#include "mainwindow/MainWindow.h"

#include "app/Prompts.h"
#include "app/WindowHelpers.h"
#include "filters/FilterGroupExportDialog.h"
#include "filters/FilterGroupFile.h"

#include <QFile>
#include <QLabel>
#include <QSaveFile>

#include <unordered_set>

namespace Tervane3 {

namespace {

const QString kExportTitle = QStringLiteral("Export Filter Groups");
const QString kImportTitle = QStringLiteral("Import Filter Groups");
const QString kFileFilter = QStringLiteral("Tervane3 Filter Groups (*.tn3fg)");

} // namespace

std::vector<int> MainWindow::chooseFilterGroupsToExport(const std::vector<const FilterGroup*>& groups)
{
    FilterGroupExportDialog dialog(groups, this);
    if (prompts().execDialog(&dialog) != QDialog::Accepted)
        return {};
    return dialog.checkedGroupIds();
}

void MainWindow::exportFilterGroups()
{
    if (groupModel.groups().empty()) {
        prompts().information(this, kExportTitle, QStringLiteral("There are no filter groups to export."));
        return;
    }
    const std::vector<int> ids = chooseFilterGroupsToExport(groupModel.view());
    if (ids.empty())
        return;
    QString selectedFilter;
    QString path = prompts().getSaveFileName(this, kExportTitle, QString(), kFileFilter, &selectedFilter);
    if (path.isEmpty())
        return;
    path = ensureFilterExtension(path, selectedFilter.isEmpty() ? kFileFilter : selectedFilter);

    std::vector<const FilterGroup*> chosen;
    for (int id : ids) {
        if (const FilterGroup* group = groupModel.find(id))
            chosen.push_back(group);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        prompts().critical(this, kExportTitle, QStringLiteral("Failed to open file for writing:\n") + path);
        return;
    }
    const QByteArray document = filterGroupsDocument(chosen);
    if (file.write(document) != document.size() || !file.commit()) {
        file.cancelWriting();
        prompts().critical(this, kExportTitle, QStringLiteral("Failed to write file:\n") + path);
        return;
    }
    infoLabel->setText(QStringLiteral("Exported %1 filter group(s).").arg(chosen.size()));
}

void MainWindow::importFilterGroups()
{
    const QString path = prompts().getOpenFileName(this, kImportTitle, QString(),
                                                   kFileFilter + QStringLiteral(";;All Files (*)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        prompts().critical(this, kImportTitle, QStringLiteral("Failed to read file:\n") + path);
        return;
    }
    // At most one byte past the limit is read: enough to refuse a larger file.
    const FilterGroupFileContents contents = readFilterGroupsDocument(file.read(kMaxFilterGroupFileBytes + 1));
    if (!contents.error.isEmpty()) {
        prompts().critical(this, kImportTitle, contents.error);
        return;
    }
    if (contents.groups.empty()) {
        prompts().information(this, kImportTitle, QStringLiteral("The file contains no filter groups."));
        return;
    }
    // Names stay apart from every existing group and from each other.
    std::unordered_set<std::string> taken;
    for (const auto& group : groupModel.groups())
        taken.insert(group->name);
    for (const FilterGroup& imported : contents.groups) {
        const int id = addFilterGroup(freeGroupName(imported.name, taken));
        for (const FilterRule& rule : imported.rules)
            groupModel.addRule(id, rule);
    }
    refreshFilterGroupPanel();
    // Redrawn now, so that the status line keeps the report below.
    scheduleFilterPlotUpdate(false);
    runFilterPlotUpdate();
    infoLabel->setText(QStringLiteral("Imported %1 filter group(s).").arg(contents.groups.size()));
}

} // namespace Tervane3
