// The operator's test panel for the QV58163 A/D card: one window, on the card driver found beside
// the program or in the system's library path.
#include <QApplication>
#include <cstdio>

#include "Panel.hpp"
#include "Pictures.hpp"

int main(int argc, char *argv[]) {
    // On X11, pixels go to the server through the socket rather than shared memory. The window
    // repaints eight small captions ten times a second, and with shared memory Qt first makes a
    // round trip to the server on every repaint (to be sure it has finished reading the last
    // one), waking two threads for a few kilobytes. Read when the connection opens.
    qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    // Before the first widget: no picture of the window needs an image-format plugin.
    QApplication::setStyle(new qv58163::ui::PictureStyle);
    QCoreApplication::setApplicationName(QStringLiteral("qv58163"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QV58163_VERSION));

    // Run-time errors also go to standard error. Through stdio rather than a C++ stream, whose
    // first use sets up the C++ locale machinery: a third of a megabyte for one line.
    qv58163::ui::Panel panel(QCoreApplication::applicationDirPath(), [](const QString &line) {
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    });
    if (const auto status = panel.start()) {
        return *status;  // ended during start-up: the window is never shown
    }
    return QApplication::exec();
}
