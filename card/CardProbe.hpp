// Finding the cards that answer: card numbers 0 to 15 probed in turn, as the panel and the
// recorder both do it.
#pragma once

#include <cstdint>
#include <utility>

#include "CardLimits.hpp"
#include "DriverLibrary.hpp"

namespace qv58163::card {

// Probes each card number from the lowest to the highest, passing the information word from one
// probe to the next as the driver expects (0 before the first), and calls `answered(number)` for
// each that answers with status 0, then `probed(number)` after every probe, answered or not.
// Returns the last probe's status.
template <typename Answered, typename Probed>
std::int32_t probeCards(Driver &driver, Answered &&answered, Probed &&probed) {
    std::int32_t info = 0;
    std::int32_t status = 0;
    for (std::int16_t number = lowestCardNumber; number <= highestCardNumber; ++number) {
        status = driver.QV58163_info(number, info);
        if (status == 0) {
            answered(number);
        }
        probed(number);
    }
    return status;
}

template <typename Answered>
std::int32_t probeCards(Driver &driver, Answered &&answered) {
    return probeCards(driver, std::forward<Answered>(answered), [](std::int16_t) {});
}

}  // namespace qv58163::card
