// tervane3-gallery-shot: renders the image gallery of a measurement with the program's own
// look and saves the window as a PNG, for the manual and the README.
//   tervane3-gallery-shot <measurement.rtdc> <out.png>
// 100 events per page, automatic contrast, event ids on; runs on the offscreen platform.
#include "ShotApplication.h"
#include "support/StandInHost.h"
#include "windows/ImageGalleryWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <measurement.rtdc> <out.png>\n", argv[0]);
        return 2;
    }
    Tervane3::Shot::ShotApplication app(argc, argv);

    Tervane3::Test::StandInHost host;
    Tervane3::DatasetEntry* entry = host.addDataset(argv[1], QStringLiteral("Synthetic measurement (seed 2)"));
    if (!entry) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    Tervane3::ImageGalleryWindow window(&host, entry->id);
    window.resize(1100, 800);
    window.show();
    window.findChild<QComboBox*>(QStringLiteral("galleryContrastCombo"))->setCurrentIndex(1);
    auto* info = window.findChild<QLabel*>(QStringLiteral("galleryInfoLabel"));
    QElapsedTimer timer;
    timer.start();
    while ((info->text().endsWith(QChar(0x2026)) || timer.elapsed() < 300) && timer.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!window.grab().save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
