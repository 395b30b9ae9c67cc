// What SystemSurroundings asks of the system, one file per system: System_posix.cpp and
// System_win.cpp. Only System.cpp and those include this.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "Surroundings.hpp"

namespace qv58163::recorder {

// The system's words for errno `error`.
QString errorText(int error);  // in System.cpp

namespace platform {

// See SystemSurroundings::takeStopSignals.
void takeStopSignals();
// The run has let go of the card: a console being closed may end the process now (Windows).
void runEnded();

enum class Woken { Stop, Time, Early };
// Waits at most `longest` for a stop request: Stop when one came (and is taken), Time when none
// came, Early when the wait was cut short without one (another signal's handler, a debugger).
// Time may come before `longest` is over; no wait at all for a `longest` of zero.
Woken waitForStop(Surroundings::TimePoint::duration longest);

// See Surroundings::createOutput.
std::unique_ptr<RowOutput> createOutput(const QString &name, bool replace, QString &error);

// See Surroundings::freeBytes.
std::optional<std::int64_t> freeBytes(const QString &folder);

// Whether standard stream `fd` (1: output, 2: error) is a terminal.
bool isTerminal(int fd);

}  // namespace platform

}  // namespace qv58163::recorder
