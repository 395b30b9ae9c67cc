// Publishing a run live to an MQTT broker: the --publish URL and its companions, the topics and
// payloads, what a run tells a publisher and what it learns back. The client itself is
// MqttPublisher (MqttPublisher.cpp); runs in tests go without one.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <chrono>
#include <cstdint>
#include <optional>

namespace qv58163::recorder {

// --publish mqtt[s]://[USER@]HOST[:PORT][/PREFIX] with --station, --publish-ca, --publish-buffer,
// --publish-timeout.
struct PublishOptions {
    bool tls = false;  // mqtts://
    QString user;      // empty: none; the password comes from QV58163_MQTT_PASSWORD
    QString host;      // as given; an IPv6 address in brackets
    int port = 1883;
    QString prefix = QStringLiteral("qv58163");
    QString station;                            // letters, digits, '-' and '_'
    QString caFile;                             // empty: the system's certificate store
    std::int64_t buffer = 100'000;              // samples held while the broker is away
    std::chrono::milliseconds timeout{10'000};  // for what is queued at the end of the run
};

// The environment variable the broker's password is taken from.
inline constexpr char passwordVariable[] = "QV58163_MQTT_PASSWORD";

// Reads the URL into `options` (scheme, user, host, port, prefix). Empty when it is good, else
// what is expected instead, for the refusal. A password in the URL is refused.
QString readPublishUrl(const QString &url, PublishOptions &options);
// The URL as a refusal may quote it: a password in it replaced by "***".
QString urlWithoutPassword(const QString &url);
// Whether `name` may be a station's name: letters, digits, '-' and '_', at least one.
bool isStationName(const QString &name);
// The station's default name: the host name, every other character turned into '-'.
QString defaultStationName();

// "PREFIX/STATION/cardN/LEAF".
QByteArray topicOf(const PublishOptions &options, int card, const char *leaf);

// A sample's payload from its CSV row, field for field with the CSV's names and digits:
// {"time": "...", "elapsed_s": 0.100000, "CH00": 1.234567, ..., "status": 0}, an empty field
// (a stopped channel, a failed read) as null.
QByteArray sampleJson(QByteArrayView csvRow);
// The retained state: {"state": "running", "station": ..., "card": N, "started": "..."}, with
// "exit_status" when it is "ended"; "offline" (the will) names no start.
QByteArray stateJson(const char *state, const PublishOptions &options, int card,
                     const QString &startedUtc = {}, std::optional<int> exitStatus = {});

// What reached the broker, for the summary and the report.
struct PublishTally {
    std::int64_t samples = 0;    // handed to the publisher
    std::int64_t published = 0;  // acknowledged by the broker
    std::int64_t dropped = 0;    // the oldest, beyond --publish-buffer while the broker was away
    std::int64_t reconnects = 0;
    bool allSent = true;  // nothing left queued at the end (samples, report, state)

    std::int64_t unsent() const { return samples - published - dropped; }
    bool complete() const { return allSent && dropped == 0 && unsent() == 0; }
};

// "published 120 of 120 samples, 0 dropped, reconnected 1 time", with ", 3 unsent" when some were
// still queued at the timeout, or a word on the report and the final state when they were.
QString publishedText(const PublishTally &tally);

// What a run tells the broker, in the order it happens. All but start() return at once (what
// they publish is queued, in order) and never throw.
class Publisher {
public:
    enum class Start { Connected, Away, Refused };

    virtual ~Publisher() = default;
    // Connects, the will (the state "offline") registered for card `card`, and waits for the
    // broker's first answer. Away: it cannot be reached (nothing listens, no answer); the
    // publisher goes on trying in the background. Refused: it said no (user, password,
    // authorisation, a certificate that does not check out). `why` says which, in words of this
    // program's own (never what the broker sent).
    virtual Start start(int card, QString &why) = 0;
    // Acquisition started at `startedUtc` (ISO 8601).
    virtual void running(const QString &startedUtc) = 0;
    virtual void sample(QByteArrayView csvRow) = 0;
    // Waits until every sample is acknowledged or the timeout (counted from here) has passed.
    virtual PublishTally drain() = 0;
    // Publishes the report, then the state "ended", waits for them until the timeout drain()
    // began has passed, and disconnects. False when they were not acknowledged by then.
    virtual bool end(const QByteArray &report, int exitStatus) = 0;
    // For the progress line: empty while all is well, else ", broker away: ..." and the like.
    virtual QString progressText() = 0;
};

}  // namespace qv58163::recorder
