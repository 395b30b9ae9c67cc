// The main window as the procedures see it: exactly the control operations they use, and nothing
// of any widget toolkit. The Qt window implements it; tests use a plain fake.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

#include "CardLimits.hpp"
#include "RangeTable.hpp"
#include "RuntimeError.hpp"

namespace qv58163 {

// A drop-down list without text entry (`ID`, `AD_Mode`, `AD_config(i)`).
class DropDownList {
public:
    virtual ~DropDownList() = default;

    // Appends an entry; the chosen position does not change.
    virtual void AddItem(const QString &text) = 0;
    // The chosen entry's position, 0 for the first, -1 when none is chosen.
    virtual std::int16_t ListIndex() const = 0;
    // Chooses the entry at `position`, or none for -1. A change runs the list's Click before
    // this returns. A position outside -1 to count-1 is a run-time error and changes nothing.
    virtual void setListIndex(std::int16_t position) = 0;
    // The chosen entry's text; empty when none is chosen.
    virtual QString Text() const = 0;
};

// A label whose caption the procedures replace (`advalue(i)`).
class Label {
public:
    virtual ~Label() = default;
    virtual void setCaption(const QString &caption) = 0;
};

// The refresh timer `Timer1`.
class Timer {
public:
    virtual ~Timer() = default;
    // True starts the ticks (the first one interval after), False stops them: no tick is
    // answered after the timer has been disabled. Enabling an enabled timer changes nothing.
    virtual void setEnabled(bool enabled) = 0;
};

class Form {
public:
    virtual ~Form() = default;

    virtual DropDownList &ID() = 0;
    virtual DropDownList &AD_Mode() = 0;
    // Control arrays: an index outside 0 to 7 is a run-time error.
    virtual DropDownList &AD_config(int index) = 0;
    virtual Label &advalue(int index) = 0;
    virtual Timer &Timer1() = 0;

    // A modal box with `text`, one OK button and no icon, titled with the application's title;
    // returns when the operator dismisses it.
    virtual void messageBox(const QString &text) = 0;
    // Unloads the window: raises its Unload event.
    virtual void unload() = 0;
    // Ends the program with `status`: once called, no further handler or tick of this window
    // runs. Returns to the caller, which unwinds at once.
    virtual void end(int status) = 0;
};

// Checks an index into a control array of the window (`AD_config`, `advalue`): outside 0 to 7 it
// is a run-time error.
inline int controlIndex(int index, const char *array) {
    if (index < 0 || index >= card::channelCount) {
        throw card::RuntimeError(
            QStringLiteral("index %1 is outside the control array %2 (0 to %3)")
                .arg(index)
                .arg(QLatin1String(array))
                .arg(card::channelCount - 1));
    }
    return index;
}

// The entries of a range list AD_config(i), one per selector position.
inline QStringList rangeEntries() {
    QStringList entries;
    for (const card::Range &range : card::rangeTable) {
        entries << QString::fromLatin1(range.text);
    }
    return entries;
}

// The entries of AD_Mode: the integral modes, each at its own position.
inline QStringList modeEntries() {
    QStringList entries;
    for (int mode = card::lowestMode; mode <= card::highestMode; ++mode) {
        entries << QString::number(mode);
    }
    return entries;
}

}  // namespace qv58163
