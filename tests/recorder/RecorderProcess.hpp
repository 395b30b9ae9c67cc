// qv58163-record run as a process in a scratch directory, on the simulated card beside it, with
// only the simulator settings a test gives. What it leaves comes back as plain strings.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>

#include "PrintTo.hpp"

namespace qv58163::test {

struct RecorderOutcome {
    int status = -1;
    QString standardError;
    QStringList trace;  // the simulated driver's calls, one per line
};

class RecorderProcess : public ::testing::Test {
protected:
    // Runs the recorder with `arguments` and the settings `environment` ("NAME=VALUE"). `during`,
    // when given, runs once the process has started, with the process.
    RecorderOutcome run(const QStringList &arguments, const QStringList &environment = {},
                        const std::function<void(QProcess &)> &during = {}) {
        QProcess process;
        if (childSetUp) {
            process.setChildProcessModifier(childSetUp);
        }
        process.setProcessEnvironment(settings(environment));
        process.setWorkingDirectory(scratch.path());
        if (reader) {
            process.setStandardOutputProcess(reader);
            reader->start();
        }
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForStarted()) << process.errorString().toStdString();
        if (during) {
            during(process);
        }
        EXPECT_TRUE(process.waitForFinished(60000)) << "the recorder did not end";
        RecorderOutcome outcome;
        outcome.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.standardError = QString::fromLocal8Bit(process.readAllStandardError());
        outcome.trace = lines("calls.trace");
        return outcome;
    }

    // The recorder's environment: none of the caller's simulator settings, a trace in the scratch
    // directory and the card locks in its folder locks/ (so that tests running side by side, or
    // a recorder on the machine, hold cards of their own), and `environment`.
    QProcessEnvironment settings(const QStringList &environment) {
        QProcessEnvironment settings = QProcessEnvironment::systemEnvironment();
        for (const QString &name : settings.keys()) {
            if (name.startsWith(QLatin1String("QV58163_SIM_"))) {
                settings.remove(name);
            }
        }
        settings.insert(QStringLiteral("QV58163_SIM_TRACE"), path("calls.trace"));
        QDir(scratch.path()).mkdir(QStringLiteral("locks"));
        settings.insert(QStringLiteral("QV58163_LOCK_DIR"), path("locks"));
        for (const QString &setting : environment) {
            settings.insert(setting.section(QLatin1Char('='), 0, 0),
                            setting.section(QLatin1Char('='), 1));
        }
        QFile::remove(path("calls.trace"));
        return settings;
    }

    QString path(const char *name) const { return scratch.filePath(QLatin1String(name)); }
    bool exists(const char *name) const { return QFile::exists(path(name)); }
    QString contents(const char *name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // Waits until file `name` has `count` lines or more, five seconds at most.
    void waitForLines(const char *name, qsizetype count) const {
        for (int wait = 0; wait < 500 && lines(name).size() < count; ++wait) {
            QThread::msleep(10);
        }
    }
    QStringList lines(const char *name) const {
        QStringList all = contents(name).split(QLatin1Char('\n'));
        if (!all.isEmpty() && all.constLast().isEmpty()) {
            all.removeLast();
        }
        return all;
    }

    QString program =
        QDir(QStringLiteral(QV58163_RECORDER_DIR)).filePath(QStringLiteral("qv58163-record"));
    QTemporaryDir scratch;
    // When set, the process that reads the recorder's standard output (set up, not started).
    QProcess *reader = nullptr;
    // When set, runs in the recorder's process before it starts (a resource limit, say).
    std::function<void()> childSetUp;
};

}  // namespace qv58163::test
