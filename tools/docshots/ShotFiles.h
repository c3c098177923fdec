// Files of the screenshot tools: the synthetic measurement a picture is made of, and the
// picture of a widget.
#pragma once

#include <QCoreApplication>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <cstdlib>
#include <iostream>
#include <string>

namespace Tervane3::Shot {

#ifdef TERVANE3_SYNTH_PATH
// Writes a measurement with the generator the build makes; options as on its command line
// ("--events 20000 --seed 3"). Without a --sample of their own the measurements keep the
// sample name that the manual's pictures show (the generator's default names the seed).
// False when the generator failed.
inline bool writeSynthetic(const std::string& path, const std::string& options)
{
    const std::string sample =
        options.find("--sample") == std::string::npos ? " --sample \"Synthetic blood sample\"" : "";
    const std::string command =
        std::string("\"") + TERVANE3_SYNTH_PATH + "\" \"" + path + "\" " + options + sample;
    return std::system(command.c_str()) == 0;
}
#endif

// Shows a widget, lets it lay itself out and writes its picture; says so when the file
// cannot be written.
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
