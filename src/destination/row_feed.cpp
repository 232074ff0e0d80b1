// The reading loop shared by every destination: reader in, sink out.
#include "destination/row_sink.hpp"

#include "source/line_reader.hpp"

namespace corvanne {

FeedOutcome FeedRows(const LoadRequest& request, RowSink& sink) {
  FeedOutcome outcome;
  const auto sink_failed = [&](int64_t line) {
    outcome.stop = FeedOutcome::Stop::kSink;
    outcome.line_number = line;
    return outcome;
  };
  if (request.row_text) {
    // A marker row is one row whatever the delimiter or the characters in it.
    if (!sink.Add(*request.row_text, 0)) return sink_failed(0);
    if (!sink.Flush()) return sink_failed(0);
    outcome.rows = 1;
    return outcome;
  }
  LineReader reader(request.source_path, request.row_delimiter, request.max_line_chars,
                    SourceDecoding(request.code_page, request.code_page_fallback, request.undecodable_bytes));
  if (!reader.Open()) {
    outcome.stop = FeedOutcome::Stop::kSource;
    outcome.source_error = reader.Error();
    return outcome;
  }
  std::string_view line;
  while (reader.Next(line)) {
    if (!sink.Add(line, reader.LineNumber())) return sink_failed(reader.LineNumber());
    ++outcome.rows;
  }
  if (!reader.Error().empty()) {
    outcome.stop = FeedOutcome::Stop::kSource;
    outcome.source_opened = true;
    outcome.source_error = reader.Error();
    return outcome;
  }
  if (!sink.Flush()) return sink_failed(0);
  outcome.encoding = reader.Encoding();
  outcome.detected_code_page = reader.DetectedCodePage();
  outcome.replaced = reader.Replaced();
  outcome.first_replaced_line = reader.FirstReplacedLine();
  outcome.first_replaced_offset = reader.FirstReplacedOffset();
  return outcome;
}

LoadResult LoadedFrom(const FeedOutcome& fed) {
  LoadResult result = LoadResult::Loaded(fed.rows);
  result.encoding = fed.encoding;
  result.detected_code_page = fed.detected_code_page;
  result.replaced = fed.replaced;
  result.first_replaced_line = fed.first_replaced_line;
  result.first_replaced_offset = fed.first_replaced_offset;
  return result;
}

}  // namespace corvanne
