// Writes the benchmark corpora: many small source files in nested folders, a
// tree shaped like real projects, a few files of a million lines, each with a
// MyConfig.xml for a run, and the code page corpus (UTF-8 and Windows-1252
// files, and samples in the code pages of other scripts, written through iconv).
// Usage: corpus_gen OUT_DIR [small|real|large|codepages|all]. Same output on every run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "testing/encode.hpp"

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

// Comment and string lines as programmers of each language write them.
const std::vector<std::string> kWestern = {
    "' Verificar que el código del cliente esté completo", "MsgBox \"Atención: la operación falló\"",
    "' Número de teléfono inválido", "lblTitle.Caption = \"Configuración del año\"",
    "' Customer’s balance — “outstanding”", "MsgBox \"Price: 25 €\"", "' café, naïve, résumé"};
const std::vector<std::string> kBig5 = {"' 檢查客戶資料是否完整", "MsgBox \"儲存失敗，請重新輸入\"",
                                        "' 計算訂單總金額", "lblTitle.Caption = \"系統設定\""};
const std::vector<std::string> kGbk = {"' 检查客户资料是否完整", "MsgBox \"保存失败，请重新输入\"",
                                       "' 计算订单总金额", "lblTitle.Caption = \"系统设置\""};
const std::vector<std::string> kJapanese = {"' 顧客データが完全かどうか確認する",
                                            "MsgBox \"保存に失敗しました。もう一度入力してください\"",
                                            "' 注文の合計金額を計算する", "lblTitle.Caption = \"システム設定\""};
const std::vector<std::string> kThai = {"' ตรวจสอบว่าข้อมูลลูกค้าครบถ้วนหรือไม่", "MsgBox \"บันทึกไม่สำเร็จ กรุณาลองใหม่\"",
                                        "' คำนวณยอดรวมของคำสั่งซื้อ", "lblTitle.Caption = \"ตั้งค่าระบบ\""};

// A module of 30 to 50 lines, one line in `share` (of 100) taken from
// `native` (none when it is empty), written in `encoding`.
void WriteNative(const fs::path& path, Random& random, const std::vector<std::string>& native, uint32_t share,
                 const char* encoding) {
  std::string text;
  const uint32_t lines = 30 + random.Next(21);
  for (uint32_t i = 0; i < lines; ++i) {
    text += !native.empty() && random.Next(100) < share ? native[random.Next(native.size())] : Line(random);
    text += "\r\n";
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string bytes = corvanne::testing::Encode(text, encoding);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// 5,000 modules of real-world shape: 60 % UTF-8 (half of them ASCII only),
// 40 % Windows-1252 with Spanish and English comments; and 200 samples each
// of Western, Big5, GBK, Shift_JIS and Thai code for the detector.
void WriteCodePages(const fs::path& corpus) {
  Random random(20261207);
  fs::create_directories(corpus / "src");
  for (int file = 0; file < 5000; ++file) {
    char name[32];
    std::snprintf(name, sizeof name, "src/mod%04d.bas", file);
    const int kind = file % 10;  // 0-2 ASCII, 3-5 UTF-8 accents, 6-9 Windows-1252
    WriteNative(corpus / name, random, kind < 3 ? std::vector<std::string>{} : kWestern, 10,
                kind < 6 ? "UTF-8" : "WINDOWS-1252");
  }
  const std::vector<std::tuple<const char*, const std::vector<std::string>*, const char*>> samples = {
      {"western", &kWestern, "WINDOWS-1252"}, {"big5", &kBig5, "BIG5"},     {"gbk", &kGbk, "GBK"},
      {"shift_jis", &kJapanese, "CP932"},     {"thai", &kThai, "WINDOWS-874"}};
  for (const auto& [folder, lines, encoding] : samples) {
    fs::create_directories(corpus / "samples" / folder);
    for (int file = 0; file < 200; ++file) {
      char name[32];
      std::snprintf(name, sizeof name, "mod%03d.bas", file);
      // From one comment line in 50 to one in 4: sparse and dense files.
      WriteNative(corpus / "samples" / folder / name, random, *lines, 2 + random.Next(24), encoding);
    }
  }
  std::cout << corpus.string() << ": 5000 files (60 % UTF-8, 40 % WINDOWS-1252), 5 x 200 samples\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: corpus_gen OUT_DIR [small|real|large|codepages|all]\n";
    return 2;
  }
  const fs::path out = argv[1];
  const std::string which = argc > 2 ? argv[2] : "all";
  try {
    if (which == "small" || which == "all") WriteSmall(out / "small");
    if (which == "real" || which == "all") WriteReal(out / "real");
    if (which == "large" || which == "all") WriteLarge(out / "large");
    if (which == "codepages" || which == "all") WriteCodePages(out / "codepages");
  } catch (const std::exception& error) {
    std::cerr << "corpus_gen: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
