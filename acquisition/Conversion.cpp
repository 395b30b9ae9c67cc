#include "Conversion.hpp"

#include <QtNumeric>

#include "RangeTable.hpp"
#include "RuntimeError.hpp"

namespace qv58163 {

std::int32_t countFromSlot(std::int16_t slot) {
    std::int32_t count = slot;
    // A checked addition like every numeric step, though a widened 16-bit value cannot overflow.
    if (slot < 0 && qAddOverflow(count, std::int32_t{4096}, &count)) {
        throw RuntimeError(QStringLiteral("overflow: %1 + 4096").arg(slot));
    }
    return count;
}

void countToVolts(std::int16_t position, std::int32_t count, double &volts) {
    const card::Range *range = card::rangeAt(position);
    if (range == nullptr) {
        return;  // no range chosen: the caller's value stands
    }
    if (range->divisor == 0) {
        volts = 0;  // a stopped channel
        return;
    }
    // Volts per count, formed first from the two 16-bit integers by true division; keeping this
    // order fixes every result to the bit.
    const double step = static_cast<double>(range->span) / static_cast<double>(range->divisor);
    if (range->bipolar && count > 2047) {
        // 12-bit two's complement: counts above 2047 are negative.
        volts = static_cast<double>(4096 - count) * step * -1.0;
    } else {
        volts = static_cast<double>(count) * step;
    }
}

QString fixedText(double value, int decimals, const QString &decimalPoint) {
    // Qt's fixed notation is independent of the locale and rounds a value exactly halfway between
    // two last digits away from zero, as the display wants (the display's tests check every half
    // a count can produce); negative zero has no sign.
    QString text = QString::number(value, 'f', decimals);
    if (decimalPoint != QLatin1String(".")) {
        const qsizetype point = text.indexOf(QLatin1Char('.'));
        if (point >= 0) {
            text.replace(point, 1, decimalPoint);
        }
    }
    return text;
}

QString voltText(double volts, const QString &decimalPoint) {
    return fixedText(volts, 3, decimalPoint) + QLatin1Char('V');
}

QString signedText(std::int32_t value) {
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

std::uint8_t toByte(std::int32_t value) {
    if (value < 0 || value > 255) {
        throw RuntimeError(QStringLiteral("overflow: %1 is outside 0 to 255").arg(value));
    }
    return static_cast<std::uint8_t>(value);
}

std::uint8_t textToByte(const QString &text) {
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

}  // namespace qv58163
