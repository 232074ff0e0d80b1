// The one reading loop of every destination: rows of a load go from the
// reader into a small sink that a destination implements (bind, send).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "destination/load_request.hpp"

namespace corvanne {

// Takes the rows of one load, in order, inside the destination's open
// transaction. Committing is the destination's, not the sink's.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // Takes one row. `text` is valid only during the call; `line_number`
  // counts from 1, and 0 means the row has no line (a marker row: NULL).
  // False when the row could not be taken; the sink then knows why.
  virtual bool Add(std::string_view text, int64_t line_number) = 0;
  // Sends what is still buffered; false when that failed.
  virtual bool Flush() = 0;
};

// How feeding a load's rows ended.
struct FeedOutcome {
  enum class Stop { kDone, kSource, kSink };
  Stop stop = Stop::kDone;
  int64_t rows = 0;          // rows the sink took
  int64_t line_number = 0;   // kSink: the line of the row that failed (0: the flush, or a text row)
  std::string source_error;  // kSource: why the file could not be read, naming it (and the line)
  bool source_opened = false;  // kSource: the file was opened, and reading it failed later
  std::string encoding;      // the encoding the file was read in ("" for a text row)
  std::string detected_code_page;  // the detector's guess when read in the code page, else ""
  int64_t replaced = 0;            // bad byte sequences that became U+FFFD (REPLACE)
  int64_t first_replaced_line = 0;      // the line of the first of them
  uint64_t first_replaced_offset = 0;   // its byte offset in the file
};

// Feeds request.row_text as one row (line number 0), or every row of
// request.source_path, decoded by request.code_page (with its fallback and
// the undecodable-bytes rule) and cut at
// request.row_delimiter, into `sink`, then flushes it. Stops at the first
// failure of the file or the sink.
FeedOutcome FeedRows(const LoadRequest& request, RowSink& sink);

// Loaded(rows) with what the feeding learned about the file's encoding.
LoadResult LoadedFrom(const FeedOutcome& fed);

}  // namespace corvanne
