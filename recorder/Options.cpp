#include "Options.hpp"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <string_view>

#include "ChannelName.hpp"
#include "Files.hpp"
#include "RangeTable.hpp"
#include "RecorderExitStatus.hpp"

namespace qv58163::recorder {

namespace {

// The longest run --duration takes, in seconds (about 31 years): its deadlines stay far inside
// the clock's 64-bit nanoseconds.
constexpr double longestDuration = 1e9;
constexpr std::int64_t longestSync = 86'400;
constexpr std::int64_t mostFreeMb = 1'000'000'000;
constexpr std::int64_t mostSamples = 1'000'000'000'000;
constexpr int shortestInterval = 1;
constexpr int longestInterval = 3'600'000;  // an hour, in milliseconds

// A refusal of one option's value: "--card: a card number 0 to 15 expected, not '16'".
struct Refusal {
    QString text;
};

// The plot's formats: PNG always, SVG where the build has Qt Svg (not the Windows builds).
#if defined(QV58163_PLOT_SVG)
constexpr bool svgPlots = true;
#else
constexpr bool svgPlots = false;
#endif

Refusal refuse(const char *option, const QString &expected, const QString &given) {
    return {
        QStringLiteral("--%1: %2 expected, not '%3'").arg(QLatin1String(option), expected, given)};
}

// "0, 1, 2, 3 or 255", from the range table.
QString rangeCodes() {
    QStringList codes;
    for (const card::Range &range : card::rangeTable) {
        codes << QString::number(range.code);
    }
    const QString last = codes.takeLast();
    return codes.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

// "0 (0V ~ 5V), 1 (-5V ~ +5V), ...", for the help text.
QString rangeMeanings() {
    QStringList meanings;
    for (const card::Range &range : card::rangeTable) {
        meanings << QStringLiteral("%1 (%2)").arg(range.code).arg(card::rangeName(range.position));
    }
    return meanings.join(QStringLiteral(", "));
}

// A whole number in [low, high]; `given` is what the refusal quotes (the whole argument).
std::int64_t wholeNumber(const QString &text, std::int64_t low, std::int64_t high,
                         const char *option, const QString &expected, const QString &given) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < low || value > high) {
        throw refuse(option, expected, given);
    }
    return value;
}

std::int64_t wholeNumber(const QString &text, std::int64_t low, std::int64_t high,
                         const char *option, const QString &expected) {
    return wholeNumber(text, low, high, option, expected, text);
}

// A decimal number with '.' as its point, whatever the locale.
double realNumber(const QString &text, const char *option, const QString &expected,
                  const QString &given) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        throw refuse(option, expected, given);
    }
    return value;
}

// "CH=VALUE" split at the first '=', the channel checked.
std::pair<int, QString> channelAndValue(const QString &text, const char *option,
                                        const QString &expected) {
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals < 0) {
        throw refuse(option, expected, text);
    }
    const int channel = static_cast<int>(
        wholeNumber(text.left(equals), 0, card::channelCount - 1, option, expected, text));
    return {channel, text.mid(equals + 1)};
}

// Why no new file can be made beside `path` (a read-only or full file system, no permission), or
// an empty string: a scratch file is made there and removed at once.
QString whyNoNewFile(const QString &path) {
    QTemporaryFile probe(QFileInfo(path).absolutePath() +
                         QStringLiteral("/.qv58163-record-XXXXXX"));
    return probe.open() ? QString() : probe.errorString();
}

// A file the run will create: its directory must exist and take a new file, the file itself may
// exist only with --force.
void checkNewFile(const QString &path, bool force, const char *option) {
    const QFileInfo file(path);
    if (path.isEmpty()) {
        throw Refusal{
            QStringLiteral("--%1: a file name expected, not ''").arg(QLatin1String(option))};
    }
    if (file.isDir()) {
        throw Refusal{QStringLiteral("--%1: a file name expected, not the directory '%2'")
                          .arg(QLatin1String(option), path)};
    }
    if (!file.absoluteDir().exists()) {
        throw Refusal{QStringLiteral("--%1: the directory of '%2' does not exist")
                          .arg(QLatin1String(option), path)};
    }
    // --force replaces a regular file, also through a symbolic link; never a FIFO, a device, a
    // socket or a link that leads nowhere.
    const FileKind kind = fileKind(path);
    if (kind == FileKind::Other) {
        throw Refusal{QStringLiteral("--%1: '%2' exists and is not a regular file; a new file "
                                     "expected (--force replaces only a regular file)")
                          .arg(QLatin1String(option), path)};
    }
    if (kind == FileKind::Regular && !force) {
        throw Refusal{QStringLiteral("--%1: '%2' exists; a new file expected (--force replaces it)")
                          .arg(QLatin1String(option), path)};
    }
    const QString why = whyNoNewFile(path);
    if (!why.isEmpty()) {
        throw Refusal{QStringLiteral("--%1: no file can be created beside '%2': %3")
                          .arg(QLatin1String(option), path, why)};
    }
}

// An option that may be given once: its value, or none.
std::optional<QString> single(const QCommandLineParser &parser, const char *option) {
    const QStringList values = parser.values(QLatin1String(option));
    if (values.size() > 1) {
        throw Refusal{QStringLiteral("--%1: given once expected, not %2 times")
                          .arg(QLatin1String(option))
                          .arg(values.size())};
    }
    return values.isEmpty() ? std::nullopt : std::optional<QString>(values.constFirst());
}

void readCardAndMode(const QCommandLineParser &parser, Options &options) {
    if (const auto card = single(parser, "card")) {
        options.card = static_cast<int>(wholeNumber(*card, card::lowestCardNumber,
                                                    card::highestCardNumber, "card",
                                                    QStringLiteral("a card number %1 to %2")
                                                        .arg(card::lowestCardNumber)
                                                        .arg(card::highestCardNumber)));
    }
    if (const auto mode = single(parser, "mode")) {
        options.mode =
            static_cast<int>(wholeNumber(*mode, card::lowestMode, card::highestMode, "mode",
                                         QStringLiteral("an integral mode %1 to %2")
                                             .arg(card::lowestMode)
                                             .arg(card::highestMode)));
    }
}

void readRanges(const QCommandLineParser &parser, Options &options) {
    const QString form = QStringLiteral("CH=CODE with CH 0 to %1 and CODE %2")
                             .arg(card::channelCount - 1)
                             .arg(rangeCodes());
    std::set<int> channels;
    for (const QString &value : parser.values(QStringLiteral("range"))) {
        const auto [channel, codeText] = channelAndValue(value, "range", form);
        const std::int64_t code = wholeNumber(codeText, 0, 255, "range", form, value);
        if (std::none_of(card::rangeTable.begin(), card::rangeTable.end(),
                         [code](const card::Range &range) { return range.code == code; })) {
            throw refuse("range", form, value);
        }
        if (!channels.insert(channel).second) {
            throw Refusal{QStringLiteral("--range: channel %1 given twice").arg(channel)};
        }
        options.ranges.push_back({channel, static_cast<std::uint8_t>(code)});
    }
}

void readLength(const QCommandLineParser &parser, Options &options) {
    if (const auto interval = single(parser, "interval")) {
        options.intervalMs = static_cast<int>(wholeNumber(
            *interval, shortestInterval, longestInterval, "interval",
            QStringLiteral("milliseconds %1 to %2").arg(shortestInterval).arg(longestInterval)));
    }
    const auto count = single(parser, "count");
    const auto duration = single(parser, "duration");
    if (count && duration) {
        throw Refusal{QStringLiteral("--count, --duration: one of the two expected, not both")};
    }
    if (count) {
        options.count = wholeNumber(*count, 1, mostSamples, "count",
                                    QStringLiteral("a number of samples 1 to %1").arg(mostSamples));
    }
    if (duration) {
        const QString expected = QStringLiteral("seconds above 0, up to %1 (fractions allowed)")
                                     .arg(longestDuration, 0, 'f', 0);
        const double seconds = realNumber(*duration, "duration", expected, *duration);
        if (seconds <= 0 || seconds > longestDuration) {
            throw refuse("duration", expected, *duration);
        }
        options.durationSeconds = seconds;
    }
    if (const auto most = single(parser, "max-failed-reads")) {
        options.maxFailedReads = wholeNumber(*most, 1, mostSamples, "max-failed-reads",
                                             QStringLiteral("a number of reads 1 or more"));
    }
}

void readChecks(const QCommandLineParser &parser, Options &options) {
    const QString form = QStringLiteral("CH=LOW:HIGH with CH 0 to %1 and LOW <= HIGH in volts")
                             .arg(card::channelCount - 1);
    std::set<int> channels;
    for (const QString &value : parser.values(QStringLiteral("check"))) {
        const auto [channel, bounds] = channelAndValue(value, "check", form);
        // The colon between the bounds; a minus sign may start either bound.
        const qsizetype colon = bounds.indexOf(QLatin1Char(':'));
        if (colon < 0) {
            throw refuse("check", form, value);
        }
        const Check check{channel, realNumber(bounds.left(colon), "check", form, value),
                          realNumber(bounds.mid(colon + 1), "check", form, value)};
        if (check.low > check.high) {
            throw refuse("check", form, value);
        }
        if (!channels.insert(channel).second) {
            throw Refusal{QStringLiteral("--check: channel %1 given twice").arg(channel)};
        }
        for (const RangeSetting &range : options.ranges) {
            if (range.channel == channel && range.code == card::stopCode) {
                throw Refusal{QStringLiteral("--check: channel %1 is stopped by --range %1=%2")
                                  .arg(channel)
                                  .arg(range.code)};
            }
        }
        options.checks.push_back(check);
    }
}

// The station's name as --station gives it, or its default; refused when it cannot be one.
QString stationName(const QCommandLineParser &parser) {
    const QString station = single(parser, "station").value_or(defaultStationName());
    if (!isStationName(station)) {
        throw refuse("station", QStringLiteral("a name of letters, digits, '-' and '_'"), station);
    }
    return station;
}

// `name` with {start}, {card} and {station} replaced; any other brace is refused. {card} needs
// --card: the card that answers first is known only once the driver is open, after the files'
// names are checked.
QString expandName(const QCommandLineParser &parser, const Options &options, const QString &name,
                   const char *option, std::int64_t startUtcMilliseconds) {
    static const QRegularExpression brace(QStringLiteral("\\{([^{}]*)\\}|[{}]"));
    QString expanded;
    qsizetype from = 0;
    for (auto match = brace.globalMatch(name); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        expanded += name.mid(from, found.capturedStart() - from);
        from = found.capturedEnd();
        const QString key = found.captured(1);
        if (key == QLatin1String("start")) {
            expanded += fileTime(startUtcMilliseconds);
        } else if (key == QLatin1String("station")) {
            expanded += stationName(parser);
        } else if (key == QLatin1String("card") && options.card) {
            expanded += QString::number(*options.card);
        } else if (key == QLatin1String("card")) {
            throw Refusal{QStringLiteral("--%1: {card} in '%2' needs --card")
                              .arg(QLatin1String(option), name)};
        } else {
            throw refuse(option,
                         QStringLiteral("a file name with no placeholders but {start}, {card} "
                                        "and {station}"),
                         name);
        }
    }
    return expanded + name.mid(from);
}

// --split DURATION: a whole number of seconds, minutes, hours or days ("90s", "30m", "1h", "1d").
void readSplit(const QCommandLineParser &parser, Options &options) {
    const auto split = single(parser, "split");
    if (!split) {
        return;
    }
    const QString expected =
        QStringLiteral("a whole number and s, m, h or d (90s, 30m, 1h, 1d), up to %1 seconds")
            .arg(longestDuration, 0, 'f', 0);
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,10})([smhd])$"));
    const QRegularExpressionMatch match = form.match(*split);
    if (!match.hasMatch()) {
        throw refuse("split", expected, *split);
    }
    const std::int64_t unit = std::array<std::int64_t, 4>{
        1, 60, 3600, 86'400}[QStringLiteral("smhd").indexOf(match.captured(2))];
    const std::int64_t seconds = match.captured(1).toLongLong() * unit;
    if (seconds < 1 || seconds > longestDuration) {
        throw refuse("split", expected, *split);
    }
    if (options.output.isEmpty()) {
        throw Refusal{QStringLiteral("--split: only with --output FILE, not standard output")};
    }
    options.split = std::chrono::seconds(seconds);
}

// --sync SECONDS and --min-free MB: how the output is kept through a power cut and a full disk.
void readSafeKeeping(const QCommandLineParser &parser, Options &options) {
    if (const auto sync = single(parser, "sync")) {
        options.sync = std::chrono::seconds(wholeNumber(
            *sync, 0, longestSync, "sync",
            QStringLiteral("whole seconds 0 (after every row) to %1").arg(longestSync)));
    }
    if (const auto minFree = single(parser, "min-free")) {
        options.minFreeMb =
            wholeNumber(*minFree, 0, mostFreeMb, "min-free",
                        QStringLiteral("megabytes 0 (not looked at) to %1").arg(mostFreeMb));
    }
}

void readFiles(const QCommandLineParser &parser, Options &options,
               std::int64_t startUtcMilliseconds) {
    options.force = parser.isSet(QStringLiteral("force"));
    if (const auto output = single(parser, "output")) {
        options.output = *output == QLatin1String("-")
                             ? QString()
                             : expandName(parser, options, *output, "output", startUtcMilliseconds);
    }
    readSplit(parser, options);
    readSafeKeeping(parser, options);
    if (const auto output = single(parser, "output")) {
        // Split, the name itself is not created: the first slice's is checked in its place.
        if (output->isEmpty() || !options.output.isEmpty()) {
            checkNewFile(options.split ? sliceName(options.output, startUtcMilliseconds)
                         : options.output.isEmpty() ? *output
                                                    : options.output,
                         options.force, "output");
        }
    }
    if (auto plot = single(parser, "plot")) {
        plot = expandName(parser, options, *plot, "plot", startUtcMilliseconds);
        const QString suffix = QFileInfo(*plot).suffix().toLower();
        if (suffix != QLatin1String("png") && !(svgPlots && suffix == QLatin1String("svg"))) {
            throw refuse("plot",
                         svgPlots ? QStringLiteral("a file name ending in .png or .svg")
                                  : QStringLiteral("a file name ending in .png (this build draws "
                                                   "no SVG)"),
                         *plot);
        }
        checkNewFile(*plot, options.force, "plot");
        options.plot = *plot;
    }
    if (auto report = single(parser, "report")) {
        report = expandName(parser, options, *report, "report", startUtcMilliseconds);
        if (QFileInfo(*report).suffix().toLower() != QLatin1String("json")) {
            throw refuse("report", QStringLiteral("a file name ending in .json"), *report);
        }
        checkNewFile(*report, options.force, "report");
        options.report = *report;
    }
    // No two of the files may be one, by whatever names.
    const QStringList files = {options.output, options.plot, options.report};
    QStringList keys;
    for (const QString &file : files) {
        const QString key = file.isEmpty() ? QString() : fileKey(file);
        keys << (key.isEmpty() ? QFileInfo(file).absoluteFilePath() : key);
    }
    for (int a = 0; a < files.size(); ++a) {
        for (int b = a + 1; b < files.size(); ++b) {
            if (!files[a].isEmpty() && !files[b].isEmpty() && keys[a] == keys[b]) {
                throw Refusal{QStringLiteral("--output, --plot, --report: three files expected, "
                                             "not '%1' twice")
                                  .arg(files[b])};
            }
        }
    }
}

// Whether this build has the MQTT client that --publish needs, and whether it speaks TLS (the
// Windows builds' client does not).
#if defined(QV58163_PUBLISH)
constexpr bool publishingBuilt = true;
#else
constexpr bool publishingBuilt = false;
#endif
#if defined(QV58163_PUBLISH_TLS)
constexpr bool tlsBuilt = true;
#else
constexpr bool tlsBuilt = false;
#endif

void readPublish(const QCommandLineParser &parser, Options &options) {
    const auto url = single(parser, "publish");
    if (!url) {
        // --station names a file too: {station}.
        const std::array<const char *, 3> files = {"output", "plot", "report"};
        const bool named = std::any_of(files.begin(), files.end(), [&parser](const char *file) {
            return parser.value(QLatin1String(file)).contains(QLatin1String("{station}"));
        });
        for (const char *companion :
             {"station", "publish-ca", "publish-buffer", "publish-timeout"}) {
            if (parser.isSet(QLatin1String(companion)) &&
                !(named && companion == std::string_view("station"))) {
                throw Refusal{
                    QStringLiteral("--%1: only with --publish").arg(QLatin1String(companion))};
            }
        }
        return;
    }
    if (!publishingBuilt) {
        throw Refusal{
            QStringLiteral("--publish: this build cannot publish (it has no MQTT client)")};
    }
    PublishOptions publish;
    if (const QString expected = readPublishUrl(*url, publish); !expected.isEmpty()) {
        throw refuse("publish", expected, urlWithoutPassword(*url));
    }
    if (publish.tls && !tlsBuilt) {
        throw refuse("publish", QStringLiteral("an mqtt:// URL (this build has no TLS)"),
                     urlWithoutPassword(*url));
    }
    publish.station = stationName(parser);
    if (const auto ca = single(parser, "publish-ca")) {
        if (!publish.tls) {
            throw Refusal{QStringLiteral("--publish-ca: only with an mqtts:// URL")};
        }
        if (!QFileInfo(*ca).isFile() || !QFileInfo(*ca).isReadable()) {
            throw refuse("publish-ca", QStringLiteral("a readable file of CA certificates (PEM)"),
                         *ca);
        }
        publish.caFile = *ca;
    }
    if (const auto buffer = single(parser, "publish-buffer")) {
        publish.buffer = wholeNumber(*buffer, 1, 10'000'000, "publish-buffer",
                                     QStringLiteral("a number of samples 1 to 10000000"));
    }
    if (const auto timeout = single(parser, "publish-timeout")) {
        const QString expected = QStringLiteral("seconds 0 to 3600 (fractions allowed)");
        const double seconds = realNumber(*timeout, "publish-timeout", expected, *timeout);
        if (seconds < 0 || seconds > 3600) {
            throw refuse("publish-timeout", expected, *timeout);
        }
        publish.timeout = std::chrono::milliseconds(std::llround(seconds * 1000));
    }
    options.publish = publish;
}

Options readOptions(const QCommandLineParser &parser, std::int64_t startUtcMilliseconds) {
    Options options;
    readCardAndMode(parser, options);
    readRanges(parser, options);
    readLength(parser, options);
    readChecks(parser, options);
    readFiles(parser, options, startUtcMilliseconds);
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    options.noLock = parser.isSet(QStringLiteral("no-lock"));
    readPublish(parser, options);
    return options;
}

void addOptions(QCommandLineParser &parser) {
    parser.addOptions({
        {QStringLiteral("card"),
         QStringLiteral("Card number %1 to %2 (default: the first that answers).")
             .arg(card::lowestCardNumber)
             .arg(card::highestCardNumber),
         QStringLiteral("N")},
        {QStringLiteral("mode"),
         QStringLiteral("Integral mode %1 to %2 (default %3).")
             .arg(card::lowestMode)
             .arg(card::highestMode)
             .arg(card::defaultMode),
         QStringLiteral("M")},
        {QStringLiteral("range"),
         QStringLiteral("Set channel CH (0 to %1) to range CODE: %2. Repeatable.")
             .arg(card::channelCount - 1)
             .arg(rangeMeanings()),
         QStringLiteral("CH=CODE")},
        {QStringLiteral("interval"),
         QStringLiteral("Milliseconds between samples, %1 to %2 (default %3).")
             .arg(shortestInterval)
             .arg(longestInterval)
             .arg(Options().intervalMs),
         QStringLiteral("MS")},
        {QStringLiteral("count"),
         QStringLiteral("Sample on N deadlines, one interval apart, then stop. A read slower than "
                        "the interval thins the run: deadlines passed meanwhile are skipped, not "
                        "read later."),
         QStringLiteral("N")},
        {QStringLiteral("duration"),
         QStringLiteral("Record for this many seconds (fractions allowed), then stop."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("output"),
         QStringLiteral("Write the CSV to FILE (default or '-': standard output). An existing FILE "
                        "is refused unless --force. In FILE (and in --plot and --report), {start} "
                        "stands for the time the recorder started (UTC, 20261204T160000Z), {card} "
                        "for --card's number and {station} for --station's name (default: the "
                        "host name)."),
         QStringLiteral("FILE")},
        {QStringLiteral("split"),
         QStringLiteral("Start a new CSV file every DURATION of the run (90s, 30m, 1h, 1d): "
                        "BASE-YYYYMMDDTHHMMSSZ.csv beside --output BASE.csv, named by the UTC time "
                        "of its first sample, each with the header; BASE.csv itself is not "
                        "written. Each is closed when the next opens."),
         QStringLiteral("DURATION")},
        {QStringLiteral("sync"),
         QStringLiteral("Put the rows written on the disk itself at least every SECONDS and when "
                        "a file closes, so that a power cut loses at most that last stretch "
                        "(default %1; 0: after every row).")
             .arg(Options().sync.count()),
         QStringLiteral("SECONDS")},
        {QStringLiteral("min-free"),
         QStringLiteral("End the run (exit status %1) when the output's file system has less than "
                        "MB megabytes free (1 MB = 1,048,576 bytes), looked at before each file "
                        "and every minute (default %2; 0: not looked at).")
             .arg(exitStatus::runtimeError)
             .arg(Options().minFreeMb),
         QStringLiteral("MB")},
        {QStringLiteral("force"),
         QStringLiteral("Replace existing output, plot or report files (regular files only).")},
        {QStringLiteral("check"),
         QStringLiteral("Channel CH must read LOW to HIGH volts in every sample of the run; exit "
                        "status %1 otherwise. Repeatable.")
             .arg(exitStatus::checkFailed),
         QStringLiteral("CH=LOW:HIGH")},
        {QStringLiteral("max-failed-reads"),
         QStringLiteral("End the run after N failed reads in a row (exit status %1).")
             .arg(exitStatus::readsFailed),
         QStringLiteral("N")},
        {QStringLiteral("plot"),
         svgPlots ? QStringLiteral("Draw the recording into FILE.png or FILE.svg when it ends.")
                  : QStringLiteral("Draw the recording into FILE.png when it ends."),
         QStringLiteral("FILE")},
        {QStringLiteral("report"),
         QStringLiteral("Write a record of the run (settings, counts, statistics, verdicts, exit "
                        "status) to FILE.json when it ends."),
         QStringLiteral("FILE")},
        {QStringLiteral("quiet"), QStringLiteral("No progress line and no summary.")},
        {QStringLiteral("no-lock"),
         QStringLiteral("Record without the card's lock when none can be made (a read-only lock "
                        "folder), instead of refusing with exit status %1. A card another program "
                        "holds is still refused.")
             .arg(exitStatus::noDriver)},
        {QStringLiteral("publish"),
         QStringLiteral("Publish the run live to the MQTT broker at URL, "
                        "mqtt://[USER@]HOST[:PORT][/PREFIX] or mqtts://... (TLS); ports 1883 and "
                        "8883, prefix qv58163. The password, if any, is taken from %1.")
             .arg(QLatin1String(passwordVariable)),
         QStringLiteral("URL")},
        {QStringLiteral("station"),
         QStringLiteral("The station's name in topics and payloads and for {station} in file "
                        "names: letters, digits, '-' and '_' (default: the host name)."),
         QStringLiteral("NAME")},
        {QStringLiteral("publish-ca"),
         QStringLiteral("Check the broker's certificate against the CA certificates in FILE "
                        "(default: the system's)."),
         QStringLiteral("FILE")},
        {QStringLiteral("publish-buffer"),
         QStringLiteral("Samples kept while the broker is away (default 100000); beyond, the "
                        "oldest are dropped (exit status 5)."),
         QStringLiteral("N")},
        {QStringLiteral("publish-timeout"),
         QStringLiteral("At the end, wait this long for what is queued to reach the broker "
                        "(default 10; exit status 5 if it does not)."),
         QStringLiteral("SECONDS")},
    });
}

}  // namespace

namespace {

// The recorder's own help option. Qt's adds --help-all for Qt's own options, which the recorder
// does not take (main.cpp gives Qt none of its arguments), so that name is kept only as another
// way to ask for this help, and the help does not list it.
void addHelpOptions(QCommandLineParser &parser) {
#if defined(_WIN32)
    const QStringList names = {QStringLiteral("?"), QStringLiteral("h"), QStringLiteral("help")};
#else
    const QStringList names = {QStringLiteral("h"), QStringLiteral("help")};
#endif
    parser.addOption(
        QCommandLineOption(names, QStringLiteral("Displays help on commandline options.")));
    QCommandLineOption helpAll(QStringLiteral("help-all"),
                               QStringLiteral("Displays help on commandline options."));
    helpAll.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(helpAll);
}

void setUp(QCommandLineParser &parser) {
    parser.setApplicationDescription(
        QStringLiteral("Records the eight voltages of a QV58163 card to a CSV file."));
    addHelpOptions(parser);
    parser.addVersionOption();
    addOptions(parser);
}

// The argument that holds the first option the parser does not know, as given: "-platform",
// where the parser names its letters (p, l, a, ...). Found by parsing ever longer beginnings of
// the arguments, so that a value starting with '-' ("--output -x.csv") is passed over as the
// parser passes it over.
QString unknownArgument(const QStringList &arguments) {
    for (qsizetype end = 2; end <= arguments.size(); ++end) {
        QCommandLineParser parser;
        setUp(parser);
        parser.parse(arguments.first(end));
        if (!parser.unknownOptionNames().isEmpty()) {
            return arguments[end - 1];
        }
    }
    return {};
}

}  // namespace

QString fileTime(std::int64_t utcMilliseconds) {
    return QDateTime::fromMSecsSinceEpoch(utcMilliseconds, Qt::UTC)
        .toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

QString sliceName(const QString &output, std::int64_t utcMilliseconds) {
    const QString fileName = QFileInfo(output).fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const qsizetype end = output.size() - fileName.size() + (dot > 0 ? dot : fileName.size());
    return output.left(end) + QLatin1Char('-') + fileTime(utcMilliseconds) + output.mid(end);
}

CommandLine parseCommandLine(const QStringList &arguments) {
    return parseCommandLine(arguments, QDateTime::currentMSecsSinceEpoch());
}

CommandLine parseCommandLine(const QStringList &arguments, std::int64_t startUtcMilliseconds) {
    QCommandLineParser parser;
    setUp(parser);

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.text =
            parser.unknownOptionNames().isEmpty()
                ? parser.errorText()
                : QStringLiteral("unknown option '%1': see --help").arg(unknownArgument(arguments));
        return result;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = CommandLine::Action::Help;
        // Without an application object the parser cannot name the program in its usage line.
        result.text = parser.helpText().replace(QLatin1String("<executable_name>"),
                                                QFileInfo(arguments.value(0)).fileName());
        return result;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        result.action = CommandLine::Action::Version;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.text = QStringLiteral("unexpected argument '%1': options only, see --help")
                          .arg(parser.positionalArguments().constFirst());
        return result;
    }
    try {
        result.options = readOptions(parser, startUtcMilliseconds);
        result.action = CommandLine::Action::Run;
    } catch (const Refusal &refusal) {
        result.text = refusal.text;
    }
    return result;
}

}  // namespace qv58163::recorder
