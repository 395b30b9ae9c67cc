#include "Options.hpp"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <set>

#include "RangeTable.hpp"

namespace qv58163::recorder {

namespace {

// The longest run --duration takes, in seconds (about 31 years): its deadlines stay far inside
// the clock's 64-bit nanoseconds.
constexpr double longestDuration = 1e9;
constexpr std::int64_t mostSamples = 1'000'000'000'000;

// A refusal of one option's value: "--card: a card number 0 to 15 is expected, not '16'".
struct Refusal {
    QString text;
};

Refusal refuse(const char *option, const char *expected, const QString &given) {
    return {QStringLiteral("--%1: %2 expected, not '%3'")
                .arg(QLatin1String(option), QLatin1String(expected), given)};
}

std::int64_t wholeNumber(const QString &text, std::int64_t low, std::int64_t high,
                         const char *option, const char *expected) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < low || value > high) {
        throw refuse(option, expected, text);
    }
    return value;
}

// A decimal number with '.' as its point, whatever the locale.
double realNumber(const QString &text, const char *option, const char *expected) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        throw refuse(option, expected, text);
    }
    return value;
}

// "CH=VALUE" split at the first '=', the channel checked.
std::pair<int, QString> channelAndValue(const QString &text, const char *option,
                                        const char *expected) {
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals < 0) {
        throw refuse(option, expected, text);
    }
    const int channel =
        static_cast<int>(wholeNumber(text.left(equals), 0, channelCount - 1, option, expected));
    return {channel, text.mid(equals + 1)};
}

// A file the run will create: its directory must exist, the file itself only with --force.
void checkNewFile(const QString &path, bool force, const char *option) {
    const QFileInfo file(path);
    if (file.isDir()) {
        throw Refusal{QStringLiteral("--%1: a file name expected, not the directory '%2'")
                          .arg(QLatin1String(option), path)};
    }
    if (!file.absoluteDir().exists()) {
        throw Refusal{QStringLiteral("--%1: the directory of '%2' does not exist")
                          .arg(QLatin1String(option), path)};
    }
    if (file.exists() && !force) {
        throw Refusal{QStringLiteral("--%1: '%2' exists; a new file expected (--force replaces it)")
                          .arg(QLatin1String(option), path)};
    }
}

Options readOptions(const QCommandLineParser &parser) {
    Options options;
    if (parser.isSet(QStringLiteral("card"))) {
        options.card = static_cast<int>(wholeNumber(parser.value(QStringLiteral("card")), 0, 15,
                                                    "card", "a card number 0 to 15"));
    }
    if (parser.isSet(QStringLiteral("mode"))) {
        options.mode = static_cast<int>(wholeNumber(parser.value(QStringLiteral("mode")), 0, 10,
                                                    "mode", "an integral mode 0 to 10"));
    }
    const char *rangeForm = "CH=CODE with CH 0 to 7 and CODE 0, 1, 2, 3 or 255";
    std::set<int> rangeChannels;
    for (const QString &value : parser.values(QStringLiteral("range"))) {
        const auto [channel, codeText] = channelAndValue(value, "range", rangeForm);
        const std::int64_t code = wholeNumber(codeText, 0, 255, "range", rangeForm);
        if (std::none_of(card::rangeTable.begin(), card::rangeTable.end(),
                         [code](const card::Range &range) { return range.code == code; })) {
            throw refuse("range", rangeForm, value);
        }
        if (!rangeChannels.insert(channel).second) {
            throw Refusal{QStringLiteral("--range: channel %1 given twice").arg(channel)};
        }
        options.ranges.push_back({channel, static_cast<std::uint8_t>(code)});
    }
    if (parser.isSet(QStringLiteral("interval"))) {
        options.intervalMs =
            static_cast<int>(wholeNumber(parser.value(QStringLiteral("interval")), 1, 3'600'000,
                                         "interval", "milliseconds 1 to 3600000"));
    }
    const bool count = parser.isSet(QStringLiteral("count"));
    const bool duration = parser.isSet(QStringLiteral("duration"));
    if (count && duration) {
        throw Refusal{QStringLiteral("--count, --duration: one of the two expected, not both")};
    }
    if (count) {
        options.count = wholeNumber(parser.value(QStringLiteral("count")), 1, mostSamples, "count",
                                    "a number of samples 1 to 1000000000000");
    }
    if (duration) {
        const char *expected = "seconds above 0, up to 1000000000 (fractions allowed)";
        const double seconds =
            realNumber(parser.value(QStringLiteral("duration")), "duration", expected);
        if (seconds <= 0 || seconds > longestDuration) {
            throw refuse("duration", expected, parser.value(QStringLiteral("duration")));
        }
        options.durationSeconds = seconds;
    }
    options.force = parser.isSet(QStringLiteral("force"));
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    options.output = parser.value(QStringLiteral("output"));
    if (options.output == QLatin1String("-")) {
        options.output.clear();
    }
    if (!options.output.isEmpty()) {
        checkNewFile(options.output, options.force, "output");
    }
    const char *checkForm = "CH=LOW:HIGH with CH 0 to 7 and LOW <= HIGH in volts";
    std::set<int> checkChannels;
    for (const QString &value : parser.values(QStringLiteral("check"))) {
        const auto [channel, bounds] = channelAndValue(value, "check", checkForm);
        // The colon between the bounds; a minus sign may start either bound.
        const qsizetype colon = bounds.indexOf(QLatin1Char(':'));
        if (colon < 0) {
            throw refuse("check", checkForm, value);
        }
        Check check{channel, realNumber(bounds.left(colon), "check", checkForm),
                    realNumber(bounds.mid(colon + 1), "check", checkForm)};
        if (check.low > check.high) {
            throw refuse("check", checkForm, value);
        }
        if (!checkChannels.insert(channel).second) {
            throw Refusal{QStringLiteral("--check: channel %1 given twice").arg(channel)};
        }
        options.checks.push_back(check);
    }
    options.plot = parser.value(QStringLiteral("plot"));
    if (parser.isSet(QStringLiteral("plot"))) {
        const QString suffix = QFileInfo(options.plot).suffix().toLower();
        if (suffix != QLatin1String("png") && suffix != QLatin1String("svg")) {
            throw refuse("plot", "a file name ending in .png or .svg", options.plot);
        }
        checkNewFile(options.plot, options.force, "plot");
        if (!options.output.isEmpty() && QFileInfo(options.plot).absoluteFilePath() ==
                                             QFileInfo(options.output).absoluteFilePath()) {
            throw Refusal{QStringLiteral("--plot: a file other than --output expected")};
        }
    }
    return options;
}

}  // namespace

CommandLine parseCommandLine(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Records the eight voltages of a QV58163 card to a CSV file."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("card"),
         QStringLiteral("Card number 0 to 15 (default: the first that answers)."),
         QStringLiteral("N")},
        {QStringLiteral("mode"), QStringLiteral("Integral mode 0 to 10 (default 1)."),
         QStringLiteral("M")},
        {QStringLiteral("range"),
         QStringLiteral("Set channel CH (0 to 7) to range CODE: 0 (0..5 V), 1 (-5..+5 V), "
                        "2 (0..10 V), 3 (-10..+10 V), 255 (stop). Repeatable."),
         QStringLiteral("CH=CODE")},
        {QStringLiteral("interval"),
         QStringLiteral("Milliseconds between samples, 1 to 3600000 (default 100)."),
         QStringLiteral("MS")},
        {QStringLiteral("count"), QStringLiteral("Take N samples, then stop."),
         QStringLiteral("N")},
        {QStringLiteral("duration"),
         QStringLiteral("Record for this many seconds (fractions allowed), then stop."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("output"),
         QStringLiteral("Write the CSV to FILE (default: standard "
                        "output). An existing FILE is refused."),
         QStringLiteral("FILE")},
        {QStringLiteral("force"), QStringLiteral("Replace an existing output or plot file.")},
        {QStringLiteral("check"),
         QStringLiteral("Channel CH must read LOW to HIGH volts and every read must succeed; "
                        "exit status 3 otherwise. Repeatable."),
         QStringLiteral("CH=LOW:HIGH")},
        {QStringLiteral("plot"),
         QStringLiteral("Draw the recording into FILE.png or FILE.svg when it ends."),
         QStringLiteral("FILE")},
        {QStringLiteral("quiet"), QStringLiteral("No progress line and no summary.")},
    });

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.text = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::Help;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::Version;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.text = QStringLiteral("unexpected argument '%1': options only, see --help")
                          .arg(parser.positionalArguments().constFirst());
        return result;
    }
    for (const char *single : {"card", "mode", "interval", "count", "duration", "output", "plot"}) {
        if (parser.values(QLatin1String(single)).size() > 1) {
            result.text = QStringLiteral("--%1: given once expected, not %2 times")
                              .arg(QLatin1String(single))
                              .arg(parser.values(QLatin1String(single)).size());
            return result;
        }
    }
    try {
        result.options = readOptions(parser);
        result.action = CommandLine::Action::Run;
    } catch (const Refusal &refusal) {
        result.text = refusal.text;
    }
    return result;
}

}  // namespace qv58163::recorder
