// The procedures behind the main window: start-up, card choice and the ways out, channel ranges,
// and the acquisition cycle. They keep almost no state: the window's controls are the state, read
// and written through `Form`; besides them there is only `ret_code` and the program-wide Module1.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <iosfwd>

#include "Form.hpp"
#include "Module1.hpp"
#include "QV58163.hpp"

namespace qv58163 {

class MainProcedures {
public:
    // Exit statuses: an operator's way out, the driver failing to open, a run-time error.
    static constexpr int kExitNormal = 0;
    static constexpr int kExitRuntimeError = 1;
    static constexpr int kExitDriverFailed = 2;

    // `decimalPoint` is the separator of the voltage display (the user's locale); `errors`
    // receives the line of every run-time error report.
    MainProcedures(Form &form, QV58163::Driver &driver, Module1 &module1, QString decimalPoint,
                   std::ostream &errors);

    // The one way in for every event. Runs `handler` unless the program has ended. A run-time
    // error escaping it is reported in a modal box (and on `errors`), the driver is closed if it
    // was opened, and the program ends with status 1. A Click raised by a position set from code
    // enters here nested and runs straight through, its errors left to the outer entry. Nothing
    // escapes, so no exception ever reaches the window toolkit.
    void Dispatch(const std::function<void()> &handler);
    bool Ended() const { return ended_; }

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
    void Inital_Card();
    void Scan_Card();
    void ad_config_updata();
    void AD_read();
    void Trun(std::uint8_t i, std::int32_t count, double &volts);

    // Status of the last driver call that returns one which is kept.
    std::int32_t ret_code() const { return ret_code_; }

private:
    // Ends the program at once: the form stops everything, and the unwinding skips whatever the
    // caller would have done next.
    [[noreturn]] void End(int status);
    void ReportRuntimeError(const QString &message);
    std::int16_t Card() const { return static_cast<std::int16_t>(module1_.card_id); }

    Form &form_;
    QV58163::Driver &driver_;
    Module1 &module1_;
    const QString decimalPoint_;
    std::ostream &errors_;

    std::int32_t ret_code_ = 0;
    bool driverOpened_ = false;
    int exitStatus_ = kExitNormal;  // what Form_Unload ends with
    int depth_ = 0;                 // handlers running, the outermost and any nested Clicks
    bool ended_ = false;
};

}  // namespace qv58163
