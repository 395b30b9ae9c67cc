// The exit statuses both front ends reach, the panel and the recorder, meaning the same in both.
// The recorder's own are in recorder/RecorderExitStatus.hpp.
#pragma once

namespace qv58163::exitStatus {

// An operator's way out; a recording that did what it was asked.
inline constexpr int normal = 0;
// A run-time error, reported.
inline constexpr int runtimeError = 1;
// The driver failed to open; for the recorder also: no driver library, or no card to record.
inline constexpr int noDriver = 2;

}  // namespace qv58163::exitStatus
