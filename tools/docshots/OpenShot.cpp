// tervane3-open-shot: the pictures of opening measurements for the manual. A measurement with
// a long sample name is opened (the dataset list, the info line and the name field elide
// it), then a truncated copy of it is refused; the box that says why is grabbed on its own. Run it under
// Xvfb so fonts render as on a desktop:
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/docshots/tervane3-open-shot <out dir>
// Writes open-long-name.png (the main window) and open-refused.png (the box).
#include "mainwindow/MainWindowTestAccess.h"
#include "ShotFiles.h"

#include "app/AppStyle.h"
#include "app/MeasurementProbeRunner.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMessageBox>

#include <H5Cpp.h>

#include <clocale>
#include <iostream>

using namespace Tervane3;
using Access = MainWindowTestAccess;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tervane3-open-shot <output folder>\n";
        return 2;
    }
    // The platform Xvfb offers (offscreen fonts and sizes differ from a desktop's).
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    AppStyle::apply(app);
    setProbeProgram(QStringLiteral(TERVANE3_PROBE_PROGRAM));
    const QString out = QString::fromLocal8Bit(argv[1]);

    const QString measured = out + QStringLiteral("/hl60-control-run3.rtdc");
    if (!Shot::writeSynthetic(measured.toStdString(), "--events 20000 --seed 7"))
        return 1;
    try {
        H5::H5File file(measured.toStdString(), H5F_ACC_RDWR);
        H5::Group root = file.openGroup("/");
        root.removeAttr("experiment:sample");
        const H5::StrType text(H5::PredType::C_S1, H5T_VARIABLE);
        const std::string sample = "HL60 control, channel 20 um, 0.16 uL/s, TavrisolB, afternoon series "
                                   "with the new buffer batch, run 3 of 5";
        root.createAttribute("experiment:sample", text, H5::DataSpace(H5S_SCALAR)).write(text, sample);
    } catch (const H5::Exception& e) {
        std::cerr << "cannot rename the sample: " << e.getDetailMsg() << "\n";
        return 1;
    }
    // A copy that broke off half-way, as an interrupted transfer leaves it.
    const QString truncated = out + QStringLiteral("/blood sample (copy).rtdc");
    {
        QFile source(measured);
        QFile copy(truncated);
        if (!source.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly))
            return 1;
        copy.write(source.read(source.size() / 2));
    }

    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1200, 800);
    window.show();
    Access::addDataset(window, measured);
    Test::waitForCaching(window, 120000);
    Access::selectKey(Access::combo(window, "colorFeatureCombo"), QStringLiteral("__density_kde__"));
    QCoreApplication::processEvents();
    if (!Shot::showAndSave(&window, out + QStringLiteral("/open-long-name.png")))
        return 1;

    Access::addDataset(window, truncated);
    QCoreApplication::processEvents();
    const auto* refused = env.prompts->last();
    if (!refused) {
        std::cerr << "the truncated copy was not refused\n";
        return 1;
    }
    QMessageBox box(QMessageBox::Critical, refused->title, refused->text, QMessageBox::Ok, &window);
    const bool ok = Shot::showAndSave(&box, out + QStringLiteral("/open-refused.png"));
    QFile::remove(measured);
    QFile::remove(truncated);
    return ok ? 0 : 1;
}
