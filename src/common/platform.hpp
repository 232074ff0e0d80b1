// The few things only the operating system can tell: where the executable
// lives, the process number, the user's date and time texts, error texts.
// Everything POSIX- or Windows-only in the core sits behind this file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace corvanne {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Paths are UTF-8 text everywhere inside the program (rows, messages, the
// configuration); they turn into the system's own form only at its API:
// wide characters on Windows, the bytes themselves elsewhere.
std::filesystem::path PathFromText(std::string_view text);
std::string TextFromPath(const std::filesystem::path& path);
// std::fopen for a path held as text.
std::FILE* OpenFile(const std::string& path, const char* mode);

#ifdef _WIN32
// `text` (UTF-8) as UTF-16, and back; bytes that are not UTF-8 become U+FFFD.
std::wstring WideFromText(std::string_view text);
std::string TextFromWide(std::wstring_view wide);
// `path` as the wide API takes it: an absolute path too long for the
// classic limit gets the \\?\ prefix (UNC: \\?\UNC\), with which Windows
// takes it as it stands, so it is made lexically normal first.
std::wstring WidePath(const std::string& path);
// The system's text for a Windows error code, e.g. "Access is denied".
std::string WindowsErrorText(unsigned long code);
#endif

// Shows `text` in the system's own message box when this process is all
// that holds its console window (started from Explorer: the window closes
// with the process, and standard error with it). Elsewhere, and on systems
// without such boxes, does nothing: standard error is read there.
void ShowStartFailureBox(const std::string& title, const std::string& text);

// Folder of the running executable, as the platform reports it (no trailing
// separator except at the root). Throws std::runtime_error when unknown.
std::string ExecutableFolder();

// Runs `program` in place of this process with the arguments `args`
// (args[0] included). Returns only when it could not: false with `error`
// naming the program and the cause; `missing` when there is no such program.
bool ReplaceProcess(const std::string& program, const std::vector<std::string>& args, std::string& error,
                    bool& missing);

// The running program's number, used to open the batch code (the process id).
int32_t ProcessNumber();

// What one look at a path (one stat, links followed) tells. "Cannot tell"
// is a kind of its own: it is never read as "empty" or "gone".
struct FileLook {
  enum class Kind {
    kRegular,     // a file that can be read as text
    kMissing,     // nothing there (or a path through something that is no folder)
    kNotRegular,  // a folder, FIFO, socket or device: never opened as a source file
    kUnknown,     // the look itself failed (permissions, I/O error, a stale share)
  };
  Kind kind = Kind::kUnknown;
  int64_t size = 0;         // kRegular: bytes
  int64_t modified_ns = 0;  // kRegular: last write, nanoseconds since 1970 on the file system's clock
  uint64_t device = 0;      // kRegular: the file system it lives on
  std::string cause;        // otherwise: why, e.g. "Permission denied", "a FIFO, not a regular file"
  int error_number = 0;     // otherwise: the platform's number for it (errno, or the Windows code)

  bool IsRegular() const { return kind == Kind::kRegular; }
};

// Looks at `path` once.
FileLook LookAtFile(const std::string& path);

// Looks at many files in turn as LookAtFile does, the folder of the last
// one kept open: a look by name in an open folder does not walk the whole
// path again (a re-load looks at every file of a tree, folder by folder).
class FileLooker {
 public:
  FileLooker() = default;
  ~FileLooker();
  FileLooker(const FileLooker&) = delete;
  FileLooker& operator=(const FileLooker&) = delete;

  FileLook Look(const std::string& path);

 private:
  std::string folder_;  // the folder open in folder_fd_
  int folder_fd_ = -1;
};

// Now, in nanoseconds since 1970 UTC, on the local clock.
int64_t NowNanoseconds();

// True when the file system holding `path` is known to stamp writes with
// this machine's own clock (a local disk, not a share): its file times and
// NowNanoseconds() then read one clock. False when that cannot be told.
bool StampsWithLocalClock(const std::string& path);

// True when standard error is an interactive terminal.
bool StandardErrorIsTerminal();

// A platform error as the message boxes show it: a number and a description.
struct PlatformError {
  int number = 0;           // errno value (or the Windows error code)
  std::string description;  // the platform's text for it, e.g. "No such file or directory"
};

// The error for an errno value.
PlatformError ErrorFromErrno(int errno_value);
// The error for a std::error_code (its value and message).
PlatformError ErrorFromCode(const std::error_code& code);
#ifdef _WIN32
// The error for a Windows error code: the C runtime's errno and text for
// the codes that have one (a missing file, a denied access...), so that a
// message reads as on other systems; else the code and Windows' own text.
PlatformError ErrorFromWindows(unsigned long code);
#endif

// Source of the current date and time as text in the user's formats.
// The C, POSIX and en_US locales give M/d/yyyy and h:mm:ss AM/PM.
class DateTimeSource {
 public:
  virtual ~DateTimeSource() = default;
  // The current date in the user's short date format, e.g. "7/14/2013".
  virtual std::string ShortDate() const = 0;
  // The current time in the user's long time format, e.g. "1:02:05 PM".
  virtual std::string LongTime() const = 0;
};

// The source in use: the system clock with the user's locale unless a test
// installed its own.
const DateTimeSource& CurrentDateTime();

// The locale that decides date and time texts: the first of LC_ALL, LC_TIME
// and LANG that is set and not empty, else "C".
std::string UserTimeLocaleName();

// True for the locales whose texts are M/d/yyyy and h:mm:ss AM/PM: empty, C,
// C.<charset>, POSIX and en_US*.
bool UsesUsFormats(const std::string& locale_name);

// `parts` as a short date / long time under `locale_name`: M/d/yyyy and
// h:mm:ss AM/PM (no leading zero on month, day, hour) for the US formats,
// else the locale's own %x / %X. A locale that is not installed falls back to
// the US formats.
std::string FormatShortDate(const std::tm& parts, const std::string& locale_name);
std::string FormatLongTime(const std::tm& parts, const std::string& locale_name);

// Installs `source` as the process-wide date and time source (nullptr puts the
// system clock back). The caller keeps ownership; for tests.
void SetDateTimeSource(const DateTimeSource* source);

}  // namespace corvanne
