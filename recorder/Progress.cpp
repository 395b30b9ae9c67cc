#include "Progress.hpp"

namespace qv58163::recorder {

namespace {

// The line is rewritten at most this often.
constexpr auto period = std::chrono::milliseconds(250);

}  // namespace

void Progress::sampled(Schedule::Duration elapsed, bool failed) {
    ++samples_;
    failedReads_ += failed ? 1 : 0;
    if (!shown_ || (lastShown_ && elapsed - *lastShown_ < period)) {
        return;
    }
    lastShown_ = elapsed;
    QString line =
        QStringLiteral("\r%1 samples, %2 elapsed").arg(samples_).arg(durationText(elapsed));
    if (skipped_ > 0) {
        line += QStringLiteral(", %1 skipped").arg(skipped_);
    }
    if (failedReads_ > 0) {
        line += QStringLiteral(", %1 failed reads").arg(failedReads_);
    }
    if (const auto remaining = schedule_.remaining(elapsed)) {
        line += QStringLiteral(", %1 remaining").arg(durationText(*remaining));
    }
    if (more_) {
        line += more_();
    }
    world_.message(line + QStringLiteral("\x1b[K"));
}

void Progress::ended() {
    if (lastShown_) {
        world_.message(QStringLiteral("\r\x1b[K"));
    }
}

QString durationText(std::chrono::nanoseconds time) {
    using namespace std::chrono;
    constexpr auto day = hours(24);
    if (time < hours(1)) {
        return QString::number(duration<double>(time).count(), 'f', 1) + QStringLiteral(" s");
    }
    if (time < 2 * day) {
        const auto minutes = duration_cast<std::chrono::minutes>(time);
        return QStringLiteral("%1 h %2 min")
            .arg(duration_cast<hours>(minutes).count())
            .arg(minutes.count() % 60, 2, 10, QLatin1Char('0'));
    }
    if (time < 365 * day) {
        return QString::number(duration<double, std::ratio<86'400>>(time).count(), 'f', 1) +
               QStringLiteral(" days");
    }
    // Years of 365.25 days.
    using Years = duration<double, std::ratio<31'557'600>>;
    if (time < Years(100)) {
        return QString::number(Years(time).count(), 'f', 1) + QStringLiteral(" years");
    }
    return QStringLiteral("over 100 years");
}

}  // namespace qv58163::recorder
