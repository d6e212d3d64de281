#include "split/code_page.h"

#include <cerrno>
#include <iconv.h>

namespace sqs {

std::optional<std::string> utf8ToCp932(const std::string& utf8) {
    iconv_t converter = ::iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(utf8.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    std::size_t result = ::iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    ::iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace sqs
