#include "settings/set_dialog.h"

#include "widgets/app_icon.h"
#include "core/app_state.h"
#include "widgets/twips.h"
#include "settings/settings_store.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace sqs {
namespace {

const char* const kCaptions[] = {
    "【分割】終了時にプログラムを終了する",
    "【圧縮】終了時にプログラムを終了する",
    "【圧縮→分割】終了時にプログラムを終了する",
    "【分割】時に作業確認をしない",
    "【圧縮→分割】時に作業確認をしない",
};

QLabel* textLabel(QWidget* parent, const char* objectName, const QString& text, int left, int top,
                  double dpi) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->move(pixelsFromTwips(left, dpi), pixelsFromTwips(top, dpi));
    label->adjustSize();   // sized to its text
    return label;
}

}  // namespace

SetDialog::SetDialog(Platform& platform, AppState& state, const PositionedWindow& mainWindow)
    : platform_(platform), state_(state), mainWindow_(mainWindow) {
    const double dpi = layoutDpi(platform.logicalDpi());
    setObjectName(QStringLiteral("setDialog"));
    setWindowTitle(QStringLiteral("SQS設定"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowIcon(appIcon());
    setFixedSize(pixelsFromTwips(6030, dpi), pixelsFromTwips(3195, dpi));

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("OKButton"));
    placeInTwips(*okButton_, 4680, 120, 1215, 375, dpi);
    cancelButton_ = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cancelButton_->setObjectName(QStringLiteral("CancelButton"));
    placeInTwips(*cancelButton_, 4680, 600, 1215, 375, dpi);

    for (int i = 0; i < 5; ++i) {
        auto* box = new QCheckBox(QString::fromUtf8(kCaptions[i]), this);
        box->setObjectName(QStringLiteral("Check%1").arg(i + 1));
        placeInTwips(*box, 120, 120 + 360 * i, 4455, 255, dpi);
        checks_[i] = box;
    }

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(appIconPixmap(pixelsFromTwips(480, dpi), devicePixelRatioF()));
    placeInTwips(*image, 3360, 2280, 480, 480, dpi);
    textLabel(this, "Label1", QStringLiteral("SQS (Win32)"), 4080, 2280, dpi);
    textLabel(this, "Label2", QStringLiteral("Version 1.00"), 4080, 2520, dpi);
    textLabel(this, "Label3", QStringLiteral("LZH 圧縮・分割ツール"), 4080, 2880, dpi);

    // Focus order: OK (focused on opening), cancel, then the boxes.
    QWidget::setTabOrder(okButton_, cancelButton_);
    QWidget* previous = cancelButton_;
    for (QCheckBox* box : checks_) {
        QWidget::setTabOrder(previous, box);
        previous = box;
    }
    okButton_->setFocus();

    connect(okButton_, &QPushButton::clicked, this, &SetDialog::okButtonClick);
    connect(cancelButton_, &QPushButton::clicked, this, &SetDialog::cancelButtonClick);
    formLoad();
}

void SetDialog::formLoad() {
    for (int i = 0; i < 5; ++i)
        checks_[i]->setCheckState(state_.optionFlags[i] == QLatin1String("ON") ? Qt::Checked : Qt::Unchecked);
}

void SetDialog::okButtonClick() {
    for (int i = 0; i < 5; ++i)
        state_.optionFlags[i] = checks_[i]->checkState() == Qt::Checked ? QStringLiteral("ON") : QStringLiteral("OFF");
    SaveSettings(platform_, state_, mainWindow_);
    platform_.unload(*this);
}

void SetDialog::cancelButtonClick() { platform_.unload(*this); }

}  // namespace sqs
