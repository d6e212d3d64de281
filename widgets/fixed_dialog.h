#pragma once

#include "widgets/windows_keys.h"

#include <QDialog>
#include <QKeyEvent>

namespace sqs {

// A dialog with no default and no cancel button: Esc does not close it,
// Enter presses only a focused push button.
class FixedDialog : public QDialog {
public:
    explicit FixedDialog(QWidget* parent = nullptr) : QDialog(parent) { applyWindowsKeys(*this); }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            event->ignore();
            return;
        }
        QDialog::keyPressEvent(event);
    }
};

}  // namespace sqs
