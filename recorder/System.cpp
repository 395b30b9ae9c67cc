// What the real surroundings do alike on every system; the system calls are in System_posix.cpp
// and System_win.cpp (SystemCalls.hpp).
#include "System.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Files.hpp"
#include "SystemCalls.hpp"

namespace qv58163::recorder {

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void SystemSurroundings::takeStopSignals() {
    platform::takeStopSignals();
}

SystemSurroundings::~SystemSurroundings() {
    platform::runEnded();
}

Surroundings::TimePoint SystemSurroundings::now() {
    return std::chrono::steady_clock::now();
}

std::int64_t SystemSurroundings::utcMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool SystemSurroundings::stopAsked() {
    if (!stopped_) {
        stopped_ = platform::waitForStop(TimePoint::duration::zero()) == platform::Woken::Stop;
    }
    return stopped_;
}

bool SystemSurroundings::waitUntil(TimePoint deadline) {
    while (!stopped_) {
        const auto left = std::max(deadline - now(), TimePoint::duration::zero());
        switch (platform::waitForStop(left)) {
            case platform::Woken::Stop:
                stopped_ = true;
                break;
            case platform::Woken::Time:
                if (now() >= deadline) {
                    return true;
                }
                break;
            case platform::Woken::Early:
                break;  // wait on
        }
    }
    return false;
}

std::unique_ptr<RowOutput> SystemSurroundings::createOutput(const QString &name, bool replace,
                                                            QString &error) {
    return platform::createOutput(name, replace, error);
}

std::optional<std::int64_t> SystemSurroundings::freeBytes(const QString &folder) {
    return platform::freeBytes(folder);
}

QString SystemSurroundings::writeNewFile(const QString &name, const QByteArray &bytes, bool replace,
                                         QString &keptAs) {
    return recorder::writeNewFile(name, bytes, replace, keptAs);
}

card::CardLock SystemSurroundings::holdCard(int card) {
    return card::CardLock::take(card);
}

QString SystemSurroundings::whyNoCardLocks() {
    return card::CardLock::whyNoLocks();
}

bool SystemSurroundings::progressShows(bool rowsOnStandardOutput) const {
    return platform::isTerminal(2) && !(rowsOnStandardOutput && platform::isTerminal(1));
}

void SystemSurroundings::message(const QString &text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

}  // namespace qv58163::recorder
