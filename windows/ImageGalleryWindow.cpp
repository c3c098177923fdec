// The Image Gallery window, empty for now.
#include "windows/ImageGalleryWindow.h"

#include "app/WindowHelpers.h"

#include <QCloseEvent>

namespace Tervane3 {

ImageGalleryWindow::ImageGalleryWindow(DatasetHost* datasetHost, int id, QWidget* parent)
    : QMainWindow(parent)
    , host(datasetHost)
    , datasetId(id)
{
    setWindowTitle(QStringLiteral("Image Gallery"));
    resize(1100, 800);
    setCentralWidget(new QWidget(this));
    addKeepOnTopAction(this);
}

void ImageGalleryWindow::refresh()
{
}

void ImageGalleryWindow::renameDataset(int, const QString&)
{
}

void ImageGalleryWindow::removeDataset(int id)
{
    // A gallery without its dataset has nothing to show.
    if (id == datasetId)
        close();
}

void ImageGalleryWindow::onActiveDatasetChanged(int)
{
}

void ImageGalleryWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Tervane3
