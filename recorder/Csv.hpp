// One read of the card as the panel converts it, and as one row of the recording's CSV file.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <chrono>
#include <cstdint>

#include "Options.hpp"

namespace qv58163::recorder {

// The range selector position of each channel (0 to 4, the stop position for a stopped channel).
using Positions = std::array<std::int16_t, channelCount>;
using Volts = std::array<double, channelCount>;

// The buffer a read fills: 25 slots, of which 0 to 7 are the channels'.
inline constexpr int slotCount = 25;
using Slots = std::array<std::int16_t, slotCount>;

// The volts of one read exactly as the panel works them out: each slot lifted to a count and
// scaled by its channel's range, with one voltage for the whole read that starts at 0.
Volts voltsOfRead(const Positions &positions, const Slots &results);

// "time,elapsed_s,CH00,...,CH07,status" and a line end.
QByteArray csvHeader();

// One row of the file, formatted into a buffer kept from row to row: UTC time with milliseconds,
// seconds since the first sample with 3 decimals, each running channel's volts with 6 decimals
// rounded half away from zero ('.' whatever the locale), an empty field for a stopped channel,
// the read's status, a line end.
class CsvRow {
public:
    const QByteArray &format(std::int64_t utcMilliseconds, std::chrono::nanoseconds elapsed,
                             const Positions &positions, const Volts &volts, std::int32_t status);

    // A channel's field in the row last formatted, exactly as written.
    QByteArrayView field(int channel) const {
        return QByteArrayView(text_).sliced(fieldStart_[channel], fieldLength_[channel]);
    }

private:
    QByteArray text_;
    std::array<qsizetype, channelCount> fieldStart_{};
    std::array<qsizetype, channelCount> fieldLength_{};
};

}  // namespace qv58163::recorder
