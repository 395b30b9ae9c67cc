// What the card is, in numbers: its channels, its result slots and their counts, the card numbers
// the program probes and its integral modes. Everything that counts channels, slots, counts, cards
// or modes (the window, the procedures, the recorder, the simulated card, the tests) reads it from
// here.
#pragma once

#include <cstdint>

#include "QV58163.h"

namespace qv58163::card {

// Channels CH00 to CH07; a channel's index is also its result slot.
inline constexpr int channelCount = 8;

// The signed 16-bit slots behind the pointer a read fills; slots 0 to 7 are the channels'.
inline constexpr int slotCount = QV58163_RESULT_SLOTS;
static_assert(slotCount >= channelCount);

// A result has 12 bits: a unipolar range's counts are 0 to 4095, a bipolar range's -2048 to 2047
// in two's complement, which a slot holds widened and the program lifts by 4096 into 2048 to 4095.
inline constexpr std::int32_t countSpan = 4096;
inline constexpr std::int32_t highestUnipolarCount = countSpan - 1;
inline constexpr std::int32_t lowestBipolarCount = -countSpan / 2;
inline constexpr std::int32_t highestBipolarCount = countSpan / 2 - 1;

// The card numbers probed at start, lowest first.
inline constexpr std::int16_t lowestCardNumber = 0;
inline constexpr std::int16_t highestCardNumber = 15;

// The integral modes the card is started in; mode 1 is preselected.
inline constexpr int lowestMode = 0;
inline constexpr int highestMode = 10;
inline constexpr int defaultMode = 1;

}  // namespace qv58163::card
