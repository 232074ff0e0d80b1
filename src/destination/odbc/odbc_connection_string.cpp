// Connection strings for the ODBC destinations; see odbc_connection_string.hpp.
// Pure text: the driver manager is asked nothing here.
#include "destination/odbc/odbc_connection_string.hpp"

#include <algorithm>
#include <cctype>

namespace corvanne {

namespace {

bool NeedsBraces(std::string_view value) {
  if (value.find_first_of(";{}") != std::string_view::npos) return true;
  // Unbraced values are trimmed by some parsers; braces keep the blanks.
  return !value.empty() && (value.front() == ' ' || value.back() == ' ');
}

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

void Append(std::string& out, std::string_view key, std::string_view value) {
  out.append(key);
  out.push_back('=');
  out.append(OdbcAttributeValue(value));
  out.push_back(';');
}

bool IsFreeTds(std::string_view driver) {
  std::string lower(driver);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find("freetds") != std::string::npos || lower.find("libtdsodbc") != std::string::npos;
}

// Replaces every occurrence of `needle` in `text` with `mask`.
void ReplaceAll(std::string& text, std::string_view needle, std::string_view mask) {
  if (needle.empty()) return;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + mask.size())) {
    text.replace(at, needle.size(), mask);
  }
}

// Masks the value after every "PWD=" (any letter case) up to its ";" or,
// when braced, its closing brace.
void MaskPwdAttributes(std::string& text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  std::size_t at = upper.find("PWD=");
  while (at != std::string::npos) {
    const std::size_t begin = at + 4;
    std::size_t end = begin;
    if (end < text.size() && text[end] == '{') {
      ++end;
      while (end < text.size()) {
        if (text[end] == '}' && end + 1 < text.size() && text[end + 1] == '}') {
          end += 2;
        } else if (text[end] == '}') {
          ++end;
          break;
        } else {
          ++end;
        }
      }
    } else {
      end = text.find(';', begin);
      if (end == std::string::npos) end = text.size();
    }
    text.replace(begin, end - begin, "****");
    upper.replace(begin, end - begin, "****");
    at = upper.find("PWD=", begin + 4);
  }
}

}  // namespace

std::string OdbcAttributeValue(std::string_view value) {
  if (!NeedsBraces(value)) return std::string(value);
  std::string out = "{";
  for (char c : value) {
    out.push_back(c);
    if (c == '}') out.push_back('}');
  }
  out.push_back('}');
  return out;
}

std::string ChooseSqlServerDriver(std::string_view configured, const std::vector<std::string>& installed) {
  std::string chosen = Trim(configured);
  if (!chosen.empty()) return chosen;
  for (const std::string& preferred : kSqlServerDriverPreference) {
    if (std::find(installed.begin(), installed.end(), preferred) != installed.end()) return preferred;
  }
  return {};
}

std::string SqlServerConnectionString(const LoadRequest& request, std::string_view driver) {
  std::string out;
  // The driver name is always braced: names hold blanks and the driver
  // manager reads "{...}" the same way.
  std::string braced = OdbcAttributeValue(driver);
  if (braced.empty() || braced.front() != '{') braced = "{" + braced + "}";
  out.append("Driver=").append(braced).push_back(';');
  const std::size_t comma = request.server.rfind(',');
  const bool free_tds = IsFreeTds(driver);
  if (free_tds && comma != std::string::npos) {
    Append(out, "Server", request.server.substr(0, comma));
    Append(out, "Port", Trim(std::string_view(request.server).substr(comma + 1)));
  } else {
    Append(out, "Server", request.server);
  }
  // FreeTDS left to guess the protocol version falls back to older ones
  // after a timeout and can then wait for ever on a server that does not
  // answer; 7.4 is spoken by every SQL Server since 2012.
  if (free_tds) Append(out, "TDS_Version", "7.4");
  Append(out, "Database", request.database);
  Append(out, "UID", request.user_name);
  Append(out, "PWD", request.password);
  Append(out, "APP", request.application_name);
  return out;
}

std::string DsnConnectionString(const LoadRequest& request) {
  std::string out;
  Append(out, "DSN", request.server);
  if (!request.user_name.empty()) {
    Append(out, "UID", request.user_name);
    Append(out, "PWD", request.password);
  }
  return out;
}

std::string ScrubSecret(std::string text, std::string_view password) {
  constexpr std::string_view kMask = "****";
  if (!password.empty()) {
    ReplaceAll(text, OdbcAttributeValue(password), kMask);
    ReplaceAll(text, password, kMask);
  }
  MaskPwdAttributes(text);
  return text;
}

}  // namespace corvanne
