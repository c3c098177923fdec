// The set-up of a calculation screenshot tool: the application with the program's look and C
// numbers, a generated measurement of 20,000 events in the output folder, and the main
// window (1400 x 900, scripted prompts) with that measurement opened, cached and named as a
// user would. Needs TERVANE3_SYNTH_PATH.
#pragma once

#include "app/AppStyle.h"
#include "ShotFiles.h"
#include "mainwindow/MainWindowTestAccess.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <memory>
#include <string>

namespace Tervane3::Shot {

class CalculationShot
{
public:
    CalculationShot(int& argc, char** argv, const char* fileName)
        : app(argc, argv)
    {
        std::setlocale(LC_NUMERIC, "C");
        AppStyle::apply(app);
        out = QString::fromLocal8Bit(argv[1]);
        measurement = QString(out + QLatin1Char('/') + QLatin1String(fileName)).toStdString();
        if (!writeSynthetic(measurement, "--events 20000 --seed 3"))
            return;
        env = std::make_unique<Test::MainWindowEnvironment>();
        window = std::make_unique<MainWindow>();
        window->resize(1400, 900);
        window->show();
        MainWindowTestAccess::addDataset(*window, QString::fromStdString(measurement));
        Test::waitForCaching(*window, 120000);
        MainWindowTestAccess::entry(*window, 0).displayName = QStringLiteral("HL60 control, 0.16 µL/s");
    }
    ~CalculationShot() { std::remove(measurement.c_str()); }

    bool ready() const { return window != nullptr; }

    QApplication app;
    QString out;
    std::string measurement;
    std::unique_ptr<Test::MainWindowEnvironment> env;
    std::unique_ptr<MainWindow> window;
};

} // namespace Tervane3::Shot
