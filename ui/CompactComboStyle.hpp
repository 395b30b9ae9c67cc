// The window's lists are narrow (81 pixels for "3: -10V ~ +10V"); with the toolkit's usual arrow
// the entry text would be clipped. This style keeps the platform's look and only narrows the
// arrow of a drop-down list so its text has the room.
#pragma once

#include <QProxyStyle>

namespace qv58163::ui {

class CompactComboStyle final : public QProxyStyle {
public:
    // Wraps the application's current style.
    CompactComboStyle();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl part,
                         const QWidget *widget) const override;
};

}  // namespace qv58163::ui
