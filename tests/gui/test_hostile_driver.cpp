// The program on a hostile driver, through the real dynamic loading: random statuses from every
// export, random values in all 25 result slots (or none written), an information word that
// changes at every probe, range codes from 0..3, 4 and 255. It must keep working and show exactly
// what the rules give for what the driver wrote, which the driver logs.
//
//   QV58163_HOSTILE_SEED  seed of the driver and of the operator's actions (printed; default 1)
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <random>

#include "PanelRig.hpp"
#include "Random.h"
#include "Reference.hpp"
#include "RowName.hpp"

namespace qv58163::test {
namespace {

// The seed given to the run, taken before any test sets the driver's own variable.
const std::uint64_t givenSeed = environmentNumber("QV58163_HOSTILE_SEED", 1);

// One line of the hostile driver's log: "config_set 5 3 255 -> -17".
struct Call {
    std::string name;
    std::vector<long long> args;
    std::array<std::optional<std::int16_t>, card::slotCount> written;  // read: each slot
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
        for (int s = 0; s < card::channelCount; ++s) {
            values[s] = written[s].value_or(0);
        }
        return values;
    }
};

// Reads what the driver appended to its log since the last look.
class DriverLog {
public:
    explicit DriverLog(QString path) : path_(std::move(path)) {}

    std::vector<Call> next() {
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
            calls.push_back(parse(line.trimmed().toStdString()));
        }
        return calls;
    }

private:
    static Call parse(const std::string &line) {
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

std::vector<std::string> texts(const std::vector<Call> &calls) {
    std::vector<std::string> texts;
    for (const Call &call : calls) {
        texts.push_back(call.text());
    }
    return texts;
}

QStringList expectedCaptions(const std::array<std::int16_t, 8> &values,
                             const std::array<int, 8> &positions) {
    QStringList texts;
    for (const std::string &text : reference::refresh(values.data(), positions, ".")) {
        texts << QString::fromStdString(text);
    }
    return texts;
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("QV58163_HOSTILE_LOG", logPath().toLocal8Bit());
    }
    QString logPath() const { return dir.filePath(QStringLiteral("driver.log")); }

    QTemporaryDir dir;
    DriverLog log{logPath()};
};

// The positions the range lists show now.
std::array<int, 8> positionsShown(PanelRig &program) {
    std::array<int, 8> positions{};
    for (int i = 0; i < card::channelCount; ++i) {
        positions[i] = program.window.configBox(i)->currentIndex();
    }
    return positions;
}

class KeepsWorking : public Hostile, public ::testing::WithParamInterface<int> {};

// The operator at work on the hostile driver for a long run: every refresh is one read, of the
// card chosen at that moment, shown by the rules for the ranges the lists show; nothing reports
// an error or ends the program.
TEST_P(KeepsWorking, ShowsExactlyWhatTheRulesGiveForWhatTheDriverWrote) {
    const std::uint64_t seed = givenSeed + static_cast<std::uint64_t>(GetParam());
    std::cout << "hostile driver seed " << seed << std::endl;
    qputenv("QV58163_HOSTILE_SEED", QByteArray::number(static_cast<qulonglong>(seed)));

    PanelRig program(testDriverDir("hostile"));
    ASSERT_FALSE(program.start()) << program.errors.str();
    std::vector<Call> startUp = log.next();
    ASSERT_GE(startUp.size(), 17u);
    EXPECT_EQ(program.captions(), QStringList(8, QStringLiteral("0.00000")));
    // The card of every later call: the last card found, until the operator picks one.
    int card = 0;
    for (const Call &call : startUp) {
        if (call.name == "info" && call.status == 0) {
            card = static_cast<int>(call.args[0]);
        }
    }

    // Checks one refresh: exactly one read, of the card chosen now, shown by the rules.
    const auto checkRead = [&](const std::vector<Call> &calls) {
        ASSERT_EQ(texts(calls), std::vector<std::string>{"read " + std::to_string(card)});
        EXPECT_EQ(program.captions(),
                  expectedCaptions(calls[0].channels(), positionsShown(program)));
    };

    // The operator at work, with refreshes entered directly.
    QComboBox *cards = program.window.idBox();
    std::mt19937_64 rng(seed);
    for (int step = 0; step < 2000; ++step) {
        const int roll = static_cast<int>(rng() % 100);
        if (roll < 60) {
            program.tick();
            checkRead(log.next());
            ASSERT_FALSE(HasFailure()) << "step " << step;
            continue;
        }
        if (roll < 75) {
            program.window.configBox(static_cast<int>(rng() % 8))
                ->setCurrentIndex(static_cast<int>(rng() % 5));
        } else if (roll < 82) {
            if (cards->count() > 0) {
                const int entry = static_cast<int>(rng() % static_cast<unsigned>(cards->count()));
                if (entry != cards->currentIndex()) {  // only a change is a choice
                    cards->setCurrentIndex(entry);
                    card = cards->currentText().trimmed().toInt();
                }
            }
        } else if (roll < 88) {
            program.window.modeBox()->setCurrentIndex(static_cast<int>(rng() % 11));
        } else if (roll < 94) {
            program.window.startButton()->click();
        } else {
            program.window.stopButton()->click();
        }
        for (const Call &call : log.next()) {
            ASSERT_NE(call.name, "read") << "step " << step << ": a read outside a refresh";
            ASSERT_EQ(call.args.at(0), card) << "step " << step << ": " << call.text();
        }
        ASSERT_TRUE(program.messages.empty()) << program.errors.str();
        ASSERT_TRUE(program.endStatuses.empty());
    }

    // The real timer: each of its ticks is checked as it comes, after the window has answered it.
    program.window.startButton()->click();
    log.next();
    int ticks = 0;
    QObject::connect(program.window.timer(), &QTimer::timeout, &program.window, [&] {
        ++ticks;
        checkRead(log.next());
    });
    ASSERT_TRUE(QTest::qWaitFor([&ticks] { return ticks >= 5; }, 30000))
        << "the timer ticked " << ticks << " times in 30 s";
    program.window.stopButton()->click();
    ASSERT_EQ(texts(log.next()), std::vector<std::string>{"stop " + std::to_string(card)});
}

INSTANTIATE_TEST_SUITE_P(Seeds, KeepsWorking, ::testing::Values(0, 1, 2), RowName());

}  // namespace
}  // namespace qv58163::test
