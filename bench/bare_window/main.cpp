// One window, one label, nothing else: what any Qt Widgets program costs on this machine.
#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("0.000V"));
    label.setWindowTitle(QStringLiteral("Bare Window"));
    label.resize(273, 367);  // the panel's size
    label.show();
    return QApplication::exec();
}
