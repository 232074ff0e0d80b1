// Sample texts in other encodings, made by the system's iconv at test time,
// so that what a test expects is the codec's text, not ours. Header-only: the
// benchmark corpus generator writes its samples with it too. Windows has no
// iconv: there the samples are written by Windows' encoder, the other
// direction of its tables.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <utility>
#else
#include <iconv.h>
#endif

#include <stdexcept>
#include <string>
#include <string_view>

namespace corvanne::testing {

#ifdef _WIN32
// `utf8` in `encoding` (one of the names below); throws std::runtime_error
// when the code page cannot hold a character of it (no best fit).
inline std::string Encode(std::string_view utf8, const char* encoding) {
  const std::string_view name(encoding);
  std::wstring wide(utf8.size() + 1, L'\0');
  const int units = utf8.empty() ? 0
                                 : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                                       static_cast<int>(utf8.size()), wide.data(),
                                                       static_cast<int>(wide.size()));
  if (!utf8.empty() && units <= 0) throw std::runtime_error("the sample is not UTF-8");
  wide.resize(static_cast<std::size_t>(units));
  if (name == "UTF-8") return std::string(utf8);
  if (name == "UTF-16LE" || name == "UTF-16BE") {
    const bool big = name == "UTF-16BE";
    std::string out;
    for (const wchar_t unit : wide) {
      const auto low = static_cast<char>(unit & 0xFF);
      const auto high = static_cast<char>((unit >> 8) & 0xFF);
      out += big ? high : low;
      out += big ? low : high;
    }
    return out;
  }
  constexpr std::pair<std::string_view, UINT> kCodePages[] = {
      {"WINDOWS-1252", 1252}, {"WINDOWS-874", 874}, {"BIG5", 950}, {"GB18030", 54936}};
  UINT code_page = 0;
  for (const auto& [known, number] : kCodePages) {
    if (name == known) code_page = number;
  }
  if (code_page == 0) throw std::runtime_error(std::string("no encoder for ") + encoding);
  // GB18030 holds every character and takes neither the flag nor the question.
  const bool all = code_page == 54936;
  BOOL defaulted = FALSE;
  std::string out(wide.size() * 4 + 16, '\0');
  const int bytes = units == 0 ? 0
                               : WideCharToMultiByte(code_page, all ? 0 : WC_NO_BEST_FIT_CHARS, wide.data(), units,
                                                     out.data(), static_cast<int>(out.size()), nullptr,
                                                     all ? nullptr : &defaulted);
  if ((units > 0 && bytes <= 0) || defaulted != FALSE) {
    throw std::runtime_error(std::string("Windows cannot write the sample in ") + encoding);
  }
  out.resize(static_cast<std::size_t>(bytes));
  return out;
}
#else

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
#endif

}  // namespace corvanne::testing
