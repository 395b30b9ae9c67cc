// qv58163-record: records the eight voltages of a QV58163 card to a CSV file, from the command
// line, through the same driver binding and conversion as the panel.
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <memory>

#if defined(_WIN32)
#include <windows.h>

#include <shellapi.h>
#endif

#if defined(QV58163_PUBLISH)
#include "MqttPublisher.hpp"
#endif
#include "Options.hpp"
#include "Recorder.hpp"
#include "RecorderExitStatus.hpp"
#include "System.hpp"

namespace {

// Qt's own notes (a missing XDG_RUNTIME_DIR, fonts, an image library's complaint) mean nothing to
// someone recording; the recorder reports its own failures, with their reasons. Only a fatal
// message gets through.
void qtMessages(QtMsgType type, const QMessageLogContext &, const QString &text) {
    if (type == QtFatalMsg) {
        std::fputs(qPrintable(qv58163::recorder::messageLine(text)), stderr);
    }
}

QStringList argumentsOf(int argc, char *argv[]) {
    QStringList arguments;
#if defined(_WIN32)
    // argv is in the ANSI code page, which loses characters of file names outside it; the
    // command line's own UTF-16 keeps them.
    int count = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int k = 0; k < count; ++k) {
            arguments << QString::fromWCharArray(wide[k]);
        }
        LocalFree(wide);
        return arguments;
    }
#endif
    for (int k = 0; k < argc; ++k) {
        arguments << QString::fromLocal8Bit(argv[k]);
    }
    return arguments;
}

}  // namespace

int main(int argc, char *argv[]) {
    using namespace qv58163;
    using namespace qv58163::recorder;
    SystemSurroundings::takeStopSignals();
    qInstallMessageHandler(qtMessages);

    const CommandLine commandLine = parseCommandLine(argumentsOf(argc, argv));
    switch (commandLine.action) {
        case CommandLine::Action::Help:
            std::fputs(qPrintable(commandLine.text), stdout);
            return exitStatus::normal;
        case CommandLine::Action::Version:
            std::printf("qv58163-record %s\n", QV58163_VERSION);
            return exitStatus::normal;
        case CommandLine::Action::Error:
            std::fputs(qPrintable(messageLine(commandLine.text)), stderr);
            return exitStatus::badCommandLine;
        case CommandLine::Action::Run:
            break;
    }

    // Qt gets the program's name only: the command line has been read, and an option's value
    // that Qt takes for one of its own ("--output -platform") must not change the run. Qt's own
    // options are refused as unknown above.
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    // Only the plot needs Qt Gui (for its fonts). Drawn into a file, never shown: no display is
    // needed, over SSH or from a service. On Windows the system's own platform needs no display
    // either, and it alone has the system's fonts.
    std::unique_ptr<QCoreApplication> application;
    if (!commandLine.options.plot.isEmpty()) {
#if !defined(_WIN32)
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
        application = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
    } else {
        application = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    }
    card::DriverLibrary driver(QCoreApplication::applicationDirPath());
    SystemSurroundings surroundings;
    std::unique_ptr<Publisher> publisher;
#if defined(QV58163_PUBLISH)
    if (commandLine.options.publish) {
        publisher = makeMqttPublisher(*commandLine.options.publish);
    }
#endif
    return record(commandLine.options, driver, surroundings, publisher.get());
}
