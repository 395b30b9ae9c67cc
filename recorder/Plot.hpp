// The picture of a recording: time across, volts up, one trace per running channel with a legend,
// the card, date and ranges in the title, and a red mark under every stretch where a read failed,
// a grey one where deadlines were skipped; the traces break over both. Drawn at the end of the
// run from the decimated series, at the times the samples were taken.
// Needs a QGuiApplication (for the fonts), no display.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

#include "Decimator.hpp"
#include "Read.hpp"

namespace qv58163::recorder {

inline constexpr int plotWidth = 1200;
inline constexpr int plotHeight = 600;

class Plot {
public:
    using Duration = std::chrono::nanoseconds;

    // A plot of samples taken every `interval`, PNG or SVG by the suffix of `file`.
    Plot(const QString &file, std::chrono::milliseconds interval);

    // A read at `at` since the run's start: the running channels' volts, or a failed read.
    void add(Duration at, const Positions &positions, const Volts &volts);
    void addFailure(Duration at);
    // The deadlines from `from` up to `to` (not included) were skipped.
    void addSkipped(Duration from, Duration to);

    // The plot, titled `title`, of a run that lasted `end`: the bytes of the file. Drawn in memory,
    // so that no image library meets the file system (a full disk is the writer's to report).
    QByteArray render(const QString &title, const Positions &positions, Duration end) const;

private:
    bool svg_;
    Decimator series_;
};

}  // namespace qv58163::recorder
