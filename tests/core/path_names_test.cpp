#include "core/path_names.h"
#include "tests/support/fake_platform.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace sqs {
namespace {

using test::FakePlatform;
constexpr int kFiles = 0;
constexpr int kDirs = 16;

struct ExpandCase {
    const char* label;
    const char* current;
    const char* input;
    std::vector<std::tuple<const char*, int, const char*>> lookups;
    const char* expected;
};

class ExpandLongPathTest : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandLongPathTest, RebuildsFromStoredNames) {
    const ExpandCase& c = GetParam();
    FakePlatform platform;
    platform.scriptedLookupsOnly = true;
    platform.current = QString::fromUtf8(c.current);
    for (auto [path, attribute, name] : c.lookups)
        platform.lookups[{QString::fromUtf8(path), attribute}] = QString::fromUtf8(name);
    EXPECT_EQ(ExpandLongPath(platform, QString::fromUtf8(c.input)).toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExpandLongPathTest,
    ::testing::Values(
        ExpandCase{"short_names_become_long", "/",
                   "/PROGRA~1/MYDIRE~1/FILE~1.TXT",
                   {{"/PROGRA~1/MYDIRE~1/FILE~1.TXT", kFiles, "File Name.txt"},
                    {"/PROGRA~1/MYDIRE~1", kDirs, "My Directory"},
                    {"/PROGRA~1", kDirs, "Program Files"}},
                   "/Program Files/My Directory/File Name.txt"},
        ExpandCase{"file_in_root", "/", "/AUTOEX~1.BAT", {{"/AUTOEX~1.BAT", kFiles, "autoexec.bat"}},
                   "/autoexec.bat"},
        ExpandCase{"folder_gets_closing_separator", "/", "/PROGRA~1",
                   {{"/PROGRA~1", kDirs, "Program Files"}}, "/Program Files/"},
        ExpandCase{"folder_given_with_closing_separator", "/", "/data/sub/",
                   {{"/data/sub", kDirs, "sub"}, {"/data", kDirs, "data"}}, "/data/sub/"},
        ExpandCase{"missing_file_keeps_its_name", "/", "/Data/NOPE.TXT", {{"/Data", kDirs, "Data"}},
                   "/Data/NOPE.TXT"},
        ExpandCase{"missing_folder_keeps_its_name", "/", "/gone/away/x.txt", {}, "/gone/away/x.txt"},
        ExpandCase{"relative_made_absolute", "/home/u", "docs/a.txt",
                   {{"/home/u/docs/a.txt", kFiles, "a.txt"},
                    {"/home/u/docs", kDirs, "docs"},
                    {"/home/u", kDirs, "u"},
                    {"/home", kDirs, "home"}},
                   "/home/u/docs/a.txt"},
        ExpandCase{"relative_in_root", "/", "a.txt", {{"/a.txt", kFiles, "a.txt"}}, "/a.txt"},
        ExpandCase{"dot_components_resolved", "/data/x", "./sub/../nope.txt", {}, "/data/x/nope.txt"},
        ExpandCase{"dot_dot_above_the_current_folder", "/data/x", "../y/./", {{"/data/y", kDirs, "y"}}, "/data/y/"},
        ExpandCase{"case_comes_from_the_lookup", "/", "/data/A.TXT",
                   {{"/data/A.TXT", kFiles, "a.txt"}, {"/data", kDirs, "Data"}}, "/Data/a.txt"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ExpandLongPathRealFiles, KeepsExistingNamesAndMarksFolders) {
    FakePlatform platform;
    const QString base = platform.folder();
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("My Dir/日本語")));
    QFile file(base + QStringLiteral("/My Dir/.hidden file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    platform.current = base;

    EXPECT_EQ(ExpandLongPath(platform, base + QStringLiteral("/My Dir/.hidden file")),
              base + QStringLiteral("/My Dir/.hidden file"));
    EXPECT_EQ(ExpandLongPath(platform, QStringLiteral("My Dir/日本語")), base + QStringLiteral("/My Dir/日本語/"));
    EXPECT_EQ(ExpandLongPath(platform, base + QStringLiteral("/My Dir/none")),
              base + QStringLiteral("/My Dir/none"));
}

struct TextCase {
    const char* input;
    const char* expected;
};

class ChangeExtensionTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ChangeExtensionTest, WithLzh) {
    EXPECT_EQ(ChangeExtension(QString::fromUtf8(GetParam().input), QStringLiteral("lzh")).toStdString(),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ChangeExtensionTest,
                         ::testing::Values(TextCase{"/Data/report.txt", "/Data/report.lzh"},
                                           TextCase{"/Data/archive.tar.gz", "/Data/archive.tar.lzh"},
                                           TextCase{"/rel2.0/README", "/rel2.lzh"},
                                           TextCase{"/Data/Photos/", "/Data/Photos.lzh"},
                                           TextCase{"/", ".lzh"},
                                           TextCase{"/data/README", "/data/README.lzh"},
                                           TextCase{"", ".lzh"}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

class FileNamePartTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(FileNamePartTest, LastComponent) {
    EXPECT_EQ(FileNamePart(QString::fromUtf8(GetParam().input)).toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FileNamePartTest,
                         ::testing::Values(TextCase{"/Data/report.lzh", "report.lzh"}, TextCase{"/", ""},
                                           TextCase{"/Data/", ""}, TextCase{"report.lzh", "report.lzh"},
                                           TextCase{"", ""}, TextCase{"/日本語/ソ表.bin", "ソ表.bin"}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

}  // namespace
}  // namespace sqs
