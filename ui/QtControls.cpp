#include "QtControls.hpp"

#include <QComboBox>
#include <QGlyphRun>
#include <QHash>
#include <QLabel>
#include <QSignalBlocker>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>

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
        throw card::RuntimeError(
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

namespace {

// What a voltage caption is made of, with either decimal point.
const QString captionCharacters = QStringLiteral("0123456789-.,V");

QFont withShaping(QFont font, bool shaping) {
    font.setStyleStrategy(
        shaping ? QFont::StyleStrategy(font.styleStrategy() & ~QFont::PreferNoShaping)
                : QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    return font;
}

QList<QGlyphRun> glyphRuns(const QString &text, const QFont &font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    return layout.glyphRuns();
}

// Every ordered pair of caption characters, laid out with shaping and without: the same glyphs at
// the same places, or shaping changes something (a kerned pair, a ligature) and stays. Decided
// once a font: the eight value labels share theirs.
bool drawsAlikeUnshaped(const QFont &font) {
    static QHash<QString, bool> decided;  // by QFont::key()
    const QString key = font.key();
    if (const auto known = decided.constFind(key); known != decided.cend()) {
        return *known;
    }
    QString pairs;
    for (QChar first : captionCharacters) {
        for (QChar second : captionCharacters) {
            pairs += first;
            pairs += second;
        }
    }
    const QList<QGlyphRun> shaped = glyphRuns(pairs, withShaping(font, true));
    const QList<QGlyphRun> unshaped = glyphRuns(pairs, withShaping(font, false));
    const bool alike = std::equal(shaped.begin(), shaped.end(), unshaped.begin(), unshaped.end(),
                                  [](const QGlyphRun &a, const QGlyphRun &b) {
                                      return a.glyphIndexes() == b.glyphIndexes() &&
                                             a.positions() == b.positions();
                                  });
    decided.insert(key, alike);
    return alike;
}

}  // namespace

void LabelCaption::setCaption(const QString &caption) {
    const QFont font = label_->font();
    if (!drawsAlikeUnshaped_) {
        drawsAlikeUnshaped_ = drawsAlikeUnshaped(font);
    }
    const bool shaping = !*drawsAlikeUnshaped_ ||
                         std::any_of(caption.begin(), caption.end(),
                                     [](QChar c) { return !captionCharacters.contains(c); });
    if (!(font.styleStrategy() & QFont::PreferNoShaping) != shaping) {
        label_->setFont(withShaping(font, shaping));
    }
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
