// The shared part of the filter panel's rule rows.
#include "filters/RuleRowWidget.h"

#include "core/RTDCReader.h"
#include "filters/FilterPanelParts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Tervane3 {

namespace {

QPushButton* allDatasetsButton(const QString& text, const QString& objectName, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setFixedHeight(16);
    button->setStyleSheet(plainButtonStyle());
    return button;
}

} // namespace

RuleRowWidget::RuleRowWidget(std::shared_ptr<RTDCReader> rowReader, QWidget* parent)
    : QWidget(parent)
    , reader(std::move(rowReader))
{
    enabledCheck = new QCheckBox(this);
    enabledCheck->setObjectName(QStringLiteral("enabledCheck"));
    enabledCheck->setChecked(true);
    invertCheck = new QCheckBox(QStringLiteral("Invert"), this);
    invertCheck->setObjectName(QStringLiteral("invertCheck"));
    invertCheck->setToolTip(QStringLiteral("Invert this rule (pass events that do NOT match)"));
    removeButton = new QPushButton(QStringLiteral("\u00D7"), this);
    removeButton->setObjectName(QStringLiteral("removeButton"));
    removeButton->setFixedSize(20, 24);
    removeButton->setStyleSheet(removeButtonStyle());
}

QHBoxLayout* RuleRowWidget::createRowLayout()
{
    rowLayout = new QVBoxLayout(this);
    rowLayout->setContentsMargins(0, 4, 0, 4);
    rowLayout->setSpacing(2);
    auto* line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    rowLayout->addLayout(line);
    return line;
}

QHBoxLayout* RuleRowWidget::createAllButtonsLine()
{
    allButtonsLine = new QHBoxLayout;
    allButtonsLine->setContentsMargins(20, 0, 0, 0);
    allButtonsLine->setSpacing(4);
    return allButtonsLine;
}

void RuleRowWidget::createAllButtons()
{
    applyToAllButton = allDatasetsButton(QStringLiteral("Apply to All"), QStringLiteral("applyToAllButton"), this);
    updateInAllButton = allDatasetsButton(QStringLiteral("Update in All"), QStringLiteral("updateInAllButton"), this);
    checkInAllButton = allDatasetsButton(QStringLiteral("Uncheck in All"), QStringLiteral("checkInAllButton"), this);
    deleteFromAllButton =
        allDatasetsButton(QStringLiteral("Delete from All"), QStringLiteral("deleteFromAllButton"), this);
    for (QPushButton* button : {applyToAllButton, updateInAllButton, checkInAllButton, deleteFromAllButton})
        allButtonsLine->addWidget(button);
    allButtonsLine->addStretch();
    connect(applyToAllButton, &QPushButton::clicked, this, &RuleRowWidget::applyRuleToAllRequested);
    connect(updateInAllButton, &QPushButton::clicked, this, &RuleRowWidget::updateRuleToAllRequested);
    connect(checkInAllButton, &QPushButton::clicked, this, &RuleRowWidget::onUncheckCheckClicked);
    connect(deleteFromAllButton, &QPushButton::clicked, this, &RuleRowWidget::deleteRuleFromAllRequested);
}

void RuleRowWidget::connectFlagBoxes()
{
    connect(enabledCheck, &QCheckBox::toggled, this, [this] { reportChange(false); });
    connect(invertCheck, &QCheckBox::toggled, this, [this] { reportChange(false); });
}

void RuleRowWidget::connectButtons()
{
    connect(removeButton, &QPushButton::clicked, this, &RuleRowWidget::removeRequested);
    connect(enabledCheck, &QCheckBox::toggled, this, &RuleRowWidget::refreshAllButtons);
}

void RuleRowWidget::reportChange(bool fromBound)
{
    boundEdit = fromBound;
    emit ruleChanged();
}

void RuleRowWidget::onUncheckCheckClicked()
{
    if (enabledCheck->isChecked())
        emit checkRuleInAllRequested();
    else
        emit uncheckRuleInAllRequested();
}

void RuleRowWidget::setMultipleDatasets(bool multiple)
{
    multipleDatasets = multiple;
    refreshAllButtons();
}

void RuleRowWidget::setAllFlags(bool content, bool enabled)
{
    if (content == contentDiffer && enabled == enabledDiffer)
        return;
    contentDiffer = content;
    enabledDiffer = enabled;
    refreshAllButtons();
}

void RuleRowWidget::setEnabledSilently(bool enabled)
{
    {
        const QSignalBlocker blocker(enabledCheck);
        enabledCheck->setChecked(enabled);
    }
    refreshAllButtons();
}

void RuleRowWidget::enterGroupMode()
{
    inGroup = true;
    enabledCheck->hide();
    {
        const QSignalBlocker blocker(enabledCheck);
        enabledCheck->setChecked(true);
    }
    refreshAllButtons();
}

void RuleRowWidget::refreshAllButtons()
{
    if (inGroup) {
        if (applyToAllButton) {
            for (QPushButton* button : {applyToAllButton, updateInAllButton, checkInAllButton, deleteFromAllButton})
                button->hide();
        }
        return;
    }
    if (!applyToAllButton)
        createAllButtons();
    const bool hasId = !propagationId().empty();
    applyToAllButton->setVisible(!hasId);
    updateInAllButton->setVisible(hasId);
    checkInAllButton->setVisible(hasId);
    deleteFromAllButton->setVisible(hasId);
    checkInAllButton->setText(enabledCheck->isChecked() ? QStringLiteral("Check in All")
                                                        : QStringLiteral("Uncheck in All"));
    for (QPushButton* button : {applyToAllButton, updateInAllButton, checkInAllButton, deleteFromAllButton})
        button->setEnabled(multipleDatasets);
    applyToAllButton->setStyleSheet(plainButtonStyle());
    deleteFromAllButton->setStyleSheet(plainButtonStyle());
    updateInAllButton->setStyleSheet(hasId && multipleDatasets && contentDiffer ? highlightedButtonStyle()
                                                                                : plainButtonStyle());
    checkInAllButton->setStyleSheet(hasId && multipleDatasets && enabledDiffer ? highlightedButtonStyle()
                                                                               : plainButtonStyle());
}

} // namespace Tervane3
