#pragma once

#include <string>
#include <string_view>

namespace lzh {

// Text safe to print on a terminal or in a window: every control character
// (C0, DEL, and the C1 range U+0080-U+009F) and every byte that is not part
// of valid UTF-8 is written as \xHH, and a backslash as \\, so that a name
// can neither drive the terminal nor fake a line of its own.
std::string printable(std::string_view text);

}  // namespace lzh
