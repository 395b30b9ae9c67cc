// The program as main() puts it together, in this process: the real window (offscreen), the real
// run-time binding to a driver directory, and the procedures. Message boxes and the end are taken
// by seams and recorded, so nothing blocks and nothing exits.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <sstream>
#include <string>
#include <vector>

#include "MainProcedures.hpp"
#include "Module1.hpp"
#include "QV58163.hpp"
#include "QV58163_Main.hpp"

namespace qv58163::test {

class Program {
public:
    explicit Program(const QString &driverDir)
        : library(driverDir), procedures(window, library, module1, QStringLiteral("."), errors) {
        window.setMessageBoxSeam(
            [this](QWidget *, const QString &text) { messages.push_back(text.toStdString()); });
        window.setEndSeam([this](int status) { ends.push_back(status); });
        window.Attach(procedures);
    }

    // A refresh, entered the way the timer enters it, without waiting for the timer.
    void Tick() {
        procedures.Dispatch([this] { procedures.Timer1_Timer(); });
    }

    std::vector<std::string> captions() const {
        std::vector<std::string> texts;
        for (int i = 0; i < Form::kChannels; ++i) {
            texts.push_back(window.valueLabel(i)->text().toStdString());
        }
        return texts;
    }

    // The message boxes shown, one per line, for a failure's explanation.
    std::string shown() const {
        std::string text;
        for (const std::string &message : messages) {
            text += message + "\n";
        }
        return text;
    }

    ui::QV58163_Main window;
    QV58163::Library library;
    Module1 module1;
    std::ostringstream errors;
    MainProcedures procedures;
    std::vector<std::string> messages;  // every message box, in order
    std::vector<int> ends;              // every end, with its status
};

}  // namespace qv58163::test
