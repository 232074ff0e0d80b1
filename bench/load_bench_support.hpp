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
template <typename FileBegun, typename Line, typename FileDone>
inline Figures FeedFiles(sqlite3* db, const std::vector<std::string>& files, FileBegun file_begun, Line line,
                         FileDone file_done) {
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
    file_done(path);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    ++figures.files;
  }
  figures.seconds = SecondsSince(start);
  return figures;
}

template <typename FileBegun, typename Line>
inline Figures FeedFiles(sqlite3* db, const std::vector<std::string>& files, FileBegun file_begun, Line line) {
  return FeedFiles(db, files, file_begun, line, [](const std::string&) {});
}

// The floor: whole file read into memory, split at LF (a CR before it
// dropped), one prepared INSERT, one transaction per file, WAL with
// synchronous=NORMAL, no checks; with `markers`, a BEGINS and a DONE row of
// a run's length around each file's lines (tags, batch code, time and path
// as text made once), else none.
inline Figures RunFloor(const std::vector<std::string>& files, const std::string& db_path, bool markers = false) {
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
  const auto row = [&](const char* text, int length) {
    sqlite3_bind_text(insert, 1, text, length, SQLITE_STATIC);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  };
  std::string marker;
  const auto marker_row = [&](const char* status, const std::string& path) {
    if (!markers) return;
    marker.assign("<TASK_STATUS>").append(status).append("</TASK_STATUS>");
    marker.append("<TASK_NAME>EXPORT_TEXT_LINE_TO_SQL_TABLE</TASK_NAME><BATCH_CODE>10284__12_7_2026_6_51_34_PM</BATCH_CODE>");
    marker.append("<FILE_TYPE>BAS</FILE_TYPE><USER_NAME>BENCH</USER_NAME><FILE_SERIAL_NUMBER>1</FILE_SERIAL_NUMBER>");
    marker.append("<DATE_TIME>12/7/2026 6:51:34 PM</DATE_TIME><FILE_NAME>").append(path).append("</FILE_NAME>");
    row(marker.data(), static_cast<int>(marker.size()));
  };
  Figures figures = FeedFiles(
      db, files, [&](const std::string& path) { marker_row("BEGINS", path); },
      [&](const char* text, int length, int64_t) { row(text, length); },
      [&](const std::string& path) { marker_row("DONE", path); });
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return figures;
}

}  // namespace corvanne::bench
