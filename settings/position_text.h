#pragma once

#include <cstdint>
#include <string>

namespace sqs {

// A stored window coordinate (twips) as a signed 32-bit number: blanks
// around it allowed, an optional sign, digits and an optional fraction,
// rounded half to even. Text that is no number, or a number outside the
// 32-bit range, reads as 0.
std::int32_t parsePositionText(const std::string& text);

// A coordinate as plain decimal text: 1230, 0, -480.
std::string positionText(std::int32_t twips);

}  // namespace sqs
