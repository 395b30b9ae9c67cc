// The real window, started on a recording driver that reports the simulated card's default ranges
// (1, 0, 3, 2, 1, 0, 3, 255), so it looks as the program does on the simulator.
#pragma once

#include <set>

#include "RecordingDriver.hpp"
#include "WindowRig.hpp"

namespace qv58163::test {

struct StartedPanel {
    explicit StartedPanel(std::set<int> cards = {2, 5}) {
        driver.cards = std::move(cards);
        driver.codes = {{0, 1}, {1, 0}, {2, 3}, {3, 2}, {4, 1}, {5, 0}, {6, 3}, {7, 255}};
        rig.Start();
    }

    CallLog log;
    RecordingDriver driver{log};
    WindowRig rig{driver};
};

}  // namespace qv58163::test
