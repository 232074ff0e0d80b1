// Sample texts in other encodings, made by the system's iconv at test time,
// so that what a test expects is the codec's text, not ours. Header-only: the
// benchmark corpus generator writes its samples with it too.
#pragma once

#include <iconv.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace corvanne::testing {

// `utf8` in `encoding` (an iconv name such as "BIG5", "UTF-16LE"); throws
// std::runtime_error when iconv cannot write it there.
inline std::string Encode(std::string_view utf8, const char* encoding) {
  const iconv_t handle = iconv_open(encoding, "UTF-8");
  if (handle == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("no iconv for ") + encoding);
  std::string out(utf8.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(utf8.data());  // NOLINT(cppcoreguidelines-pro-type-const-cast): iconv's C API
  std::size_t in_left = utf8.size();
  char* written = out.data();
  std::size_t out_left = out.size();
  const std::size_t result = iconv(handle, &in, &in_left, &written, &out_left);
  iconv_close(handle);
  if (result == static_cast<std::size_t>(-1) || in_left != 0) {
    throw std::runtime_error(std::string("iconv cannot write the sample in ") + encoding);
  }
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace corvanne::testing
