#include "archiver/format/text_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace lzh {
namespace {

// ASCII names skip the converter: that is only sound where the converter
// itself leaves ASCII as it is, backslash and tilde included.
TEST(TextCodec, AsciiShortcutAgreesWithTheConverter) {
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
    bool lossy = true;
    EXPECT_EQ(utf8ToCp932(ascii, &lossy), ascii);
    EXPECT_FALSE(lossy);
    EXPECT_EQ(fromCodePage(ascii, 932), ascii);   // through the converter
    EXPECT_EQ(cp932ToUtf8(ascii), fromCodePage(ascii, 932));
    EXPECT_TRUE(isValidUtf8(ascii));
}

// Each thread keeps converters of its own; names convert alike on all of
// them at once, one conversion never leaving state behind for the next.
TEST(TextCodec, ThreadsConvertAlikeAtOnce) {
    struct Row {
        std::string utf8, cp932;
        bool lossy;
    };
    const std::vector<Row> rows = {
        {"readme.txt", "readme.txt", false},
        {"dir\\file~1.h", "dir\\file~1.h", false},
        {"日本語.txt", "\x93\xfa\x96\x7b\x8c\xea.txt", false},
        {"ｷｬﾝｾﾙ", "\xb7\xac\xdd\xbe\xd9", false},
        {"Ωé€.txt", "\x83\xb6_00E9_20AC.txt", true},
        {"한😀.txt", "_D55C_1F600.txt", true},
    };
    auto convertAll = [&rows](int rounds, int& mismatches) {
        for (int r = 0; r < rounds; ++r) {
            for (const Row& row : rows) {
                bool lossy = !row.lossy;
                if (utf8ToCp932(row.utf8, &lossy) != row.cp932 || lossy != row.lossy) ++mismatches;
                if (!row.lossy && cp932ToUtf8(row.cp932) != row.utf8) ++mismatches;
                if (utf16leToUtf8(utf8ToUtf16le(row.utf8)) != row.utf8) ++mismatches;
            }
        }
    };
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int& count : mismatches) threads.emplace_back(convertAll, 300, std::ref(count));
    for (std::thread& t : threads) t.join();
    for (int count : mismatches) EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace lzh
