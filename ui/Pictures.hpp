// The program's own pictures, drawn as vectors so they are sharp at any size: the window's icon
// (a yellow trace on a black screen, like the value labels), the open door of the exit button, and
// the arrows of a menu bar too narrow for its commands. None of them needs an image-format plugin.
#pragma once

#include <QIcon>
#include <QProxyStyle>

class QPainter;
class QRectF;

namespace qv58163::ui {

void paintApplicationIcon(QPainter &painter, const QRectF &bounds);
void paintOpenDoor(QPainter &painter, const QRectF &bounds);

// Icons that offer 16 and 32 pixel images and draw any other size on demand.
QIcon applicationIcon();
QIcon openDoorIcon();

// The application's style, with no picture read through an image-format plugin. Reading a picture
// file the usual way asks every installed plugin first whether it reads that format, which loads
// all of them (and the SVG module with one) before the window's first paint. Qt's styles read
// PNG resources twice before then: every QMenuBar's constructor takes the extension arrow, and
// the Fusion style draws a group box's frame from an image. Here the arrows are drawn like the
// pictures above, and the frame image is decoded by Qt's own PNG reader, asked for by name.
// Install it before the first widget: QApplication::setStyle(new PictureStyle).
class PictureStyle final : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option,
                       const QWidget *widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override;
};

}  // namespace qv58163::ui
