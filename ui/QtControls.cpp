#include "QtControls.hpp"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QTimer>

#include "RuntimeError.hpp"

namespace qv58163::ui {

ComboList::ComboList(QComboBox *box, QString name) : box_(box), name_(std::move(name)) {
    box_->setCurrentIndex(-1);
    // An operator's choice. Changes made from code arrive with signals blocked (setListIndex).
    QObject::connect(box_, &QComboBox::currentIndexChanged, box_, [this] {
        if (click_) {
            click_();
        }
    });
}

void ComboList::AddItem(const QString &text) {
    // Qt chooses the first entry by itself when one is added to an empty list; keep the position.
    const QSignalBlocker quiet(box_);
    const int chosen = box_->currentIndex();
    box_->addItem(text);
    box_->setCurrentIndex(chosen);
}

std::int16_t ComboList::ListIndex() const {
    return static_cast<std::int16_t>(box_->currentIndex());
}

void ComboList::setListIndex(std::int16_t position) {
    // Checked before anything changes: Qt would quietly make an unknown position -1.
    if (position < -1 || position >= box_->count()) {
        throw RuntimeError(
            QStringLiteral("position %1 is outside the list %2").arg(position).arg(name_));
    }
    if (position == box_->currentIndex()) {
        return;
    }
    {
        const QSignalBlocker quiet(box_);
        box_->setCurrentIndex(position);
    }
    if (click_) {
        click_();
    }
}

QString ComboList::Text() const {
    return box_->currentIndex() < 0 ? QString() : box_->currentText();
}

void LabelCaption::setCaption(const QString &caption) {
    label_->setText(caption);
}

void TimerControl::setEnabled(bool enabled) {
    if (!enabled) {
        timer_->stop();
    } else if (!timer_->isActive()) {
        timer_->start();  // restarting a running timer would delay its next tick
    }
}

}  // namespace qv58163::ui
