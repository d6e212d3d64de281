#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <random>

namespace sqs::profile {
namespace {

struct ReadCase {
    const char* label;
    const char* file;
    const char* key;
    const char* expected;
};

class ProfileReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileReadTest, FindsValue) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(readValue(std::string(c.file), "SQS", c.key, "DEF", 100), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileReadTest,
    ::testing::Values(
        ReadCase{"plain", "[SQS]\r\nTOP=1230\r\n", "TOP", "1230"},
        ReadCase{"lf_only", "[SQS]\nTOP=5\n", "TOP", "5"},
        ReadCase{"no_final_newline", "[SQS]\r\nTOP=7", "TOP", "7"},
        ReadCase{"names_ignore_case", "[sqs]\r\ntop=9\r\n", "TOP", "9"},
        ReadCase{"blanks_trimmed", "  [ SQS ]  \r\n  TOP  =   1230  \r\n", "TOP", "1230"},
        ReadCase{"double_quotes_stripped", "[SQS]\r\nOPTION1=\" ON \"\r\n", "OPTION1", " ON "},
        ReadCase{"single_quotes_stripped", "[SQS]\r\nOPTION1='ON'\r\n", "OPTION1", "ON"},
        ReadCase{"unmatched_quote_kept", "[SQS]\r\nOPTION1=\"ON'\r\n", "OPTION1", "\"ON'"},
        ReadCase{"first_duplicate_wins", "[SQS]\r\nTOP=1\r\nTOP=2\r\n", "TOP", "1"},
        ReadCase{"first_section_wins", "[SQS]\r\nA=1\r\n[SQS]\r\nTOP=2\r\n", "TOP", "DEF"},
        ReadCase{"other_section_ignored", "[Other]\r\nTOP=3\r\n[SQS]\r\nLEFT=1\r\n", "TOP", "DEF"},
        ReadCase{"comment_is_no_key", "[SQS]\r\n;TOP=3\r\n", "TOP", "DEF"},
        ReadCase{"empty_value", "[SQS]\r\nTOP=\r\n", "TOP", ""},
        ReadCase{"value_keeps_equals", "[SQS]\r\nOPTION1=a=b\r\n", "OPTION1", "a=b"},
        ReadCase{"missing_key", "[SQS]\r\nLEFT=1\r\n", "TOP", "DEF"},
        ReadCase{"key_before_any_section", "TOP=4\r\n[SQS]\r\n", "TOP", "DEF"},
        ReadCase{"empty_file", "", "TOP", "DEF"},
        ReadCase{"utf8_bom_skipped", "\xEF\xBB\xBF[SQS]\r\nTOP=3\r\n", "TOP", "3"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ProfileRead, MissingFileGivesDefault) { EXPECT_EQ(readValue(std::nullopt, "SQS", "TOP", "0", 100), "0"); }

TEST(ProfileRead, LongValueCutToBufferLessOne) {
    std::string file = "[SQS]\r\nOPTION1=" + std::string(150, 'x') + "\r\n";
    EXPECT_EQ(readValue(file, "SQS", "OPTION1", "OFF", 100), std::string(99, 'x'));
}

TEST(ProfileRead, GarbageNeverCrashesAndGivesDefaults) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string file(static_cast<std::size_t>(random() % 4096), '\0');
        for (char& c : file) c = static_cast<char>(random());
        if (round % 2) file = "[SQS]\r\n" + file;
        std::string value = readValue(file, "SQS", "OPTION3", "OFF", 100);
        EXPECT_LE(value.size(), 99u);
        EXPECT_EQ(value.find('\0'), std::string::npos);
    }
    std::string huge(8 << 20, '[');
    EXPECT_EQ(readValue(huge, "SQS", "TOP", "0", 100), "0");
}

struct WriteCase {
    const char* label;
    const char* before;
    const char* key;
    const char* value;
    const char* after;
};

class ProfileWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWriteTest, ChangesOnlyThatKey) {
    const WriteCase& c = GetParam();
    EXPECT_EQ(withValue(c.before, "SQS", c.key, c.value), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProfileWriteTest,
    ::testing::Values(
        WriteCase{"new_file", "", "TOP", "1230", "[SQS]\r\nTOP=1230\r\n"},
        WriteCase{"replace_in_place", "[SQS]\r\nTOP=1\r\nLEFT=2\r\n", "TOP", "5", "[SQS]\r\nTOP=5\r\nLEFT=2\r\n"},
        WriteCase{"replace_other_case", "[sqs]\r\n top = 1 \r\n", "TOP", "5", "[sqs]\r\nTOP=5\r\n"},
        WriteCase{"new_key_after_last_key", "[SQS]\r\nTOP=1\r\n\r\n; note\r\n[Other]\r\nX=1\r\n", "LEFT", "2",
                  "[SQS]\r\nTOP=1\r\nLEFT=2\r\n\r\n; note\r\n[Other]\r\nX=1\r\n"},
        WriteCase{"new_key_in_empty_section", "[SQS]\r\n[Other]\r\n", "TOP", "1", "[SQS]\r\nTOP=1\r\n[Other]\r\n"},
        WriteCase{"new_section_at_end", "[Other]\nX=1\n", "TOP", "1", "[Other]\nX=1\n[SQS]\r\nTOP=1\r\n"},
        WriteCase{"new_section_after_unterminated_line", "[Other]\nX=1", "TOP", "1",
                  "[Other]\nX=1\r\n[SQS]\r\nTOP=1\r\n"},
        WriteCase{"new_key_after_unterminated_line", "[SQS]\r\nTOP=1", "LEFT", "2",
                  "[SQS]\r\nTOP=1\r\nLEFT=2\r\n"},
        WriteCase{"replace_first_duplicate_only", "[SQS]\r\nTOP=1\r\nTOP=2\r\n", "TOP", "3",
                  "[SQS]\r\nTOP=3\r\nTOP=2\r\n"},
        WriteCase{"keeps_lf_lines_of_others", "; head\n[SQS]\nTOP=1\nLEFT=2\n", "TOP", "9",
                  "; head\n[SQS]\nTOP=9\r\nLEFT=2\n"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ProfileWrite, RoundTripsEveryKeyWithOtherContentKeptByteForByte) {
    const std::string others = "; settings of another tool\r\n[Other]\r\nA = b\r\n\r\n";
    std::string file = others;
    const char* keys[] = {"TOP", "LEFT", "OPTION1", "OPTION2", "OPTION3", "OPTION4", "OPTION5"};
    for (int pass = 0; pass < 2; ++pass)
        for (const char* key : keys) file = withValue(file, "SQS", key, std::string(key) + "v" + std::to_string(pass));
    EXPECT_EQ(file.substr(0, others.size()), others);
    EXPECT_EQ(file.substr(others.size()),
              "[SQS]\r\nTOP=TOPv1\r\nLEFT=LEFTv1\r\nOPTION1=OPTION1v1\r\nOPTION2=OPTION2v1\r\n"
              "OPTION3=OPTION3v1\r\nOPTION4=OPTION4v1\r\nOPTION5=OPTION5v1\r\n");
    for (const char* key : keys) EXPECT_EQ(readValue(file, "SQS", key, "", 100), std::string(key) + "v1");
}

}  // namespace
}  // namespace sqs::profile
