// One refresh of the panel as the program makes it every 100 ms: the read from the card, eight
// conversions and eight captions set on the real window's labels. Measured on the simulated card,
// on a driver that does nothing (the panel's own share), with the labels repainted, and the
// arithmetic alone.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <array>

#include "Conversion.hpp"
#include "PanelRig.hpp"

namespace {

using qv58163::test::PanelRig;

// The simulated card as the program finds it: the built library, its clock stepped per read so
// that the signals move, with noise on every conversion.
QString simulatedCard() {
    qputenv("QV58163_SIM_STEP_MS", "100");
    qputenv("QV58163_SIM_NOISE", "0.01");
    return qv58163::test::simulatorDir();
}

// Start-up and START on the driver in `driverDir`, then as many refreshes as the timer's tick runs
// them. The timer itself is held still so that only the measured refreshes read the card.
void runRefreshes(benchmark::State &state, const QString &driverDir, bool repaint) {
    PanelRig rig(driverDir);
    if (rig.start()) {
        state.SkipWithError("start-up ended the program");
        return;
    }
    rig.window.startButton()->click();
    rig.window.timer()->stop();
    QCoreApplication::processEvents();

    qv58163::MainProcedures &procedures = rig.panel.procedures;
    for (auto _ : state) {
        procedures.dispatch([&procedures] { procedures.Timer1_Timer(); });
        if (repaint) {
            for (int i = 0; i < qv58163::card::channelCount; ++i) {
                rig.window.valueLabel(i)->repaint();
            }
        }
    }
    if (rig.window.endStatus() || procedures.ret_code() != 0) {
        state.SkipWithError("a refresh failed");
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RefreshSimulatedCard(benchmark::State &state) {
    runRefreshes(state, simulatedCard(), false);
}
BENCHMARK(BM_RefreshSimulatedCard);

void BM_RefreshNoOpDriver(benchmark::State &state) {
    runRefreshes(state, qv58163::test::testDriverDir("changing"), false);
}
BENCHMARK(BM_RefreshNoOpDriver);

void BM_RefreshSimulatedCardRepainted(benchmark::State &state) {
    runRefreshes(state, simulatedCard(), true);
}
BENCHMARK(BM_RefreshSimulatedCardRepainted);

// Eight conversions and texts, a refresh's worth, over a mix of ranges and counts.
void BM_CountToVoltsAndText(benchmark::State &state) {
    struct Input {
        std::int16_t position;
        std::int32_t count;
    };
    std::array<Input, 64> inputs{};
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        inputs[k] = {static_cast<std::int16_t>(k % 5), static_cast<std::int32_t>(k * 4093 % 4096)};
    }
    const QString point = QStringLiteral(".");
    std::size_t next = 0;
    for (auto _ : state) {
        double volts = 0;
        for (int i = 0; i < qv58163::card::channelCount; ++i) {
            const Input &in = inputs[next];
            next = (next + 1) % inputs.size();
            qv58163::countToVolts(in.position, in.count, volts);
            QString text = qv58163::voltText(volts, point);
            benchmark::DoNotOptimize(text);
        }
    }
    state.SetItemsProcessed(state.iterations() * qv58163::card::channelCount);
}
BENCHMARK(BM_CountToVoltsAndText);

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
