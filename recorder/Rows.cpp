#include "Rows.hpp"

#include <QDateTime>

#include "Conversion.hpp"
#include "RangeTable.hpp"

namespace qv58163::recorder {

Volts voltsOfRead(const Positions &positions, const Slots &results) {
    Volts volts{};
    double voltage = 0;
    for (int channel = 0; channel < channelCount; ++channel) {
        countToVolts(positions[channel], countFromSlot(results[channel]), voltage);
        volts[channel] = voltage;
    }
    return volts;
}

QByteArray csvHeader() {
    QByteArray header("time,elapsed_s");
    for (int channel = 0; channel < channelCount; ++channel) {
        header += QStringLiteral(",CH%1").arg(channel, 2, 10, QLatin1Char('0')).toLatin1();
    }
    return header + ",status\n";
}

QByteArray csvRow(std::int64_t utcMilliseconds, std::chrono::nanoseconds elapsed,
                  const Positions &positions, const Volts &volts, std::int32_t status,
                  std::array<QString, channelCount> &fields) {
    static const QString point = QStringLiteral(".");
    QString row =
        QDateTime::fromMSecsSinceEpoch(utcMilliseconds, Qt::UTC).toString(Qt::ISODateWithMs);
    row.reserve(128);
    row += QLatin1Char(',');
    row += fixedText(std::chrono::duration<double>(elapsed).count(), 3, point);
    for (int channel = 0; channel < channelCount; ++channel) {
        fields[channel] = positions[channel] == card::stopPosition
                              ? QString()
                              : fixedText(volts[channel], 6, point);
        row += QLatin1Char(',');
        row += fields[channel];
    }
    row += QLatin1Char(',');
    row += QString::number(status);
    row += QLatin1Char('\n');
    return row.toLatin1();
}

}  // namespace qv58163::recorder
