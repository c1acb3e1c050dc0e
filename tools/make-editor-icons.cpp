// Renders the tank profile editor's pictures from their SVG sources into the PNG files the
// resource bundle holds. Built and run by make-editor-icons.sh; the PNGs are committed.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

struct Picture
{
    const char *source;
    const char *target;  // the name the editor asks for
    int scale;           // icons are drawn at twice their size, so they stay sharp when scaled
};

const Picture Pictures[] = {
    {"newIcon.svg", "newIcon.png", 2},
    {"importIcon.svg", "importIcon.png", 2},
    {"saveIconEnabled.svg", "saveIconEnabled.png", 2},
    {"saveIconDisabled.svg", "saveIconDisabled.png", 2},
    {"wizardIcon.svg", "wizardIcon.png", 2},
    {"tableIcon.svg", "tableIcon.png", 2},
    {"csvFileIllustration.svg", "csvFileIllustration.PNG", 1},
};

}

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE_DIR TARGET_DIR\n", argv[0]);
        return 2;
    }
    const QDir sources(QString::fromLocal8Bit(argv[1]));
    const QDir targets(QString::fromLocal8Bit(argv[2]));
    for (const Picture &picture : Pictures) {
        QSvgRenderer renderer(sources.filePath(QLatin1String(picture.source)));
        if (!renderer.isValid()) {
            std::fprintf(stderr, "cannot read %s\n", picture.source);
            return 1;
        }
        QImage image(renderer.defaultSize() * picture.scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        if (!image.save(targets.filePath(QLatin1String(picture.target)), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", picture.target);
            return 1;
        }
    }
    return 0;
}
