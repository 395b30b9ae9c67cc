#include "Report.hpp"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "ChannelName.hpp"
#include "Conversion.hpp"
#include "RangeTable.hpp"

namespace qv58163::recorder {

namespace {

QString volts(double value) {
    return fixedText(value, 6, QStringLiteral("."));
}

// A statistic as a JSON number with the digits of the CSV and the summary: 2.495726, not
// 2.4957264957264957.
QJsonValue voltsJson(double value) {
    return volts(value).toDouble();
}

// The position that shows `code`, or none when no range shows it.
std::optional<std::int16_t> positionOf(std::uint8_t code) {
    const std::int16_t position = card::positionForCode(code);
    return card::rangeAt(position) != nullptr ? std::optional<std::int16_t>(position)
                                              : std::nullopt;
}

// Whether `code` is shown as a range that is not its own: the card's 4 as stopped, as the panel
// shows it.
bool shownAsAnother(std::uint8_t code) {
    const std::optional<std::int16_t> position = positionOf(code);
    return position && card::codeForPosition(*position) != code;
}

// For the report, why a code has no range of its own, or an empty string.
QString codeNote(std::uint8_t code) {
    if (!positionOf(code)) {
        return QStringLiteral("no range has code %1").arg(code);
    }
    if (shownAsAnother(code)) {
        return QStringLiteral("no range has code %1: shown as stopped").arg(code);
    }
    return {};
}

// The width before the colon that every list text is padded to, in front: "255 " for "255 : stop".
qsizetype codeWidth() {
    qsizetype width = 0;
    for (const card::Range &range : card::rangeTable) {
        width = std::max(width, QByteArrayView(range.text).indexOf(':'));
    }
    return width;
}

// The range column: the list text as the panel has it, padded in front so that the colons of
// "  1: -5V ~ +5V" and "255 : stop" line up; "  7: no range" for a code no range has.
QString rangeColumn(std::uint8_t code) {
    const std::optional<std::int16_t> position = positionOf(code);
    const QString text = position ? QString::fromLatin1(card::rangeAt(*position)->text)
                                  : QStringLiteral("%1: no range").arg(code);
    return QString(codeWidth() - text.indexOf(QLatin1Char(':')), QLatin1Char(' ')) + text;
}

// The widest range column.
qsizetype rangeWidth() {
    qsizetype width = 0;
    for (const card::Range &range : card::rangeTable) {
        width = std::max(width, rangeColumn(card::codeForPosition(range.position)).size());
    }
    return width;
}

QString statisticsColumns(const ChannelStatistics &stats, std::int16_t position) {
    if (position == card::stopPosition) {
        return QStringLiteral("%1").arg(QStringLiteral("stopped"), 10);
    }
    if (stats.count() == 0) {
        return QStringLiteral("%1").arg(0, 10);
    }
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(stats.count(), 10)
        .arg(volts(stats.min()), 11)
        .arg(volts(stats.max()), 11)
        .arg(volts(stats.mean()), 11)
        .arg(volts(stats.standardDeviation()), 11);
}

QString channelLine(const RunRecord &run, int channel) {
    const std::uint8_t code = *run.codes[channel];
    const std::optional<std::int16_t> position = positionOf(code);
    QString line = QStringLiteral("%1    %2")
                       .arg(card::channelName(channel))
                       .arg(rangeColumn(code), -static_cast<int>(rangeWidth()));
    if (run.statistics != nullptr && position) {
        line += QLatin1Char(' ') + statisticsColumns(run.statistics->channel(channel), *position);
    }
    if (shownAsAnother(code)) {
        line += QStringLiteral(" (the card's code %1)").arg(code);
    }
    while (line.endsWith(QLatin1Char(' '))) {
        line.chop(1);
    }
    return line;
}

QString utcText(std::int64_t milliseconds) {
    return QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC).toString(Qt::ISODateWithMs);
}

QJsonValue optionalNumber(const std::optional<std::int64_t> &value) {
    return value ? QJsonValue(static_cast<double>(*value)) : QJsonValue();
}

// The channels whose codes are known: each with the code the card reported, the range that shows
// it (null for none), a note when that range is not the code's own, and its statistics.
QJsonArray channelsJson(const RunRecord &run) {
    QJsonArray channels;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (!run.codes[channel]) {
            continue;
        }
        const std::uint8_t code = *run.codes[channel];
        const std::optional<std::int16_t> position = positionOf(code);
        QJsonObject entry{
            {"channel", card::channelName(channel)},
            {"rangeCode", static_cast<int>(code)},
            {"range", position ? QJsonValue(card::rangeName(*position)) : QJsonValue()}};
        if (const QString note = codeNote(code); !note.isEmpty()) {
            entry.insert("note", note);
        }
        if (run.statistics != nullptr && position && position != card::stopPosition) {
            const ChannelStatistics &stats = run.statistics->channel(channel);
            entry.insert("samples", static_cast<double>(stats.count()));
            if (stats.count() > 0) {
                entry.insert("min", voltsJson(stats.min()));
                entry.insert("max", voltsJson(stats.max()));
                entry.insert("mean", voltsJson(stats.mean()));
                entry.insert("stdDev", voltsJson(stats.standardDeviation()));
            }
        }
        channels.append(entry);
    }
    return channels;
}

QJsonArray checksJson(const RunRecord &run) {
    QJsonArray checks;
    for (std::size_t k = 0; k < run.options.checks.size(); ++k) {
        const Check &check = run.options.checks[k];
        QJsonObject entry{{"channel", card::channelName(check.channel)},
                          {"low", check.low},
                          {"high", check.high}};
        if (run.checks != nullptr) {
            entry.insert("verdict", verdictText(run.checks->verdict(k, run.checkRun)));
            entry.insert("samplesSeen", static_cast<double>(run.checks->seen(k)));
            entry.insert("samplesOutside", static_cast<double>(run.checks->outside(k)));
        } else {
            entry.insert("verdict", verdictText(Verdict::Incomplete));
            entry.insert("samplesSeen", 0);
            entry.insert("samplesOutside", 0);
        }
        checks.append(entry);
    }
    return checks;
}

}  // namespace

QString summaryText(const RunRecord &run) {
    QString text;
    // The ranges as soon as they are known (a code no range has ends the run before its first
    // sample), the statistics once there are any.
    if (std::any_of(run.codes.begin(), run.codes.end(), [](const auto &code) { return code; })) {
        if (run.statistics != nullptr) {
            text += QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                        .arg(QStringLiteral("channel"), -7)
                        .arg(QStringLiteral("range"), -static_cast<int>(rangeWidth()))
                        .arg(QStringLiteral("samples"), 10)
                        .arg(QStringLiteral("min V"), 11)
                        .arg(QStringLiteral("max V"), 11)
                        .arg(QStringLiteral("mean V"), 11)
                        .arg(QStringLiteral("std dev V"), 11);
        } else {
            text += QStringLiteral("channel range\n");
        }
        for (int channel = 0; channel < channelCount; ++channel) {
            if (run.codes[channel]) {
                text += channelLine(run, channel) + QLatin1Char('\n');
            }
        }
    }
    if (run.statistics != nullptr) {
        const RunStatistics &stats = *run.statistics;
        text += QStringLiteral(
                    "samples: %1%2, failed reads: %3, late samples: %4, "
                    "skipped deadlines: %5\n")
                    .arg(stats.samples())
                    .arg(run.planned ? QStringLiteral(" of %1").arg(*run.planned) : QString())
                    .arg(stats.failedReads())
                    .arg(stats.lateSamples())
                    .arg(stats.skippedDeadlines());
    }
    for (const OutputSlice &slice : run.slices) {
        text += QStringLiteral("slice %1: %2 rows\n").arg(slice.name).arg(slice.rows);
    }
    if (run.published) {
        text += publishedText(*run.published) + QLatin1Char('\n');
    }
    for (std::size_t k = 0; k < run.options.checks.size(); ++k) {
        text += (run.checks != nullptr ? run.checks->line(k, run.checkRun)
                                       : verdictLine(run.options.checks[k], Verdict::Incomplete,
                                                     QStringLiteral(" (no samples)"))) +
                QLatin1Char('\n');
    }
    return text;
}

QByteArray reportJson(const RunRecord &run) {
    const Options &options = run.options;
    const RunStatistics *stats = run.statistics;
    QJsonObject report{
        {"program", "qv58163-record"},
        {"version", QStringLiteral(QV58163_VERSION)},
        {"driver", run.driverFile.isEmpty() ? QJsonValue() : QJsonValue(run.driverFile)},
        {"card", run.card ? QJsonValue(*run.card) : QJsonValue()},
        {"mode", options.mode},
        {"channels", channelsJson(run)},
        {"intervalMs", options.intervalMs},
        {"start",
         run.startUtcMilliseconds ? QJsonValue(utcText(*run.startUtcMilliseconds)) : QJsonValue()},
        {"end", utcText(run.endUtcMilliseconds)},
        {"samplesPlanned", optionalNumber(run.planned)},
        {"samplesTaken", stats ? static_cast<double>(stats->samples()) : 0.0},
        {"lateSamples", stats ? static_cast<double>(stats->lateSamples()) : 0.0},
        {"skippedDeadlines", stats ? static_cast<double>(stats->skippedDeadlines()) : 0.0},
        {"failedReads", stats ? static_cast<double>(stats->failedReads()) : 0.0},
        {"checks", checksJson(run)},
        {"ended", run.ended},
        {"exitStatus", run.exitStatus},
    };
    if (options.split) {
        QJsonArray slices;
        for (const OutputSlice &slice : run.slices) {
            slices.append(
                QJsonObject{{"file", slice.name}, {"rows", static_cast<double>(slice.rows)}});
        }
        report.insert("splitSeconds", static_cast<double>(options.split->count()));
        report.insert("slices", slices);
    }
    if (const std::optional<PublishTally> &published = run.published) {
        report.insert("published",
                      QJsonObject{{"samples", static_cast<double>(published->samples)},
                                  {"published", static_cast<double>(published->published)},
                                  {"dropped", static_cast<double>(published->dropped)},
                                  {"unsent", static_cast<double>(published->unsent())},
                                  {"reconnects", static_cast<double>(published->reconnects)}});
    }
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

}  // namespace qv58163::recorder
