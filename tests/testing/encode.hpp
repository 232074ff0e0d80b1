// Sample texts in other encodings, made by the system's own encoder at test
// time (iconv; on Windows, WideCharToMultiByte), so that what a test expects
// is the codec's text, not ours. Header-only: the benchmark corpus generator
// writes its samples with it too.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstdlib>
#else
#include <iconv.h>
#endif

#include <stdexcept>
#include <string>
#include <string_view>

namespace corvanne::testing {

#ifdef _WIN32

// `utf8` in `encoding` ("UTF-16LE", "WINDOWS-1252", "BIG5", "CP950", a
// number...); throws std::runtime_error when Windows cannot write it there.
inline std::string Encode(std::string_view utf8, const char* encoding) {
  const std::string name(encoding);
  const int length = static_cast<int>(utf8.size());
  std::wstring wide(utf8.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(
      utf8.empty() ? 0 : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), length + 1)));
  if (!utf8.empty() && wide.empty()) throw std::runtime_error("the sample is not UTF-8");
  if (name == "UTF-8") return std::string(utf8);
  if (name == "UTF-16LE" || name == "UTF-16BE") {
    const bool big_endian = name == "UTF-16BE";
    std::string out;
    for (const wchar_t unit : wide) {
      const auto value = static_cast<unsigned>(unit);
      const char low = static_cast<char>(value & 0xFF);
      const char high = static_cast<char>(value >> 8);
      out += big_endian ? high : low;
      out += big_endian ? low : high;
    }
    return out;
  }
  UINT code_page = 0;
  if (name == "BIG5") code_page = 950;
  if (name == "SHIFT_JIS") code_page = 932;
  if (name == "GBK" || name == "GB2312") code_page = 936;
  if (name == "EUC-KR") code_page = 949;
  if (name == "KOI8-R") code_page = 20866;
  if (name.rfind("ISO-8859-", 0) == 0) code_page = 28590 + static_cast<UINT>(std::atoi(name.c_str() + 9));
  if (name.rfind("WINDOWS-", 0) == 0) code_page = static_cast<UINT>(std::atoi(name.c_str() + 8));
  if (name.rfind("CP", 0) == 0) code_page = static_cast<UINT>(std::atoi(name.c_str() + 2));
  if (code_page == 0) code_page = static_cast<UINT>(std::atoi(name.c_str()));
  if (code_page == 0) throw std::runtime_error("no encoder for " + name);
  BOOL lossy = FALSE;
  const int wide_length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), wide_length, nullptr, 0, nullptr,
                                       &lossy);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), wide_length, out.data(), size, nullptr, &lossy);
  }
  if (lossy || (size == 0 && !wide.empty())) throw std::runtime_error("Windows cannot write the sample in " + name);
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
