// The real Qt window wired to the procedures, with the two seams that would block or end the
// process replaced: message boxes are recorded, the end is recorded. The driver is whatever the
// test gives (a recording driver, or the real binding to a built library).
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLocale>
#include <functional>
#include <sstream>
#include <vector>

#include "MainProcedures.hpp"
#include "Module1.hpp"
#include "QV58163_Main.hpp"

namespace qv58163::test {

class WindowRig {
public:
    explicit WindowRig(qv58163::card::Driver &driver,
                       const QString &decimalPoint = QStringLiteral("."))
        : procedures(window, driver, module1, decimalPoint, errors) {
        window.setMessageBoxSeam([this](QWidget *, const QString &text) {
            messages.push_back(text);
            if (onMessage) {
                onMessage();
            }
        });
        window.setEndSeam([this](int status) { endStatuses.push_back(status); });
        window.attach(procedures);
    }

    // Start-up as the program does it: Load, then show unless it ended.
    void Start() {
        window.load();
        if (!window.endStatus()) {
            window.show();
        }
    }

    // Runs the event loop until `done` holds or `ms` milliseconds pass; returns `done()`.
    static bool WaitUntil(const std::function<bool()> &done, int ms = 2000) {
        QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return done();
    }
    // Runs the event loop for `ms` milliseconds.
    static void Pump(int ms) {
        WaitUntil([] { return false; }, ms);
    }

    QStringList captions() const {
        QStringList texts;
        for (int i = 0; i < Form::channelCount; ++i) {
            texts << window.valueLabel(i)->text();
        }
        return texts;
    }

    Module1 module1;
    std::ostringstream errors;
    ui::QV58163_Main window;
    MainProcedures procedures;
    std::vector<QString> messages;
    std::vector<int> endStatuses;
    std::function<void()> onMessage;
};

}  // namespace qv58163::test
