#include "Plot.hpp"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

#include "RangeTable.hpp"

namespace qv58163::recorder {

namespace {

// Eight colours told apart easily, also by most colour-blind readers.
const QColor traceColours[channelCount] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                                           QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28),
                                           QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                                           QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};

const QRectF area(80, 30, plotWidth - 80 - 130, plotHeight - 30 - 60);

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

struct Axis {
    double low;
    double high;
    double step;
};

void paint(QPainter &painter, const Decimator &series, const Positions &positions,
           std::chrono::milliseconds interval, std::int64_t samples) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, plotWidth, plotHeight), Qt::white);
    QFont font = painter.font();
    font.setPixelSize(14);
    painter.setFont(font);

    // Time in seconds, minutes or hours, whichever keeps the numbers short.
    const double lastSecond = std::chrono::duration<double>(interval).count() *
                              static_cast<double>(std::max<std::int64_t>(samples - 1, 0));
    double unitSeconds = 1;
    QString unit = QStringLiteral("s");
    if (lastSecond >= 7200) {
        unitSeconds = 3600;
        unit = QStringLiteral("h");
    } else if (lastSecond >= 120) {
        unitSeconds = 60;
        unit = QStringLiteral("min");
    }
    Axis x{0, std::max(lastSecond / unitSeconds, 1e-3), 0};
    x.step = tickStep(x.high - x.low, 10);
    x.high = std::ceil(x.high / x.step - 1e-9) * x.step;

    Axis y{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0};
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
        y = {-1, 1, 0};
    }
    const double margin = std::max((y.high - y.low) * 0.05, 0.05);
    y.low -= margin;
    y.high += margin;
    y.step = tickStep(y.high - y.low, 8);
    y.low = std::floor(y.low / y.step) * y.step;
    y.high = std::ceil(y.high / y.step) * y.step;

    const auto toX = [&](double value) {
        return area.left() + (value - x.low) / (x.high - x.low) * area.width();
    };
    const auto toY = [&](double value) {
        return area.bottom() - (value - y.low) / (y.high - y.low) * area.height();
    };

    // Grid, ticks and their numbers.
    const QPen grid(QColor(0xdd, 0xdd, 0xdd), 1);
    const QPen ink(Qt::black, 1);
    for (double value = x.low; value <= x.high + x.step / 1000; value += x.step) {
        const double px = toX(value);
        painter.setPen(grid);
        painter.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
        painter.setPen(ink);
        painter.drawText(QRectF(px - 40, area.bottom() + 4, 80, 20),
                         Qt::AlignHCenter | Qt::AlignTop, tickText(value, x.step));
    }
    for (double value = y.low; value <= y.high + y.step / 1000; value += y.step) {
        const double py = toY(value);
        painter.setPen(grid);
        painter.drawLine(QPointF(area.left(), py), QPointF(area.right(), py));
        painter.setPen(ink);
        painter.drawText(QRectF(0, py - 10, area.left() - 6, 20), Qt::AlignRight | Qt::AlignVCenter,
                         tickText(value, y.step));
    }
    painter.setPen(ink);
    painter.drawRect(area);
    painter.drawText(QRectF(area.left(), plotHeight - 28, area.width(), 24), Qt::AlignCenter,
                     QStringLiteral("time (%1)").arg(unit));
    painter.save();
    painter.translate(18, area.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-area.height() / 2, -12, area.height(), 24), Qt::AlignCenter,
                     QStringLiteral("voltage (V)"));
    painter.restore();

    // The traces: through each bucket's middle, with a stroke from its lowest to its highest
    // value, so a spike inside a bucket still shows.
    painter.save();
    painter.setClipRect(area);
    const double secondsPerSample = std::chrono::duration<double>(interval).count() / unitSeconds;
    const auto perBucket = static_cast<double>(series.samplesPerBucket());
    int legendRow = 0;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (positions[channel] == card::stopPosition) {
            continue;
        }
        QPainterPath path;
        bool joined = false;
        const std::vector<Decimator::Bucket> &buckets = series.buckets(channel);
        for (std::size_t b = 0; b < buckets.size(); ++b) {
            const Decimator::Bucket &bucket = buckets[b];
            if (bucket.empty()) {
                joined = false;
                continue;
            }
            const double middleSample =
                std::min(static_cast<double>(b) * perBucket + (perBucket - 1) / 2,
                         static_cast<double>(std::max<std::int64_t>(samples - 1, 0)));
            const double px = toX(middleSample * secondsPerSample);
            const double middle = toY((bucket.min + bucket.max) / 2);
            if (joined) {
                path.lineTo(px, middle);
            } else {
                path.moveTo(px, middle);
            }
            if (bucket.max > bucket.min) {
                path.moveTo(px, toY(bucket.min));
                path.lineTo(px, toY(bucket.max));
                path.moveTo(px, middle);
            } else if (!joined) {
                path.lineTo(px + 0.5, middle);  // a lone point still shows
            }
            joined = true;
        }
        painter.setPen(QPen(traceColours[channel], 1.5));
        painter.drawPath(path);
        ++legendRow;
    }
    painter.restore();

    // The legend, right of the plot area.
    legendRow = 0;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (positions[channel] == card::stopPosition) {
            continue;
        }
        const double top = area.top() + 10 + legendRow * 24;
        painter.setPen(QPen(traceColours[channel], 3));
        painter.drawLine(QPointF(area.right() + 14, top + 10),
                         QPointF(area.right() + 40, top + 10));
        painter.setPen(ink);
        painter.drawText(QRectF(area.right() + 46, top, 80, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("CH%1").arg(channel, 2, 10, QLatin1Char('0')));
        ++legendRow;
    }
    if (legendRow == 0 || samples == 0) {
        painter.drawText(area, Qt::AlignCenter,
                         legendRow == 0 ? QStringLiteral("every channel stopped")
                                        : QStringLiteral("no samples"));
    }
}

}  // namespace

QString drawPlot(const Decimator &series, const Positions &positions,
                 std::chrono::milliseconds interval, std::int64_t samples, const QString &file) {
    if (QFileInfo(file).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return out.errorString();
        }
        QSvgGenerator svg;
        svg.setOutputDevice(&out);
        // At 96 dots per inch, as browsers take it, the picture is 1200 x 600 pixels.
        svg.setResolution(96);
        svg.setSize(QSize(plotWidth, plotHeight));
        svg.setViewBox(QRect(0, 0, plotWidth, plotHeight));
        svg.setTitle(QStringLiteral("QV58163 recording"));
        QPainter painter(&svg);
        paint(painter, series, positions, interval, samples);
        painter.end();
        return out.error() == QFileDevice::NoError ? QString() : out.errorString();
    }
    QImage image(plotWidth, plotHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    paint(painter, series, positions, interval, samples);
    painter.end();
    return image.save(file, "PNG") ? QString() : QStringLiteral("the image could not be written");
}

}  // namespace qv58163::recorder
