// The arithmetic behind the display, free of any control: count to volts, volts to text, and the
// number conversions the procedures make. Each is exact to the bit and to the character.
#pragma once

#include <QString>
#include <cstdint>

namespace qv58163 {

// Range selector positions.
enum RangePosition : std::int16_t {
    kRange0To5V = 0,
    kRangePm5V = 1,
    kRange0To10V = 2,
    kRangePm10V = 3,
    kRangeStop = 4,
};

// Scales `count` by the range at selector position `position` into `volts`. Position 4 (stopped)
// gives 0; any position other than 0 to 4 leaves `volts` as it was. Counts are not clamped.
void CountToVolts(std::int16_t position, std::int32_t count, double &volts);

// The voltage display by the pattern "0.000V": a minus sign for negative values only, at least
// one integer digit, `decimalPoint`, three decimals rounded half away from zero, then "V".
QString VoltText(double volts, const QString &decimalPoint);

// A signed number as text the way the card list and the error number show it: a space where a
// minus sign would stand (3 gives " 3", -7 gives "-7").
QString SignedText(std::int32_t value);

// Converts to unsigned 8-bit; outside 0 to 255 is a run-time error (overflow).
std::uint8_t ToByte(std::int32_t value);

// Reads a whole decimal number with leading spaces skipped, as an unsigned 8-bit value: " 12"
// gives 12. Anything else (empty, trailing text, above 255) is a run-time error.
std::uint8_t TextToByte(const QString &text);

// A signed 32-bit addition that is a run-time error on overflow.
std::int32_t CheckedAdd(std::int32_t a, std::int32_t b);

}  // namespace qv58163
