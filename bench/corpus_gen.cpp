// Writes the benchmark corpora: many small source files in nested folders, a
// tree shaped like real projects, and a few files of a million lines, each
// with a MyConfig.xml for a run.
// Usage: corpus_gen OUT_DIR [small|real|large|all]. Same output on every run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Small fixed-seed generator: the corpus must be the same on every machine.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint32_t Next(uint32_t bound) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<uint32_t>(state_ % bound);
  }

 private:
  uint64_t state_;
};

const std::vector<std::string> kWords = {"Dim",    "As",     "String", "Long",    "If",      "Then",  "End",
                                         "Sub",    "Public", "Private", "Call",   "Set",     "Nothing", "For",
                                         "Next",   "Each",   "In",     "recordset", "strSQL", "lngCount", "With",
                                         "Me.txtName", "rs!Amount", "MsgBox", "Exit",   "Function", "=", "&"};

// One line of Visual Basic-like text, CR LF not included; some are empty,
// some carry a grave accent or a comment.
std::string Line(Random& random) {
  const uint32_t kind = random.Next(20);
  if (kind == 0) return "";
  std::string line(std::size_t{random.Next(4)} * 4, ' ');
  if (kind == 1) return line + "' " + kWords[random.Next(kWords.size())] + " was `changed` here";
  const uint32_t words = 2 + random.Next(9);
  for (uint32_t i = 0; i < words; ++i) {
    if (i > 0) line += ' ';
    line += kWords[random.Next(kWords.size())];
  }
  return line;
}

void WriteFile(const fs::path& path, Random& random, uint64_t lines) {
  std::string text;
  text.reserve(1 << 20);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (uint64_t i = 0; i < lines; ++i) {
    text += Line(random);
    text += "\r\n";
    if (text.size() > (1 << 20) - 512) {
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      text.clear();
    }
  }
  if (!text.empty()) out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteConfig(const fs::path& corpus, const fs::path& sources) {
  std::ofstream out(corpus / "MyConfig.xml", std::ios::binary | std::ios::trunc);
  out << "<CORVANNE_CONFIG>\r\n"
      << "<DESTINATION_ENGINE>SQLITE</DESTINATION_ENGINE>\r\n"
      << "<SQL_SERVER_DATABASE_NAME>Corvanne.db</SQL_SERVER_DATABASE_NAME>\r\n"
      << "<UNATTENDED_RUN_USER_NAME>BENCH</UNATTENDED_RUN_USER_NAME>\r\n"
      << "<DESTINATION_TABLE_NAME>[SysCodeLines_Temp]</DESTINATION_TABLE_NAME>\r\n"
      << "<DESTINATION_COLUMN_NAME>MyCodeLine</DESTINATION_COLUMN_NAME>\r\n"
      << "<SOURCE_FOLDERS_LIST>" << sources.string() << "</SOURCE_FOLDERS_LIST>\r\n"
      << "<SOURCE_FOLDERS_LIST_SEP_CHAR>;</SOURCE_FOLDERS_LIST_SEP_CHAR>\r\n"
      << "<SOURCE_FOLDER_AVOID_RECURSION_YES_NO>NO</SOURCE_FOLDER_AVOID_RECURSION_YES_NO>\r\n"
      << "<SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>FRM,BAS,CLS</SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>\r\n"
      << "<SOURCE_FILE_ROW_DELIMITER>VBCRLF</SOURCE_FILE_ROW_DELIMITER>\r\n"
      << "<SKIP_COMPLETION_HEADERS_YES_NO>NO</SKIP_COMPLETION_HEADERS_YES_NO>\r\n"
      << "<UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO>\r\n"
      << "</CORVANNE_CONFIG>\r\n";
}

// 20 x 10 folders of 100 files, about 40 lines each. With recursion on, a
// run searches the folders below the listed one, so every file sits below.
void WriteSmall(const fs::path& corpus) {
  const fs::path sources = fs::absolute(corpus / "src");
  Random random(20130714);
  const char* extensions[] = {".bas", ".cls", ".frm"};
  uint64_t lines = 0;
  for (int top = 0; top < 20; ++top) {
    for (int sub = 0; sub < 10; ++sub) {
      char name[32];
      std::snprintf(name, sizeof name, "app%02d/module%02d", top, sub);
      const fs::path folder = sources / name;
      fs::create_directories(folder);
      for (int file = 0; file < 100; ++file) {
        const uint64_t count = 30 + random.Next(21);
        char file_name[32];
        std::snprintf(file_name, sizeof file_name, "unit%03d%s", file, extensions[file % 3]);
        WriteFile(folder / file_name, random, count);
        lines += count;
      }
    }
  }
  WriteConfig(corpus, sources);
  std::cout << corpus.string() << ": 20000 files, " << lines << " lines\n";
}

// Lines of one file of a real project: most files are a few dozen to a few
// hundred lines, a tenth run to thousands, a few are empty.
uint64_t RealLineCount(Random& random) {
  const uint32_t bucket = random.Next(100);
  if (bucket < 2) return 0;
  if (bucket < 12) return 1 + random.Next(20);
  if (bucket < 62) return 20 + random.Next(180);
  if (bucket < 88) return 200 + random.Next(400);
  if (bucket < 98) return 600 + random.Next(1400);
  return 2000 + random.Next(4000);
}

// 12 projects of about 500 files in folders two to five deep, with project
// files and notes beside them that a run passes over (not in the extension
// list): about 5,000 files to load.
void WriteReal(const fs::path& corpus) {
  const fs::path sources = fs::absolute(corpus / "src");
  Random random(20260712);
  const char* folders[] = {"Forms", "Modules", "Classes", "Shared/Lib", "Shared/Lib/Data", "Reports/Monthly/Old",
                           "Legacy/v1/Forms/Dialogs"};
  const char* extensions[] = {".frm", ".bas", ".cls", ".frm", ".bas", ".cls", ".vbp", ".txt"};
  uint64_t files = 0;
  uint64_t lines = 0;
  for (int project = 0; project < 12; ++project) {
    char name[32];
    std::snprintf(name, sizeof name, "Project%02d", project);
    for (int file = 0; file < 560; ++file) {
      const fs::path folder = sources / name / folders[random.Next(7)];
      fs::create_directories(folder);
      const char* extension = extensions[random.Next(8)];
      const uint64_t count = RealLineCount(random);
      char file_name[32];
      std::snprintf(file_name, sizeof file_name, "Unit%03d%s", file, extension);
      WriteFile(folder / file_name, random, count);
      if (extension[1] != 'v' && extension[1] != 't' && count > 0) {
        ++files;
        lines += count;
      }
    }
  }
  WriteConfig(corpus, sources);
  std::cout << corpus.string() << ": " << files << " files to load, " << lines << " lines\n";
}

void WriteLarge(const fs::path& corpus) {
  const fs::path sources = fs::absolute(corpus / "src");
  fs::create_directories(sources / "big");
  Random random(19990101);
  for (int file = 1; file <= 4; ++file) {
    WriteFile(sources / "big" / ("huge" + std::to_string(file) + ".bas"), random, 1'000'000);
  }
  WriteConfig(corpus, sources);
  std::cout << corpus.string() << ": 4 files, 4000000 lines\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: corpus_gen OUT_DIR [small|real|large|all]\n";
    return 2;
  }
  const fs::path out = argv[1];
  const std::string which = argc > 2 ? argv[2] : "all";
  try {
    if (which == "small" || which == "all") WriteSmall(out / "small");
    if (which == "real" || which == "all") WriteReal(out / "real");
    if (which == "large" || which == "all") WriteLarge(out / "large");
  } catch (const std::exception& error) {
    std::cerr << "corpus_gen: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
