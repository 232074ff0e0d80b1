// Operating-system services: executable folder, process number, terminal
// test, error texts and the user's date and time texts.
#include "common/platform.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace corvanne {

namespace {

std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of(kPathSeparator);
  if (cut == std::string::npos) {
    throw std::runtime_error("the executable's path has no folder: " + path);
  }
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

#ifdef _WIN32

std::string NarrowFromWide(const std::wstring& wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, out.data(), size, nullptr, nullptr);
  return out;
}

std::string ReadExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD got = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got == 0) throw std::runtime_error("cannot tell where the executable lives");
    if (got < buffer.size()) return NarrowFromWide(std::wstring(buffer.data(), got));
    buffer.resize(buffer.size() * 2);
  }
}

// Windows keeps the user's formats itself; ask for them directly.
class SystemDateTime final : public DateTimeSource {
 public:
  std::string ShortDate() const override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[128] = {};
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, text, sizeof text);
    return text;
  }
  std::string LongTime() const override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[128] = {};
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, text, sizeof text);
    return text;
  }
};

#else

std::string ReadExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t got = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (got < 0) throw std::runtime_error("cannot tell where the executable lives: " + ErrorFromErrno(errno).description);
    if (static_cast<size_t>(got) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(got));
    buffer.resize(buffer.size() * 2);
  }
}

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return parts;
}

class SystemDateTime final : public DateTimeSource {
 public:
  std::string ShortDate() const override { return FormatShortDate(LocalNow(), UserTimeLocaleName()); }
  std::string LongTime() const override { return FormatLongTime(LocalNow(), UserTimeLocaleName()); }
};

// Formats `parts` with strftime under `locale_name`; empty when the locale is
// not installed, so the caller can fall back.
std::string FormatUnderLocale(const std::tm& parts, const std::string& locale_name, const char* format) {
  locale_t locale = newlocale(LC_TIME_MASK, locale_name.c_str(), static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return {};
  char text[256];
  const size_t length = strftime_l(text, sizeof text, format, &parts, locale);
  freelocale(locale);
  return std::string(text, length);
}

#endif

// M/d/yyyy and h:mm:ss AM/PM: the formats of the C and US locales here.
std::string UsShortDate(const std::tm& parts) {
  return std::to_string(parts.tm_mon + 1) + "/" + std::to_string(parts.tm_mday) + "/" +
         std::to_string(parts.tm_year + 1900);
}

std::string TwoDigits(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

std::string UsLongTime(const std::tm& parts) {
  const int hour12 = parts.tm_hour % 12 == 0 ? 12 : parts.tm_hour % 12;
  return std::to_string(hour12) + ":" + TwoDigits(parts.tm_min) + ":" + TwoDigits(parts.tm_sec) +
         (parts.tm_hour < 12 ? " AM" : " PM");
}

const SystemDateTime& SystemClock() {
  static const SystemDateTime clock;
  return clock;
}

std::atomic<const DateTimeSource*> installed_source{nullptr};

}  // namespace

std::string ExecutableFolder() { return FolderOf(ReadExecutablePath()); }

bool ReplaceProcess(const std::string& program, const std::vector<std::string>& args, std::string& error,
                    bool& missing) {
#ifdef _WIN32
  missing = true;
  error = "cannot start \"" + program + "\": the window is not built for Windows";
  return false;
#else
  std::vector<std::string> copies = args;
  std::vector<char*> argv(copies.size() + 1, nullptr);
  std::transform(copies.begin(), copies.end(), argv.begin(), [](std::string& arg) { return arg.data(); });
  execv(program.c_str(), argv.data());
  const int cause = errno;
  missing = cause == ENOENT;
  error = "cannot start \"" + program + "\": " + std::generic_category().message(cause);
  return false;
#endif
}

int32_t ProcessNumber() {
#ifdef _WIN32
  return static_cast<int32_t>(_getpid());
#else
  return static_cast<int32_t>(getpid());
#endif
}

FileLook LookAtFile(const std::string& path) {
  FileLook look;
#ifdef _WIN32
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    look.kind = FileLook::Kind::kMissing;
    look.cause = std::make_error_code(std::errc::no_such_file_or_directory).message();
    look.error_number = ENOENT;
    return look;
  }
  if (error) {
    look.cause = error.message();
    look.error_number = error.value();
    return look;
  }
  if (status.type() != std::filesystem::file_type::regular) {
    look.kind = FileLook::Kind::kNotRegular;
    look.error_number = static_cast<int>(std::errc::not_supported);
    look.cause = status.type() == std::filesystem::file_type::directory ? "Is a directory" : "not a regular file";
    return look;
  }
  const auto modified = std::filesystem::last_write_time(path, error);
  const std::uintmax_t bytes = error ? 0 : std::filesystem::file_size(path, error);
  if (error) {
    look.cause = error.message();
    look.error_number = error.value();
    return look;
  }
  look.kind = FileLook::Kind::kRegular;
  look.size = static_cast<int64_t>(bytes);
  look.modified_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::file_clock::to_sys(modified).time_since_epoch())
                         .count();
  return look;
#else
  // One stat: a re-load looks at every file of the tree, and each look counts.
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    look.kind = (error == ENOENT || error == ENOTDIR) ? FileLook::Kind::kMissing : FileLook::Kind::kUnknown;
    look.cause = std::generic_category().message(error);
    look.error_number = error;
    return look;
  }
  if (!S_ISREG(info.st_mode)) {
    look.kind = FileLook::Kind::kNotRegular;
    look.error_number = S_ISDIR(info.st_mode) ? EISDIR : ENOTSUP;
    look.cause = S_ISDIR(info.st_mode)    ? std::generic_category().message(EISDIR)
                 : S_ISFIFO(info.st_mode) ? "a FIFO, not a regular file"
                 : S_ISSOCK(info.st_mode) ? "a socket, not a regular file"
                                          : "a device, not a regular file";
    return look;
  }
  look.kind = FileLook::Kind::kRegular;
  look.size = static_cast<int64_t>(info.st_size);
  look.modified_ns = static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  look.device = static_cast<uint64_t>(info.st_dev);
  return look;
#endif
}

int64_t NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

PlatformError ErrorFromErrno(int errno_value) {
  return {errno_value, std::generic_category().message(errno_value)};
}

PlatformError ErrorFromCode(const std::error_code& code) { return {code.value(), code.message()}; }

std::string UserTimeLocaleName() {
#ifdef _WIN32
  return {};
#else
  // The first of these that is set and not empty decides, as POSIX orders them.
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
#endif
}

bool UsesUsFormats(const std::string& locale_name) {
  return locale_name.empty() || locale_name == "C" || locale_name == "POSIX" || locale_name.rfind("C.", 0) == 0 ||
         locale_name.rfind("en_US", 0) == 0;
}

std::string FormatShortDate(const std::tm& parts, const std::string& locale_name) {
#ifndef _WIN32
  if (!UsesUsFormats(locale_name)) {
    std::string text = FormatUnderLocale(parts, locale_name, "%x");
    if (!text.empty()) return text;
  }
#endif
  return UsShortDate(parts);
}

std::string FormatLongTime(const std::tm& parts, const std::string& locale_name) {
#ifndef _WIN32
  if (!UsesUsFormats(locale_name)) {
    std::string text = FormatUnderLocale(parts, locale_name, "%X");
    if (!text.empty()) return text;
  }
#endif
  return UsLongTime(parts);
}

const DateTimeSource& CurrentDateTime() {
  const DateTimeSource* source = installed_source.load();
  if (source != nullptr) return *source;
  return SystemClock();
}

void SetDateTimeSource(const DateTimeSource* source) { installed_source.store(source); }

}  // namespace corvanne
