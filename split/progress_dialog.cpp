#include "split/progress_dialog.h"

#include "widgets/app_icon.h"
#include "widgets/path_label.h"
#include "widgets/twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include <cstdlib>

namespace sqs {

ProgressDialog::ProgressDialog(Platform& platform) : platform_(platform) {
    const double dpi = layoutDpi(platform.logicalDpi());
    setObjectName(QStringLiteral("Dialog"));
    setWindowTitle(QStringLiteral("分割状況"));
    setWindowIcon(appIcon());
    // Fixed size, and no close box: only the cancel button stops a run.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(pixelsFromTwips(3705, dpi), pixelsFromTwips(1650, dpi));

    cancelButton_ = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), this);
    cancelButton_->setObjectName(QStringLiteral("CancelButton"));
    cancelButton_->setAutoDefault(false);
    placeInTwips(*cancelButton_, 1245, 1200, 1215, 375, dpi);

    struct { const char* text; int left, top; } table[6] = {
        {"入力ファイル：", 120, 120}, {"出力ファイル：", 120, 480}, {"分割状況：", 375, 840},
        {"", 1440, 120},             {"", 1440, 480},            {"", 1822, 840},
    };
    for (int i = 0; i < 6; ++i) {
        // The two paths give way in the middle at the dialog's right margin.
        auto* label = i == 3 || i == 4 ? new PathLabel(this) : new QLabel(this);
        label->setText(QString::fromUtf8(table[i].text));
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setTextFormat(Qt::PlainText);   // paths are shown as they are, never as markup
        label->move(pixelsFromTwips(table[i].left, dpi), pixelsFromTwips(table[i].top, dpi));
        label->adjustSize();
        labels_[i] = label;
    }
    connect(cancelButton_, &QPushButton::clicked, this, &ProgressDialog::cancelButtonClick);
}

QLabel& ProgressDialog::label(int index) const { return *labels_[index - 1]; }

void ProgressDialog::setLabel(QLabel* label, const QString& text) {
    label->setText(text);
    // Sized to its text: the bounds QLabel itself measures for a plain
    // one-line text, straight from the font metrics. adjustSize took five
    // times as long: per piece, as long as opening, linking and closing the
    // piece file.
    const QRect bounds =
        label->fontMetrics().boundingRect(QRect(0, 0, 2000, 2000), Qt::AlignLeft | Qt::TextExpandTabs, text);
    label->resize(bounds.size().grownBy(label->contentsMargins()));
}

void ProgressDialog::setPath(int index, const QString& path) {
    auto* label = static_cast<PathLabel*>(labels_[index - 1]);
    label->setPath(path, width() - label->x() - pixelsFromTwips(120, layoutDpi(platform_.logicalDpi())));
}

void ProgressDialog::setInputPath(const QString& path) { setPath(4, path); }

void ProgressDialog::setPieceName(const QString& name) { setPath(5, name); }

void ProgressDialog::setProgress(const QString& text) { setLabel(labels_[5], text); }

void ProgressDialog::cancelButtonClick() {
    platform_.messageBox(QStringLiteral("分割を中断しました。"), StyleWarning, QStringLiteral("分割中断"));
    platform_.terminate();
    std::abort();   // terminate never returns
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
    if (unloading_) {
        QDialog::closeEvent(event);
        return;
    }
    // A close box that the window manager shows anyway, or Alt+F4, stops
    // the run as the cancel button does.
    event->ignore();
    cancelButtonClick();
}

}  // namespace sqs
