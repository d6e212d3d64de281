#include "widgets/japanese_toolkit.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileIconProvider>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace sqs {
namespace {

// The file dialog's words, the standard buttons and the system's reasons
// come out in Japanese whatever $LANG is, and go back once the toolkit
// object is gone.
TEST(JapaneseToolkit, DialogWordsAreJapaneseWhileItLives) {
    const struct { const char* what; std::function<QString()> shown; const char* japanese; } table[] = {
        {"folder type", [] { return QFileIconProvider().type(QFileInfo(QDir::tempPath())); }, "フォルダ"},
        {"cancel button",
         [] { return QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text(); },
         "キャンセル"},
        {"system reason", [] { return QString::fromLocal8Bit(std::strerror(ENOENT)); },
         "そのようなファイルやディレクトリはありません"},
    };
    for (const auto& row : table) {
        const QString before = row.shown();
        {
            const JapaneseToolkit japanese;
            EXPECT_EQ(row.shown().remove(u'&'), QString::fromUtf8(row.japanese)) << row.what;
        }
        EXPECT_EQ(row.shown(), before) << row.what;
    }
}

// Japanese is drawn in a font made for it, never in another region's CJK font.
TEST(JapaneseToolkit, JapaneseFontIsOneMadeForJapanese) {
    const struct { QStringList installed; const char* chosen; } table[] = {
        {{"DejaVu Sans", "Noto Sans CJK SC", "Noto Sans CJK JP", "IPAexGothic"}, "Noto Sans CJK JP"},
        {{"DejaVu Sans", "ipaexgothic", "VL PGothic"}, "IPAexGothic"},
        {{"DejaVu Sans", "Noto Sans CJK SC", "Noto Sans CJK KR"}, ""},
        {{}, ""},
    };
    for (const auto& row : table) EXPECT_EQ(japaneseFamily(row.installed), QString::fromUtf8(row.chosen)) << row.chosen;
}

}  // namespace
}  // namespace sqs
