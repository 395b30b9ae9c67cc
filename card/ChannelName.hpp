// A channel's name as the window, the files and the reports write it.
#pragma once

#include <QString>

namespace qv58163::card {

// "CH00" to "CH07".
inline QString channelName(int channel) {
    return QStringLiteral("CH%1").arg(channel, 2, 10, QLatin1Char('0'));
}

}  // namespace qv58163::card
