#include "SignalModel.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "RangeTable.hpp"

namespace qv58163::sim {

namespace {

constexpr double pi = 3.14159265358979323846;

uint64_t splitMix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Uniform in [0, 1).
double unitInterval(uint64_t bits) {
    return static_cast<double>(bits >> 11) * (1.0 / 9007199254740992.0);
}

// A near-normal deviate, mean 0 and variance 1: the sum of twelve uniform deviates less six, a
// Gaussian's mean and spread with slightly lighter tails and nothing beyond six standard
// deviations. The uniforms come from a counter-based hash of the arguments: no hidden state.
// Plain arithmetic with no library call or table: a program that sleeps between reads meets cold
// caches at each read, where the logarithm and cosine of the exact method cost more than the rest
// of the read.
double standardNormal(uint64_t seed, int card, int channel, uint64_t sample) {
    uint64_t h = splitMix64(seed);
    h = splitMix64(h ^ static_cast<uint64_t>(card));
    h = splitMix64(h ^ static_cast<uint64_t>(channel));
    h = splitMix64(h ^ sample);
    double sum = 0.0;
    for (int k = 0; k < 12; ++k) {
        h = splitMix64(h);
        sum += unitInterval(h);
    }
    return sum - 6.0;
}

}  // namespace

double Signal::at(double seconds) const {
    if (kind == Kind::Dc) {
        return offset;
    }
    const double cycles = freq * seconds + phase / 360.0;
    const double frac = cycles - std::floor(cycles);
    double shape = 0.0;  // -1..+1
    switch (kind) {
        case Kind::Sine:
            shape = std::sin(2.0 * pi * frac);
            break;
        case Kind::Triangle:  // in step with the sine: 0 rising to +1 at a quarter cycle
            shape = frac < 0.25 ? 4.0 * frac : (frac < 0.75 ? 2.0 - 4.0 * frac : 4.0 * frac - 4.0);
            break;
        case Kind::Square:
            shape = frac < 0.5 ? 1.0 : -1.0;
            break;
        case Kind::Ramp:
            shape = 2.0 * frac - 1.0;
            break;
        case Kind::Dc:
            break;
    }
    return offset + amp * shape;
}

double Noise::at(int card, int channel, uint64_t sample) const {
    return sigma * standardNormal(seed, card, channel, sample);
}

int conversionsForMode(int mode) {
    return 1 << mode;
}

int convert(double volts, uint8_t code) {
    for (const card::Range &range : card::rangeTable) {
        if (range.code != code || range.span == 0) {
            continue;
        }
        const double counts = volts * range.divisor / range.span;
        if (std::isnan(counts)) {
            return 0;
        }
        const int low = range.bipolar ? card::lowestBipolarCount : 0;
        const int high = range.bipolar ? card::highestBipolarCount : card::highestUnipolarCount;
        // Rounded half away from zero in plain arithmetic rather than by a library call, for the
        // same reason as the noise. Clamping to one count past each end first changes no result
        // and keeps any input convertible.
        const double clamped = std::clamp(counts, low - 1.0, high + 1.0);
        const auto whole = static_cast<int>(clamped);  // towards zero
        const double fraction = clamped - whole;
        const int rounded = whole + (fraction >= 0.5 ? 1 : (fraction <= -0.5 ? -1 : 0));
        return std::clamp(rounded, low, high);
    }
    return 0;  // stopped, or a code the card does not know
}

int16_t averagedCode(double volts, uint8_t code, int mode, const Noise &noise, int card,
                     int channel, uint64_t firstSample) {
    const int n = conversionsForMode(mode);
    long long sum = 0;
    for (int i = 0; i < n; ++i) {
        const double sample = noise.sigma > 0.0 ? noise.at(card, channel, firstSample + i) : 0.0;
        sum += convert(volts + sample, code);
    }
    // The mean rounded half away from zero, in integers.
    const long long magnitude = (2 * std::llabs(sum) + n) / (2 * n);
    return static_cast<int16_t>(sum < 0 ? -magnitude : magnitude);
}

}  // namespace qv58163::sim
