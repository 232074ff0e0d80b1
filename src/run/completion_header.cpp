// The BEGINS and DONE marker rows: one line of tags written to the header
// file and loaded like any source file. The load itself is the destination's.
#include "run/completion_header.hpp"

#include <algorithm>
#include <string_view>

#include "common/file_utils.hpp"
#include "common/platform.hpp"
#include "common/text.hpp"
#include "run/export.hpp"
#include "run/load_engine.hpp"
#include "run/run_plan.hpp"

namespace corvanne {

namespace {

constexpr const char* kHeaderTaskName = "EXPORT_TEXT_LINE_TO_SQL_TABLE";

}  // namespace

namespace {

// Appends MakeTag(key, value) for a `key` that is upper case and trimmed
// already: two marker rows per file, eight tags each, are built in place.
void AppendTag(std::string& line, std::string_view key, std::string_view value) {
  line.append("<").append(key).append(">");
  const bool ascii = std::all_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    const std::size_t first = value.find_first_not_of(' ');
    const std::size_t last = value.find_last_not_of(' ');
    if (first != std::string_view::npos) {
      const std::size_t at = line.size();
      line.append(value.substr(first, last - first + 1));
      for (std::size_t i = at; i < line.size(); ++i) {
        if (line[i] >= 'a' && line[i] <= 'z') line[i] = static_cast<char>(line[i] - 'a' + 'A');
      }
    }
  } else {
    line.append(TrimUpper(value));
  }
  line.append("</").append(key).append(">");
}

}  // namespace

std::string MakeTag(const std::string& key, const std::string& value) {
  std::string tag;
  AppendTag(tag, TrimUpper(key), value);
  return tag;
}

std::string BuildCompletionHeader(const RunSettings& run, const std::string& file_name, const std::string& user_name,
                                  int32_t serial, const std::string& status) {
  const std::string file_type = GetExtension(file_name);
  std::string line;
  line.reserve(run.HeaderPrefix.size() + run.HeaderSuffix.size() + 2 * file_name.size() + 320);
  line += run.HeaderPrefix;
  AppendTag(line, "TASK_STATUS", status);
  AppendTag(line, "TASK_NAME", kHeaderTaskName);
  AppendTag(line, "BATCH_CODE", run.BatchCode);
  AppendTag(line, "FILE_TYPE", file_type);
  AppendTag(line, "USER_NAME", user_name);
  AppendTag(line, "FILE_SERIAL_NUMBER", std::to_string(serial));
  // Read as late as possible: the DONE row carries the time its file ended.
  const DateTimeSource& clock = CurrentDateTime();
  AppendTag(line, "DATE_TIME", clock.ShortDate() + " " + clock.LongTime());
  AppendTag(line, "FILE_NAME", file_name);
  line += run.HeaderSuffix;
  return line;
}

std::string BuildCompletionHeader(const RunSettings& run, const SourceSettings& source,
                                  const DestinationSettings& destination, int32_t serial,
                                  const std::string& status) {
  AppState state;
  state.ConfiguredSource = source;
  RunPlan plan;
  std::vector<std::string> ignored;
  BuildRunPlan(state, plan, ignored);
  return BuildCompletionHeader(run, FileNameText(source.FileNameWithPath, plan), destination.UserName, serial,
                               status);
}

bool LoadCompletionHeader(RunContext& context, FileUnit& unit, const std::string& file_name, int32_t serial,
                          const std::string& status) {
  const AppState& state = context.state;
  if (state.Run.SkipCompletionHeaders) return true;
  // A relative name is taken from the application folder, like every other
  // file the configuration names; worked out once a run.
  std::string& path = context.header_path;
  if (path.empty()) {
    path = ResolveFrom(ApplicationFolder(state), state.Run.HeaderTempFile);
    if (path.empty()) path = ApplicationFolder(state) + kPathSeparator + "String1.txt";
  }

  const std::string line = BuildCompletionHeader(state.Run, file_name, state.Destination.UserName, serial, status);
  // The header file still holds the last marker row when the run is over;
  // a failed write is told by the write itself. The row that goes into the
  // table is the line as built: another run sharing the header file, or a
  // full disk, cannot put a wrong marker row around this file's lines.
  context.header_file.Write(line, path, context.notifier);
  const LoadResult result = unit.AddMarkerRow(line);
  if (!result.ok) ++context.counts.failed_loads;
  return result.ok;
}

}  // namespace corvanne
