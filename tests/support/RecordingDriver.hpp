// A driver that answers as a test tells it to and writes every call, with its arguments, to the
// shared log: "QV58163_AD_config_set(2, 6, 255)".
#pragma once

#include <array>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "DriverLibrary.hpp"

namespace qv58163::test {

// One log for the driver's calls and the window's operations together, in the order they happened.
using CallLog = std::vector<std::string>;

// The entries of `log` that start with `prefix` ("QV58163_AD_config_set", "ID."), in order.
CallLog entriesStartingWith(const CallLog &log, const std::string &prefix);

class RecordingDriver final : public qv58163::card::Driver {
public:
    explicit RecordingDriver(CallLog &log) : log_(log) {}

    std::int32_t QV58163_initial() override;
    std::int32_t QV58163_close() override;
    std::int32_t QV58163_info(std::int16_t card, std::int32_t &info) override;
    std::int32_t QV58163_AD_config_read(std::int16_t card, std::int16_t channel,
                                        std::uint8_t &code) override;
    std::int32_t QV58163_AD_config_set(std::int16_t card, std::int16_t channel,
                                       std::int16_t code) override;
    std::int32_t QV58163_AD_integral_start(std::int16_t card, std::uint8_t mode) override;
    std::int32_t QV58163_AD_integral_all_read(std::int16_t card, std::int16_t *results) override;
    std::int32_t QV58163_AD_integral_stop(std::int16_t card) override;
    bool closeIfReachable() noexcept override;

    // Behaviour.
    std::int32_t initialStatus = 0;
    std::set<int> cards = {0};  // card numbers that answer QV58163_info
    // Range codes reported per channel; a channel missing from the map is not written.
    std::map<int, std::uint8_t> codes = {{0, 0}, {1, 0}, {2, 0}, {3, 0},
                                         {4, 0}, {5, 0}, {6, 0}, {7, 0}};
    // What each read writes into the 25 slots (nothing by default) and returns.
    std::function<std::int32_t(std::int16_t card, std::int16_t *results)> onRead;
    bool closeReachable = true;

private:
    void record(const std::string &call) { log_.push_back(call); }
    CallLog &log_;
};

}  // namespace qv58163::test
