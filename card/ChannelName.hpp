// A channel's name, and a range's, as the files, plots and reports write them.
#pragma once

#include <QString>

#include "RangeTable.hpp"

namespace qv58163::card {

// "CH00" to "CH07".
inline QString channelName(int channel) {
    return QStringLiteral("CH%1").arg(channel, 2, 10, QLatin1Char('0'));
}

// The range at selector position `position` as its list entry names it, without the code:
// "-5V ~ +5V", "stop"; "?" for a position with no range.
inline QString rangeName(std::int16_t position) {
    const Range *range = rangeAt(position);
    return range ? QString::fromLatin1(range->text).section(QLatin1Char(':'), 1).trimmed()
                 : QStringLiteral("?");
}

}  // namespace qv58163::card
