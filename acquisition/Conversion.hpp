// The arithmetic behind the display, free of any control: count to volts, volts to text, and the
// number conversions the procedures make. Each is exact to the bit and to the character. The
// recorder writes its files with the same functions, so a recorded value and the panel's caption
// cannot disagree.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

#include "CardLimits.hpp"

namespace qv58163 {

// The count of one result slot: the slot widened to 32 bits and lifted by 4096 when negative, so
// a bipolar result -2048..-1 becomes 2048..4095.
std::int32_t countFromSlot(std::int16_t slot);

// Scales `count` by the range at selector position `position` into `volts`. The stop position
// gives 0; a position with no range (-1: none chosen) leaves `volts` as it was. Counts are not
// clamped.
void countToVolts(std::int16_t position, std::int32_t count, double &volts);

using ChannelVolts = std::array<double, card::channelCount>;

// The voltages of one read, channel 0 to 7 in turn, as the panel shows them: `convert(channel,
// count, volts)` scales the channel's slot, lifted to a count, by the channel's range into one
// voltage carried from channel to channel, 0 at the start of the read. A channel with no range
// chosen leaves it as it is, and so shows the voltage of the channel before it.
template <typename Convert>
ChannelVolts voltsOfRead(const std::int16_t *results, Convert &&convert) {
    ChannelVolts read{};
    double volts = 0;
    for (int channel = 0; channel < card::channelCount; ++channel) {
        convert(channel, countFromSlot(results[channel]), volts);
        read[channel] = volts;
    }
    return read;
}

// The same with each channel's range at its selector position in `positions`.
ChannelVolts voltsOfRead(const std::array<std::int16_t, card::channelCount> &positions,
                         const std::int16_t *results);

// Appends `magnitude` / 10^`decimals` with all its decimals, after a minus sign if `negative`:
// 12345 with 3 decimals gives "12.345", 5 gives "0.005".
void appendDecimal(QByteArray &text, std::uint64_t magnitude, int decimals, bool negative = false);

// Appends `value` with `decimals` decimals rounded half away from zero, '.' between the integer
// digits and the decimals, and a minus sign for negative values only (not for negative zero).
void appendFixed(QByteArray &text, double value, int decimals);

// The same text with `decimalPoint` in place of '.'.
QString fixedText(double value, int decimals, const QString &decimalPoint);

// The voltage display by the pattern "0.000V": three decimals, then "V".
QString voltText(double volts, const QString &decimalPoint);

// A signed number as text the way the card list and the error number show it: a space where a
// minus sign would stand (3 gives " 3", -7 gives "-7").
QString signedText(std::int32_t value);

// Converts to unsigned 8-bit; outside 0 to 255 is a run-time error (overflow).
std::uint8_t toByte(std::int32_t value);

// Reads a whole decimal number with leading spaces skipped, as an unsigned 8-bit value: " 12"
// gives 12. Anything else (empty, trailing text, above 255) is a run-time error.
std::uint8_t textToByte(const QString &text);

}  // namespace qv58163
