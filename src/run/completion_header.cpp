// The BEGINS and DONE marker rows: one line of tags written to the header
// file and loaded like any source file. The load itself is the destination's.
#include "run/completion_header.hpp"

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

std::string MakeTag(const std::string& key, const std::string& value) {
  const std::string k = TrimUpper(key);
  const std::string v = TrimUpper(value);
  std::string tag;
  tag.reserve(2 * k.size() + v.size() + 5);
  tag.append("<").append(k).append(">").append(v).append("</").append(k).append(">");
  return tag;
}

std::string BuildCompletionHeader(const RunSettings& run, const std::string& file_name, const std::string& user_name,
                                  int32_t serial, const std::string& status) {
  const std::string file_type = GetExtension(file_name);
  std::string line = run.HeaderPrefix;
  line += MakeTag("TASK_STATUS", status);
  line += MakeTag("TASK_NAME", kHeaderTaskName);
  line += MakeTag("BATCH_CODE", run.BatchCode);
  line += MakeTag("FILE_TYPE", file_type);
  line += MakeTag("USER_NAME", user_name);
  line += MakeTag("FILE_SERIAL_NUMBER", std::to_string(serial));
  // Read as late as possible: the DONE row carries the time its file ended.
  const DateTimeSource& clock = CurrentDateTime();
  line += MakeTag("DATE_TIME", clock.ShortDate() + " " + clock.LongTime());
  line += MakeTag("FILE_NAME", file_name);
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
  // file the configuration names.
  std::string path = ResolveFrom(ApplicationFolder(state), state.Run.HeaderTempFile);

  const std::string line = BuildCompletionHeader(state.Run, file_name, state.Destination.UserName, serial, status);
  // The header file still holds the last marker row when the run is over;
  // a failed write is told by the write itself. The row that goes into the
  // table is the line as built: another run sharing the header file, or a
  // full disk, cannot put a wrong marker row around this file's lines.
  if (path.empty()) path = ApplicationFolder(state) + kPathSeparator + "String1.txt";
  context.header_file.Write(line, path, context.notifier);
  const LoadResult result = unit.AddMarkerRow(line);
  if (!result.ok) ++context.counts.failed_loads;
  return result.ok;
}

}  // namespace corvanne
