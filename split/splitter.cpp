#include "split/splitter.h"

#include "core/app_state.h"
#include "platform/platform.h"
#include "split/progress_dialog.h"
#include "split/rejoin_script.h"
#include "split/split_plan.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <memory>

namespace sqs {
namespace {

const QString kConfirmTitle = QStringLiteral("作業確認");
// Bytes a name may have on the file systems of this system (NAME_MAX).
constexpr qsizetype kLongestName = 255;

bool shouldAsk(const AppState& state) {
    const QLatin1String off("OFF");
    return (state.chainMode == -1 && state.optionFlags[NoQuestionInChain] == off) ||
           (state.chainMode == 0 && state.optionFlags[NoQuestionInSplit] == off);
}

// The path as a message shows it: a control character (a line break, a
// tab) as \xHH, where it would break the line or pass unseen.
QString shownPath(const QString& path) {
    QString shown;
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("\\x") + QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
        else
            shown += c;
    }
    return shown;
}

}  // namespace

void Splitter::SplitFile(const QString& path, const AppState& state) {
    QString error = unscriptableNameReason(path);
    auto length = error.isEmpty() ? platform_.fileLength(path, error) : std::nullopt;
    if (length) {
        // Opening it proves it can be read.
        if (FileResult opened = platform_.readBlock(path, 0, nullptr, 0); !opened) {
            error = opened.error;
            length.reset();
        }
    }
    if (!length) {
        platform_.markFailed();
        platform_.messageBox(QStringLiteral("次のファイルは分割できません。\r\n\"%1\"\r\n%2").arg(shownPath(path), error),
                             StyleError, QStringLiteral("SQS"));
        return;
    }

    const std::int64_t n = pieceCount(*length);
    if (n <= 1) {
        platform_.messageBox(QStringLiteral("分割する必要がありません。"), StyleInformation, kConfirmTitle);
        platform_.terminate();
    }
    if (shouldAsk(state) &&
        platform_.messageBox(splitQuestion(path, n), StyleQuestionYesNo, kConfirmTitle) != AnswerYes)
        return;
    WritePieces(path);
}

void Splitter::WritePieces(const QString& path) {
    // Written to while it is cut (from before its length is taken), the pieces
    // would hold part of the old bytes and part of the new: checked after the
    // last one.
    const QString stamp = platform_.changeStamp(path);
    QString error;
    const auto length = platform_.fileLength(path, error);
    if (!length) platform_.fail(QStringLiteral("ファイルの長さの取得"), path, error);
    const std::int64_t n = pieceCount(*length);

    // An old script would join whatever pieces an interrupted run leaves; without
    // it the set is visibly incomplete until the new script is written last.
    const QString script = rejoinScriptPath(path);
    if (!platform_.nameLookup(script, LookupAttribute::FilesOnly).isEmpty())
        if (FileResult removed = platform_.deleteFile(script); !removed)
            platform_.fail(QStringLiteral("ファイルの削除"), script, removed.error);

    // The last piece has the longest name (".1000" and on take four digits
    // or more): one too long for a name is refused before any piece is written.
    if (const QString last = pieceName(path, n); QFileInfo(last).fileName().toLocal8Bit().size() > kLongestName)
        platform_.fail(QStringLiteral("ファイルの書き込み"), last, QStringLiteral("ファイル名が長すぎます"));

    // A piece name that is a link to the file being cut, or to the file that
    // another piece's name leads to, would have its piece written over that
    // file: refused before any piece is written.
    QHash<QString, QString> leadsTo{{platform_.fileIdentity(path), path}};
    for (std::int64_t i = 1; i <= n; ++i) {
        const QString piece = pieceName(path, i), identity = platform_.fileIdentity(piece);
        if (identity.isEmpty()) continue;
        if (const auto same = leadsTo.constFind(identity); same != leadsTo.constEnd())
            platform_.fail(QStringLiteral("ファイルの書き込み"), piece,
                           QStringLiteral("%1 と同じファイルを指しているため、分割したファイルで置き換えてしまいます").arg(*same));
        leadsTo.insert(identity, piece);
    }

    auto dialog = std::make_unique<ProgressDialog>(platform_);
    platform_.showModeless(*dialog);
    dialog->setInputPath(path);

    for (std::int64_t i = 1; i <= n; ++i) {
        dialog->setProgress(progressText(i, n));
        const QString piece = pieceName(path, i);
        dialog->setPieceName(piece);
        // The bytes go from the file to the piece in the kernel, while the
        // next piece's file is made ready beside it.
        if (i < n) platform_.expectCopy(path, i * PieceSize, pieceLength(*length, i + 1), pieceName(path, i + 1));
        bool readFailed = false;
        if (FileResult copied = platform_.copyToNewFile(path, (i - 1) * PieceSize, pieceLength(*length, i), piece,
                                                        readFailed);
            !copied) {
            if (readFailed) platform_.fail(QStringLiteral("ファイルの読み込み"), path, copied.error);
            platform_.fail(QStringLiteral("ファイルの書き込み"), piece, copied.error);
        }
        platform_.yield();
    }
    if (platform_.changeStamp(path) != stamp)
        platform_.fail(QStringLiteral("ファイルの読み込み"), path, QStringLiteral("読んでいる間にファイルが変わりました"));
    platform_.unload(*dialog);
    dialog.reset();

    // The old script went before the first piece: a file of its name now is a
    // piece written there through a link, which the script would replace.
    if (!platform_.nameLookup(script, LookupAttribute::FilesOnly).isEmpty())
        platform_.fail(QStringLiteral("ファイルの書き込み"), script,
                       QStringLiteral("この名前には（リンクを通して）分割したファイルが書かれたため、結合用のバッチファイルで置き換えてしまいます"));
    if (FileResult written = platform_.writeTextFile(script, encodeRejoinScript(rejoinScriptText(path, n))); !written)
        platform_.fail(QStringLiteral("ファイルの書き込み"), script, written.error);
}

}  // namespace sqs
