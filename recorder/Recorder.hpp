// One recording from start to end: the card opened and its ranges settled, the file created,
// samples taken on the schedule, and on every way out acquisition stopped (once started), the
// driver closed (once opened), the summary, plot and report written.
#pragma once

#include "DriverLibrary.hpp"
#include "Options.hpp"
#include "Publish.hpp"
#include "Surroundings.hpp"

namespace qv58163::recorder {

// Runs the recording the options describe. Returns its exit status (exitStatus::...); when
// several apply, the first of 1 (a run-time error), 2 (no driver or card), 3 (a check failed or is
// incomplete), 4 (a read failed), 5 (not everything reached the broker), else 0. With a
// `publisher` the run is published live as it is recorded. Never throws.
int record(const Options &options, card::Driver &driver, Surroundings &surroundings,
           Publisher *publisher = nullptr);

}  // namespace qv58163::recorder
