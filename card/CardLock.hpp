// One program per card on the whole machine: a lock per card number that the panel and the
// recorder take before they touch the card, whoever runs them. On Linux a file
// qv58163-card-N.lock held with flock() in /run/lock (else the temporary folder, or the folder
// QV58163_LOCK_DIR names); on Windows a named mutex, Global\qv58163-card-N. The system lets go of
// either when the holder ends, however it ends.
#pragma once

#include <QString>
#include <memory>
#include <utility>

namespace qv58163::card {

class CardLock {
public:
    enum class State {
        Held,    // this process holds the card until the lock is released or gone
        InUse,   // another process holds it: detail() names it
        NoLock,  // no lock can be made (or none was asked for): detail() says why
    };

    // Takes card `card`'s lock for this process, without waiting.
    static CardLock take(int card);
    // Why no card lock can be made here at all, found before any card is known (the lock folder
    // takes no new file); empty when one can.
    static QString whyNoLocks();

    // No lock, with nothing said.
    CardLock() = default;
    // A result as it stands: `hold` is let go with the last lock holding it; `note`, a remark to
    // pass on even when the card is held.
    CardLock(State state, QString detail, std::shared_ptr<void> hold = {}, QString note = {})
        : state_(state),
          detail_(std::move(detail)),
          note_(std::move(note)),
          hold_(std::move(hold)) {}
    CardLock(CardLock &&) = default;
    CardLock &operator=(CardLock &&) = default;
    CardLock(const CardLock &) = delete;
    CardLock &operator=(const CardLock &) = delete;

    State state() const { return state_; }
    bool held() const { return state_ == State::Held; }
    bool inUse() const { return state_ == State::InUse; }
    // InUse: who holds the card, "process 4242 (qv58163-record)" when that is known for sure, else
    // "another process". NoLock: why none can be made, naming the lock file.
    const QString &detail() const { return detail_; }
    const QString &note() const { return note_; }
    // Lets go of the card now; the lock then says NoLock.
    void release() { *this = CardLock(); }

private:
    State state_ = State::NoLock;
    QString detail_;
    QString note_;
    std::shared_ptr<void> hold_;
};

// The locks as the panel's procedures take them: the system's in the program, a fake in tests.
class CardLocks {
public:
    virtual ~CardLocks() = default;
    virtual CardLock hold(int card) = 0;
};

class SystemCardLocks final : public CardLocks {
public:
    CardLock hold(int card) override { return CardLock::take(card); }
};

}  // namespace qv58163::card
