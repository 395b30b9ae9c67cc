// The recorder's real surroundings: the clocks, a wait that Ctrl+C, SIGTERM and SIGHUP end, files
// and the standard streams, and the card locks (card::CardLock).
#pragma once

#include "Surroundings.hpp"

namespace qv58163::recorder {

class SystemSurroundings final : public Surroundings {
public:
    // Call first thing in main, before any thread exists: from here on Ctrl+C, SIGTERM and SIGHUP
    // are taken only when the run looks for them (unless the process was started with them
    // ignored, as a script's background job is with SIGINT), a closed pipe is a result of the
    // write, not the end of the process, and so is a file grown past its size limit.
    static void takeStopSignals();
    // On Windows, lets a console that is being closed end the process (the run is over).
    ~SystemSurroundings() override;

    TimePoint now() override;
    std::int64_t utcMilliseconds() override;
    bool waitUntil(TimePoint deadline) override;
    bool stopAsked() override;
    std::unique_ptr<RowOutput> createOutput(const QString &name, bool replace,
                                            QString &error) override;
    std::optional<std::int64_t> freeBytes(const QString &folder) override;
    QString writeNewFile(const QString &name, const QByteArray &bytes, bool replace,
                         QString &keptAs) override;
    card::CardLock holdCard(int card) override;
    QString whyNoCardLocks() override;
    bool progressShows(bool rowsOnStandardOutput) const override;
    void message(const QString &text) override;

private:
    bool stopped_ = false;
};

}  // namespace qv58163::recorder
