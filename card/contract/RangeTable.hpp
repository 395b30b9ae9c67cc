// The channel ranges, in one table: the range selector's positions, the codes the card exchanges
// for them, the texts the lists show, and the scaling of each. Everything that knows a range (the
// window, the procedures, the conversion, the recorder, the simulated card) reads it from here.
#pragma once

#include <array>
#include <cstdint>

#include "QV58163.h"

namespace qv58163::card {

struct Range {
    std::int16_t position;  // the selector's ListIndex
    std::uint8_t code;      // the code sent to the card for it
    const char *text;       // the list entry
    std::int16_t span;      // volts across the whole range; 0 for a stopped channel
    std::int16_t divisor;   // counts per span: 4095 unipolar, 4096 bipolar; 0 when stopped
    bool bipolar;           // counts above 2047 are negative (12-bit two's complement)
};

inline constexpr std::array<Range, 5> rangeTable{{
    {0, QV58163_RANGE_0_5V, "0: 0V ~ 5V", 5, 4095, false},
    {1, QV58163_RANGE_PM5V, "1: -5V ~ +5V", 10, 4096, true},
    {2, QV58163_RANGE_0_10V, "2: 0V ~ 10V", 10, 4095, false},
    {3, QV58163_RANGE_PM10V, "3: -10V ~ +10V", 20, 4096, true},
    {4, QV58163_RANGE_STOP, "255 : stop", 0, 0, false},
}};

inline constexpr std::int16_t stopPosition = 4;
inline constexpr std::uint8_t stopCode = QV58163_RANGE_STOP;

// The range at selector position `position`, or null when no range has that position (-1: none
// chosen).
constexpr const Range *rangeAt(std::int16_t position) {
    for (const Range &range : rangeTable) {
        if (range.position == position) {
            return &range;
        }
    }
    return nullptr;
}

// The position that shows a code read from the card: 255 is the stop entry, every other code is
// taken as a position as it stands, so 4 shows as stopped too and a code with no entry gives a
// position the selector refuses.
constexpr std::int16_t positionForCode(std::uint8_t code) {
    return code == stopCode ? stopPosition : std::int16_t{code};
}

// The code sent to the card for a position: 255 for the stop entry, the position itself otherwise.
constexpr std::int16_t codeForPosition(std::int16_t position) {
    return position == stopPosition ? std::int16_t{stopCode} : position;
}

}  // namespace qv58163::card
