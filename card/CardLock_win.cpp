#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "CardLock.hpp"

namespace qv58163::card {

namespace {

// The named mutex is the lock: it exists while a process holds a handle to it, and the system
// closes the handle when the process ends, however it ends.
std::wstring mutexName(const wchar_t *space, int card) {
    return std::wstring(space) + L"qv58163-card-" + std::to_wstring(card);
}

QString nameText(const std::wstring &name) {
    return QString::fromWCharArray(name.c_str(), static_cast<qsizetype>(name.size()));
}

}  // namespace

// Nothing to find before the card is known: whether a mutex can be made shows when it is made.
QString CardLock::whyNoLocks() {
    return {};
}

CardLock CardLock::take(int card) {
    const QString anotherProcess = QStringLiteral("another process");
    QString note;
    // Machine-wide, so that a service and every user's session see the same lock.
    std::wstring name = mutexName(L"Global\\", card);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    DWORD error = GetLastError();
    if (mutex == nullptr && error == ERROR_ACCESS_DENIED) {
        // Either the mutex exists and its maker's security keeps this account from opening it
        // whole (a service's), or this account may not make global objects at all.
        HANDLE existing = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
        const DWORD openError = GetLastError();
        if (existing != nullptr || openError == ERROR_ACCESS_DENIED) {
            if (existing != nullptr) {
                CloseHandle(existing);
            }
            return {State::InUse, anotherProcess};
        }
        note = QStringLiteral(
                   "card %1 is locked in this session only: this account may not "
                   "create machine-wide objects")
                   .arg(card);
        name = mutexName(L"Local\\", card);
        mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        error = GetLastError();
    }
    if (mutex == nullptr) {
        return {State::NoLock, QStringLiteral("cannot create the mutex %1: %2")
                                   .arg(nameText(name), qt_error_string(static_cast<int>(error)))};
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return {State::InUse, anotherProcess};
    }
    return {State::Held,
            {},
            std::shared_ptr<void>(mutex, [](void *handle) { CloseHandle(handle); }),
            note};
}

}  // namespace qv58163::card
