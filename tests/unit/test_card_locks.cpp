// The card locks as the panel takes them: one card at a time, the one card_id addresses; a card
// another program holds is said and left alone; without any lock to be had, the panel goes on.
#include <gtest/gtest.h>

#include "FakePanel.hpp"

namespace qv58163::test {
namespace {

class CardLocking : public ::testing::Test, public FakePanel {
protected:
    CardLocking() { driver.cards = {2, 5}; }
    // Whatever the operator can do that reaches the card.
    void useEveryControl() {
        form.config[0]->choose(3);
        form.pressStart();
        procedures.raise(Event::TimerTick);
        form.pressStop();
    }
};

TEST_F(CardLocking, ACardAnotherProgramHoldsIsSaidAndNeverConfiguredStartedStoppedOrRead) {
    locks.heldElsewhere[5] = QStringLiteral("process 4242 (qv58163-record)");
    form.load();
    EXPECT_EQ(locks.asked, std::vector<int>{5}) << "once, for the card addressed after the scan";
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_TRUE(form.messages[0].startsWith(
        QStringLiteral("Card 5 is in use by process 4242 (qv58163-record).")));

    const std::size_t loaded = log.size();
    useEveryControl();
    for (const std::string &entry : since(loaded)) {
        EXPECT_EQ(entry.rfind("QV58163_", 0), std::string::npos) << entry;
    }
    EXPECT_FALSE(form.timer.enabled);
    EXPECT_EQ(since(loaded).back(), "Timer1.Enabled = False");

    // The card the list shows first (2) is reached by choosing 5, still held, then 2: the ranges
    // are loaded from it, and the controls reach it.
    form.id.choose(1);
    EXPECT_EQ(form.messages.size(), 2u);
    form.id.choose(0);
    EXPECT_EQ(locks.held, std::set<int>{2});
    ASSERT_EQ(entries("QV58163_AD_config_read").size(), 8u);
    EXPECT_EQ(entries("QV58163_AD_config_read").front(), "QV58163_AD_config_read(2, 0)");
    EXPECT_EQ(form.config[0]->ListIndex(), 0) << "the card's range, not the choice made before";
    useEveryControl();
    EXPECT_EQ(entries("QV58163_AD_integral_start"), CallLog{"QV58163_AD_integral_start(2, 1)"});
    EXPECT_EQ(entries("QV58163_AD_integral_stop"), CallLog{"QV58163_AD_integral_stop(2)"});
}

TEST_F(CardLocking, EachChangeOfCardLetsGoOfTheCardBefore) {
    form.load();
    EXPECT_EQ(locks.held, std::set<int>{5});
    form.id.choose(1);  // card 5 again: still held, not asked for twice
    form.id.choose(0);
    EXPECT_EQ(locks.asked, (std::vector<int>{5, 2}));
    EXPECT_EQ(locks.held, std::set<int>{2});
    EXPECT_EQ(entries("QV58163_AD_config_read").size(), 8u) << "loaded once, at start";
}

TEST_F(CardLocking, WithoutAnyLockToBeHadThePanelGoesOnAndSaysSoOnce) {
    locks.noLock = QStringLiteral("the lock folder /run/lock takes no new file");
    form.load();
    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(errors.str(),
              "Card 5 is used without its lock: no lock can be made (the lock "
              "folder /run/lock takes no new file).\n");
    useEveryControl();
    EXPECT_EQ(entries("QV58163_AD_integral_start").size(), 1u);
    EXPECT_EQ(entries("QV58163_AD_integral_all_read").size(), 1u);
}

}  // namespace
}  // namespace qv58163::test
