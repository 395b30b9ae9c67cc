// What the recorder does per sample besides the driver call: the conversion of the eight slots,
// the CSV row, the statistics and the plot's decimation, with and without writing the row to
// /dev/null. Not a test: run by hand (see bench/README.md).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>

#include "Checks.hpp"
#include "Conversion.hpp"
#include "Csv.hpp"
#include "Plot.hpp"
#include "RangeTable.hpp"
#include "Statistics.hpp"
#include "System.hpp"

namespace {

using namespace qv58163::recorder;

// The default ranges of the simulated card: every kind, one channel stopped.
const Positions positions = {1, 0, 3, 2, 1, 0, 3, qv58163::card::stopPosition};

// Eight slots that change from sample to sample, as a live card's do.
Slots slotsFor(std::int64_t k) {
    Slots results{};
    for (int channel = 0; channel < channelCount; ++channel) {
        results[channel] = static_cast<std::int16_t>(((k * 37 + channel * 511) % 4096) - 2048);
    }
    return results;
}

void perSample(benchmark::State &state, RowOutput *output) {
    RunStatistics statistics(positions);
    CheckTally checks({{0, -5, 5}, {3, 0, 10}}, positions);
    Plot plot(QStringLiteral("bench.png"), std::chrono::milliseconds(100));
    CsvRow row;
    std::int64_t k = 0;
    const std::int64_t start = 1'796'400'000'000;  // 2026-12-04, in milliseconds
    for (auto _ : state) {
        const Slots results = slotsFor(k);
        const Volts volts = qv58163::voltsOfRead(positions, results.data());
        const std::chrono::milliseconds at(k * 100);
        const QByteArray &text = row.format(start + k * 100, at, positions, volts, 0);
        if (output != nullptr && output->write(text) != RowOutput::Result::Written) {
            state.SkipWithError("write failed");
        }
        statistics.addRead(0, volts, false);
        checks.add(row);
        plot.add(at, positions, volts);
        benchmark::DoNotOptimize(text.constData());
        ++k;
    }
}

void BM_PerSample(benchmark::State &state) {
    perSample(state, nullptr);
}
BENCHMARK(BM_PerSample);

// The recorder refuses /dev/null as its output file (only a regular file is replaced): its rows
// go to standard output, which is /dev/null meanwhile, as in `qv58163-record > /dev/null`.
void BM_PerSampleWrittenToDevNull(benchmark::State &state) {
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved < 0 || null < 0 || dup2(null, STDOUT_FILENO) < 0) {
        state.SkipWithError("no /dev/null");
        return;
    }
    close(null);
    SystemSurroundings system;
    QString error;
    const std::unique_ptr<RowOutput> output = system.createOutput(QString(), false, error);
    perSample(state, output.get());
    dup2(saved, STDOUT_FILENO);
    close(saved);
}
BENCHMARK(BM_PerSampleWrittenToDevNull);

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
