#include "Conversion.hpp"

#include <QtNumeric>
#include <cmath>
#include <iterator>

#include "RangeTable.hpp"
#include "RuntimeError.hpp"

namespace qv58163 {

std::int32_t countFromSlot(std::int16_t slot) {
    std::int32_t count = slot;
    // A checked addition like every numeric step, though a widened 16-bit value cannot overflow.
    if (slot < 0 && qAddOverflow(count, card::countSpan, &count)) {
        throw card::RuntimeError(
            QStringLiteral("overflow: %1 + %2").arg(slot).arg(card::countSpan));
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
    if (range->bipolar && count > card::highestBipolarCount) {
        // 12-bit two's complement: counts above 2047 are negative.
        volts = static_cast<double>(card::countSpan - count) * step * -1.0;
    } else {
        volts = static_cast<double>(count) * step;
    }
}

ChannelVolts voltsOfRead(const std::array<std::int16_t, card::channelCount> &positions,
                         const std::int16_t *results) {
    return voltsOfRead(results, [&positions](int channel, std::int32_t count, double &volts) {
        countToVolts(positions[channel], count, volts);
    });
}

void appendDecimal(QByteArray &text, std::uint64_t magnitude, int decimals, bool negative) {
    // Written backwards into a buffer and appended at once: 20 digits, a point and a sign fit.
    char buffer[24];
    char *first = std::end(buffer);
    int written = 0;
    do {
        if (written == decimals && written > 0) {
            *--first = '.';
        }
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
        ++written;
    } while (magnitude != 0 || written <= decimals);
    if (negative) {
        *--first = '-';
    }
    text.append(first, std::end(buffer) - first);
}

void appendFixed(QByteArray &text, double value, int decimals) {
    static constexpr double powersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    if (decimals >= 0 && decimals <= 9) {
        // The product is rounded, but rounding is monotonic and below 2^52 every half-integer
        // is a double: the product lies on the same side of each half as the true value does,
        // and so rounds to the same integer. Only a product that is a half exactly may come
        // from a value just off it, and goes to Qt. Every caption and recorded field but a tie
        // takes this path: no allocation and no library call, which counts when each sample
        // wakes the recorder with cold caches.
        const double scaled = value * powersOfTen[decimals];
        if (std::fabs(scaled) < 0x1p52) {  // false for NaN and infinities too
            const auto whole = static_cast<std::int64_t>(scaled);                    // towards zero
            const double fraction = std::fabs(scaled - static_cast<double>(whole));  // exact
            if (fraction != 0.5) {
                const auto magnitude = static_cast<std::uint64_t>(whole < 0 ? -whole : whole);
                // Qt's rule, kept: a negative value that rounds to zero keeps its sign, -0.0
                // has none.
                appendDecimal(text, magnitude + (fraction > 0.5 ? 1 : 0), decimals, value < 0);
                return;
            }
        }
    }
    // A product on a half, and any other value: Qt's fixed notation, which is locale-independent
    // and rounds the exact binary value, a tie away from zero.
    text += QString::number(value, 'f', decimals).toLatin1();
}

QString fixedText(double value, int decimals, const QString &decimalPoint) {
    QByteArray digits;
    appendFixed(digits, value, decimals);
    QString text = QString::fromLatin1(digits);
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
        throw card::RuntimeError(QStringLiteral("overflow: %1 is outside 0 to 255").arg(value));
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
            throw card::RuntimeError(
                QStringLiteral("overflow: \"%1\" is outside 0 to 255").arg(text));
        }
    }
    if (i == firstDigit || i != text.size()) {
        throw card::RuntimeError(QStringLiteral("type mismatch: \"%1\" is not a number").arg(text));
    }
    return static_cast<std::uint8_t>(value);
}

}  // namespace qv58163
