// Writes the application's icon files for the desktop from the same drawing the window uses
// (paintApplicationIcon): PNG images of the sizes asked for, and a scalable SVG; and the Windows
// programs' icon, which their cross build cannot draw itself.
//
//   qv58163_make_icons OUT_DIR     writes OUT_DIR/16x16.png, OUT_DIR/32x32.png,
//   OUT_DIR/scalable.svg
//   qv58163_make_icons --ico FILE  writes FILE, a Windows icon of 16, 24, 32, 48 and 256 pixels
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QSvgGenerator>
#include <QtEndian>
#include <cstdio>

#include "Pictures.hpp"

namespace {

QImage drawIcon(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    qv58163::ui::paintApplicationIcon(painter, QRectF(0, 0, side, side));
    painter.end();
    return image;
}

bool WritePng(const QString &path, int side) {
    return drawIcon(side).save(path, "PNG");
}

template <typename T>
void appendLittleEndian(QByteArray &out, T value) {
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&little), sizeof little);
}

// One image of an icon file as every version of Windows reads it: a bitmap header whose
// height counts the colour rows and the mask's, the 32-bit BGRA rows bottom up, then the 1-bit
// mask (set where the picture is transparent), its rows padded to four bytes.
QByteArray iconBitmap(const QImage &picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);  // BGRA in memory
    const int side = image.width();
    const int maskRow = ((side + 31) / 32) * 4;
    QByteArray out;
    appendLittleEndian<quint32>(out, 40);  // BITMAPINFOHEADER
    appendLittleEndian<qint32>(out, side);
    appendLittleEndian<qint32>(out, 2 * side);
    appendLittleEndian<quint16>(out, 1);   // planes
    appendLittleEndian<quint16>(out, 32);  // bits per pixel
    appendLittleEndian<quint32>(out, 0);   // BI_RGB
    appendLittleEndian<quint32>(out, quint32(side * side * 4 + side * maskRow));
    for (int i = 0; i < 4; ++i) {
        appendLittleEndian<quint32>(out, 0);  // resolution and palette, unused
    }
    for (int y = side - 1; y >= 0; --y) {
        out.append(reinterpret_cast<const char *>(image.constScanLine(y)), side * 4);
    }
    for (int y = side - 1; y >= 0; --y) {
        QByteArray row(maskRow, '\0');
        for (int x = 0; x < side; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0) {
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out.append(row);
    }
    return out;
}

// A Windows icon file: a directory of the images, each a bitmap, the 256-pixel one a PNG (as
// Windows takes it since Vista; a bitmap of that size would be a quarter of a megabyte).
bool writeIco(const QString &path) {
    const QList<int> sides{16, 24, 32, 48, 256};
    QList<QByteArray> images;
    for (int side : sides) {
        if (side < 256) {
            images.append(iconBitmap(drawIcon(side)));
            continue;
        }
        QByteArray png;
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !drawIcon(side).save(&buffer, "PNG")) {
            return false;
        }
        images.append(png);
    }
    QByteArray out;
    appendLittleEndian<quint16>(out, 0);  // reserved
    appendLittleEndian<quint16>(out, 1);  // an icon, not a cursor
    appendLittleEndian<quint16>(out, quint16(sides.size()));
    quint32 offset = 6 + 16 * quint32(sides.size());
    for (qsizetype i = 0; i < sides.size(); ++i) {
        const auto side = quint8(sides[i] == 256 ? 0 : sides[i]);  // 0 stands for 256
        appendLittleEndian<quint8>(out, side);
        appendLittleEndian<quint8>(out, side);
        appendLittleEndian<quint8>(out, 0);  // no palette
        appendLittleEndian<quint8>(out, 0);
        appendLittleEndian<quint16>(out, 1);   // planes
        appendLittleEndian<quint16>(out, 32);  // bits per pixel
        appendLittleEndian<quint32>(out, quint32(images[i].size()));
        appendLittleEndian<quint32>(out, offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray &image : images) {
        out.append(image);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size() && file.flush();
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
    if (argc == 3 && QByteArray(argv[1]) == "--ico") {
        if (!writeIco(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "qv58163_make_icons: cannot write the icon %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR | --ico FILE\n", argv[0]);
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
