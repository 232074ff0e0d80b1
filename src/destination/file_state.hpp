// What a destination remembers of each file it holds when a run re-loads a
// tree: the companion table's row, and the table's name beside the lines'.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvanne {

struct LoadRequest;

// How a run treats the rows that earlier runs left in the table.
enum class LoadMode {
  kAppend,   // every run adds a new copy of every file
  kReplace,  // a file's earlier rows go in the unit that loads it again
  kChanged,  // as kReplace, and a file whose content is as last loaded is passed over
};

// The mode a DESTINATION_LOAD_MODE value names (compared after TrimUpper;
// empty and "USE_DEFAULT" mean kAppend); false when it names none.
bool ParseLoadMode(const std::string& configured, LoadMode& mode);

// One row of the companion table: a file as it was when it was last loaded.
// Times are nanoseconds on the file system's clock; they are only ever
// compared with each other.
struct FileState {
  std::string file_name;      // the path as loaded (the file-name column's value)
  int64_t size = -1;          // bytes; -1: the load did not finish (its rows are not current)
  int64_t modified_time = 0;  // last write time when the file was read
  std::string content_hash;   // XXH3-128 of the bytes, 32 lower-case hex digits; empty: unknown
  int64_t line_count = 0;     // rows the file's lines gave
  std::string batch_code;     // of the run that loaded it
  int64_t checked_time = 0;   // when size and time were read

  bool operator==(const FileState&) const = default;
};

// The companion table of `table` (an identifier as configured): the same
// schema and quoting, its last part with "_Files" appended, e.g.
// "[SysCodeLines_Temp]" gives "[SysCodeLines_Temp_Files]" and "main.Lines"
// gives "main.Lines_Files" (a bare part stays bare: servers fold both
// alike). Empty when `table` is not an identifier.
std::string CompanionTableName(const std::string& table);

// The view of `table` that joins its rows to their file's name: named as
// CompanionTableName names the companion, with "_View" ("main.Lines" gives
// "main.Lines_View").
std::string CompanionViewName(const std::string& table);

// Whether loads of `request` keep the companion table: a re-load records
// each file there, and a file id column refers to it.
bool UsesCompanion(const LoadRequest& request);

// The companion table's columns, in the order every statement lists them
// (besides them it has FileId, the integer a file id column holds, and
// FirstLineId and LastLineId, the LineId range of the file's rows when a
// re-load put them in one unit; NULL when they may lie anywhere):
// "FileName, FileSize, ModifiedTime, ContentHash, LineCount, BatchCode, CheckedTime".
inline constexpr const char* kCompanionColumns =
    "FileName, FileSize, ModifiedTime, ContentHash, LineCount, BatchCode, CheckedTime";

// Take the companion rows, and the file names, one at a time as they are
// read: a tree of 200,000 files is never held as a list of rows. A sink may
// move from what it is given.
using FileStateSink = std::function<void(FileState&)>;
using FileNameSink = std::function<void(std::string&)>;

}  // namespace corvanne
