#include "Rows.hpp"

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

namespace {

// Appends `value` with `digits` digits, zeros in front.
void appendDigits(QString &text, std::int64_t value, int digits) {
    char buffer[8];
    for (int k = digits - 1; k >= 0; --k) {
        buffer[k] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    text += QLatin1String(buffer, digits);
}

// "2026-12-07T16:30:00.123Z". Written out here rather than by QDateTime, whose time-zone and
// calendar machinery is a large part of a row's cost when a sample wakes the process with cold
// caches. The date is the proleptic Gregorian calendar's, from the days since 1970-01-01.
void appendUtc(QString &text, std::int64_t milliseconds) {
    constexpr std::int64_t perDay = 86'400'000;
    std::int64_t days = milliseconds / perDay;
    std::int64_t ofDay = milliseconds % perDay;
    if (ofDay < 0) {
        ofDay += perDay;
        --days;
    }
    // Days to year, month, day, counting in 400-year eras from 0000-03-01.
    const std::int64_t shifted = days + 719'468;
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146'096) / 146'097;
    const std::int64_t dayOfEra = shifted - era * 146'097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    appendDigits(text, year, 4);
    text += QLatin1Char('-');
    appendDigits(text, month, 2);
    text += QLatin1Char('-');
    appendDigits(text, day, 2);
    text += QLatin1Char('T');
    appendDigits(text, ofDay / 3'600'000, 2);
    text += QLatin1Char(':');
    appendDigits(text, ofDay / 60'000 % 60, 2);
    text += QLatin1Char(':');
    appendDigits(text, ofDay / 1000 % 60, 2);
    text += QLatin1Char('.');
    appendDigits(text, ofDay % 1000, 3);
    text += QLatin1Char('Z');
}

}  // namespace

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
    QString row;
    row.reserve(128);
    appendUtc(row, utcMilliseconds);
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
