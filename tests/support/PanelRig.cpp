#include "PanelRig.hpp"

#include <QFile>
#include <QLabel>

namespace qv58163::test {

QString simulatorDir() {
    return QStringLiteral(QV58163_SIMULATOR_DIR);
}

QString testDriverDir(const char *name) {
    return QStringLiteral(QV58163_TEST_DRIVERS_DIR "/") + QLatin1String(name);
}

PanelRig::PanelRig(const QString &driverDir)
    : panel(driverDir, [this](const QString &line) { errors << line.toStdString() << '\n'; }) {
    qputenv("QV58163_LOCK_DIR", QFile::encodeName(lockFolder.path()));
    window.setMessageBoxSeam([this](QWidget *, const QString &text) {
        messages.push_back(text);
        if (onMessage) {
            onMessage();
        }
    });
    window.setEndSeam([this](int status) { endStatuses.push_back(status); });
}

QStringList PanelRig::captions() const {
    QStringList texts;
    for (int i = 0; i < card::channelCount; ++i) {
        texts << window.valueLabel(i)->text();
    }
    return texts;
}

ScopedEnvironment::ScopedEnvironment(
    std::initializer_list<std::pair<const char *, QByteArray>> values) {
    for (const auto &[name, value] : values) {
        previous_.emplace_back(name, qEnvironmentVariableIsSet(name)
                                         ? std::optional<QByteArray>(qgetenv(name))
                                         : std::nullopt);
        qputenv(name, value);
    }
}

ScopedEnvironment::~ScopedEnvironment() {
    for (const auto &[name, value] : previous_) {
        if (value) {
            qputenv(name, *value);
        } else {
            qunsetenv(name);
        }
    }
}

QStringList simulatorTrace(const QString &path) {
    QFile file(path);
    QStringList calls;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return calls;
    }
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (!line.isEmpty()) {
            calls << line.section(QStringLiteral(" = "), 0, 0);
        }
    }
    return calls;
}

}  // namespace qv58163::test
