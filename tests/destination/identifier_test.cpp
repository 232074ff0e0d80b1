// Configured table and column names: which ones may go into SQL text, and
// how bracket quoting becomes a server's own quoting.
#include "destination/identifier.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvanne {
namespace {

TEST(IdentifierTest, AcceptsNamesAndNothingElse) {
  struct Case {
    const char* name;
    std::string text;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"bare", "SysCodeLines_Temp", true},
      {"bare with $ # @", "#tmp$1@x", true},
      {"bracketed", "[SysCodeLines_Temp]", true},
      {"bracketed with blanks and punctuation", "[My Lines; -- /* x */]", true},
      {"double-quoted", "\"My Lines\"", true},
      {"doubled quote inside quotes", "\"a\"\"b\"", true},
      {"dotted", "[Code].[dbo].Lines", true},
      {"dotted bare", "main.Lines", true},
      {"]] escape", "[a]]b]", true},
      {"]] escape hiding a statement", "[a]];DROP TABLE t;--]", true},
      {"UTF-8 letters", "Zeilen_\xC3\xA4\xC3\xB6", true},
      {"empty", "", false},
      {"starts with a digit", "1Lines", false},
      {"semicolon", "Lines;DROP TABLE x", false},
      {"comment dashes", "Lines--", false},
      {"block comment", "Lines/*", false},
      {"blank outside quotes", "My Lines", false},
      {"leading blank", " Lines", false},
      {"blank after a bracket", "[Lines] ", false},
      {"unbalanced bracket", "[Lines", false},
      {"single ] ends the part early", "[a]b]", false},
      {"unbalanced double quote", "\"Lines", false},
      {"empty brackets", "[]", false},
      {"empty part in the middle", "a..b", false},
      {"trailing dot", "Lines.", false},
      {"leading dot", ".Lines", false},
      {"parenthesis", "Lines(x)", false},
      {"single quote", "Lines'", false},
      {"backtick", "`Lines`", false},
      {"invalid UTF-8", "Lines\xFF", false},
      {"no-break space", "Lines\xC2\xA0x", false},
      {"tab", "Lines\tx", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsIdentifier(c.text), c.expected);
  }
}

TEST(IdentifierTest, RequotesBracketedParts) {
  struct Case {
    const char* name;
    std::string text;
    std::string quote;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"bracketed to double quotes", "[Sys Lines]", "\"", "\"Sys Lines\""},
      {"bare and double-quoted stay", "main.\"x\".[y]", "`", "main.\"x\".`y`"},
      {"]] undone, quote doubled", "[a]]b\"c]", "\"", "\"a]b\"\"c\""},
      {"quotes dropped", "[dbo].[Lines]", "", "dbo.Lines"},
      {"bare only", "Lines", "\"", "Lines"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RequoteIdentifier(c.text, c.quote), c.expected);
  }
}

}  // namespace
}  // namespace corvanne
