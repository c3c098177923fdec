// The chooser of the filter groups to export.
#include "filters/FilterGroupExportDialog.h"

#include "filters/FilterGroup.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace Tervane3 {

FilterGroupExportDialog::FilterGroupExportDialog(const std::vector<const FilterGroup*>& groups, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Export Filter Groups"));
    resize(360, 360);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Select groups to export:"), this));
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("exportGroupList"));
    for (const FilterGroup* group : groups) {
        auto* item = new QListWidgetItem(QString::fromStdString(group->name), list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setData(Qt::UserRole, group->id);
    }
    layout->addWidget(list, 1);

    auto* selection = new QHBoxLayout;
    auto* all = new QPushButton(QStringLiteral("Select All"), this);
    all->setObjectName(QStringLiteral("selectAllButton"));
    auto* none = new QPushButton(QStringLiteral("Select None"), this);
    none->setObjectName(QStringLiteral("selectNoneButton"));
    selection->addWidget(all);
    selection->addWidget(none);
    selection->addStretch();
    layout->addLayout(selection);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);

    connect(all, &QPushButton::clicked, this, [this] { setAllChecked(true); });
    connect(none, &QPushButton::clicked, this, [this] { setAllChecked(false); });
    connect(list, &QListWidget::itemChanged, this, &FilterGroupExportDialog::updateOkButton);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateOkButton();
}

std::vector<int> FilterGroupExportDialog::checkedGroupIds() const
{
    std::vector<int> ids;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked)
            ids.push_back(list->item(i)->data(Qt::UserRole).toInt());
    }
    return ids;
}

void FilterGroupExportDialog::setAllChecked(bool checked)
{
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void FilterGroupExportDialog::updateOkButton()
{
    okButton->setEnabled(!checkedGroupIds().empty());
}

} // namespace Tervane3
