#include "app/main_form.h"

#include "widgets/app_icon.h"
#include "app/file_list_combo.h"
#include "app/jobs.h"
#include "core/path_names.h"
#include "widgets/twips.h"
#include "widgets/windows_keys.h"
#include "settings/set_dialog.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

namespace sqs {
namespace {

const QString kPrompt = QStringLiteral("ここにファイルをドロップして下さい");
const QString kHeading = QStringLiteral("以下のファイルを使用します");

// The file a dropped URL names on this machine, else empty: a file URL
// without a host or with "localhost" (toLocalFile would make it a network
// path, //localhost/...); one of another host, or of another scheme, names
// nothing here.
QString localPath(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) return {};
    return url.path(QUrl::FullyDecoded);
}

}  // namespace

// Keeps the five buttons from taking clicks while a job runs, and gives the
// focus back to the one that had it (a disabled button loses it to the
// list's text, where the next key would type).
class MainForm::JobScope {
public:
    explicit JobScope(MainForm& form) : form_(form), focused_(form.focusWidget()) { set(true); }
    ~JobScope() {
        set(false);
        if (focused_ && focused_->isVisible() && focused_->isEnabled()) focused_->setFocus();
    }
    JobScope(const JobScope&) = delete;
    JobScope& operator=(const JobScope&) = delete;

private:
    void set(bool running) {
        form_.jobRunning_ = running;
        for (QPushButton* button : {form_.cmdSplit_, form_.cmdPack_, form_.cmdSquashslice_, form_.cmdSet_,
                                    form_.cmdEnd_})
            button->setEnabled(!running);
    }
    MainForm& form_;
    QPointer<QWidget> focused_;
};

MainForm::MainForm(Platform& platform, Jobs& jobs)
    : platform_(platform), jobs_(jobs), dpi_(layoutDpi(platform.logicalDpi())), screenDpi_(platform.logicalDpi()) {
    setObjectName(QStringLiteral("mainForm"));
    setWindowTitle(QStringLiteral("Squashslice"));
    setWindowIcon(appIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(pixelsFromTwips(5220, dpi_), pixelsFromTwips(825, dpi_));

    frame1_ = new QFrame(this);
    frame1_->setObjectName(QStringLiteral("Frame1"));
    frame1_->setFrameStyle(QFrame::Box | QFrame::Sunken);
    placeInTwips(*frame1_, 0, -80, 5215, 905, dpi_);

    combo1_ = new FileListCombo(frame1_);
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->setEditText(kHeading);
    placeInTwips(*combo1_, 600, 120, 4575, 300, dpi_);
    combo1_->onDrop = [this](const QMimeData& data) { combo1Drop(data); };

    label2_ = new QLabel(QStringLiteral("入力："), frame1_);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setToolTip(QStringLiteral("ベースファイル名"));
    label2_->setBuddy(combo1_);   // names the list for screen readers
    label2_->move(pixelsFromTwips(120, dpi_), pixelsFromTwips(180, dpi_));
    label2_->adjustSize();

    cmdSplit_ = makeButton("CmdSplit", QStringLiteral("分割"), 58);
    cmdPack_ = makeButton("CmdPack", QStringLiteral("圧縮"), 1083);
    cmdSquashslice_ = makeButton("CmdSquashslice", QStringLiteral("圧縮→分割"), 2103);
    cmdSet_ = makeButton("CmdSet", QStringLiteral("設定"), 3123);
    cmdEnd_ = makeButton("CmdEnd", QStringLiteral("終了"), 4143);

    // Focus moves: list, split, pack-then-split, pack, settings, exit.
    QWidget::setTabOrder(combo1_, cmdSplit_);
    QWidget::setTabOrder(cmdSplit_, cmdSquashslice_);
    QWidget::setTabOrder(cmdSquashslice_, cmdPack_);
    QWidget::setTabOrder(cmdPack_, cmdSet_);
    QWidget::setTabOrder(cmdSet_, cmdEnd_);

    applyWindowsKeys(*this);

    connect(cmdSplit_, &QPushButton::clicked, this, &MainForm::cmdSplitClick);
    connect(cmdPack_, &QPushButton::clicked, this, &MainForm::cmdPackClick);
    connect(cmdSquashslice_, &QPushButton::clicked, this, &MainForm::cmdSquashsliceClick);
    connect(cmdSet_, &QPushButton::clicked, this, &MainForm::cmdSetClick);
    connect(cmdEnd_, &QPushButton::clicked, this, &MainForm::cmdEndClick);
}

QPushButton* MainForm::makeButton(const char* objectName, const QString& caption, int left) {
    auto* button = new QPushButton(caption, frame1_);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAutoDefault(false);
    placeInTwips(*button, left, 480, 1020, 375, dpi_);
    return button;
}

void MainForm::formLoad() {
    LoadSettings(platform_, state_, *this);
    keepOnScreen();

    if (platform_.previousInstance()) {
        platform_.markFailed();
        platform_.messageBox(QStringLiteral("二重起動は出来ません。"), StyleError, QStringLiteral("SQS"));
        platform_.terminate();
    }

    const QStringList pieces = platform_.commandLine();
    if (pieces.isEmpty()) {
        combo1_->setEditText(kPrompt);
        return;
    }
    if (pieces.size() > 1) {
        cmdSplit_->hide();
    } else {
        // A single directory needs no split button; anything else keeps it.
        const QString& piece = pieces.constFirst();
        bool file = !platform_.nameLookup(piece, LookupAttribute::FilesOnly).isEmpty();
        bool any = !platform_.nameLookup(piece, LookupAttribute::WithDirectories).isEmpty();
        if (any && !file) cmdSplit_->hide();
    }
    for (const QString& piece : pieces) combo1_->addItem(ExpandLongPath(platform_, piece));
    setHeading(kHeading);
}

void MainForm::combo1Drop(const QMimeData& data) {
    combo1_->clear();
    setHeading(kHeading);
    QStringList paths;
    for (const QUrl& url : data.urls())
        if (const QString path = localPath(url); !path.isEmpty()) paths << path;
    if (paths.isEmpty()) return;   // no file list: the split button stays as it was
    combo1_->addItems(paths);
    setHeading(kHeading);
    cmdSplit_->setVisible(combo1_->count() == 1);
}

void MainForm::setHeading(const QString& text) { combo1_->setEditText(text); }

QStringList MainForm::entries() const {
    QStringList list;
    for (int i = 0; i < combo1_->count(); ++i) list << combo1_->itemText(i);
    return list;
}

bool MainForm::splitOffered() const { return !cmdSplit_->isHidden(); }

void MainForm::cmdSplitClick() {
    if (combo1_->count() == 0 || jobRunning_) return;
    {
        JobScope scope(*this);
        state_.chainMode = 0;
        jobs_.splitFile(combo1_->itemText(0), state_);
    }
    afterJobRule(QuitAfterSplit);
}

void MainForm::cmdPackClick() {
    if (combo1_->count() == 0 || jobRunning_) return;
    {
        JobScope scope(*this);
        jobs_.packFiles(entries(), platform_.windowHandle(*this));
    }
    afterJobRule(QuitAfterPack);
}

void MainForm::cmdSquashsliceClick() {
    if (combo1_->count() == 0 || jobRunning_) return;
    {
        JobScope scope(*this);
        state_.chainMode = -1;
        const QString archive = jobs_.packFiles(entries(), platform_.windowHandle(*this));
        jobs_.splitFile(archive, state_);
        state_.chainMode = 0;
    }
    afterJobRule(QuitAfterPackSplit);
}

void MainForm::afterJobRule(OptionIndex option) {
    if (state_.optionFlags[option] == QLatin1String("ON")) platform_.unload(*this);
}

void MainForm::cmdSetClick() {
    if (jobRunning_) return;
    SetDialog dialog(platform_, state_, *this);
    platform_.showModal(dialog);
}

void MainForm::cmdEndClick() {
    if (jobRunning_) return;
    SaveSettings(platform_, state_, *this);
    platform_.terminate();
}

void MainForm::onUnload() {
    SaveSettings(platform_, state_, *this);
    platform_.terminate();
}

void MainForm::closeEvent(QCloseEvent* event) {
    event->accept();
    onUnload();
}

void MainForm::keyPressEvent(QKeyEvent* event) {
    // Ctrl+Q also where the style's key scheme has no quit keys (offscreen).
    const bool quit = event->matches(QKeySequence::Quit) ||
                      event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Q);
    if (!quit) return QWidget::keyPressEvent(event);
    if (cmdEnd_->isEnabled() && !jobRunning_) cmdEnd_->click();
}

int MainForm::topTwips() const { return twipsFromPixels(y(), screenDpi_); }
int MainForm::leftTwips() const { return twipsFromPixels(x(), screenDpi_); }
void MainForm::setTopTwips(int twips) { move(x(), pixelsFromTwips(twips, screenDpi_)); }
void MainForm::setLeftTwips(int twips) { move(pixelsFromTwips(twips, screenDpi_), y()); }
// A Wayland window is placed by the compositor and never learns where.
bool MainForm::positionKnown() const {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void MainForm::keepOnScreen() {
    const QRect frame(pos(), frameGeometry().size().expandedTo(size()));
    const auto screens = platform_.screens();
    for (const QRect& screen : screens)
        if (screen.intersects(frame)) return;
    move(screens.empty() ? QPoint(0, 0) : screens.front().topLeft());
}

}  // namespace sqs
