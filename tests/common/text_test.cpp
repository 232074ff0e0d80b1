// Text helpers: blank trimming, upper-casing that keeps UTF-8 whole, and
// replacement; also the stream notifier that prints messages.
#include "common/text.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "common/notifier.hpp"

#ifndef _WIN32
#include <unicode/uchar.h>
#endif

namespace corvanne {
namespace {

struct TextCase {
  const char* name;
  std::string input;
  std::string expected;
};

TEST(TextTest, TrimUpperRemovesBlanksOnlyAndUpperCases) {
  const std::vector<TextCase> cases = {
      {"empty", "", ""},
      {"only blanks", "    ", ""},
      {"blanks around", "  yes  ", "YES"},
      {"mixed case", "YeS", "YES"},
      {"tab kept", "\tyes", "\tYES"},
      {"line breaks kept", "\r\nyes\r\n", "\r\nYES\r\n"},
      {"inner blanks kept", " a  b ", "A  B"},
      {"digits and punctuation", "abc-1_2.z", "ABC-1_2.Z"},
      {"latin-1 letters", "\xC3\xA9t\xC3\xA9", "\xC3\x89T\xC3\x89"},          // été
      {"greek", "\xCE\xB1\xCE\xB2", "\xCE\x91\xCE\x92"},                     // αβ
      {"cyrillic", "\xD0\xB4\xD0\xB0", "\xD0\x94\xD0\x90"},                  // да
      {"no upper case: CJK", "\xE4\xB8\xAD", "\xE4\xB8\xAD"},
      {"four-byte emoji", "a\xF0\x9F\x98\x80", "A\xF0\x9F\x98\x80"},
      {"upper case is shorter", "\xC4\xB1x", "IX"},                      // dotless i
      {"umlaut, and sharp s that has no simple upper case", "über straße", "ÜBER STRAßE"},
      {"title-case and lower-case dz digraphs", "ǅǆ", "ǄǄ"},
      {"final sigma", "λόγος", "ΛΌΓΟΣ"},
      {"cyrillic beyond the basic letters", "ёїґ", "ЁЇҐ"},
      {"four-byte letter (Deseret)", "\U00010428\U0001044F", "\U00010400\U00010427"},
      {"upper case is longer", "\xC9\x90" "b\xC9\x90", "\xE2\xB1\xAF" "B\xE2\xB1\xAF"},  // turned a
      {"latin-1 byte, not UTF-8", "caf\xE9", "CAF\xE9"},
      {"stray continuation byte", "a\x80z", "A\x80Z"},
      {"truncated sequence at end", "ab\xC3", "AB\xC3"},
      {"truncated sequence then ASCII", "\xE4\xB8z", "\xE4\xB8Z"},
      {"overlong encoding of slash", "\xC0\xAF", "\xC0\xAF"},
      {"encoded surrogate", "\xED\xA0\x80", "\xED\xA0\x80"},
      {"utf-16 bytes", std::string("y\0e\0s\0", 6), std::string("Y\0E\0S\0", 6)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TrimUpper(c.input), c.expected);
  }
}

#ifndef _WIN32
// The table both builds compile in is the Unicode simple upper case of the
// ICU installed (u_toupper is that mapping): an outdated or mis-made table
// fails here. Remade by the unicode_upper_table target.
TEST(TextTest, UpperCaseTableIsIcusSimpleMapping) {
  int differing = 0;
  for (UChar32 code_point = 0; code_point <= 0x10FFFF; ++code_point) {
    const auto expected = static_cast<char32_t>(u_toupper(code_point));
    const char32_t found = SimpleUpperCase(static_cast<char32_t>(code_point));
    if (found != expected && ++differing <= 5) {
      ADD_FAILURE() << "U+" << std::hex << code_point << ": table gives U+" << static_cast<uint32_t>(found) << ", ICU U+"
                    << static_cast<uint32_t>(expected);
    }
  }
  EXPECT_EQ(differing, 0);
}
#endif

TEST(TextTest, ReplaceAllCoversEveryOccurrenceInOnePass) {
  const std::vector<std::tuple<const char*, std::string, std::string, std::string, std::string>> cases = {
      {"none", "abc", "/", "_", "abc"},
      {"every one", "7/14/2013", "/", "_", "7_14_2013"},
      {"at both ends", "/a/", "/", "_", "_a_"},
      {"longer pattern", "a\r\nb\r\n", "\r\n", "", "ab"},
      {"lone CR and LF stay", "a\rb\nc", "\r\n", "", "a\rb\nc"},
      {"no rescan of the result", "\r\r\n\n", "\r\n", "", "\r\n"},
      {"replacement holds the pattern", "aa", "a", "aa", "aaaa"},
      {"empty pattern", "abc", "", "x", "abc"},
  };
  for (const auto& [name, text, from, to, expected] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReplaceAll(text, from, to), expected);
  }
}

TEST(TextTest, GroupDigitsByThousands) {
  const std::vector<std::pair<int64_t, std::string>> cases = {
      {0, "0"}, {999, "999"}, {1000, "1,000"}, {1234567, "1,234,567"}, {-1234, "-1,234"}, {-999, "-999"}};
  for (const auto& [value, expected] : cases) EXPECT_EQ(GroupDigits(value), expected);
}

// A log keeps one message a line, whatever line breaks the box has.
TEST(StreamNotifierTest, WritesEachMessageOnOneLineAndCounts) {
  std::ostringstream out;
  StreamNotifier notifier(out);
  notifier.Show({"Error No. 2\r\nDescription : No such file or directory"});
  notifier.Show({"Done...", "Done.. ", MessageIcon::kInformation});
  notifier.Show({"Copy Data Step failed\r\n\r\ndescription\nand more\r"});
  notifier.Show({std::string("Error for file... \r\n/src/a.bas")});
  EXPECT_EQ(out.str(),
            "corvanne: Error No. 2: Description : No such file or directory\n"
            "corvanne: Done.. : Done...\n"
            "corvanne: Copy Data Step failed: description: and more\n"
            "corvanne: Error for file... /src/a.bas\n");
  EXPECT_EQ(notifier.shown(), 4);
}

}  // namespace
}  // namespace corvanne
