#pragma once

class QWidget;

namespace sqs {

// The keys of a Windows dialog, for a window and everything in it: no push
// button is a default one, so Enter on anything but a push button does
// nothing; Enter or Space on a focused push button presses it. Esc is left
// to the window.
void applyWindowsKeys(QWidget& window);

}  // namespace sqs
