// tervane3-export-shot: the pictures of the export dialogs for the manual and the README,
// grabbed from the real widgets on synthetic measurements with the program's own look. Run
// it under Xvfb so fonts render as on a desktop:
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/docshots/tervane3-export-shot <out dir>
// Writes export-dialog.png (Export > Export Data... with two datasets open).
#include "ExportTestSupport.h"

#include "app/AppStyle.h"
#include "app/DatasetEntry.h"
#include "io/ExportDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>

#include <clocale>
#include <cstdlib>
#include <iostream>

using namespace Tervane3;

namespace {

std::unique_ptr<DatasetEntry> synthDataset(const QString& folder, const char* name, const char* options, int id,
                                           const QString& displayName)
{
    const std::string path = QString(folder + QLatin1Char('/') + QLatin1String(name)).toStdString();
    const std::string command = std::string("\"") + TERVANE3_SYNTH_PATH + "\" \"" + path + "\" " + options;
    if (std::system(command.c_str()) != 0)
        return nullptr;
    return Test::openEntry(path, id, displayName);
}

bool save(QWidget* widget, const QString& file)
{
    widget->show();
    QCoreApplication::processEvents();
    const bool ok = widget->grab().save(file);
    if (!ok)
        std::cerr << "cannot write " << file.toStdString() << "\n";
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tervane3-export-shot <output folder>\n";
        return 2;
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    AppStyle::apply(app);
    const QString out = QString::fromLocal8Bit(argv[1]);

    std::vector<std::unique_ptr<DatasetEntry>> datasets;
    datasets.push_back(synthDataset(out, "shot-cells.rtdc", "--events 2000 --images --masks --traces --seed 4", 0,
                                    QStringLiteral("HL60 control")));
    datasets.push_back(synthDataset(out, "shot-treated.rtdc", "--events 2000 --seed 5", 1,
                                    QStringLiteral("HL60 treated")));
    if (!datasets[0] || !datasets[1])
        return 1;

    ExportOptions previous;
    previous.features = {"area_um", "deform", "bright_avg", "fl1_max", "fl2_max", "frame", "time"};
    previous.images = true;
    previous.masks = true;
    ExportDialog dialog(datasets[0].get(), datasets, false, nullptr, &previous);
    dialog.resize(dialog.sizeHint().width() + 40, dialog.sizeHint().height());
    return save(&dialog, out + QStringLiteral("/export-dialog.png")) ? 0 : 1;
}
