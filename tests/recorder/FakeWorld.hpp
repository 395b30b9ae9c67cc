// Surroundings for whole runs in this process: a clock that moves only when the run waits (or a
// test moves it), rows and files kept in memory, a stop and a held card on request, and what is
// said.
#pragma once

#include <QMap>
#include <functional>
#include <optional>

#include "Surroundings.hpp"

namespace qv58163::test {

class FakeWorld final : public recorder::Surroundings {
public:
    using Duration = std::chrono::nanoseconds;

    TimePoint now() override { return clock; }
    std::int64_t utcMilliseconds() override {
        return 1'796'400'000'000 + utcShift +
               std::chrono::duration_cast<std::chrono::milliseconds>(clock.time_since_epoch())
                   .count();
    }
    // Wakes at the deadline, or `lateBy(wait)` after it; false from wait `stopAtWait` on.
    bool waitUntil(TimePoint deadline) override {
        const int wait = waits++;
        if (stopAtWait && wait >= *stopAtWait) {
            return false;
        }
        clock = std::max(clock, deadline) + (lateBy ? lateBy(wait) : Duration::zero());
        return true;
    }
    bool stopAsked() override { return stopWhen && stopWhen(); }

    class Rows final : public recorder::RowOutput {
    public:
        explicit Rows(FakeWorld &world) : world_(world) {}
        Result write(const QByteArray &row) override {
            if (world_.keepRows) {
                world_.rows << QString::fromLatin1(row).chopped(1);
            }
            return Result::Written;
        }
        bool sync() override {
            world_.syncs.append({world_.rows.size(), world_.clock});
            return world_.syncFails.isEmpty();
        }
        QString errorString() const override { return world_.syncFails; }

    private:
        FakeWorld &world_;
    };
    std::unique_ptr<recorder::RowOutput> createOutput(const QString &name, bool,
                                                      QString &) override {
        created = true;
        outputs.append({name, rows.size()});
        return std::make_unique<Rows>(*this);
    }
    std::optional<std::int64_t> freeBytes(const QString &folder) override {
        spaceAskedOf = folder;
        return freeSpace ? freeSpace(clock) : std::nullopt;
    }
    // A name in `files` before the run is one taken during it.
    QString writeNewFile(const QString &name, const QByteArray &bytes, bool replace,
                         QString &keptAs) override {
        if (!writeFails.isEmpty()) {
            return writeFails;
        }
        if (files.contains(name) && !replace) {
            keptAs = name + QStringLiteral(".kept");
            files[keptAs] = bytes;
            return QStringLiteral("taken");
        }
        files[name] = bytes;
        return {};
    }
    card::CardLock holdCard(int) override {
        using State = card::CardLock::State;
        return heldBy.isEmpty() ? card::CardLock(State::Held, {})
                                : card::CardLock(State::InUse, heldBy);
    }
    QString whyNoCardLocks() override { return {}; }
    bool progressShows(bool) const override { return progress; }
    void message(const QString &text) override { said += text; }

    // The rows of the file after its header, split into their fields.
    QList<QStringList> fields() const {
        QList<QStringList> all;
        for (qsizetype k = 1; k < rows.size(); ++k) {
            all << rows[k].split(QLatin1Char(','));
        }
        return all;
    }

    TimePoint clock{};
    std::int64_t utcShift = 0;  // milliseconds the wall clock has been set forward (or back)
    int waits = 0;
    std::optional<int> stopAtWait;
    std::function<Duration(int wait)> lateBy;
    std::function<bool()> stopWhen;  // asked at each look for a stop during start-up
    QString heldBy;
    bool progress = false;
    bool created = false;
    QStringList rows;  // header first, without line ends
    // Each output created, in order: its name and where its lines begin in `rows`.
    QList<QPair<QString, qsizetype>> outputs;
    // Each time the output was put on the disk: how many lines `rows` had, and when.
    QList<QPair<qsizetype, TimePoint>> syncs;
    QString syncFails;  // when set, why putting the output on the disk fails
    // The free space of the output's file system as time goes on; none: unknown.
    std::function<std::optional<std::int64_t>(TimePoint)> freeSpace;
    QString spaceAskedOf;             // the folder it was last asked of
    bool keepRows = true;             // false: lines not kept, for runs too long to keep
    QMap<QString, QByteArray> files;  // the plot and the report, by name
    QString writeFails;               // when set, why every file fails
    QString said;
};

}  // namespace qv58163::test
