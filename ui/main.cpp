// The operator's test panel for the QV58163 A/D card: one window, on the card driver found beside
// the program or in the system's library path.
#include <QApplication>
#include <QLocale>
#include <iostream>

#include "MainProcedures.hpp"
#include "Module1.hpp"
#include "QV58163.hpp"
#include "QV58163_Main.hpp"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qv58163"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QV58163_VERSION));

    QV58163::Library driver(QCoreApplication::applicationDirPath());
    qv58163::Module1 module1;
    qv58163::ui::QV58163_Main window;
    qv58163::MainProcedures procedures(window, driver, module1, QLocale::system().decimalPoint(),
                                       std::cerr);
    window.Attach(procedures);

    window.Load();
    if (const auto status = window.EndStatus()) {
        return *status;  // ended during start-up: the window is never shown
    }
    window.show();
    return QApplication::exec();
}
