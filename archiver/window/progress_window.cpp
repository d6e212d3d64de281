#include "archiver/window/progress_window.h"

#include "archiver/window/progress_text.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace lzh {
namespace {

constexpr int kBarSteps = 1000;
constexpr int kWidth = 420;

}  // namespace

ProgressWindow::ProgressWindow(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("UnlhaProgress"));
    setWindowTitle(QStringLiteral("書庫の作成"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);

    icon_ = new QLabel(this);
    icon_->hide();   // shown with a failure or warnings
    heading_ = new QLabel(QStringLiteral("書庫を作成しています。"), this);
    member_ = new QLabel(this);
    member_->setTextFormat(Qt::PlainText);
    member_->setFixedWidth(kWidth);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, kBarSteps);
    bytes_ = new QLabel(this);
    timeLeft_ = new QLabel(this);
    timeLeft_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    button_ = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    button_->setAutoDefault(false);
    button_->setDefault(false);

    auto* figures = new QHBoxLayout;
    figures->addWidget(bytes_);
    figures->addStretch();
    figures->addWidget(timeLeft_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button_);
    auto* texts = new QVBoxLayout;
    texts->addWidget(heading_);
    texts->addWidget(member_);
    auto* top = new QHBoxLayout;
    top->addWidget(icon_, 0, Qt::AlignTop);
    top->addLayout(texts);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(bar_);
    layout->addLayout(figures);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(button_, &QPushButton::clicked, this, &ProgressWindow::pressButton);
    showProgress(0, 0, QString(), 0);
}

void ProgressWindow::showProgress(std::uint64_t done, std::uint64_t total, const QString& member,
                                  std::int64_t elapsedMs) {
    if (ended_ || cancelling_) return;
    const QString line = QStringLiteral("ファイル：") + member;
    member_->setText(member_->fontMetrics().elidedText(line, Qt::ElideMiddle, kWidth));
    member_->setToolTip(member);
    bar_->setValue(total == 0 ? 0 : static_cast<int>(static_cast<double>(std::min(done, total)) * kBarSteps / static_cast<double>(total)));
    bytes_->setText(sizeText(done) + QStringLiteral(" / ") + sizeText(total));
    timeLeft_->setText(timeLeftText(elapsedMs, done, total));
}

void ProgressWindow::showCancelling() {
    cancelling_ = true;
    heading_->setText(QStringLiteral("中止しています…"));
    button_->setEnabled(false);
}

void ProgressWindow::showFailure(const QString& reason) {
    showOutcome(QStringLiteral("書庫の作成 - エラー"), QStringLiteral("書庫を作成できませんでした。"),
                QStyle::SP_MessageBoxCritical, reason);
}

void ProgressWindow::showWarnings(const QStringList& warnings) {
    showOutcome(QStringLiteral("書庫の作成 - 警告"), QStringLiteral("書庫を作成しました。次の点にご注意ください。"),
                QStyle::SP_MessageBoxWarning, warnings.join(QLatin1Char('\n')));
}

void ProgressWindow::showOutcome(const QString& title, const QString& heading, int icon, const QString& details) {
    ended_ = true;
    setWindowTitle(title);
    heading_->setText(heading);
    icon_->setPixmap(style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)).pixmap(32, 32));
    icon_->show();
    member_->setText(details);
    member_->setToolTip(details);
    member_->setWordWrap(true);
    member_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar_->hide();
    bytes_->hide();
    timeLeft_->hide();
    button_->setText(QStringLiteral("OK"));
    button_->setEnabled(true);
    button_->setFocus();
}

QString ProgressWindow::text() const {
    QStringList lines{windowTitle(), heading_->text(), member_->text()};
    if (!ended_) lines << bytes_->text() << timeLeft_->text();
    lines << button_->text();
    return lines.join(QLatin1Char('\n'));
}

void ProgressWindow::pressButton() {
    if (ended_) {
        accept();
    } else if (!cancelling_) {
        showCancelling();
        emit cancelRequested();
    }
}

void ProgressWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        pressButton();
        return;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        if (focusWidget() == button_ && button_->isEnabled()) pressButton();
        return;   // Enter elsewhere does nothing
    default:
        QDialog::keyPressEvent(event);
    }
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    if (ended_) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();   // the close box cancels; the window goes when the work has stopped
    pressButton();
}

}  // namespace lzh
