// The recording's CSV file: its header and one row per read as the panel converts it. The file
// stays plain (one header line, then rows), so any spreadsheet reads it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <chrono>
#include <cstdint>

#include "Read.hpp"

namespace qv58163::recorder {

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

}  // namespace qv58163::recorder
