#include "FakeForm.hpp"

#include "RuntimeError.hpp"

namespace qv58163::test {

void FakeList::AddItem(const QString &text) {
    entries << text;
    log_.push_back(name_ + ".AddItem \"" + text.toStdString() + "\"");
}

void FakeList::SetListIndex(std::int16_t position) {
    if (position < -1 || position >= entries.size()) {
        throw RuntimeError(QStringLiteral("position %1 is outside the list %2")
                               .arg(position)
                               .arg(QString::fromStdString(name_)));
    }
    log_.push_back(name_ + ".ListIndex = " + std::to_string(position));
    if (position == index) {
        return;
    }
    index = position;
    if (click) {
        click();
    }
}

void FakeList::Choose(std::int16_t position) {
    if (position != index) {
        index = position;
        if (click) {
            click();
        }
    }
}

void FakeTimer::SetEnabled(bool on) {
    enabled = on;
    log_.push_back(on ? "Timer1.Enabled = True" : "Timer1.Enabled = False");
}

QStringList RangeEntries() {
    return {QStringLiteral("0: 0V ~ 5V"), QStringLiteral("1: -5V ~ +5V"),
            QStringLiteral("2: 0V ~ 10V"), QStringLiteral("3: -10V ~ +10V"),
            QStringLiteral("255 : stop")};
}

QStringList ModeEntries() {
    QStringList modes;
    for (int m = 0; m <= 10; ++m) {
        modes << QString::number(m);
    }
    return modes;
}

FakeForm::FakeForm(CallLog &log)
    : id("ID", {}, log), mode("AD_Mode", ModeEntries(), log), timer(log), log_(log) {
    for (int i = 0; i < kChannels; ++i) {
        config[i] =
            std::make_unique<FakeList>("AD_config(" + std::to_string(i) + ")", RangeEntries(), log);
    }
}

void FakeForm::Attach(MainProcedures &procedures) {
    procedures_ = &procedures;
    MainProcedures *p = &procedures;
    id.click = [this, p] {
        log_.push_back("ID_Click");
        p->Dispatch([p] { p->ID_Click(); });
    };
    for (int i = 0; i < kChannels; ++i) {
        const auto index = static_cast<std::int16_t>(i);
        config[i]->click = [this, p, index] {
            log_.push_back("AD_config_Click(" + std::to_string(index) + ")");
            p->Dispatch([p, index] { p->AD_config_Click(index); });
        };
    }
}

void FakeForm::MsgBox(const QString &text) {
    messages.push_back(text);
    log_.push_back("MsgBox \"" + text.toStdString() + "\"");
    if (onMsgBox) {
        onMsgBox();
    }
}

void FakeForm::Unload() {
    MainProcedures *p = procedures_;
    p->Dispatch([this, p] {
        log_.push_back("Unload");
        std::int16_t cancel = 0;
        p->Form_Unload(cancel);
    });
}

void FakeForm::End(int status) {
    endStatus = status;
    timer.enabled = false;
    log_.push_back("End " + std::to_string(status));
}

void FakeForm::Load() {
    procedures_->Dispatch([this] { procedures_->Form_Load(); });
}

void FakeForm::Tick() {
    if (timer.enabled) {
        procedures_->Dispatch([this] { procedures_->Timer1_Timer(); });
    }
}

void FakeForm::PressStart() {
    procedures_->Dispatch([this] { procedures_->CmB_Start_Click(); });
}

void FakeForm::PressStop() {
    procedures_->Dispatch([this] { procedures_->CmB_Stop_Click(); });
}

void FakeForm::PressExitButton() {
    procedures_->Dispatch([this] { procedures_->chk_exit_Click(); });
}

void FakeForm::ChooseExitMenu() {
    procedures_->Dispatch([this] { procedures_->m_exit_Click(); });
}

void FakeForm::CloseWindow() {
    if (!endStatus) {
        Unload();
    }
}

QStringList FakeForm::captions() const {
    QStringList texts;
    for (const FakeLabel &label : values) {
        texts << label.caption;
    }
    return texts;
}

}  // namespace qv58163::test
