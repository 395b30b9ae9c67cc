// The program as main() puts it together, in this process: the real window through the window
// rig (whose seams record message boxes and the end, so nothing blocks or exits) on the real
// run-time binding to a driver directory. What it shows comes back as plain strings, so that a
// failure prints readably.
#pragma once

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <string>
#include <vector>

#include "DriverLibrary.hpp"
#include "WindowRig.hpp"

namespace qv58163::test {

class Program {
public:
    explicit Program(const QString &driverDir) : library(driverDir), rig(library) {}

    // A refresh, entered the way the timer enters it, without waiting for the timer.
    void Tick() {
        rig.procedures.dispatch([this] { rig.procedures.Timer1_Timer(); });
    }

    std::vector<std::string> captions() const {
        std::vector<std::string> texts;
        for (const QString &caption : rig.captions()) {
            texts.push_back(caption.toStdString());
        }
        return texts;
    }
    // Every message box shown, in order.
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const QString &message : rig.messages) {
            texts.push_back(message.toStdString());
        }
        return texts;
    }
    std::string shown() const {
        std::string text;
        for (const std::string &message : messages()) {
            text += message + "\n";
        }
        return text;
    }

    qv58163::card::DriverLibrary library;
    WindowRig rig;
};

}  // namespace qv58163::test
