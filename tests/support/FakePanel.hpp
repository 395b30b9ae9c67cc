// The procedures wired to a window in memory and a recording driver that share one log, and card
// locks in memory: the level at which the rules of start-up, ranges, conversion, acquisition and
// the card locks are tested.
#pragma once

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "FakeForm.hpp"
#include "PrintTo.hpp"
#include "RecordingDriver.hpp"

namespace qv58163::test {

// Card locks in memory, kept out of the log: every card free unless a test says otherwise.
struct FakeCardLocks final : card::CardLocks {
    card::CardLock hold(int card) override {
        using State = card::CardLock::State;
        asked.push_back(card);
        if (heldElsewhere.count(card) > 0) {
            return {State::InUse, heldElsewhere[card]};
        }
        if (!noLock.isEmpty()) {
            return {State::NoLock, noLock};
        }
        held.insert(card);
        return {State::Held, {}, std::shared_ptr<void>(this, [card](void *locks) {
                    static_cast<FakeCardLocks *>(locks)->held.erase(card);
                })};
    }

    std::map<int, QString> heldElsewhere;  // card: who holds it
    QString noLock;                        // why no lock can be made, if so
    std::vector<int> asked;                // the cards asked for, in order
    std::set<int> held;                    // the cards the panel holds now
};

struct FakePanel {
    explicit FakePanel(const QString &decimalPoint = QStringLiteral("."))
        : procedures(form, driver, locks, module1, decimalPoint,
                     [this](const QString &line) { errors << line.toStdString() << '\n'; }) {
        form.attach(procedures);
    }

    // The log from entry `from` on.
    CallLog since(std::size_t from) const {
        return CallLog(log.begin() + static_cast<std::ptrdiff_t>(from), log.end());
    }
    // The log's entries starting with `prefix`: driver calls ("QV58163_info") or window
    // operations ("ID.").
    CallLog entries(const std::string &prefix) const { return entriesStartingWith(log, prefix); }

    CallLog log;
    RecordingDriver driver{log};
    FakeForm form{log};
    FakeCardLocks locks;
    card::Module1 module1;
    std::ostringstream errors;
    MainProcedures procedures;
};

}  // namespace qv58163::test
