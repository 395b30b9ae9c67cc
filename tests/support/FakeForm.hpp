// A plain stand-in for the main window: lists, labels and a timer held in memory, and every
// operation that matters written to a shared log, so tests can check the order of what the
// procedures do to the window and to the driver together. The list contract runs on this and on
// the Qt list, so the two cannot drift apart.
#pragma once

#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Form.hpp"
#include "MainProcedures.hpp"
#include "RecordingDriver.hpp"  // the shared CallLog

namespace qv58163::test {

class FakeList final : public DropDownList {
public:
    FakeList(std::string name, QStringList entries, CallLog &log)
        : entries(std::move(entries)), name_(std::move(name)), log_(log) {}

    void AddItem(const QString &text) override;
    std::int16_t ListIndex() const override { return index; }
    void setListIndex(std::int16_t position) override;
    QString Text() const override { return index < 0 ? QString() : entries.at(index); }

    // What the list's Click runs (set by FakeForm::attach, or by a test).
    std::function<void()> click;
    // An operator's choice: changes the position and runs Click through the event guard.
    void choose(std::int16_t position);

    QStringList entries;
    std::int16_t index = -1;

private:
    std::string name_;
    CallLog &log_;
};

class FakeLabel final : public Label {
public:
    void setCaption(const QString &text) override { caption = text; }
    QString caption = QStringLiteral("0.00000");
};

class FakeTimer final : public Timer {
public:
    explicit FakeTimer(CallLog &log) : log_(log) {}
    void setEnabled(bool on) override;
    bool enabled = false;

private:
    CallLog &log_;
};

class FakeForm final : public Form {
public:
    explicit FakeForm(CallLog &log);

    // Wires the events the window answers to `procedures`, as the real window does.
    void attach(MainProcedures &procedures);

    DropDownList &ID() override { return id; }
    DropDownList &AD_Mode() override { return mode; }
    DropDownList &AD_config(int index) override {
        return *config[controlIndex(index, "AD_config")];
    }
    Label &advalue(int index) override { return values[controlIndex(index, "advalue")]; }
    Timer &Timer1() override { return timer; }
    void messageBox(const QString &text) override;
    void unload() override;
    void end(int status) override;

    // The operator's actions, each through the event guard like the real window's.
    void load();
    void tick();  // a tick of Timer1; ignored while it is disabled, as the real timer would
    void pressStart();
    void pressStop();
    void pressExitButton();
    void chooseExitMenu();
    void closeWindow();

    QStringList captions() const;

    FakeList id;
    FakeList mode;
    std::array<std::unique_ptr<FakeList>, card::channelCount> config;
    std::array<FakeLabel, card::channelCount> values;
    FakeTimer timer;
    std::vector<QString> messages;
    std::optional<int> endStatus;
    std::function<void()> onMsgBox;  // runs inside messageBox, as events during a modal box would

private:
    CallLog &log_;
    MainProcedures *procedures_ = nullptr;
};

}  // namespace qv58163::test
