// What one read of the card is made of, as every part of a run sees it: the channels' range
// selector positions and codes, the result slots the driver fills, the volts worked out of them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "CardLimits.hpp"

namespace qv58163::recorder {

using card::channelCount;

// The range selector position of each channel (0 to 4, the stop position for a stopped channel).
using Positions = std::array<std::int16_t, channelCount>;
// The range code of each channel as the card reported it, or as --range set it; none: not read.
using RangeCodes = std::array<std::optional<std::uint8_t>, channelCount>;
// Each channel's volts, as the panel works them out (voltsOfRead in Conversion.hpp).
using Volts = std::array<double, channelCount>;
// The buffer a read fills.
using Slots = std::array<std::int16_t, card::slotCount>;

}  // namespace qv58163::recorder
