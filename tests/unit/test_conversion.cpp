// Count to volts and volts to text, exact to the bit and to the character. The literals below are
// the shortest decimal forms that read back as the very doubles the scaling gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "Conversion.hpp"
#include "RowName.hpp"

namespace qv58163 {
namespace {

std::uint64_t Bits(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Equal to the bit: 0.0 and -0.0 differ, and no tolerance hides a different rounding.
::testing::AssertionResult SameDouble(double actual, double expected) {
    if (Bits(actual) == Bits(expected)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "got " << ::testing::PrintToString(actual)
                                         << ", expected " << ::testing::PrintToString(expected);
}

// One count and its volts on positions 0 (0..5 V), 1 (-5..+5 V), 2 (0..10 V), 3 (-10..+10 V).
struct CountRow {
    std::int32_t count;
    double volts[4];
};
void PrintTo(const CountRow &row, std::ostream *out) {
    *out << "count " << row.count;
}

class ScalingOfEachCount : public ::testing::TestWithParam<CountRow> {};

TEST_P(ScalingOfEachCount, GivesTheExactDoubleOnEachRange) {
    const CountRow row = GetParam();
    for (std::int16_t position = 0; position < 4; ++position) {
        double volts = 123.0;  // whatever the caller held before
        countToVolts(position, row.count, volts);
        EXPECT_TRUE(SameDouble(volts, row.volts[position]))
            << "count " << row.count << ", position " << position;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, ScalingOfEachCount,
    ::testing::Values(
        CountRow{0, {0, 0, 0, 0}},
        CountRow{1, {0.001221001221001221, 0.00244140625, 0.002442002442002442, 0.0048828125}},
        CountRow{128, {0.1562881562881563, 0.3125, 0.3125763125763126, 0.625}},
        CountRow{2047, {2.4993894993894994, 4.99755859375, 4.998778998778999, 9.9951171875}},
        // Bipolar ranges turn negative past 2047; unipolar ones go on rising.
        CountRow{2048, {2.5006105006105006, -5, 5.001221001221001, -10}},
        CountRow{3968, {4.844932844932845, -0.3125, 9.68986568986569, -0.625}},
        CountRow{4094, {4.998778998778999, -0.0048828125, 9.997557997557998, -0.009765625}},
        CountRow{4095, {5, -0.00244140625, 10, -0.0048828125}},
        // Counts are never clamped.
        CountRow{5000, {6.105006105006105, 2.20703125, 12.21001221001221, 4.4140625}},
        CountRow{32767, {40.008547008547005, 69.99755859375, 80.01709401709401, 139.9951171875}},
        CountRow{-1,
                 {-0.001221001221001221, -0.00244140625, -0.002442002442002442, -0.0048828125}}),
    test::RowName());

TEST(Scaling, TheStopPositionGivesZeroForAnyCount) {
    for (const std::int32_t count :
         {0, 1, 2047, 2048, 4095, 5000, -1, -4096, std::numeric_limits<std::int32_t>::min(),
          std::numeric_limits<std::int32_t>::max()}) {
        double volts = -7.25;
        countToVolts(4, count, volts);
        EXPECT_TRUE(SameDouble(volts, 0.0)) << "count " << count;
    }
}

TEST(Scaling, APositionWithNoRangeLeavesTheCallersValue) {
    for (const std::int16_t position : {-1, 5, 6, 255, -32768, 32767}) {
        for (const double before : {0.0, -0.0, 3.5, -9.9951171875}) {
            double volts = before;
            countToVolts(position, 2047, volts);
            EXPECT_TRUE(SameDouble(volts, before)) << "position " << position;
        }
    }
}

// The rounding and both separators of the voltage text are DisplayEdges' sweep; a locale's
// separator may be any text, not only a point or a comma.
TEST(DecimalSeparator, AnyTextTakesThePointsPlace) {
    EXPECT_EQ(voltText(1.5, QString(QChar(0x066B))).toStdString(), "1\u066B500V");
}

// The recorder's six decimals and every other precision: the same text as Qt's fixed notation,
// which rounds the exact binary value. Values near a half of the last digit, exact ties, every
// count of every range and random bit patterns probe where the integer path hands over to Qt.
TEST(FixedNotation, WritesWhatQtsFixedNotationWritesAtEveryPrecision) {
    std::mt19937_64 rng(58163);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  -1e-9,
                                  0.0078125,
                                  -0.0078125,
                                  1e12,
                                  -1e12,
                                  std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    for (std::int32_t count = 0; count < 4096; ++count) {
        for (std::int16_t position = 0; position < 4; ++position) {
            countToVolts(position, count, values.emplace_back());
        }
    }
    for (int k = 0; k < 20000; ++k) {
        const double tie = (static_cast<double>(rng() % 2000000) - 999999.5) / 1000;
        values.insert(values.end(), {tie, std::nextafter(tie, 1e9), std::nextafter(tie, -1e9)});
        const std::uint64_t bits = rng();
        std::memcpy(&values.emplace_back(), &bits, sizeof bits);
    }
    for (int decimals = 0; decimals <= 9; ++decimals) {
        for (const double value : values) {
            QByteArray text;
            appendFixed(text, value, decimals);
            ASSERT_EQ(text, QString::number(value, 'f', decimals).toLatin1())
                << std::hexfloat << value << " with " << decimals << " decimals";
        }
    }
    QByteArray text;
    appendFixed(text, -0.0078125, 6);
    EXPECT_EQ(text, "-0.007813") << "a tie goes away from zero";
}

}  // namespace
}  // namespace qv58163
