// The recorder's exit statuses: those it shares with the panel, and its own.
#pragma once

#include "ExitStatus.hpp"

namespace qv58163::exitStatus {

// A --check failed, missed a sample (a failed read, a skipped deadline, an early stop) or was on
// a channel the card reports stopped.
inline constexpr int checkFailed = 3;
// A read of the card failed.
inline constexpr int readsFailed = 4;
// The run was otherwise good, but not everything reached the MQTT broker: samples dropped beyond
// --publish-buffer, or still queued at --publish-timeout.
inline constexpr int notAllPublished = 5;
// The command line was refused before anything was opened or created (BSD's EX_USAGE).
inline constexpr int badCommandLine = 64;

}  // namespace qv58163::exitStatus
