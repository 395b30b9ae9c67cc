// The program as main() builds it (ui::Panel: the real window, the real run-time binding, the
// procedures), in this process on Qt's offscreen platform, with the two seams that would block or
// end the process replaced: message boxes are recorded, and so is the end. The driver is a built
// library: the simulated card, or one of the test drivers. The card locks are the system's, in a
// folder of the rig's own (QV58163_LOCK_DIR), so that tests side by side never share a card.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "Panel.hpp"
#include "PrintTo.hpp"

namespace qv58163::test {

// Where the built simulated card lies, and each test driver (tests/drivers): "beside", "system",
// "decoy", "no_stop", "changing", "hostile", "empty".
QString simulatorDir();
QString testDriverDir(const char *name);

class PanelRig {
public:
    explicit PanelRig(const QString &driverDir = simulatorDir());

    // Start-up as main() does it: Load, then show unless the program ended; its status if it did.
    std::optional<int> start() { return panel.start(); }
    // A refresh entered the way the timer enters it, without waiting for the timer.
    void tick() { panel.procedures.raise(Event::TimerTick); }
    QStringList captions() const;

    QTemporaryDir lockFolder;
    std::ostringstream errors;  // the run-time error reports' lines
    ui::Panel panel;
    ui::QV58163_Main &window = panel.window;
    std::vector<QString> messages;
    std::vector<int> endStatuses;
    std::function<void()> onMessage;  // runs inside a message box, as events during one would
};

// Sets environment variables (the simulated card's settings) for the length of a test; the card
// reads them when it is opened.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::initializer_list<std::pair<const char *, QByteArray>> values);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    std::vector<std::pair<const char *, std::optional<QByteArray>>> previous_;
};

// The calls the simulated card traced to `path` (QV58163_SIM_TRACE), each without its result:
// "QV58163_AD_config_set(5, 3, 3)".
QStringList simulatorTrace(const QString &path);

}  // namespace qv58163::test
