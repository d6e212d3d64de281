#include "split/split_plan.h"

#include <gtest/gtest.h>

namespace sqs {
namespace {

struct PlanCase {
    std::int64_t length;
    std::int64_t pieces;
    std::int64_t lastPiece;
};

class SplitPlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(SplitPlanTest, CountsAndSizes) {
    const PlanCase& c = GetParam();
    EXPECT_EQ(pieceCount(c.length), c.pieces);
    std::int64_t total = 0;
    for (std::int64_t i = 1; i <= c.pieces; ++i) {
        std::int64_t size = pieceLength(c.length, i);
        EXPECT_EQ(size, i < c.pieces ? PieceSize : c.lastPiece) << "piece " << i;
        total += size;
    }
    EXPECT_EQ(total, c.length);
}

INSTANTIATE_TEST_SUITE_P(Table, SplitPlanTest,
                         ::testing::Values(PlanCase{0, 0, 0}, PlanCase{1, 1, 1}, PlanCase{1457664, 1, 1457664},
                                           PlanCase{1457665, 2, 1}, PlanCase{2915328, 2, 1457664},
                                           PlanCase{2915329, 3, 1}, PlanCase{3000000, 3, 84672},
                                           PlanCase{999 * PieceSize + 1, 1000, 1},
                                           PlanCase{std::int64_t{5} << 30, 3684, 132608}),
                         [](const auto& info) { return "length" + std::to_string(info.param.length); });

TEST(SplitPlan, NamesAndTexts) {
    EXPECT_EQ(pieceName("/w/data.lzh", 1), "/w/data.lzh.001");
    EXPECT_EQ(pieceName("/w/data.lzh", 42), "/w/data.lzh.042");
    EXPECT_EQ(pieceName("/w/data.lzh", 999), "/w/data.lzh.999");
    EXPECT_EQ(pieceName("/w/data.lzh", 1000), "/w/data.lzh.1000");
    EXPECT_EQ(pieceName("/w/data.lzh", 12345), "/w/data.lzh.12345");
    EXPECT_EQ(progressText(2, 3), "2 / 3");
    EXPECT_EQ(progressText(1000, 1000), "1000 / 1000");
    EXPECT_EQ(splitQuestion("/work/data.lzh", 3),
              "\"/work/data.lzh\"を\r\n3個のファイルに分割します。\r\n\r\nよろしいですか？");
    // Placeholders in a path stay as they are.
    EXPECT_EQ(splitQuestion("/w/%1%2.bin", 2), "\"/w/%1%2.bin\"を\r\n2個のファイルに分割します。\r\n\r\nよろしいですか？");
}

}  // namespace
}  // namespace sqs
