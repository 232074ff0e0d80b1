// Cutting list texts into items and the membership test: the cases users
// meet with folder, exclusion and extension lists.
#include <gtest/gtest.h>

#include "discovery/discovery.hpp"

namespace corvanne {
namespace {

class ListTextTest : public ::testing::Test {};

TEST_F(ListTextTest, SplitToCollectionCutsByTheOneRule) {
  struct Case {
    const char* name;
    std::string separator;
    std::string text;
    ItemList expected;
  };
  const std::vector<Case> cases = {
      {"two folders", ";", "C:\\A;C:\\B", {"C:\\A", "C:\\B"}},
      {"no separator in the text", ";", "C:\\A", {"C:\\A"}},
      {"empty text gives one empty item", ";", "", {""}},
      {"trailing separator gives an empty last item", ";", "a;", {"a", ""}},
      {"leading separator gives an empty first item", ";", ";a", {"", "a"}},
      {"doubled separator gives an empty item between", ";", "a;;b", {"a", "", "b"}},
      {"separator alone", ";", ";", {"", ""}},
      {"items are not trimmed", ";", " a ; b ", {" a ", " b "}},
      {"empty separator: n+1 empty items", "", "abc", {"", "", "", ""}},
      {"empty separator and empty text", "", "", {""}},
      {"long separator found whole, one character removed", "<>", "a<>b<>c", {"a", ">b", ">c"}},
      {"long separator at the end", "<>", "a<>", {"a", ">"}},
      {"long separator partly present is not found", "<>", "a<b>c", {"a<b>c"}},
      {"search is case-sensitive", "x", "aXb", {"aXb"}},
      {"a two-byte separator is one character", "\xC2\xA7", "a\xC2\xA7" "b\xC2\xA7", {"a", "b", ""}},
      {"a three-byte separator is one character", "\xE2\x80\xA2", "a\xE2\x80\xA2" "b", {"a", "b"}},
      {"long UTF-8 separator: its first character removed", "\xC2\xA6\xC2\xA6", "a\xC2\xA6\xC2\xA6" "b",
       {"a", "\xC2\xA6" "b"}},
      {"empty separator eats characters, not bytes", "", "\xC3\xA9t\xC3\xA9", {"", "", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ItemList items;
    SplitToCollection(c.separator, c.text, items);
    EXPECT_EQ(items, c.expected);
  }
}

TEST_F(ListTextTest, SplitToCollectionAppendsToWhatIsThere) {
  ItemList items = {"kept"};
  SplitToCollection(";", "a;b", items);
  EXPECT_EQ(items, (ItemList{"kept", "a", "b"}));
}

TEST_F(ListTextTest, IsInListComparesWholeItemsExactly) {
  struct Case {
    const char* name;
    std::string text;
    std::string list;
    std::string separator;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"middle item", "b", "a;b;c", ";", true},
      {"last item", "c", "a;b;c", ";", true},
      {"first item", "a", "a;b;c", ";", true},
      {"part of an item", "b", "a;bb;c", ";", false},
      {"other case", "A", "a;b", ";", false},
      {"blank counts", "a", " a;b", ";", false},
      {"one-item list compared whole", "C:\\SRC\\Form1.frm", "C:\\SRC\\Form1.frm", "|", true},
      {"one-item list, other text", "C:\\SRC\\Form1.frm", "C:\\SRC\\Form2.frm", "|", false},
      {"empty item after trailing separator", "", "a;", ";", true},
      {"empty item between doubled separators", "", "a;;b", ";", true},
      {"no empty item", "", "a;b", ";", false},
      {"empty text in empty list", "", "", ";", true},
      {"text in empty list", "x", "", ";", false},
      {"empty separator yields only empty items", "a", "abc", "", false},
      {"empty separator, empty text", "", "abc", "", true},
      {"long separator leaves its tail in the item", ">b", "a<>b", "<>", true},
      {"long separator, plain item does not match", "b", "a<>b", "<>", false},
      {"separator other than comma", "FRM,BAS", "FRM,BAS|CLS", "|", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsInList(c.text, c.list, c.separator), c.expected);
  }
}

}  // namespace
}  // namespace corvanne
