// The program on a hostile driver: random statuses from every export, random values in all 25
// result slots (or none written), an information word that changes at every probe, range codes
// from 0..3, 4 and 255. It must keep working and show exactly what the rules give for what the
// driver wrote, which the driver logs. Then the only ways it may end: a range code no entry can
// show, a missing export, a missing library and the driver failing to open, each through the
// real dynamic loading.
//
//   QV58163_HOSTILE_SEED  seed of the driver and of the operator's actions (printed; default 1)
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <optional>
#include <random>

#include "Program.hpp"
#include "Reference.hpp"

namespace qv58163::test {
namespace {

const QString kHostileDir = QStringLiteral(QV58163_HOSTILE_DIR);
const QString kNoStopDir = QStringLiteral(QV58163_NO_STOP_DIR);

// The seed given to the run, taken before any test sets the driver's own variable.
const std::uint64_t kGivenSeed = [] {
    const char *given = std::getenv("QV58163_HOSTILE_SEED");
    return given != nullptr && *given != '\0' ? std::strtoull(given, nullptr, 0) : 1;
}();

// One line of the hostile driver's log: "config_set 5 3 255 -> -17".
struct Call {
    std::string name;
    std::vector<long long> args;
    std::array<std::optional<std::int16_t>, QV58163_RESULT_SLOTS> written;  // read: each slot
    long long status = 0;

    // The call without its answer, e.g. "config_set 5 3 255", "read 5".
    std::string text() const {
        std::string t = name;
        for (std::size_t k = 0; k < (name == "read" ? 1 : args.size()); ++k) {
            t += " " + std::to_string(args[k]);
        }
        return t;
    }
    // What the program's zeroed buffer holds after the read: slots 0 to 7.
    std::array<std::int16_t, 8> channels() const {
        std::array<std::int16_t, 8> values{};
        for (int s = 0; s < 8; ++s) {
            values[s] = written[s].value_or(0);
        }
        return values;
    }
};

// Reads what the driver appended to its log since the last look.
class DriverLog {
public:
    explicit DriverLog(QString path) : path_(std::move(path)) {}

    std::vector<Call> Next() {
        QFile file(path_);
        std::vector<Call> calls;
        if (!file.open(QIODevice::ReadOnly)) {
            return calls;
        }
        file.seek(offset_);
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            if (!line.endsWith('\n')) {
                break;  // not written to the end yet: taken next time
            }
            offset_ += line.size();
            calls.push_back(Parse(line.trimmed().toStdString()));
        }
        return calls;
    }

private:
    static Call Parse(const std::string &line) {
        std::istringstream in(line);
        Call call;
        in >> call.name;
        std::string token;
        int slot = 0;
        while (in >> token && token != "->") {
            if (call.name == "read" && !call.args.empty()) {
                if (token != "-") {
                    call.written[slot] = static_cast<std::int16_t>(std::stoi(token));
                }
                ++slot;
            } else {
                call.args.push_back(std::stoll(token));
            }
        }
        in >> call.status;
        return call;
    }

    QString path_;
    qint64 offset_ = 0;
};

std::vector<std::string> Texts(const std::vector<Call> &calls) {
    std::vector<std::string> texts;
    for (const Call &call : calls) {
        texts.push_back(call.text());
    }
    return texts;
}

std::vector<std::string> Expected(const std::array<std::int16_t, 8> &values,
                                  const std::array<int, 8> &positions) {
    const auto texts = reference::Refresh(values.data(), positions, ".");
    return {texts.begin(), texts.end()};
}

bool SystemHasADriver() {
    void *handle = dlopen("libQV58163.so", RTLD_NOW);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("QV58163_HOSTILE_LOG", logPath().toLocal8Bit());
        qunsetenv("QV58163_HOSTILE_RANGE");
        qunsetenv("QV58163_HOSTILE_INITIAL");
    }
    QString logPath() const { return dir.filePath(QStringLiteral("driver.log")); }

    QTemporaryDir dir;
    DriverLog log{logPath()};
};

// What start-up left: the card list, the card and the positions the driver's codes gave.
struct Loaded {
    std::vector<int> cards;
    int card = 0;
    std::array<int, 8> positions{};
};

// Checks start-up against the driver's log, call by call.
Loaded CheckStartUp(Program &program, const std::vector<Call> &calls) {
    Loaded loaded;
    EXPECT_EQ(calls.size(), 1u + 16u + 16u);
    if (calls.size() != 1u + 16u + 16u) {
        return loaded;
    }
    EXPECT_EQ(calls[0].text(), "initial");
    long long info = 0;
    for (int n = 0; n <= 15; ++n) {
        const Call &probe = calls[1 + n];
        EXPECT_EQ(probe.name, "info");
        EXPECT_EQ(probe.args[0], n);
        EXPECT_EQ(probe.args[1], info) << "each probe sees what the one before left in the word";
        info = probe.args[2];
        if (probe.status == 0) {
            loaded.cards.push_back(n);
            loaded.card = n;
        }
    }
    std::vector<std::string> entries;
    for (int card : loaded.cards) {
        entries.push_back(" " + std::to_string(card));
    }
    std::vector<std::string> shown;
    for (int k = 0; k < program.rig.window.idBox()->count(); ++k) {
        shown.push_back(program.rig.window.idBox()->itemText(k).toStdString());
    }
    EXPECT_EQ(shown, entries);
    EXPECT_EQ(program.rig.window.idBox()->currentIndex(), loaded.cards.empty() ? -1 : 0);
    for (int i = 0; i < 8; ++i) {
        const Call &read = calls[17 + 2 * i];
        const Call &set = calls[18 + 2 * i];
        const long long code = read.args[2];
        loaded.positions[i] = code == 255 ? 4 : static_cast<int>(code);
        EXPECT_EQ(read.text(), "config_read " + std::to_string(loaded.card) + " " +
                                   std::to_string(i) + " " + std::to_string(code));
        EXPECT_EQ(set.text(), "config_set " + std::to_string(loaded.card) + " " +
                                  std::to_string(i) + " " +
                                  std::to_string(loaded.positions[i] == 4 ? 255 : code));
        EXPECT_EQ(program.rig.window.configBox(i)->currentIndex(), loaded.positions[i]);
    }
    return loaded;
}

class KeepsWorking : public Hostile, public ::testing::WithParamInterface<int> {};

TEST_P(KeepsWorking, ShowsExactlyWhatTheRulesGiveForWhatTheDriverWrote) {
    const std::uint64_t seed = kGivenSeed + static_cast<std::uint64_t>(GetParam());
    std::cout << "hostile driver seed " << seed << std::endl;
    qputenv("QV58163_HOSTILE_SEED", QByteArray::number(static_cast<qulonglong>(seed)));

    Program program(kHostileDir);
    program.rig.window.load();
    ASSERT_TRUE(program.rig.endStatuses.empty()) << program.shown();
    program.rig.window.show();
    Loaded loaded = CheckStartUp(program, log.Next());
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(program.captions(), std::vector<std::string>(8, "0.00000"));

    int card = loaded.card;  // the last card found, though the list shows the first
    int entryShown = loaded.cards.empty() ? -1 : 0;
    int mode = 1;
    std::array<int, 8> &positions = loaded.positions;
    std::optional<Call> lastRead;

    // Checks one refresh: exactly one read, of the card chosen now, shown by the rules.
    const auto checkRead = [&](const std::vector<Call> &calls) {
        ASSERT_EQ(Texts(calls), std::vector<std::string>{"read " + std::to_string(card)});
        lastRead = calls[0];
        EXPECT_EQ(program.captions(), Expected(calls[0].channels(), positions));
    };

    // The operator at work, with refreshes entered directly.
    std::mt19937_64 rng(seed);
    for (int step = 0; step < 2000; ++step) {
        std::vector<std::string> expected;
        const int roll = static_cast<int>(rng() % 100);
        if (roll < 60) {
            program.Tick();
            checkRead(log.Next());
            ASSERT_FALSE(HasFailure()) << "step " << step;
            continue;
        }
        if (roll < 75) {
            const int channel = static_cast<int>(rng() % 8);
            const int position = static_cast<int>(rng() % 5);
            program.rig.window.configBox(channel)->setCurrentIndex(position);
            if (position != positions[channel]) {
                positions[channel] = position;
                expected.push_back("config_set " + std::to_string(card) + " " +
                                   std::to_string(channel) + " " +
                                   std::to_string(position == 4 ? 255 : position));
            }
        } else if (roll < 82) {
            if (!loaded.cards.empty()) {
                const int entry = static_cast<int>(rng() % loaded.cards.size());
                program.rig.window.idBox()->setCurrentIndex(entry);
                if (entry != entryShown) {  // only a change is a choice
                    entryShown = entry;
                    card = loaded.cards[entry];
                }
            }
        } else if (roll < 88) {
            mode = static_cast<int>(rng() % 11);
            program.rig.window.modeBox()->setCurrentIndex(mode);
        } else if (roll < 94) {
            program.rig.window.startButton()->click();
            expected.push_back("start " + std::to_string(card) + " " + std::to_string(mode));
            EXPECT_TRUE(program.rig.window.timer()->isActive());
        } else {
            program.rig.window.stopButton()->click();
            expected.push_back("stop " + std::to_string(card));
            EXPECT_FALSE(program.rig.window.timer()->isActive());
        }
        ASSERT_EQ(Texts(log.Next()), expected) << "step " << step;
        ASSERT_TRUE(program.messages().empty()) << program.shown();
        ASSERT_TRUE(program.rig.endStatuses.empty());
    }

    // The real timer: each of its ticks is checked as it comes, after the window has answered it.
    program.rig.window.startButton()->click();
    ASSERT_EQ(Texts(log.Next()), std::vector<std::string>{"start " + std::to_string(card) + " " +
                                                          std::to_string(mode)});
    int ticks = 0;
    QObject::connect(program.rig.window.timer(), &QTimer::timeout, &program.rig.window, [&] {
        ++ticks;
        checkRead(log.Next());
    });
    ASSERT_TRUE(WindowRig::WaitUntil([&ticks] { return ticks >= 5; }, 30000))
        << "the timer ticked " << ticks << " times in 30 s";
    program.rig.window.stopButton()->click();
    ASSERT_EQ(Texts(log.Next()), std::vector<std::string>{"stop " + std::to_string(card)});
    const std::vector<std::string> shown = program.captions();
    WindowRig::Pump(300);
    EXPECT_TRUE(log.Next().empty()) << "no refresh once stopped";
    EXPECT_EQ(program.captions(), shown);
    ASSERT_TRUE(lastRead.has_value());
    EXPECT_EQ(shown, Expected(lastRead->channels(), positions));

    // Whatever the driver answered, the exit button closes it and ends with 0, without a stop.
    program.rig.window.exitButton()->click();
    EXPECT_EQ(Texts(log.Next()), std::vector<std::string>{"close"});
    EXPECT_EQ(program.rig.endStatuses, std::vector<int>{0});
    EXPECT_TRUE(program.messages().empty());
    program.Tick();
    EXPECT_TRUE(log.Next().empty()) << "nothing runs after the end";
}

INSTANTIATE_TEST_SUITE_P(Seeds, KeepsWorking, ::testing::Values(0, 1, 2));

// --- The ways it may end ------------------------------------------------------------------------

TEST_F(Hostile, ARangeCodeNoEntryCanShowEndsThroughTheRunTimeErrorReport) {
    qputenv("QV58163_HOSTILE_RANGE", "3:7");
    Program program(kHostileDir);
    program.rig.window.load();

    const std::string report = "Run-time error: position 7 is outside the list AD_config(3)";
    EXPECT_EQ(program.messages(), std::vector<std::string>{report});
    EXPECT_EQ(program.rig.errors.str(), report + "\n");
    EXPECT_EQ(program.rig.endStatuses, std::vector<int>{1});
    EXPECT_EQ(program.rig.window.endStatus(), 1);

    const std::vector<Call> calls = log.Next();
    ASSERT_EQ(calls.size(), 1u + 16u + 3u * 2u + 1u + 1u);
    const std::vector<std::string> texts = Texts(calls);
    const std::vector<std::string> last(texts.end() - 2, texts.end());
    const int card = static_cast<int>(calls.end()[-2].args[0]);
    EXPECT_EQ(last,
              (std::vector<std::string>{"config_read " + std::to_string(card) + " 3 7", "close"}));

    program.rig.window.startButton()->click();
    program.Tick();
    program.rig.window.close();
    EXPECT_TRUE(log.Next().empty()) << "nothing runs after the end";
    EXPECT_EQ(program.rig.endStatuses.size(), 1u);
}

TEST_F(Hostile, AMissingExportEndsTheProgramWhenItIsFirstNeeded) {
    const QString trace = dir.filePath(QStringLiteral("no_stop.log"));
    qputenv("QV58163_TEST_LOG", trace.toLocal8Bit());
    Program program(kNoStopDir);
    program.rig.window.load();
    ASSERT_TRUE(program.rig.endStatuses.empty());
    program.rig.window.startButton()->click();
    program.Tick();
    // The test driver reads 100 x (i + 1) on channel i, whose range code is i % 4.
    EXPECT_EQ(program.captions(),
              Expected({100, 200, 300, 400, 500, 600, 700, 800}, {0, 1, 2, 3, 0, 1, 2, 3}));
    ASSERT_TRUE(program.messages().empty());

    program.rig.window.stopButton()->click();
    const std::string report =
        "Run-time error: the driver library has no export QV58163_AD_integral_stop";
    EXPECT_EQ(program.messages(), std::vector<std::string>{report});
    EXPECT_EQ(program.rig.errors.str(), report + "\n");
    EXPECT_EQ(program.rig.endStatuses, std::vector<int>{1});
    EXPECT_FALSE(program.rig.window.timer()->isActive());

    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<std::string> lines;
    while (!file.atEnd()) {
        lines.push_back(file.readLine().trimmed().toStdString());
    }
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"QV58163_AD_integral_start(1, 1)",
                                        "QV58163_AD_integral_all_read(1)", "QV58163_close()"}));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "QV58163_close()"), 1);
}

TEST_F(Hostile, AMissingLibraryEndsTheProgramAtItsFirstCall) {
    if (SystemHasADriver()) {
        GTEST_SKIP() << "a driver is installed on this system's library path";
    }
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    Program program(empty.path());
    program.rig.window.load();

    ASSERT_EQ(program.messages().size(), 1u);
    const std::string expected =
        "Run-time error: the driver library libQV58163.so could not be loaded from " +
        QDir::toNativeSeparators(empty.path()).toStdString();
    EXPECT_EQ(program.messages()[0].rfind(expected, 0), 0u) << program.messages()[0];
    EXPECT_EQ(program.rig.errors.str(), program.messages()[0] + "\n");
    EXPECT_EQ(program.rig.endStatuses, std::vector<int>{1});
    EXPECT_EQ(program.rig.window.idBox()->count(), 0);
}

struct InitialFailure {
    const char *status;
    const char *message;
};

void PrintTo(const InitialFailure &failure, std::ostream *out) {
    *out << "status " << failure.status;
}

class InitialFails : public Hostile, public ::testing::WithParamInterface<InitialFailure> {};

TEST_P(InitialFails, ReportsTheStatusClosesTwiceAndEndsWithTwo) {
    qputenv("QV58163_HOSTILE_INITIAL", GetParam().status);
    Program program(kHostileDir);
    program.rig.window.load();

    EXPECT_EQ(program.messages(), std::vector<std::string>{GetParam().message});
    EXPECT_TRUE(program.rig.errors.str().empty()) << "not a run-time error";
    EXPECT_EQ(program.rig.endStatuses, std::vector<int>{2});
    EXPECT_EQ(program.rig.window.endStatus(), 2);
    EXPECT_EQ(Texts(log.Next()), (std::vector<std::string>{"initial", "close", "close"}));
    EXPECT_FALSE(program.rig.window.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Statuses, InitialFails,
                         ::testing::Values(InitialFailure{"3", "QV58163 initial fail ! (Error# 3)"},
                                           InitialFailure{"-7",
                                                          "QV58163 initial fail ! (Error#-7)"}));

}  // namespace
}  // namespace qv58163::test
