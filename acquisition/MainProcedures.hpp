// The procedures behind the main window: start-up, card choice and the ways out, channel ranges,
// and the acquisition cycle. They keep almost no state: the window's controls are the state, read
// and written through `Form`; besides them there is only `ret_code`, the program-wide Module1 and
// the lock of the card `card_id` names (taken through `card::CardLocks`).
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "CardLock.hpp"
#include "DriverLibrary.hpp"
#include "ExitStatus.hpp"
#include "Form.hpp"
#include "Module1.hpp"

namespace qv58163 {

// The events the window answers; every other event of the window and its controls is ignored.
enum class Event {
    Load,             // the window is created, before it is shown
    Unload,           // the window is closed, or unloaded by the program
    IdClick,          // a card chosen in ID
    ConfigClick,      // a range chosen in AD_config(index)
    StartClick,       // CmB_Start pressed
    StopClick,        // CmB_Stop pressed
    ExitButtonClick,  // chk_exit pressed
    ExitMenuClick,    // the menu command m_exit chosen
    TimerTick,        // Timer1 ticked
};

class MainProcedures {
public:
    // Exit statuses: an operator's way out, a run-time error, the driver failing to open.
    static constexpr int exitNormal = exitStatus::normal;
    static constexpr int exitRuntimeError = exitStatus::runtimeError;
    static constexpr int exitDriverFailed = exitStatus::noDriver;

    // What receives the line of every run-time error report, and of a card used without its lock.
    using ErrorLog = std::function<void(const QString &line)>;

    // `decimalPoint` is the separator of the voltage display (the user's locale). `locks` gives
    // the card locks: the panel holds the lock of the card it addresses, and leaves a card another
    // program holds alone.
    MainProcedures(Form &form, card::Driver &driver, card::CardLocks &locks, card::Module1 &module1,
                   QString decimalPoint, ErrorLog errors);

    // The one way in for the window's events: runs the event's procedure (`index` is the channel
    // of a ConfigClick) through dispatch().
    void raise(Event event, std::int16_t index = 0);

    // Runs `handler` unless the program has ended. A run-time error escaping it is reported in a
    // modal box (and on `errors`), the driver is closed if it was opened, and the program ends
    // with status 1. A Click raised by a position set from code enters here nested and runs
    // straight through, its errors left to the outer entry. Nothing escapes, so no exception ever
    // reaches the window toolkit.
    void dispatch(const std::function<void()> &handler);
    bool ended() const { return ended_; }

    // Events.
    void Form_Load();
    void Form_Unload(std::int16_t &Cancel);
    void ID_Click();
    void chk_exit_Click();
    void m_exit_Click();
    void AD_config_Click(std::int16_t Index);
    void CmB_Start_Click();
    void CmB_Stop_Click();
    void Timer1_Timer();

    // Tasks.
    // Opens the driver; on failure reports it and ends the program, otherwise finds the cards.
    void Inital_Card();
    // Probes card numbers 0 to 15, lists those that answer in ID and chooses one.
    void Scan_Card();
    // Shows each channel's range as the card reports it (and so writes it back to the card).
    void ad_config_updata();
    // Reads all eight channels once and shows their voltages.
    void AD_read();
    // Converts channel i's count to volts by the range its selector shows.
    void Trun(std::uint8_t i, std::int32_t count, double &volts);

    // The status of the driver's last opening, probe or read.
    std::int32_t ret_code() const { return ret_code_; }

private:
    // Ends the program at once: the form stops everything, and the unwinding skips whatever the
    // caller would have done next.
    [[noreturn]] void endProgram(int status);
    void reportRuntimeError(const QString &message);
    std::int16_t cardNumber() const { return static_cast<std::int16_t>(module1_.card_id); }
    // Holds the card card_id names, letting go of the one held before; a card another program
    // holds is said in a box.
    void holdChosenCard();
    // Whether the procedures may call the driver for card card_id: it is not another program's.
    // Unheld because no lock can be made, it may.
    bool cardFree() const { return !lock_.inUse(); }

    Form &form_;
    card::Driver &driver_;
    card::CardLocks &locks_;
    card::Module1 &module1_;
    const QString decimalPoint_;
    ErrorLog errors_;

    std::int32_t ret_code_ = 0;
    bool driverOpened_ = false;
    int exitStatus_ = exitNormal;  // what Form_Unload ends with
    int depth_ = 0;                // handlers running, the outermost and any nested Clicks
    bool ended_ = false;

    card::CardLock lock_;  // for card lockedCard_
    int lockedCard_ = -1;
    bool scanning_ = false;      // Scan_Card runs: card_id changes with each card found
    bool rangesLoaded_ = false;  // ad_config_updata has read the ranges from a card
};

}  // namespace qv58163
