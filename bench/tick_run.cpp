// The refresh timer in real time: the real window (offscreen unless QT_QPA_PLATFORM says
// otherwise) on the built simulated card, started as an operator starts it and left running for a
// while. Reports the number of ticks against the 10 a second the 100 ms interval gives, and the
// spread of the intervals between ticks. Not a test: run it by hand.
//
//   qv58163_tick_run [seconds]     (default 60)
#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "PanelRig.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// The p-th percentile of sorted `values` by nearest rank.
double percentile(const std::vector<double> &values, double p) {
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100 * values.size()));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    if (!(seconds > 0)) {
        std::cerr << "usage: qv58163_tick_run [seconds]\n";
        return 2;
    }

    qv58163::test::PanelRig rig;
    if (rig.start()) {
        std::cerr << "the program ended at start-up\n";
        return 1;
    }

    // Connected after the window's own handler, so each time is taken once the refresh is done.
    std::vector<Clock::time_point> ticks;
    ticks.reserve(static_cast<std::size_t>(seconds * 20) + 16);
    QObject::connect(rig.window.timer(), &QTimer::timeout, &rig.window,
                     [&ticks] { ticks.push_back(Clock::now()); });

    const auto started = Clock::now();
    rig.window.startButton()->click();
    // A loop of its own: quitting the application would close the window, which ends the program.
    QEventLoop running;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &running, &QEventLoop::quit);
    running.exec();
    rig.window.stopButton()->click();
    const std::chrono::duration<double> ran = Clock::now() - started;

    if (!rig.messages.empty() || !rig.endStatuses.empty()) {
        for (const QString &message : rig.messages) {
            std::cerr << message.toStdString() << "\n";
        }
        std::cerr << "the program reported an error or ended while running\n";
        return 1;
    }
    std::vector<double> intervals;
    for (std::size_t k = 1; k < ticks.size(); ++k) {
        intervals.push_back(
            std::chrono::duration<double, std::milli>(ticks[k] - ticks[k - 1]).count());
    }
    std::sort(intervals.begin(), intervals.end());
    const double expected = seconds * 10;
    std::cout << "ran " << ran.count() << " s: " << ticks.size() << " ticks (expected " << expected
              << ", " << 100.0 * (static_cast<double>(ticks.size()) - expected) / expected
              << "%)\n";
    if (!intervals.empty()) {
        std::cout << "interval between ticks, ms: p50 " << percentile(intervals, 50) << ", p99 "
                  << percentile(intervals, 99) << ", min " << intervals.front() << ", max "
                  << intervals.back() << "\n";
    }
    return 0;
}
