#include "platform/qt_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLibrary>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace sqs {
namespace {

QMessageBox::Icon iconFor(int style) {
    switch (style & 0xF0) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

bool isYesNo(int style) { return (style & 0x0F) == 4; }

// A text taller than half the screen (the pack question lists every file)
// goes into a scroll area, so that the box and its buttons stay on the
// screen. The text itself is unchanged.
void fitTallText(QMessageBox& box) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    if (!label || !grid || !screen) return;
    const int room = screen->availableGeometry().height() / 2;
    if (label->sizeHint().height() <= room) return;
    int row = 0, column = 0, rows = 1, columns = 1;
    grid->getItemPosition(grid->indexOf(label), &row, &column, &rows, &columns);
    grid->removeWidget(label);
    auto* area = new QScrollArea(&box);
    area->setObjectName(QStringLiteral("tallText"));
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(label);
    area->setWidgetResizable(true);
    // A blank's width between the text and the scroll bar.
    const int gap = label->fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 2;
    area->setFixedSize(label->sizeHint().width() + gap + area->verticalScrollBar()->sizeHint().width(), room);
    grid->addWidget(area, row, column, rows, columns);
    // The end of the text is in view first: a question comes after its list.
    QTimer::singleShot(0, area, [area] { area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum()); });
}

// A name with no place to break a line (a long file name of letters) would
// run past the box and the screen, its end out of sight. Such a run gets an
// invisible break opportunity (a zero-width space) every kRun characters,
// for the box only: what is copied from it is the text as given.
QString breakableText(const QString& text) {
    constexpr int kRun = 32;
    constexpr QChar kZeroWidthSpace(0x200B);
    QString shown;
    shown.reserve(text.size() + text.size() / kRun);
    int run = 0;
    for (const QChar c : text) {
        // Lines already break at blanks, after "/" and between CJK characters.
        const bool breaks = c.isSpace() || c == u'/' || c.unicode() >= 0x2E80;
        run = breaks ? 0 : run + 1;
        if (run > kRun) {
            shown += kZeroWidthSpace;
            run = 1;
        }
        shown += c;
    }
    return shown;
}

// Ctrl+C in a message box copies its text; with the breaks taken out, so
// that a name pasted elsewhere is the name.
class CopyWithoutBreaks : public QObject {
public:
    CopyWithoutBreaks(QMessageBox& box, QString text) : QObject(&box), box_(box), text_(std::move(text)) {
        box.installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &box_ || event->type() != QEvent::KeyPress ||
            !static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy))
            return false;
        QGuiApplication::clipboard()->setText(box_.windowTitle() + QStringLiteral("\n\n") + text_);
        return true;
    }

private:
    QMessageBox& box_;
    QString text_;
};

// A dialog without a parent would open in the middle of the screen: it
// opens centred over the window it comes from instead, and kept on the
// screen (over a window at its corner it would start above and left of it,
// its buttons out of reach).
void placeOverItsWindow(QWidget& dialog) {
    QWidget* from = dialog.parentWidget() ? nullptr : QApplication::activeWindow();
    for (QWidget* top : QApplication::topLevelWidgets())
        if (!from && top != &dialog && top->isVisible() && !qobject_cast<QDialog*>(top)) from = top;
    if (!from || from == &dialog) return;
    // Its window as its parent: on Wayland, where the move below is ignored,
    // that alone ties the dialog to the window (a transient parent).
    if (!dialog.parentWidget()) dialog.setParent(from, dialog.windowFlags());
    if (!dialog.testAttribute(Qt::WA_Resized)) dialog.adjustSize();   // its size as it will open
    const QRect over = from->frameGeometry();
    const QScreen* screen = from->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect();
    // A dialog larger than the screen (a large scale on a small one) is made
    // to fit where it may be resized, so that its buttons stay in reach.
    const QSize fits = (room.size() - (over.size() - from->size())).expandedTo(dialog.minimumSize());
    if (screen && dialog.minimumSize() != dialog.maximumSize() &&
        (dialog.width() > fits.width() || dialog.height() > fits.height()))
        dialog.resize(dialog.size().boundedTo(fits));
    QPoint at = over.center() - QPoint(dialog.width() / 2, dialog.height() / 2);
    if (screen) {
        at.setX(std::max(room.left(), std::min(at.x(), room.right() + 1 - dialog.width())));
        at.setY(std::max(room.top(), std::min(at.y(), room.bottom() + 1 - dialog.height())));
    }
    dialog.move(at);
}

// A message box takes its size as it opens (a long line wraps to a width
// of its own choosing): it is placed again then, before it is on the screen.
class PlacedMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        placeOverItsWindow(*this);
    }
};

}  // namespace

QtPlatform::QtPlatform() : QtPlatform(QCoreApplication::applicationDirPath()) {}
QtPlatform::QtPlatform(QString executableFolder) : executableFolder_(std::move(executableFolder)) {}
QtPlatform::~QtPlatform() = default;

int QtPlatform::messageBox(const QString& text, int style, const QString& title) {
    const QString plain = QString(text).replace("\r\n", "\n");
    PlacedMessageBox box(iconFor(style), title, breakableText(plain));
    box.setTextFormat(Qt::PlainText);   // a name like "<h1>a.bin" is shown as it is, not as markup
    new CopyWithoutBreaks(box, plain);
    // Screen readers read the text as given, without the breaks.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) label->setAccessibleName(plain);
    fitTallText(box);
    if (isYesNo(style)) {
        auto* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        auto* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        placeOverItsWindow(box);
        box.exec();
        return box.clickedButton() == yes ? AnswerYes : AnswerNo;
    }
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    placeOverItsWindow(box);
    box.exec();
    return AnswerOk;
}

void QtPlatform::showModal(QDialog& dialog) {
    placeOverItsWindow(dialog);
    dialog.exec();
}

void QtPlatform::showModeless(QWidget& window) {
    placeOverItsWindow(window);
    window.show();
    window.raise();
    window.activateWindow();
}

void QtPlatform::unload(Window& window) {
    window.onUnload();
    window.widget().close();
}

void QtPlatform::terminate() {
    instanceLock_.reset();   // removes the lock file
    std::fflush(nullptr);
    std::_Exit(failed() ? 1 : 0);
}

void QtPlatform::yield() { QCoreApplication::processEvents(); }

QString QtPlatform::saveFileName(const QString& proposedName, const std::vector<FileFilter>& filters,
                                 const QString& initialFolder) {
    QStringList nameFilters;
    for (const auto& filter : filters) {
        QString pattern = filter.pattern == QLatin1String("*.*") ? QStringLiteral("*") : filter.pattern;
        nameFilters << QStringLiteral("%1 (%2)").arg(filter.description, pattern);
    }
    for (;;) {
        QFileDialog dialog(nullptr, QString(), initialFolder);
        dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails |
                          QFileDialog::DontConfirmOverwrite);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters(nameFilters);
        dialog.selectFile(proposedName);
        placeOverItsWindow(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        QString chosen = dialog.selectedFiles().constFirst();
        // Asked before a file is made, and before an existing one is used:
        // the pack adds to an archive that is there (its members stay), so
        // the question says so, not that the file would be replaced.
        const QString name = QFileInfo(chosen).fileName();
        const QString question =
            QFileInfo::exists(chosen)
                ? QStringLiteral("%1 は既に存在します。\r\nこの書庫に追加しますか？\r\n"
                                 "（書庫にあるファイルは残り、同じ名前のものは新しいほうになります）")
                      .arg(name)
                : QStringLiteral("%1 は存在しません。\r\nファイルを作成しますか？").arg(name);
        if (messageBox(question, StyleQuestionYesNo, QStringLiteral("名前を付けて保存")) == AnswerYes) return chosen;
    }
}

std::int32_t QtPlatform::windowHandle(QWidget& window) {
    // X11 window ids fit in 32 bits.
    return static_cast<std::int32_t>(window.window()->winId());
}

namespace {

// Without a runtime folder: a folder of the user's own in the temporary
// folder, that no other user can write to (a lock of a name every user can
// work out, in /tmp itself, another user could make first and keep); if
// another has made that folder, one in the user's cache.
QString privateLockFolder() {
    const QByteArray path = QDir::tempPath().toLocal8Bit() + "/squashslice-" + QByteArray::number(::getuid());
    ::mkdir(path.constData(), 0700);
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
        (st.st_mode & 077) == 0)
        return QString::fromLocal8Bit(path);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                          QStringLiteral("/squashslice");
    QDir().mkpath(cache);
    return cache;
}

}  // namespace

bool QtPlatform::previousInstance() {
    QString folder = qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")
                         ? privateLockFolder()
                         : QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QByteArray key = QCryptographicHash::hash(QCoreApplication::applicationFilePath().toUtf8(),
                                              QCryptographicHash::Sha1).toHex().left(16);
    instanceLock_ = std::make_unique<QLockFile>(
        QStringLiteral("%1/squashslice-%2-%3.lock")
            .arg(folder, QString::number(::getuid()), QString::fromLatin1(key)));
    // A lock whose owner has died is taken over, whatever its age.
    instanceLock_->setStaleLockTime(0);
    return !instanceLock_->tryLock(0);
}

QString QtPlatform::programFolder() {
    // An installed copy never writes into its program folder, even as root.
    const QString& folder = executableFolder_;
    const bool installed = QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(kInstalledMarker));
    if (!installed && ::access(QFile::encodeName(folder).constData(), W_OK) == 0) return folder;
    QString perUser = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                      QStringLiteral("/squashslice");
    QDir().mkpath(perUser);
    return perUser;
}

bool QtPlatform::programFolderIsPerUser() {
    return QDir(programFolder()) != QDir(executableFolder_);
}

QString QtPlatform::currentFolder() { return QDir::currentPath(); }

QStringList QtPlatform::commandLine() {
    QStringList pieces = commandLine_.value_or(QCoreApplication::arguments().mid(1));
    pieces.removeAll(QString());
    return pieces;
}

double QtPlatform::logicalDpi() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

std::vector<QRect> QtPlatform::screens() {
    std::vector<QRect> rects;
    for (QScreen* screen : QGuiApplication::screens()) rects.push_back(screen->geometry());
    return rects;
}

void* QtPlatform::loadLibrarySymbol(const QString& libraryName, const char* symbol, QString& error) {
    QString path = executableFolder_ + QLatin1Char('/') + libraryName;
    auto& library = libraries_[path];
    if (!library) {
        library = std::make_unique<QLibrary>(path);
        if (!library->load()) {
            error = library->errorString();
            library.reset();
            libraries_.erase(path);
            return nullptr;
        }
    }
    QFunctionPointer entry = library->resolve(symbol);
    if (!entry) {
        error = library->errorString();
        return nullptr;
    }
    return reinterpret_cast<void*>(entry);
}

}  // namespace sqs
