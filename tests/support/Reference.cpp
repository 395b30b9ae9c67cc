#include "Reference.hpp"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace qv58163::reference {

namespace {

// Magnitude in thousandths, q, split into "integer part" and three decimals.
std::string Compose(bool negative, const std::string &integerDigits, std::uint64_t thousandths,
                    const std::string &point) {
    std::string decimals = std::to_string(thousandths);
    decimals.insert(0, 3 - decimals.size(), '0');
    return (negative ? "-" : "") + integerDigits + point + decimals + "V";
}

// m x 2^e written in decimal, for the doubles too large to have a fraction.
std::string ShiftedDecimal(std::uint64_t m, int e) {
    constexpr std::uint64_t limbBase = 1000000000;  // limbs of nine decimal digits, lowest first
    std::vector<std::uint64_t> limbs;
    for (; m != 0; m /= limbBase) {
        limbs.push_back(m % limbBase);
    }
    while (e > 0) {
        const int shift = e < 30 ? e : 30;
        e -= shift;
        std::uint64_t carry = 0;
        for (std::uint64_t &limb : limbs) {
            const std::uint64_t value = (limb << shift) + carry;
            limb = value % limbBase;
            carry = value / limbBase;
        }
        for (; carry != 0; carry /= limbBase) {
            limbs.push_back(carry % limbBase);
        }
    }
    std::string text = std::to_string(limbs.back());
    for (auto it = limbs.rbegin() + 1; it != limbs.rend(); ++it) {
        const std::string part = std::to_string(*it);
        text += std::string(9 - part.size(), '0') + part;
    }
    return text;
}

}  // namespace

std::int32_t countOfSlot(std::int16_t slot) {
    return slot < 0 ? std::int32_t{slot} + 4096 : std::int32_t{slot};
}

Volts convert(int position, std::int32_t count, Volts shared) {
    // Bipolar: 0..2047 positive, above that the 12-bit two's complement of a negative value.
    const auto bipolar = [count](std::int64_t span) {
        return count > 2047 ? Volts{-(4096 - std::int64_t{count}) * span, 4096}
                            : Volts{std::int64_t{count} * span, 4096};
    };
    switch (position) {
        case 0:
            return {std::int64_t{count} * 5, 4095};
        case 1:
            return bipolar(10);
        case 2:
            return {std::int64_t{count} * 10, 4095};
        case 3:
            return bipolar(20);
        case 4:
            return {0, 1};
        default:
            return shared;
    }
}

std::string fixed(Volts volts, int decimals, const std::string &point) {
    std::uint64_t scale = 1;
    for (int k = 0; k < decimals; ++k) {
        scale *= 10;
    }
    const auto magnitude = static_cast<std::uint64_t>(std::llabs(volts.num)) * scale;
    const auto den = static_cast<std::uint64_t>(volts.den);
    std::uint64_t units = magnitude / den;
    if (2 * (magnitude % den) >= den) {  // a half or more: away from zero
        ++units;
    }
    std::string fraction = std::to_string(units % scale);
    fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    return (volts.num < 0 ? "-" : "") + std::to_string(units / scale) + point + fraction;
}

std::string display(Volts volts, const std::string &point) {
    return fixed(volts, 3, point) + "V";
}

std::string display(double volts, const std::string &point) {
    const bool negative = volts < 0;
    int exponent = 0;
    // |volts| = m x 2^e exactly, m a 53-bit integer.
    const double fraction = std::frexp(std::fabs(volts), &exponent);
    const auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    const int e = exponent - 53;
    if (m == 0) {
        return Compose(negative, "0", 0, point);
    }
    if (e >= 0) {
        return Compose(negative, ShiftedDecimal(m, e), 0, point);
    }
    // m x 1000 / 2^k with k = -e, rounded half away from zero. m x 1000 < 2^63, so for k >= 64
    // the quotient is 0 and the remainder below half.
    const int k = -e;
    std::uint64_t thousandths = 0;
    if (k < 64) {
        const std::uint64_t scaled = m * 1000;
        thousandths = scaled >> k;
        const std::uint64_t remainder = scaled & ((std::uint64_t{1} << k) - 1);
        if (remainder >= (std::uint64_t{1} << (k - 1))) {
            ++thousandths;
        }
    }
    return Compose(negative, std::to_string(thousandths / 1000), thousandths % 1000, point);
}

std::array<std::string, 8> refresh(const std::int16_t *results, const std::array<int, 8> &positions,
                                   const std::string &point) {
    std::array<std::string, 8> captions;
    Volts volts;  // 0 at the start of each refresh, then carried from channel to channel
    for (int i = 0; i < 8; ++i) {
        volts = convert(positions[i], countOfSlot(results[i]), volts);
        captions[i] = display(volts, point);
    }
    return captions;
}

}  // namespace qv58163::reference
