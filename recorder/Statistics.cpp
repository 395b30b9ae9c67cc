#include "Statistics.hpp"

#include <cmath>

#include "Conversion.hpp"
#include "RangeTable.hpp"

namespace qv58163::recorder {

void ChannelStatistics::add(double value) {
    ++count_;
    if (count_ == 1) {
        min_ = max_ = mean_ = value;
        return;
    }
    min_ = std::min(min_, value);
    max_ = std::max(max_, value);
    const double delta = value - mean_;
    mean_ += delta / static_cast<double>(count_);
    squares_ += delta * (value - mean_);
}

double ChannelStatistics::standardDeviation() const {
    return count_ > 0 ? std::sqrt(squares_ / static_cast<double>(count_)) : 0.0;
}

RunStatistics::RunStatistics(const Positions &positions, std::vector<Check> checks)
    : positions_(positions), checks_(std::move(checks)) {
    checkOf_.fill(-1);
    for (std::size_t k = 0; k < checks_.size(); ++k) {
        checkOf_[checks_[k].channel] = static_cast<int>(k);
    }
}

void RunStatistics::add(std::int32_t status, const Volts &volts, const CsvRow &row, bool late) {
    ++samples_;
    if (late) {
        ++lateSamples_;
    }
    if (status != 0) {
        ++failedReads_;
        return;
    }
    for (int channel = 0; channel < channelCount; ++channel) {
        if (positions_[channel] == card::stopPosition) {
            continue;
        }
        channels_[channel].add(volts[channel]);
        if (checkOf_[channel] >= 0) {
            // The value as the file holds it, so the file and the verdict cannot disagree.
            const double written = row.field(channel).toDouble();
            const Check &check = checks_[checkOf_[channel]];
            if (written < check.low || written > check.high) {
                ++outside_[channel];
            }
        }
    }
}

bool RunStatistics::passed(const Check &check) const {
    return positions_[check.channel] != card::stopPosition &&
           channels_[check.channel].count() > 0 && outside_[check.channel] == 0 &&
           failedReads_ == 0;
}

bool RunStatistics::anyCheckFailed() const {
    for (const Check &check : checks_) {
        if (!passed(check)) {
            return true;
        }
    }
    return false;
}

QString RunStatistics::summary() const {
    const QString point = QStringLiteral(".");
    const auto volts = [&point](double value) { return fixedText(value, 6, point); };
    QString text = QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                       .arg(QStringLiteral("channel"), -7)
                       .arg(QStringLiteral("range"), -15)
                       .arg(QStringLiteral("samples"), 10)
                       .arg(QStringLiteral("min V"), 11)
                       .arg(QStringLiteral("max V"), 11)
                       .arg(QStringLiteral("mean V"), 11)
                       .arg(QStringLiteral("std dev V"), 11);
    for (int channel = 0; channel < channelCount; ++channel) {
        const card::Range *range = card::rangeAt(positions_[channel]);
        QString line = QStringLiteral("CH%1    %2 ")
                           .arg(channel, 2, 10, QLatin1Char('0'))
                           .arg(QLatin1String(range ? range->text : "?"), -15);
        const ChannelStatistics &stats = channels_[channel];
        if (positions_[channel] == card::stopPosition) {
            line += QStringLiteral("%1").arg(QStringLiteral("stopped"), 10);
        } else if (stats.count() == 0) {
            line += QStringLiteral("%1").arg(0, 10);
        } else {
            line += QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(stats.count(), 10)
                        .arg(volts(stats.min()), 11)
                        .arg(volts(stats.max()), 11)
                        .arg(volts(stats.mean()), 11)
                        .arg(volts(stats.standardDeviation()), 11);
        }
        text += line + QLatin1Char('\n');
    }
    text += QStringLiteral("samples: %1, failed reads: %2, late samples: %3\n")
                .arg(samples_)
                .arg(failedReads_)
                .arg(lateSamples_);
    for (const Check &check : checks_) {
        QString verdict = passed(check) ? QStringLiteral("PASS") : QStringLiteral("FAIL");
        if (positions_[check.channel] == card::stopPosition) {
            verdict += QStringLiteral(" (channel stopped)");
        } else if (!passed(check)) {
            verdict += QStringLiteral(" (%1 outside, %2 failed reads, %3 samples)")
                           .arg(outside_[check.channel])
                           .arg(failedReads_)
                           .arg(channels_[check.channel].count());
        }
        text += QStringLiteral("check CH%1 %2 to %3 V: %4\n")
                    .arg(check.channel, 2, 10, QLatin1Char('0'))
                    .arg(QString::number(check.low), QString::number(check.high), verdict);
    }
    return text;
}

}  // namespace qv58163::recorder
