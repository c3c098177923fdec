// The Qt application object of a program that builds widgets without a screen (benchmarks,
// screenshot tools): on the offscreen platform unless the caller chose one, and with C
// numbers, as the program itself runs.
#pragma once

#include <QApplication>

#include <clocale>

namespace Tervane3::Test {

class OffscreenApplication
{
public:
    OffscreenApplication(int& argc, char** argv)
        : platform(prepare())
        , app(argc, argv)
    {
        std::setlocale(LC_NUMERIC, "C");
    }

    QApplication& application() { return app; }

private:
    static bool prepare()
    {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return true;
    }

    bool platform;
    QApplication app;
};

} // namespace Tervane3::Test
