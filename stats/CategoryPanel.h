// One category of the statistical evaluation: its colour, editable name and the datasets
// that belong to it, each optionally tagged with replicate identifiers (ID, or ID.BR.TR).
// Datasets come in by drag and drop from the dataset list or through the "Add Datasets"
// dialog. The window creates, lays out and deletes panels; a panel never deletes itself.
// GUI thread only.
#pragma once

#include "stats/CategoryEntry.h"

#include <QColor>
#include <QWidget>

#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QMimeData;
class QPushButton;

namespace Tervane3 {

class DatasetHost;

class CategoryPanel : public QWidget
{
    Q_OBJECT

public:
    CategoryPanel(const QString& name, bool removable, const QColor& color, DatasetHost* host,
                  QWidget* parent = nullptr);

    // The current text of the name edit.
    QString name() const;
    const std::vector<CategoryEntry>& entries() const { return entryList; }
    int entryCount() const { return static_cast<int>(entryList.size()); }
    const QColor& color() const { return categoryColor; }
    bool removable() const { return isRemovable; }
    bool showIds() const { return idsShown; }
    bool showReplicateIds() const { return replicateIdsShown; }

    // Adds a loaded dataset with a reader that is not in the panel yet; emits changed.
    bool addDataset(int datasetId);
    // Appends the entry unchanged, without changed (session restore).
    void addEntry(const CategoryEntry& entry);
    // Removes every entry of the dataset; emits changed when one went.
    void removeDataset(int datasetId);
    // These change the first entry of the dataset (nothing when absent), rebuild the list
    // and emit nothing.
    void renameDataset(int datasetId, const QString& name);
    void setNumberId(int datasetId, int value);
    void setBioRepId(int datasetId, int value);
    void setTechRepId(int datasetId, int value);
    void setShowIds(bool show);
    void setShowReplicateIds(bool show);

    // A drop of the dataset payload: adds the dataset when the payload names one (id >= 0)
    // and the drag came from inside this program (source set). True when it was added.
    bool acceptDatasetDrop(const QMimeData* payload, const QObject* source);
    // The context menu for a list position: the single entry "Set IDs..." over an item
    // while IDs are shown, else null. The caller owns the menu.
    QMenu* contextMenuAt(const QPoint& listPosition);
    // Edits the identifiers of the item's dataset (prompt or dialog); emits changed when
    // accepted. Nothing while IDs are hidden.
    void editItemIds(QListWidgetItem* item);

signals:
    void changed();
    void deleteRequested(CategoryPanel* panel);

public slots:
    void onRemoveSelected();
    void onClearAll();
    void onAddDatasets();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void refreshList();
    void updateColorButton();
    void chooseColor();
    CategoryEntry* findEntry(int datasetId);
    // The ID prompt (replicate false) or the three-number dialog; the ranges reach at
    // least 9999 and never below the current values. True when accepted.
    static bool editIds(QWidget* parent, const QString& datasetName, bool replicate, int& numberId,
                        int& bioRepId, int& techRepId);

    DatasetHost* host = nullptr;
    QString categoryName;
    bool isRemovable = false;
    QColor categoryColor;
    QLineEdit* nameEdit = nullptr;
    QLabel* countLabel = nullptr;
    QListWidget* list = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* colorButton = nullptr;
    QPushButton* removeSelectedButton = nullptr;
    bool idsShown = false;
    bool replicateIdsShown = false;
    std::vector<CategoryEntry> entryList;
};

} // namespace Tervane3
