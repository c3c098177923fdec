// Shows a widget, lets it lay itself out and writes its picture; says so when the file
// cannot be written.
#pragma once

#include <QCoreApplication>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <iostream>

namespace Tervane3::Shot {

inline bool showAndSave(QWidget* widget, const QString& file)
{
    widget->show();
    QCoreApplication::processEvents();
    const bool ok = widget->grab().save(file);
    if (!ok)
        std::cerr << "cannot write " << file.toStdString() << "\n";
    return ok;
}

} // namespace Tervane3::Shot
