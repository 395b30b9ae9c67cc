// The card's side of a run: every export the run will call bound first, the driver opened, the
// cards found and one chosen and held, its ranges read and set; then acquisition started, read and
// stopped; and on every way out acquisition stopped once started and the driver closed once
// opened, each once.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "CardLock.hpp"
#include "DriverLibrary.hpp"
#include "Options.hpp"
#include "Read.hpp"
#include "Surroundings.hpp"

namespace qv58163::recorder {

// A run that ends before it records, with its exit status and message.
struct Ending {
    int status;
    QString message;
};

// A stop asked for (Ctrl+C, SIGTERM, SIGHUP) before the first sample.
struct StoppedEarly {};

class CardSession {
public:
    CardSession(card::Driver &driver, Surroundings &world) : driver_(driver), world_(world) {}

    // Everything before acquisition. Throws Ending (no driver, no card, the card held by another
    // process, no lock to be had without --no-lock), RuntimeError (an export missing, a range no
    // entry can show) or StoppedEarly (a stop asked for between two driver calls).
    void open(const Options &options);

    // Starts acquisition in `mode`.
    void start(int mode);
    // One read into `results` (zeroed first); its status.
    std::int32_t read(Slots &results);

    // Stops acquisition once started, closes the driver once opened. A call that fails is reported
    // through the surroundings; returns false then.
    bool finish() noexcept;

    std::int16_t card() const { return card_; }
    // Whether a card has answered and been chosen; card() is that card.
    bool chosen() const { return chosen_; }
    const Positions &positions() const { return positions_; }
    // The codes known so far, also when one of them has no range and ends the start-up.
    const RangeCodes &codes() const { return codes_; }
    // Where the driver library was loaded from; empty before, or for a driver not bound at run
    // time.
    QString driverFile() const { return driver_.loadedFrom(); }

private:
    void bindExports(const Options &options);
    void openDriver();
    void chooseCard(const Options &options);
    void settleRanges(const Options &options);
    // Holds `card`; without a lock to be had, goes on only with --no-lock (`noLock`).
    void hold(std::int16_t card, bool noLock);
    void goOnWithoutLock(const QString &card, const QString &why, bool noLock);
    // Ends the start-up if a stop has been asked for; called after every driver call of it.
    void stopPoint();

    card::Driver &driver_;
    Surroundings &world_;
    bool opened_ = false;
    bool started_ = false;
    std::int16_t card_ = 0;
    bool chosen_ = false;
    Positions positions_{};
    RangeCodes codes_{};
    card::CardLock hold_;
    bool unheld_ = false;  // no lock could be made, and --no-lock goes on without one
};

}  // namespace qv58163::recorder
