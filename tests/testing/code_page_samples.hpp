// Source files in the code pages real legacy code is saved in, made by the
// system's iconv at test time (or written byte by byte where Windows' table
// differs from iconv's), with the rows a load must store for each: shared by
// the tests of every destination.
#pragma once

#include <string>
#include <vector>

#include "testing/encode.hpp"

namespace corvanne::testing {

using namespace std::string_literals;

struct CodePageSample {
  const char* name;
  std::string bytes;              // the file as saved
  std::string delimiter;          // SOURCE_FILE_ROW_DELIMITER as the run passes it
  std::string code_page;          // SOURCE_FILE_CODE_PAGE
  std::vector<std::string> rows;  // what the table must hold, UTF-8
  std::string undecodable = {};   // SOURCE_FILE_UNDECODABLE_BYTES
};

inline std::string Repeat(const std::string& text, std::size_t times) {
  std::string repeated;
  for (std::size_t i = 0; i < times; ++i) repeated += text;
  return repeated;
}

inline std::string JoinRows(const std::vector<std::string>& rows, const std::string& delimiter) {
  std::string text;
  for (std::size_t i = 0; i < rows.size(); ++i) text += (i == 0 ? "" : delimiter) + rows[i];
  return text;
}

// A sample of `rows` written in `encoding` behind `mark`.
inline CodePageSample Sample(const char* name, std::vector<std::string> rows, const char* encoding,
                             const std::string& mark, const std::string& delimiter, const std::string& code_page) {
  return {name, mark + Encode(JoinRows(rows, delimiter), encoding), delimiter, code_page, std::move(rows), ""};
}

inline std::vector<CodePageSample> CodePageSamples() {
  return {
      Sample("Windows-1252, the default", {"' Año fiscal: “cambio” — 25 €", "MsgBox \"Atención\""}, "WINDOWS-1252",
             "", "\r\n", ""),
      {"Windows-1252's five unassigned bytes", "Caf\xE9 \x81\x8D\x8F\x90\x9D\r\nx", "\r\n", "WINDOWS-1252",
       {"Café \u0081\u008D\u008F\u0090\u009D", "x"}, ""},
      {"Windows-950's Eten additions and user-defined area", "' \xF9\xD6\xF9\xFE\xFA\x40\r\nx", "\r\n", "950",
       {"' 碁▓\uE000", "x"}, ""},
      {"Big5 with a stray Latin-1 byte, replaced", Encode("' 檢查 \"", "BIG5") + "\xE9\"\r\nx", "\r\n", "950",
       {"' 檢查 \"\uFFFD\"", "x"}, ""},
      Sample("UTF-16 LE without its mark under AUTO", {"Sub Main()", "  x = \"日本\""}, "UTF-16LE", "", "\r\n", "AUTO"),
      Sample("8000 Chinese characters", {std::string(8000, 'x'), Repeat("中", 8000), "x"}, "UTF-8", "", "\r\n", ""),
      Sample("8000 emoji (two UTF-16 units each)", {Repeat("😀", 8000)}, "UTF-8", "", "\r\n", ""),
      Sample("Big5 with | as a trail byte and as the delimiter", {"' 弋功能", "x = 1"}, "BIG5", "", "|", "BIG5"),
      Sample("Windows-874 Thai", {"' ตรวจสอบข้อมูลลูกค้า", "MsgBox \"บันทึก\""}, "WINDOWS-874", "", "\r\n", "874"),
      Sample("UTF-16 LE with its mark and CR LF", {"Sub Main()", "  x = \"日本 😀\"", "End Sub"}, "UTF-16LE",
             "\xFF\xFE", "\r\n", ""),
      Sample("UTF-16 BE with its mark and CR LF", {"Sub Main()", "  x = \"Ωμέγα\""}, "UTF-16BE", "\xFE\xFF", "\r\n",
             "BIG5"),
      Sample("UTF-8 with its mark", {"Sub Main()", "é"}, "UTF-8", "\xEF\xBB\xBF", "\r\n", ""),
      Sample("valid UTF-8 in a BIG5 run", {"' 中文 comment", "x"}, "UTF-8", "", "\r\n", "BIG5"),
  };
}

// Files whose load fails on every destination, with what the failure says.
struct FailingSample {
  CodePageSample sample;
  std::string error;  // a part of the description
};

inline std::vector<FailingSample> FailingSamples() {
  return {
      {{"invalid UTF-8 under UTF-8 and FAIL", "ok\r\nbad \xFF\xFE\r\n", "\r\n", "UTF-8", {}, "FAIL"},
       "line 2: not valid UTF-8 at byte offset 8"},
      {{"a NUL line", "ok\r\na\0b\r\n"s, "\r\n", "", {}, ""}, "line 2: binary content (a NUL character in the line)"},
      {{"a NUL byte under BYTES", "ok\r\n\0\r\n"s, "\r\n", "BYTES", {}, ""}, "line 2: binary content (a NUL byte"},
      {{"UTF-16 without its mark under Windows-1252", Encode("Sub A()\r\n", "UTF-16LE"), "\r\n", "", {}, ""},
       "looks like UTF-16LE text without a byte-order mark"},
  };
}

}  // namespace corvanne::testing
