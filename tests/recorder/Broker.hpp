// A real MQTT broker of the test's own: the system's mosquitto binary (never its service) on free
// local ports, with a configuration, password file and certificates made in a scratch folder, and
// its clients (mosquitto_sub) to see what reached it.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

namespace qv58163::test {

// A local TCP port nothing listens on (at this moment).
inline int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    close(fd);
    return bound ? ntohs(address.sin_port) : 0;
}

// Runs `program` to its end; its standard output.
inline QString runTool(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << program.toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

class Broker {
public:
    // A plain listener on `port`; with `tls` a TLS listener on `tlsPort`, whose certificate for
    // "localhost" a CA made here signs (caFile()); with `user`, that user alone, with `password`.
    Broker(const QString &folder, bool tls, const QString &user = {}, const QString &password = {})
        : folder_(folder), user_(user), password_(password) {
        QStringList config = {
            // Started by root it would become the user "mosquitto", who cannot read the folder.
            QStringLiteral("user %1").arg(QString::fromLocal8Bit(getpwuid(geteuid())->pw_name)),
            "per_listener_settings false",
            // What a subscriber's lasting session is owed survives a restart.
            "persistence true", "persistence_location " + folder + "/", "max_queued_messages 0",
            "log_dest file " + path("broker.log"), "log_type all",
            QStringLiteral("listener %1 127.0.0.1").arg(port)};
        if (user.isEmpty()) {
            config << "allow_anonymous true";
        } else {
            runTool("mosquitto_passwd", {"-b", "-c", path("passwords"), user, password});
            config << "allow_anonymous false"
                   << "password_file " + path("passwords");
        }
        if (tls) {
            const QStringList key = {"-newkey", "ec",    "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                     "-nodes",  "-days", "1"};
            runTool("openssl", QStringList{"req", "-x509", "-subj", "/CN=qv58163 test CA",
                                           "-keyout", path("ca.key"), "-out", caFile()} +
                                   key);
            runTool("openssl", QStringList{"req", "-x509", "-subj", "/CN=localhost", "-addext",
                                           "subjectAltName=DNS:localhost", "-CA", caFile(),
                                           "-CAkey", path("ca.key"), "-keyout", path("server.key"),
                                           "-out", path("server.pem")} +
                                   key);
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
        const QString log = path("broker.log");
        const qsizetype before = QFile(log).size();
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start(QStringLiteral("/usr/sbin/mosquitto"), {"-c", path("broker.conf")});
        ASSERT_TRUE(process_.waitForStarted())
            << "no /usr/sbin/mosquitto (scripts/install-deps.sh)";
        for (int wait = 0; wait < 1000; ++wait) {
            QFile file(log);
            if (file.open(QIODevice::ReadOnly) && file.readAll().mid(before).contains(" running")) {
                return;
            }
            ASSERT_EQ(process_.state(), QProcess::Running) << contents(log).toStdString();
            QThread::msleep(10);
        }
        FAIL() << "the broker did not start";
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
        QStringList all = {"-h", "127.0.0.1", "-p", QString::number(port), "-q", "1"};
        if (!user_.isEmpty()) {
            all << "-u" << user_ << "-P" << password_;
        }
        return runTool(QStringLiteral("mosquitto_sub"), all + arguments);
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

    const int port = freePort();
    const int tlsPort = freePort();

private:
    static QString contents(const QString &name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QString folder_;
    QString user_;
    QString password_;
    QProcess process_;
};

}  // namespace qv58163::test
