// Cutting a separated list text into items, and the membership test on it.
// One rule for the folder, exclusion and extension lists. Texts are UTF-8:
// a character is a code point, whatever number of bytes it takes.
#include <string>
#include <string_view>

#include "common/utf8.hpp"
#include "discovery/discovery.hpp"

namespace corvanne {

namespace {

// 0-based position of `separator` in `text`, or npos. Nothing is found in an
// empty text; an empty separator is found at the start of any other text.
size_t FindSeparator(std::string_view text, std::string_view separator) {
  if (text.empty()) return std::string_view::npos;
  if (separator.empty()) return 0;
  return text.find(separator);
}

// Calls `visit` with each item of `list_text` in order until it returns true.
// A found separator gives up the item before it and exactly one character
// more (a `§` is one character, two bytes), so the rest of a longer
// separator begins the next item and an empty separator eats one character
// per item.
template <typename Visit>
bool ForEachItem(std::string_view separator, std::string_view list_text, Visit visit) {
  std::string_view rest = list_text;
  for (size_t at = FindSeparator(rest, separator); at != std::string_view::npos;
       at = FindSeparator(rest, separator)) {
    if (visit(rest.substr(0, at))) return true;
    rest.remove_prefix(at + CharacterLength(rest, at));
  }
  return visit(rest);
}

}  // namespace

void SplitToCollection(std::string_view separator, std::string_view list_text, ItemList& target) {
  ForEachItem(separator, list_text, [&target](std::string_view item) {
    target.emplace_back(item);
    return false;
  });
}

bool IsInList(std::string_view text, std::string_view list_text, std::string_view separator) {
  return ForEachItem(separator, list_text, [text](std::string_view item) { return item == text; });
}

}  // namespace corvanne
