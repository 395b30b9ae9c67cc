// The simulated cards' state behind the driver's calls: which cards answer, their ranges, their
// acquisition, the faults they are told to show, and the trace of every call. The exports in
// api.cpp only forward to one CardModel; everything here can be tested without loading the library.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "Settings.hpp"

namespace qv58163::sim {

// Written to result slots 8..24, which hold no channel: a program that shows them shows this.
inline constexpr std::int16_t unusedSlotValue = 0x7A5A;

// Statuses the simulated driver returns (QV58163_initial returns whatever it is told to).
namespace status {
inline constexpr std::int32_t ok = 0;
inline constexpr std::int32_t notOpen = -1;  // before a successful QV58163_initial, or after close
inline constexpr std::int32_t noCard = -2;   // the card number does not answer
inline constexpr std::int32_t badChannel = -3;   // channel outside 0..7
inline constexpr std::int32_t badValue = -4;     // range code or mode not accepted
inline constexpr std::int32_t nullPointer = -5;  // an output pointer was null
inline constexpr std::int32_t notStarted = -6;   // read while integral acquisition is not running
inline constexpr std::int32_t cardLost = -7;  // the card stopped answering (QV58163_SIM_FAIL_AFTER)
inline constexpr std::int32_t notSupported = -99;
}  // namespace status

using WarningSink = std::function<void(const std::string &)>;

// One instance per loaded library, one method per export. Every call is thread-safe, waits for
// the configured latency and appends one line to the trace file if one is configured.
class CardModel {
public:
    using Clock = std::chrono::steady_clock;

    // `warn` receives each malformed setting once per process; by default it goes to stderr.
    explicit CardModel(EnvLookup env, WarningSink warn = {});

    std::int32_t initial();
    std::int32_t close();
    std::int32_t info(std::int16_t card, std::int32_t *info);
    std::int32_t configRead(std::int16_t card, std::int16_t channel, std::uint8_t *code);
    std::int32_t configSet(std::int16_t card, std::int16_t channel, std::int16_t code);
    std::int32_t integralStart(std::int16_t card, std::uint8_t mode);
    std::int32_t integralAllRead(std::int16_t card, std::int16_t *results);
    std::int32_t integralStop(std::int16_t card);
    std::int32_t valueRead();
    std::int32_t dataRead();

private:
    struct CardState {
        Ranges ranges{};
        bool running = false;
        std::uint8_t mode = 0;
        std::uint64_t reads = 0;    // successful integral reads since QV58163_initial
        std::uint64_t samples = 0;  // conversions made so far, numbering the noise samples
    };

    // The checks every per-card call begins with, in this order: the driver is open, the call's
    // output pointer is given (`outputMissing` false), the card answers. Returns the card, or
    // null with `result` set to the first failing check's status.
    CardState *checkedCard(std::int16_t card, std::int32_t &result, bool outputMissing = false);
    double signalTime(const CardState &card) const;
    void simulateLatency() const;
    std::string tracePath() const;  // empty when nothing is traced
    bool traced() const;            // whether tracePath() is not empty, without a copy
    void trace(const std::string &line);

    EnvLookup env_;
    WarningSink warn_;
    std::mutex mutex_;
    bool initialised_ = false;  // QV58163_initial has been called at least once
    bool open_ = false;
    Settings settings_;
    std::map<int, CardState> cards_;
    Clock::time_point started_{};
    std::set<std::string> warned_;  // each warning goes out once per process
};

}  // namespace qv58163::sim
