#include "CardSession.hpp"

#include <QStringList>
#include <algorithm>
#include <utility>
#include <vector>

#include "CardProbe.hpp"
#include "ChannelName.hpp"
#include "ExitStatus.hpp"
#include "RangeTable.hpp"
#include "RuntimeError.hpp"

namespace qv58163::recorder {

void CardSession::open(const Options &options) {
    // What can be known without the driver comes first. A card named on the command line is held
    // before the driver is touched, so that a recorder refused does not open the driver under
    // the program on that card; without one, the cards must be probed to know which to hold, but
    // whether a lock can be made at all is known now.
    if (options.card) {
        hold(static_cast<std::int16_t>(*options.card), options.noLock);
    } else if (const QString why = world_.whyNoCardLocks(); !why.isEmpty()) {
        goOnWithoutLock(QStringLiteral("the card"), why, options.noLock);
    }
    bindExports(options);
    openDriver();
    stopPoint();
    chooseCard(options);
    settleRanges(options);
}

void CardSession::bindExports(const Options &options) {
    using card::Export;
    // No library at all is "no driver"; a library that lacks an export stays a run-time error.
    try {
        driver_.bindNow({Export::Initial, Export::Close, Export::Info, Export::ConfigRead,
                         Export::IntegralStart, Export::IntegralAllRead, Export::IntegralStop});
        if (!options.ranges.empty()) {
            driver_.bindNow({Export::ConfigSet});
        }
    } catch (const card::NoDriverLibrary &error) {
        throw Ending{exitStatus::noDriver, error.message()};
    }
}

void CardSession::openDriver() {
    const std::int32_t status = driver_.QV58163_initial();
    opened_ = true;
    if (status != 0) {
        throw Ending{exitStatus::noDriver,
                     QStringLiteral("the driver failed to open (status %1)").arg(status)};
    }
}

void CardSession::chooseCard(const Options &options) {
    std::vector<int> answering;
    card::probeCards(
        driver_, [&answering](std::int16_t number) { answering.push_back(number); },
        [this](std::int16_t) { stopPoint(); });
    if (answering.empty()) {
        throw Ending{exitStatus::noDriver, QStringLiteral("no card answers (card numbers %1 to %2)")
                                               .arg(card::lowestCardNumber)
                                               .arg(card::highestCardNumber)};
    }
    card_ = static_cast<std::int16_t>(options.card.value_or(answering.front()));
    if (std::find(answering.begin(), answering.end(), card_) == answering.end()) {
        QStringList numbers;
        for (const int number : answering) {
            numbers << QString::number(number);
        }
        throw Ending{exitStatus::noDriver,
                     QStringLiteral("card %1 does not answer (cards that do: %2)")
                         .arg(card_)
                         .arg(numbers.join(QStringLiteral(", ")))};
    }
    chosen_ = true;
    if (!hold_.held() && !unheld_) {
        hold(card_, options.noLock);
    }
}

void CardSession::hold(std::int16_t card, bool noLock) {
    card::CardLock lock = world_.holdCard(card);
    if (!lock.note().isEmpty()) {
        world_.message(messageLine(lock.note()));
    }
    if (lock.inUse()) {
        throw Ending{exitStatus::noDriver,
                     QStringLiteral("card %1 is in use by %2").arg(card).arg(lock.detail())};
    }
    if (!lock.held()) {
        goOnWithoutLock(QStringLiteral("card %1").arg(card), lock.detail(), noLock);
    }
    hold_ = std::move(lock);
}

void CardSession::goOnWithoutLock(const QString &card, const QString &why, bool noLock) {
    if (!noLock) {
        throw Ending{exitStatus::noDriver,
                     QStringLiteral("no lock can be made for %1: %2; --no-lock records without one")
                         .arg(card, why)};
    }
    unheld_ = true;
    world_.message(messageLine(
        QStringLiteral("no lock can be made for %1: %2; recording without one (--no-lock)")
            .arg(card, why)));
}

void CardSession::settleRanges(const Options &options) {
    std::array<std::uint8_t, channelCount> codes{};
    for (int channel = 0; channel < channelCount; ++channel) {
        driver_.QV58163_AD_config_read(card_, static_cast<std::int16_t>(channel), codes[channel]);
        codes_[channel] = codes[channel];
        stopPoint();
    }
    for (const RangeSetting &setting : options.ranges) {
        driver_.QV58163_AD_config_set(card_, static_cast<std::int16_t>(setting.channel),
                                      setting.code);
        codes[setting.channel] = setting.code;
        codes_[setting.channel] = setting.code;
        stopPoint();
    }
    for (int channel = 0; channel < channelCount; ++channel) {
        positions_[channel] = card::positionForCode(codes[channel]);
        if (card::rangeAt(positions_[channel]) == nullptr) {
            throw card::RuntimeError(
                QStringLiteral("%1: the card reports range code %2, which no range has")
                    .arg(card::channelName(channel))
                    .arg(codes[channel]));
        }
    }
}

void CardSession::stopPoint() {
    if (world_.stopAsked()) {
        throw StoppedEarly{};
    }
}

void CardSession::start(int mode) {
    driver_.QV58163_AD_integral_start(card_, static_cast<std::uint8_t>(mode));
    started_ = true;
}

std::int32_t CardSession::read(Slots &results) {
    results.fill(0);
    return driver_.QV58163_AD_integral_all_read(card_, results.data());
}

bool CardSession::finish() noexcept {
    bool ok = true;
    const auto call = [this, &ok](auto &&act) {
        try {
            act();
        } catch (const card::RuntimeError &error) {
            world_.message(messageLine(error.message()));
            ok = false;
        }
    };
    if (started_) {
        started_ = false;
        call([this] { driver_.QV58163_AD_integral_stop(card_); });
    }
    if (opened_) {
        opened_ = false;
        call([this] { driver_.QV58163_close(); });
    }
    hold_.release();
    return ok;
}

}  // namespace qv58163::recorder
