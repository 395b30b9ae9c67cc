// A day of 100 ms samples (864,000 rows) recorded in hourly slices by the whole recorder, in this
// process, on the tests' recording driver and FakeWorld, whose clock jumps to each deadline: the
// time and memory the run's own work takes, without waiting a day. Not a test: run by hand (see
// README.md). The rows are not kept, and the driver's call log is emptied at each read,
// so what grows is the recorder's.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "FakeWorld.hpp"
#include "Recorder.hpp"
#include "RecordingDriver.hpp"

int main(int argc, char *argv[]) {
    using namespace qv58163;
    recorder::Options options;
    options.output = QStringLiteral("/bench/day.csv");
    options.split = std::chrono::hours(1);
    // SAMPLES, the first argument, for another length (default: a day).
    options.count = argc > 1 ? std::atoll(argv[1]) : 864'000;
    options.checks = {{0, -10, 10}};
    options.report = QStringLiteral("/bench/day.json");
    options.quiet = true;
    test::CallLog log;
    test::RecordingDriver driver(log);
    std::int64_t k = 0;
    driver.onRead = [&log, &k](std::int16_t, std::int16_t *results) {
        log.clear();
        for (int channel = 0; channel < 8; ++channel) {
            results[channel] = static_cast<std::int16_t>(((k * 37 + channel * 511) % 4096) - 2048);
        }
        ++k;
        return 0;
    };
    test::FakeWorld world;
    world.keepRows = false;

    const auto began = std::chrono::steady_clock::now();
    const int status = recorder::record(options, driver, world);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("status %d, %lld samples in %lld files, %.2f s, peak resident %ld kB\n", status,
                static_cast<long long>(*options.count),
                static_cast<long long>(world.outputs.size()), took.count(), usage.ru_maxrss);
    return status;
}
