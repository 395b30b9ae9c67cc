// One contract for a drop-down list, run on the Qt list the window uses and on the fake the
// procedures' tests use, so the two cannot drift apart.
#include <gtest/gtest.h>

#include <QComboBox>
#include <memory>

#include "FakeForm.hpp"
#include "QtControls.hpp"
#include "RowName.hpp"
#include "RuntimeError.hpp"

namespace qv58163::test {
namespace {

// A list under test, with its Click counted and each Click noting the position it saw.
struct ListUnderTest {
    virtual ~ListUnderTest() = default;
    virtual DropDownList &list() = 0;
    virtual void setClick(std::function<void()> click) = 0;
    // The operator chooses an entry with the mouse or keyboard.
    virtual void choose(int position) = 0;
};

struct QtList final : ListUnderTest {
    explicit QtList(const QStringList &entries) : combo(std::make_unique<QComboBox>()) {
        combo->addItems(entries);
        qtList = std::make_unique<ui::ComboList>(combo.get(), QStringLiteral("AD_config(3)"));
    }
    DropDownList &list() override { return *qtList; }
    void setClick(std::function<void()> click) override { qtList->setClick(std::move(click)); }
    void choose(int position) override { combo->setCurrentIndex(position); }
    std::unique_ptr<QComboBox> combo;
    std::unique_ptr<ui::ComboList> qtList;
};

struct FakeListUnderTest final : ListUnderTest {
    explicit FakeListUnderTest(const QStringList &entries) : fake("AD_config(3)", entries, log) {}
    DropDownList &list() override { return fake; }
    void setClick(std::function<void()> click) override { fake.click = std::move(click); }
    void choose(int position) override { fake.choose(static_cast<std::int16_t>(position)); }
    CallLog log;
    FakeList fake;
};

// A kind of list, and how one is made with given entries.
struct ListKind {
    const char *name;
    std::unique_ptr<ListUnderTest> (*make)(const QStringList &);
};
void PrintTo(const ListKind &kind, std::ostream *out) {
    *out << kind.name;
}

const QStringList ranges = {"0: 0V ~ 5V", "1: -5V ~ +5V", "2: 0V ~ 10V", "3: -10V ~ +10V",
                            "255 : stop"};

class ListContract : public ::testing::TestWithParam<ListKind> {
protected:
    void make(const QStringList &entries) {
        subject = GetParam().make(entries);
        subject->setClick([this] { clicks.push_back(subject->list().ListIndex()); });
    }
    std::unique_ptr<ListUnderTest> subject;
    std::vector<int> clicks;  // the position each Click saw
};

TEST_P(ListContract, StartsWithNothingChosenAndAnEmptyText) {
    make(ranges);
    EXPECT_EQ(subject->list().ListIndex(), -1);
    EXPECT_EQ(subject->list().Text(), QString());
}

TEST_P(ListContract, AddingAnEntryLeavesTheChosenPositionAlone) {
    make({});
    subject->list().AddItem(QStringLiteral(" 2"));
    EXPECT_EQ(subject->list().ListIndex(), -1) << "an empty list does not choose its first entry";
    EXPECT_EQ(subject->list().Text(), QString());
    subject->list().setListIndex(0);
    subject->list().AddItem(QStringLiteral(" 5"));
    EXPECT_EQ(subject->list().ListIndex(), 0);
    EXPECT_EQ(subject->list().Text(), QStringLiteral(" 2"));
    EXPECT_EQ(clicks, std::vector<int>{0}) << "only the position set from code clicked";
}

TEST_P(ListContract, APositionSetFromCodeClicksOnceNestedAfterTheChange) {
    make(ranges);
    subject->list().setListIndex(2);
    EXPECT_EQ(clicks, std::vector<int>{2}) << "Click ran before the setting returned";
    EXPECT_EQ(subject->list().Text(), QStringLiteral("2: 0V ~ 10V"));
    subject->list().setListIndex(4);
    subject->list().setListIndex(-1);
    EXPECT_EQ(clicks, (std::vector<int>{2, 4, -1}));
    EXPECT_EQ(subject->list().Text(), QString());
    // The same position again clicks at most once more; both our lists do not click.
    subject->list().setListIndex(-1);
    EXPECT_EQ(clicks.size(), 3u);
}

TEST_P(ListContract, APositionOutsideTheListIsARunTimeErrorAndChangesNothing) {
    make(ranges);
    subject->list().setListIndex(1);
    for (const std::int16_t bad : {std::int16_t{5}, std::int16_t{7}, std::int16_t{-2},
                                   std::int16_t{255}, std::int16_t{-32768}}) {
        SCOPED_TRACE(bad);
        try {
            subject->list().setListIndex(bad);
            ADD_FAILURE() << "no error raised";
        } catch (const card::RuntimeError &error) {
            EXPECT_EQ(error.message(),
                      QStringLiteral("position %1 is outside the list AD_config(3)").arg(bad));
        }
        EXPECT_EQ(subject->list().ListIndex(), 1);
    }
    EXPECT_EQ(clicks, std::vector<int>{1});
}

TEST_P(ListContract, AnOperatorsChoiceClicksOnce) {
    make(ranges);
    subject->choose(3);
    EXPECT_EQ(clicks, std::vector<int>{3});
    EXPECT_EQ(subject->list().Text(), QStringLiteral("3: -10V ~ +10V"));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListContract,
    ::testing::Values(ListKind{"QtComboBox",
                               [](const QStringList &e) -> std::unique_ptr<ListUnderTest> {
                                   return std::make_unique<QtList>(e);
                               }},
                      ListKind{"Fake",
                               [](const QStringList &e) -> std::unique_ptr<ListUnderTest> {
                                   return std::make_unique<FakeListUnderTest>(e);
                               }}),
    RowName());

}  // namespace
}  // namespace qv58163::test
