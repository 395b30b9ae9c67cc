// The recording's CSV file: its header, one row per read as the panel converts it, and where the
// rows go. The file stays plain (one header line, then rows), so any spreadsheet reads it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

#include "CardLimits.hpp"

namespace qv58163::recorder {

using card::channelCount;

// The range selector position of each channel (0 to 4, the stop position for a stopped channel).
using Positions = std::array<std::int16_t, channelCount>;
// The range code of each channel as the card reported it, or as --range set it; none: not read.
using RangeCodes = std::array<std::optional<std::uint8_t>, channelCount>;
using Volts = std::array<double, channelCount>;
// The buffer a read fills.
using Slots = std::array<std::int16_t, card::slotCount>;

// The volts of one read exactly as the panel works them out: each slot lifted to a count and
// scaled by its channel's range, with one voltage for the whole read that starts at 0.
Volts voltsOfRead(const Positions &positions, const Slots &results);

// "time,elapsed_s,CH00,...,CH07,status" and a line end.
QByteArray csvHeader();

// One row of the file, formatted into a buffer kept from row to row: UTC time with milliseconds,
// seconds since the run's start with 6 decimals (microseconds), each running channel's volts with
// 6 decimals rounded half away from zero ('.' whatever the locale), the read's status, a line end.
// A stopped channel's field is empty, and so is every channel's field of a failed read (status not
// 0): its slots hold no measurement.
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

// Where the rows go: a file or standard output.
class RowOutput {
public:
    enum class Result { Written, Failed, Closed };

    virtual ~RowOutput() = default;
    // Writes one row, whole or not at all: after a failure the output ends with the previous row
    // (where the output can be cut back: a file). The row has reached the file, not a buffer of
    // this process, when it returns. Closed: the reader of a pipe has gone.
    virtual Result write(const QByteArray &row) = 0;
    virtual QString errorString() const = 0;
};

}  // namespace qv58163::recorder
