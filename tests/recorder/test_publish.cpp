// The recorder publishing to a real broker (Broker.hpp): what reaches it against the files, the
// retained state's life, a broker away at the start or restarted mid-run, the buffer's bound, and
// the refusals, with the password kept out of everything.
#include <signal.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "Broker.hpp"
#include "RecorderProcess.hpp"

namespace qv58163::test {
namespace {

const QString samplesTopic = QStringLiteral("qv58163/st1/card0/samples");
const QString stateTopic = QStringLiteral("qv58163/st1/card0/state");

QJsonObject json(const QString &text) {
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

class RecorderPublishes : public RecorderProcess {
protected:
    QString brokerFolder() {
        QDir(scratch.path()).mkdir(QStringLiteral("broker"));
        return path("broker");
    }
    QStringList rows() {
        QStringList all = lines("rec.csv");
        return all.mid(1);
    }
    void waitForRows(qsizetype count) {
        for (int wait = 0; wait < 3000 && rows().size() < count; ++wait) {
            QThread::msleep(10);
        }
    }
    // The counts the summary says: published, samples, dropped, reconnects.
    static QList<int> published(const QString &said) {
        static const QRegularExpression line(QStringLiteral(
            R"(published (\d+) of (\d+) samples, (\d+) dropped, reconnected (\d+))"));
        const QRegularExpressionMatch match = line.match(said);
        QList<int> counts;
        for (int k = 1; match.hasMatch() && k <= 4; ++k) {
            counts << match.captured(k).toInt();
        }
        return counts;
    }
};

TEST_F(RecorderPublishes, OverTlsEachSampleIsItsRowAndTheReportTheFileWithThePasswordNowhere) {
    Broker broker(brokerFolder(), true, "alice", "pw-4711-secret");
    broker.start();
    broker.keepFor(samplesTopic);
    const RecorderOutcome outcome =
        run({"--count", "25", "--interval", "2", "--range", "6=255", "--output", "rec.csv",
             "--report", "run.json", "--station", "st1", "--publish",
             QStringLiteral("mqtts://alice@localhost:%1").arg(broker.tlsPort), "--publish-ca",
             broker.caFile()},
            {"QV58163_MQTT_PASSWORD=pw-4711-secret", "QV58163_SIM_STEP_MS=1"});
    ASSERT_EQ(outcome.status, 0) << outcome.standardError.toStdString();
    const QStringList rows = this->rows();
    EXPECT_EQ(published(outcome.standardError),
              QList<int>({int(rows.size()), int(rows.size()), 0, 0}))
        << outcome.standardError.toStdString();
    // The CSV's names and digits, an empty field null, in the order taken.
    const QStringList names = lines("rec.csv").constFirst().split(',');
    QStringList expected;
    for (const QString &row : rows) {
        QStringList members;
        const QStringList fields = row.split(',');
        for (qsizetype k = 0; k < fields.size(); ++k) {
            const QString value = k == 0
                                      ? '"' + fields[k] + '"'
                                      : (fields[k].isEmpty() ? QStringLiteral("null") : fields[k]);
            members << QStringLiteral("\"%1\": %2").arg(names[k], value);
        }
        expected << '{' + members.join(QStringLiteral(", ")) + '}';
    }
    EXPECT_EQ(broker.collected(samplesTopic), expected);
    EXPECT_FALSE(json(expected.constFirst()).isEmpty()) << "not JSON";

    const QJsonObject state = json(broker.retained(stateTopic));
    EXPECT_EQ(state.value("state"), QStringLiteral("ended"));
    EXPECT_EQ(state.value("exit_status"), 0);
    EXPECT_EQ(state.value("station"), QStringLiteral("st1"));
    EXPECT_EQ(state.value("card"), 0);
    const QString report = broker.retained(QStringLiteral("qv58163/st1/card0/report"));
    EXPECT_EQ(report, contents("run.json").trimmed());
    for (const QString &output : {outcome.standardError, report, contents("rec.csv")}) {
        EXPECT_FALSE(output.contains(QLatin1String("pw-4711"))) << output.toStdString();
    }
}

TEST_F(RecorderPublishes, TheStateIsRunningWhileItRecordsAndOfflineOnceItIsKilled) {
    Broker broker(brokerFolder(), false);
    broker.start();
    QJsonObject running;
    const RecorderOutcome outcome =
        run({"--interval", "5", "--output", "rec.csv", "--station", "st1", "--publish",
             QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port)},
            {}, [&](QProcess &process) {
                waitForRows(3);
                running = json(broker.retained(stateTopic));
                ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
            });
    EXPECT_EQ(running.value("state"), QStringLiteral("running"));
    EXPECT_TRUE(
        QDateTime::fromString(running.value("started").toString(), Qt::ISODateWithMs).isValid())
        << running.value("started").toString().toStdString();
    // The broker sends the will once it sees the connection gone.
    QJsonObject state;
    for (int tries = 0; tries < 100 && state.value("state") != QStringLiteral("offline"); ++tries) {
        state = json(broker.retained(stateTopic));
    }
    EXPECT_EQ(state.value("state"), QStringLiteral("offline"));
    EXPECT_EQ(state.value("station"), QStringLiteral("st1"));
}

// Away at the start (true) or restarted mid-run (false): every sample reaches the broker in the
// order taken, once at least, and the recorder reconnected once.
class RecorderBrokerAway : public RecorderPublishes, public ::testing::WithParamInterface<bool> {};

TEST_P(RecorderBrokerAway, LosesNothing) {
    const bool atStart = GetParam();
    Broker broker(brokerFolder(), false);
    broker.start();
    broker.keepFor(samplesTopic);
    if (atStart) {
        broker.stop();
    }
    const RecorderOutcome outcome =
        run({"--interval", "5", "--output", "rec.csv", "--station", "st1", "--publish",
             QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port)},
            {"QV58163_SIM_STEP_MS=1"}, [&](QProcess &process) {
                waitForRows(20);
                if (!atStart) {
                    broker.stop();
                    waitForRows(40);
                }
                broker.start();
                waitForRows(rows().size() + 20);
                ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
            });
    EXPECT_EQ(outcome.status, 0) << outcome.standardError.toStdString();
    EXPECT_EQ(outcome.standardError.contains(QLatin1String("cannot be reached")), atStart);
    QStringList taken;
    for (const QString &row : rows()) {
        taken << row.section(',', 1, 1);
    }
    EXPECT_EQ(published(outcome.standardError),
              QList<int>({int(taken.size()), int(taken.size()), 0, 1}))
        << outcome.standardError.toStdString();
    QStringList arrived;
    static const QRegularExpression elapsed(QStringLiteral(R"("elapsed_s": ([0-9.]+))"));
    for (const QString &payload : broker.collected(samplesTopic)) {
        const QString at = elapsed.match(payload).captured(1);
        if (!arrived.contains(at)) {  // QoS 1: one may come twice after a reconnect
            arrived << at;
        }
    }
    EXPECT_EQ(arrived, taken);
}

INSTANTIATE_TEST_SUITE_P(When, RecorderBrokerAway, ::testing::Values(true, false),
                         [](const auto &info) {
                             return std::string(info.param ? "AtTheStart" : "RestartedMidRun");
                         });

TEST_F(RecorderPublishes, BeyondItsBufferDropsTheOldestCountedWithStatus5) {
    const RecorderOutcome outcome =
        run({"--count", "30", "--interval", "2", "--output", "rec.csv", "--report", "run.json",
             "--publish", QStringLiteral("mqtt://127.0.0.1:%1").arg(freePort()), "--publish-buffer",
             "5", "--publish-timeout", "0.1"},
            {"QV58163_SIM_STEP_MS=1"});
    EXPECT_EQ(outcome.status, 5) << outcome.standardError.toStdString();
    const int taken = static_cast<int>(rows().size());
    EXPECT_EQ(published(outcome.standardError), QList<int>({0, taken, taken - 5, 0}));
    const QJsonObject report = json(contents("run.json"));
    EXPECT_EQ(report.value("exitStatus"), 5);
    EXPECT_EQ(report.value("published").toObject().value("dropped"), taken - 5);
    EXPECT_EQ(report.value("published").toObject().value("unsent"), 5);
}

// A broker that says no ends the run before the file is created, naming why.
struct Refused {
    const char *name;
    bool tls;
    const char *password;
    const char *said;
};

class RecorderRefusedByTheBroker : public RecorderPublishes,
                                   public ::testing::WithParamInterface<Refused> {};

TEST_P(RecorderRefusedByTheBroker, EndsWithStatus1AndNoFile) {
    const Refused refused = GetParam();
    Broker broker(brokerFolder(), refused.tls, "alice", "pw-right-1");
    broker.start();
    const RecorderOutcome outcome =
        run({"--count", "3", "--output", "rec.csv", "--publish",
             refused.tls ? QStringLiteral("mqtts://alice@localhost:%1").arg(broker.tlsPort)
                         : QStringLiteral("mqtt://alice@127.0.0.1:%1").arg(broker.port)},
            {QStringLiteral("QV58163_MQTT_PASSWORD=") + refused.password});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.standardError.contains(QLatin1String(refused.said)))
        << outcome.standardError.toStdString();
    EXPECT_FALSE(outcome.standardError.contains(QLatin1String("pw-")));
    EXPECT_FALSE(exists("rec.csv"));
}

INSTANTIATE_TEST_SUITE_P(Cases, RecorderRefusedByTheBroker,
                         ::testing::Values(Refused{"WrongPassword", false, "pw-wrong-2",
                                                   "refused the connection"},
                                           Refused{"UntrustedCertificate", true, "pw-right-1",
                                                   "its certificate does not check out"}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv58163::test
