#include "CompactComboStyle.hpp"

#include <QApplication>
#include <QStyleOptionComplex>

namespace qv58163::ui {

namespace {
constexpr int arrowWidth = 14;
// Windows' glyph metrics make "3: -10V ~ +10V" one pixel wider (62) than on Linux (61): there the
// field starts a pixel further left to hold it.
#if defined(_WIN32)
constexpr int fieldLeft = 2;
#else
constexpr int fieldLeft = 3;
#endif
}  // namespace

CompactComboStyle::CompactComboStyle() : QProxyStyle(QApplication::style()->name()) {}

QRect CompactComboStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                        SubControl part, const QWidget *widget) const {
    if (control == CC_ComboBox) {
        const QRect frame = option->rect;
        if (part == SC_ComboBoxArrow) {
            return QRect(frame.right() - arrowWidth, frame.top() + 1, arrowWidth,
                         frame.height() - 2);
        }
        if (part == SC_ComboBoxEditField) {
            // Up to the pixel before the arrow: the style draws the entry one pixel inside this
            // field, and "3: -10V ~ +10V" takes 61 of the 63 pixels.
            return QRect(frame.left() + fieldLeft, frame.top() + 2,
                         frame.width() - arrowWidth - 1 - fieldLeft, frame.height() - 4);
        }
    }
    return QProxyStyle::subControlRect(control, option, part, widget);
}

}  // namespace qv58163::ui
