#include "Conversion.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "RuntimeError.hpp"

namespace qv58163 {

namespace {

// Volts per count: the quotient span / divisor, formed first from the two 16-bit integers by true
// division, as the card's scaling was always done. Keeping this order fixes every result to the
// bit.
double Step(std::int16_t span, std::int16_t divisor) {
    return static_cast<double>(span) / static_cast<double>(divisor);
}

// Bipolar ranges: counts 0..2047 are positive, counts above 2047 are 12-bit two's complement.
double Bipolar(std::int32_t count, std::int16_t span) {
    if (count > 2047) {
        return static_cast<double>(4096 - count) * Step(span, 4096) * -1.0;
    }
    return static_cast<double>(count) * Step(span, 4096);
}

// Adds one unit in the last place of a plain decimal string such as "12.349" (gives "12.350").
void IncrementLastDigit(std::string &digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it == '.') {
            continue;
        }
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

}  // namespace

void CountToVolts(std::int16_t position, std::int32_t count, double &volts) {
    switch (position) {
        case kRange0To5V:
            volts = static_cast<double>(count) * Step(5, 4095);
            break;
        case kRangePm5V:
            volts = Bipolar(count, 10);
            break;
        case kRange0To10V:
            volts = static_cast<double>(count) * Step(10, 4095);
            break;
        case kRangePm10V:
            volts = Bipolar(count, 20);
            break;
        case kRangeStop:
            volts = 0;
            break;
        default:
            // No range chosen: the caller's value stands.
            break;
    }
}

QString VoltText(double volts, const QString &decimalPoint) {
    const bool negative = volts < 0;  // negative zero is not negative
    const double magnitude = std::fabs(volts);

    // Enough for the integer digits of the largest double, a point and four decimals.
    char buffer[std::numeric_limits<double>::max_exponent10 + 16];
    char *const end = buffer + sizeof buffer;
    std::string digits;

    // A value exactly halfway between two thousandths is (2k+1)/2000, which is j/16 for an odd j:
    // exactly when 16 x |value| (exact, a power-of-two scaling) is an odd integer. to_chars
    // rounds such halves to even; the display rounds them away from zero.
    const double sixteenths = magnitude * 16;
    if (std::isfinite(sixteenths) && std::fmod(sixteenths, 2.0) == 1.0) {
        // j/16 has exactly four decimals, the last a 5: print them exactly, drop the 5, round up.
        const auto result = std::to_chars(buffer, end, magnitude, std::chars_format::fixed, 4);
        digits.assign(buffer, result.ptr - 1);
        IncrementLastDigit(digits);
    } else {
        const auto result = std::to_chars(buffer, end, magnitude, std::chars_format::fixed, 3);
        digits.assign(buffer, result.ptr);
    }

    QString text;
    text.reserve(static_cast<qsizetype>(digits.size()) + 4);
    if (negative) {
        text += QLatin1Char('-');
    }
    const std::size_t point = digits.find('.');
    if (point == std::string::npos) {  // inf or nan: no decimals to place
        text += QLatin1String(digits.data(), static_cast<qsizetype>(digits.size()));
    } else {
        text += QLatin1String(digits.data(), static_cast<qsizetype>(point));
        text += decimalPoint;
        text += QLatin1String(digits.data() + point + 1,
                              static_cast<qsizetype>(digits.size() - point - 1));
    }
    text += QLatin1Char('V');
    return text;
}

QString SignedText(std::int32_t value) {
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

std::uint8_t ToByte(std::int32_t value) {
    if (value < 0 || value > 255) {
        throw RuntimeError(QStringLiteral("overflow: %1 is outside 0 to 255").arg(value));
    }
    return static_cast<std::uint8_t>(value);
}

std::uint8_t TextToByte(const QString &text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    const qsizetype firstDigit = i;
    std::int32_t value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            break;
        }
        value = value * 10 + (c.unicode() - u'0');
        if (value > 255) {
            throw RuntimeError(QStringLiteral("overflow: \"%1\" is outside 0 to 255").arg(text));
        }
    }
    if (i == firstDigit || i != text.size()) {
        throw RuntimeError(QStringLiteral("type mismatch: \"%1\" is not a number").arg(text));
    }
    return static_cast<std::uint8_t>(value);
}

std::int32_t CheckedAdd(std::int32_t a, std::int32_t b) {
    if ((b > 0 && a > std::numeric_limits<std::int32_t>::max() - b) ||
        (b < 0 && a < std::numeric_limits<std::int32_t>::min() - b)) {
        throw RuntimeError(QStringLiteral("overflow: %1 + %2").arg(a).arg(b));
    }
    return a + b;
}

}  // namespace qv58163
