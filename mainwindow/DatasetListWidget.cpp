// The flat dataset list.
#include "mainwindow/DatasetListWidget.h"

namespace Tervane3 {

DatasetListWidget::DatasetListWidget(QWidget* parent)
    : QListWidget(parent)
{
}

} // namespace Tervane3
