#include "Checks.hpp"

#include "ChannelName.hpp"
#include "RangeTable.hpp"

namespace qv58163::recorder {

namespace {

// A bound as given: 15 significant digits, no more than the command line had ("2.49", "1.250305").
QString boundText(double bound) {
    return QString::number(bound, 'g', 15);
}

}  // namespace

QString verdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return QStringLiteral("PASS");
        case Verdict::Fail:
            return QStringLiteral("FAIL");
        case Verdict::Incomplete:
            return QStringLiteral("INCOMPLETE");
    }
    return {};
}

QString verdictLine(const Check &check, Verdict verdict, const QString &why) {
    return QStringLiteral("check %1 %2 to %3 V: %4%5")
        .arg(card::channelName(check.channel), boundText(check.low), boundText(check.high),
             verdictText(verdict), why);
}

CheckTally::CheckTally(std::vector<Check> checks, const Positions &positions)
    : checks_(std::move(checks)),
      positions_(positions),
      seen_(checks_.size(), 0),
      outside_(checks_.size(), 0) {}

void CheckTally::add(const CsvRow &row) {
    for (std::size_t k = 0; k < checks_.size(); ++k) {
        const Check &check = checks_[k];
        if (positions_[check.channel] == card::stopPosition) {
            continue;
        }
        // The value as the file holds it, so the file and the verdict cannot disagree.
        const double written = row.field(check.channel).toDouble();
        ++seen_[k];
        if (written < check.low || written > check.high) {
            ++outside_[k];
        }
    }
}

Verdict CheckTally::verdict(std::size_t check, const Run &run) const {
    if (positions_[checks_[check].channel] == card::stopPosition || outside_[check] > 0) {
        return Verdict::Fail;
    }
    if (!run.reachedEnd || run.failedReads > 0 || run.skippedDeadlines > 0 || seen_[check] == 0) {
        return Verdict::Incomplete;
    }
    return Verdict::Pass;
}

bool CheckTally::allPassed(const Run &run) const {
    for (std::size_t k = 0; k < checks_.size(); ++k) {
        if (verdict(k, run) != Verdict::Pass) {
            return false;
        }
    }
    return true;
}

QString CheckTally::line(std::size_t check, const Run &run) const {
    const Check &c = checks_[check];
    const Verdict result = verdict(check, run);
    QString why;
    if (positions_[c.channel] == card::stopPosition) {
        why = QStringLiteral(" (channel stopped)");
    } else if (result == Verdict::Fail) {
        why = QStringLiteral(" (%1 of %2 samples outside)").arg(outside_[check]).arg(seen_[check]);
    } else if (result == Verdict::Incomplete) {
        // An open-ended run's deadlines are those up to its stop: each gave a read or was skipped.
        const std::int64_t deadlines =
            run.planned.value_or(seen_[check] + run.failedReads + run.skippedDeadlines);
        why = QStringLiteral(" (%1 of %2 samples").arg(seen_[check]).arg(deadlines);
        if (run.failedReads > 0) {
            why += QStringLiteral(", %1 failed reads").arg(run.failedReads);
        }
        if (run.skippedDeadlines > 0) {
            why += QStringLiteral(", %1 skipped deadlines").arg(run.skippedDeadlines);
        }
        why += QLatin1Char(')');
    }
    return verdictLine(c, result, why);
}

}  // namespace qv58163::recorder
