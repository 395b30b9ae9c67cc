// Randomized operator runs: thousands of seeded sequences of what an operator can do (START,
// STOP, a range on any channel, another card, another integral mode, timer ticks, the three
// exits) against the recording driver and the window in memory. What must hold across any
// sequence is checked after every step: each refresh reads once, only while acquiring, and leaves
// the captions the exact reference gives for what was read by the ranges shown; nothing else
// changes a caption; nothing runs after the end; the driver is closed exactly once. A failing run
// is shrunk to the shortest sequence that still fails and printed with its seed.
//
//   QV58163_RANDOM_SEED       seed of the run (printed; a fixed default)
//   QV58163_RANDOM_SEQUENCES  number of sequences (default 10000)
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <sstream>

#include "FakePanel.hpp"
#include "Random.h"
#include "Reference.hpp"

namespace qv58163::test {
namespace {

using card::slotCount;
constexpr std::uint64_t defaultSeed = 58163;
constexpr std::uint64_t defaultSequences = 10000;
constexpr int longestSequence = 40;
constexpr int rangeCodes[] = {0, 1, 2, 3, 4, 255};

// --- A sequence -------------------------------------------------------------------------------

enum class Act {
    Start,
    Stop,
    Range,  // an operator's choice of range on one channel
    Card,
    Mode,
    Tick,
    ExitButton,
    ExitMenu,
    CloseWindow,
    // The channel's list loses its choice without a Click. No operator can do this (choosing
    // nothing is refused, see AD_config_Click), but it is the one way to reach a refresh in
    // which a channel leaves the shared voltage as it found it.
    ClearRange,
};

struct Read {
    std::int32_t status = 0;
    std::uint32_t written = 0;  // bit s set: the driver writes slot s
    std::array<std::int16_t, slotCount> values{};
};

struct Step {
    Act act = Act::Tick;
    int channel = 0;  // Range, ClearRange
    int choice = 0;   // Range: position 0..4; Card: entry (modulo the entries); Mode: 0..10
    Read read;        // Tick: what the driver answers, if it is asked
};

struct Setup {
    std::set<int> cards;
    std::array<std::optional<std::uint8_t>, 8> codes;  // none: the read leaves the code alone
    std::string point = ".";
};

struct Sequence {
    Setup setup;
    std::vector<Step> steps;
};

std::string describe(const Step &step) {
    switch (step.act) {
        case Act::Start:
            return "START";
        case Act::Stop:
            return "STOP";
        case Act::Range:
            return "range of CH0" + std::to_string(step.channel) + " -> position " +
                   std::to_string(step.choice);
        case Act::Card:
            return "card entry " + std::to_string(step.choice) + " (modulo the entries)";
        case Act::Mode:
            return "mode " + std::to_string(step.choice);
        case Act::ExitButton:
            return "exit button";
        case Act::ExitMenu:
            return "Exit menu";
        case Act::CloseWindow:
            return "close box";
        case Act::ClearRange:
            return "CH0" + std::to_string(step.channel) + "'s list loses its choice";
        case Act::Tick:
            break;
    }
    std::string text = "tick (read status " + std::to_string(step.read.status) + ", slots";
    for (int s = 0; s < slotCount; ++s) {
        text += (step.read.written >> s & 1u) ? " " + std::to_string(step.read.values[s]) : " -";
    }
    return text + ")";
}

std::string describe(const Setup &setup) {
    std::string text = "cards {";
    for (int card : setup.cards) {
        text += " " + std::to_string(card);
    }
    text += " }, range codes {";
    for (const auto &code : setup.codes) {
        text += code ? " " + std::to_string(*code) : std::string(" unwritten");
    }
    return text + " }, decimal point '" + setup.point + "'";
}

// --- Generating one -----------------------------------------------------------------------------

class Generator {
public:
    explicit Generator(std::uint64_t seed) : rng_(seed) {}

    Sequence next() {
        Sequence sequence;
        Setup &setup = sequence.setup;
        const int cardOdds = pick({0, 20, 20, 20, 50, 100});  // percent of cards that answer
        for (int number = card::lowestCardNumber; number <= card::highestCardNumber; ++number) {
            if (percent(cardOdds)) {
                setup.cards.insert(number);
            }
        }
        for (auto &code : setup.codes) {
            if (!percent(5)) {
                code = static_cast<std::uint8_t>(rangeCodes[below(std::size(rangeCodes))]);
            }
        }
        setup.point = percent(50) ? "." : ",";

        const int length = 1 + static_cast<int>(below(longestSequence));
        for (int k = 0; k < length; ++k) {
            sequence.steps.push_back(nextStep());
        }
        return sequence;
    }

private:
    Step nextStep() {
        Step step;
        const int roll = static_cast<int>(below(1000));
        // Mostly ticks, START and STOP and choices; each exit about one step in a hundred.
        if (roll < 380) {
            step.act = Act::Tick;
            step.read = nextRead();
        } else if (roll < 500) {
            step.act = Act::Start;
        } else if (roll < 590) {
            step.act = Act::Stop;
        } else if (roll < 760) {
            step.act = Act::Range;
            step.channel = static_cast<int>(below(8));
            step.choice = static_cast<int>(below(5));
        } else if (roll < 850) {
            step.act = Act::Card;
            step.choice = static_cast<int>(below(16));
        } else if (roll < 950) {
            step.act = Act::Mode;
            step.choice = static_cast<int>(below(11));
        } else if (roll < 960) {
            step.act = Act::ExitButton;
        } else if (roll < 970) {
            step.act = Act::ExitMenu;
        } else if (roll < 980) {
            step.act = Act::CloseWindow;
        } else {
            step.act = Act::ClearRange;
            step.channel = static_cast<int>(below(8));
        }
        return step;
    }

    Read nextRead() {
        Read read;
        read.status = percent(50) ? 0 : int32();
        const int roll = static_cast<int>(below(10));
        read.written = roll == 0   ? 0u  // nothing written
                       : roll == 1 ? static_cast<std::uint32_t>(rng_()) & ((1u << slotCount) - 1)
                                   : (1u << slotCount) - 1;
        for (int s = 0; s < slotCount; ++s) {
            read.values[s] =
                s < card::channelCount ? channelValue() : static_cast<std::int16_t>(rng_());
        }
        return read;
    }

    // A result slot: the card's own range, the whole 16-bit range, or a value at an edge.
    std::int16_t channelValue() {
        switch (below(3)) {
            case 0:
                return static_cast<std::int16_t>(rng_());
            case 1:
                return static_cast<std::int16_t>(static_cast<int>(below(6144)) - 2048);
            default:
                return static_cast<std::int16_t>(pick(
                    {-32768, 32767, 0, -1, 1, -2048, 2047, 2048, 4095, 4096, -4096, 128, -128}));
        }
    }

    std::uint64_t below(std::uint64_t n) { return rng_() % n; }
    bool percent(int odds) { return static_cast<int>(below(100)) < odds; }
    int pick(std::initializer_list<int> values) { return *(values.begin() + below(values.size())); }
    std::int32_t int32() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(rng_())); }

    std::mt19937_64 rng_;
};

// --- Running one against the program, checking what must hold after every step -----------------

// What the runs reached, so that a change to the generator cannot quietly leave a path out.
struct Coverage {
    std::size_t refreshes = 0;     // reads answered
    std::size_t channelsKept = 0;  // refreshes in which a list had no choice (shared voltage)
    std::size_t exits = 0;
};

// One sequence on the program: the procedures with the window in memory and the recording
// driver, which answers a tick's read with the step's Read.
struct Run {
    explicit Run(const Setup &setup) : setup(setup), panel(QString::fromStdString(setup.point)) {
        panel.driver.cards = setup.cards;
        panel.driver.codes.clear();
        for (int i = 0; i < card::channelCount; ++i) {
            if (setup.codes[i]) {
                panel.driver.codes[i] = *setup.codes[i];
            }
        }
        panel.driver.onRead = [this](std::int16_t, std::int16_t *results) {
            ++reads;
            seen = {};
            if (due == nullptr) {
                return 0;  // a read outside a tick: reported by check()
            }
            for (int s = 0; s < slotCount; ++s) {
                if (due->written >> s & 1u) {
                    results[s] = due->values[s];
                    if (s < card::channelCount) {
                        seen[s] = due->values[s];
                    }
                }
            }
            return due->status;
        };
    }

    // Does what the operator's step says; once the program has ended, only what still reaches it.
    void act(const Step &step) {
        const bool ended = form.endStatus.has_value();
        switch (step.act) {
            case Act::Start:
                form.pressStart();
                acquiring = true;
                break;
            case Act::Stop:
                form.pressStop();
                acquiring = false;
                break;
            case Act::Range:
                if (!ended) {
                    form.config[step.channel]->choose(static_cast<std::int16_t>(step.choice));
                }
                break;
            case Act::ClearRange:
                if (!ended) {
                    form.config[step.channel]->index = -1;
                }
                break;
            case Act::Card:
                if (!ended && !form.id.entries.isEmpty()) {
                    form.id.choose(static_cast<std::int16_t>(step.choice % form.id.entries.size()));
                }
                break;
            case Act::Mode:
                if (!ended) {
                    form.mode.choose(static_cast<std::int16_t>(step.choice));
                }
                break;
            case Act::Tick:
                if (ended) {
                    form.timer.enabled = true;  // a tick that was already due when it ended
                }
                due = &step.read;
                form.tick();
                due = nullptr;
                break;
            case Act::ExitButton:
                form.pressExitButton();
                break;
            case Act::ExitMenu:
                form.chooseExitMenu();
                break;
            case Act::CloseWindow:
                form.closeWindow();
                break;
        }
    }

    // The program as it was before a step, which the step is checked against.
    struct Before {
        bool ended;
        std::size_t logSize;
        int reads;
        QStringList captions;
    };
    Before before() const {
        return {form.endStatus.has_value(), panel.log.size(), reads, form.captions()};
    }

    // What must hold after `step`: nothing ran after the end and no run-time error was reported;
    // a tick while acquiring read once and any other step not at all; after a read every caption
    // is what the rules give for what was read, by the ranges shown now, and otherwise none
    // changed.
    std::optional<std::string> check(const Step &step, const Before &before) const {
        if (before.ended && panel.log.size() != before.logSize) {
            return "\"" + panel.log.back() + "\" ran after the end";
        }
        if (!panel.errors.str().empty()) {
            return "a run-time error was reported: " + panel.errors.str();
        }
        const bool refreshed = reads != before.reads;
        if (refreshed != (step.act == Act::Tick && acquiring && !before.ended) ||
            reads - before.reads > 1) {
            return std::to_string(reads - before.reads) + " reads";
        }
        if (!refreshed) {
            return form.captions() == before.captions
                       ? std::nullopt
                       : std::optional<std::string>("the captions changed without a refresh");
        }
        const auto expected = reference::refresh(seen.data(), positions(), setup.point);
        for (int i = 0; i < card::channelCount; ++i) {
            if (form.values[i].caption.toStdString() != expected[i]) {
                return "advalue(" + std::to_string(i) + ") shows \"" +
                       form.values[i].caption.toStdString() + "\", expected \"" + expected[i] +
                       "\"";
            }
        }
        return std::nullopt;
    }

    std::array<int, 8> positions() const {
        std::array<int, 8> shown{};
        for (int i = 0; i < card::channelCount; ++i) {
            shown[i] = form.config[i]->index;
        }
        return shown;
    }

    const Setup &setup;
    FakePanel panel;
    FakeForm &form = panel.form;
    const Read *due = nullptr;  // the read the current tick answers with
    int reads = 0;
    std::array<std::int16_t, 8> seen{};  // slots 0..7 after the last read: unwritten is 0
    bool acquiring = false;              // the last of START and STOP was START
};

// Runs `sequence` on the program; returns the first thing that failed to hold.
std::optional<std::string> execute(const Sequence &sequence, Coverage *coverage = nullptr) {
    Run run(sequence.setup);
    run.form.load();
    if (run.form.endStatus || !run.panel.errors.str().empty()) {
        return "start-up ended the program: " + run.panel.errors.str();
    }
    for (std::size_t k = 0; k < sequence.steps.size(); ++k) {
        const Step &step = sequence.steps[k];
        const Run::Before before = run.before();
        run.act(step);
        if (const auto failure = run.check(step, before)) {
            return "after step " + std::to_string(k + 1) + " (" + describe(step).substr(0, 40) +
                   "): " + *failure;
        }
        if (coverage != nullptr && run.reads != before.reads) {
            ++coverage->refreshes;
            const std::array<int, 8> shown = run.positions();
            coverage->channelsKept += std::count(shown.begin(), shown.end(), -1) > 0 ? 1 : 0;
        }
    }
    // The driver is closed exactly once when the program ends, and not before.
    const std::size_t closes = run.panel.entries("QV58163_close").size();
    if (closes != (run.form.endStatus ? 1u : 0u)) {
        return "the driver was closed " + std::to_string(closes) + " times";
    }
    if (run.form.endStatus && *run.form.endStatus != 0) {
        return "ended with status " + std::to_string(*run.form.endStatus);
    }
    if (coverage != nullptr && run.form.endStatus) {
        ++coverage->exits;
    }
    return std::nullopt;
}

// Removes steps one at a time as long as the sequence still fails: the shortest failing run.
Sequence shrink(Sequence failing) {
    for (bool smaller = true; smaller;) {
        smaller = false;
        for (std::size_t k = 0; k < failing.steps.size(); ++k) {
            Sequence candidate = failing;
            candidate.steps.erase(candidate.steps.begin() + static_cast<std::ptrdiff_t>(k));
            if (execute(candidate)) {
                failing = std::move(candidate);
                smaller = true;
                break;
            }
        }
    }
    return failing;
}

std::uint64_t sequenceSeed(std::uint64_t seed, std::uint64_t index) {
    // The index-th output of splitmix64 from `seed`: neighbouring sequences get unrelated
    // generators.
    std::uint64_t state = seed + 0x9E3779B97F4A7C15ull * index;
    return splitMix64(&state);
}

TEST(OperatorRuns, WhatMustHoldHoldsAfterEveryStepOfRandomSequences) {
    const std::uint64_t seed = environmentNumber("QV58163_RANDOM_SEED", defaultSeed);
    const std::uint64_t count = environmentNumber("QV58163_RANDOM_SEQUENCES", defaultSequences);
    std::cout << "QV58163_RANDOM_SEED=" << seed << " QV58163_RANDOM_SEQUENCES=" << count
              << std::endl;

    std::size_t steps = 0;
    Coverage coverage;
    for (std::uint64_t index = 0; index < count; ++index) {
        Generator generator(sequenceSeed(seed, index));
        const Sequence sequence = generator.next();
        if (const auto failure = execute(sequence, &coverage)) {
            const Sequence shortest = shrink(sequence);
            std::ostringstream report;
            report << "QV58163_RANDOM_SEED=" << seed << ", sequence " << index
                   << " fails: " << *failure
                   << "\nshortest failing sequence: " << describe(shortest.setup) << "\n";
            for (std::size_t k = 0; k < shortest.steps.size(); ++k) {
                report << "  " << k + 1 << ". " << describe(shortest.steps[k]) << "\n";
            }
            report << "which fails " << execute(shortest).value_or("(no longer)");
            FAIL() << report.str();
        }
        steps += sequence.steps.size();
    }
    std::cout << count << " sequences, " << steps << " steps, " << coverage.refreshes
              << " refreshes (" << coverage.channelsKept << " with a list left without a choice), "
              << coverage.exits << " exits" << std::endl;
    if (count >= defaultSequences) {
        EXPECT_GT(coverage.refreshes, count);
        EXPECT_GT(coverage.channelsKept, 0u);
        EXPECT_GT(coverage.exits, count / 10);
    }
}

}  // namespace
}  // namespace qv58163::test
