#include "MqttPublisher.hpp"

#include <MQTTAsync.h>

#include <QFile>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace qv58163::recorder {

namespace {

using Clock = std::chrono::steady_clock;

// Messages handed to the client and not yet acknowledged, at most: enough to keep a link busy,
// few enough that a reconnect sends few twice. The rest wait in the publisher's own queue, whose
// bound and order it keeps itself, so that every sample dropped is counted.
constexpr std::size_t window = 64;
constexpr int connectTimeoutSeconds = 10;
// A broker that stops answering (a network pulled) is found out after one and a half of these.
constexpr int keepAliveSeconds = 10;
// Between tries while the broker is away: from 1 s, doubled, up to 30 s.
constexpr std::chrono::seconds shortestRetry{1};
constexpr std::chrono::seconds longestRetry{30};
constexpr int disconnectTimeoutMs = 1000;
// Samples due faster than this are handed to the client in groups, at most this long apart: its
// threads then wake once a group rather than once a sample, which is most of publishing's cost.
// A slower run hands each sample at once.
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

class MqttPublisher final : public Publisher {
public:
    explicit MqttPublisher(const PublishOptions &options)
        : options_(options),
          password_(qgetenv(passwordVariable)),
          caFile_(QFile::encodeName(options.caFile)) {}
    ~MqttPublisher() override { close(); }

    Start start(int card, QString &why) override {
        card_ = card;
        uri_ = QStringLiteral("%1://%2:%3")
                   .arg(options_.tls ? QLatin1String("ssl") : QLatin1String("tcp"), options_.host)
                   .arg(options_.port)
                   .toUtf8();
        id_ = QStringLiteral("qv58163-%1-card%2").arg(options_.station).arg(card).toUtf8();
        user_ = options_.user.toUtf8();
        stateTopic_ = topicOf(options_, card, "state");
        will_ = stateJson("offline", options_, card);
        connecting_ = true;
        if (const QString failure = connectAnew(); !failure.isEmpty()) {
            why = QStringLiteral("cannot publish to %1: %2").arg(brokerName(), failure);
            close();
            return Start::Refused;
        }

        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(connectTimeoutSeconds + 2),
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
        started_ = true;
        sender_ = std::thread([this] { sendInOrder(); });
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
        sendable_.notify_one();
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
        MQTTAsync_token token = 0;  // once handed to the client on this connection
        bool acknowledged = false;
    };

    // A new client, the last one destroyed with whatever it still held, connecting. The client
    // reconnects to nothing by itself: its own reconnection would send what it still held before
    // what had been lost with the connection, out of order; this publisher hands everything not
    // acknowledged to the new client in order instead. Empty when it is connecting, else why not.
    QString connectAnew() {
        if (client_ != nullptr) {
            MQTTAsync_destroy(&client_);
            client_ = nullptr;
        }
        MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer;
        create.MQTTVersion = MQTTVERSION_3_1_1;
        int rc = MQTTAsync_createWithOptions(&client_, uri_.constData(), id_.constData(),
                                             MQTTCLIENT_PERSISTENCE_NONE, nullptr, &create);
        if (rc != MQTTASYNC_SUCCESS) {
            client_ = nullptr;
            return QString::fromLocal8Bit(MQTTAsync_strerror(rc));
        }
        MQTTAsync_setConnectionLostCallback(client_, this, &MqttPublisher::onLost);
        MQTTAsync_setConnected(client_, this, &MqttPublisher::onConnected);
        MQTTAsync_willOptions will = MQTTAsync_willOptions_initializer;
        will.topicName = stateTopic_.constData();
        will.message = will_.constData();
        will.retained = 1;
        will.qos = 1;
        MQTTAsync_SSLOptions tls = MQTTAsync_SSLOptions_initializer;
        tls.trustStore = caFile_.isEmpty() ? nullptr : caFile_.constData();
        tls.enableServerCertAuth = 1;
        tls.verify = 1;  // the certificate must name the host
        tls.ssl_error_cb = &MqttPublisher::onTlsError;
        tls.ssl_error_context = this;
        MQTTAsync_connectOptions connect = MQTTAsync_connectOptions_initializer;
        connect.keepAliveInterval = keepAliveSeconds;
        connect.cleansession = 1;
        connect.maxInflight = 2 * static_cast<int>(window);
        connect.will = &will;
        if (!user_.isEmpty()) {
            connect.username = user_.constData();
            if (qEnvironmentVariableIsSet(passwordVariable)) {
                connect.password = password_.constData();
            }
        }
        connect.connectTimeout = connectTimeoutSeconds;
        connect.ssl = options_.tls ? &tls : nullptr;
        // With a success callback the client forgets the failure callback once connected, which
        // it would otherwise call again when the connection is lost (onLost says so already).
        connect.onSuccess = [](void *, MQTTAsync_successData *) {};
        connect.onFailure = &MqttPublisher::onConnectFailed;
        connect.context = this;
        connect.MQTTVersion = MQTTVERSION_3_1_1;
        rc = MQTTAsync_connect(client_, &connect);
        return rc == MQTTASYNC_SUCCESS ? QString() : QString::fromLocal8Bit(MQTTAsync_strerror(rc));
    }

    // After a failed try or a lost connection: the next try after 1 s, doubled each time up to
    // 30 s.
    void tryAgainLater() {
        nextTry_ = Clock::now() + retryInterval_;
        retryInterval_ = std::min(2 * retryInterval_, longestRetry);
        sendable_.notify_one();
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
        if (gathering_ ? queue_.size() >= window : canSend()) {
            sendable_.notify_one();
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

    bool canSend() const {
        return connected_ && !stalled_ && handed_ < std::min(queue_.size(), window);
    }

    // The one thread that hands messages to the client, in their order. It never holds the lock
    // while it calls the client, whose callbacks take it.
    void sendInOrder() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!connected_ && !connecting_) {
                sendable_.wait_until(lock, nextTry_, [this] { return stopping_; });
            } else {
                sendable_.wait(lock, [this] {
                    return stopping_ || canSend() || (!connected_ && !connecting_);
                });
            }
            if (stopping_) {
                return;
            }
            if (!connected_) {
                if (!connecting_ && Clock::now() >= nextTry_) {
                    connecting_ = true;
                    lock.unlock();
                    const bool trying = connectAnew().isEmpty();
                    lock.lock();
                    if (!trying) {
                        connecting_ = false;
                        tryAgainLater();
                    }
                }
                continue;
            }
            if (const Clock::time_point due = lastHanded_ + gatherPeriod;
                !flushNow_ && Clock::now() < due && queue_.size() < window) {
                gathering_ = true;
                sendable_.wait_until(lock, due, [this] {
                    return stopping_ || flushNow_ || queue_.size() >= window;
                });
                gathering_ = false;
                if (stopping_ || !canSend()) {
                    continue;
                }
            }
            lastHanded_ = Clock::now();
            const std::uint64_t connection = connection_;
            std::vector<Message> batch(
                queue_.begin() + static_cast<qsizetype>(handed_),
                queue_.begin() + static_cast<qsizetype>(std::min(queue_.size(), window)));
            handed_ += batch.size();
            sending_ = true;
            lock.unlock();
            std::size_t sent = 0;
            for (Message &message : batch) {
                MQTTAsync_responseOptions response = MQTTAsync_responseOptions_initializer;
                response.onSuccess = &MqttPublisher::onSent;
                response.context = this;
                MQTTAsync_message mqtt = MQTTAsync_message_initializer;
                mqtt.payload = message.payload.data();
                mqtt.payloadlen = static_cast<int>(message.payload.size());
                mqtt.qos = 1;
                mqtt.retained = message.retained ? 1 : 0;
                if (MQTTAsync_sendMessage(client_, message.topic.constData(), &mqtt, &response) !=
                    MQTTASYNC_SUCCESS) {
                    break;
                }
                message.token = response.token;
                ++sent;
            }
            lock.lock();
            sending_ = false;
            if (connection != connection_) {
                early_.clear();
                continue;  // the connection went meanwhile: everything is handed anew
            }
            for (std::size_t k = 0; k < sent; ++k) {
                const std::size_t at = indexOf(batch[k].number);
                if (at < queue_.size() && queue_[at].number == batch[k].number) {
                    queue_[at].token = batch[k].token;
                    queue_[at].acknowledged = early_.count(batch[k].token) > 0;
                }
            }
            early_.clear();
            if (sent < batch.size()) {
                // Not taken (the connection is going): handed again once it is back.
                handed_ = std::min(handed_, indexOf(batch[sent].number));
                stalled_ = true;
            }
            popAcknowledged();
        }
    }

    void popAcknowledged() {
        if (handed_ >= window) {
            sendable_.notify_one();  // room in the window again
        }
        while (!queue_.empty() && queue_.front().acknowledged) {
            if (queue_.front().sample) {
                ++published_;
                --samplesQueued_;
            }
            queue_.pop_front();
            --handed_;
        }
        changed_.notify_all();
    }

    // A new connection, or none: what was handed and not acknowledged is handed again, in order.
    void startOver(bool connected) {
        connected_ = connected;
        ++connection_;
        handed_ = 0;
        stalled_ = false;
        for (Message &message : queue_) {
            message.token = 0;
        }
        sendable_.notify_one();
        changed_.notify_all();
    }

    void close() {
        if (client_ == nullptr) {
            return;
        }
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            sendable_.notify_one();
        }
        if (sender_.joinable()) {
            sender_.join();
        }
        if (MQTTAsync_isConnected(client_)) {
            // A clean disconnect: the broker forgets the will, and the state stays "ended".
            MQTTAsync_disconnectOptions disconnect = MQTTAsync_disconnectOptions_initializer;
            disconnect.timeout = disconnectTimeoutMs;
            disconnect.onSuccess = &MqttPublisher::onDisconnected;
            disconnect.onFailure = &MqttPublisher::onDisconnectFailed;
            disconnect.context = this;
            if (MQTTAsync_disconnect(client_, &disconnect) == MQTTASYNC_SUCCESS) {
                std::unique_lock lock(mutex_);
                changed_.wait_for(lock, std::chrono::milliseconds(2 * disconnectTimeoutMs),
                                  [this] { return disconnected_; });
            }
        }
        MQTTAsync_destroy(&client_);
        client_ = nullptr;
    }

    static void onConnected(void *context, char *) {
        auto *self = static_cast<MqttPublisher *>(context);
        std::lock_guard lock(self->mutex_);
        ++self->connections_;
        self->connecting_ = false;
        self->retryInterval_ = shortestRetry;
        self->startOver(true);
    }

    static void onLost(void *context, char *) {
        auto *self = static_cast<MqttPublisher *>(context);
        std::lock_guard lock(self->mutex_);
        self->startOver(false);
        self->tryAgainLater();
    }

    static void onConnectFailed(void *context, MQTTAsync_failureData *failure) {
        auto *self = static_cast<MqttPublisher *>(context);
        std::lock_guard lock(self->mutex_);
        self->firstFailure_ = true;
        self->refusal_ = failure != nullptr ? failure->code : 0;
        self->connecting_ = false;
        self->tryAgainLater();
        self->changed_.notify_all();
    }

    // OpenSSL's errors, one line each: "...:error:0A000086:SSL routines:function:reason:file:...".
    // Only the reason is kept. (Without this callback the client prints them on standard error.)
    static int onTlsError(const char *text, std::size_t length, void *context) {
        auto *self = static_cast<MqttPublisher *>(context);
        const QList<QByteArray> parts =
            QByteArray(text, static_cast<qsizetype>(length)).trimmed().split(':');
        std::lock_guard lock(self->mutex_);
        if (self->tlsError_.isEmpty()) {
            self->tlsError_ = parts.size() > 5 ? QString::fromLatin1(parts[5])
                                               : QStringLiteral("the TLS handshake failed");
        }
        return 0;
    }

    static void onSent(void *context, MQTTAsync_successData *success) {
        auto *self = static_cast<MqttPublisher *>(context);
        std::lock_guard lock(self->mutex_);
        const MQTTAsync_token token = success->token;
        for (std::size_t k = 0; k < self->handed_; ++k) {
            Message &message = self->queue_[k];
            if (message.token == token && !message.acknowledged) {
                message.acknowledged = true;
                self->popAcknowledged();
                return;
            }
        }
        if (self->sending_) {
            self->early_.insert(token);  // before the sending thread noted the token
        }
    }

    static void onDisconnected(void *context, MQTTAsync_successData *) {
        auto *self = static_cast<MqttPublisher *>(context);
        std::lock_guard lock(self->mutex_);
        self->disconnected_ = true;
        self->changed_.notify_all();
    }

    static void onDisconnectFailed(void *context, MQTTAsync_failureData *) {
        onDisconnected(context, nullptr);
    }

    const PublishOptions options_;
    const QByteArray password_;
    const QByteArray caFile_;
    QByteArray uri_;
    QByteArray id_;
    QByteArray user_;
    int card_ = 0;
    QByteArray stateTopic_;
    QByteArray samplesTopic_;
    QByteArray will_;
    QString started_utc_;
    MQTTAsync client_ = nullptr;
    std::thread sender_;
    bool started_ = false;  // connected or trying: the run publishes
    Clock::time_point deadline_ = Clock::now();

    // Shared with the client's callbacks and the sending thread.
    std::mutex mutex_;
    std::condition_variable changed_;   // for those who wait for the broker or the queue
    std::condition_variable sendable_;  // for the sending thread
    std::deque<Message> queue_;         // not yet acknowledged, in order
    std::size_t handed_ = 0;            // the first so many are with the client
    std::uint64_t nextNumber_ = 0;      // of the next message queued
    std::uint64_t connection_ = 0;      // counts connections made and lost
    std::set<MQTTAsync_token> early_;
    bool sending_ = false;
    bool gathering_ = false;  // the sending thread waits for more to hand at once
    bool flushNow_ = false;   // the run is over: hand everything at once
    Clock::time_point lastHanded_;
    bool stalled_ = false;  // the client took no more on this connection
    bool connected_ = false;
    bool connecting_ = false;  // a try is under way
    Clock::time_point nextTry_;
    std::chrono::seconds retryInterval_ = shortestRetry;
    bool connectedAtStart_ = false;
    bool firstFailure_ = false;
    int refusal_ = 0;  // the broker's refusal code on the first try, if it refused
    QString tlsError_;
    bool stopping_ = false;
    bool disconnected_ = false;
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
