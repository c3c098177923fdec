// The box of one filter group.
#include "filters/FilterGroupWidget.h"

#include "filters/FilterPanelParts.h"
#include "filters/FilterRuleWidget.h"
#include "filters/PolygonRuleWidget.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Tervane3 {

namespace {

QPushButton* addButton(const QString& text, const QString& objectName, int minWidth, const QString& toolTip,
                       QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setFixedHeight(16);
    button->setMinimumWidth(minWidth);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setStyleSheet(
        QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; min-width: %1px; }").arg(minWidth));
    button->setToolTip(toolTip);
    return button;
}

// Takes every widget out of the layout and deletes it later: a row may be removed from
// inside its own signal.
void discard(QVBoxLayout* layout, std::vector<QWidget*>& widgets)
{
    for (QWidget* widget : widgets) {
        layout->removeWidget(widget);
        widget->deleteLater();
    }
    widgets.clear();
}

} // namespace

FilterGroupWidget::FilterGroupWidget(int groupId, const std::vector<std::string>& features,
                                     std::shared_ptr<RTDCReader> groupReader, QWidget* parent)
    : QGroupBox(parent)
    , id(groupId)
    , availableFeatures(features)
    , reader(std::move(groupReader))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(4);

    auto* header = new QHBoxLayout;
    header->setSpacing(4);
    enabledCheck = new QCheckBox(this);
    enabledCheck->setObjectName(QStringLiteral("groupEnabledCheck"));
    enabledCheck->setToolTip(QStringLiteral("Enable this group for the active dataset"));
    nameEdit = new QLineEdit(this);
    nameEdit->setObjectName(QStringLiteral("groupNameEdit"));
    nameEdit->setMinimumWidth(120);
    allButton = new QPushButton(this);
    allButton->setObjectName(QStringLiteral("groupAllButton"));
    allButton->setFixedHeight(16);
    allButton->setStyleSheet(plainButtonStyle());
    allButton->setToolTip(QStringLiteral("Apply this group's enabled/disabled state to every dataset"));
    deleteButton = new QPushButton(QStringLiteral("\u00D7"), this);
    deleteButton->setObjectName(QStringLiteral("groupDeleteButton"));
    deleteButton->setFixedSize(20, 24);
    deleteButton->setStyleSheet(removeButtonStyle());
    deleteButton->setToolTip(QStringLiteral("Delete this filter group"));
    header->addWidget(enabledCheck);
    header->addWidget(nameEdit, 1);
    header->addWidget(allButton);
    header->addWidget(deleteButton);
    layout->addLayout(header);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(20, 0, 0, 0);
    buttons->setSpacing(4);
    addRuleButton = addButton(QStringLiteral("+ Rule"), QStringLiteral("groupAddRuleButton"), 70,
                              QStringLiteral("Add a range rule to this group"), this);
    addPolygonButton = addButton(QStringLiteral("+ Polygon"), QStringLiteral("groupAddPolygonButton"), 90,
                                 QStringLiteral("Draw a polygon gate on the scatter plot and add it to this group"),
                                 this);
    buttons->addWidget(addRuleButton);
    buttons->addWidget(addPolygonButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addWidget(createRuleSeparator(this));

    rowsLayout = new QVBoxLayout;
    rowsLayout->setContentsMargins(20, 0, 0, 0);
    rowsLayout->setSpacing(2);
    layout->addLayout(rowsLayout);

    refreshAllButton();
    connect(nameEdit, &QLineEdit::editingFinished, this, [this] { emit renameRequested(id, nameEdit->text()); });
    connect(enabledCheck, &QCheckBox::toggled, this, [this](bool on) {
        refreshAllButton();
        emit enableToggled(id, on);
    });
    connect(allButton, &QPushButton::clicked, this,
            [this] { emit enablePropagateRequested(id, enabledCheck->isChecked()); });
    connect(addRuleButton, &QPushButton::clicked, this, [this] { emit addRuleRequested(id); });
    connect(addPolygonButton, &QPushButton::clicked, this, [this] { emit addPolygonRequested(id); });
    connect(deleteButton, &QPushButton::clicked, this, [this] { emit deleteRequested(id); });
}

void FilterGroupWidget::setRules(const std::vector<FilterRule>& rules)
{
    std::vector<QWidget*> rows(ruleWidgets.begin(), ruleWidgets.end());
    discard(rowsLayout, rows);
    discard(rowsLayout, separators);
    ruleWidgets.clear();
    if (!reader)
        return;
    for (size_t i = 0; i < rules.size(); ++i) {
        RuleRowWidget* row = nullptr;
        if (rules[i].type != RangeRule)
            row = new PolygonRuleWidget(reader, this);
        else
            row = new FilterRuleWidget(availableFeatures, reader, this);
        // Group mode first: the row then never makes its all-datasets buttons.
        row->enterGroupMode();
        row->setRule(rules[i]);
        connectRow(row, static_cast<int>(i));
        if (!ruleWidgets.empty()) {
            separators.push_back(createRuleSeparator(this));
            rowsLayout->addWidget(separators.back());
        }
        rowsLayout->addWidget(row);
        ruleWidgets.push_back(row);
    }
}

void FilterGroupWidget::connectRow(RuleRowWidget* row, int index)
{
    connect(row, &RuleRowWidget::ruleChanged, this, [this, row, index] {
        boundEdit = row->lastChangeWasBoundEdit();
        emit ruleChanged(id, index, row->rule());
    });
    connect(row, &RuleRowWidget::removeRequested, this, [this, index] { emit ruleRemoved(id, index); });
    if (auto* polygon = qobject_cast<PolygonRuleWidget*>(row)) {
        connect(polygon, &PolygonRuleWidget::editToggled, this,
                [this, index](bool on) { emit polygonEditToggled(id, index, on); });
    }
}

void FilterGroupWidget::setName(const QString& name)
{
    if (nameEdit->text() == name)
        return;
    const QSignalBlocker blocker(nameEdit);
    nameEdit->setText(name);
}

void FilterGroupWidget::setGroupEnabled(bool on)
{
    {
        const QSignalBlocker blocker(enabledCheck);
        enabledCheck->setChecked(on);
    }
    refreshAllButton();
}

void FilterGroupWidget::setMultipleDatasets(bool multiple)
{
    multipleDatasets = multiple;
    allButton->setEnabled(multiple);
    refreshAllButton();
}

void FilterGroupWidget::setMixed(bool mixed)
{
    mixedState = mixed;
    refreshAllButton();
}

void FilterGroupWidget::setAvailableFeatures(const std::vector<std::string>& features)
{
    availableFeatures = features;
    for (RuleRowWidget* row : ruleWidgets) {
        if (auto* range = qobject_cast<FilterRuleWidget*>(row))
            range->setAvailableFeatures(features);
    }
}

void FilterGroupWidget::setPolygonEditChecked(int ruleIndex, bool on)
{
    if (ruleIndex < 0 || ruleIndex >= static_cast<int>(ruleWidgets.size()))
        return;
    if (auto* polygon = qobject_cast<PolygonRuleWidget*>(ruleWidgets[static_cast<size_t>(ruleIndex)]))
        polygon->setEditChecked(on);
}

void FilterGroupWidget::refreshAllButton()
{
    allButton->setText(enabledCheck->isChecked() ? QStringLiteral("Check in All Datasets")
                                                 : QStringLiteral("Uncheck in All Datasets"));
    allButton->setStyleSheet(multipleDatasets && mixedState ? highlightedButtonStyle() : plainButtonStyle());
}

} // namespace Tervane3
