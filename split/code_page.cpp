#include "split/code_page.h"

#include <cerrno>
#include <iconv.h>

namespace sqs {
namespace {

std::optional<std::string> convert(const char* to, const char* from, const std::string& text) {
    iconv_t converter = ::iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    std::size_t result = ::iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    ::iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::optional<std::string> utf8ToCp932(const std::string& utf8) {
    std::optional<std::string> cp932 = convert("CP932", "UTF-8", utf8);
    // A character whose CP932 form reads back as another (the yen sign is
    // written as 0x5C, a backslash to the command interpreter) has none.
    if (!cp932 || convert("UTF-8", "CP932", *cp932) != utf8) return std::nullopt;
    return cp932;
}

}  // namespace sqs
