// The card locks as the panel takes them: the lock of the card card_id addresses; a card another
// program holds is said and never reached; without any lock to be had, the panel goes on.
#include <gtest/gtest.h>

#include "FakePanel.hpp"

namespace qv58163::test {
namespace {

class CardLocking : public ::testing::Test, public FakePanel {
protected:
    CardLocking() { driver.cards = {2, 5}; }
    void useEveryControl() {
        form.config[0]->choose(3);
        form.pressStart();
        procedures.raise(Event::TimerTick);
        form.pressStop();
    }
};

TEST_F(CardLocking, ACardAnotherProgramHoldsIsSaidAndNeverReachedWhileChosen) {
    locks.heldElsewhere[5] = QStringLiteral("process 4242 (qv58163-record)");
    form.load();
    EXPECT_EQ(locks.asked, std::vector<int>{5}) << "once, for the card addressed after the scan";
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_TRUE(form.messages[0].startsWith("Card 5 is in use by process 4242 (qv58163-record)."));
    useEveryControl();
    EXPECT_EQ(entries("QV58163_AD").size(), 0u) << "ranges, start, read or stop reached the card";
    EXPECT_EQ(log.back(), "Timer1.Enabled = False");

    form.id.choose(1);  // card 5 again: still held
    form.id.choose(0);  // card 2: free, its ranges loaded, the controls reach it
    EXPECT_EQ(form.messages.size(), 2u);
    EXPECT_EQ(locks.held, std::set<int>{2});
    ASSERT_EQ(entries("QV58163_AD_config_read").size(), 8u);
    EXPECT_EQ(entries("QV58163_AD_config_read").front(), "QV58163_AD_config_read(2, 0)");
    useEveryControl();
    EXPECT_EQ(entries("QV58163_AD_integral_start"), CallLog{"QV58163_AD_integral_start(2, 1)"});
    EXPECT_EQ(entries("QV58163_AD_integral_stop"), CallLog{"QV58163_AD_integral_stop(2)"});
    form.id.choose(1);  // card 5 again: card 2 is let go
    EXPECT_EQ(locks.held, std::set<int>{});
}

TEST_F(CardLocking, WithoutAnyLockToBeHadThePanelGoesOnAndSaysSo) {
    locks.noLock = QStringLiteral("the lock folder /run/lock takes no new file");
    form.load();
    useEveryControl();
    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(errors.str(),
              "Card 5 is used without its lock: no lock can be made (the lock "
              "folder /run/lock takes no new file).\n");
    EXPECT_EQ(entries("QV58163_AD_integral_all_read").size(), 1u);
}

}  // namespace
}  // namespace qv58163::test
