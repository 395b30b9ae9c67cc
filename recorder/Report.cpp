#include "Report.hpp"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "ChannelName.hpp"
#include "Conversion.hpp"
#include "RangeTable.hpp"

namespace qv58163::recorder {

namespace {

QString volts(double value) {
    return fixedText(value, 6, QStringLiteral("."));
}

QString channelLine(const RunRecord &run, int channel) {
    const std::int16_t position = (*run.positions)[channel];
    QString line = QStringLiteral("%1    %2 ")
                       .arg(card::channelName(channel))
                       .arg(QLatin1String(card::rangeAt(position)->text), -15);
    const ChannelStatistics &stats = run.statistics->channel(channel);
    if (position == card::stopPosition) {
        return line + QStringLiteral("%1").arg(QStringLiteral("stopped"), 10);
    }
    if (stats.count() == 0) {
        return line + QStringLiteral("%1").arg(0, 10);
    }
    return line + QStringLiteral("%1 %2 %3 %4 %5")
                      .arg(stats.count(), 10)
                      .arg(volts(stats.min()), 11)
                      .arg(volts(stats.max()), 11)
                      .arg(volts(stats.mean()), 11)
                      .arg(volts(stats.standardDeviation()), 11);
}

QString utcText(std::int64_t milliseconds) {
    return QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC).toString(Qt::ISODateWithMs);
}

QJsonValue optionalNumber(const std::optional<std::int64_t> &value) {
    return value ? QJsonValue(static_cast<double>(*value)) : QJsonValue();
}

QJsonArray channelsJson(const RunRecord &run) {
    QJsonArray channels;
    for (int channel = 0; channel < channelCount && run.positions; ++channel) {
        const std::int16_t position = (*run.positions)[channel];
        QJsonObject entry{{"channel", card::channelName(channel)},
                          {"rangeCode", card::codeForPosition(position)},
                          {"range", card::rangeName(position)}};
        if (run.statistics != nullptr && position != card::stopPosition) {
            const ChannelStatistics &stats = run.statistics->channel(channel);
            entry.insert("samples", static_cast<double>(stats.count()));
            if (stats.count() > 0) {
                entry.insert("min", stats.min());
                entry.insert("max", stats.max());
                entry.insert("mean", stats.mean());
                entry.insert("stdDev", stats.standardDeviation());
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
    if (run.statistics != nullptr && run.positions) {
        text += QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                    .arg(QStringLiteral("channel"), -7)
                    .arg(QStringLiteral("range"), -15)
                    .arg(QStringLiteral("samples"), 10)
                    .arg(QStringLiteral("min V"), 11)
                    .arg(QStringLiteral("max V"), 11)
                    .arg(QStringLiteral("mean V"), 11)
                    .arg(QStringLiteral("std dev V"), 11);
        for (int channel = 0; channel < channelCount; ++channel) {
            text += channelLine(run, channel) + QLatin1Char('\n');
        }
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
    for (std::size_t k = 0; k < run.options.checks.size(); ++k) {
        if (run.checks != nullptr) {
            text += run.checks->line(k, run.checkRun) + QLatin1Char('\n');
        } else {
            const Check &check = run.options.checks[k];
            text += QStringLiteral("check %1 %2 to %3 V: INCOMPLETE (no samples)\n")
                        .arg(card::channelName(check.channel), boundText(check.low),
                             boundText(check.high));
        }
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
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

}  // namespace qv58163::recorder
