// The procedures wired to a window in memory and a recording driver that share one log: the level
// at which the rules of start-up, ranges, conversion and acquisition are tested.
#pragma once

#include <sstream>
#include <string>

#include "FakeForm.hpp"
#include "PrintTo.hpp"
#include "RecordingDriver.hpp"

namespace qv58163::test {

struct FakePanel {
    explicit FakePanel(const QString &decimalPoint = QStringLiteral("."))
        : procedures(form, driver, module1, decimalPoint,
                     [this](const QString &line) { errors << line.toStdString() << '\n'; }) {
        form.attach(procedures);
    }

    // The log from entry `from` on.
    CallLog since(std::size_t from) const {
        return CallLog(log.begin() + static_cast<std::ptrdiff_t>(from), log.end());
    }
    // The log's entries starting with `prefix`: driver calls ("QV58163_info") or window
    // operations ("ID.").
    CallLog entries(const std::string &prefix) const { return entriesStartingWith(log, prefix); }

    CallLog log;
    RecordingDriver driver{log};
    FakeForm form{log};
    card::Module1 module1;
    std::ostringstream errors;
    MainProcedures procedures;
};

}  // namespace qv58163::test
