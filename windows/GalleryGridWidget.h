// The grid of one gallery page: an image label and an event-id label per place, made on
// demand and reused for every page (never deleted before the widget).
#pragma once

#include "windows/GalleryRender.h"

#include <QWidget>

#include <vector>

class QGridLayout;
class QLabel;

namespace Tervane3 {

class GalleryGridWidget : public QWidget
{
    Q_OBJECT

public:
    explicit GalleryGridWidget(QWidget* parent = nullptr);

    // Creates label pairs until `count` exist.
    void ensureCells(int count);
    // Lays out `columns` x `columns` places (at least 1 column) and shows the cells in them,
    // row by row; places beyond the cells or with an empty image stay blank without id.
    // An empty list clears the grid.
    void setImages(const std::vector<GalleryCell>& cells, int columns, bool showIds);

    int columnCount() const { return columns; }
    const std::vector<QLabel*>& images() const { return imageLabels; }
    const std::vector<QLabel*>& ids() const { return idLabels; }

private:
    QGridLayout* layout = nullptr;
    int columns = 10;
    std::vector<QLabel*> imageLabels;
    std::vector<QLabel*> idLabels;
};

// The cutout as a QImage that owns its pixels: 8-bit greyscale for one channel, else the
// BGR matrix as 24-bit RGB. Rows are taken with the matrix's own step.
QImage galleryCellImage(const cv::Mat& cutout);

} // namespace Tervane3
