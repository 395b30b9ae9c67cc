#include "Csv.hpp"

#include "ChannelName.hpp"
#include "Conversion.hpp"
#include "RangeTable.hpp"

namespace qv58163::recorder {

namespace {

// Writes `value` as `digits` digits, zeros in front, and returns the position after them.
char *putDigits(char *out, std::int64_t value, int digits) {
    for (int k = digits - 1; k >= 0; --k) {
        out[k] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + digits;
}

// "2026-12-07T16:30:00.123Z". Written out here rather than by QDateTime, whose time-zone and
// calendar machinery is a large part of a row's cost when a sample wakes the process with cold
// caches. The date is the proleptic Gregorian calendar's, from the days since 1970-01-01.
void appendUtc(QByteArray &text, std::int64_t milliseconds) {
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

    char stamp[24];
    char *out = putDigits(stamp, year, 4);
    *out++ = '-';
    out = putDigits(out, month, 2);
    *out++ = '-';
    out = putDigits(out, day, 2);
    *out++ = 'T';
    out = putDigits(out, ofDay / 3'600'000, 2);
    *out++ = ':';
    out = putDigits(out, ofDay / 60'000 % 60, 2);
    *out++ = ':';
    out = putDigits(out, ofDay / 1000 % 60, 2);
    *out++ = '.';
    out = putDigits(out, ofDay % 1000, 3);
    *out++ = 'Z';
    text.append(stamp, out - stamp);
}

}  // namespace

QByteArray csvHeader() {
    QByteArray header("time,elapsed_s");
    for (int channel = 0; channel < channelCount; ++channel) {
        header += ',' + card::channelName(channel).toLatin1();
    }
    return header + ",status\n";
}

const QByteArray &CsvRow::format(std::int64_t utcMilliseconds, std::chrono::nanoseconds elapsed,
                                 const Positions &positions, const Volts &volts,
                                 std::int32_t status) {
    text_.truncate(0);  // keeps the buffer: no allocation per row
    appendUtc(text_, utcMilliseconds);
    text_ += ',';
    // Whole microseconds, a half rounded up, from the integer nanoseconds: exact at any length.
    appendDecimal(text_, static_cast<std::uint64_t>((elapsed.count() + 500) / 1000), 6);
    for (int channel = 0; channel < channelCount; ++channel) {
        text_ += ',';
        fieldStart_[channel] = text_.size();
        if (status == 0 && positions[channel] != card::stopPosition) {
            appendFixed(text_, volts[channel], 6);
        }
        fieldLength_[channel] = text_.size() - fieldStart_[channel];
    }
    text_ += ',';
    appendFixed(text_, status, 0);
    text_ += '\n';
    return text_;
}

}  // namespace qv58163::recorder
