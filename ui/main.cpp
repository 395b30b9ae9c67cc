// The operator's test panel for the QV58163 A/D card: one window, on the card driver found beside
// the program or in the system's library path.
#include <QApplication>
#include <iostream>

#include "Panel.hpp"
#include "Pictures.hpp"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    // Before the first widget: no picture of the window needs an image-format plugin.
    QApplication::setStyle(new qv58163::ui::PictureStyle);
    QCoreApplication::setApplicationName(QStringLiteral("qv58163"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QV58163_VERSION));

    qv58163::ui::Panel panel(QCoreApplication::applicationDirPath(), std::cerr);
    if (const auto status = panel.start()) {
        return *status;  // ended during start-up: the window is never shown
    }
    return QApplication::exec();
}
