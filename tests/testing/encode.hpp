// Sample texts in other encodings, made by the system's iconv at test time,
// so that what a test expects is the codec's text, not ours.
#pragma once

#include <string>
#include <string_view>

namespace corvanne::testing {

// `utf8` in `encoding` (an iconv name such as "BIG5", "UTF-16LE"); throws
// std::runtime_error when iconv cannot write it there.
std::string Encode(std::string_view utf8, const char* encoding);

}  // namespace corvanne::testing
