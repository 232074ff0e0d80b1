// Scripts of code pages and the end-of-run hint; see code_page_hint.hpp.
// The detector often names a sibling of the right code page (ISO-8859-1 or
// WINDOWS-1250 for Spanish text in WINDOWS-1252), so only a guess in another
// script counts against the configured code page.
#include "source/code_page_hint.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <utility>

#include "common/platform.hpp"
#include "common/text.hpp"

namespace corvanne {

namespace {

struct Named {
  std::string_view name;
  Script script;
};

constexpr Named kScripts[] = {
    {"WINDOWS-1250", Script::kLatin},    {"WINDOWS-1252", Script::kLatin},   {"WINDOWS-1254", Script::kLatin},
    {"WINDOWS-1257", Script::kLatin},    {"WINDOWS-1258", Script::kLatin},   {"CP1250", Script::kLatin},
    {"CP1252", Script::kLatin},          {"CP1254", Script::kLatin},         {"CP1257", Script::kLatin},
    {"CP1258", Script::kLatin},          {"MS-ANSI", Script::kLatin},        {"ISO-8859-1", Script::kLatin},
    {"ISO-8859-2", Script::kLatin},      {"ISO-8859-3", Script::kLatin},     {"ISO-8859-4", Script::kLatin},
    {"ISO-8859-9", Script::kLatin},      {"ISO-8859-10", Script::kLatin},    {"ISO-8859-13", Script::kLatin},
    {"ISO-8859-14", Script::kLatin},     {"ISO-8859-15", Script::kLatin},    {"ISO-8859-16", Script::kLatin},
    {"LATIN1", Script::kLatin},          {"LATIN2", Script::kLatin},         {"IBM437", Script::kLatin},
    {"CP437", Script::kLatin},           {"IBM850", Script::kLatin},         {"CP850", Script::kLatin},
    {"IBM852", Script::kLatin},          {"CP852", Script::kLatin},          {"IBM865", Script::kLatin},
    {"MAC-CENTRALEUROPE", Script::kLatin}, {"MACINTOSH", Script::kLatin},    {"VISCII", Script::kLatin},
    {"TCVN", Script::kLatin},            {"WINDOWS-1251", Script::kCyrillic}, {"CP1251", Script::kCyrillic},
    {"KOI8-R", Script::kCyrillic},       {"KOI8-U", Script::kCyrillic},      {"ISO-8859-5", Script::kCyrillic},
    {"IBM855", Script::kCyrillic},       {"IBM866", Script::kCyrillic},      {"CP855", Script::kCyrillic},
    {"CP866", Script::kCyrillic},        {"MAC-CYRILLIC", Script::kCyrillic}, {"WINDOWS-1253", Script::kGreek},
    {"CP1253", Script::kGreek},          {"ISO-8859-7", Script::kGreek},     {"WINDOWS-1255", Script::kHebrew},
    {"CP1255", Script::kHebrew},         {"ISO-8859-8", Script::kHebrew},    {"IBM862", Script::kHebrew},
    {"WINDOWS-1256", Script::kArabic},   {"CP1256", Script::kArabic},        {"ISO-8859-6", Script::kArabic},
    {"TIS-620", Script::kThai},          {"WINDOWS-874", Script::kThai},     {"CP874", Script::kThai},
    {"IBM874", Script::kThai},           {"ISO-8859-11", Script::kThai},     {"BIG5", Script::kChineseTraditional},
    {"CP950", Script::kChineseTraditional}, {"BIG5-HKSCS", Script::kChineseTraditional},
    {"EUC-TW", Script::kChineseTraditional}, {"GB18030", Script::kChineseSimplified},
    {"GBK", Script::kChineseSimplified}, {"CP936", Script::kChineseSimplified}, {"GB2312", Script::kChineseSimplified},
    {"EUC-CN", Script::kChineseSimplified}, {"HZ-GB-2312", Script::kChineseSimplified},
    {"SHIFT_JIS", Script::kJapanese},    {"SHIFT-JIS", Script::kJapanese},   {"SJIS", Script::kJapanese},
    {"CP932", Script::kJapanese},        {"WINDOWS-31J", Script::kJapanese}, {"EUC-JP", Script::kJapanese},
    {"EUC-KR", Script::kKorean},         {"UHC", Script::kKorean},           {"CP949", Script::kKorean},
    {"JOHAB", Script::kKorean},
};

// The code page Windows uses where the detector names its older or smaller
// sibling: what Windows wrote, the sibling would misread.
constexpr std::pair<std::string_view, std::string_view> kSuggested[] = {
    {"BIG5", "CP950"},      {"GBK", "GB18030"},     {"GB2312", "GB18030"},         {"EUC-CN", "GB18030"},
    {"SHIFT_JIS", "CP932"}, {"SJIS", "CP932"},      {"EUC-KR", "CP949"},           {"UHC", "CP949"},
    {"TIS-620", "WINDOWS-874"}, {"ISO-8859-11", "WINDOWS-874"}, {"ISO-8859-1", "WINDOWS-1252"},
};

// What the files read in one code page were guessed to be.
struct ReadGroup {
  int64_t files = 0;
  std::map<Script, std::map<std::string, int64_t>> foreign;  // script -> guess -> files
  std::map<Script, std::vector<std::string>> foreign_folders;  // script -> folders of those files
  std::vector<std::string> other_folders;  // folders of the files not guessed foreign
};

// The deepest folder that holds each of `folders` (or is one of them),
// compared step by step: "/src/ab" and "/src/ac" share "/src".
std::string CommonFolder(const std::vector<std::string>& folders) {
  if (folders.empty()) return {};
  std::filesystem::path common = PathFromText(folders.front());
  for (const std::string& text : folders) {
    const std::filesystem::path folder = PathFromText(text);
    std::filesystem::path shared;
    for (auto a = common.begin(), b = folder.begin(); a != common.end() && b != folder.end() && *a == *b; ++a, ++b) {
      shared /= *a;
    }
    common = shared;
  }
  return TextFromPath(common);
}

bool IsBelow(const std::string& folder, const std::string& ancestor) {
  return folder.starts_with(ancestor) &&
         (folder.size() == ancestor.size() || folder[ancestor.size()] == '/' || folder[ancestor.size()] == '\\');
}

}  // namespace

std::string WindowsCodePageFor(const std::string& guessed) {
  for (const auto& [name, suggested] : kSuggested) {
    if (guessed == name) return std::string(suggested);
  }
  return guessed;
}

Script ScriptOfCodePage(std::string_view name) {
  const std::string upper = TrimUpper(name);
  for (const Named& entry : kScripts) {
    if (upper == entry.name) return entry.script;
  }
  return Script::kNone;
}

CodePageHint DecideCodePageHint(const std::vector<EncodingCount>& counts) {
  std::map<std::string, ReadGroup> groups;
  for (const EncodingCount& count : counts) {
    const Script read_script = ScriptOfCodePage(count.read_as);
    // Unicode and BYTES files were not read in a code page: nothing to hint.
    if (read_script == Script::kNone && (count.read_as.starts_with("UTF-") || count.read_as == "BYTES")) continue;
    ReadGroup& group = groups[count.read_as];
    group.files += count.files;
    const Script guessed_script = ScriptOfCodePage(count.guessed);
    if (guessed_script != Script::kNone && guessed_script != read_script) {
      group.foreign[guessed_script][TrimUpper(count.guessed)] += count.files;
      group.foreign_folders[guessed_script].push_back(count.folder);
    } else {
      group.other_folders.push_back(count.folder);
    }
  }
  CodePageHint best;
  for (const auto& [read_as, group] : groups) {
    for (const auto& [script, guesses] : group.foreign) {
      int64_t files = 0;
      std::pair<std::string, int64_t> top;
      for (const auto& [guess, guess_files] : guesses) {
        files += guess_files;
        if (guess_files > top.second) top = {guess, guess_files};
      }
      const bool many = files >= 3 && files * 10 >= group.files;
      if (!many || files <= best.files) continue;
      best = CodePageHint{true, files, group.files, read_as, top.first, WindowsCodePageFor(top.first), {}};
      const std::string folder = CommonFolder(group.foreign_folders.at(script));
      const bool alone = std::none_of(group.other_folders.begin(), group.other_folders.end(),
                                      [&folder](const std::string& other) { return IsBelow(other, folder); });
      if (!folder.empty() && alone) best.folder = folder;
    }
  }
  return best;
}

std::string CodePageHintText(const CodePageHint& hint) {
  const std::string seen = "Note: " + GroupDigits(hint.files) + " of the " + GroupDigits(hint.read_files) +
                           " files read as " + hint.read_as + " look like " + hint.guessed + " text";
  if (!hint.folder.empty()) {
    return seen + ", all of them in \"" + hint.folder + "\". If that is their code page, add the item " +
           hint.folder + "=" + hint.suggested + " to SOURCE_FILE_CODE_PAGES_BY_FOLDER and run again.";
  }
  return seen + ". If that is their code page, set SOURCE_FILE_CODE_PAGE to " + hint.suggested + " and run again.";
}

std::string CodePageHintLine(const RunCounts& counts) {
  std::vector<EncodingCount> encodings;
  for (const auto& [encoding, files] : counts.encodings) {
    encodings.push_back({std::get<0>(encoding), std::get<1>(encoding), files, std::get<2>(encoding)});
  }
  const CodePageHint hint = DecideCodePageHint(encodings);
  return hint.show ? CodePageHintText(hint) : std::string();
}

}  // namespace corvanne
