// The procedures wired to a window in memory and a recording driver that share one call log: what
// the range and acquisition tests start from.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "FakeForm.hpp"
#include "RecordingDriver.hpp"

// Texts in failure messages as text, not as bytes.
inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace qv58163::test {

using Calls = std::vector<std::string>;

struct FakePanel {
    explicit FakePanel(const QString &decimalPoint = QStringLiteral("."))
        : procedures(form, driver, module1, decimalPoint, errors) {
        form.attach(procedures);
    }

    // The log from entry `from` on.
    Calls Since(std::size_t from) const {
        return Calls(log.begin() + static_cast<std::ptrdiff_t>(from), log.end());
    }

    CallLog log;
    RecordingDriver driver{log};
    FakeForm form{log};
    Module1 module1;
    std::ostringstream errors;
    MainProcedures procedures;
};

}  // namespace qv58163::test
