// Layout of the event image viewer.
#include "plots/ImageViewer.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace Tervane3 {

ImageViewer::ImageViewer(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    captionLabel = new QLabel(QStringLiteral("No Image"), this);
    captionLabel->setAlignment(Qt::AlignCenter);
    QFont captionFont = captionLabel->font();
    captionFont.setWeight(QFont::Bold);
    captionFont.setPointSize(12);
    captionLabel->setFont(captionFont);
    layout->addWidget(captionLabel);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(false);
    imageLabel = new QLabel(scroll);
    imageLabel->setAlignment(Qt::AlignCenter);
    imageLabel->setMinimumSize(100, 100);
    scroll->setWidget(imageLabel);
    scroll->setAlignment(Qt::AlignCenter);
    layout->addWidget(scroll, 1);

    auto* checks = new QHBoxLayout;
    checks->setSpacing(8);
    showMaskCheck = new QCheckBox(QStringLiteral("Show Mask"), this);
    showMaskCheck->setChecked(true);
    showMaskCheck->setEnabled(false);
    showMaskCheck->setToolTip(QStringLiteral("Show mask overlay"));
    autoContrastCheck = new QCheckBox(QStringLiteral("Auto Contrast"), this);
    autoContrastCheck->setToolTip(QStringLiteral("Stretch image contrast to full range"));
    checks->addWidget(showMaskCheck);
    checks->addWidget(autoContrastCheck);
    checks->addStretch();
    layout->addLayout(checks);

    connect(showMaskCheck, &QCheckBox::toggled, this, &ImageViewer::showMaskToggled);
    connect(autoContrastCheck, &QCheckBox::toggled, this, &ImageViewer::autoContrastToggled);
}

} // namespace Tervane3
