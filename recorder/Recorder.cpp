#include "Recorder.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "Decimator.hpp"
#include "Plot.hpp"
#include "RangeTable.hpp"
#include "Rows.hpp"
#include "RuntimeError.hpp"
#include "Schedule.hpp"
#include "Statistics.hpp"

namespace qv58163::recorder {

namespace {

constexpr int cardCount = 16;
// The progress line is rewritten at most this often.
constexpr auto progressPeriod = std::chrono::milliseconds(250);
// Buckets per channel for the plot: about two per pixel column of the plot area.
constexpr int plotColumns = 2048;

QString channelName(int channel) {
    return QStringLiteral("CH%1").arg(channel, 2, 10, QLatin1Char('0'));
}

QString seconds(std::chrono::nanoseconds time) {
    return QString::number(std::chrono::duration<double>(time).count(), 'f', 1);
}

// A run that must end before acquisition: its message and status.
struct Ending {
    int status;
    QString message;
};

class Run {
public:
    Run(const Options &options, card::Driver &driver, Surroundings &surroundings)
        : options_(options),
          driver_(driver),
          world_(surroundings),
          progress_(!options.quiet && surroundings.terminal()) {}

    int execute() {
        int status = Done;
        try {
            open();
            status = acquire();
        } catch (const Ending &ending) {
            status = ending.status;
            world_.message(QStringLiteral("qv58163-record: %1\n").arg(ending.message));
        } catch (const RuntimeError &error) {
            status = RunTimeError;
            world_.message(QStringLiteral("qv58163-record: %1\n").arg(error.message()));
        }
        finish();
        if (failedOnTheWayOut_) {
            return RunTimeError;
        }
        if (status == Done && statistics_ && statistics_->anyCheckFailed()) {
            status = CheckFailed;
        }
        return status;
    }

private:
    // The driver, the card and its ranges, and the output, in that order: the file is created
    // only once the card has answered and every range can be shown.
    void open() {
        std::int32_t status = 0;
        try {
            status = driver_.QV58163_initial();
        } catch (const RuntimeError &error) {
            const auto *library = dynamic_cast<const card::DriverLibrary *>(&driver_);
            if (library != nullptr && library->loadedFrom().isEmpty()) {
                throw Ending{NoDriverOrCard, error.message()};
            }
            opened_ = true;  // the library is there; only the export is missing
            throw;
        }
        opened_ = true;
        if (status != 0) {
            throw Ending{NoDriverOrCard,
                         QStringLiteral("the driver failed to open (status %1)").arg(status)};
        }

        std::vector<int> answering;
        std::int32_t info = 0;  // kept across the probes, as the driver expects
        for (int card = 0; card < cardCount; ++card) {
            if (driver_.QV58163_info(static_cast<std::int16_t>(card), info) == 0) {
                answering.push_back(card);
            }
        }
        if (answering.empty()) {
            throw Ending{NoDriverOrCard, QStringLiteral("no card answers (card numbers 0 to 15)")};
        }
        card_ = static_cast<std::int16_t>(options_.card.value_or(answering.front()));
        if (std::find(answering.begin(), answering.end(), card_) == answering.end()) {
            QStringList numbers;
            for (const int card : answering) {
                numbers << QString::number(card);
            }
            throw Ending{NoDriverOrCard,
                         QStringLiteral("card %1 does not answer (cards that do: %2)")
                             .arg(card_)
                             .arg(numbers.join(QStringLiteral(", ")))};
        }

        std::array<std::uint8_t, channelCount> codes{};
        for (int channel = 0; channel < channelCount; ++channel) {
            driver_.QV58163_AD_config_read(card_, static_cast<std::int16_t>(channel),
                                           codes[channel]);
        }
        for (const RangeSetting &setting : options_.ranges) {
            driver_.QV58163_AD_config_set(card_, static_cast<std::int16_t>(setting.channel),
                                          setting.code);
            codes[setting.channel] = setting.code;
        }
        for (int channel = 0; channel < channelCount; ++channel) {
            positions_[channel] = card::positionForCode(codes[channel]);
            if (card::rangeAt(positions_[channel]) == nullptr) {
                throw RuntimeError(
                    QStringLiteral("%1: the card reports range code %2, which no range has")
                        .arg(channelName(channel))
                        .arg(codes[channel]));
            }
        }

        QString error;
        output_ = world_.createOutput(options_.output, options_.force, error);
        if (!output_) {
            throw RuntimeError(QStringLiteral("cannot create %1: %2").arg(options_.output, error));
        }
        write(csvHeader());
    }

    int acquire() {
        statistics_.emplace(positions_, options_.checks);
        if (!options_.plot.isEmpty()) {
            plot_.emplace(plotColumns);
        }
        const std::optional<std::chrono::nanoseconds> duration =
            options_.durationSeconds
                ? std::optional<std::chrono::nanoseconds>(std::chrono::nanoseconds(
                      static_cast<std::int64_t>(*options_.durationSeconds * 1e9)))
                : std::nullopt;
        const Schedule schedule(std::chrono::milliseconds(options_.intervalMs), options_.count,
                                duration);

        driver_.QV58163_AD_integral_start(card_, static_cast<std::uint8_t>(options_.mode));
        started_ = true;
        const Surroundings::TimePoint start = world_.now();
        std::optional<Surroundings::TimePoint> first;
        CsvRow row;
        // Whether sample k is due at all is known from its deadline; whether it is still taken
        // is decided by the clock once it has been waited for.
        for (std::int64_t k = 0; schedule.takes(k, schedule.deadline(k)); ++k) {
            if (!world_.waitUntil(start + schedule.deadline(k))) {
                break;  // Ctrl+C or SIGTERM: the normal end of an open-ended run
            }
            const Surroundings::TimePoint now = world_.now();
            if (!schedule.takes(k, now - start)) {
                break;
            }
            const std::int64_t utc = world_.utcMilliseconds();
            if (!first) {
                first = now;
            }
            Slots results{};
            const std::int32_t status = driver_.QV58163_AD_integral_all_read(card_, results.data());
            const Volts volts = voltsOfRead(positions_, results);
            write(row.format(utc, now - *first, positions_, volts, status));
            statistics_->add(status, volts, row, schedule.isLate(k, now - start));
            if (plot_ && status == 0) {
                for (int channel = 0; channel < channelCount; ++channel) {
                    if (positions_[channel] != card::stopPosition) {
                        plot_->add(k, channel, volts[channel]);
                    }
                }
            }
            showProgress(schedule, now, start);
        }
        return Done;
    }

    void write(const QByteArray &bytes) {
        if (!output_->write(bytes)) {
            throw RuntimeError(
                QStringLiteral("writing %1 failed: %2")
                    .arg(options_.output.isEmpty() ? QStringLiteral("the output") : options_.output,
                         output_->errorString()));
        }
    }

    void showProgress(const Schedule &schedule, Surroundings::TimePoint now,
                      Surroundings::TimePoint start) {
        if (!progress_ || (lastProgress_ && now - *lastProgress_ < progressPeriod)) {
            return;
        }
        lastProgress_ = now;
        QString line = QStringLiteral("\r%1 samples, %2 s elapsed")
                           .arg(statistics_->samples())
                           .arg(seconds(now - start));
        if (const auto remaining = schedule.remaining(now - start)) {
            line += QStringLiteral(", %1 s remaining").arg(seconds(*remaining));
        }
        world_.message(line + QStringLiteral("\x1b[K"));
        progressShown_ = true;
    }

    // Every way out: stop acquisition once started, close the driver once opened, then report.
    // A fault on the way out is reported too, and does not keep the driver open.
    void finish() noexcept {
        if (started_) {
            try {
                driver_.QV58163_AD_integral_stop(card_);
            } catch (const RuntimeError &error) {
                world_.message(QStringLiteral("qv58163-record: %1\n").arg(error.message()));
                failedOnTheWayOut_ = true;
            }
        }
        if (opened_) {
            try {
                driver_.QV58163_close();
            } catch (const RuntimeError &error) {
                world_.message(QStringLiteral("qv58163-record: %1\n").arg(error.message()));
                failedOnTheWayOut_ = true;
            }
        }
        output_.reset();
        if (progressShown_) {
            world_.message(QStringLiteral("\r\x1b[K"));
        }
        if (!statistics_) {
            return;
        }
        if (plot_) {
            const QString failure =
                drawPlot(*plot_, positions_, std::chrono::milliseconds(options_.intervalMs),
                         statistics_->samples(), options_.plot);
            if (!failure.isEmpty()) {
                world_.message(QStringLiteral("qv58163-record: cannot write the plot %1: %2\n")
                                   .arg(options_.plot, failure));
                failedOnTheWayOut_ = true;
            }
        }
        if (!options_.quiet) {
            world_.message(statistics_->summary());
        }
    }

    const Options &options_;
    card::Driver &driver_;
    Surroundings &world_;
    bool opened_ = false;
    bool started_ = false;
    std::int16_t card_ = 0;
    Positions positions_{};
    std::unique_ptr<RowOutput> output_;
    std::optional<RunStatistics> statistics_;
    std::optional<Decimator> plot_;
    const bool progress_;  // a progress line on the terminal
    std::optional<Surroundings::TimePoint> lastProgress_;
    bool progressShown_ = false;
    bool failedOnTheWayOut_ = false;  // stopping, closing or the plot failed: status 1
};

}  // namespace

int record(const Options &options, card::Driver &driver, Surroundings &surroundings) {
    return Run(options, driver, surroundings).execute();
}

}  // namespace qv58163::recorder
