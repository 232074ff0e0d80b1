// The known keys, and the scan of a configuration text for tag pairs that
// the settings readers would not pick up the way they are written.
#include "config/config_keys.hpp"

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <utility>

#include "common/text.hpp"
#include "config/config_file.hpp"

namespace corvanne {

const std::vector<std::string_view>& KnownKeys() {
  static const std::vector<std::string_view> keys = {
      // the destination and its login
      "DESTINATION_ENGINE",
      "SQL_SERVER_NAME",
      "SQL_SERVER_DATABASE_NAME",
      "ODBC_DRIVER_NAME",
      "UNATTENDED_RUN_USER_NAME",
      "UNATTENDED_RUN_PASSWORD",
      "DESTINATION_TABLE_NAME",
      "DESTINATION_COLUMN_NAME",
      "DESTINATION_FILE_NAME_COLUMN_NAME",
      "DESTINATION_LINE_NUMBER_COLUMN_NAME",
      "DESTINATION_BATCH_CODE_COLUMN_NAME",
      "DESTINATION_FILE_ID_COLUMN_NAME",
      "DESTINATION_LOAD_MODE",
      "DESTINATION_DELETE_VANISHED_FILES_YES_NO",
      // the source
      "SOURCE_TEXT_FILE_NAME_WITH_PATH",
      "SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST",
      "SOURCE_FOLDERS_LIST_SEP_CHAR",
      "SOURCE_FOLDERS_LIST",
      "SOURCE_FILES_EXCLUSION_LIST_SEP_CHAR",
      "SOURCE_FILES_EXCLUSION_LIST",
      "SOURCE_FILE_ROW_DELIMITER",
      "SOURCE_FOLDER_AVOID_RECURSION_YES_NO",
      "SOURCE_FILE_CODE_PAGE",
      "SOURCE_FILE_CODE_PAGES_BY_FOLDER",
      "SOURCE_FILE_CODE_PAGE_FALLBACK",
      "SOURCE_FILE_UNDECODABLE_BYTES",
      // the run
      "SKIP_COMPLETION_HEADERS_YES_NO",
      "COMPLETION_HEADER_PREFIX",
      "COMPLETION_HEADER_SUFFIX",
      "HEADER_TEMP_TEXT_FILE_NAME",
      "LOG_TEXT_FILE_NAME",
      "UNATTENDED_YES_NO",
  };
  return keys;
}

bool IsKnownKey(std::string_view name) {
  const auto& keys = KnownKeys();
  return std::find(keys.begin(), keys.end(), name) != keys.end();
}

namespace {

std::string AsciiUpper(std::string_view name);

}  // namespace

std::string_view NearestKnownKey(std::string_view name) {
  const std::string upper = AsciiUpper(name);
  std::string_view nearest;
  size_t best = 0;
  for (const std::string_view key : KnownKeys()) {
    const size_t distance = EditDistance(upper, key);
    if (nearest.empty() || distance < best) {
      nearest = key;
      best = distance;
    }
  }
  // Keys are long and alike in their words: beyond a few slips the nearest
  // one is a guess, not a correction.
  const size_t allowed = std::max<size_t>(2, upper.size() / 6);
  return best <= allowed ? nearest : std::string_view();
}

namespace {

// A finding waiting to be put in text order.
using Placed = std::pair<size_t, std::string>;

// [begin, end) of each XML comment; an unclosed one runs to the end.
std::vector<std::pair<size_t, size_t>> CommentSpans(std::string_view text) {
  std::vector<std::pair<size_t, size_t>> spans;
  for (size_t at = text.find("<!--"); at != std::string_view::npos; at = text.find("<!--", at)) {
    const size_t close = text.find("-->", at + 4);
    const size_t end = close == std::string_view::npos ? text.size() : close + 3;
    spans.emplace_back(at, end);
    at = end;
  }
  return spans;
}

bool InComment(const std::vector<std::pair<size_t, size_t>>& spans, size_t at) {
  return std::any_of(spans.begin(), spans.end(),
                     [at](const auto& span) { return at >= span.first && at < span.second; });
}

std::string LineAt(std::string_view text, size_t at) {
  return "line " + std::to_string(1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

std::string AsciiUpper(std::string_view name) {
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
  return upper;
}

// Tag pairs outside comments whose name is not a known key, once per name.
void FindUnknownNames(std::string_view text, const std::vector<std::pair<size_t, size_t>>& comments,
                      std::vector<Placed>& placed) {
  std::set<std::string, std::less<>> reported;
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    size_t end = at + 1;
    if (end >= text.size() || !IsNameStart(text[end])) continue;
    while (end < text.size() && IsNameChar(text[end])) ++end;
    if (end >= text.size() || text[end] != '>') continue;
    const std::string_view name = text.substr(at + 1, end - at - 1);
    const size_t close_at = text.find("</" + std::string(name) + ">", end + 1);
    if (close_at == std::string_view::npos) continue;
    // An element around other tags (the file's root) is no key of its own.
    if (text.substr(end + 1, close_at - end - 1).find("</") != std::string_view::npos) continue;
    if (IsKnownKey(name) || InComment(comments, at) || !reported.emplace(name).second) continue;
    const std::string upper = AsciiUpper(name);
    const std::string tag = "<" + std::string(name) + ">";
    if (IsKnownKey(upper)) {
      placed.emplace_back(at,
                          LineAt(text, at) + ": " + tag + " is not read: keys are upper case; write <" + upper + ">");
    } else if (const std::string_view nearest = NearestKnownKey(name); !nearest.empty()) {
      placed.emplace_back(at, LineAt(text, at) + ": " + tag +
                                  " is not a key Corvanne knows; its value is not used; did you mean <" +
                                  std::string(nearest) + ">?");
    } else {
      placed.emplace_back(at, LineAt(text, at) + ": " + tag + " is not a key Corvanne knows; its value is not used");
    }
  }
}

// A known key without its closing tag, first met inside a comment, or given
// more than once: the value read is not the one the file seems to say.
void FindMisplacedKeys(std::string_view text, const std::vector<std::pair<size_t, size_t>>& comments,
                       std::vector<Placed>& placed) {
  for (const std::string_view key : KnownKeys()) {
    const std::string opening = "<" + std::string(key) + ">";
    const size_t first = text.find(opening);
    if (first == std::string_view::npos) continue;
    if (text.find("</" + std::string(key) + ">") == std::string_view::npos) {
      placed.emplace_back(first, LineAt(text, first) + ": " + opening + " has no closing </" + std::string(key) +
                                     ">; its value is read as empty");
    } else if (InComment(comments, first)) {
      placed.emplace_back(first, LineAt(text, first) + ": " + opening +
                                     " stands inside an XML comment; Corvanne reads that value all the same");
    } else if (const size_t second = text.find(opening, first + 1); second != std::string_view::npos) {
      placed.emplace_back(second, LineAt(text, second) + ": " + opening + " is given again; only the first one (" +
                                      LineAt(text, first) + ") is read");
    }
  }
}

// A flag is on only for YES: Y, TRUE, 1 or ON read as off, silently.
void FindFlagValues(std::string_view text, std::vector<Placed>& placed) {
  for (const std::string_view key : KnownKeys()) {
    if (!key.ends_with("_YES_NO")) continue;
    const std::string opening = "<" + std::string(key) + ">";
    const size_t first = text.find(opening);
    if (first == std::string_view::npos) continue;
    const std::string value = GetTagValue(text, key);
    const std::string word = TrimUpper(value);
    if (word.empty() || word == "YES" || word == "NO") continue;
    placed.emplace_back(first, LineAt(text, first) + ": " + opening + " is \"" + value +
                                   "\", which is neither YES nor NO: the flag is off (only YES turns it on)");
  }
}

}  // namespace

void CheckConfigKeys(std::string_view config_text, Findings& findings) {
  const auto comments = CommentSpans(config_text);
  std::vector<Placed> placed;
  FindUnknownNames(config_text, comments, placed);
  FindMisplacedKeys(config_text, comments, placed);
  FindFlagValues(config_text, placed);
  std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.first < b.first; });
  std::transform(placed.begin(), placed.end(), std::back_inserter(findings), [](Placed& finding) {
    return Finding{Severity::kWarning, std::move(finding.second)};
  });
}

}  // namespace corvanne
