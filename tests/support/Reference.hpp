// What the panel must show, worked out from the display rules alone with exact integer
// arithmetic: no floating point in the conversion, no library formatting. The randomized runs,
// the hostile-driver runs and the edge checks compare the program against it, so it shares no
// code with acquisition/.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qv58163::reference {

// A voltage as the exact fraction num / den (den > 0).
struct Volts {
    std::int64_t num = 0;
    std::int64_t den = 1;
};

// The count of a result slot: the slot widened, lifted by 4096 when negative.
std::int32_t countOfSlot(std::int16_t slot);

// Channel conversion by the range chosen at list position `position` (0 to 4). Any other
// position, such as -1 for no choice, gives `shared` back unchanged.
Volts convert(int position, std::int32_t count, Volts shared);

// An exact voltage with `decimals` decimals (1 to 9) rounded half away from zero, minus for
// negative values only, `point` as the decimal separator: "-1.250305" with 6 decimals.
std::string fixed(Volts volts, int decimals, const std::string &point = ".");

// The display text "0.000V" of an exact voltage, and of any finite double (its exact binary
// value written out in decimal): minus for negative values only, three decimals rounded half away
// from zero, `point` as the decimal separator.
std::string display(Volts volts, const std::string &point);
std::string display(double volts, const std::string &point);

// The eight captions one refresh shows for result slots 0 to 7 read with the lists at
// `positions`: one voltage carried from channel to channel, 0 at the start of the refresh.
std::array<std::string, 8> refresh(const std::int16_t *results, const std::array<int, 8> &positions,
                                   const std::string &point);

}  // namespace qv58163::reference
