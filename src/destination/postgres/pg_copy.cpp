// The COPY of a file's lines: rows in COPY's text format, escaped so that
// no byte of a line can end a field, a row or the data.
#include <algorithm>
#include <string_view>

#include "common/text.hpp"
#include "destination/postgres/pg_destination_impl.hpp"
#include "destination/identifier.hpp"
#include "destination/row_sink.hpp"

namespace corvanne {

namespace {

// Bytes gathered before they go to libpq: large enough that a call per row
// is not the cost, small enough to stay in the cache.
constexpr std::size_t kCopyChunk = 128 * 1024;

// Appends `text` with the four bytes that COPY's text format reads as
// structure written as escapes. "\." on its own line then arrives as "\\."
// and cannot end the data.
void AppendEscaped(std::string& out, std::string_view text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char* escape = c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
    if (escape == nullptr) continue;
    out.append(text.substr(start, i - start));
    out.append(escape);
    start = i + 1;
  }
  out.append(text.substr(start));
}

// Takes a load's rows into the open COPY.
class PgCopySink final : public RowSink {
 public:
  PgCopySink(PgConnection& connection, const PgNames& names, const PgUnit& unit)
      : connection_(connection), number_(!names.number.empty()) {
    const LoadRequest& request = unit.request;
    if (!names.file.empty()) {
      file_ = "\t";
      AppendEscaped(file_, request.file_name_value);
    }
    if (!names.batch.empty()) {
      batch_ = "\t";
      AppendEscaped(batch_, request.batch_code_value);
    }
    if (!names.id.empty()) batch_ += "\t" + unit.file_id;  // digits: nothing to escape
  }

  bool Add(std::string_view text, int64_t line_number) override {
    if (text.find('\0') != std::string_view::npos) {
      failure_.message = "the line holds a NUL character, which a PostgreSQL text cannot hold";
      return false;
    }
    AppendEscaped(buffer_, text);
    buffer_ += file_;
    if (number_) buffer_ += line_number > 0 ? "\t" + std::to_string(line_number) : std::string("\t\\N");
    buffer_ += batch_;  // and the file id
    buffer_ += '\n';
    return buffer_.size() < kCopyChunk || Flush();
  }

  bool Flush() override {
    if (buffer_.empty()) return true;
    const bool ok = connection_.PutCopy(buffer_, failure_);
    buffer_.clear();
    return ok;
  }

  const PgFailure& Failure() const { return failure_; }

 private:
  PgConnection& connection_;
  bool number_;          // the line-number column is written
  std::string file_;     // "\t" and the file-name column's value, escaped; empty without that column
  std::string batch_;    // likewise the batch code, then the file id
  std::string buffer_;   // rows not yet handed to libpq
  PgFailure failure_;    // why Add or Flush failed
};

}  // namespace

LoadResult PgDestination::CopyLines(PgUnit& unit, bool keep_open, bool& lost) {
  lost = false;
  unit.lines_tried = true;
  unit.lines_ok = false;
  const LoadRequest& request = unit.request;
  const PgNames names = NamesOf(request);
  const std::string what = Quoted(request.source_path);
  PgFailure failure;
  const auto failed = [&](const std::string& description) {
    lost = failure.lost || connection_.IsLost();
    unit.failed = true;
    return Failed(request, description);
  };
  keep_open = keep_open && !unit.begun && request.load_mode == LoadMode::kAppend;
  std::string copy = "COPY " + names.table + " (" + names.copy_list + ") FROM STDIN";
  if (keep_open) {
    // The whole unit in one query: the server commits as soon as the COPY
    // ends, and the rows after the lines still go into it.
    copy = "BEGIN; " + copy + "; COMMIT";
  } else if (!unit.begun && request.load_mode == LoadMode::kAppend) {
    copy = "BEGIN; " + copy;  // one round trip for both
  } else if (!unit.begun) {
    // The take-out needs the file's name bound: a pipeline of its own.
    if (!connection_.Pipeline(Opening(unit), failure)) {
      return failed(what + ": cannot take out the file's earlier rows: " + failure.message);
    }
  }
  if (!connection_.BeginCopy(copy, failure)) {
    return failed(what + ": cannot start copying into " + names.table + ": " + failure.message);
  }
  unit.begun = true;
  PgCopySink sink(connection_, names, unit);
  const auto add = [&sink](const std::string& row) { return sink.Add(row, 0); };
  if (!std::all_of(unit.leading.begin(), unit.leading.end(), add)) {
    connection_.EndCopy("a marker row could not be sent", failure);
    return failed(what + ": cannot copy a marker row into " + names.table + ": " + sink.Failure().message);
  }
  const FeedOutcome fed = FeedRows(request, sink);
  if (fed.stop == FeedOutcome::Stop::kDone) {
    if (keep_open) {
      unit.copy_open = true;
      unit.lines_ok = true;
      return LoadedFrom(fed);
    }
    if (!connection_.EndCopy({}, failure)) {
      return failed(what + ": cannot copy the lines into " + names.table + ": " + failure.message);
    }
    unit.leading_sent = true;
    unit.lines_ok = true;
    return LoadedFrom(fed);
  }
  // The server is told to drop what it took; the transaction then fails and
  // starts again at the commit with the marker rows alone.
  PgFailure ended;
  const std::string reason = fed.stop == FeedOutcome::Stop::kSource ? fed.source_error : sink.Failure().message;
  connection_.EndCopy(reason.empty() ? "the load failed" : reason, ended);
  failure = sink.Failure();
  failure.lost = failure.lost || ended.lost;
  if (fed.stop == FeedOutcome::Stop::kSource) return failed(fed.source_error);
  const std::string where = fed.line_number > 0 ? what + " line " + std::to_string(fed.line_number) : what;
  return failed(where + ": cannot copy into " + names.table + ": " + sink.Failure().message);
}

bool PgDestination::AddToOpenCopy(PgUnit& unit, const std::string& row, PgFailure& failure) {
  PgCopySink sink(connection_, NamesOf(unit.request), unit);
  if (sink.Add(row, 0) && sink.Flush()) {
    unit.copied.push_back(row);
    return true;
  }
  failure = sink.Failure();
  return false;
}

bool PgDestination::EndOpenCopy(PgUnit& unit, PgFailure& failure, bool& refused) {
  unit.copy_open = false;
  refused = false;
  std::string status;
  if (connection_.EndCopy({}, failure, &status)) {
    if (status == "COMMIT") return true;
    failure.message = "the server did not commit (" + status + ")";
  }
  refused = !failure.lost && !connection_.IsLost();
  return false;
}

}  // namespace corvanne
