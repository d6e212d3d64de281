#pragma once

#include <optional>
#include <string>

namespace sqs {

// UTF-8 text in Windows code page 932 (Shift_JIS with Microsoft's
// extensions); nothing when a character has no CP932 form, or one that
// reads back as another character.
std::optional<std::string> utf8ToCp932(const std::string& utf8);

}  // namespace sqs
