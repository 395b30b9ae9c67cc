// The program as it runs: the driver library found beside the program or on the system's library
// path, the machine's card locks, the program-wide values, the main window and the procedures
// behind it, wired together.
// main() only adds the application; tests build the same thing.
#pragma once

#include <QString>
#include <optional>

#include "CardLock.hpp"
#include "DriverLibrary.hpp"
#include "MainProcedures.hpp"
#include "Module1.hpp"
#include "QV58163_Main.hpp"

namespace qv58163::ui {

class Panel {
public:
    // `programDir` is where the driver is looked for first; the voltage display takes the decimal
    // point of the user's locale; run-time errors also go to `errors`, a line each.
    Panel(const QString &programDir, MainProcedures::ErrorLog errors);

    // Loads the window (its Load event) and shows it. Returns the exit status when the program
    // ended during start-up, in which case the window is never shown.
    std::optional<int> start();

    card::DriverLibrary driver;
    card::SystemCardLocks locks;
    card::Module1 module1;
    QV58163_Main window;
    MainProcedures procedures;
};

}  // namespace qv58163::ui
