#pragma once

#include <QDialog>
#include <QKeyEvent>

namespace sqs {

// A dialog with no cancel button: Esc does not close it.
class FixedDialog : public QDialog {
public:
    using QDialog::QDialog;

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
