// The system calls of SystemCalls.hpp on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

#include "Files.hpp"
#include "SystemCalls.hpp"

namespace qv58163::recorder::platform {

namespace {

// Without POSIX signal masks: a flag the handler sets, looked at between short sleeps. Ctrl+C,
// Ctrl+Break and closing the console window all ask for a stop.
volatile LONG stopRequested = 0;
// Set once the run has stopped the card and closed the driver (SystemSurroundings' end).
HANDLE runEndedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

BOOL WINAPI askStop(DWORD event) {
    InterlockedExchange(&stopRequested, 1);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The system ends the process as soon as this returns (at the latest after 5 s): hold it
        // until the run has let go of the card.
        WaitForSingleObject(runEndedEvent, 4500);
    }
    return TRUE;
}

// Whether an open file is one on a disk, not a device (NUL, CON, COM1, ...).
bool isDiskFile(std::FILE *file) {
    return GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) == FILE_TYPE_DISK;
}

class FileOutput final : public RowOutput {
public:
    explicit FileOutput(std::FILE *file) : file_(file), disk_(isDiskFile(file)) {}
    ~FileOutput() override {
        if (file_ != stdout) {
            std::fclose(file_);
        }
    }
    Result write(const QByteArray &row) override {
        const long before = std::ftell(file_);
        if (std::fwrite(row.constData(), 1, static_cast<std::size_t>(row.size()), file_) ==
                static_cast<std::size_t>(row.size()) &&
            std::fflush(file_) == 0) {
            return Result::Written;
        }
        error_ = errno;
        if (before >= 0 && file_ != stdout) {
            _chsize(_fileno(file_), before);  // the row whole or not at all
        }
        return error_ == EPIPE || error_ == EINVAL ? Result::Closed : Result::Failed;
    }
    // Each row has left the C library already (write flushes it); this asks the system to put
    // its cache on the disk. Not for a pipe or a device, where it would wait for the reader.
    bool sync() override {
        if (!disk_ ||
            FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)))) != 0) {
            return true;
        }
        error_ = GetLastError() == ERROR_DISK_FULL ? ENOSPC : EIO;
        return false;
    }
    QString errorString() const override { return errorText(error_); }

private:
    std::FILE *file_;
    bool disk_;
    int error_ = 0;
};

}  // namespace

void takeStopSignals() {
    SetConsoleCtrlHandler(askStop, TRUE);
    // Rows end in a line feed on standard output as in a file, not in CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
}

void runEnded() {
    SetEvent(runEndedEvent);
}

Woken waitForStop(Surroundings::TimePoint::duration longest) {
    if (stopRequested != 0) {
        return Woken::Stop;
    }
    std::this_thread::sleep_for(
        std::min<Surroundings::TimePoint::duration>(longest, std::chrono::milliseconds(50)));
    return stopRequested != 0 ? Woken::Stop : Woken::Time;
}

std::unique_ptr<RowOutput> createOutput(const QString &name, bool replace, QString &error) {
    if (name.isEmpty()) {
        return std::make_unique<FileOutput>(stdout);
    }
    if (replace && fileKind(name) == FileKind::Other) {
        error = notRegularText();
        return nullptr;
    }
    std::FILE *file =
        _wfopen(reinterpret_cast<const wchar_t *>(name.utf16()), replace ? L"wb" : L"wbx");
    if (file == nullptr) {
        error = errorText(errno);
        return nullptr;
    }
    if (replace && !isDiskFile(file)) {
        std::fclose(file);
        error = notRegularText();
        return nullptr;
    }
    return std::make_unique<FileOutput>(file);
}

std::optional<std::int64_t> freeBytes(const QString &folder) {
    // Asked of the folder itself, so no volume has to be named (a mount point, a share); with a
    // trailing backslash, as the root of a share needs.
    QString directory = QDir::toNativeSeparators(folder);
    if (!directory.endsWith(QLatin1Char('\\'))) {
        directory += QLatin1Char('\\');
    }
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(reinterpret_cast<const wchar_t *>(directory.utf16()), &available,
                            nullptr, nullptr) == 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(available.QuadPart);  // what this user may write
}

bool isTerminal(int fd) {
    return _isatty(fd) != 0;
}

}  // namespace qv58163::recorder::platform
