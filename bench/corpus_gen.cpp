// Writes the benchmark corpora: many small source files in nested folders, a
// tree shaped like real projects, a few files of a million lines, each with a
// MyConfig.xml for a run, and the code page corpus (UTF-8 and Windows-1252
// files, and samples in the code pages of other scripts, written through iconv),
// and a Visual Basic 6 tree of a real one's shape in mixed encodings.
// Usage: corpus_gen OUT_DIR [small|real|large|codepages|vb6|all]. Same output on every run.
#include <algorithm>
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

// Lines of one file of a Visual Basic 6 project: a few stubs, many modules
// and forms of some hundreds of lines, a tail of big forms up to 9,000 lines
// (past one 256 KiB read). About 580 lines a file.
uint64_t Vb6LineCount(Random& random) {
  const uint32_t bucket = random.Next(1000);
  if (bucket < 50) return 1 + random.Next(30);
  if (bucket < 360) return 30 + random.Next(170);
  if (bucket < 720) return 200 + random.Next(400);
  if (bucket < 915) return 600 + random.Next(600);
  if (bucket < 985) return 1200 + random.Next(1800);
  return 3000 + random.Next(5500);
}

// Comments and strings of Western European shops: some with accents
// standing alone, some (Portuguese, German) with them in pairs.
const std::vector<std::string> kVb6Native = {
    "' Verificar que el código del cliente esté completo", "MsgBox \"Atención: la operación falló\"",
    "' Customer’s balance — “outstanding”", "MsgBox \"Price: 25 €\"", "' café, naïve, résumé",
    "' Verificação da informação do cliente", "MsgBox \"Não foi possível gravar as alterações\"",
    "' Größe der Übersicht prüfen", "lblTitre.Caption = \"Données de l’année\""};

// Short lines that close blocks, frequent in real code.
const std::vector<std::string> kClosers = {"End If", "    End If", "Next", "End Sub", "", "Else", "    Exit Sub",
                                           "End With", "End Function", "    Loop"};

// One Visual Basic 6 file: a form's header where forms have one, then code
// with a `native` line (text with accents and typographic quotes) at
// `in_1000` of 1000 lines, at least one when `in_1000` is not 0, spread
// anywhere in the file. The text is UTF-8 here.
std::string Vb6Text(Random& random, bool form, uint64_t lines, uint32_t in_1000) {
  std::string text;
  text.reserve(lines * 40);
  uint64_t written = 0;
  if (form) {
    text += "VERSION 5.00\r\nBegin VB.Form frmMain\r\n   Caption         =   \"Main\"\r\n   ClientHeight    =   3195\r\n"
            "End\r\nAttribute VB_Name = \"frmMain\"\r\n";
    written = 6;
  }
  const uint64_t forced = in_1000 == 0 ? lines : written + random.Next(static_cast<uint32_t>(std::max<uint64_t>(lines - written, 1)));
  for (; written < lines; ++written) {
    const bool native = in_1000 > 0 && (written == forced || random.Next(1000) < in_1000);
    if (native) {
      text += kVb6Native[random.Next(kVb6Native.size())];
    } else if (random.Next(100) < 12) {
      text += kClosers[random.Next(kClosers.size())];
    } else {
      text += Line(random);
    }
    text += "\r\n";
  }
  return text;
}

// 5,411 files of a Visual Basic 6 tree in 14 projects, about 3.1 M lines
// and 110 MB, CR LF: 39 % Windows-1252 (accents and typographic quotes in
// comments and strings, from one line in a few hundred to one in ten), 1 %
// UTF-8 with a byte-order mark and 1 % without, the rest ASCII. The
// configuration keeps the default code page.
void WriteVb6(const fs::path& corpus) {
  const fs::path sources = fs::absolute(corpus / "src");
  Random random(19980616);
  const char* folders[] = {"Forms", "Modules", "Classes", "Common", "Common/Data", "Reports", "Legacy/Dialogs"};
  const char* extensions[] = {".frm", ".bas", ".cls"};
  const uint32_t shares[] = {2, 5, 10, 30, 100};  // native lines in 1000
  constexpr int kFiles = 5411;
  uint64_t lines = 0;
  uint64_t bytes = 0;
  int in_1252 = 0;
  for (int file = 0; file < kFiles; ++file) {
    char project[32];
    std::snprintf(project, sizeof project, "Project%02d", file % 14);
    const fs::path folder = sources / project / folders[random.Next(7)];
    fs::create_directories(folder);
    const char* extension = extensions[random.Next(3)];
    // A form has its header at least.
    const uint64_t count = std::max<uint64_t>(Vb6LineCount(random), extension[1] == 'f' ? 7 : 1);
    const uint32_t kind = random.Next(100);  // 0-38 Windows-1252, 39 UTF-8 with a mark, 40 UTF-8, else ASCII
    const uint32_t share = kind <= 40 ? shares[random.Next(5)] : 0;
    std::string text = Vb6Text(random, extension[1] == 'f', count, share);
    if (kind <= 38) {
      text = corvanne::testing::Encode(text, "WINDOWS-1252");
      ++in_1252;
    } else if (kind == 39) {
      text.insert(0, "\xEF\xBB\xBF");
    }
    char file_name[32];
    std::snprintf(file_name, sizeof file_name, "File%04d%s", file, extension);
    std::ofstream out(folder / file_name, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) throw std::runtime_error("cannot write " + (folder / file_name).string());
    lines += count;
    bytes += text.size();
  }
  WriteConfig(corpus, sources);
  std::cout << corpus.string() << ": " << kFiles << " files, " << lines << " lines, " << bytes / 1000000 << " MB, "
            << in_1252 << " in Windows-1252\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: corpus_gen OUT_DIR [small|real|large|codepages|vb6|all]\n";
    return 2;
  }
  const fs::path out = argv[1];
  const std::string which = argc > 2 ? argv[2] : "all";
  try {
    if (which == "small" || which == "all") WriteSmall(out / "small");
    if (which == "real" || which == "all") WriteReal(out / "real");
    if (which == "large" || which == "all") WriteLarge(out / "large");
    if (which == "codepages" || which == "all") WriteCodePages(out / "codepages");
    if (which == "vb6" || which == "all") WriteVb6(out / "vb6");
  } catch (const std::exception& error) {
    std::cerr << "corpus_gen: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
