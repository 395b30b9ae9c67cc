// The main window: every control, text, font, colour, position and tab stop, and the wiring of
// each event to its procedure. It decides nothing; MainProcedures does.
#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "Form.hpp"
#include "QtControls.hpp"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QStyle;
class QTimer;

namespace qv58163 {
class MainProcedures;
}

namespace qv58163::ui {

// The title of the application, borne by its message boxes.
inline constexpr char applicationTitle[] = "QV58163";

// Positions and sizes are given in twips, as the window was laid out: 15 to the pixel.
constexpr int twipsToPixels(int twips) {
    return twips / 15;
}

class QV58163_Main final : public QMainWindow, public Form {
    Q_OBJECT

public:
    explicit QV58163_Main(QWidget *parent = nullptr);
    ~QV58163_Main() override;

    // Wires every answered event to its procedure, each entered through the procedures' guard.
    void attach(MainProcedures &procedures);
    // The window's Load event: runs Form_Load. The window may be shown only if the program did
    // not end inside it.
    void load();
    // The status the program ended with, once it has ended.
    std::optional<int> endStatus() const { return endStatus_; }

    // Seams for tests: how a message box is shown, and how the program is ended.
    using MessageBoxSeam = std::function<void(QWidget *parent, const QString &text)>;
    using EndSeam = std::function<void(int status)>;
    void setMessageBoxSeam(MessageBoxSeam seam) { messageBox_ = std::move(seam); }
    void setEndSeam(EndSeam seam) { endProgram_ = std::move(seam); }

    // Form
    DropDownList &ID() override { return *idList_; }
    DropDownList &AD_Mode() override { return *modeList_; }
    DropDownList &AD_config(int index) override;
    Label &advalue(int index) override;
    Timer &Timer1() override { return *timerControl_; }
    void messageBox(const QString &text) override;
    void unload() override;
    void end(int status) override;

    // The widgets, by the names the program gives them, for tests and tools that look at them.
    QComboBox *idBox() const { return idBox_; }
    QComboBox *modeBox() const { return modeBox_; }
    QComboBox *configBox(int i) const { return configBoxes_.at(i); }
    QLabel *valueLabel(int i) const { return valueLabels_.at(i); }
    QLabel *channelLabel(int i) const { return channelLabels_.at(i); }
    QLabel *cardLabel() const { return cardLabel_; }
    QLabel *modeLabel() const { return modeLabel_; }
    QGroupBox *frame() const { return frame_; }
    QPushButton *startButton() const { return startButton_; }
    QPushButton *stopButton() const { return stopButton_; }
    QPushButton *exitButton() const { return exitButton_; }
    QAction *exitAction() const { return exitAction_; }
    QTimer *timer() const { return timer_; }
    QWidget *clientArea() const { return centralWidget(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();  // the steps below, in the order the window was laid out
    QWidget *buildMenuBarAndClientArea();
    void buildCardChoice(QWidget *client);
    void buildFrame(QWidget *client);
    void buildAcquisitionControls();
    void buildChannels();
    void wrapControls();
    void setUpTabOrder();

    std::unique_ptr<QStyle> comboStyle_;  // the lists' style
    MainProcedures *procedures_ = nullptr;
    MessageBoxSeam messageBox_;
    EndSeam endProgram_;
    std::optional<int> endStatus_;

    QComboBox *idBox_ = nullptr;
    QLabel *cardLabel_ = nullptr;
    QGroupBox *frame_ = nullptr;
    QPushButton *exitButton_ = nullptr;
    QLabel *modeLabel_ = nullptr;
    QComboBox *modeBox_ = nullptr;
    QPushButton *startButton_ = nullptr;
    QPushButton *stopButton_ = nullptr;
    std::array<QLabel *, card::channelCount> channelLabels_{};
    std::array<QLabel *, card::channelCount> valueLabels_{};
    std::array<QComboBox *, card::channelCount> configBoxes_{};
    QAction *exitAction_ = nullptr;
    QTimer *timer_ = nullptr;

    std::unique_ptr<ComboList> idList_;
    std::unique_ptr<ComboList> modeList_;
    std::array<std::unique_ptr<ComboList>, card::channelCount> configLists_;
    std::array<std::unique_ptr<LabelCaption>, card::channelCount> valueCaptions_;
    std::unique_ptr<TimerControl> timerControl_;
};

}  // namespace qv58163::ui
