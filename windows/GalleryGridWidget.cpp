// The page grid of the image gallery. GUI thread only.
#include "windows/GalleryGridWidget.h"

#include <opencv2/imgproc.hpp>

#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>

namespace Tervane3 {

QImage galleryCellImage(const cv::Mat& cutout)
{
    if (cutout.empty())
        return QImage();
    if (cutout.type() == CV_8UC1) {
        // The step is the matrix's bytes per line: odd widths would shear otherwise.
        return QImage(cutout.data, cutout.cols, cutout.rows, static_cast<int>(cutout.step),
                      QImage::Format_Grayscale8)
            .copy();
    }
    cv::Mat rgb;
    cv::cvtColor(cutout, rgb, cv::COLOR_BGR2RGB);
    return QImage(rgb.data, rgb.cols, rgb.rows, static_cast<int>(rgb.step), QImage::Format_RGB888).copy();
}

GalleryGridWidget::GalleryGridWidget(QWidget* parent)
    : QWidget(parent)
    , layout(new QGridLayout(this))
{
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setHorizontalSpacing(2);
    layout->setVerticalSpacing(2);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void GalleryGridWidget::ensureCells(int count)
{
    while (static_cast<int>(imageLabels.size()) < count) {
        auto* image = new QLabel(this);
        image->setAlignment(Qt::AlignCenter);
        image->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        auto* id = new QLabel(this);
        id->setAlignment(Qt::AlignCenter);
        id->setStyleSheet(QStringLiteral("QLabel { color: #555; font-size: 9px; }"));
        id->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        imageLabels.push_back(image);
        idLabels.push_back(id);
    }
}

void GalleryGridWidget::setImages(const std::vector<GalleryCell>& cells, int columnsWanted, bool showIds)
{
    const int c = std::max(1, columnsWanted);
    columns = c;
    for (size_t i = 0; i < imageLabels.size(); ++i) {
        layout->removeWidget(imageLabels[i]);
        layout->removeWidget(idLabels[i]);
        imageLabels[i]->hide();
        idLabels[i]->hide();
    }
    ensureCells(c * c);
    for (int i = 0; i < c * c; ++i) {
        QLabel* image = imageLabels[static_cast<size_t>(i)];
        QLabel* id = idLabels[static_cast<size_t>(i)];
        layout->addWidget(image, 2 * (i / c), i % c);
        layout->addWidget(id, 2 * (i / c) + 1, i % c);
        image->show();
        const bool filled = i < static_cast<int>(cells.size()) && !cells[static_cast<size_t>(i)].image.empty();
        if (!filled) {
            image->clear();
            id->clear();
            id->hide();
            continue;
        }
        const GalleryCell& cell = cells[static_cast<size_t>(i)];
        const QPixmap pixmap = QPixmap::fromImage(galleryCellImage(cell.image));
        image->setPixmap(pixmap);
        image->setFixedSize(pixmap.size());
        if (showIds) {
            id->setText(QString::number(cell.eventIndex));
            id->setFixedWidth(pixmap.width());
            id->show();
        } else {
            id->clear();
            id->hide();
        }
    }
    adjustSize();
}

} // namespace Tervane3
