#include "FakeForm.hpp"

#include "RuntimeError.hpp"

namespace qv58163::test {

void FakeList::AddItem(const QString &text) {
    entries << text;
    log_.push_back(name_ + ".AddItem \"" + text.toStdString() + "\"");
}

void FakeList::setListIndex(std::int16_t position) {
    if (position < -1 || position >= entries.size()) {
        throw card::RuntimeError(QStringLiteral("position %1 is outside the list %2")
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

void FakeList::choose(std::int16_t position) {
    if (position != index) {
        index = position;
        if (click) {
            click();
        }
    }
}

void FakeTimer::setEnabled(bool on) {
    enabled = on;
    log_.push_back(on ? "Timer1.Enabled = True" : "Timer1.Enabled = False");
}

FakeForm::FakeForm(CallLog &log)
    : id("ID", {}, log), mode("AD_Mode", modeEntries(), log), timer(log), log_(log) {
    for (int i = 0; i < card::channelCount; ++i) {
        config[i] =
            std::make_unique<FakeList>("AD_config(" + std::to_string(i) + ")", rangeEntries(), log);
    }
}

void FakeForm::attach(MainProcedures &procedures) {
    procedures_ = &procedures;
    MainProcedures *p = &procedures;
    id.click = [this, p] {
        log_.push_back("ID_Click");
        p->raise(Event::IdClick);
    };
    for (int i = 0; i < card::channelCount; ++i) {
        const auto index = static_cast<std::int16_t>(i);
        config[i]->click = [this, p, index] {
            log_.push_back("AD_config_Click(" + std::to_string(index) + ")");
            p->raise(Event::ConfigClick, index);
        };
    }
}

void FakeForm::messageBox(const QString &text) {
    messages.push_back(text);
    log_.push_back("messageBox \"" + text.toStdString() + "\"");
    if (onMsgBox) {
        onMsgBox();
    }
}

void FakeForm::unload() {
    if (!procedures_->ended()) {
        log_.push_back("Unload");
    }
    procedures_->raise(Event::Unload);
}

void FakeForm::end(int status) {
    endStatus = status;
    timer.enabled = false;
    log_.push_back("End " + std::to_string(status));
}

void FakeForm::load() {
    procedures_->raise(Event::Load);
}

void FakeForm::tick() {
    if (timer.enabled) {
        procedures_->raise(Event::TimerTick);
    }
}

void FakeForm::pressStart() {
    procedures_->raise(Event::StartClick);
}

void FakeForm::pressStop() {
    procedures_->raise(Event::StopClick);
}

void FakeForm::pressExitButton() {
    procedures_->raise(Event::ExitButtonClick);
}

void FakeForm::chooseExitMenu() {
    procedures_->raise(Event::ExitMenuClick);
}

void FakeForm::closeWindow() {
    if (!endStatus) {
        unload();
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
