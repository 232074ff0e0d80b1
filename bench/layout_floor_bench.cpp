// The floor of each row layout: the least a loader can do to give rows the
// columns that say where they come from, so that a run's cost of a column
// is measured against raw SQLite writing the same column.
// Usage: layout_floor_bench CORPUS_DIR LAYOUT [DB_PATH]; LAYOUT is one of
//   text           the line alone
//   path           path, line number and batch code in every row, no index
//   path_index     the same, with an index on (path, line number)
//   id             an integer file id and line number, the path once in a
//                  table of files, no index
//   id_unnamed     as id, without the index that keeps each file name once
//                  (what finding a file by its name costs every file)
//   id_index       as id, with an index on (file id, line number)
// Prints the time and the database's size.
#include <string_view>

#include "load_bench_support.hpp"

namespace {

using namespace corvanne::bench;

struct Layout {
  const char* name;
  const char* schema;   // after the pragmas
  const char* insert;   // ?1 line, ?2 path or file id, ?3 line number, ?4 batch code
  bool files_table;     // a row per file in Files, its id in every line's row
};

constexpr Layout kLayouts[] = {
    {"text", "CREATE TABLE Lines (LineId INTEGER PRIMARY KEY, Line TEXT)", "INSERT INTO Lines (Line) VALUES (?1)",
     false},
    {"path", "CREATE TABLE Lines (LineId INTEGER PRIMARY KEY, Line TEXT, File TEXT, LineNo INTEGER, Batch TEXT)",
     "INSERT INTO Lines (Line, File, LineNo, Batch) VALUES (?1, ?2, ?3, ?4)", false},
    {"path_index",
     "CREATE TABLE Lines (LineId INTEGER PRIMARY KEY, Line TEXT, File TEXT, LineNo INTEGER, Batch TEXT);"
     "CREATE INDEX Lines_file_line ON Lines (File, LineNo)",
     "INSERT INTO Lines (Line, File, LineNo, Batch) VALUES (?1, ?2, ?3, ?4)", false},
    {"id",
     "CREATE TABLE Lines (LineId INTEGER PRIMARY KEY, Line TEXT, LineNo INTEGER, FileId INTEGER);"
     "CREATE TABLE Files (FileId INTEGER PRIMARY KEY, FileName TEXT UNIQUE)",
     "INSERT INTO Lines (Line, FileId, LineNo) VALUES (?1, ?2, ?3)", true},
    {"id_unnamed",
     "CREATE TABLE Lines (LineId INTEGER PRIMARY KEY, Line TEXT, LineNo INTEGER, FileId INTEGER);"
     "CREATE TABLE Files (FileId INTEGER PRIMARY KEY, FileName TEXT)",
     "INSERT INTO Lines (Line, FileId, LineNo) VALUES (?1, ?2, ?3)", true},
    {"id_index",
     "CREATE TABLE Lines (LineId INTEGER PRIMARY KEY, Line TEXT, LineNo INTEGER, FileId INTEGER);"
     "CREATE TABLE Files (FileId INTEGER PRIMARY KEY, FileName TEXT UNIQUE);"
     "CREATE INDEX Lines_file_id_line ON Lines (FileId, LineNo)",
     "INSERT INTO Lines (Line, FileId, LineNo) VALUES (?1, ?2, ?3)", true},
};

Figures Run(const Layout& layout, const std::vector<std::string>& files, const std::string& db_path) {
  fs::remove(db_path);
  fs::remove(db_path + "-wal");
  fs::remove(db_path + "-shm");
  sqlite3* db = nullptr;
  Check(sqlite3_open(db_path.c_str(), &db), db, "open");
  Check(sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr), db,
        "pragmas");
  Check(sqlite3_exec(db, layout.schema, nullptr, nullptr, nullptr), db, "schema");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, layout.insert, -1, &insert, nullptr), db, "prepare");
  sqlite3_stmt* file_row = nullptr;
  if (layout.files_table) {
    Check(sqlite3_prepare_v2(db, "INSERT INTO Files (FileName) VALUES (?1)", -1, &file_row, nullptr), db,
          "prepare files");
  }
  const bool path_column = std::string_view(layout.insert).find("File,") != std::string_view::npos;
  const bool numbered = std::string_view(layout.insert).find("LineNo") != std::string_view::npos;
  const std::string batch = "1234__12_7_2026";
  const Figures figures = FeedFiles(
      db, files,
      [&](const std::string& path) {
        if (file_row != nullptr) {
          sqlite3_bind_text(file_row, 1, path.c_str(), static_cast<int>(path.size()), SQLITE_TRANSIENT);
          Check(sqlite3_step(file_row), db, "insert file");
          sqlite3_reset(file_row);
          sqlite3_bind_int64(insert, 2, sqlite3_last_insert_rowid(db));
        } else if (path_column) {
          sqlite3_bind_text(insert, 2, path.c_str(), static_cast<int>(path.size()), SQLITE_TRANSIENT);
          sqlite3_bind_text(insert, 4, batch.c_str(), static_cast<int>(batch.size()), SQLITE_STATIC);
        }
      },
      [&](const char* text, int length, int64_t number) {
        sqlite3_bind_text(insert, 1, text, length, SQLITE_STATIC);
        if (numbered) sqlite3_bind_int64(insert, 3, number);
        Check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
      });
  sqlite3_finalize(file_row);
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: layout_floor_bench CORPUS_DIR LAYOUT [DB_PATH]; LAYOUT: text, path, path_index, id, "
                 "id_unnamed, id_index\n";
    return 2;
  }
  const fs::path corpus = argv[1];
  const std::string wanted = argv[2];
  const std::string db_path = argc > 3 ? argv[3] : (corpus / "layout_floor.db").string();
  for (const Layout& layout : kLayouts) {
    if (wanted != layout.name) continue;
    try {
      const Figures figures = Run(layout, CorpusFiles(corpus / "src"), db_path);
      const std::string label = std::string("floor ") + layout.name;
      Print(label.c_str(), figures);
      std::printf("%-34s %8.1f MB\n", label.c_str(), static_cast<double>(fs::file_size(db_path)) / 1e6);
    } catch (const std::exception& error) {
      std::cerr << "layout_floor_bench: " << error.what() << "\n";
      return 1;
    }
    return 0;
  }
  std::cerr << "layout_floor_bench: unknown layout " << wanted << "\n";
  return 2;
}
