#pragma once

#include <QDialog>
#include <QStringList>

#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace lzh {

// The archiver library's own window while it builds an archive: the member
// being packed, a bar over all bytes, the bytes done of the total, the time
// left, and a ｷｬﾝｾﾙ button that Esc and the close box also press. After a
// failure it shows the reason instead, after a success with warnings the
// warnings, each time with an OK button that closes it.
// No button is a default one: Enter or Space press the focused button only.
class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* owner);

    void showProgress(std::uint64_t done, std::uint64_t total, const QString& member, std::int64_t elapsedMs);
    // The cancel was taken; the window waits for the work to stop.
    void showCancelling();
    void showFailure(const QString& reason);
    // The archive is written, but the work passed over what these lines name.
    void showWarnings(const QStringList& warnings);

    QPushButton& button() const { return *button_; }
    QString text() const;   // everything the window shows, one line each

signals:
    void cancelRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void pressButton();
    // The end of the work, shown in place of the progress: a title, a
    // heading, a standard icon (QStyle::StandardPixmap) and the details.
    void showOutcome(const QString& title, const QString& heading, int icon, const QString& details);

    QLabel* icon_ = nullptr;
    QLabel* heading_ = nullptr;
    QLabel* member_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* bytes_ = nullptr;
    QLabel* timeLeft_ = nullptr;
    QPushButton* button_ = nullptr;
    bool ended_ = false;   // a failure or warnings are shown: the button closes the window
    bool cancelling_ = false;
};

}  // namespace lzh
