// Writes the application's icon files for the desktop from the same drawing the window uses
// (paintApplicationIcon): PNG images of the sizes asked for, and a scalable SVG.
//
//   qv58163_make_icons OUT_DIR     writes OUT_DIR/16x16.png, OUT_DIR/32x32.png,
//   OUT_DIR/scalable.svg
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>

#include "Pictures.hpp"

namespace {

bool WritePng(const QString &path, int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    qv58163::ui::paintApplicationIcon(painter, QRectF(0, 0, side, side));
    painter.end();
    return image.save(path, "PNG");
}

bool WriteSvg(const QString &path) {
    constexpr int kGrid = 32;  // the drawing's own grid
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(kGrid, kGrid));
    svg.setViewBox(QRect(0, 0, kGrid, kGrid));
    svg.setTitle(QStringLiteral("QV58163"));
    svg.setDescription(QStringLiteral("A yellow trace on a black screen"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    qv58163::ui::paintApplicationIcon(painter, QRectF(0, 0, kGrid, kGrid));
    return painter.end();
}

}  // namespace

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")) ||
        !WritePng(out.filePath(QStringLiteral("16x16.png")), 16) ||
        !WritePng(out.filePath(QStringLiteral("32x32.png")), 32) ||
        !WriteSvg(out.filePath(QStringLiteral("scalable.svg")))) {
        std::fprintf(stderr, "qv58163_make_icons: cannot write the icons to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
