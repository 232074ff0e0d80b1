// The load modes by name, and the companion table's and view's names beside
// the lines'.
#include "destination/file_state.hpp"

#include <vector>

#include "common/text.hpp"
#include "destination/identifier.hpp"
#include "destination/load_request.hpp"

namespace corvanne {

bool ParseLoadMode(const std::string& configured, LoadMode& mode) {
  const std::string name = TrimUpper(configured);
  if (name.empty() || name == "APPEND" || name == "USE_DEFAULT") {
    mode = LoadMode::kAppend;
  } else if (name == "REPLACE") {
    mode = LoadMode::kReplace;
  } else if (name == "CHANGED") {
    mode = LoadMode::kChanged;
  } else {
    return false;
  }
  return true;
}

namespace {

std::string SiblingName(const std::string& table, const char* suffix) {
  if (!IsIdentifier(table)) return {};
  const std::vector<std::string> parts = IdentifierParts(table);
  const std::string name = parts.back() + suffix;
  // The last part keeps its kind of quoting, and the parts before it stay as
  // written: a bare name folds to lower case on some servers, a quoted one
  // does not, and the two tables must be found the same way.
  std::string last;
  std::string renamed;
  if (table.back() == ']') {
    last = QuoteIdentifierPart(parts.back(), QuoteStyle::kBracket);
    renamed = QuoteIdentifierPart(name, QuoteStyle::kBracket);
  } else if (table.back() == '"') {
    last = QuoteIdentifierPart(parts.back(), QuoteStyle::kDoubleQuote);
    renamed = QuoteIdentifierPart(name, QuoteStyle::kDoubleQuote);
  } else {
    last = parts.back();
    renamed = name;
  }
  if (last.size() > table.size()) return {};
  return table.substr(0, table.size() - last.size()) + renamed;
}

}  // namespace

std::string CompanionTableName(const std::string& table) { return SiblingName(table, "_Files"); }

std::string CompanionViewName(const std::string& table) { return SiblingName(table, "_View"); }

bool UsesCompanion(const LoadRequest& request) {
  return request.load_mode != LoadMode::kAppend || !request.columns.file_id.empty();
}

}  // namespace corvanne
