// Renders the two logo pictures from their SVG sources. Run by hand after changing an SVG
// (cmake --build <dir> --target render_logo, then run it from this folder); the PNGs are
// committed, so a normal build needs no SVG rasteriser.
//   render_logo <svg> <png> <width> <height>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: render_logo <svg> <png> <width> <height>\n");
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(QString::fromLatin1(argv[3]).toInt(), QString::fromLatin1(argv[4]).toInt(),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return image.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
