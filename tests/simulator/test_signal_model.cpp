// Conversion of volts to card codes, and the signal shapes.
#include <gtest/gtest.h>

#include "RowName.hpp"
#include "SignalModel.hpp"

namespace {

using qv58163::sim::convert;
using qv58163::sim::Signal;

struct ConversionCase {
    uint8_t range;
    double volts;
    int code;
};
void PrintTo(const ConversionCase &c, std::ostream *out) {
    *out << "range " << int(c.range) << ' ' << c.volts << " V";
}

class Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, GivesTheCardCode) {
    const auto &c = GetParam();
    EXPECT_EQ(convert(c.volts, c.range), c.code)
        << "range " << int(c.range) << ", " << c.volts << " V";
}

INSTANTIATE_TEST_SUITE_P(
    RangeEndsAndClipping, Conversion,
    ::testing::Values(
        // 0..5 V: 4095 over 5 V
        ConversionCase{0, 0.0, 0}, ConversionCase{0, 5.0, 4095}, ConversionCase{0, 2.5, 2048},
        ConversionCase{0, 5.0 / 4095.0, 1}, ConversionCase{0, 4.999, 4094},
        ConversionCase{0, -0.3, 0}, ConversionCase{0, 7.0, 4095},
        // 0..10 V
        ConversionCase{2, 0.0, 0}, ConversionCase{2, 10.0, 4095}, ConversionCase{2, 1.0, 410},
        ConversionCase{2, 9.99, 4091}, ConversionCase{2, -1.0, 0}, ConversionCase{2, 10.5, 4095},
        // -5..+5 V: 4096 over 10 V, two's complement, top code 2047
        ConversionCase{1, -5.0, -2048}, ConversionCase{1, 0.0, 0}, ConversionCase{1, 1.0, 410},
        ConversionCase{1, -1.0, -410}, ConversionCase{1, 4.99, 2044},
        ConversionCase{1, 2047.0 * 10.0 / 4096.0, 2047}, ConversionCase{1, 5.0, 2047},
        ConversionCase{1, -6.0, -2048},
        // -10..+10 V: 4096 over 20 V
        ConversionCase{3, -10.0, -2048}, ConversionCase{3, 10.0, 2047}, ConversionCase{3, 1.0, 205},
        ConversionCase{3, -1.0, -205}, ConversionCase{3, -9.99, -2046},
        ConversionCase{3, 25.0, 2047}, ConversionCase{3, -25.0, -2048},
        // exactly half a count either way (2.5 counts): away from zero
        ConversionCase{3, 25.0 / 2048, 3}, ConversionCase{3, -25.0 / 2048, -3},
        // stopped channel, and a code the card does not know
        ConversionCase{255, 3.3, 0}, ConversionCase{255, -3.3, 0}, ConversionCase{7, 3.3, 0}),
    qv58163::test::RowName());

struct ShapeCase {
    Signal signal;
    double seconds;
    double volts;
};
void PrintTo(const ShapeCase &c, std::ostream *out) {
    const char *kinds[] = {"dc", "sine", "triangle", "square", "ramp"};
    *out << kinds[static_cast<int>(c.signal.kind)] << " amp " << c.signal.amp << " offset "
         << c.signal.offset << " freq " << c.signal.freq << " phase " << c.signal.phase << " at "
         << c.seconds << " s";
}

class SignalShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(SignalShape, HasTheExpectedLevel) {
    const auto &c = GetParam();
    EXPECT_NEAR(c.signal.at(c.seconds), c.volts, 1e-9) << "at " << c.seconds << " s";
}

using K = Signal::Kind;
// 0.5 Hz: one cycle every 2 s, so a quarter cycle is 0.5 s.
const Signal sine{K::Sine, 2.0, 1.0, 0.5, 0.0};
const Signal triangle{K::Triangle, 2.0, 1.0, 0.5, 0.0};
const Signal square{K::Square, 2.0, 1.0, 0.5, 0.0};
const Signal ramp{K::Ramp, 2.0, 1.0, 0.5, 0.0};

INSTANTIATE_TEST_SUITE_P(
    Shapes, SignalShape,
    ::testing::Values(
        ShapeCase{Signal{K::Dc, 0.0, -6.5, 0.0, 0.0}, 12.3, -6.5}, ShapeCase{sine, 0.0, 1.0},
        ShapeCase{sine, 0.5, 3.0}, ShapeCase{sine, 1.5, -1.0}, ShapeCase{sine, 4.5, 3.0},
        ShapeCase{Signal{K::Sine, 2.0, 1.0, 0.5, 90.0}, 0.0, 3.0}, ShapeCase{triangle, 0.0, 1.0},
        ShapeCase{triangle, 0.25, 2.0}, ShapeCase{triangle, 0.5, 3.0},
        ShapeCase{triangle, 1.0, 1.0}, ShapeCase{triangle, 1.5, -1.0},
        ShapeCase{triangle, 1.75, 0.0}, ShapeCase{square, 0.1, 3.0}, ShapeCase{square, 0.9, 3.0},
        ShapeCase{square, 1.1, -1.0}, ShapeCase{square, 2.1, 3.0}, ShapeCase{ramp, 0.0, -1.0},
        ShapeCase{ramp, 1.0, 1.0}, ShapeCase{ramp, 1.5, 2.0}, ShapeCase{ramp, 2.0, -1.0}),
    qv58163::test::RowName());

}  // namespace
