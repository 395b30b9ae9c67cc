#include "LazyComboBox.hpp"

#include <QAbstractItemView>
#include <QEvent>

namespace qv58163::ui {

void LazyComboBox::changeEvent(QEvent *event) {
    const bool handedOn =
        event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange;
    // Until the drop-down exists, what is left for the list itself is QWidget's repaint, and a
    // size hint to forget that nothing asks for: the window's lists keep the size they are given.
    if (handedOn && findChild<QAbstractItemView *>() == nullptr) {
        QWidget::changeEvent(event);
        return;
    }
    QComboBox::changeEvent(event);
}

}  // namespace qv58163::ui
