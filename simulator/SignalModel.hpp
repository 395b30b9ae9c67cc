// What the simulated card measures: each channel's input signal over time, the noise on every
// conversion, the averaging of an integral mode, and the conversion of volts to card codes.
#pragma once

#include <cstdint>

#include "CardLimits.hpp"

namespace qv58163::sim {

using card::channelCount;

// One channel's input, in volts, as a function of time.
struct Signal {
    enum class Kind { Dc, Sine, Triangle, Square, Ramp };
    Kind kind = Kind::Dc;
    double amp = 0.0;     // peak deviation from offset, volts
    double offset = 0.0;  // volts (the level itself for Dc)
    double freq = 0.0;    // Hz
    double phase = 0.0;   // degrees

    double at(double seconds) const;
};

// Near-Gaussian noise on every conversion. Sample `sample` of a card's channel depends only on the
// seed, the card, the channel and the sample number, so the same calls give the same values.
struct Noise {
    double sigma = 0.01;  // standard deviation, volts
    std::uint64_t seed = 1;

    double at(int card, int channel, std::uint64_t sample) const;
};

// Conversions averaged per reading in integral mode `mode` (0..10): 2^mode.
int conversionsForMode(int mode);

// One conversion of `volts` on range code `code`, rounded half away from zero and clipped at the
// range ends: unipolar ranges give 0..4095, bipolar ranges -2048..2047; a stopped channel or a code
// the card does not know gives 0.
int convert(double volts, std::uint8_t code);

// What a channel of `card` reports in integral mode `mode` for an input of `volts`: the mean of
// 2^mode conversions, the i-th with noise sample `firstSample + i`, rounded to the nearest code.
std::int16_t averagedCode(double volts, std::uint8_t code, int mode, const Noise &noise, int card,
                          int channel, std::uint64_t firstSample);

}  // namespace qv58163::sim
