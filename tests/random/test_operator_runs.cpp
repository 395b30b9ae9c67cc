// Randomized operator runs: thousands of seeded sequences of what an operator can do (START,
// STOP, a range on any channel, another card, another integral mode, timer ticks, the three
// exits) against the recording driver and the window in memory. After every step the whole log of
// driver calls and window operations must equal what a model built from the program's rules
// expects, and every caption must equal the reference's text for the last read. A failing run is
// shrunk to the shortest sequence that still fails and printed with its seed.
//
//   QV58163_RANDOM_SEED       seed of the run (printed; a fixed default)
//   QV58163_RANDOM_SEQUENCES  number of sequences (default 10000)
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <sstream>

#include "FakeForm.hpp"
#include "RecordingDriver.hpp"
#include "Reference.hpp"

namespace qv58163::test {
namespace {

constexpr int kSlots = QV58163_RESULT_SLOTS;
constexpr std::uint64_t kDefaultSeed = 58163;
constexpr std::uint64_t kDefaultSequences = 10000;
constexpr int kLongestSequence = 40;
constexpr int kRangeCodes[] = {0, 1, 2, 3, 4, 255};

std::uint64_t EnvNumber(const char *name, std::uint64_t fallback) {
    const char *text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}

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
    std::array<std::int16_t, kSlots> values{};
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
    std::int32_t initialStatus = 0;
    std::string point = ".";
};

struct Sequence {
    Setup setup;
    std::vector<Step> steps;
};

std::string Describe(const Step &step) {
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
    for (int s = 0; s < kSlots; ++s) {
        text += (step.read.written >> s & 1u) ? " " + std::to_string(step.read.values[s]) : " -";
    }
    return text + ")";
}

std::string Describe(const Setup &setup) {
    std::string text = "cards {";
    for (int card : setup.cards) {
        text += " " + std::to_string(card);
    }
    text += " }, range codes {";
    for (const auto &code : setup.codes) {
        text += code ? " " + std::to_string(*code) : std::string(" unwritten");
    }
    return text + " }, initial status " + std::to_string(setup.initialStatus) +
           ", decimal point '" + setup.point + "'";
}

// --- Generating one -----------------------------------------------------------------------------

class Generator {
public:
    explicit Generator(std::uint64_t seed) : rng_(seed) {}

    Sequence Next() {
        Sequence sequence;
        Setup &setup = sequence.setup;
        const int cardOdds = Pick({0, 20, 20, 20, 50, 100});  // percent of cards that answer
        for (int card = 0; card <= 15; ++card) {
            if (Percent(cardOdds)) {
                setup.cards.insert(card);
            }
        }
        for (auto &code : setup.codes) {
            if (!Percent(5)) {
                code = static_cast<std::uint8_t>(kRangeCodes[Below(std::size(kRangeCodes))]);
            }
        }
        if (Percent(2)) {
            setup.initialStatus = Percent(50) ? Pick({3, -7, -1, 1}) : Int32();
            if (setup.initialStatus == 0) {
                setup.initialStatus = 1;
            }
        }
        setup.point = Percent(50) ? "." : ",";

        const int length = 1 + static_cast<int>(Below(kLongestSequence));
        for (int k = 0; k < length; ++k) {
            sequence.steps.push_back(NextStep());
        }
        return sequence;
    }

private:
    Step NextStep() {
        Step step;
        const int roll = static_cast<int>(Below(1000));
        // Mostly ticks, START and STOP and choices; each exit about one step in a hundred.
        if (roll < 380) {
            step.act = Act::Tick;
            step.read = NextRead();
        } else if (roll < 500) {
            step.act = Act::Start;
        } else if (roll < 590) {
            step.act = Act::Stop;
        } else if (roll < 760) {
            step.act = Act::Range;
            step.channel = static_cast<int>(Below(8));
            step.choice = static_cast<int>(Below(5));
        } else if (roll < 850) {
            step.act = Act::Card;
            step.choice = static_cast<int>(Below(16));
        } else if (roll < 950) {
            step.act = Act::Mode;
            step.choice = static_cast<int>(Below(11));
        } else if (roll < 960) {
            step.act = Act::ExitButton;
        } else if (roll < 970) {
            step.act = Act::ExitMenu;
        } else if (roll < 980) {
            step.act = Act::CloseWindow;
        } else {
            step.act = Act::ClearRange;
            step.channel = static_cast<int>(Below(8));
        }
        return step;
    }

    Read NextRead() {
        Read read;
        read.status = Percent(50) ? 0 : Int32();
        const int roll = static_cast<int>(Below(10));
        read.written = roll == 0   ? 0u  // nothing written
                       : roll == 1 ? static_cast<std::uint32_t>(rng_()) & ((1u << kSlots) - 1)
                                   : (1u << kSlots) - 1;
        for (int s = 0; s < kSlots; ++s) {
            read.values[s] = s < 8 ? ChannelValue() : static_cast<std::int16_t>(rng_());
        }
        return read;
    }

    // A result slot: the card's own range, the whole 16-bit range, or a value at an edge.
    std::int16_t ChannelValue() {
        switch (Below(3)) {
            case 0:
                return static_cast<std::int16_t>(rng_());
            case 1:
                return static_cast<std::int16_t>(static_cast<int>(Below(6144)) - 2048);
            default:
                return static_cast<std::int16_t>(Pick(
                    {-32768, 32767, 0, -1, 1, -2048, 2047, 2048, 4095, 4096, -4096, 128, -128}));
        }
    }

    std::uint64_t Below(std::uint64_t n) { return rng_() % n; }
    bool Percent(int odds) { return static_cast<int>(Below(100)) < odds; }
    int Pick(std::initializer_list<int> values) { return *(values.begin() + Below(values.size())); }
    std::int32_t Int32() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(rng_())); }

    std::mt19937_64 rng_;
};

// --- The model: what the rules say happens ----------------------------------------------------

class Model {
public:
    explicit Model(const Setup &setup) : setup_(setup) { captions.fill("0.00000"); }

    void load() {
        Add("AD_Mode.ListIndex = 1");
        Add("QV58163_initial()");
        if (setup_.initialStatus != 0) {
            const std::int32_t s = setup_.initialStatus;
            Add("messageBox \"QV58163 initial fail ! (Error#" + (s < 0 ? "" : std::string(" ")) +
                std::to_string(s) + ")\"");
            Add("QV58163_close()");
            Add("Unload");
            Add("QV58163_close()");
            Finish(2);
            return;
        }
        std::int32_t info = 0;
        for (int n = 0; n <= 15; ++n) {
            Add("QV58163_info(" + std::to_string(n) + ", " + std::to_string(info) + ")");
            info = 1000 + n;  // what the recording driver leaves in the word
            if (setup_.cards.count(n) != 0) {
                entries_.push_back(n);
                Add("ID.AddItem \" " + std::to_string(n) + "\"");
                Add("ID.ListIndex = 0");
                if (idIndex_ != 0) {
                    idIndex_ = 0;
                    Add("ID_Click");
                }
                card_ = n;
            }
        }
        for (int i = 0; i < 8; ++i) {
            Add("QV58163_AD_config_read(" + std::to_string(card_) + ", " + std::to_string(i) + ")");
            const int code = setup_.codes[i].value_or(0);  // unwritten: the table's 0 stays
            const int position = code == 255 ? 4 : code;
            Add("AD_config(" + std::to_string(i) + ").ListIndex = " + std::to_string(position));
            SetRange(i, position);
        }
    }

    void Apply(const Step &step) {
        if (ended_) {
            return;  // nothing runs after the end
        }
        switch (step.act) {
            case Act::Start:
                Add("QV58163_AD_integral_start(" + std::to_string(card_) + ", " +
                    std::to_string(mode_) + ")");
                Add("Timer1.Enabled = True");
                timerOn_ = true;
                break;
            case Act::Stop:
                Add("QV58163_AD_integral_stop(" + std::to_string(card_) + ")");
                Add("Timer1.Enabled = False");
                timerOn_ = false;
                break;
            case Act::Range:
                if (step.choice != positions_[step.channel]) {
                    SetRange(step.channel, step.choice);
                }
                break;
            case Act::ClearRange:
                positions_[step.channel] = -1;
                break;
            case Act::Card:
                if (!entries_.empty()) {
                    const int entry = step.choice % static_cast<int>(entries_.size());
                    if (entry != idIndex_) {
                        idIndex_ = entry;
                        Add("ID_Click");
                        card_ = entries_[entry];
                    }
                }
                break;
            case Act::Mode:
                mode_ = step.choice;  // read by the next START, no event of its own
                break;
            case Act::Tick:
                if (timerOn_) {
                    Add("QV58163_AD_integral_all_read(" + std::to_string(card_) + ")");
                    std::array<std::int16_t, 8> seen{};
                    for (int s = 0; s < 8; ++s) {
                        seen[s] = (step.read.written >> s & 1u) ? step.read.values[s] : 0;
                    }
                    captions = reference::Refresh(seen.data(), positions_, setup_.point);
                }
                break;
            case Act::ExitButton:
            case Act::ExitMenu:
                Add("QV58163_close()");
                Finish(0);
                break;
            case Act::CloseWindow:
                Add("Unload");
                Add("QV58163_close()");
                Finish(0);
                break;
        }
    }

    bool ended() const { return ended_; }
    bool HasCards() const { return !entries_.empty(); }

    CallLog log;
    std::array<std::string, 8> captions;
    std::optional<int> endStatus;

private:
    void Add(std::string entry) { log.push_back(std::move(entry)); }

    // The position is set (from code or by the operator) and its Click writes the range back.
    void SetRange(int channel, int position) {
        positions_[channel] = position;
        Add("AD_config_Click(" + std::to_string(channel) + ")");
        Add("QV58163_AD_config_set(" + std::to_string(card_) + ", " + std::to_string(channel) +
            ", " + std::to_string(position == 4 ? 255 : position) + ")");
    }

    void Finish(int status) {
        Add("End " + std::to_string(status));
        endStatus = status;
        ended_ = true;
        timerOn_ = false;
    }

    const Setup &setup_;
    std::vector<int> entries_;  // card numbers in the card list
    int idIndex_ = -1;
    int card_ = 0;
    int mode_ = 1;
    std::array<int, 8> positions_{-1, -1, -1, -1, -1, -1, -1, -1};
    bool timerOn_ = false;
    bool ended_ = false;
};

// --- Running one against the program ----------------------------------------------------------

// What the runs reached, so that a change to the generator cannot quietly leave a path out.
struct Coverage {
    std::size_t refreshes = 0;        // reads answered
    std::size_t channelsKept = 0;     // refreshes in which a list had no choice (shared voltage)
    std::map<int, std::size_t> ends;  // by status
};

// Runs `sequence` on the program and the model side by side; returns what first differed.
std::optional<std::string> Execute(const Sequence &sequence, Coverage *coverage = nullptr) {
    const Setup &setup = sequence.setup;
    CallLog log;
    RecordingDriver driver(log);
    FakeForm form(log);
    Module1 module1;
    std::ostringstream errors;
    MainProcedures procedures(form, driver, module1, QString::fromStdString(setup.point), errors);

    driver.initialStatus = setup.initialStatus;
    driver.cards = setup.cards;
    driver.codes.clear();
    for (int i = 0; i < 8; ++i) {
        if (setup.codes[i]) {
            driver.codes[i] = *setup.codes[i];
        }
    }
    const Read *due = nullptr;  // the read the current tick answers with
    int reads = 0;
    driver.onRead = [&](std::int16_t, std::int16_t *results) {
        ++reads;
        if (due == nullptr) {
            return 0;  // a read outside a tick: the log comparison reports it
        }
        for (int s = 0; s < kSlots; ++s) {
            if (due->written >> s & 1u) {
                results[s] = due->values[s];
            }
        }
        return due->status;
    };

    Model model(setup);
    std::size_t checked = 0;
    // Compares everything the program did since the last check, and the whole window.
    const auto check = [&](const std::string &when) -> std::optional<std::string> {
        for (; checked < std::max(log.size(), model.log.size()); ++checked) {
            const std::string got = checked < log.size() ? log[checked] : "(nothing)";
            const std::string want = checked < model.log.size() ? model.log[checked] : "(nothing)";
            if (got != want) {
                return when + ": log entry " + std::to_string(checked) + " is \"" + got +
                       "\", expected \"" + want + "\"";
            }
        }
        for (int i = 0; i < 8; ++i) {
            const std::string caption = form.values[i].caption.toStdString();
            if (caption != model.captions[i]) {
                return when + ": advalue(" + std::to_string(i) + ") shows \"" + caption +
                       "\", expected \"" + model.captions[i] + "\"";
            }
        }
        if (form.endStatus != model.endStatus) {
            return when + ": end status " +
                   (form.endStatus ? std::to_string(*form.endStatus) : "none") + ", expected " +
                   (model.endStatus ? std::to_string(*model.endStatus) : "none");
        }
        if (!errors.str().empty()) {
            return when + ": a run-time error was reported: " + errors.str();
        }
        return std::nullopt;
    };

    form.attach(procedures);
    form.load();
    model.load();
    if (auto failure = check("after start-up")) {
        return failure;
    }
    for (std::size_t k = 0; k < sequence.steps.size(); ++k) {
        const Step &step = sequence.steps[k];
        const bool windowGone = form.endStatus.has_value();
        const int readsBefore = reads;
        switch (step.act) {
            case Act::Start:
                form.PressStart();
                break;
            case Act::Stop:
                form.PressStop();
                break;
            case Act::Range:
                if (!windowGone) {
                    form.config[step.channel]->Choose(static_cast<std::int16_t>(step.choice));
                }
                break;
            case Act::ClearRange:
                if (!windowGone) {
                    form.config[step.channel]->index = -1;
                }
                break;
            case Act::Card:
                if (!windowGone && !form.id.entries.isEmpty()) {
                    form.id.Choose(static_cast<std::int16_t>(step.choice % form.id.entries.size()));
                }
                break;
            case Act::Mode:
                if (!windowGone) {
                    form.mode.Choose(static_cast<std::int16_t>(step.choice));
                }
                break;
            case Act::Tick:
                if (windowGone) {
                    form.timer.enabled = true;  // a tick that was already due when it ended
                }
                due = &step.read;
                form.Tick();
                due = nullptr;
                break;
            case Act::ExitButton:
                form.PressExitButton();
                break;
            case Act::ExitMenu:
                form.ChooseExitMenu();
                break;
            case Act::CloseWindow:
                form.CloseWindow();
                break;
        }
        model.Apply(step);
        const std::string when =
            "after step " + std::to_string(k + 1) + " (" + Describe(step).substr(0, 40) + ")";
        if (step.act != Act::Tick && reads != readsBefore) {
            return when + ": the driver was read outside a tick";
        }
        if (auto failure = check(when)) {
            return failure;
        }
        if (coverage != nullptr && reads != readsBefore) {
            ++coverage->refreshes;
            for (int i = 0; i < 8; ++i) {
                if (form.config[i]->index == -1) {
                    ++coverage->channelsKept;
                    break;
                }
            }
        }
    }
    if (coverage != nullptr && form.endStatus) {
        ++coverage->ends[*form.endStatus];
    }
    return std::nullopt;
}

// Removes steps one at a time as long as the sequence still fails: the shortest failing run.
Sequence Shrink(Sequence failing) {
    for (bool smaller = true; smaller;) {
        smaller = false;
        for (std::size_t k = 0; k < failing.steps.size(); ++k) {
            Sequence candidate = failing;
            candidate.steps.erase(candidate.steps.begin() + static_cast<std::ptrdiff_t>(k));
            if (Execute(candidate)) {
                failing = std::move(candidate);
                smaller = true;
                break;
            }
        }
    }
    return failing;
}

std::uint64_t SequenceSeed(std::uint64_t seed, std::uint64_t index) {
    // splitmix64 of (seed, index): neighbouring sequences get unrelated generators.
    std::uint64_t z = seed + 0x9E3779B97F4A7C15ull * (index + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

TEST(OperatorRuns, EveryStepOfRandomSequencesMatchesTheRules) {
    const std::uint64_t seed = EnvNumber("QV58163_RANDOM_SEED", kDefaultSeed);
    const std::uint64_t count = EnvNumber("QV58163_RANDOM_SEQUENCES", kDefaultSequences);
    std::cout << "QV58163_RANDOM_SEED=" << seed << " QV58163_RANDOM_SEQUENCES=" << count
              << std::endl;

    std::size_t steps = 0;
    Coverage coverage;
    for (std::uint64_t index = 0; index < count; ++index) {
        Generator generator(SequenceSeed(seed, index));
        const Sequence sequence = generator.Next();
        if (const auto failure = Execute(sequence, &coverage)) {
            const Sequence shortest = Shrink(sequence);
            std::ostringstream report;
            report << "QV58163_RANDOM_SEED=" << seed << ", sequence " << index
                   << " fails: " << *failure
                   << "\nshortest failing sequence: " << Describe(shortest.setup) << "\n";
            for (std::size_t k = 0; k < shortest.steps.size(); ++k) {
                report << "  " << k + 1 << ". " << Describe(shortest.steps[k]) << "\n";
            }
            report << "which fails " << Execute(shortest).value_or("(no longer)");
            FAIL() << report.str();
        }
        steps += sequence.steps.size();
    }
    std::cout << count << " sequences, " << steps << " steps, " << coverage.refreshes
              << " refreshes (" << coverage.channelsKept << " with a list left without a choice), "
              << coverage.ends[0] << " exits, " << coverage.ends[2] << " failed start-ups"
              << std::endl;
    if (count >= kDefaultSequences) {
        EXPECT_GT(coverage.refreshes, count);
        EXPECT_GT(coverage.channelsKept, 0u);
        EXPECT_GT(coverage.ends[0], count / 10);
        EXPECT_GT(coverage.ends[2], 0u);
        EXPECT_EQ(coverage.ends.size(), 2u) << "no run-time error in an operator's run";
    }
}

}  // namespace
}  // namespace qv58163::test
