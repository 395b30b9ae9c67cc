#include "Panel.hpp"

#include <QLocale>
#include <utility>

namespace qv58163::ui {

Panel::Panel(const QString &programDir, MainProcedures::ErrorLog errors)
    : driver(programDir),
      procedures(window, driver, locks, module1, QLocale::system().decimalPoint(),
                 std::move(errors)) {
    window.attach(procedures);
}

std::optional<int> Panel::start() {
    window.load();
    if (const auto status = window.endStatus()) {
        return status;
    }
    window.show();
    return std::nullopt;
}

}  // namespace qv58163::ui
