// The recorder's real surroundings: the clocks, a wait that Ctrl+C and SIGTERM end, files and the
// standard streams.
#pragma once

#include "Recorder.hpp"

namespace qv58163::recorder {

class SystemSurroundings final : public Surroundings {
public:
    // Call first thing in main, before any thread exists: from here on Ctrl+C and SIGTERM are
    // taken only while waiting for a deadline (unless the process was started with them ignored),
    // and a closed pipe is an error of the write, not the end of the process.
    static void takeStopSignals();

    TimePoint now() override;
    std::int64_t utcMilliseconds() override;
    bool waitUntil(TimePoint deadline) override;
    std::unique_ptr<RowOutput> createOutput(const QString &name, bool replace,
                                            QString &error) override;
    bool terminal() const override;
    void message(const QString &text) override;

private:
    bool stopped_ = false;
};

}  // namespace qv58163::recorder
