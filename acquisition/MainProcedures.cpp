#include "MainProcedures.hpp"

#include <utility>

#include "CardLimits.hpp"
#include "CardProbe.hpp"
#include "CheckedTable.hpp"
#include "Conversion.hpp"
#include "RangeTable.hpp"
#include "RuntimeError.hpp"

namespace qv58163 {

namespace {

// Thrown by endProgram to unwind out of the handler that ended the program; caught by dispatch
// only.
struct ProgramEnded {};

}  // namespace

MainProcedures::MainProcedures(Form &form, card::Driver &driver, card::CardLocks &locks,
                               card::Module1 &module1, QString decimalPoint, ErrorLog errors)
    : form_(form),
      driver_(driver),
      locks_(locks),
      module1_(module1),
      decimalPoint_(std::move(decimalPoint)),
      errors_(std::move(errors)) {}

void MainProcedures::raise(Event event, std::int16_t index) {
    dispatch([this, event, index] {
        switch (event) {
            case Event::Load:
                Form_Load();
                break;
            case Event::Unload: {
                std::int16_t cancel = 0;
                Form_Unload(cancel);
                break;
            }
            case Event::IdClick:
                ID_Click();
                break;
            case Event::ConfigClick:
                AD_config_Click(index);
                break;
            case Event::StartClick:
                CmB_Start_Click();
                break;
            case Event::StopClick:
                CmB_Stop_Click();
                break;
            case Event::ExitButtonClick:
                chk_exit_Click();
                break;
            case Event::ExitMenuClick:
                m_exit_Click();
                break;
            case Event::TimerTick:
                Timer1_Timer();
                break;
        }
    });
}

void MainProcedures::dispatch(const std::function<void()> &handler) {
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
    } catch (const card::RuntimeError &error) {
        reportRuntimeError(error.message());
    } catch (const std::exception &error) {
        reportRuntimeError(QString::fromLocal8Bit(error.what()));
    }
}

void MainProcedures::reportRuntimeError(const QString &message) {
    // From here on nothing else runs, not even a tick due while the report is open.
    ended_ = true;
    const QString text = QStringLiteral("Run-time error: ") + message;
    errors_(text);
    form_.messageBox(text);
    if (driverOpened_) {
        driver_.closeIfReachable();
    }
    form_.end(exitRuntimeError);
}

void MainProcedures::endProgram(int status) {
    ended_ = true;
    form_.end(status);
    throw ProgramEnded{};
}

// --- Start-up, card choice and the ways out ---------------------------------------------------

void MainProcedures::Form_Load() {
    form_.AD_Mode().setListIndex(card::defaultMode - card::lowestMode);  // preselected
    Inital_Card();
    ad_config_updata();
}

void MainProcedures::Inital_Card() {
    ret_code_ = driver_.QV58163_initial();
    driverOpened_ = true;
    if (ret_code_ != 0) {
        form_.messageBox(QStringLiteral("QV58163 initial fail ! (Error#") + signedText(ret_code_) +
                         QLatin1Char(')'));
        driver_.QV58163_close();
        exitStatus_ = exitDriverFailed;
        form_.unload();  // runs Form_Unload, which closes the driver again and ends
        endProgram(exitStatus_);
    }
    Scan_Card();
}

void MainProcedures::Scan_Card() {
    scanning_ = true;
    ret_code_ = card::probeCards(driver_, [this](std::int16_t n) {
        form_.ID().AddItem(signedText(n));
        // The first time, this runs ID_Click, which selects the first card found.
        form_.ID().setListIndex(0);
        module1_.card_id = static_cast<std::uint8_t>(n);
    });
    scanning_ = false;
    // Once, for the card addressed when the scan ends (the last found), not for each one on the
    // way.
    holdChosenCard();
}

void MainProcedures::ID_Click() {
    module1_.card_id = textToByte(form_.ID().Text());
    if (scanning_) {
        return;
    }
    holdChosenCard();
    // Ranges never loaded, because the card at start was another program's, are loaded from the
    // first card the panel may use: until then every selector is at position -1, which no
    // conversion can take. A deliberate addition; once loaded, a change of card reloads nothing,
    // as before.
    if (!rangesLoaded_ && cardFree()) {
        ad_config_updata();
    }
}

void MainProcedures::holdChosenCard() {
    const int card = module1_.card_id;
    if (lock_.held() && lockedCard_ == card) {
        return;
    }
    lock_.release();  // first: a lock this process holds would refuse it a second one
    lock_ = locks_.hold(card);
    lockedCard_ = card;
    if (!lock_.note().isEmpty()) {
        errors_(lock_.note());
    }
    if (lock_.inUse()) {
        form_.messageBox(QStringLiteral("Card %1 is in use by %2.\nThe panel leaves it alone: "
                                        "choose another card under CardID.")
                             .arg(card)
                             .arg(lock_.detail()));
    } else if (!lock_.held()) {
        errors_(QStringLiteral("Card %1 is used without its lock: no lock can be made (%2).")
                    .arg(card)
                    .arg(lock_.detail()));
    }
}

void MainProcedures::chk_exit_Click() {
    driver_.QV58163_close();
    endProgram(exitNormal);
}

void MainProcedures::m_exit_Click() {
    driver_.QV58163_close();
    endProgram(exitNormal);
}

void MainProcedures::Form_Unload(std::int16_t & /*Cancel: never set, the window always goes*/) {
    driver_.QV58163_close();
    endProgram(exitStatus_);
}

// --- Channel ranges ---------------------------------------------------------------------------

void MainProcedures::ad_config_updata() {
    if (!cardFree()) {
        return;
    }
    rangesLoaded_ = true;
    for (std::int16_t i = 0; i < card::channelCount; ++i) {
        driver_.QV58163_AD_config_read(cardNumber(), i, module1_.ad_config_data(i));
        // Setting the position runs AD_config_Click(i), which writes the range back to the card.
        form_.AD_config(i).setListIndex(card::positionForCode(module1_.ad_config_data(i)));
    }
}

void MainProcedures::AD_config_Click(std::int16_t Index) {
    DropDownList &selector = form_.AD_config(Index);
    const std::int16_t position = selector.ListIndex();
    if (cardFree()) {
        driver_.QV58163_AD_config_set(cardNumber(), Index, card::codeForPosition(position));
    }
    module1_.ad_config_data(Index) = toByte(selector.ListIndex());
}

// --- Acquisition cycle ------------------------------------------------------------------------

void MainProcedures::CmB_Start_Click() {
    const std::uint8_t mode = toByte(form_.AD_Mode().ListIndex());
    if (!cardFree()) {
        return;
    }
    driver_.QV58163_AD_integral_start(cardNumber(), mode);
    form_.Timer1().setEnabled(true);
}

void MainProcedures::CmB_Stop_Click() {
    // Another program's acquisition is not the panel's to stop.
    if (cardFree()) {
        driver_.QV58163_AD_integral_stop(cardNumber());
    }
    form_.Timer1().setEnabled(false);
}

void MainProcedures::Timer1_Timer() {
    AD_read();
}

void MainProcedures::AD_read() {
    if (!cardFree()) {
        return;
    }
    card::CheckedTable<std::int16_t, card::slotCount> buffer("the result buffer");
    ret_code_ = driver_.QV58163_AD_integral_all_read(cardNumber(), buffer.data());
    const ChannelVolts volts =
        voltsOfRead(buffer.data(), [this](int i, std::int32_t count, double &carried) {
            Trun(static_cast<std::uint8_t>(i), count, carried);
        });
    for (int i = 0; i < card::channelCount; ++i) {
        form_.advalue(i).setCaption(voltText(volts[i], decimalPoint_));
    }
}

void MainProcedures::Trun(std::uint8_t i, std::int32_t count, double &volts) {
    countToVolts(form_.AD_config(i).ListIndex(), count, volts);
}

}  // namespace qv58163
