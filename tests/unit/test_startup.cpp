// Start-up, the choice of card and the ways out, against a recording driver and a window in
// memory: the exact calls, in order, and what the window shows.
#include <gtest/gtest.h>

#include <cstdlib>

#include "FakePanel.hpp"
#include "RowName.hpp"
#include "RuntimeError.hpp"

namespace qv58163::test {
namespace {

class StartUp : public ::testing::Test, public FakePanel {
protected:
    void load() { form.load(); }
    // The log from the first entry starting with `prefix` on.
    CallLog logFrom(const std::string &prefix) const {
        for (auto it = log.begin(); it != log.end(); ++it) {
            if (it->rfind(prefix, 0) == 0) {
                return CallLog(it, log.end());
            }
        }
        return {};
    }
};

TEST_F(StartUp, ListsTheCardsThatAnswerAndSelectsTheLastOneFound) {
    driver.cards = {2, 5};
    load();

    ASSERT_FALSE(form.endStatus);
    EXPECT_EQ(form.id.entries, (QStringList{QStringLiteral(" 2"), QStringLiteral(" 5")}));
    EXPECT_EQ(form.id.ListIndex(), 0);
    EXPECT_EQ(form.id.Text(), QStringLiteral(" 2"));
    EXPECT_EQ(module1.card_id, 5) << "the last card found, until the operator picks one";
    EXPECT_EQ(form.mode.ListIndex(), 1);
    EXPECT_TRUE(form.messages.empty());

    // Sixteen probes, each seeing what the one before left in the information word; the first
    // card found is chosen through a nested ID_Click, later ones leave the position at 0.
    const CallLog expected = {
        "AD_Mode.ListIndex = 1", "QV58163_initial()",
        "QV58163_info(0, 0)",    "QV58163_info(1, 1000)",
        "QV58163_info(2, 1001)", "ID.AddItem \" 2\"",
        "ID.ListIndex = 0",      "ID_Click",
        "QV58163_info(3, 1002)", "QV58163_info(4, 1003)",
        "QV58163_info(5, 1004)", "ID.AddItem \" 5\"",
        "ID.ListIndex = 0",      "QV58163_info(6, 1005)",
    };
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(CallLog(log.begin(), log.begin() + expected.size()), expected);
    EXPECT_EQ(entries("QV58163_info").size(), 16u);
    EXPECT_EQ(entries("QV58163_info").back(), "QV58163_info(15, 1014)");
    // The ranges are loaded from the card selected at the end: card 5.
    EXPECT_EQ(entries("QV58163_AD_config_read").front(), "QV58163_AD_config_read(5, 0)");
    EXPECT_EQ(procedures.ret_code(), -1) << "the status of the probe of card 15";
}

TEST_F(StartUp, WithNoCardAnsweringEverythingAddressesCardZero) {
    driver.cards = {};
    load();

    ASSERT_FALSE(form.endStatus);
    EXPECT_TRUE(form.id.entries.isEmpty());
    EXPECT_EQ(form.id.ListIndex(), -1);
    EXPECT_EQ(form.id.Text(), QString());
    EXPECT_EQ(module1.card_id, 0);
    EXPECT_TRUE(form.messages.empty());
    EXPECT_TRUE(entries("ID").empty());
    // Everything later addresses card 0.
    for (const std::string &call : entries("QV58163_AD_config")) {
        EXPECT_EQ(call.find("(0, "), call.find('(')) << call;
    }
    form.pressStart();
    EXPECT_EQ(entries("QV58163_AD_integral_start"), CallLog{"QV58163_AD_integral_start(0, 1)"});
}

struct DriverFailure {
    std::int32_t status;
    const char *message;
};

void PrintTo(const DriverFailure &failure, std::ostream *out) {
    *out << "status " << failure.status;
}

class DriverFails : public StartUp, public ::testing::WithParamInterface<DriverFailure> {};

TEST_P(DriverFails, ReportsTheStatusClosesTwiceAndEndsWithoutShowingTheWindow) {
    driver.initialStatus = GetParam().status;
    load();

    EXPECT_EQ(form.messages, std::vector<QString>{QString::fromLatin1(GetParam().message)});
    // The message, the close, the unload whose handler closes again, the end; nothing else.
    const CallLog expected = {
        "AD_Mode.ListIndex = 1",
        "QV58163_initial()",
        std::string("messageBox \"") + GetParam().message + "\"",
        "QV58163_close()",
        "Unload",
        "QV58163_close()",
        "End 2",
    };
    EXPECT_EQ(log, expected);
    ASSERT_TRUE(form.endStatus);
    EXPECT_NE(*form.endStatus, 0);
    EXPECT_TRUE(procedures.ended());

    // Ended means ended: no event is answered any more.
    form.pressStart();
    form.closeWindow();
    EXPECT_EQ(log.size(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(Statuses, DriverFails,
                         ::testing::Values(DriverFailure{3, "QV58163 initial fail ! (Error# 3)"},
                                           DriverFailure{-7, "QV58163 initial fail ! (Error#-7)"}),
                         RowName());

TEST_F(StartUp, TheOperatorPicksAnotherCard) {
    driver.cards = {2, 5};
    load();
    form.id.choose(1);
    EXPECT_EQ(module1.card_id, 5);
    form.id.choose(0);
    EXPECT_EQ(module1.card_id, 2);
    // Nothing is reloaded or restarted: the Click touched no driver, later calls go to card 2.
    EXPECT_EQ(log.back(), "ID_Click");
    form.pressStart();
    form.tick();
    form.pressStop();
    EXPECT_EQ(logFrom("QV58163_AD_integral_start"),
              (CallLog{"QV58163_AD_integral_start(2, 1)", "Timer1.Enabled = True",
                       "QV58163_AD_integral_all_read(2)", "QV58163_AD_integral_stop(2)",
                       "Timer1.Enabled = False"}));
}

TEST_F(StartUp, EachExitClosesTheDriverWithoutStoppingAndEndsWithStatusZero) {
    const std::vector<std::pair<const char *, void (FakeForm::*)()>> exits = {
        {"exit button", &FakeForm::pressExitButton},
        {"Exit menu", &FakeForm::chooseExitMenu},
        {"close box", &FakeForm::closeWindow},
    };
    for (const auto &[name, exit] : exits) {
        SCOPED_TRACE(name);
        FakePanel run;
        CallLog &runLog = run.log;
        FakeForm &runForm = run.form;
        runForm.load();
        runForm.pressStart();
        runForm.tick();
        const std::size_t before = runLog.size();

        (runForm.*exit)();
        const CallLog after(runLog.begin() + static_cast<std::ptrdiff_t>(before), runLog.end());
        const CallLog expected = exit == &FakeForm::closeWindow
                                     ? CallLog{"Unload", "QV58163_close()", "End 0"}
                                     : CallLog{"QV58163_close()", "End 0"};
        EXPECT_EQ(after, expected) << "no stop call, no timer change";
        ASSERT_TRUE(runForm.endStatus);
        EXPECT_EQ(*runForm.endStatus, 0);

        runForm.timer.enabled = true;  // even a tick already due does nothing now
        runForm.tick();
        runForm.pressStop();
        EXPECT_EQ(runLog.size(), before + expected.size());
    }
}

TEST_F(StartUp, ARunTimeErrorIsReportedThenTheDriverClosedAndTheProgramEnded) {
    driver.codes[3] = 7;  // a range code no entry can show
    load();

    const QString report =
        QStringLiteral("Run-time error: position 7 is outside the list AD_config(3)");
    EXPECT_EQ(form.messages, std::vector<QString>{report});
    EXPECT_EQ(errors.str(), report.toStdString() + "\n");
    EXPECT_EQ(logFrom("messageBox"),
              (CallLog{"messageBox \"" + report.toStdString() + "\"", "QV58163_close()", "End 1"}));
    // Channels 0 to 2 were loaded; channel 3's read came, its set never did.
    EXPECT_EQ(entries("QV58163_AD_config_set").size(), 3u);
    EXPECT_EQ(entries("QV58163_AD_config_read").back(), "QV58163_AD_config_read(0, 3)");
}

TEST_F(StartUp, NothingRunsWhileTheRunTimeErrorReportIsOpen) {
    load();
    form.pressStart();
    form.onMsgBox = [this] {
        form.tick();
        form.pressStop();
        form.closeWindow();
    };
    // The read fails as a driver lacking its export would.
    driver.onRead = [](std::int16_t, std::int16_t *) -> std::int32_t {
        throw card::RuntimeError(
            QStringLiteral("the driver library has no export QV58163_AD_integral_all_read"));
    };
    const std::size_t before = log.size();
    form.tick();
    // The read, then the report, the close and the end, and nothing of what the box's events asked.
    const CallLog after(log.begin() + static_cast<std::ptrdiff_t>(before), log.end());
    EXPECT_EQ(after, (CallLog{"QV58163_AD_integral_all_read(0)",
                              "messageBox \"Run-time error: the driver library has no export "
                              "QV58163_AD_integral_all_read\"",
                              "QV58163_close()", "End 1"}));
    EXPECT_EQ(form.captions(), QStringList(8, QStringLiteral("0.00000")));
    EXPECT_EQ(entries("QV58163_AD_integral_all_read").size(), 1u);
    EXPECT_TRUE(entries("QV58163_AD_integral_stop").empty());
}

TEST_F(StartUp, TheDriverIsNotClosedAfterAnErrorWhenItWasNeverOpened) {
    // An error before the driver is opened: AD_Mode cannot take position 1 when it is empty.
    form.mode.entries.clear();
    form.load();
    EXPECT_TRUE(entries("QV58163").empty());
    ASSERT_TRUE(form.endStatus);
    EXPECT_EQ(*form.endStatus, 1);
    EXPECT_EQ(form.messages.size(), 1u);
}

}  // namespace
}  // namespace qv58163::test
