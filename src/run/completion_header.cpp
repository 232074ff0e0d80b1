// The BEGINS and DONE marker rows: one line of tags written to the header
// file and loaded like any source file. The load itself is the loader's.
#include "run/completion_header.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/file_utils.hpp"
#include "common/message_texts.hpp"
#include "common/platform.hpp"
#include "common/text.hpp"
#include "run/export.hpp"

namespace corvanne {

namespace {

constexpr const char* kHeaderTaskName = "EXPORT_TEXT_LINE_TO_SQL_TABLE";

// Passes messages on and remembers whether any came, so that a failed write
// of the header file can be told from a good one (the write reports, it does
// not return a status).
class WatchingNotifier : public Notifier {
 public:
  explicit WatchingNotifier(Notifier& inner) : inner_(inner) {}
  void Show(const Message& message) override {
    shown_ = true;
    inner_.Show(message);
  }
  bool shown() const { return shown_; }  // true once any message went through

 private:
  Notifier& inner_;
  bool shown_ = false;
};

// Makes the file at `path` hold `text` + CR LF and nothing else; false when
// any byte may be missing. A run rewrites this file twice per source file, so
// it is overwritten in place and then cut to length: cutting it to zero first
// makes ext4 force its blocks to disk (milliseconds a time), and removing and
// creating it costs twice the system calls of this. The file keeps its
// owner and permissions, and afterwards holds the same bytes either way.
bool RewriteLine(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "r+b");
  if (file == nullptr) file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const std::string line = text + "\r\n";
  bool ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  ok = std::fflush(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  if (!ok) return false;
  std::error_code error;
  std::filesystem::resize_file(path, line.size(), error);
  return !error;
}

// The header row into the header file, as WriteTextFile with append off
// would leave it (an empty name goes to WriteTextFile for its default file).
// False, after the write's own message, when the file may not hold the row.
bool WriteHeaderFile(const std::string& line, std::string& path, const std::string& application_folder,
                     Notifier& notifier) {
  if (path.empty()) {
    WatchingNotifier watching(notifier);
    WriteTextFile(line, path, false, application_folder, watching);
    return !watching.shown();
  }
  if (RewriteLine(path, line)) return true;
  notifier.Show(texts::WriteFailed());
  return false;
}

}  // namespace

std::string MakeTag(const std::string& key, const std::string& value) {
  const std::string k = TrimUpper(key);
  const std::string v = TrimUpper(value);
  std::string tag;
  tag.reserve(2 * k.size() + v.size() + 5);
  tag.append("<").append(k).append(">").append(v).append("</").append(k).append(">");
  return tag;
}

std::string BuildCompletionHeader(const RunSettings& run, const SourceSettings& source,
                                  const DestinationSettings& destination, int32_t serial,
                                  const std::string& status) {
  const std::string& path = source.FileNameWithPath;
  const std::string file_type = GetExtension(path);
  std::string line = run.HeaderPrefix;
  line += MakeTag("TASK_STATUS", status);
  line += MakeTag("TASK_NAME", kHeaderTaskName);
  line += MakeTag("BATCH_CODE", run.BatchCode);
  line += MakeTag("FILE_TYPE", file_type);
  line += MakeTag("USER_NAME", destination.UserName);
  line += MakeTag("FILE_SERIAL_NUMBER", std::to_string(serial));
  // Read as late as possible: the DONE row carries the time its file ended.
  const DateTimeSource& clock = CurrentDateTime();
  line += MakeTag("DATE_TIME", clock.ShortDate() + " " + clock.LongTime());
  line += MakeTag("FILE_NAME", path);
  line += run.HeaderSuffix;
  return line;
}

void LoadCompletionHeader(RunContext& context, SourceSettings& source, int32_t serial,
                          const std::string& status) {
  AppState& state = context.state;
  std::string path = state.Run.HeaderTempFile;
  if (state.Run.SkipCompletionHeaders) return;

  const std::string line = BuildCompletionHeader(state.Run, source, state.Destination, serial, status);
  const bool written = WriteHeaderFile(line, path, ApplicationFolder(state), context.notifier);
  state.PackageSource.FileNameWithPath = path;
  if (!written) {
    // The file may still hold an earlier file's marker, or half of this one:
    // loading it would put a wrong row in the table. The write already told
    // the user; the marker counts as a failed load and the run goes on.
    ++context.counts.failed_loads;
    return;
  }
  const LoadResult result = context.engine.ExecuteLoadPackage(state);
  if (!result.ok) ++context.counts.failed_loads;
}

}  // namespace corvanne
