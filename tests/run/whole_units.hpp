// Trees of small source files whose every line names its file, and a check
// that a table read in LineId order holds each file whole between its own
// BEGINS and DONE rows: what the fault tests look for after a kill, a full
// disk or runs side by side.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "run/binary_runner.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne::testing {

// The files of a tree and their lines, keyed by the path as it stands in a
// marker row's FILE_NAME tag (upper-cased).
struct SourceTree {
  std::map<std::string, std::vector<std::string>> lines;  // marker file name -> the file's rows
  std::map<std::string, std::string> paths;               // marker file name -> path as found
};

inline std::string UpperAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Writes `files` files of 1 to 23 lines under `root` (relative to `dir`), 20
// to a folder. Each line names its file and number, so a line under the
// wrong markers shows; some lines are empty or carry quotes and accents.
inline void WriteTree(const TempDir& dir, const std::string& root, int files, SourceTree& tree) {
  for (int i = 0; i < files; ++i) {
    char relative[64];
    std::snprintf(relative, sizeof relative, "%s/d%02d/f%03d.bas", root.c_str(), i / 20, i);
    std::vector<std::string> lines;
    std::string bytes;
    const int count = 1 + (i * 7) % 23;
    for (int n = 1; n <= count; ++n) {
      std::string line = n % 5 == 0 ? "" : std::string(relative) + " line " + std::to_string(n);
      if (n % 7 == 0) line += " x = `grave` ' it''s caf\xc3\xa9";
      bytes += line + "\r\n";
      lines.push_back(line);
    }
    const std::string path = dir.Write(relative, bytes);
    tree.lines[UpperAscii(path)] = lines;
    tree.paths[UpperAscii(path)] = path;
  }
}

// Checks `rows` (a table's line column in LineId order): BEGINS row, exactly
// its file's lines, DONE row of the same file, serial and batch; nothing
// outside such blocks. With `failed_files_allowed`, a block may hold no
// lines (a failed load keeps its two markers). Adds a failure for the first
// fault found. Returns the serial numbers of the blocks, in table order, per
// batch code.
inline std::map<std::string, std::vector<int>> CheckWholeUnits(const std::vector<std::string>& rows,
                                                               const SourceTree& tree,
                                                               bool failed_files_allowed = false) {
  std::map<std::string, std::vector<int>> blocks;
  const auto is_marker = [](const std::string& row) { return row.rfind("<TASK_STATUS>", 0) == 0; };
  std::size_t i = 0;
  while (i < rows.size()) {
    const std::string& begins = rows[i];
    if (TagOf(begins, "TASK_STATUS") != "BEGINS") {
      ADD_FAILURE() << "row " << i + 1 << " stands outside any file's markers: " << begins;
      return blocks;
    }
    const std::string file = TagOf(begins, "FILE_NAME");
    const auto expected = tree.lines.find(file);
    if (expected == tree.lines.end()) {
      ADD_FAILURE() << "row " << i + 1 << " is the BEGINS row of a file not in the tree: " << begins;
      return blocks;
    }
    std::size_t end = i + 1;
    while (end < rows.size() && !is_marker(rows[end])) ++end;
    const std::vector<std::string> lines(rows.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                         rows.begin() + static_cast<std::ptrdiff_t>(end));
    if (end == rows.size()) {
      ADD_FAILURE() << "the block of " << file << " from row " << i + 1 << " has no DONE row";
      return blocks;
    }
    const std::string& done = rows[end];
    if (TagOf(done, "TASK_STATUS") != "DONE" || TagOf(done, "FILE_NAME") != file ||
        TagOf(done, "BATCH_CODE") != TagOf(begins, "BATCH_CODE") ||
        TagOf(done, "FILE_SERIAL_NUMBER") != TagOf(begins, "FILE_SERIAL_NUMBER")) {
      ADD_FAILURE() << "row " << end + 1 << " does not close the block of row " << i + 1 << "\n  " << begins
                    << "\n  " << done;
      return blocks;
    }
    if (lines != expected->second && !(failed_files_allowed && lines.empty())) {
      ADD_FAILURE() << "the block of " << file << " from row " << i + 1 << " holds " << lines.size()
                    << " lines, not its file's " << expected->second.size()
                    << (lines.empty() ? "" : "; first: " + lines.front());
      return blocks;
    }
    blocks[TagOf(begins, "BATCH_CODE")].push_back(std::stoi(TagOf(begins, "FILE_SERIAL_NUMBER")));
    i = end + 1;
  }
  return blocks;
}

}  // namespace corvanne::testing
