#pragma once

#include "platform/platform.h"

#include "widgets/fixed_dialog.h"

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;

namespace sqs {

struct AppState;
class PositionedWindow;

// "SQS設定": five check boxes over the five options. OK copies them into the
// options and saves the settings at once; cancel and the close box change
// nothing.
class SetDialog final : public FixedDialog, public Window {
    Q_OBJECT
public:
    SetDialog(Platform& platform, AppState& state, const PositionedWindow& mainWindow);

    QWidget& widget() override { return *this; }
    void onUnload() override {}

    // Box 1..5, showing options 0..4.
    QCheckBox& check(int index) const { return *checks_.at(index - 1); }
    QPushButton& okButton() const { return *okButton_; }
    QPushButton& cancelButton() const { return *cancelButton_; }

    void okButtonClick();
    void cancelButtonClick();

private:
    void formLoad();

    Platform& platform_;
    AppState& state_;
    const PositionedWindow& mainWindow_;
    std::array<QCheckBox*, 5> checks_{};
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace sqs
