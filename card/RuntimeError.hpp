// The program's run-time error: a failed control operation, a failed numeric conversion, an index
// outside a table, a missing driver library or export. Nothing traps it on the way up; the one
// guard every event enters through reports it and ends the program.
#pragma once

#include <QString>
#include <stdexcept>

namespace qv58163::card {

class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(const QString &what) : std::runtime_error(what.toStdString()) {}

    // The plain description, e.g. "the driver library has no export QV58163_close".
    QString message() const { return QString::fromStdString(what()); }
};

// The run-time error of a driver library that cannot be loaded at all, told apart from one that
// loads but lacks an export: the recorder ends the first as "no driver" (exit status 2).
class NoDriverLibrary : public RuntimeError {
public:
    using RuntimeError::RuntimeError;
};

}  // namespace qv58163::card
