// The simulated QV58163 card: settings, signals, conversion, averaging, faults and the call trace.
// The exported C functions in api.cpp only forward to a Driver; everything here can be tested
// without loading the library.
#ifndef QV58163_SIM_CARD_MODEL_HPP
#define QV58163_SIM_CARD_MODEL_HPP

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qv58163sim {

constexpr int kChannels = 8;
constexpr int kResultSlots = 25;
constexpr int kMaxMode = 10;
constexpr int kMaxCard = 255;
// Written to result slots 8..24, which hold no channel: a program that shows them shows this.
constexpr int16_t kUnusedSlotValue = 0x7A5A;

// Range codes as the card reports and accepts them.
constexpr uint8_t kRange0To5V = 0;
constexpr uint8_t kRangePm5V = 1;
constexpr uint8_t kRange0To10V = 2;
constexpr uint8_t kRangePm10V = 3;
constexpr uint8_t kRangeStop = 255;

// Statuses returned by the simulated driver (QV58163_initial returns whatever it is told to).
namespace status {
constexpr int32_t kOk = 0;
constexpr int32_t kNotOpen = -1;      // before a successful QV58163_initial, or after close
constexpr int32_t kNoCard = -2;       // the card number does not answer
constexpr int32_t kBadChannel = -3;   // channel outside 0..7
constexpr int32_t kBadValue = -4;     // range code or mode not accepted
constexpr int32_t kNullPointer = -5;  // an output pointer was null
constexpr int32_t kNotStarted = -6;   // read while integral acquisition is not running
constexpr int32_t kCardLost = -7;     // the card stopped answering (QV58163_SIM_FAIL_AFTER)
constexpr int32_t kNotSupported = -99;
}  // namespace status

using Ranges = std::array<uint8_t, kChannels>;

// One channel's input, in volts, as a function of time.
struct Signal {
    enum class Kind { Dc, Sine, Triangle, Square, Ramp };
    Kind kind = Kind::Dc;
    double amp = 0.0;     // peak deviation from offset, volts
    double offset = 0.0;  // volts (the level itself for Dc)
    double freq = 0.0;    // Hz
    double phase = 0.0;   // degrees

    double at(double seconds) const;
};

struct Settings {
    std::set<int> cards;
    int32_t initial_status = 0;
    Ranges ranges{};
    std::map<int, Ranges> card_ranges;  // QV58163_SIM_RANGES_<n>, only where set
    std::array<Signal, kChannels> signals{};
    double noise = 0.01;
    uint64_t seed = 1;
    std::optional<double> step_ms;  // unset: the real steady clock drives the signals
    std::optional<uint64_t> fail_after;
    std::map<int, uint64_t> card_fail_after;  // QV58163_SIM_FAIL_AFTER_<n>
    double delay_ms = 0.0;
    std::string trace_path;

    Ranges ranges_of(int card) const;
    std::optional<uint64_t> fail_after_of(int card) const;
};

// Looks up an environment variable; nullopt when it is not set at all.
using EnvLookup = std::function<std::optional<std::string>(const std::string &)>;
using WarningSink = std::function<void(const std::string &)>;

Settings default_settings();
// Reads every QV58163_SIM_* variable. A malformed value or entry keeps its default and adds one
// line to `warnings`.
Settings read_settings(const EnvLookup &env, std::vector<std::string> &warnings);

// Parsers for single settings; each returns nullopt (and explains in `error`) when malformed.
std::optional<Signal> parse_signal(const std::string &text, std::string &error);
std::optional<std::set<int>> parse_cards(const std::string &text, std::string &error);

// Samples averaged per reading in integral mode `mode` (0..10): 2^mode.
int conversions_for_mode(int mode);

// One conversion of `volts` on range `range`, clipped at the range ends. Unipolar ranges give
// 0..4095, bipolar ranges -2048..2047; a stopped channel or an unknown code gives 0.
int convert(double volts, uint8_t range);

// Standard normal deviate that depends only on its arguments (counter-based, no hidden state).
double gaussian(uint64_t seed, int card, int channel, uint64_t sample);

// The whole driver: one instance per loaded library. Every call is thread-safe, sleeps for the
// configured delay and appends one line to the trace file if one is configured.
class Driver {
public:
    using Clock = std::chrono::steady_clock;

    explicit Driver(EnvLookup env, WarningSink warn = {});

    int32_t initial();
    int32_t close();
    int32_t info(int16_t card, int32_t *info);
    int32_t config_read(int16_t card, int16_t channel, uint8_t *code);
    int32_t config_set(int16_t card, int16_t channel, int16_t code);
    int32_t integral_start(int16_t card, uint8_t mode);
    int32_t integral_all_read(int16_t card, int16_t *results);
    int32_t integral_stop(int16_t card);
    int32_t value_read();
    int32_t data_read();

    // The info word a present card writes: 0x5816 in the high half, 8 channels and the card number.
    static int32_t info_word(int card);

private:
    struct Card {
        Ranges ranges{};
        bool running = false;
        uint8_t mode = 0;
        uint64_t reads = 0;    // successful integral reads since QV58163_initial
        uint64_t samples = 0;  // conversions made so far, numbering the noise samples
    };

    Card *find_card(int16_t card);
    // The checks every per-card call begins with, in this order: the driver is open, the call's
    // output pointer is given (`output_missing` false), the card answers. Returns the card, or
    // null with `result` set to the first failing check's status.
    Card *checked_card(int16_t card, int32_t &result, bool output_missing = false);
    double signal_time(const Card &card) const;
    void pause() const;
    void trace(const std::string &line);

    EnvLookup env_;
    WarningSink warn_;
    std::mutex mutex_;
    bool initialised_ = false;  // QV58163_initial has been called at least once
    bool open_ = false;
    Settings settings_;
    std::map<int, Card> cards_;
    Clock::time_point started_{};
    std::set<std::string> warned_;  // each warning goes out once per process
};

}  // namespace qv58163sim

#endif  // QV58163_SIM_CARD_MODEL_HPP
