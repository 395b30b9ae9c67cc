// qv58163-record: records the eight voltages of a QV58163 card to a CSV file, from the command
// line, through the same driver binding and conversion as the panel.
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Options.hpp"
#include "Recorder.hpp"
#include "System.hpp"

namespace {

// Qt's own notes (a missing XDG_RUNTIME_DIR, fonts) mean nothing to someone recording; the
// recorder reports its own failures. Only Qt's critical and fatal messages get through.
void qtMessages(QtMsgType type, const QMessageLogContext &, const QString &text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "qv58163-record: %s\n", qPrintable(text));
    }
}

// Whether the command line asks for a plot, which alone needs Qt Gui (for its fonts).
bool asksForPlot(int argc, char *argv[]) {
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--plot") == 0 || std::strncmp(argv[k], "--plot=", 7) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char *argv[]) {
    using namespace qv58163::recorder;
    SystemSurroundings::takeStopSignals();
    qInstallMessageHandler(qtMessages);

    std::unique_ptr<QCoreApplication> application;
    if (asksForPlot(argc, argv)) {
        // Drawn into a file, never shown: no display needed, over SSH or from a service.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("qv58163-record"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QV58163_VERSION));

    const CommandLine commandLine = parseCommandLine(QCoreApplication::arguments());
    switch (commandLine.action) {
        case CommandLine::Action::Help:
            std::fputs(qPrintable(commandLine.text), stdout);
            return Done;
        case CommandLine::Action::Version:
            std::printf("qv58163-record %s\n", QV58163_VERSION);
            return Done;
        case CommandLine::Action::Error:
            std::fprintf(stderr, "qv58163-record: %s\n", qPrintable(commandLine.text));
            return BadCommandLine;
        case CommandLine::Action::Run:
            break;
    }

    qv58163::card::DriverLibrary driver(QCoreApplication::applicationDirPath());
    SystemSurroundings surroundings;
    return record(commandLine.options, driver, surroundings);
}
