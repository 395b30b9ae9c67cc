// The picture of a recording: time across, volts up, one trace per running channel with a legend,
// drawn from the decimated series. Needs a QGuiApplication (for the fonts), no display.
#pragma once

#include <QString>
#include <chrono>
#include <cstdint>

#include "Decimator.hpp"
#include "Rows.hpp"

namespace qv58163::recorder {

inline constexpr int plotWidth = 1200;
inline constexpr int plotHeight = 600;

// Writes the plot of `samples` samples taken every `interval` to `file`, PNG or SVG by its
// suffix. Returns an empty string, or why the file could not be written.
QString drawPlot(const Decimator &series, const Positions &positions,
                 std::chrono::milliseconds interval, std::int64_t samples, const QString &file);

}  // namespace qv58163::recorder
