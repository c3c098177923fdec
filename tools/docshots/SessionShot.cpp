// tervane3-session-shot: the main window as it starts (and as Clear Session leaves it), and
// the box that refuses a session file whose lists have the wrong type. Run it under Xvfb so
// fonts render as on a desktop:
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/docshots/tervane3-session-shot <out dir>
// Writes mainwindow.png (the window) and session-invalid.png (the box).
#include "mainwindow/MainWindowTestAccess.h"
#include "ShotFiles.h"

#include "app/AppStyle.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>

#include <clocale>
#include <iostream>

using namespace Tervane3;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tervane3-session-shot <output folder>\n";
        return 2;
    }
    // The platform Xvfb offers (offscreen fonts and sizes differ from a desktop's).
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    AppStyle::apply(app);
    const QString out = QString::fromLocal8Bit(argv[1]);

    Test::MainWindowEnvironment env;
    MainWindow window;
    window.resize(1400, 900);
    window.show();
    QCoreApplication::processEvents();
    if (!Shot::showAndSave(&window, out + QStringLiteral("/mainwindow.png")))
        return 1;

    // A session whose datasets were written as one text instead of a list.
    const QString session = out + QStringLiteral("/day2.TN3");
    {
        QFile file(session);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(R"({"version": 1, "datasets": "hl60-control-run3.rtdc", "filterGroups": []})");
    }
    env.prompts->answerFiles({session});
    window.loadSession();
    const auto* refused = env.prompts->last();
    QFile::remove(session);
    if (!refused || refused->title != QLatin1String("Error")) {
        std::cerr << "the session file was not refused\n";
        return 1;
    }
    QMessageBox box(QMessageBox::Critical, refused->title, refused->text, QMessageBox::Ok, &window);
    return Shot::showAndSave(&box, out + QStringLiteral("/session-invalid.png")) ? 0 : 1;
}
