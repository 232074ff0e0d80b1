// File services of the run: the extension of a name, paths taken from the
// application folder, and the one-line text file write. Each reports its own failures.
#pragma once

#include <cstdint>
#include <string>

#include "common/notifier.hpp"

namespace corvanne {

// The text after the last "." of `name` (the whole name when it has none, ""
// when it ends in "."). The name is not split into folder and file.
std::string GetExtension(const std::string& name);

// Writes `text` followed by CR LF, byte for byte, to `file_name`: appended
// when `append`, else the file is created or replaced first. An empty
// `file_name` becomes `application_folder` + separator + "String1.txt" and is
// handed back. On failure shows "An error occurred writing to file..." with
// the file and the cause (texts::WriteFailed) and
// returns false (the file may then hold anything); `file_name` keeps what
// this step gave it. True when the file holds exactly the line.
bool WriteTextFile(const std::string& text, std::string& file_name, bool append,
                   const std::string& application_folder, Notifier& notifier);

// `path` taken relative to `folder` when it is a relative path (the folder,
// a separator and the path), and an absolute path as it is, each with every
// "." step, "name/.." pair and doubled separator removed (lexically; links
// are not followed); a trailing separator stays only when `path` ends in
// one. An empty path, or a relative path with an empty folder, gives `path`
// unchanged.
std::string ResolveFrom(const std::string& folder, const std::string& path);

// A one-line text file kept open and rewritten in place with each line, as
// WriteTextFile does with `append` false, without opening and closing it
// each time. Closed when destroyed.
class LineFile {
 public:
  LineFile() = default;
  ~LineFile();
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  // Makes `file_name` hold exactly `text` followed by CR LF (opening it on
  // first use, or when the name changed). On failure shows "An error
  // occurred writing to file..." with the file and the cause, and returns
  // false; the next Write opens the file again.
  bool Write(const std::string& text, const std::string& file_name, Notifier& notifier);
  void Close();

 private:
  int fd_ = -1;            // open for writing, or -1
  std::string open_name_;  // the name fd_ was opened under
  std::size_t length_ = SIZE_MAX;  // what the open file holds; SIZE_MAX: not known
};

}  // namespace corvanne
