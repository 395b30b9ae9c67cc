// The real Qt window wired to the procedures on any driver, with the two seams that would block or
// end the process replaced. Only the benchmarks (bench/) use it, with drivers of their own; the
// tests use PanelRig (tests/support), which is the program as main() builds it.
#pragma once

#include <QLocale>
#include <sstream>
#include <vector>

#include "MainProcedures.hpp"
#include "Module1.hpp"
#include "QV58163_Main.hpp"

namespace qv58163::test {

class WindowRig {
public:
    explicit WindowRig(qv58163::card::Driver &driver)
        : procedures(window, driver, module1, QStringLiteral("."),
                     [this](const QString &line) { errors << line.toStdString() << '\n'; }) {
        window.setMessageBoxSeam(
            [this](QWidget *, const QString &text) { messages.push_back(text); });
        window.setEndSeam([this](int status) { endStatuses.push_back(status); });
        window.attach(procedures);
    }

    // Start-up as the program does it: Load, then show unless it ended.
    void Start() {
        window.load();
        if (!window.endStatus()) {
            window.show();
        }
    }

    Module1 module1;
    std::ostringstream errors;
    ui::QV58163_Main window;
    MainProcedures procedures;
    std::vector<QString> messages;
    std::vector<int> endStatuses;
};

}  // namespace qv58163::test
