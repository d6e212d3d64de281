#include "pack/archiver_call.h"
#include "pack/pack_files.h"
#include "tests/support/fake_platform.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace sqs {
namespace {

TEST(PackTexts, QuestionNamesEveryEntryAndTheCount) {
    EXPECT_EQ(packQuestion({"/d/a.txt"}),
              "\"/d/a.txt\"\r\n\r\n以上1個のファイルを圧縮します。\r\n\r\nよろしいですか？");
    QStringList twelve;
    for (int i = 0; i < 12; ++i) twelve << QStringLiteral("/d/f%1").arg(i);
    const QString text = packQuestion(twelve);
    EXPECT_TRUE(text.startsWith("\"/d/f0\"\r\n\"/d/f1\"\r\n"));
    EXPECT_TRUE(text.endsWith("\"/d/f11\"\r\n\r\n以上12個のファイルを圧縮します。\r\n\r\nよろしいですか？"));
}

TEST(PackTexts, QuoteIfNeeded) {
    struct { const char* in; const char* out; } table[] = {
        {"plain.lzh", "plain.lzh"}, {"/My Data/a.lzh", "\"/My Data/a.lzh\""}, {"/x,y.lzh", "\"/x,y.lzh\""},
        {"全角　空白.txt", "全角　空白.txt"}, {"", ""}, {"@/Program Files/t/responce.txt", "\"@/Program Files/t/responce.txt\""}};
    for (auto& row : table) EXPECT_EQ(QuoteIfNeeded(QString::fromUtf8(row.in)), QString::fromUtf8(row.out)) << row.in;
}

TEST(PackTexts, WithTrailingBackslash) {
    struct { const char* in; const char* out; } table[] = {
        {"/data", "/data/"}, {"/data/", "/data/"}, {"/data   ", "/data/"}, {"/My Data/", "/My Data/"},
        {"", "/"}, {"   ", "/"}, {"/data\t", "/data\t/"}};
    for (auto& row : table) EXPECT_EQ(WithTrailingBackslash(QString::fromUtf8(row.in)), QString::fromUtf8(row.out)) << row.in;
}

TEST(PackTexts, CommandTextByteForByte) {
    EXPECT_EQ(archiverCommandText("/out/photo.lzh", "/My Data", "@/Tools/responce.txt"),
              "u -a1 -r2 -x1 -l1 -jp1 -o2 /out/photo.lzh \"/My Data/\" @/Tools/responce.txt ");
    EXPECT_EQ(archiverCommandText("/My Data/a.lzh", "", "@/Program Files/Tools/responce.txt"),
              "u -a1 -r2 -x1 -l1 -jp1 -o2 \"/My Data/a.lzh\" / \"@/Program Files/Tools/responce.txt\" ");
    // The library parts fields at a tab too.
    EXPECT_EQ(archiverCommandText("/out/x\ty.lzh", "/in\tdir", "@/Tools/responce.txt"),
              "u -a1 -r2 -x1 -l1 -jp1 -o2 \"/out/x\ty.lzh\" \"/in\tdir/\" @/Tools/responce.txt ");
}

class PackListTest : public ::testing::Test {
protected:
    test::FakePlatform platform;
    QString make(const QString& name, bool folder = false) {
        const QString full = platform.folder() + "/" + name;
        if (folder) {
            QDir().mkpath(full);
        } else {
            QDir().mkpath(QFileInfo(full).path());
            QFile f(full);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        }
        return full;
    }
};

TEST_F(PackListTest, OneFolderGivesBareNamesRelativeToTheFirstEntry) {
    const QString a = make("d/photo 1.jpg"), b = make("d/notes.txt"), sub = make("d/sub", true);
    const PackList list = packList(platform, {a, b, platform.folder() + "/d/gone.txt", sub});
    EXPECT_EQ(list.baseFolder, platform.folder() + "/d/");
    EXPECT_EQ(list.responseText, "\"photo 1.jpg\"\r\nnotes.txt\r\nsub\r\n");
    EXPECT_TRUE(list.vanished);   // never an empty line: the pack fails instead
    EXPECT_FALSE(list.complete());
}

TEST_F(PackListTest, FolderWithClosingSeparatorIsItsOwnBase) {
    const QString sub = make("data/sub", true);
    const PackList list = packList(platform, {sub + "/"});
    EXPECT_EQ(list.baseFolder, sub + "/");
    EXPECT_EQ(list.responseText, ".\r\n");
}

TEST_F(PackListTest, EntriesFromTwoFoldersAreNamedFromTheirSharedFolder) {
    const QString a = make("top/one/a.txt"), b = make("top/two/b c.txt"), c = make("top/one/deep/x.txt");
    const PackList list = packList(platform, {a, b, c});
    EXPECT_EQ(list.baseFolder, platform.folder() + "/top/");
    EXPECT_EQ(list.responseText, "one/a.txt\r\n\"two/b c.txt\"\r\none/deep/x.txt\r\n");
}

}  // namespace
}  // namespace sqs
