#include "MqttPublisher.hpp"

#include <mosquitto.h>

#include <QFile>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace qv58163::recorder {

namespace {

using Clock = std::chrono::steady_clock;

// Messages handed to the client and not yet acknowledged, at most: enough to keep a link busy,
// few enough that a reconnect sends few twice. The rest wait in the publisher's own queue, whose
// bound and order it keeps itself, so that every sample dropped is counted.
constexpr std::size_t window = 64;
constexpr auto connectTimeout = std::chrono::seconds(10);
// A broker that stops answering (a network pulled) is found out after one and a half of these.
constexpr int keepAliveSeconds = 10;
// Between tries while the broker is away: from 1 s, doubled, up to 30 s.
constexpr std::chrono::seconds shortestRetry{1};
constexpr std::chrono::seconds longestRetry{30};
constexpr auto disconnectTimeout = std::chrono::seconds(1);
// Samples are handed to the client in groups, at most this long apart, and the network thread
// looks at the queue at least this often: it then wakes once a group rather than once a sample,
// which is most of publishing's cost. The end of the run hands everything at once.
constexpr auto gatherPeriod = std::chrono::milliseconds(50);

// What a CONNACK's code means (MQTT 3.1.1), in this program's words.
QString refusalText(int code) {
    switch (code) {
        case 1:
            return QStringLiteral("it does not take MQTT 3.1.1");
        case 2:
            return QStringLiteral("it rejects the client identifier");
        case 3:
            return QStringLiteral("it is unavailable");
        case 4:
            return QStringLiteral("wrong user name or password");
        case 5:
            return QStringLiteral("not authorised (the user name, the password, or its access)");
        default:
            return QStringLiteral("it answered with refusal code %1").arg(code);
    }
}

QString errorText(int rc) {
    return QString::fromLocal8Bit(mosquitto_strerror(rc));
}

// The client library's global state, made once for the process and kept to its end.
void initialiseLibrary() {
    static const int once = mosquitto_lib_init();
    static_cast<void>(once);
}

// The publisher owns one client at a time and drives it from one thread of its own, which calls
// the client's loop; the client's callbacks run there too. The recorder's thread only queues.
class MqttPublisher final : public Publisher {
public:
    explicit MqttPublisher(const PublishOptions &options)
        : options_(options),
          password_(qgetenv(passwordVariable)),
          caFile_(QFile::encodeName(options.caFile)) {
        initialiseLibrary();
    }
    ~MqttPublisher() override { close(); }

    Start start(int card, QString &why) override {
        card_ = card;
        host_ = options_.host.toUtf8();
        if (host_.startsWith('[') && host_.endsWith(']')) {
            host_ = host_.mid(1, host_.size() - 2);  // an IPv6 address, as the resolver takes it
        }
        id_ = QStringLiteral("qv58163-%1-card%2").arg(options_.station).arg(card).toUtf8();
        user_ = options_.user.toUtf8();
        stateTopic_ = topicOf(options_, card, "state");
        will_ = stateJson("offline", options_, card);
        if (const QString failure = connectAnew(); !failure.isEmpty()) {
            why = QStringLiteral("cannot publish to %1: %2").arg(brokerName(), failure);
            destroyClient();
            return Start::Refused;
        }
        started_ = true;
        network_ = std::thread([this] { runNetwork(); });

        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, connectTimeout + std::chrono::seconds(2),
                          [this] { return connected_ || firstFailure_; });
        if (!connected_ && (refusal_ > 0 || !tlsError_.isEmpty())) {
            why = refusal_ > 0 ? QStringLiteral("the broker at %1 refused the connection: %2")
                                     .arg(brokerName(), refusalText(refusal_))
                               : QStringLiteral(
                                     "the broker at %1 is refused: its certificate does not "
                                     "check out against %2 (%3)")
                                     .arg(brokerName(),
                                          options_.caFile.isEmpty()
                                              ? QStringLiteral("the system's certificates")
                                              : options_.caFile,
                                          tlsError_);
            lock.unlock();
            close();
            return Start::Refused;
        }
        connectedAtStart_ = connected_;
        if (connectedAtStart_) {
            return Start::Connected;
        }
        why = QStringLiteral(
                  "the broker at %1 cannot be reached; samples are kept (up to %2) and sent once "
                  "it can, trying again in the background")
                  .arg(brokerName())
                  .arg(options_.buffer);
        return Start::Away;
    }

    void running(const QString &startedUtc) override {
        started_utc_ = startedUtc;
        queue(stateTopic_, stateJson("running", options_, card_, startedUtc), true, false);
    }

    void sample(QByteArrayView csvRow) override {
        if (samplesTopic_.isEmpty()) {
            samplesTopic_ = topicOf(options_, card_, "samples");
        }
        queue(samplesTopic_, sampleJson(csvRow), false, true);
    }

    PublishTally drain() override {
        deadline_ = Clock::now() + options_.timeout;
        std::unique_lock lock(mutex_);
        flushNow_ = true;
        changed_.wait_until(lock, deadline_, [this] { return samplesQueued_ == 0; });
        return tally();
    }

    bool end(const QByteArray &report, int exitStatus) override {
        queue(topicOf(options_, card_, "report"), report, true, false);
        queue(stateTopic_, stateJson("ended", options_, card_, started_utc_, exitStatus), true,
              false);
        bool allSent = false;
        {
            std::unique_lock lock(mutex_);
            allSent = changed_.wait_until(lock, deadline_, [this] { return queue_.empty(); });
        }
        close();
        return allSent;
    }

    QString progressText() override {
        std::lock_guard lock(mutex_);
        if (!started_ || (connected_ && dropped_ == 0)) {
            return {};
        }
        QString text = connected_ ? QString()
                                  : QStringLiteral(", broker away: %1 samples queued, reconnecting")
                                        .arg(samplesQueued_);
        if (dropped_ > 0) {
            text += QStringLiteral(", %1 dropped").arg(dropped_);
        }
        return text;
    }

private:
    struct Message {
        std::uint64_t number;  // in the order queued
        QByteArray topic;
        QByteArray payload;
        bool retained;
        bool sample;
        int mid = 0;  // the client's number for it, once handed on this connection
    };

    // A new client, the last one destroyed with whatever it still held, connecting. The client
    // is never asked to reconnect: it would send what it still held before what had been lost
    // with the connection, out of order; this publisher hands everything not acknowledged to the
    // new client in order instead. Empty when it is connecting, else why not.
    QString connectAnew() {
        destroyClient();
        client_ = mosquitto_new(id_.constData(), true, this);
        if (client_ == nullptr) {
            return QStringLiteral("the MQTT client could not be made");
        }
        mosquitto_connect_callback_set(client_, &MqttPublisher::onConnect);
        mosquitto_publish_callback_set(client_, &MqttPublisher::onPublish);
        mosquitto_log_callback_set(client_, &MqttPublisher::onLog);
        mosquitto_max_inflight_messages_set(client_, static_cast<unsigned>(window));
        int rc = mosquitto_will_set(client_, stateTopic_.constData(),
                                    static_cast<int>(will_.size()), will_.constData(), 1, true);
        if (rc == MOSQ_ERR_SUCCESS && !user_.isEmpty()) {
            rc = mosquitto_username_pw_set(
                client_, user_.constData(),
                qEnvironmentVariableIsSet(passwordVariable) ? password_.constData() : nullptr);
        }
        if (rc == MOSQ_ERR_SUCCESS && options_.tls) {
            // The broker's certificate must check out and name the host (the client checks the
            // name unless told otherwise): against the CA file given, else the system's store.
            if (caFile_.isEmpty()) {
                rc = mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            } else {
                rc = mosquitto_tls_set(client_, caFile_.constData(), nullptr, nullptr, nullptr,
                                       nullptr);
            }
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            return errorText(rc);
        }
        connectStarted_ = Clock::now();
        rc = mosquitto_connect_async(client_, host_.constData(), options_.port, keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS) {
            // Nothing listens, or the name does not resolve (yet): tried again later.
            std::lock_guard lock(mutex_);
            failed();
        }
        return {};
    }

    void destroyClient() {
        if (client_ != nullptr) {
            mosquitto_destroy(client_);
            client_ = nullptr;
        }
    }

    // This client's try failed or its connection was lost: the next try after 1 s, doubled each
    // time up to 30 s; what was handed and not acknowledged is handed again, in order.
    void failed() {
        firstFailure_ = true;
        lost_ = true;
        nextTry_ = Clock::now() + retryInterval_;
        retryInterval_ = std::min(2 * retryInterval_, longestRetry);
        startOver(false);
    }

    QString brokerName() const {
        return QStringLiteral("%1:%2").arg(options_.host).arg(options_.port);
    }

    PublishTally tally() const {
        PublishTally tally;
        tally.samples = samples_;
        tally.published = published_;
        tally.dropped = dropped_;
        tally.reconnects = connections_ - (connectedAtStart_ ? 1 : 0);
        tally.allSent = queue_.empty();
        return tally;
    }

    void queue(const QByteArray &topic, const QByteArray &payload, bool retained, bool sample) {
        if (!started_) {
            return;
        }
        std::lock_guard lock(mutex_);
        queue_.push_back({nextNumber_++, topic, payload, retained, sample});
        if (sample) {
            ++samples_;
            ++samplesQueued_;
            if (samplesQueued_ > options_.buffer) {
                dropOldestSample();
            }
        }
    }

    // Beyond the bound the oldest sample goes, counted; a state or the report never does.
    void dropOldestSample() {
        const auto oldest = std::find_if(queue_.begin(), queue_.end(),
                                         [](const Message &message) { return message.sample; });
        if (static_cast<std::size_t>(oldest - queue_.begin()) < handed_) {
            --handed_;  // should its acknowledgement come, it finds nothing
        }
        queue_.erase(oldest);
        --samplesQueued_;
        ++dropped_;
    }

    // Where the message numbered `number` is, or would be, in the queue.
    std::size_t indexOf(std::uint64_t number) const {
        return std::lower_bound(
                   queue_.begin(), queue_.end(), number,
                   [](const Message &message, std::uint64_t n) { return message.number < n; }) -
               queue_.begin();
    }

    // The next group to hand to the client, when one is due: there is room in the window and
    // the run is over, a window's worth waits, or the last group went a gather period ago.
    std::vector<Message> dueGroup(Clock::time_point now) {
        const std::size_t room = std::min(queue_.size(), window);
        if (!connected_ || handed_ >= room ||
            (!flushNow_ && queue_.size() < window && now < lastHanded_ + gatherPeriod)) {
            return {};
        }
        lastHanded_ = now;
        std::vector<Message> group(queue_.begin() + static_cast<qsizetype>(handed_),
                                   queue_.begin() + static_cast<qsizetype>(room));
        handed_ = room;
        return group;
    }

    // The network thread: connects, hands the queue to the client in order and runs the
    // client's loop, in which its acknowledgements arrive; after a failure, connects anew.
    void runNetwork() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            const Clock::time_point now = Clock::now();
            if (client_ == nullptr || lost_) {
                if (now < nextTry_) {
                    wake_.wait_until(lock, nextTry_, [this] { return stopping_; });
                    continue;
                }
                lost_ = false;
                lock.unlock();
                const bool trying = connectAnew().isEmpty();
                lock.lock();
                if (!trying) {
                    destroyClient();
                    failed();
                }
                continue;
            }
            if (!connected_ && now > connectStarted_ + connectTimeout) {
                failed();  // no answer: as good as refused
                continue;
            }
            std::vector<Message> group = dueGroup(now);
            lock.unlock();
            std::size_t taken = 0;
            for (Message &message : group) {
                if (mosquitto_publish(client_, &message.mid, message.topic.constData(),
                                      static_cast<int>(message.payload.size()),
                                      message.payload.constData(), 1,
                                      message.retained) != MOSQ_ERR_SUCCESS) {
                    break;
                }
                ++taken;
            }
            lock.lock();
            noteHanded(group, taken);
            lock.unlock();
            const int rc = mosquitto_loop(client_, loopTimeoutMs(), 1);
            lock.lock();
            if (rc != MOSQ_ERR_SUCCESS && !lost_) {
                failed();
            }
        }
        lock.unlock();
        disconnect();
    }

    // The client's numbers for a group handed; what it did not take (its connection is going)
    // is handed again once a new one is made.
    void noteHanded(const std::vector<Message> &group, std::size_t taken) {
        for (std::size_t k = 0; k < taken; ++k) {
            const std::size_t at = indexOf(group[k].number);
            if (at < queue_.size() && queue_[at].number == group[k].number) {
                queue_[at].mid = group[k].mid;
            }
        }
        if (taken < group.size()) {
            handed_ = std::min(handed_, indexOf(group[taken].number));
        }
    }

    // How long the client's loop may wait for the network: until the next group is due, or a
    // whole gather period when nothing waits to be handed (the loop cannot be woken when a
    // sample is queued, so it looks again that often).
    int loopTimeoutMs() {
        std::lock_guard lock(mutex_);
        if (flushNow_) {
            return 10;
        }
        if (handed_ >= queue_.size()) {
            return static_cast<int>(gatherPeriod.count());
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            lastHanded_ + gatherPeriod - Clock::now());
        return static_cast<int>(std::clamp<std::int64_t>(left.count(), 1, gatherPeriod.count()));
    }

    // A clean disconnect where connected: the broker forgets the will, and the state stays
    // "ended".
    void disconnect() {
        if (client_ == nullptr) {
            return;
        }
        bool connected = false;
        {
            std::lock_guard lock(mutex_);
            connected = connected_;
        }
        if (connected && mosquitto_disconnect(client_) == MOSQ_ERR_SUCCESS) {
            const Clock::time_point until = Clock::now() + disconnectTimeout;
            while (Clock::now() < until && mosquitto_want_write(client_) &&
                   mosquitto_loop(client_, 100, 1) == MOSQ_ERR_SUCCESS) {
            }
        }
        destroyClient();
    }

    // A new connection, or none: what was handed and not acknowledged is handed again, in order.
    void startOver(bool connected) {
        connected_ = connected;
        handed_ = 0;
        for (Message &message : queue_) {
            message.mid = 0;
        }
        lastHanded_ = Clock::time_point{};
        changed_.notify_all();
    }

    void close() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            wake_.notify_one();
        }
        if (network_.joinable()) {
            network_.join();
        }
        destroyClient();
    }

    static void onConnect(mosquitto *, void *context, int code) {
        auto *self = static_cast<MqttPublisher *>(context);
        std::lock_guard lock(self->mutex_);
        if (code != 0) {
            self->refusal_ = code;  // the client then ends the connection, and the loop says so
            return;
        }
        ++self->connections_;
        self->retryInterval_ = shortestRetry;
        self->startOver(true);
    }

    static void onPublish(mosquitto *, void *context, int mid) {
        auto *self = static_cast<MqttPublisher *>(context);
        std::lock_guard lock(self->mutex_);
        for (std::size_t k = 0; k < self->handed_; ++k) {
            if (self->queue_[k].mid == mid) {
                self->queue_[k].mid = acknowledged;
                break;
            }
        }
        while (!self->queue_.empty() && self->handed_ > 0 &&
               self->queue_.front().mid == acknowledged) {
            if (self->queue_.front().sample) {
                ++self->published_;
                --self->samplesQueued_;
            }
            self->queue_.pop_front();
            --self->handed_;
        }
        self->changed_.notify_all();
    }

    // The client's log: OpenSSL's errors are kept, the reason only, for the refusal:
    // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed". Nothing of it
    // reaches standard error.
    static void onLog(mosquitto *, void *context, int level, const char *text) {
        if (level != MOSQ_LOG_ERR || std::strncmp(text, "OpenSSL Error", 13) != 0) {
            return;
        }
        auto *self = static_cast<MqttPublisher *>(context);
        const QList<QByteArray> parts = QByteArray(text).trimmed().split(':');
        std::lock_guard lock(self->mutex_);
        if (self->tlsError_.isEmpty()) {
            self->tlsError_ = parts.size() > 5 ? QString::fromLatin1(parts[5])
                                               : QStringLiteral("the TLS handshake failed");
        }
    }

    // A message's mark once the broker acknowledged it: the client's numbers are positive.
    static constexpr int acknowledged = -1;

    const PublishOptions options_;
    const QByteArray password_;
    const QByteArray caFile_;
    QByteArray host_;
    QByteArray id_;
    QByteArray user_;
    int card_ = 0;
    QByteArray stateTopic_;
    QByteArray samplesTopic_;
    QByteArray will_;
    QString started_utc_;
    mosquitto *client_ = nullptr;  // the network thread's, once it runs
    Clock::time_point connectStarted_;
    std::thread network_;
    bool started_ = false;  // connected or trying: the run publishes
    Clock::time_point deadline_ = Clock::now();

    // Shared with the network thread and the client's callbacks.
    std::mutex mutex_;
    std::condition_variable changed_;  // for those who wait for the broker or the queue
    std::condition_variable wake_;     // for the network thread, between tries
    std::deque<Message> queue_;        // not yet acknowledged, in order
    std::size_t handed_ = 0;           // the first so many are with the client
    std::uint64_t nextNumber_ = 0;     // of the next message queued
    bool flushNow_ = false;            // the run is over: hand everything at once
    Clock::time_point lastHanded_;
    bool connected_ = false;
    bool lost_ = false;  // this client failed: a new one is due at nextTry_
    Clock::time_point nextTry_;
    std::chrono::seconds retryInterval_ = shortestRetry;
    bool connectedAtStart_ = false;
    bool firstFailure_ = false;
    int refusal_ = 0;  // the broker's refusal code, if it refused
    QString tlsError_;
    bool stopping_ = false;
    std::int64_t connections_ = 0;
    std::int64_t samples_ = 0;
    std::int64_t samplesQueued_ = 0;
    std::int64_t published_ = 0;
    std::int64_t dropped_ = 0;
};

}  // namespace

std::unique_ptr<Publisher> makeMqttPublisher(const PublishOptions &options) {
    return std::make_unique<MqttPublisher>(options);
}

}  // namespace qv58163::recorder
