#include "Recorder.hpp"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <optional>

#include "CardSession.hpp"
#include "ChannelName.hpp"
#include "Checks.hpp"
#include "Conversion.hpp"
#include "Plot.hpp"
#include "Progress.hpp"
#include "Publish.hpp"
#include "RangeTable.hpp"
#include "RecorderExitStatus.hpp"
#include "Report.hpp"
#include "RuntimeError.hpp"
#include "Schedule.hpp"
#include "Statistics.hpp"

namespace qv58163::recorder {

namespace {

// --min-free: how long a run goes on without looking at the free space.
constexpr std::chrono::minutes spaceCheckInterval{1};

// How a run ended.
enum class End {
    Completed,
    Stopped,
    OutputClosed,
    FailedReads,
    NoCard,
    CheckRefused,
    LowDiskSpace,
    Error
};

QString endText(End end) {
    switch (end) {
        case End::Completed:
            return QStringLiteral("completed");
        case End::Stopped:
            return QStringLiteral("stopped");
        case End::OutputClosed:
            return QStringLiteral("output closed");
        case End::FailedReads:
            return QStringLiteral("failed reads");
        case End::NoCard:
            return QStringLiteral("no driver or card");
        case End::CheckRefused:
            return QStringLiteral("checked channel stopped");
        case End::LowDiskSpace:
            return QStringLiteral("low disk space");
        case End::Error:
            return QStringLiteral("run-time error");
    }
    return {};
}

// The output's reader went away: the run ends as if stopped, quietly.
struct OutputClosed {};

// The output's file system has less free space than --min-free: the run ends before it fills it.
struct LowDiskSpace {
    QString message;
};

// A check that cannot pass, known before the first sample: the run ends before it records.
struct CheckRefused {
    QString message;
};

class Run {
public:
    Run(const Options &options, card::Driver &driver, Surroundings &surroundings,
        Publisher *publisher)
        : options_(options),
          world_(surroundings),
          card_(driver, surroundings),
          schedule_(std::chrono::milliseconds(options.intervalMs),
                    Schedule::plannedDeadlines(std::chrono::milliseconds(options.intervalMs),
                                               options.count, options.durationSeconds)),
          progress_(surroundings, schedule_,
                    !options.quiet && surroundings.progressShows(options.output.isEmpty())),
          publisher_(publisher) {}

    int execute() {
        try {
            prepare();
            acquire();
        } catch (const Ending &ending) {
            end_ = End::NoCard;
            endStatus_ = ending.status;
            say(ending.message);
        } catch (const StoppedEarly &) {
            end_ = End::Stopped;
            say(QStringLiteral("stopped before the first sample"));
        } catch (const OutputClosed &) {
            end_ = End::OutputClosed;
        } catch (const LowDiskSpace &low) {
            end_ = End::LowDiskSpace;
            endStatus_ = exitStatus::runtimeError;
            say(low.message);
        } catch (const CheckRefused &refused) {
            end_ = End::CheckRefused;  // the check's verdict gives the status
            say(refused.message);
        } catch (const card::RuntimeError &error) {
            end_ = End::Error;
            endStatus_ = exitStatus::runtimeError;
            say(error.message());
        }
        finish();
        return status();
    }

private:
    // Everything that can fail before the first sample: the card, its ranges, the file.
    void prepare() {
        // A disk too full for the run, or for its first file, is found before the card is
        // touched: a service started again and again meanwhile leaves the card alone.
        checkFreeSpace(options_.output);
        card_.open(options_);
        checks_.emplace(options_.checks, card_.positions());
        refuseChecksOnStoppedChannels();
        startPublishing();
        if (!options_.split) {
            createOutput(options_.output);
        }
        if (!options_.plot.isEmpty()) {
            plot_.emplace(options_.plot, std::chrono::milliseconds(options_.intervalMs));
        }
    }

    // The output, or a slice of it, with its header. A slice before it is put on the disk and
    // closed first.
    void createOutput(const QString &name) {
        if (output_) {
            syncOutput();
            output_.reset();
        }
        QString error;
        output_ = world_.createOutput(name, options_.force, error);
        if (!output_) {
            throw card::RuntimeError(QStringLiteral("cannot create %1: %2").arg(name, error));
        }
        outputName_ = name;
        lastSync_ = world_.now();
        write(csvHeader());
    }

    // Puts the rows written on the disk itself, so that a power cut keeps them.
    void syncOutput() {
        if (!output_->sync()) {
            throw card::RuntimeError(
                QStringLiteral("putting %1 on the disk failed: %2")
                    .arg(outputName_.isEmpty() ? QStringLiteral("the output") : outputName_,
                         output_->errorString()));
        }
        lastSync_ = world_.now();
    }

    // --sync: the rows of the last SECONDS at most are only in the system's cache.
    void keepOnDisk() {
        if (world_.now() - lastSync_ >= options_.sync) {
            syncOutput();
        }
    }

    // --min-free: a file is begun, and a run goes on, only while the file system holding the
    // output (`file`, written now or next) keeps that much free for the rest of the machine.
    void checkFreeSpace(const QString &file) {
        lastSpaceCheck_ = world_.now();
        if (options_.minFreeMb == 0 || file.isEmpty()) {
            return;
        }
        const QString folder = QFileInfo(file).absolutePath();
        const std::optional<std::int64_t> free = world_.freeBytes(folder);
        if (!free && !spaceUnknownSaid_) {
            say(QStringLiteral("the free space of %1 cannot be found: --min-free is not kept")
                    .arg(QDir::toNativeSeparators(folder)));
            spaceUnknownSaid_ = true;
        }
        constexpr std::int64_t mb = 1 << 20;
        if (free && *free < options_.minFreeMb * mb) {
            throw LowDiskSpace{
                QStringLiteral("%1 has %2 MB free, less than --min-free %3 MB: the run ends")
                    .arg(QDir::toNativeSeparators(folder))
                    .arg(*free / mb)
                    .arg(options_.minFreeMb)};
        }
    }

    // Split, the sample at `elapsed` goes to the slice of its part of the run: the one open, or a
    // new one named by the sample's time. Parts without a sample have no file. Should the clock
    // have been set back, or a slice of a second begin late, the name is a second after the
    // slice before's: the names stay in the order of the run, and none is taken twice.
    void toSliceOf(Schedule::Duration elapsed, std::int64_t utc) {
        const std::int64_t part = elapsed / *options_.split;
        if (output_ && part == slicePart_) {
            return;
        }
        slicePart_ = part;
        std::int64_t second = utc / 1000;
        if (!slices_.empty()) {
            second = std::max(second, sliceSecond_ + 1);
            checkFreeSpace(options_.output);  // the first slice's was looked at before the card
        }
        sliceSecond_ = second;
        createOutput(sliceName(options_.output, second * 1000));
        slices_.push_back({outputName_, 0});
    }

    // A check on a channel the card reports stopped (code 255, or 4, which shows as stopped) can
    // only fail: said before acquisition starts and the file is created, not after the run.
    void refuseChecksOnStoppedChannels() const {
        for (const Check &check : options_.checks) {
            if (card_.positions()[check.channel] == card::stopPosition) {
                const std::optional<std::uint8_t> code = card_.codes()[check.channel];
                throw CheckRefused{
                    QStringLiteral("--check %1: the card reports the channel stopped (code %2)")
                        .arg(card::channelName(check.channel))
                        .arg(code.value_or(card::stopCode))};
            }
        }
    }

    // Before the file is created: a broker that refuses the recorder ends the run (status 1); one
    // that cannot be reached is said once, and the publisher keeps trying.
    void startPublishing() {
        if (publisher_ == nullptr) {
            return;
        }
        QString why;
        switch (publisher_->start(card_.card(), why)) {
            case Publisher::Start::Refused:
                throw card::RuntimeError(why);
            case Publisher::Start::Away:
                say(why);
                break;
            case Publisher::Start::Connected:
                break;
        }
        publishing_ = true;
        progress_.addText([this] { return publisher_->progressText(); });
    }

    void acquire() {
        statistics_.emplace(card_.positions());
        card_.start(options_.mode);
        start_ = world_.now();
        startUtc_ = world_.utcMilliseconds();
        if (publishing_) {
            publisher_->running(
                QDateTime::fromMSecsSinceEpoch(*startUtc_, Qt::UTC).toString(Qt::ISODateWithMs));
        }
        for (std::int64_t k = 0; !schedule_.over(k); ++k) {
            if (!world_.waitUntil(*start_ + schedule_.deadline(k))) {
                // Deadlines that passed before the stop was seen went without a sample.
                const Schedule::Duration elapsed = world_.now() - *start_;
                if (elapsed >= schedule_.deadline(k)) {
                    skip(k, schedule_.latestDue(k, elapsed) + 1);
                }
                end_ = End::Stopped;  // the normal end of an open-ended run
                return;
            }
            const Schedule::Duration elapsed = world_.now() - *start_;
            const std::int64_t due = schedule_.latestDue(k, elapsed);
            skip(k, due);
            k = due;
            sample(elapsed, schedule_.isLate(k, elapsed));
            if (options_.maxFailedReads &&
                statistics_->failedInARow() >= *options_.maxFailedReads) {
                end_ = End::FailedReads;
                say(QStringLiteral("%1 failed reads in a row: the run ends")
                        .arg(statistics_->failedInARow()));
                return;
            }
            progress_.sampled(elapsed, statistics_->failedInARow() > 0);
        }
        end_ = End::Completed;
    }

    // Deadlines `from` up to `to` (not included) passed without a read.
    void skip(std::int64_t from, std::int64_t to) {
        if (to <= from) {
            return;
        }
        statistics_->addSkipped(to - from);
        progress_.skipped(to - from);
        if (plot_) {
            plot_->addSkipped(schedule_.deadline(from), schedule_.deadline(to));
        }
    }

    void sample(Schedule::Duration elapsed, bool late) {
        const std::int64_t utc = world_.utcMilliseconds();
        Slots results{};
        const std::int32_t status = card_.read(results);
        if (statistics_->samples() == 0) {
            warnIfSlow(world_.now() - *start_ - elapsed);
        }
        const Volts volts = voltsOfRead(card_.positions(), results.data());
        const QByteArray &row = row_.format(utc, elapsed, card_.positions(), volts, status);
        if (options_.split) {
            toSliceOf(elapsed, utc);
            write(row);
            ++slices_.back().rows;
        } else {
            write(row);
        }
        if (publishing_) {
            publisher_->sample(row);
        }
        statistics_->addRead(status, volts, late);
        if (status == 0) {
            checks_->add(row_);
        }
        if (plot_ && status == 0) {
            plot_->add(elapsed, card_.positions(), volts);
        } else if (plot_) {
            plot_->addFailure(elapsed);
        }
        // Once the row is counted: an end here still has it in the statistics and the plot.
        keepOnDisk();
        if (world_.now() - lastSpaceCheck_ >= spaceCheckInterval) {
            checkFreeSpace(outputName_);
        }
    }

    // Said once, after the first read: the interval cannot be kept.
    void warnIfSlow(Schedule::Duration readTime) {
        if (readTime > schedule_.interval()) {
            say(QStringLiteral("a read takes %1 ms, longer than the interval of %2 ms: deadlines "
                               "will be skipped")
                    .arg(std::chrono::duration<double, std::milli>(readTime).count(), 0, 'f', 1)
                    .arg(options_.intervalMs));
        }
    }

    void write(const QByteArray &bytes) {
        switch (output_->write(bytes)) {
            case RowOutput::Result::Written:
                return;
            case RowOutput::Result::Closed:
                throw OutputClosed{};
            case RowOutput::Result::Failed:
                throw card::RuntimeError(
                    QStringLiteral("writing %1 failed: %2")
                        .arg(outputName_.isEmpty() ? QStringLiteral("the output") : outputName_,
                             output_->errorString()));
        }
    }

    // Every way out: the card stopped and the driver closed, the file closed, then the plot, the
    // summary and the report.
    void finish() noexcept {
        failedOnTheWayOut_ = !card_.finish();
        closeOutput();
        progress_.ended();
        const Schedule::Duration lasted = start_ ? world_.now() - *start_ : Schedule::Duration{};
        if (plot_ && statistics_) {
            writeAtEnd("plot", options_.plot,
                       plot_->render(plotTitle(), card_.positions(), lasted));
        }
        if (publishing_) {
            published_ = publisher_->drain();
        }
        RunRecord record = recordOfRun();
        // The report as the file will have it, then the state "ended". Should they not reach the
        // broker in time, the status becomes 5 after all (and the broker has neither).
        if (publishing_ && !publisher_->end(reportJson(record), record.exitStatus)) {
            published_->allSent = false;
            record.published = published_;
            record.exitStatus = status();
        }
        if (!options_.quiet && end_ != End::OutputClosed) {
            world_.message(summaryText(record));
        }
        if (!options_.report.isEmpty()) {
            const QString keptAs = writeAtEnd("report", options_.report, reportJson(record));
            if (!keptAs.isEmpty() && record.exitStatus != status()) {
                // Its own name taken, the report kept beside says the status the run ends with.
                record.exitStatus = status();
                QString ignored;
                const QString failure =
                    world_.writeNewFile(keptAs, reportJson(record), true, ignored);
                if (!failure.isEmpty()) {
                    say(QStringLiteral("cannot write the report %1: %2").arg(keptAs, failure));
                }
            }
        }
    }

    // The file, or the last slice, put on the disk and closed.
    void closeOutput() noexcept {
        if (!output_) {
            return;
        }
        try {
            syncOutput();
        } catch (const card::RuntimeError &error) {
            say(error.message());
            failedOnTheWayOut_ = true;
        }
        output_.reset();
    }

    // Writes the plot or the report at the end; a failure is a run-time error. Returns where the
    // file was kept when its name was taken during the run, else nothing.
    QString writeAtEnd(const char *what, const QString &name, const QByteArray &bytes) {
        QString keptAs;
        const QString failure = world_.writeNewFile(name, bytes, options_.force, keptAs);
        if (!failure.isEmpty()) {
            say(QStringLiteral("cannot write the %1 %2: %3%4")
                    .arg(QLatin1String(what), name, failure,
                         keptAs.isEmpty() ? QString()
                                          : QStringLiteral("; this run's %1 is kept as %2")
                                                .arg(QLatin1String(what), keptAs)));
            failedOnTheWayOut_ = true;
        }
        return keptAs;
    }

    CheckTally::Run checkRun() const {
        return {end_ == End::Completed || (!schedule_.planned() && statistics_ &&
                                           (end_ == End::Stopped || end_ == End::OutputClosed)),
                schedule_.planned(), statistics_ ? statistics_->failedReads() : 0,
                statistics_ ? statistics_->skippedDeadlines() : 0};
    }

    // The first that applies: a run-time error (also on the way out: stopping, closing, the plot or
    // the report), no driver or card, a check not passed, a failed read, a sample or the end not
    // published; else done.
    int status() const {
        if (failedOnTheWayOut_) {
            return exitStatus::runtimeError;
        }
        if (endStatus_) {
            return *endStatus_;
        }
        if (!options_.checks.empty() && (!checks_ || !checks_->allPassed(checkRun()))) {
            return exitStatus::checkFailed;
        }
        if (statistics_ && statistics_->failedReads() > 0) {
            return exitStatus::readsFailed;
        }
        if (published_ && !published_->complete()) {
            return exitStatus::notAllPublished;
        }
        return exitStatus::normal;
    }

    RunRecord recordOfRun() const {
        RunRecord record(options_);
        record.driverFile = card_.driverFile();
        if (card_.chosen()) {
            record.card = card_.card();
        }
        record.codes = card_.codes();
        record.startUtcMilliseconds = startUtc_;
        record.endUtcMilliseconds = world_.utcMilliseconds();
        record.planned = schedule_.planned();
        record.statistics = statistics_ ? &*statistics_ : nullptr;
        record.checks = checks_ ? &*checks_ : nullptr;
        record.checkRun = checkRun();
        record.ended = endText(end_);
        record.published = published_;
        record.slices = slices_;
        record.exitStatus = status();
        return record;
    }

    // "QV58163 card 0, 2026-12-08 14:30:05 UTC".
    QString plotTitle() const {
        QString title = QStringLiteral("QV58163 card %1").arg(card_.card());
        if (startUtc_) {
            title +=
                QStringLiteral(", ") + QDateTime::fromMSecsSinceEpoch(*startUtc_, Qt::UTC)
                                           .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
        }
        return title;
    }

    void say(const QString &text) { world_.message(messageLine(text)); }

    const Options &options_;
    Surroundings &world_;
    CardSession card_;
    const Schedule schedule_;
    Progress progress_;
    std::unique_ptr<RowOutput> output_;
    QString outputName_;                      // empty: standard output
    std::vector<OutputSlice> slices_;         // split: each slice so far, the open one last
    std::int64_t slicePart_ = 0;              // split: the part of the run the open slice holds
    std::int64_t sliceSecond_ = 0;            // split: the UTC second the open slice is named by
    Surroundings::TimePoint lastSync_;        // when the output was last put on the disk
    Surroundings::TimePoint lastSpaceCheck_;  // when the free space was last looked at
    bool spaceUnknownSaid_ = false;           // that the free space cannot be found
    CsvRow row_;
    std::optional<CheckTally> checks_;
    std::optional<RunStatistics> statistics_;
    std::optional<Plot> plot_;
    std::optional<Surroundings::TimePoint> start_;
    std::optional<std::int64_t> startUtc_;
    End end_ = End::Error;
    std::optional<int> endStatus_;    // set by an end before recording, or a run-time error
    bool failedOnTheWayOut_ = false;  // stopping, closing, the plot or the report failed
    Publisher *const publisher_;      // null: not publishing
    bool publishing_ = false;         // connected, or trying to
    std::optional<PublishTally> published_;
};

}  // namespace

int record(const Options &options, card::Driver &driver, Surroundings &surroundings,
           Publisher *publisher) {
    return Run(options, driver, surroundings, publisher).execute();
}

}  // namespace qv58163::recorder
