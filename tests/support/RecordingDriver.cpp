#include "RecordingDriver.hpp"

namespace qv58163::test {

namespace {
std::string arguments(std::initializer_list<long long> values) {
    std::string text = "(";
    for (auto it = values.begin(); it != values.end(); ++it) {
        text += (it == values.begin() ? "" : ", ") + std::to_string(*it);
    }
    return text + ")";
}
}  // namespace

std::int32_t RecordingDriver::QV58163_initial() {
    record("QV58163_initial()");
    return initialStatus;
}

std::int32_t RecordingDriver::QV58163_close() {
    record("QV58163_close()");
    return 0;
}

std::int32_t RecordingDriver::QV58163_info(std::int16_t card, std::int32_t &info) {
    record("QV58163_info" + arguments({card, info}));
    info = 1000 + card;  // something of the driver's own, seen by the next probe
    return cards.count(card) != 0 ? 0 : -1;
}

std::int32_t RecordingDriver::QV58163_AD_config_read(std::int16_t card, std::int16_t channel,
                                                     std::uint8_t &code) {
    record("QV58163_AD_config_read" + arguments({card, channel}));
    if (const auto it = codes.find(channel); it != codes.end()) {
        code = it->second;
    }
    return 0;
}

std::int32_t RecordingDriver::QV58163_AD_config_set(std::int16_t card, std::int16_t channel,
                                                    std::int16_t code) {
    record("QV58163_AD_config_set" + arguments({card, channel, code}));
    return 0;
}

std::int32_t RecordingDriver::QV58163_AD_integral_start(std::int16_t card, std::uint8_t mode) {
    record("QV58163_AD_integral_start" + arguments({card, mode}));
    return 0;
}

std::int32_t RecordingDriver::QV58163_AD_integral_all_read(std::int16_t card,
                                                           std::int16_t *results) {
    record("QV58163_AD_integral_all_read" + arguments({card}));
    return onRead ? onRead(card, results) : 0;
}

std::int32_t RecordingDriver::QV58163_AD_integral_stop(std::int16_t card) {
    record("QV58163_AD_integral_stop" + arguments({card}));
    return 0;
}

CallLog entriesStartingWith(const CallLog &log, const std::string &prefix) {
    CallLog found;
    for (const std::string &entry : log) {
        if (entry.rfind(prefix, 0) == 0) {
            found.push_back(entry);
        }
    }
    return found;
}

bool RecordingDriver::closeIfReachable() noexcept {
    if (!closeReachable) {
        return false;
    }
    QV58163_close();
    return true;
}

}  // namespace qv58163::test
