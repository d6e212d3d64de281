#pragma once

#include "core/app_state.h"
#include "platform/platform.h"
#include "settings/settings_store.h"

#include <QWidget>

class QFrame;
class QLabel;
class QMimeData;
class QPushButton;

namespace sqs {

class FileListCombo;
class Jobs;

// The main window: the file list and the five command buttons.
class MainForm final : public QWidget, public Window, public PositionedWindow {
    Q_OBJECT
public:
    MainForm(Platform& platform, Jobs& jobs);

    // Start-up: settings, the single-instance rule, the command line.
    void formLoad();

    // Handlers of the buttons and of a drop on the file list.
    void cmdSplitClick();
    void cmdPackClick();
    void cmdSquashsliceClick();
    void cmdSetClick();
    void cmdEndClick();
    void combo1Drop(const QMimeData& data);

    // Window: unloading saves the settings and ends the program.
    QWidget& widget() override { return *this; }
    void onUnload() override;

    // PositionedWindow: the outer frame's position in twips.
    int topTwips() const override;
    int leftTwips() const override;
    void setTopTwips(int twips) override;
    void setLeftTwips(int twips) override;
    bool positionKnown() const override;

    AppState& state() { return state_; }
    QStringList entries() const;
    FileListCombo& combo1() const { return *combo1_; }
    QPushButton& cmdSplit() const { return *cmdSplit_; }
    QPushButton& cmdPack() const { return *cmdPack_; }
    QPushButton& cmdSquashslice() const { return *cmdSquashslice_; }
    QPushButton& cmdSet() const { return *cmdSet_; }
    QPushButton& cmdEnd() const { return *cmdEnd_; }
    // Whether the split button is offered (it may be hidden while the window is).
    bool splitOffered() const;
    bool jobRunning() const { return jobRunning_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // The desktop's quit keys (Ctrl+Q) press 終了 when it takes clicks.
    void keyPressEvent(QKeyEvent* event) override;

private:
    class JobScope;

    QPushButton* makeButton(const char* objectName, const QString& caption, int left);
    void setHeading(const QString& text);
    void keepOnScreen();
    void afterJobRule(OptionIndex option);

    Platform& platform_;
    Jobs& jobs_;
    AppState state_;
    double dpi_;         // lays out the window (see layoutDpi)
    double screenDpi_;   // places it on the screen: stored positions stay put whatever the font
    bool jobRunning_ = false;

    QFrame* frame1_ = nullptr;
    FileListCombo* combo1_ = nullptr;
    QLabel* label2_ = nullptr;
    QPushButton* cmdSplit_ = nullptr;
    QPushButton* cmdPack_ = nullptr;
    QPushButton* cmdSquashslice_ = nullptr;
    QPushButton* cmdSet_ = nullptr;
    QPushButton* cmdEnd_ = nullptr;
};

}  // namespace sqs
