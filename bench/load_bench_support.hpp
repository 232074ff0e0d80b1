// Shared pieces of the load benchmarks: the corpus file list, the floor loop
// (the least any loader must do) and the printing of figures.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvanne::bench {

namespace fs = std::filesystem;

// Every .bas/.cls/.frm file below `root`, in byte order of the full path.
inline std::vector<std::string> CorpusFiles(const fs::path& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string extension = entry.path().extension().string();
    if (entry.is_regular_file() && (extension == ".bas" || extension == ".cls" || extension == ".frm")) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) throw std::runtime_error("no source files below " + root.string());
  return files;
}

struct Figures {
  int64_t files = 0;
  int64_t lines = 0;
  double seconds = 0;
};

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline void Print(const char* what, const Figures& figures) {
  std::printf("%-34s %8lld files %10lld lines %8.3f s %12.0f lines/s %9.0f files/s\n", what,
              static_cast<long long>(figures.files), static_cast<long long>(figures.lines), figures.seconds,
              static_cast<double>(figures.lines) / figures.seconds, static_cast<double>(figures.files) / figures.seconds);
}

inline void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

// The loop of every floor: each file read whole into memory and split at LF
// (a CR before it dropped), one transaction per file; `file_begun(path)`
// inside it before the lines, `line(text, length, number)` for each line,
// numbered from 1. Times itself.
template <typename FileBegun, typename Line>
inline Figures FeedFiles(sqlite3* db, const std::vector<std::string>& files, FileBegun file_begun, Line line) {
  Figures figures;
  std::string text;
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& path : files) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw std::runtime_error("cannot open " + path);
    text.resize(static_cast<std::size_t>(fs::file_size(path)));
    const std::size_t got = std::fread(text.data(), 1, text.size(), file);
    std::fclose(file);
    text.resize(got);
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    file_begun(path);
    const char* at = text.data();
    const char* end = at + text.size();
    int64_t number = 0;
    while (at < end) {
      const char* newline = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
      const char* stop = newline == nullptr ? end : newline;
      const char* line_end = stop > at && stop[-1] == '\r' ? stop - 1 : stop;
      line(at, static_cast<int>(line_end - at), ++number);
      ++figures.lines;
      at = newline == nullptr ? end : newline + 1;
    }
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    ++figures.files;
  }
  figures.seconds = SecondsSince(start);
  return figures;
}

// The floor: whole file read into memory, split at LF (a CR before it
// dropped), one prepared INSERT, one transaction per file, WAL with
// synchronous=NORMAL, no marker rows, no checks.
inline Figures RunFloor(const std::vector<std::string>& files, const std::string& db_path) {
  fs::remove(db_path);
  fs::remove(db_path + "-wal");
  fs::remove(db_path + "-shm");
  sqlite3* db = nullptr;
  Check(sqlite3_open(db_path.c_str(), &db), db, "open");
  Check(sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                         "CREATE TABLE SysCodeLines_Temp (LineId INTEGER PRIMARY KEY, MyCodeLine TEXT)",
                     nullptr, nullptr, nullptr),
        db, "setup");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO SysCodeLines_Temp (MyCodeLine) VALUES (?)", -1, &insert, nullptr), db,
        "prepare");
  Figures figures = FeedFiles(db, files, [](const std::string&) {}, [&](const char* text, int length, int64_t) {
    sqlite3_bind_text(insert, 1, text, length, SQLITE_STATIC);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  });
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return figures;
}

}  // namespace corvanne::bench
