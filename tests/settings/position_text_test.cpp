#include "settings/position_text.h"

#include <gtest/gtest.h>

namespace sqs {
namespace {

struct PositionCase {
    const char* text;
    std::int32_t expected;
};

class PositionTextTest : public ::testing::TestWithParam<PositionCase> {};

TEST_P(PositionTextTest, Parses) { EXPECT_EQ(parsePositionText(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Table, PositionTextTest,
    ::testing::Values(PositionCase{"1230", 1230}, PositionCase{"  1230  ", 1230}, PositionCase{"\t1230", 1230},
                      PositionCase{"1230.5", 1230}, PositionCase{"1231.5", 1232}, PositionCase{"1230.51", 1231},
                      PositionCase{"1230.49", 1230}, PositionCase{"-1231.5", -1232}, PositionCase{"-480", -480},
                      PositionCase{"+15", 15}, PositionCase{"0", 0}, PositionCase{".5", 0}, PositionCase{"1.", 1},
                      PositionCase{"2147483647", 2147483647}, PositionCase{"-2147483648", -2147483648},
                      PositionCase{"2147483647.5", 0}, PositionCase{"2147483648", 0},
                      PositionCase{"99999999999999999999999", 0}, PositionCase{"", 0}, PositionCase{"   ", 0},
                      PositionCase{"abc", 0}, PositionCase{"12abc", 0}, PositionCase{"1 2", 0},
                      PositionCase{"-", 0}, PositionCase{"1e3", 0}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(PositionText, WritesPlainDigits) {
    EXPECT_EQ(positionText(1230), "1230");
    EXPECT_EQ(positionText(0), "0");
    EXPECT_EQ(positionText(-480), "-480");
}

}  // namespace
}  // namespace sqs
