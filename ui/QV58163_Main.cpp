#include "QV58163_Main.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <chrono>

#include "BundledFonts.hpp"
#include "ChannelName.hpp"
#include "CompactComboStyle.hpp"
#include "LazyComboBox.hpp"
#include "MainProcedures.hpp"
#include "Pictures.hpp"

namespace qv58163::ui {

namespace {

// The Traditional Chinese serif face of the value labels has no alias of its own on Linux; it is
// mapped to the one a Debian desktop has (fonts-arphic-uming). Arial and Times New Roman resolve
// to their metric-compatible faces through fontconfig.
const QString traditionalChineseSerif = QStringLiteral("Traditional Chinese Serif");

void installFontSubstitutions() {
    QFont::insertSubstitutions(traditionalChineseSerif, {QStringLiteral("AR PL UMing TW"),
                                                         QStringLiteral("AR PL UMing HK")});
#if defined(_WIN32)
    // Windows' own Traditional Chinese serif where it is installed, else the bundled serif.
    installBundledFonts();
    QFont::insertSubstitutions(traditionalChineseSerif,
                               {QStringLiteral("PMingLiU"), QStringLiteral("Liberation Serif")});
#endif
}

QFont makeFont(const QString &family, qreal points, bool bold = false) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

const QString arial = QStringLiteral("Arial");
const QString timesNewRoman = QStringLiteral("Times New Roman");

// The window's default font, for the controls that set none: a narrow face, so that the range
// entries fit their lists.
QFont defaultFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow")});
    font.setPointSizeF(8.25);
    return font;
}

// Every control keeps the size it is placed at. A fixed size also spares the value labels a
// geometry request to their frame on each new caption (ten times a second, eight of them).
void place(QWidget *widget, int left, int top, int width, int height) {
    widget->move(twipsToPixels(left), twipsToPixels(top));
    widget->setFixedSize(twipsToPixels(width), twipsToPixels(height));
}

constexpr std::chrono::milliseconds refreshInterval{100};

}  // namespace

QV58163_Main::QV58163_Main(QWidget *parent) : QMainWindow(parent) {
    installFontSubstitutions();
    setObjectName(QStringLiteral("QV58163_Main"));
    setWindowTitle(QStringLiteral("QV58163 Main"));
    setWindowIcon(applicationIcon());
    setFont(defaultFont());
    comboStyle_ = std::make_unique<CompactComboStyle>();
    buildControls();
    setUpTabOrder();

    messageBox_ = [](QWidget *parent, const QString &text) {
        QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(applicationTitle), text,
                        QMessageBox::Ok, parent);
        box.exec();
    };
    endProgram_ = [](int status) { QCoreApplication::exit(status); };
}

QV58163_Main::~QV58163_Main() {
    // The lists are destroyed with the window, after its members: give them back the application's
    // style before their own goes.
    for (QComboBox *box : findChildren<QComboBox *>()) {
        box->setStyle(nullptr);
    }
}

void QV58163_Main::buildControls() {
    QWidget *client = buildMenuBarAndClientArea();
    buildCardChoice(client);
    buildFrame(client);
    buildAcquisitionControls();
    buildChannels();
    wrapControls();
}

QWidget *QV58163_Main::buildMenuBarAndClientArea() {
    // The menu bar is part of the window: it stays in it where the desktop offers a global menu
    // bar (which would take it out and make the window shorter), and so no global menu service
    // is looked for on the session bus before the window can show. Set before the bar is made.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    // The menu bar holds the single command itself, with no drop-down.
    exitAction_ = menuBar()->addAction(QStringLiteral("&Exit"));
    exitAction_->setObjectName(QStringLiteral("m_exit"));

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twipsToPixels(4095), twipsToPixels(5235));
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    return client;
}

void QV58163_Main::buildCardChoice(QWidget *client) {
    idBox_ = new LazyComboBox(client);
    idBox_->setObjectName(QStringLiteral("ID"));
    idBox_->setFont(makeFont(arial, 9.75));
    place(idBox_, 960, 150, 855, 360);

    cardLabel_ = new QLabel(QStringLiteral("CardID"), client);
    cardLabel_->setObjectName(QStringLiteral("Label9"));
    cardLabel_->setFont(makeFont(arial, 11.25));
    cardLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(cardLabel_, 180, 210, 735, 255);
}

// The frame and, below it on the client area, the exit button.
void QV58163_Main::buildFrame(QWidget *client) {
    frame_ = new QGroupBox(QStringLiteral("A/D    "), client);
    frame_->setObjectName(QStringLiteral("Frame1"));
    frame_->setFont(makeFont(arial, 14.25));
    place(frame_, 120, 600, 3885, 3975);

    exitButton_ = new QPushButton(client);
    exitButton_->setObjectName(QStringLiteral("chk_exit"));
    exitButton_->setCheckable(true);  // a two-state button drawn as a push button
    exitButton_->setIcon(openDoorIcon());
    exitButton_->setIconSize(QSize(24, 24));
    exitButton_->setToolTip(QStringLiteral("Exit"));
    exitButton_->setAccessibleName(QStringLiteral("Exit"));  // no text: screen readers say this
    exitButton_->setCursor(Qt::PointingHandCursor);
    exitButton_->setAutoDefault(false);
    place(exitButton_, 3240, 4680, 615, 435);
}

void QV58163_Main::buildAcquisitionControls() {
    // Inside the frame, positions are the frame's own; controls with no font of their own take
    // the window's default, not the frame's title font.
    modeLabel_ = new QLabel(QStringLiteral("AD Mode"), frame_);
    modeLabel_->setObjectName(QStringLiteral("Label2"));
    modeLabel_->setFont(makeFont(timesNewRoman, 9.75, true));
    modeLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(modeLabel_, 120, 420, 855, 255);

    modeBox_ = new LazyComboBox(frame_);
    modeBox_->setObjectName(QStringLiteral("AD_Mode"));
    modeBox_->setFont(defaultFont());
    modeBox_->addItems(modeEntries());
    place(modeBox_, 960, 390, 735, 315);

    startButton_ = new QPushButton(QStringLiteral("START"), frame_);
    startButton_->setObjectName(QStringLiteral("CmB_Start"));
    startButton_->setFont(makeFont(timesNewRoman, 12, true));
    startButton_->setAutoDefault(false);
    place(startButton_, 1800, 360, 975, 375);

    stopButton_ = new QPushButton(QStringLiteral("STOP"), frame_);
    stopButton_->setObjectName(QStringLiteral("CmB_Stop"));
    stopButton_->setFont(makeFont(timesNewRoman, 12, true));
    stopButton_->setAutoDefault(false);
    place(stopButton_, 2880, 360, 855, 375);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(refreshInterval);
}

// Each channel's row in the frame: its name, its value and its range list.
void QV58163_Main::buildChannels() {
    QPalette valuePalette;
    valuePalette.setColor(QPalette::Window, Qt::black);
    valuePalette.setColor(QPalette::WindowText, QColor(255, 255, 0));
    for (int i = 0; i < card::channelCount; ++i) {
        const QString channel = card::channelName(i);

        auto *name = new QLabel(channel, frame_);
        name->setObjectName(QStringLiteral("ch0_%1").arg(i));
        name->setFont(makeFont(arial, 12, true));
        name->setAlignment(Qt::AlignCenter);
        place(name, 180, 930 + 360 * i, 645, 285);
        channelLabels_[i] = name;

        auto *value = new QLabel(QStringLiteral("0.00000"), frame_);
        value->setObjectName(QStringLiteral("advalue_%1").arg(i));
        value->setFont(makeFont(traditionalChineseSerif, 12, true));
        value->setAlignment(Qt::AlignCenter);
        value->setAutoFillBackground(true);
        value->setPalette(valuePalette);
        value->setAccessibleDescription(channel);
        place(value, 960, 960 + 360 * i, 1245, 285);
        valueLabels_[i] = value;

        auto *range = new LazyComboBox(frame_);
        range->setObjectName(QStringLiteral("AD_config_%1").arg(i));
        range->setFont(defaultFont());
        range->addItems(rangeEntries());
        range->setAccessibleDescription(channel);
        place(range, 2400, 960 + 360 * i, 1215, 315);
        configBoxes_[i] = range;
    }
}

// The lists' style, and the controls as the procedures see them.
void QV58163_Main::wrapControls() {
    for (QComboBox *box : findChildren<QComboBox *>()) {
        box->setStyle(comboStyle_.get());
    }

    // Every list starts with no entry chosen.
    idList_ = std::make_unique<ComboList>(idBox_, QStringLiteral("ID"));
    modeList_ = std::make_unique<ComboList>(modeBox_, QStringLiteral("AD_Mode"));
    for (int i = 0; i < card::channelCount; ++i) {
        configLists_[i] =
            std::make_unique<ComboList>(configBoxes_[i], QStringLiteral("AD_config(%1)").arg(i));
        valueCaptions_[i] = std::make_unique<LabelCaption>(valueLabels_[i]);
    }
    timerControl_ = std::make_unique<TimerControl>(timer_);
}

void QV58163_Main::setUpTabOrder() {
    // By tab index: ID 0, chk_exit 19, AD_Mode 20, CmB_Stop 22, CmB_Start 23, AD_config(i) 31 - i.
    // The labels' and the frame's indices fill the gaps, but they never take focus.
    QList<QWidget *> chain = {idBox_, exitButton_, modeBox_, stopButton_, startButton_};
    for (int i = card::channelCount - 1; i >= 0; --i) {
        chain << configBoxes_[i];
    }
    for (qsizetype k = 1; k < chain.size(); ++k) {
        setTabOrder(chain[k - 1], chain[k]);
    }
    idBox_->setFocus();
}

void QV58163_Main::attach(MainProcedures &procedures) {
    procedures_ = &procedures;
    MainProcedures *p = procedures_;
    idList_->setClick([p] { p->raise(Event::IdClick); });
    for (int i = 0; i < card::channelCount; ++i) {
        const auto index = static_cast<std::int16_t>(i);
        configLists_[i]->setClick([p, index] { p->raise(Event::ConfigClick, index); });
    }
    // AD_Mode's Click is not answered: its position is read when START is pressed.
    connect(startButton_, &QPushButton::clicked, this, [p] { p->raise(Event::StartClick); });
    connect(stopButton_, &QPushButton::clicked, this, [p] { p->raise(Event::StopClick); });
    connect(exitButton_, &QPushButton::clicked, this, [p] { p->raise(Event::ExitButtonClick); });
    connect(exitAction_, &QAction::triggered, this, [p] { p->raise(Event::ExitMenuClick); });
    connect(timer_, &QTimer::timeout, this, [this, p] {
        if (timer_->isActive()) {  // no tick is answered once the timer is disabled
            p->raise(Event::TimerTick);
        }
    });
}

void QV58163_Main::load() {
    if (procedures_ != nullptr) {
        procedures_->raise(Event::Load);
    }
}

DropDownList &QV58163_Main::AD_config(int index) {
    return *configLists_[controlIndex(index, "AD_config")];
}

Label &QV58163_Main::advalue(int index) {
    return *valueCaptions_[controlIndex(index, "advalue")];
}

void QV58163_Main::messageBox(const QString &text) {
    messageBox_(isVisible() ? this : nullptr, text);
}

void QV58163_Main::unload() {
    procedures_->raise(Event::Unload);
}

void QV58163_Main::end(int status) {
    endStatus_ = status;
    timer_->stop();
    endProgram_(status);
}

void QV58163_Main::closeEvent(QCloseEvent *event) {
    if (procedures_ != nullptr && !endStatus_) {
        unload();
    }
    // Unload's cancel flag is never set: the window goes, and the program has ended with it.
    event->accept();
}

}  // namespace qv58163::ui
