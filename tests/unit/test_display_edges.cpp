// The voltage display at its edges, against the exact-decimal reference: every 16-bit result slot
// in every range position, and doubles of every size, in both decimal separators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "Conversion.hpp"
#include "Reference.hpp"

namespace qv58163::test {
namespace {

// The decimal separators of an English and a German locale.
const QString separators[] = {QStringLiteral("."), QStringLiteral(",")};

TEST(DisplayEdges, EverySlotValueInEveryRangeShowsTheExactRoundedVoltage) {
    int checked = 0;
    for (const QString &point : separators) {
        const std::string sep = point.toStdString();
        for (int slot = -32768; slot <= 32767; ++slot) {
            const auto value = static_cast<std::int16_t>(slot);
            const std::int32_t count = slot < 0 ? slot + 4096 : slot;  // the lift, by the rules
            for (std::int16_t position = 0; position <= 4; ++position) {
                double volts = 123.0;
                countToVolts(position, count, volts);
                const std::string expected = reference::display(
                    reference::convert(position, reference::countOfSlot(value), {}), sep);
                const std::string shown = voltText(volts, point).toStdString();
                if (shown != expected) {
                    ADD_FAILURE() << "slot " << slot << " at position " << position << " shows "
                                  << shown << ", expected " << expected;
                    return;
                }
                // The double the program computed rounds as the exact fraction does: no result
                // lies near enough to a half-thousandth for the difference to show.
                ASSERT_EQ(reference::display(volts, sep), expected)
                    << "slot " << slot << " at position " << position;
                ++checked;
            }
            // With nothing chosen the voltage is left as it was.
            double untouched = -1.5;
            countToVolts(-1, count, untouched);
            ASSERT_EQ(untouched, -1.5) << "slot " << slot;
        }
    }
    EXPECT_EQ(checked, 2 * 65536 * 5);
}

// Known texts, so that the reference itself is pinned: ties, negative zero, the separator.
TEST(DisplayEdges, TheReferenceGivesTheTextsOfTheRules) {
    const std::pair<double, const char *> cases[] = {
        {0.3125, "0.313V"},
        {-0.3125, "-0.313V"},
        {-0.0, "0.000V"},
        {2.5, "2.500V"},
        {0.0004999, "0.000V"},
        {-0.0004, "-0.000V"},
        {9.9996, "10.000V"},
        {1e21, "1000000000000000000000.000V"},
        {0.0625, "0.063V"},
        {-1.0625, "-1.063V"},
        {4.99877899877899, "4.999V"},
    };
    for (const auto &[volts, text] : cases) {
        EXPECT_EQ(reference::display(volts, "."), text) << volts;
    }
    EXPECT_EQ(reference::display(2.5, ","), "2,500V");
    EXPECT_EQ(reference::display(reference::Volts{-5 * 128, 2048}, "."), "-0.313V");
    EXPECT_EQ(reference::display(reference::Volts{0, 4096}, "."), "0.000V");
}

// Doubles of every kind: random bit patterns (huge and tiny), exact ties j/16, values one step
// either side of a half-thousandth, plain values of a card's size, and signed zeros.
double randomDouble(std::mt19937_64 &rng) {
    std::uniform_real_distribution<double> card(-40.0, 40.0);
    switch (rng() % 6) {
        case 0: {
            double value = std::numeric_limits<double>::quiet_NaN();
            while (!std::isfinite(value)) {
                const std::uint64_t bits = rng();
                std::memcpy(&value, &bits, sizeof value);
            }
            return value;
        }
        case 1:
            return static_cast<double>(static_cast<std::int64_t>(rng() % 2000001) - 1000000) / 16;
        case 2: {
            const double tie = (2.0 * static_cast<double>(rng() % 100000) + 1) / 2000;
            const double near = rng() % 2 ? std::nextafter(tie, 0.0) : std::nextafter(tie, 1e9);
            return rng() % 2 ? -near : near;
        }
        case 3:
            return card(rng);
        case 4:
            return std::ldexp(card(rng), -static_cast<int>(rng() % 1100));
        default:
            return rng() % 2 ? 0.0 : -0.0;
    }
}

TEST(DisplayEdges, RandomDoublesShowTheirExactDecimalValueRoundedHalfAwayFromZero) {
    std::mt19937_64 rng(58163);
    for (int k = 0; k < 200000; ++k) {
        const double volts = randomDouble(rng);
        for (const QString &point : separators) {
            const std::string expected = reference::display(volts, point.toStdString());
            ASSERT_EQ(voltText(volts, point).toStdString(), expected)
                << "value " << std::hexfloat << volts;
        }
    }
}

TEST(DisplayEdges, TheExtremesOfADouble) {
    const double values[] = {std::numeric_limits<double>::max(),
                             -std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::denorm_min(),
                             -std::numeric_limits<double>::denorm_min(),
                             9007199254740993.0,
                             4503599627370495.5};
    for (const double volts : values) {
        for (const QString &point : separators) {
            EXPECT_EQ(voltText(volts, point).toStdString(),
                      reference::display(volts, point.toStdString()))
                << std::hexfloat << volts;
        }
    }
}

}  // namespace
}  // namespace qv58163::test
