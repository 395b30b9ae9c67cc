// The recorder publishing to a real broker (Broker.hpp): what reaches it against the files, the
// retained state's life, a broker away at the start or restarted mid-run, the buffer's bound, and
// the refusals, with the password kept out of everything.
#include <signal.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include "Broker.hpp"
#include "RecorderProcess.hpp"

namespace qv58163::test {
namespace {

const QString samplesTopic = QStringLiteral("qv58163/st1/card0/samples");
const QString stateTopic = QStringLiteral("qv58163/st1/card0/state");

QJsonObject json(const QString &text) {
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

// "published 12 of 12 samples, 0 dropped, reconnected 1 time".
QString publishedLine(qsizetype published, qsizetype samples, qsizetype dropped, int reconnects) {
    return QString::asprintf("published %lld of %lld samples, %lld dropped, reconnected %d time",
                             published, samples, dropped, reconnects);
}

class RecorderPublishes : public RecorderProcess {
protected:
    QStringList rows() { return lines("rec.csv").mid(1); }
    void waitForRows(qsizetype count) {
        for (int wait = 0; wait < 3000 && rows().size() < count; ++wait) {
            QThread::msleep(10);
        }
    }
    // An open-ended run at 5 ms as station st1 to the broker's plain listener.
    RecorderOutcome runOn(const Broker &broker, const std::function<void(QProcess &)> &during) {
        return run({"--interval", "5", "--output", "rec.csv", "--station", "st1", "--publish",
                    QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port)},
                   {"QV58163_SIM_STEP_MS=1"}, during);
    }
};

TEST_F(RecorderPublishes, OverTlsEachSampleIsItsRowAndTheReportTheFileWithThePasswordNowhere) {
    Broker broker(path("broker"), true, "alice", "pw-4711-secret");
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
    EXPECT_TRUE(outcome.standardError.contains(publishedLine(rows.size(), rows.size(), 0, 0)))
        << outcome.standardError.toStdString();
    // The CSV's names and digits, an empty field null, in the order taken.
    const QStringList names = lines("rec.csv").constFirst().split(',');
    QStringList expected;
    for (const QString &row : rows) {
        QStringList members;
        const QStringList fields = row.split(',');
        for (qsizetype k = 0; k < fields.size(); ++k) {
            members << QStringLiteral("\"%1\": %2")
                           .arg(names[k], k == 0 ? '"' + fields[k] + '"'
                                                 : (fields[k].isEmpty() ? QStringLiteral("null")
                                                                        : fields[k]));
        }
        expected << '{' + members.join(QStringLiteral(", ")) + '}';
    }
    EXPECT_EQ(broker.collected(samplesTopic), expected);

    const QJsonObject state = json(broker.retained(stateTopic));
    EXPECT_EQ(state.value("state"), QStringLiteral("ended"));
    EXPECT_EQ(state.value("exit_status"), 0);
    const QString report = broker.retained(QStringLiteral("qv58163/st1/card0/report"));
    EXPECT_EQ(report, contents("run.json").trimmed());
    for (const QString &output : {outcome.standardError, report, contents("rec.csv")}) {
        EXPECT_FALSE(output.contains(QLatin1String("pw-4711"))) << output.toStdString();
    }
}

TEST_F(RecorderPublishes, TheStateIsRunningWhileItRecordsAndOfflineOnceItIsKilled) {
    Broker broker(path("broker"), false);
    broker.start();
    QJsonObject running;
    runOn(broker, [&](QProcess &process) {
        waitForRows(3);
        running = json(broker.retained(stateTopic));
        ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    });
    EXPECT_EQ(running.value("state"), QStringLiteral("running"));
    EXPECT_EQ(running.value("station"), QStringLiteral("st1"));
    EXPECT_TRUE(
        QDateTime::fromString(running.value("started").toString(), Qt::ISODateWithMs).isValid());
    // The broker sends the will once it sees the connection gone.
    QJsonObject state;
    for (int tries = 0; tries < 100 && state.value("state") != QStringLiteral("offline"); ++tries) {
        state = json(broker.retained(stateTopic));
    }
    EXPECT_EQ(state.value("state"), QStringLiteral("offline"));
}

// Away at the start (true) or restarted mid-run (false): every sample reaches the broker in the
// order taken, once at least, and the recorder reconnected once.
class RecorderBrokerAway : public RecorderPublishes, public ::testing::WithParamInterface<bool> {};

TEST_P(RecorderBrokerAway, LosesNothing) {
    const bool atStart = GetParam();
    Broker broker(path("broker"), false);
    broker.start();
    broker.keepFor(samplesTopic);
    if (atStart) {
        broker.stop();
    }
    const RecorderOutcome outcome = runOn(broker, [&](QProcess &process) {
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
    EXPECT_TRUE(outcome.standardError.contains(publishedLine(taken.size(), taken.size(), 0, 1)))
        << outcome.standardError.toStdString();
    QStringList arrived;
    for (const QString &payload : broker.collected(samplesTopic)) {
        const QString at = payload.section(QLatin1String("\"elapsed_s\": "), 1).section(',', 0, 0);
        if (!arrived.contains(at)) {  // QoS 1: one may come twice after a reconnect
            arrived << at;
        }
    }
    EXPECT_EQ(arrived.join(QLatin1Char(' ')).toStdString(),
              taken.join(QLatin1Char(' ')).toStdString());
}

INSTANTIATE_TEST_SUITE_P(When, RecorderBrokerAway, ::testing::Values(true, false),
                         [](const auto &info) {
                             return std::string(info.param ? "AtTheStart" : "RestartedMidRun");
                         });

TEST_F(RecorderPublishes, BeyondItsBufferDropsTheOldestCountedWithStatus5) {
    const RecorderOutcome outcome =
        run({"--count", "30", "--interval", "2", "--output", "rec.csv", "--report", "run.json",
             "--publish", QStringLiteral("mqtt://127.0.0.1:%1").arg(freePorts()[0]),
             "--publish-buffer", "5", "--publish-timeout", "0.1"},
            {"QV58163_SIM_STEP_MS=1"});
    EXPECT_EQ(outcome.status, 5) << outcome.standardError.toStdString();
    const qsizetype taken = rows().size();
    EXPECT_TRUE(outcome.standardError.contains(publishedLine(0, taken, taken - 5, 0)));
    const QJsonObject report = json(contents("run.json"));
    EXPECT_EQ(report.value("exitStatus"), 5);
    EXPECT_EQ(report.value("published").toObject().value("unsent"), 5);
}

// A broker that says no (a wrong password; over TLS, a certificate no CA given vouches for) ends
// the run before the file is created, naming why.
class RecorderRefusedByTheBroker : public RecorderPublishes,
                                   public ::testing::WithParamInterface<bool> {};

TEST_P(RecorderRefusedByTheBroker, EndsWithStatus1AndNoFile) {
    const bool tls = GetParam();
    Broker broker(path("broker"), tls, "alice", "pw-right-1");
    broker.start();
    const RecorderOutcome outcome =
        run({"--count", "3", "--output", "rec.csv", "--publish",
             tls ? QStringLiteral("mqtts://alice@localhost:%1").arg(broker.tlsPort)
                 : QStringLiteral("mqtt://alice@127.0.0.1:%1").arg(broker.port)},
            {tls ? "QV58163_MQTT_PASSWORD=pw-right-1" : "QV58163_MQTT_PASSWORD=pw-wrong-2"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.standardError.contains(
        tls ? QLatin1String("its certificate does not check out")
            : QLatin1String("refused the connection: not authorised")))
        << outcome.standardError.toStdString();
    EXPECT_FALSE(outcome.standardError.contains(QLatin1String("pw-")));
    EXPECT_FALSE(exists("rec.csv"));
}

INSTANTIATE_TEST_SUITE_P(Cases, RecorderRefusedByTheBroker, ::testing::Values(false, true),
                         [](const auto &info) {
                             return std::string(info.param ? "UntrustedCertificate"
                                                           : "WrongPassword");
                         });

}  // namespace
}  // namespace qv58163::test
