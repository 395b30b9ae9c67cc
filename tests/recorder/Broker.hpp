// A real MQTT broker of the test's own: the system's mosquitto binary (never its service) on free
// local ports, with a configuration, password file and certificates made in a scratch folder, and
// its client mosquitto_sub to see what reached it.
#pragma once

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace qv58163::test {

// Two local TCP ports nothing listens on (at this moment).
inline QList<int> freePorts() {
    QTcpServer one, two;
    one.listen(QHostAddress::LocalHost);
    two.listen(QHostAddress::LocalHost);
    return {one.serverPort(), two.serverPort()};
}

// Runs `program` to its end; its standard output.
inline QString runTool(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

class Broker {
public:
    // A plain listener on `port`; with `tls` a TLS listener on `tlsPort`, whose certificate for
    // "localhost" a CA made here signs (caFile()); with `user`, that user alone, with `password`.
    Broker(const QString &folder, bool tls, const QString &user = {}, const QString &password = {})
        : folder_(folder),
          credentials_(user.isEmpty() ? QStringList() : QStringList{"-u", user, "-P", password}) {
        QDir().mkpath(folder);
        QStringList config = {
            // Started by root it would become the user "mosquitto", who cannot read the folder.
            QStringLiteral("user ") + QString::fromLocal8Bit(getpwuid(geteuid())->pw_name),
            // What a lasting session is owed survives a restart.
            "per_listener_settings false", "persistence true",
            "persistence_location " + folder + "/", "max_queued_messages 0",
            "log_dest file " + path("broker.log"),
            QStringLiteral("listener %1 127.0.0.1").arg(port),
            user.isEmpty() ? "allow_anonymous true" : "password_file " + path("passwords")};
        if (!user.isEmpty()) {
            runTool("mosquitto_passwd", {"-b", "-c", path("passwords"), user, password});
        }
        if (tls) {
            const QStringList key = {"req",    "-x509",    "-newkey",
                                     "ec",     "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                     "-nodes", "-days",    "1"};
            runTool("openssl", key + QStringList{"-subj", "/CN=qv58163 test CA", "-keyout",
                                                 path("ca.key"), "-out", caFile()});
            runTool("openssl", key + QStringList{"-subj", "/CN=localhost", "-addext",
                                                 "subjectAltName=DNS:localhost", "-CA", caFile(),
                                                 "-CAkey", path("ca.key"), "-keyout",
                                                 path("server.key"), "-out", path("server.pem")});
            config << QStringLiteral("listener %1 127.0.0.1").arg(tlsPort) << "cafile " + caFile()
                   << "certfile " + path("server.pem") << "keyfile " + path("server.key");
        }
        QFile file(path("broker.conf"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) &&
                    file.write((config.join('\n') + '\n').toUtf8()) > 0);
    }
    ~Broker() { stop(); }

    // Starts the broker and waits until it listens.
    void start() {
        process_.start(QStringLiteral("/usr/sbin/mosquitto"), {"-c", path("broker.conf")});
        ASSERT_TRUE(process_.waitForStarted())
            << "no /usr/sbin/mosquitto (scripts/install-deps.sh)";
        QTcpSocket probe;
        for (int wait = 0; wait < 1000 && process_.state() == QProcess::Running; ++wait) {
            probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
            if (probe.waitForConnected()) {
                return;
            }
            QThread::msleep(10);
        }
        FAIL() << "the broker did not start: see " << path("broker.log").toStdString();
    }
    // Stops it as a service is stopped (SIGTERM): it saves what it keeps.
    void stop() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            EXPECT_TRUE(process_.waitForFinished());
        }
    }

    // mosquitto_sub on the plain listener, as the broker's user, with `arguments`; its output.
    QString subscribe(const QStringList &arguments) const {
        return runTool(QStringLiteral("mosquitto_sub"),
                       QStringList{"-h", "127.0.0.1", "-p", QString::number(port), "-q", "1"} +
                           credentials_ + arguments);
    }
    // A lasting session subscribed to `topic`: the broker keeps what it is sent while it is away.
    void keepFor(const QString &topic) const {
        subscribe({"-c", "-i", "collector", "-t", topic, "-E"});
    }
    // The payloads kept for that session, one a line, taken within two seconds.
    QStringList collected(const QString &topic) const {
        return subscribe({"-c", "-i", "collector", "-t", topic, "-F", "%p", "-W", "2"})
            .split('\n', Qt::SkipEmptyParts);
    }
    // The message retained on `topic`.
    QString retained(const QString &topic) const {
        return subscribe({"-t", topic, "-F", "%p", "-C", "1", "-W", "5"}).trimmed();
    }

    QString path(const char *name) const { return folder_ + '/' + QLatin1String(name); }
    QString caFile() const { return path("ca.pem"); }

    const QList<int> ports = freePorts();
    const int port = ports[0];
    const int tlsPort = ports[1];

private:
    QString folder_;
    QStringList credentials_;  // for mosquitto_sub
    QProcess process_;
};

}  // namespace qv58163::test
