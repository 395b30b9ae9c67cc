#include "MainProcedures.hpp"

#include <ostream>
#include <utility>

#include "CheckedTable.hpp"
#include "Conversion.hpp"
#include "RuntimeError.hpp"

namespace qv58163 {

namespace {

// Thrown by End to unwind out of the handler that ended the program; caught by Dispatch only.
struct ProgramEnded {};

constexpr std::int16_t kHighestCardNumber = 15;
constexpr int kResultSlots = QV58163_RESULT_SLOTS;
constexpr std::int16_t kStopCode = QV58163_RANGE_STOP;

}  // namespace

MainProcedures::MainProcedures(Form &form, QV58163::Driver &driver, Module1 &module1,
                               QString decimalPoint, std::ostream &errors)
    : form_(form),
      driver_(driver),
      module1_(module1),
      decimalPoint_(std::move(decimalPoint)),
      errors_(errors) {}

void MainProcedures::Dispatch(const std::function<void()> &handler) {
    if (ended_) {
        return;
    }
    if (depth_ > 0) {
        handler();
        return;
    }
    struct Depth {
        int &depth;
        explicit Depth(int &d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } running(depth_);
    try {
        handler();
    } catch (const ProgramEnded &) {
        // Ended on purpose; nothing more to do.
    } catch (const RuntimeError &error) {
        ReportRuntimeError(error.message());
    } catch (const std::exception &error) {
        ReportRuntimeError(QString::fromLocal8Bit(error.what()));
    }
}

void MainProcedures::ReportRuntimeError(const QString &message) {
    // From here on nothing else runs, not even a tick due while the report is open.
    ended_ = true;
    const QString text = QStringLiteral("Run-time error: ") + message;
    errors_ << text.toStdString() << std::endl;
    form_.MsgBox(text);
    if (driverOpened_) {
        driver_.closeIfReachable();
    }
    form_.End(kExitRuntimeError);
}

void MainProcedures::End(int status) {
    ended_ = true;
    form_.End(status);
    throw ProgramEnded{};
}

// --- Start-up, card choice and the ways out ---------------------------------------------------

void MainProcedures::Form_Load() {
    form_.AD_Mode().SetListIndex(1);  // integral mode 1 preselected
    Inital_Card();
    ad_config_updata();
}

void MainProcedures::Inital_Card() {
    ret_code_ = driver_.QV58163_initial();
    driverOpened_ = true;
    if (ret_code_ != 0) {
        form_.MsgBox(QStringLiteral("QV58163 initial fail ! (Error#") + SignedText(ret_code_) +
                     QLatin1Char(')'));
        driver_.QV58163_close();
        exitStatus_ = kExitDriverFailed;
        form_.Unload();  // runs Form_Unload, which closes the driver again and ends
        End(exitStatus_);
    }
    Scan_Card();
}

void MainProcedures::Scan_Card() {
    std::int32_t info = 0;  // kept across the probes: each sees what the previous one left
    for (std::int16_t n = 0; n <= kHighestCardNumber; ++n) {
        ret_code_ = driver_.QV58163_info(n, info);
        if (ret_code_ == 0) {
            form_.ID().AddItem(SignedText(n));
            // The first time, this runs ID_Click, which selects the first card found.
            form_.ID().SetListIndex(0);
            module1_.card_id = static_cast<std::uint8_t>(n);
        }
    }
}

void MainProcedures::ID_Click() {
    module1_.card_id = TextToByte(form_.ID().Text());
}

void MainProcedures::chk_exit_Click() {
    driver_.QV58163_close();
    End(kExitNormal);
}

void MainProcedures::m_exit_Click() {
    driver_.QV58163_close();
    End(kExitNormal);
}

void MainProcedures::Form_Unload(std::int16_t & /*Cancel: never set, the window always goes*/) {
    driver_.QV58163_close();
    End(exitStatus_);
}

// --- Channel ranges ---------------------------------------------------------------------------

void MainProcedures::ad_config_updata() {
    for (std::int16_t i = 0; i < Form::kChannels; ++i) {
        driver_.QV58163_AD_config_read(Card(), i, module1_.ad_config_data(i));
        const std::uint8_t code = module1_.ad_config_data(i);
        // Setting the position runs AD_config_Click(i), which writes the range back to the card.
        const std::int16_t position =
            code == kStopCode ? std::int16_t{kRangeStop} : std::int16_t{code};
        form_.AD_config(i).SetListIndex(position);
    }
}

void MainProcedures::AD_config_Click(std::int16_t Index) {
    DropDownList &selector = form_.AD_config(Index);
    const std::int16_t position = selector.ListIndex();
    driver_.QV58163_AD_config_set(Card(), Index, position == kRangeStop ? kStopCode : position);
    module1_.ad_config_data(Index) = ToByte(selector.ListIndex());
}

// --- Acquisition cycle ------------------------------------------------------------------------

void MainProcedures::CmB_Start_Click() {
    const std::uint8_t mode = ToByte(form_.AD_Mode().ListIndex());
    driver_.QV58163_AD_integral_start(Card(), mode);
    form_.Timer1().SetEnabled(true);
}

void MainProcedures::CmB_Stop_Click() {
    driver_.QV58163_AD_integral_stop(Card());
    form_.Timer1().SetEnabled(false);
}

void MainProcedures::Timer1_Timer() {
    AD_read();
}

void MainProcedures::AD_read() {
    CheckedTable<std::int16_t, kResultSlots> buffer("the result buffer");
    CheckedTable<std::int32_t, kResultSlots> counts("the count table");
    double volts = 0;  // shared by the channels in turn, not reset between them

    ret_code_ = driver_.QV58163_AD_integral_all_read(Card(), buffer.data());
    for (int i = 0; i < Form::kChannels; ++i) {
        counts(i) = buffer(i);
        if (buffer(i) < 0) {
            counts(i) = CheckedAdd(counts(i), 4096);  // -2048..-1 become counts 2048..4095
        }
        Trun(static_cast<std::uint8_t>(i), counts(i), volts);
        form_.advalue(i).SetCaption(VoltText(volts, decimalPoint_));
    }
}

void MainProcedures::Trun(std::uint8_t i, std::int32_t count, double &volts) {
    CountToVolts(form_.AD_config(i).ListIndex(), count, volts);
}

}  // namespace qv58163
