#include "Plot.hpp"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#if defined(QV58163_PLOT_SVG)
#include <QSvgGenerator>
#endif
#include <algorithm>
#include <cmath>
#include <limits>

#include "ChannelName.hpp"
#include "RangeTable.hpp"

namespace qv58163::recorder {

namespace {

// Buckets per channel: about two per pixel column of the plot area.
constexpr int plotColumns = 2048;

// Eight colours told apart easily, also by most colour-blind readers.
const QColor traceColours[channelCount] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                                           QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28),
                                           QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                                           QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
const QColor failureColour(0xcc, 0x00, 0x00);
// Grey, which no trace has: stretches the run did not sample.
const QColor skipColour(0x7f, 0x7f, 0x7f);

const QRectF area(80, 56, plotWidth - 80 - 130, plotHeight - 56 - 60);
const QPen gridPen(QColor(0xdd, 0xdd, 0xdd), 1);
const QPen inkPen(Qt::black, 1);

// A tick step of 1, 2 or 5 times a power of ten giving about `ticks` steps across `span`.
double tickStep(double span, int ticks) {
    const double raw = span / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (raw <= factor * power) {
            return factor * power;
        }
    }
    return 10 * power;
}

QString tickText(double value, double step) {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    return QString::number(std::abs(value) < step / 2 ? 0.0 : value, 'f', decimals);
}

// One axis: its ends and tick step, and the unit its numbers are in.
struct Axis {
    double low;
    double high;
    double step;
    double unitSeconds = 1;  // time only
    QString unit;
};

// Time in seconds, minutes or hours, whichever keeps the numbers short.
Axis timeAxis(double lastSecond) {
    Axis x{0, 0, 0, 1, QStringLiteral("s")};
    if (lastSecond >= 7200) {
        x.unitSeconds = 3600;
        x.unit = QStringLiteral("h");
    } else if (lastSecond >= 120) {
        x.unitSeconds = 60;
        x.unit = QStringLiteral("min");
    }
    x.high = std::max(lastSecond / x.unitSeconds, 1e-3);
    x.step = tickStep(x.high - x.low, 10);
    x.high = std::ceil(x.high / x.step - 1e-9) * x.step;
    return x;
}

// Volts from the lowest to the highest value of any running channel, with a margin.
Axis voltAxis(const Decimator &series, const Positions &positions) {
    Axis y{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0, 1,
           QString()};
    for (int channel = 0; channel < channelCount; ++channel) {
        if (positions[channel] == card::stopPosition) {
            continue;
        }
        for (const Decimator::Bucket &bucket : series.buckets(channel)) {
            if (!bucket.empty()) {
                y.low = std::min(y.low, bucket.min);
                y.high = std::max(y.high, bucket.max);
            }
        }
    }
    if (y.low > y.high) {
        y.low = -1;
        y.high = 1;
    }
    const double margin = std::max((y.high - y.low) * 0.05, 0.05);
    y.step = tickStep(y.high - y.low + 2 * margin, 8);
    y.low = std::floor((y.low - margin) / y.step) * y.step;
    y.high = std::ceil((y.high + margin) / y.step) * y.step;
    return y;
}

// Where a value lands in the plot area.
struct Scale {
    Axis x;
    Axis y;
    double toX(Plot::Duration at) const {
        const double value = std::chrono::duration<double>(at).count() / x.unitSeconds;
        return area.left() + (value - x.low) / (x.high - x.low) * area.width();
    }
    double toY(double volts) const {
        return area.bottom() - (volts - y.low) / (y.high - y.low) * area.height();
    }
};

void drawTitle(QPainter &painter, const QString &title, const Positions &positions) {
    QStringList ranges;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (positions[channel] != card::stopPosition) {
            ranges << card::channelName(channel) + QLatin1Char(' ') +
                          card::rangeName(positions[channel]);
        }
    }
    painter.setPen(inkPen);
    QFont font = painter.font();
    font.setBold(true);
    painter.save();
    painter.setFont(font);
    painter.drawText(QRectF(area.left(), 4, area.width(), 22), Qt::AlignCenter, title);
    painter.restore();
    painter.drawText(QRectF(0, 28, plotWidth, 20), Qt::AlignCenter,
                     ranges.isEmpty() ? QStringLiteral("every channel stopped")
                                      : ranges.join(QStringLiteral(", ")));
}

void drawGrid(QPainter &painter, const Scale &scale) {
    const Axis &x = scale.x;
    const Axis &y = scale.y;
    for (double value = x.low; value <= x.high + x.step / 1000; value += x.step) {
        const double px = area.left() + (value - x.low) / (x.high - x.low) * area.width();
        painter.setPen(gridPen);
        painter.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
        painter.setPen(inkPen);
        painter.drawText(QRectF(px - 40, area.bottom() + 4, 80, 20),
                         Qt::AlignHCenter | Qt::AlignTop, tickText(value, x.step));
    }
    for (double value = y.low; value <= y.high + y.step / 1000; value += y.step) {
        const double py = scale.toY(value);
        painter.setPen(gridPen);
        painter.drawLine(QPointF(area.left(), py), QPointF(area.right(), py));
        painter.setPen(inkPen);
        painter.drawText(QRectF(0, py - 10, area.left() - 6, 20), Qt::AlignRight | Qt::AlignVCenter,
                         tickText(value, y.step));
    }
    painter.setPen(inkPen);
    painter.drawRect(area);
    painter.drawText(QRectF(area.left(), plotHeight - 28, area.width(), 24), Qt::AlignCenter,
                     QStringLiteral("time (%1)").arg(x.unit));
    painter.save();
    painter.translate(18, area.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-area.height() / 2, -12, area.height(), 24), Qt::AlignCenter,
                     QStringLiteral("voltage (V)"));
    painter.restore();
}

// A channel's trace: through each bucket's middle at the middle of its samples' times, with a
// stroke from its lowest to its highest value, so a spike inside a bucket still shows. The trace
// breaks over each stretch where a read failed or deadlines were skipped (Decimator::pieces).
QPainterPath tracePath(const Decimator &series, int channel, const Scale &scale) {
    const std::vector<Decimator::Bucket> &buckets = series.buckets(channel);
    QPainterPath path;
    for (const std::vector<std::size_t> &piece : series.pieces(channel)) {
        for (std::size_t k = 0; k < piece.size(); ++k) {
            const Decimator::Bucket &bucket = buckets[piece[k]];
            const double px = scale.toX((bucket.first + bucket.last) / 2);
            const double middle = scale.toY((bucket.min + bucket.max) / 2);
            if (k > 0) {
                path.lineTo(px, middle);
            } else {
                path.moveTo(px, middle);
            }
            if (bucket.max > bucket.min) {
                path.moveTo(px, scale.toY(bucket.min));
                path.lineTo(px, scale.toY(bucket.max));
                path.moveTo(px, middle);
            } else if (piece.size() == 1) {
                path.lineTo(px + 0.5, middle);  // a lone point still shows
            }
        }
    }
    return path;
}

// A band along the bottom of the plot area over each stretch of flagged buckets.
void drawMarks(QPainter &painter, const Decimator &series, const Scale &scale,
               const std::vector<bool> &flags, const QColor &colour) {
    const auto at = [&series, &scale](std::size_t bucket) {
        return scale.toX(series.bucketWidth() * static_cast<std::int64_t>(bucket));
    };
    for (std::size_t b = 0; b < flags.size(); ++b) {
        if (!flags[b]) {
            continue;
        }
        std::size_t end = b + 1;
        while (end < flags.size() && flags[end]) {
            ++end;
        }
        painter.fillRect(QRectF(at(b), area.bottom() - 8, std::max(at(end) - at(b), 2.0), 8),
                         colour);
        b = end;
    }
}

// The legend right of the plot area, with the marks the plot has; returns the number of running
// channels.
int drawLegend(QPainter &painter, const Positions &positions, bool anyFailure, bool anySkip) {
    int row = 0;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (positions[channel] == card::stopPosition) {
            continue;
        }
        const double top = area.top() + 10 + row * 24;
        painter.setPen(QPen(traceColours[channel], 3));
        painter.drawLine(QPointF(area.right() + 14, top + 10),
                         QPointF(area.right() + 40, top + 10));
        painter.setPen(inkPen);
        painter.drawText(QRectF(area.right() + 46, top, 80, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         card::channelName(channel));
        ++row;
    }
    const int channels = row;
    const auto markEntry = [&row, &painter](const QColor &colour, const QString &text) {
        const double top = area.top() + 10 + row * 24;
        painter.fillRect(QRectF(area.right() + 14, top + 6, 26, 8), colour);
        painter.drawText(QRectF(area.right() + 46, top, 84, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         text);
        ++row;
    };
    if (anyFailure) {
        markEntry(failureColour, QStringLiteral("read failed"));
    }
    if (anySkip) {
        markEntry(skipColour, QStringLiteral("skipped"));
    }
    return channels;
}

void paint(QPainter &painter, const Decimator &series, const QString &title,
           const Positions &positions, Plot::Duration end) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, plotWidth, plotHeight), Qt::white);
    QFont font = painter.font();
    font.setPixelSize(14);
    painter.setFont(font);

    const Scale scale{timeAxis(std::chrono::duration<double>(end).count()),
                      voltAxis(series, positions)};
    drawTitle(painter, title, positions);
    drawGrid(painter, scale);
    painter.save();
    painter.setClipRect(area);
    bool anyValue = false;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (positions[channel] != card::stopPosition) {
            painter.setPen(QPen(traceColours[channel], 1.5));
            painter.drawPath(tracePath(series, channel, scale));
            anyValue = anyValue || !series.buckets(channel).empty();
        }
    }
    drawMarks(painter, series, scale, series.failures(), failureColour);
    drawMarks(painter, series, scale, series.skips(), skipColour);
    painter.restore();
    const auto any = [](const std::vector<bool> &flags) {
        return std::find(flags.begin(), flags.end(), true) != flags.end();
    };
    if (drawLegend(painter, positions, any(series.failures()), any(series.skips())) > 0 &&
        !anyValue) {
        painter.drawText(area, Qt::AlignCenter, QStringLiteral("no samples"));
    }
}

}  // namespace

Plot::Plot(const QString &file, std::chrono::milliseconds interval)
    : svg_(QFileInfo(file).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0),
      series_(plotColumns, interval) {}

void Plot::add(Duration at, const Positions &positions, const Volts &volts) {
    for (int channel = 0; channel < channelCount; ++channel) {
        if (positions[channel] != card::stopPosition) {
            series_.add(at, channel, volts[channel]);
        }
    }
}

void Plot::addFailure(Duration at) {
    series_.addFailure(at);
}

void Plot::addSkipped(Duration from, Duration to) {
    series_.addSkipped(from, to);
}

QByteArray Plot::render(const QString &title, const Positions &positions, Duration end) const {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
#if defined(QV58163_PLOT_SVG)
    if (svg_) {
        QSvgGenerator svg;
        svg.setOutputDevice(&out);
        // At 96 dots per inch, as browsers take it, the picture is 1200 x 600 pixels.
        svg.setResolution(96);
        svg.setSize(QSize(plotWidth, plotHeight));
        svg.setViewBox(QRect(0, 0, plotWidth, plotHeight));
        svg.setTitle(title);
        QPainter painter(&svg);
        paint(painter, series_, title, positions, end);
        painter.end();  // writes the closing tags
        return out.data();
    }
#endif
    QImage image(plotWidth, plotHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    paint(painter, series_, title, positions, end);
    painter.end();
    image.save(&out, "PNG");
    return out.data();
}

}  // namespace qv58163::recorder
