// The window's drop-down lists: a QComboBox that builds its drop-down part when it is first
// needed.
#pragma once

#include <QComboBox>

namespace qv58163::ui {

// QComboBox builds its drop-down part (a popup window with a list view and two scrollers) as
// soon as its font or style is set, to hand them on. The window sets both on each of its ten
// lists before it shows, and most are never opened: built later instead, the drop-down takes the
// list's font as it is then, and the application's style as it would have anyway.
class LazyComboBox final : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void changeEvent(QEvent *event) override;
};

}  // namespace qv58163::ui
