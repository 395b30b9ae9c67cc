#include "Pictures.hpp"

#include <qdrawutil.h>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyleOption>
#include <QtMath>

namespace qv58163::ui {

namespace {

using PaintFunction = void (*)(QPainter &, const QRectF &);

// Both pictures are drawn on a 32 x 32 grid and scaled to the rectangle asked for.
void scaleToGrid(QPainter &painter, const QRectF &bounds) {
    const qreal side = qMin(bounds.width(), bounds.height());
    painter.translate(bounds.center() - QPointF(side / 2, side / 2));
    painter.scale(side / 32.0, side / 32.0);
}

class PaintedIconEngine final : public QIconEngine {
public:
    explicit PaintedIconEngine(PaintFunction paint) : paint_(paint) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        paint_(*painter, rect);
        painter->restore();
    }
    // QIconEngine's own pixmap leaves the pixels the picture does not cover uninitialised.
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap picture(size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return picture;
    }
    QIconEngine *clone() const override { return new PaintedIconEngine(paint_); }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {QSize(16, 16), QSize(32, 32)};
    }
    QString key() const override { return QStringLiteral("qv58163-painted"); }

private:
    PaintFunction paint_;
};

}  // namespace

void paintApplicationIcon(QPainter &painter, const QRectF &bounds) {
    painter.save();
    scaleToGrid(painter, bounds);
    // Screen: black with a grey bezel.
    painter.setPen(QPen(QColor(96, 104, 112), 2));
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(2, 2, 28, 28), 4, 4);
    // Grid line through the middle.
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.drawLine(QPointF(4, 16), QPointF(28, 16));
    // One and a half periods of a sine wave in the value labels' yellow.
    QPainterPath trace;
    for (int x = 0; x <= 22; ++x) {
        const QPointF point(5 + x, 16 - 8 * qSin(x * 3 * M_PI / 22));
        if (x == 0) {
            trace.moveTo(point);
        } else {
            trace.lineTo(point);
        }
    }
    painter.setPen(QPen(QColor(255, 255, 0), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(trace);
    painter.restore();
}

void paintOpenDoor(QPainter &painter, const QRectF &bounds) {
    painter.save();
    scaleToGrid(painter, bounds);
    // The doorway, dark, in its frame.
    painter.setPen(QPen(QColor(92, 58, 28), 2));
    painter.setBrush(QColor(24, 24, 40));
    painter.drawRect(QRectF(11, 3, 16, 26));
    // Light falling through the doorway onto the floor.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 236, 140));
    painter.drawPolygon(
        QPolygonF({QPointF(12, 28), QPointF(26, 28), QPointF(30, 31), QPointF(9, 31)}));
    // The door leaf, swung open towards the viewer on its left hinge.
    painter.setPen(QPen(QColor(92, 58, 28), 1.5));
    painter.setBrush(QColor(190, 120, 60));
    painter.drawPolygon(
        QPolygonF({QPointF(11, 3), QPointF(3, 6), QPointF(3, 31), QPointF(11, 29)}));
    // Its knob.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(250, 210, 80));
    painter.drawEllipse(QPointF(5.5, 18), 1.3, 1.6);
    painter.restore();
}

namespace {

// Two chevrons pointing right, or down when turned a quarter, in the text colour of a light
// window.
void paintChevrons(QPainter &painter, const QRectF &bounds, qreal turn) {
    painter.save();
    scaleToGrid(painter, bounds);
    painter.translate(16, 16);
    painter.rotate(turn);
    painter.setPen(QPen(QColor(48, 48, 48), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    for (const qreal x : {-9.0, 1.0}) {
        painter.drawPolyline(QPolygonF({QPointF(x, -8), QPointF(x + 8, 0), QPointF(x, 8)}));
    }
    painter.restore();
}

void paintRightChevrons(QPainter &painter, const QRectF &bounds) {
    paintChevrons(painter, bounds, 0);
}
void paintLeftChevrons(QPainter &painter, const QRectF &bounds) {
    paintChevrons(painter, bounds, 180);
}
void paintDownChevrons(QPainter &painter, const QRectF &bounds) {
    paintChevrons(painter, bounds, 90);
}

}  // namespace

QIcon PictureStyle::standardIcon(StandardPixmap icon, const QStyleOption *option,
                                 const QWidget *widget) const {
    if (icon == SP_ToolBarHorizontalExtensionButton) {
        const Qt::LayoutDirection direction =
            option != nullptr ? option->direction : QGuiApplication::layoutDirection();
        return QIcon(new PaintedIconEngine(direction == Qt::RightToLeft ? &paintLeftChevrons
                                                                        : &paintRightChevrons));
    }
    if (icon == SP_ToolBarVerticalExtensionButton) {
        return QIcon(new PaintedIconEngine(&paintDownChevrons));
    }
    return QProxyStyle::standardIcon(icon, option, widget);
}

void PictureStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                 QPainter *painter, const QWidget *widget) const {
    if (element != PE_FrameGroupBox || baseStyle()->name() != QLatin1String("fusion")) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // The Fusion style's own drawing of the frame, from the same image.
    static const QPixmap frameImage = [] {
        QImageReader reader(
            QStringLiteral(":/qt-project.org/styles/commonstyle/images/fusion_groupbox.png"),
            "png");
        reader.setAutoDetectImageFormat(false);  // the built-in reader only, no plugin asked
        return QPixmap::fromImage(reader.read());
    }();
    constexpr int belowTitle = 3;
    const auto *box = qobject_cast<const QGroupBox *>(widget);
    const int top =
        box != nullptr && !box->isCheckable() && box->title().isEmpty()
            ? belowTitle
            : qMax(pixelMetric(PM_ExclusiveIndicatorHeight), option->fontMetrics.height()) +
                  belowTitle;
    qDrawBorderPixmap(painter, option->rect.adjusted(0, top, 0, 0), QMargins(6, 6, 6, 6),
                      frameImage);
}

QIcon applicationIcon() {
    return QIcon(new PaintedIconEngine(&paintApplicationIcon));
}

QIcon openDoorIcon() {
    return QIcon(new PaintedIconEngine(&paintOpenDoor));
}

}  // namespace qv58163::ui
