#include "settings/position_text.h"

#include <limits>

namespace sqs {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::int32_t parsePositionText(const std::string& text) {
    std::size_t i = 0, end = text.size();
    while (i < end && isBlank(text[i])) ++i;
    while (end > i && isBlank(text[end - 1])) --end;

    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    constexpr std::int64_t kLimit = std::int64_t{1} << 32;   // beyond every 32-bit value
    std::int64_t whole = 0;
    std::size_t digits = 0;
    for (; i < end && isDigit(text[i]); ++i, ++digits)
        whole = std::min(kLimit, whole * 10 + (text[i] - '0'));

    // Fraction: decide rounding from its first digit and whether more follow.
    int firstFraction = 0;
    bool moreFraction = false;
    if (i < end && text[i] == '.') {
        ++i;
        if (i < end && isDigit(text[i])) {
            firstFraction = text[i++] - '0';
            ++digits;
        }
        for (; i < end && isDigit(text[i]); ++i, ++digits) moreFraction |= text[i] != '0';
    }
    if (i != end || digits == 0) return 0;

    bool roundUp = firstFraction > 5 || (firstFraction == 5 && (moreFraction || whole % 2 == 1));
    if (roundUp) ++whole;
    std::int64_t value = negative ? -whole : whole;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(value);
}

std::string positionText(std::int32_t twips) { return std::to_string(twips); }

}  // namespace sqs
