// The exit statuses of the panel and the recorder, in one table: 0 to 2 mean the same in both.
#pragma once

namespace qv58163::exitStatus {

// An operator's way out; a recording that did what it was asked.
inline constexpr int normal = 0;
// A run-time error, reported.
inline constexpr int runtimeError = 1;
// The driver failed to open; for the recorder also: no driver library, or no card to record.
inline constexpr int noDriver = 2;

// The recorder's own.
// A --check failed, missed a sample (a failed read, a skipped deadline, an early stop) or was on
// a channel the card reports stopped.
inline constexpr int checkFailed = 3;
// A read of the card failed.
inline constexpr int readsFailed = 4;
// The command line was refused before anything was opened or created (BSD's EX_USAGE).
inline constexpr int badCommandLine = 64;

}  // namespace qv58163::exitStatus
