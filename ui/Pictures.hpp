// The program's own pictures, drawn as vectors so they are sharp at any size: the window's icon
// (a yellow trace on a black screen, like the value labels) and the open door of the exit button.
#pragma once

#include <QIcon>

class QPainter;
class QRectF;

namespace qv58163::ui {

void paintApplicationIcon(QPainter &painter, const QRectF &bounds);
void paintOpenDoor(QPainter &painter, const QRectF &bounds);

// Icons that offer 16 and 32 pixel images and draw any other size on demand.
QIcon applicationIcon();
QIcon openDoorIcon();

}  // namespace qv58163::ui
