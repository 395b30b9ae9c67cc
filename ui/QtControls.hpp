// The control operations of the window, carried out with Qt widgets.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "Form.hpp"

class QComboBox;
class QLabel;
class QTimer;

namespace qv58163::ui {

// A QComboBox behaving as the program's drop-down list. Qt's own habits that differ are mended
// here: adding to an empty list does not choose the first entry, a position outside the list is a
// run-time error rather than a silent -1, and a position set from code runs Click once, nested,
// by a direct call rather than through a signal (so no exception ever passes through Qt).
class ComboList final : public DropDownList {
public:
    // `name` is the list's name in error reports, e.g. "AD_config(3)".
    ComboList(QComboBox *box, QString name);

    // What the list's Click runs: an operator's choice, or a change of position made from code.
    void setClick(std::function<void()> click) { click_ = std::move(click); }

    void AddItem(const QString &text) override;
    std::int16_t ListIndex() const override;
    void setListIndex(std::int16_t position) override;
    QString Text() const override;

private:
    QComboBox *box_;
    QString name_;
    std::function<void()> click_;
};

// A QLabel showing voltage captions. Laying out its text is most of the work of each refresh, and
// most of that is shaping, which digits, sign, decimal point and "V" rarely need: where the label's
// font draws every pair of them alike without shaping, captions made of them skip it.
class LabelCaption final : public Label {
public:
    explicit LabelCaption(QLabel *label) : label_(label) {}
    void setCaption(const QString &caption) override;

private:
    QLabel *label_;
    std::optional<bool> drawsAlikeUnshaped_;  // decided at the first caption, for the font then
};

class TimerControl final : public Timer {
public:
    explicit TimerControl(QTimer *timer) : timer_(timer) {}
    void setEnabled(bool enabled) override;

private:
    QTimer *timer_;
};

}  // namespace qv58163::ui
