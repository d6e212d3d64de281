#include "widgets/windows_keys.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace sqs {
namespace {

class WindowsKeys final : public QObject {
public:
    explicit WindowsKeys(QWidget& window) : QObject(&window), window_(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &window_) return false;
        if (event->type() == QEvent::Show) {
            // Qt makes the last focused button of a dialog its default; here none is.
            for (QPushButton* button : window_.findChildren<QPushButton*>()) {
                button->setAutoDefault(false);
                button->setDefault(false);
            }
            return false;
        }
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
        // What the focused widget left unhandled reaches the window here.
        auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
        if (button && button->window() == &window_ && button->isEnabled() && !key->isAutoRepeat()) button->click();
        return true;
    }

private:
    QWidget& window_;
};

}  // namespace

void applyWindowsKeys(QWidget& window) { window.installEventFilter(new WindowsKeys(window)); }

}  // namespace sqs
