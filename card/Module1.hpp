// The program-wide values: the selected card and the table of channel range codes.
#pragma once

#include <cstdint>

#include "CheckedTable.hpp"

namespace qv58163::card {

struct Module1 {
    // The card every per-card driver call goes to. Written only at start-up and by a card choice.
    std::uint8_t card_id = 0;

    // Channel i's range code as read from the card, then its selector position after every change.
    // Entries 0 to 7 belong to the channels; 8 to 23 are never touched.
    CheckedTable<std::uint8_t, 24> ad_config_data{"the table ad_config_data"};
};

}  // namespace qv58163::card
