#pragma once

#include "platform/platform.h"

#include "widgets/fixed_dialog.h"

class QLabel;
class QPushButton;

namespace sqs {

// "分割状況": the modeless dialog that shows which piece is being written,
// with the button that stops the run.
class ProgressDialog final : public FixedDialog, public Window {
    Q_OBJECT
public:
    explicit ProgressDialog(Platform& platform);

    void setInputPath(const QString& path);
    void setPieceName(const QString& name);
    void setProgress(const QString& text);

    QPushButton& cancelButton() const { return *cancelButton_; }
    QLabel& label(int index) const;

    // The cancel button: says the split was interrupted and ends the program.
    [[noreturn]] void cancelButtonClick();

    QWidget& widget() override { return *this; }
    void onUnload() override { unloading_ = true; }

protected:
    // Unloading closes the dialog; closing it otherwise (a close box, Alt+F4)
    // is the cancel button.
    void closeEvent(QCloseEvent* event) override;

private:
    void setLabel(QLabel* label, const QString& text);
    // Label 4 or 5, a PathLabel, up to the dialog's right margin.
    void setPath(int index, const QString& path);

    Platform& platform_;
    QPushButton* cancelButton_ = nullptr;
    QLabel* labels_[6] = {};
    bool unloading_ = false;
};

}  // namespace sqs
