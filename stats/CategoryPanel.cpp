// A category panel: head row (colour, name, count, delete), the dataset list painted as
// rich text, the add/clear/remove buttons.
#include "stats/CategoryPanel.h"

#include "app/DatasetDragPayload.h"
#include "app/DatasetEntry.h"
#include "app/DatasetHost.h"
#include "app/Prompts.h"
#include "stats/RichTextDelegate.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace Tervane3 {

namespace {

QString idPart(int id)
{
    return id > 0 ? QString::number(id) : QStringLiteral("<b style=\"color:#c04040\">?</b>");
}

QSpinBox* idSpin(int value)
{
    auto* spin = new QSpinBox;
    spin->setRange(0, std::max(9999, value));
    spin->setValue(value);
    return spin;
}

} // namespace

CategoryPanel::CategoryPanel(const QString& name, bool removable, const QColor& color, DatasetHost* datasetHost,
                             QWidget* parent)
    : QWidget(parent)
    , host(datasetHost)
    , categoryName(name)
    , isRemovable(removable)
    , categoryColor(color)
{
    setAcceptDrops(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* head = new QHBoxLayout;
    colorButton = new QPushButton(this);
    colorButton->setObjectName(QStringLiteral("colorButton"));
    colorButton->setFixedSize(20, 20);
    colorButton->setToolTip(QStringLiteral("Click to change category color"));
    updateColorButton();
    nameEdit = new QLineEdit(name, this);
    nameEdit->setObjectName(QStringLiteral("nameEdit"));
    QFont bold = nameEdit->font();
    bold.setWeight(QFont::Bold);
    nameEdit->setFont(bold);
    nameEdit->setFrame(false);
    nameEdit->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    countLabel = new QLabel(QStringLiteral("0 datasets"), this);
    countLabel->setObjectName(QStringLiteral("countLabel"));
    deleteButton = new QPushButton(QStringLiteral("Delete"), this);
    deleteButton->setObjectName(QStringLiteral("deleteButton"));
    deleteButton->setVisible(removable);
    head->addWidget(colorButton);
    head->addWidget(nameEdit);
    head->addStretch();
    head->addWidget(countLabel);
    head->addWidget(deleteButton);
    layout->addLayout(head);

    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("entryList"));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setDragDropMode(QAbstractItemView::NoDragDrop);
    list->setItemDelegate(new RichTextDelegate(list));
    list->setMinimumHeight(50);
    list->setMaximumHeight(150);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(list);

    auto* buttons = new QHBoxLayout;
    auto* addButton = new QPushButton(QStringLiteral("Add..."), this);
    addButton->setObjectName(QStringLiteral("addButton"));
    auto* clearButton = new QPushButton(QStringLiteral("Clear All"), this);
    clearButton->setObjectName(QStringLiteral("clearAllButton"));
    removeSelectedButton = new QPushButton(QStringLiteral("Remove Selected"), this);
    removeSelectedButton->setObjectName(QStringLiteral("removeSelectedButton"));
    removeSelectedButton->setEnabled(false);
    buttons->addWidget(addButton);
    buttons->addWidget(clearButton);
    buttons->addStretch();
    buttons->addWidget(removeSelectedButton);
    layout->addLayout(buttons);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    connect(colorButton, &QPushButton::clicked, this, &CategoryPanel::chooseColor);
    connect(nameEdit, &QLineEdit::editingFinished, this, [this] {
        categoryName = nameEdit->text();
        emit changed();
    });
    connect(deleteButton, &QPushButton::clicked, this, [this] { emit deleteRequested(this); });
    connect(addButton, &QPushButton::clicked, this, &CategoryPanel::onAddDatasets);
    connect(clearButton, &QPushButton::clicked, this, &CategoryPanel::onClearAll);
    connect(removeSelectedButton, &QPushButton::clicked, this, &CategoryPanel::onRemoveSelected);
    connect(list, &QListWidget::itemSelectionChanged, this,
            [this] { removeSelectedButton->setEnabled(!list->selectedItems().isEmpty()); });
    connect(list, &QListWidget::itemDoubleClicked, this, &CategoryPanel::editItemIds);
    connect(list, &QListWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        QMenu* menu = contextMenuAt(position);
        if (!menu)
            return;
        menu->exec(list->viewport()->mapToGlobal(position));
        delete menu;
    });
}

QString CategoryPanel::name() const
{
    return nameEdit->text();
}

bool CategoryPanel::addDataset(int datasetId)
{
    if (findEntry(datasetId))
        return false;
    const DatasetEntry* dataset = host ? host->findDatasetById(datasetId) : nullptr;
    if (!dataset || !dataset->featuresLoaded || !dataset->reader)
        return false;
    CategoryEntry entry;
    entry.datasetId = datasetId;
    entry.name = dataset->displayName;
    entry.sample = dataset->metadata.value("experiment", "sample");
    entryList.push_back(entry);
    refreshList();
    emit changed();
    return true;
}

void CategoryPanel::addEntry(const CategoryEntry& entry)
{
    entryList.push_back(entry);
    refreshList();
}

void CategoryPanel::removeDataset(int datasetId)
{
    const auto before = entryList.size();
    entryList.erase(std::remove_if(entryList.begin(), entryList.end(),
                                   [&](const CategoryEntry& e) { return e.datasetId == datasetId; }),
                    entryList.end());
    if (entryList.size() == before)
        return;
    refreshList();
    emit changed();
}

void CategoryPanel::renameDataset(int datasetId, const QString& newName)
{
    if (CategoryEntry* entry = findEntry(datasetId))
        entry->name = newName;
    refreshList();
}

void CategoryPanel::setNumberId(int datasetId, int value)
{
    if (CategoryEntry* entry = findEntry(datasetId))
        entry->numberId = value;
    refreshList();
}

void CategoryPanel::setBioRepId(int datasetId, int value)
{
    if (CategoryEntry* entry = findEntry(datasetId))
        entry->bioRepId = value;
    refreshList();
}

void CategoryPanel::setTechRepId(int datasetId, int value)
{
    if (CategoryEntry* entry = findEntry(datasetId))
        entry->techRepId = value;
    refreshList();
}

void CategoryPanel::setShowIds(bool show)
{
    idsShown = show;
    refreshList();
}

void CategoryPanel::setShowReplicateIds(bool show)
{
    replicateIdsShown = show;
    refreshList();
}

bool CategoryPanel::acceptDatasetDrop(const QMimeData* payload, const QObject* source)
{
    // A payload from another program (no source) or without a valid id adds nothing.
    const int datasetId = DatasetDragPayload::datasetId(payload);
    if (!source || datasetId < 0)
        return false;
    return addDataset(datasetId);
}

void CategoryPanel::dragEnterEvent(QDragEnterEvent* event)
{
    if (DatasetDragPayload::hasDataset(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CategoryPanel::dropEvent(QDropEvent* event)
{
    if (acceptDatasetDrop(event->mimeData(), event->source()))
        event->acceptProposedAction();
    else
        event->ignore();
}

QMenu* CategoryPanel::contextMenuAt(const QPoint& listPosition)
{
    QListWidgetItem* item = list->itemAt(listPosition);
    if (!item || !idsShown)
        return nullptr;
    auto* menu = new QMenu(this);
    QAction* setIds = menu->addAction(QStringLiteral("Set IDs..."));
    connect(setIds, &QAction::triggered, this, [this, item] { editItemIds(item); });
    return menu;
}

void CategoryPanel::editItemIds(QListWidgetItem* item)
{
    if (!item || !idsShown)
        return;
    CategoryEntry* entry = findEntry(item->data(Qt::UserRole).toInt());
    if (!entry)
        return;
    int numberId = entry->numberId;
    int bioRepId = entry->bioRepId;
    int techRepId = entry->techRepId;
    const int datasetId = entry->datasetId;
    if (!editIds(this, entry->name, replicateIdsShown, numberId, bioRepId, techRepId))
        return;
    // The prompt ran an event loop: look the entry up again.
    entry = findEntry(datasetId);
    if (!entry)
        return;
    entry->numberId = numberId;
    entry->bioRepId = bioRepId;
    entry->techRepId = techRepId;
    refreshList();
    emit changed();
}

bool CategoryPanel::editIds(QWidget* parent, const QString& datasetName, bool replicate, int& numberId,
                            int& bioRepId, int& techRepId)
{
    if (!replicate) {
        bool ok = false;
        const int value = prompts().getInt(parent, QStringLiteral("Set ID"),
                                           QStringLiteral("ID for \"%1\":").arg(datasetName), numberId, 0,
                                           std::max(9999, numberId), 1, &ok);
        if (!ok)
            return false;
        numberId = value;
        return true;
    }
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("replicateIdsDialog"));
    dialog.setWindowTitle(QStringLiteral("Set Replicate IDs"));
    auto* form = new QFormLayout(&dialog);
    auto* label = new QLabel(QStringLiteral("Assign IDs for \"%1\"").arg(datasetName), &dialog);
    label->setWordWrap(true);
    form->addRow(label);
    QSpinBox* idSpinBox = idSpin(numberId);
    QSpinBox* bioSpinBox = idSpin(bioRepId);
    QSpinBox* techSpinBox = idSpin(techRepId);
    idSpinBox->setObjectName(QStringLiteral("idSpin"));
    bioSpinBox->setObjectName(QStringLiteral("bioRepSpin"));
    techSpinBox->setObjectName(QStringLiteral("techRepSpin"));
    form->addRow(QStringLiteral("ID:"), idSpinBox);
    form->addRow(QStringLiteral("Biological replicate:"), bioSpinBox);
    form->addRow(QStringLiteral("Technical replicate:"), techSpinBox);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(box);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (prompts().execDialog(&dialog) != QDialog::Accepted)
        return false;
    numberId = idSpinBox->value();
    bioRepId = bioSpinBox->value();
    techRepId = techSpinBox->value();
    return true;
}

void CategoryPanel::onRemoveSelected()
{
    std::set<int> ids;
    for (const QListWidgetItem* item : list->selectedItems())
        ids.insert(item->data(Qt::UserRole).toInt());
    entryList.erase(std::remove_if(entryList.begin(), entryList.end(),
                                   [&](const CategoryEntry& e) { return ids.count(e.datasetId) > 0; }),
                    entryList.end());
    refreshList();
    emit changed();
}

void CategoryPanel::onClearAll()
{
    entryList.clear();
    refreshList();
    emit changed();
}

void CategoryPanel::onAddDatasets()
{
    std::set<int> present;
    for (const CategoryEntry& entry : entryList)
        present.insert(entry.datasetId);

    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("addDatasetsDialog"));
    dialog.setWindowTitle(QStringLiteral("Add Datasets"));
    dialog.setMinimumSize(350, 300);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Select datasets to add (Ctrl/Shift for multi-select):"), &dialog));
    auto* choices = new QListWidget(&dialog);
    choices->setObjectName(QStringLiteral("datasetChoices"));
    choices->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (host) {
        for (const auto& dataset : host->datasets()) {
            if (!dataset->featuresLoaded || present.count(dataset->id))
                continue;
            auto* item = new QListWidgetItem(dataset->displayName, choices);
            item->setData(Qt::UserRole, dataset->id);
        }
    }
    layout->addWidget(choices);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (prompts().execDialog(&dialog) != QDialog::Accepted)
        return;
    // In list order, whatever order the items were selected in.
    for (int row = 0; row < choices->count(); ++row) {
        const QListWidgetItem* item = choices->item(row);
        if (item->isSelected())
            addDataset(item->data(Qt::UserRole).toInt());
    }
}

void CategoryPanel::refreshList()
{
    list->clear();
    for (const CategoryEntry& entry : entryList) {
        QString text = entry.name.toHtmlEscaped();
        if (idsShown) {
            QString tag;
            bool complete = false;
            if (replicateIdsShown) {
                tag = QStringLiteral("%1.%2.%3").arg(idPart(entry.numberId), idPart(entry.bioRepId),
                                                     idPart(entry.techRepId));
                complete = entry.numberId > 0 && entry.bioRepId > 0 && entry.techRepId > 0;
            } else {
                tag = idPart(entry.numberId);
                complete = entry.numberId > 0;
            }
            text += QStringLiteral("  <span style=\"color:%1\">[#%2]</span>")
                        .arg(complete ? QStringLiteral("#3070b0") : QStringLiteral("#a0a0a0"), tag);
        }
        auto* item = new QListWidgetItem(text, list);
        item->setData(Qt::UserRole, entry.datasetId);
    }
    countLabel->setText(entryList.size() == 1 ? QStringLiteral("1 dataset")
                                              : QStringLiteral("%1 datasets").arg(entryList.size()));
    removeSelectedButton->setEnabled(!list->selectedItems().isEmpty());
}

void CategoryPanel::updateColorButton()
{
    colorButton->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; border: 1px solid #888; border-radius: 3px; }")
            .arg(categoryColor.name()));
}

void CategoryPanel::chooseColor()
{
    const QColor chosen = prompts().getColor(this, categoryColor, QStringLiteral("Category Color"));
    if (!chosen.isValid())
        return;
    categoryColor = chosen;
    updateColorButton();
    emit changed();
}

CategoryEntry* CategoryPanel::findEntry(int datasetId)
{
    for (CategoryEntry& entry : entryList)
        if (entry.datasetId == datasetId)
            return &entry;
    return nullptr;
}

} // namespace Tervane3
